#pragma once
// Fixed displays for the viewer's tests.

#include "shell/core/system_metrics.h"
#include "tests/support/test_support.h"

#include <QTest>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace pictorand::testing {

// A 1024 x 768 desktop with a 28-pixel panel at the bottom, 4-pixel frames,
// 16-pixel scroll bars, an 18-pixel caption and a 19-pixel menu bar.
inline DisplayMetrics desktop1024(int bitsPerPixel = 24)
{
    DisplayMetrics m;
    m.screenWidth = 1024;
    m.screenHeight = 768;
    m.fullScreenWidth = 1024;
    m.fullScreenHeight = 722;
    m.workArea = {0, 0, 1024, 740};
    m.frameWidth = 4;
    m.frameHeight = 4;
    m.captionHeight = 18;
    m.menuHeight = 19;
    m.verticalScrollWidth = 16;
    m.horizontalScrollHeight = 16;
    m.bitsPerPixel = bitsPerPixel;
    return m;
}

// Presses a key as a user does: the key goes to the shortcuts of the
// target's window, which is made the active window first.
inline void pressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* window = target->window();
    if (!window->isActiveWindow()) {
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window, 2000);
    }
    QTest::keyClick(target, key, modifiers);
}

// Enables SANE's test device, and only it, for the rest of the process:
// a private configuration folder whose dll.conf names the test backend
// (which also spares the tests a slow probe of the network).
inline void useSaneTestDevice()
{
    static ScratchDir config;
    if (std::FILE* dll = std::fopen(config.file("dll.conf").c_str(), "w")) {
        std::fputs("test\n", dll);
        std::fclose(dll);
    }
    std::error_code ignored;
    std::filesystem::copy_file("/etc/sane.d/test.conf", config.file("test.conf"),
                               std::filesystem::copy_options::overwrite_existing, ignored);
    setenv("SANE_CONFIG_DIR", config.path().c_str(), 1);
}

} // namespace pictorand::testing

#include "shell/core/file_dialogs.h"
#include "tests/support/scripted_user_interface.h"

#include <deque>
#include <string>
#include <vector>

namespace pictorand::testing {

// Answers file dialogs from a script and keeps what it was asked.
class ScriptedFileDialogs : public FileDialogs {
public:
    std::vector<FileDialogRequest> requests;
    std::deque<std::optional<FileDialogResult>> results;

    std::optional<FileDialogResult> runFileDialog(const FileDialogRequest& request) override
    {
        requests.push_back(request);
        if (results.empty())
            return std::nullopt;
        auto result = results.front();
        results.pop_front();
        return result;
    }
};

} // namespace pictorand::testing
