#pragma once
// A viewer on a fixed display with a scripted user interface, and the
// helpers the desktop tests share.

#include "dispatch/save_dispatch.h"
#include "shell/main_window.h"
#include "tests/desktop/private_session.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/test_support.h"

#include <QByteArray>
#include <QStringList>
#include <gtest/gtest.h>

#include <memory>

namespace pictorand::testing {

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override { metrics.set(desktop1024()); }
    void TearDown() override { window.reset(); }

    MainWindow& start()
    {
        ViewerServices services;
        services.metrics = &metrics;
        services.ui = &ui;
        services.dialogs = &dialogs;
        services.settingsPath = dir.file("P_RAND32.INI");
        window = std::make_unique<MainWindow>(services, ViewerOptions{});
        window->show();
        return *window;
    }

    MainWindow& startWith(const ImageBlock& block, const std::string& name = "picture.bmp")
    {
        MainWindow& w = start();
        const std::string path = dir.file(name);
        SilentUserInterface silent;
        EXPECT_TRUE(SaveImage(block, silent, path, false));
        EXPECT_TRUE(w.openFile(path));
        return w;
    }

    const ImageBlock& current() { return window->currentImage().block; }

    std::vector<std::string> messages() const
    {
        std::vector<std::string> texts;
        for (const RecordedMessage& message : ui.messages)
            texts.push_back(message.text);
        return texts;
    }

    ScratchDir dir;
    FixedSystemMetrics metrics{DisplayMetrics{}};
    ScriptedUserInterface ui;
    ScriptedFileDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

// A 24-bit picture, (x, y) counted from the top, colour 0xRRGGBB.
ImageBlock trueColorPicture(int width, int height, uint32_t (*colour)(int x, int y));

// Runs a program while this process goes on answering X11 and D-Bus
// requests (the clipboard's owner must serve the paste); its standard
// output, or nothing when it failed or took over 20 s.
std::optional<QByteArray> runServing(const QString& program, const QStringList& arguments, const QByteArray& input = {});

} // namespace pictorand::testing
