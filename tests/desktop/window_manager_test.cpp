// The viewer under a real window manager (openbox) on the private X server:
// the frame, title bar included, lands where the window is placed, its
// decorations are those the manager announces in _NET_FRAME_EXTENTS, and
// the picture's window may be sized by the user, the picture then scrolling.

#include "platform/settings_keys.h"
#include "shell/main_window.h"
#include "shell/picture_view.h"
#include "tests/desktop/desktop_fixture.h"

#include <QScrollBar>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pictorand::testing {
namespace {

class WindowManagerTest : public DesktopTest {
protected:
    void SetUp() override
    {
        REQUIRE_THAT(missingX11());
        REQUIRE_TOOLS("openbox", "xprop");
        m_manager = fork();
        if (m_manager == 0) {
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            execlp("openbox", "openbox", static_cast<char*>(nullptr));
            _exit(127);
        }
        // The manager is up once it names its check window on the root.
        std::string root;
        for (int i = 0; i < 200 && root.find("window id") == std::string::npos; ++i) {
            QTest::qWait(25);
            runCommand("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null", &root);
        }
        ASSERT_NE(root.find("window id"), std::string::npos) << "openbox did not start";
    }
    void TearDown() override
    {
        window.reset();
        if (m_manager > 0) {
            kill(m_manager, SIGTERM);
            waitpid(m_manager, nullptr, 0);
        }
    }

    // The viewer on the screen as it is, not on a fixed one.
    MainWindow& startOnTheScreen()
    {
        ViewerServices services;
        services.ui = &ui;
        services.dialogs = &dialogs;
        services.settingsPath = dir.file("P_RAND32.INI");
        window = std::make_unique<MainWindow>(services, ViewerOptions{});
        window->show();
        return *window;
    }

    // left, right, top, bottom as the manager announces them.
    std::vector<int> frameExtents()
    {
        std::string text;
        runCommand("xprop -id " + std::to_string(window->winId()) + " _NET_FRAME_EXTENTS", &text);
        std::vector<int> extents;
        const size_t equals = text.find('=');
        for (size_t at = equals; at != std::string::npos && at + 1 < text.size(); at = text.find(',', at + 1))
            extents.push_back(std::atoi(text.c_str() + at + 1));
        return extents;
    }

private:
    pid_t m_manager = -1;
};

TEST_F(WindowManagerTest, TheFrameLandsOnTheScreenAndTheUserMaySizeTheWindow)
{
    SettingsFile(dir.file("P_RAND32.INI")).writeInt(settings::XKoord, 30);
    SettingsFile(dir.file("P_RAND32.INI")).writeInt(settings::YKoord, 40);
    MainWindow& w = startOnTheScreen();
    const std::string path = dir.file("picture.bmp");
    SilentUserInterface silent;
    ASSERT_TRUE(SaveImage(trueColorPicture(300, 200, [](int x, int) { return x < 150 ? 0xFF0000u : 0x0000FFu; }),
                          silent, path, false));
    ASSERT_TRUE(w.openFile(path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.frameGeometry() != w.geometry() && w.pos() == QPoint(30, 40); }, 15000))
        << "frame at " << w.pos().x() << "," << w.pos().y() << ", client at " << w.geometry().x() << ","
        << w.geometry().y();

    // The title bar is on the screen: the frame, not the client, is where
    // the window was placed, and its decorations are the announced ones.
    const std::vector<int> extents = frameExtents();
    ASSERT_EQ(extents.size(), 4u);
    EXPECT_GT(extents[2], 0) << "a title bar";
    EXPECT_EQ(w.geometry().topLeft() - w.frameGeometry().topLeft(), QPoint(extents[0], extents[2]));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.view()->viewport()->size() == QSize(300, 200); }, 3000))
        << "the window takes the picture's size, not " << w.width() << "x" << w.height();
    EXPECT_FALSE(w.view()->horizontalScrollBar()->isVisible());

    // Sized smaller by the user: both scroll bars, over what is hidden.
    EXPECT_NE(w.minimumSize(), w.maximumSize());
    w.resize(200, 150);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.view()->horizontalScrollBar()->isVisible(); }, 15000));
    EXPECT_TRUE(w.view()->verticalScrollBar()->isVisible());
    EXPECT_EQ(w.view()->horizontalScrollBar()->maximum(), 300 - w.view()->viewport()->width());
    EXPECT_EQ(w.view()->verticalScrollBar()->maximum(), 200 - w.view()->viewport()->height());

    // A zoom sizes the window to the picture again.
    w.runCommand(command::ZoomIn);
    w.runCommand(command::ZoomOut);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.view()->viewport()->size() == QSize(300, 200); }, 15000));
    EXPECT_FALSE(w.view()->horizontalScrollBar()->isVisible());
}

} // namespace
} // namespace pictorand::testing
