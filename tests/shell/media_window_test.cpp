// Sound and video in the media window: played on the main window, named in
// the title, closed by the next load; a file the system cannot play is
// reported with what is missing, sound without a device to play it on in
// the window.

#include "codecs/bmp/bmp.h"
#include "shell/main_window.h"
#include "shell/media_window.h"
#include "tests/shell/shell_test_support.h"
#include "tests/shell/viewer_fixture.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

// PulseAudio's client and GLib, which Qt Multimedia starts, keep allocations
// to the end of the process; they are theirs, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libpulse.so\nleak:libpulsecommon\nleak:libglib-2.0.so\nleak:libgstreamer-1.0.so\nleak:vasprintf\n";
}

namespace pictorand {
namespace {

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string le32(uint32_t v)
{
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// A second of 8-bit silence at 8000 samples a second.
std::string waveFile()
{
    const std::string samples(8000, char(0x80));
    return "RIFF" + le32(36 + 8000) + "WAVEfmt " + le32(16) + std::string("\x01\x00\x01\x00", 4) + le32(8000)
        + le32(8000) + std::string("\x01\x00\x08\x00", 4) + "data" + le32(8000) + samples;
}

using MediaWindowTest = testing::ViewerFixture;

// One test, so one process starts GStreamer once: two at a time on a busy
// machine can take many seconds to build its plugin registry.
TEST_F(MediaWindowTest, PlaysOnTheMainWindowClosesWithTheNextLoadAndReportsWhatIsMissing)
{
    MainWindow& w = start();
    const std::string wav = dir.file("tone.wav");
    writeBytes(wav, waveFile());
    w.openFile(wav);
    ASSERT_NE(w.mediaWindow(), nullptr);
    EXPECT_EQ(w.mediaWindow()->parentWidget(), w.centralWidget());
    EXPECT_EQ(w.windowTitle(), "Pictorand32 - tone.wav");
    // With nothing to play the sound on, the window says so.
    if (QMediaDevices::audioOutputs().isEmpty())
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.mediaWindow() && !w.mediaWindow()->notice().isEmpty(); }, 20000));
    else
        EXPECT_EQ(w.mediaWindow()->notice(), "");

    const std::string avi = dir.file("broken.avi");
    writeBytes(avi, "RIFF" + le32(100) + "AVI LIST" + std::string(92, '\x7f'));
    w.openFile(avi);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, 30000));
    EXPECT_NE(ui.messages.back().text.find("Can't play this file !"), std::string::npos) << ui.messages.back().text;
    EXPECT_NE(ui.messages.back().text.find("gstreamer1.0-plugins-good"), std::string::npos);

    const std::string bmp = dir.file("a.bmp");
    ASSERT_TRUE(writeBmp(bmp, ImageBlock::create(4, 4, 24, 0)));
    w.openFile(bmp);
    EXPECT_EQ(w.mediaWindow(), nullptr);
}

} // namespace
} // namespace pictorand
