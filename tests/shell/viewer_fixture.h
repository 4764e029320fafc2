#pragma once
// A viewer on the fixed 1024 x 768 desktop, with a scripted user interface
// and file dialogs, its settings file in a scratch folder.

#include "dispatch/save_dispatch.h"
#include "shell/main_window.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace pictorand::testing {

class ViewerFixture : public ::testing::Test {
protected:
    void TearDown() override { window.reset(); }

    // The viewer, shown; with `qtFileDialogs` its file dialogs are Qt's own
    // instead of the script.
    MainWindow& start(bool qtFileDialogs = false)
    {
        ViewerServices services;
        services.metrics = &metrics;
        services.ui = &ui;
        if (!qtFileDialogs)
            services.dialogs = &dialogs;
        services.settingsPath = dir.file("P_RAND32.INI");
        window = std::make_unique<MainWindow>(services, ViewerOptions{});
        window->show();
        return *window;
    }

    // The viewer showing `block`, saved as `name` in the scratch folder.
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

    ScratchDir dir;
    FixedSystemMetrics metrics{desktop1024()};
    ScriptedUserInterface ui;
    ScriptedFileDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

} // namespace pictorand::testing
