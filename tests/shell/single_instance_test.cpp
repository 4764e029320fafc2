// Two real viewer processes: a new one closes the running one when asked,
// and they run side by side when not.

#include "platform/settings_file.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>

#include <chrono>

namespace pictorand {
namespace {

using testing::ScratchDir;

class TwoViewers : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(QString::fromStdString(runtime.path()));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("PICTORAND_WINDIR", QString::fromStdString(windir.path()));
        env.insert("PICTORAND_RUNTIME_DIR", QString::fromStdString(runtime.path()));
        return env;
    }

    void startViewer(QProcess& process, const QStringList& arguments)
    {
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(PICTORAND_VIEWER_PATH, arguments);
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    // Waits until `count` viewers listen in the runtime folder.
    bool waitForListeners(int count)
    {
        for (int i = 0; i < 800; ++i) { // up to 20 s: a sanitizer build on a busy machine starts slowly
            QDir dir(QString::fromStdString(runtime.path()));
            if (dir.entryList(QDir::System | QDir::Files).size() >= count)
                return true;
            QThread::msleep(25);
        }
        return false;
    }

    SettingsFile settings() const { return SettingsFile(windir.file("P_RAND32.INI")); }

    ScratchDir windir;
    ScratchDir runtime;
};

TEST_F(TwoViewers, OneInstanceClosesTheRunningViewerWhichWritesItsPosition)
{
    QProcess first;
    startViewer(first, {"--pos=10,20"});
    ASSERT_TRUE(waitForListeners(1));
    EXPECT_EQ(settings().readText("WinPosition", "xKoord", ""), "");

    QProcess second;
    startViewer(second, {});
    ASSERT_TRUE(first.waitForFinished(20000)) << "the first viewer kept running";
    EXPECT_EQ(first.exitCode(), 0);
    // The first viewer wrote where its window was before it went.
    EXPECT_NE(settings().readText("WinPosition", "xKoord", ""), "");
    EXPECT_EQ(second.state(), QProcess::Running);
    second.terminate();
    second.waitForFinished(5000);
}

TEST_F(TwoViewers, AViewerShowingAMessageStillEndsWhenAsked)
{
    // The first viewer's start-up load fails and its message box waits for
    // OK when the second one starts.
    const std::string broken = windir.file("broken.jpg");
    testing::writeFile(broken, std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1});
    QProcess first;
    startViewer(first, {"--pos=10,20", QString::fromStdString(broken)});
    ASSERT_TRUE(waitForListeners(1));
    QThread::msleep(500);

    QProcess second;
    startViewer(second, {});
    ASSERT_TRUE(first.waitForFinished(20000)) << "the first viewer kept running behind its message box";
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_NE(settings().readText("WinPosition", "xKoord", ""), "");
    EXPECT_EQ(second.state(), QProcess::Running);
    second.terminate();
    second.waitForFinished(5000);
}

TEST_F(TwoViewers, WithOneInstanceOffTheyRunSideBySideUnlessOneIsAsked)
{
    settings().writeText(settings::OneInstance, "0");
    QProcess first;
    startViewer(first, {});
    ASSERT_TRUE(waitForListeners(1));
    QProcess second;
    startViewer(second, {});
    ASSERT_TRUE(waitForListeners(2));
    EXPECT_FALSE(first.waitForFinished(500));
    EXPECT_EQ(first.state(), QProcess::Running);

    // /one closes both.
    QProcess third;
    startViewer(third, {"/one"});
    EXPECT_TRUE(first.waitForFinished(20000));
    EXPECT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(third.state(), QProcess::Running);
    third.terminate();
    third.waitForFinished(5000);
}

TEST_F(TwoViewers, StaleSocketOfADeadViewerDoesNotStopTheNext)
{
    QProcess first;
    startViewer(first, {});
    ASSERT_TRUE(waitForListeners(1));
    first.kill();
    first.waitForFinished(5000);
    QProcess second;
    startViewer(second, {});
    // The new viewer removes the dead one's socket and listens itself.
    ASSERT_TRUE(waitForListeners(1));
    QThread::msleep(300);
    EXPECT_EQ(second.state(), QProcess::Running);
    second.terminate();
    second.waitForFinished(5000);
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

TEST(ViewerProcess, HelpAndVersionNeedNoDisplay)
{
    for (const char* option : {"--help", "--version"}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(env);
        process.start(PICTORAND_VIEWER_PATH, {option});
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 0) << option;
        EXPECT_TRUE(process.readAllStandardOutput().startsWith(std::string(option) == "--help" ? "Usage" : "pictorand32"))
            << option;
    }
}

} // namespace
} // namespace pictorand
