// The viewer under weston: the first picture painted pixel for pixel, full
// screen, the hand-over to a new viewer, copy and paste with wl-clipboard,
// and the one thing Wayland does not let it do said once.

#include "codecs/bmp/bmp.h"
#include "shell/core/commands.h"
#include "shell/startup.h"
#include "tests/desktop/desktop_fixture.h"
#include "tests/wayland/wayland_session.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

#include <optional>

namespace pictorand::testing {
namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 30;
// The pointer of the X server the compositor takes its input from, moved
// (and clicked) there.
bool movePointer(int x, int y, bool click)
{
    return runCommand("DISPLAY=" + compositorDisplay() + " xdotool mousemove " + std::to_string(x) + " "
                      + std::to_string(y) + (click ? " click 1" : "")) == 0;
}

class WaylandViewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_THAT(missingWayland());
        REQUIRE_TOOLS("import", "convert");
        ASSERT_TRUE(writeBmp(picturePath, distinctPixels(kWidth, kHeight)));
    }
    // What the compositor's output shows (once the picture is there).
    RgbImage output(std::optional<std::pair<int, int>> at = std::nullopt)
    {
        return screenShowing(compositorDisplay(), picture, dir.file("output.png"), at);
    }

    ScratchDir dir;
    const std::string picturePath = dir.file("picture.bmp");
    const RgbImage picture = blockToRgb(distinctPixels(kWidth, kHeight));
};

// At 100 % one picture pixel is one pixel of the output, whatever the scale.
TEST_F(WaylandViewer, FirstPicturePaintsPixelForPixel)
{
    for (const char* scale : {"1", "1.5", "2"}) {
        SCOPED_TRACE(scale);
        ViewerProcess viewer(picturePath, {}, scale);
        ASSERT_TRUE(viewer.painted());
        EXPECT_TRUE(findPicture(output(), picture));
    }
}

TEST_F(WaylandViewer, FullScreenCoversTheOutputWithThePictureCentred)
{
    REQUIRE_TOOLS("xdotool");
    // The pointer, which the compositor draws, away from the picture.
    ASSERT_TRUE(movePointer(kOutputWidth - 10, 10, false));
    for (const char* scale : {"1", "2"}) {
        SCOPED_TRACE(scale);
        ViewerProcess viewer(picturePath, {"--fs"}, scale);
        ASSERT_TRUE(viewer.painted());
        // The main window shows the picture first.
        const std::pair centre((kOutputWidth - kWidth) / 2, (kOutputHeight - kHeight) / 2);
        const RgbImage shown = output(centre);
        EXPECT_EQ(findPicture(shown, picture), centre);
        ASSERT_EQ(shown.width, kOutputWidth);
        // Black to the bottom corners: no panel, no frame (the file's name
        // is at the top left).
        for (const uint8_t* corner : {shown.at(0, kOutputHeight - 1), shown.at(kOutputWidth - 1, kOutputHeight - 1)})
            EXPECT_EQ(corner[0] + corner[1] + corner[2], 0);
    }
}

TEST_F(WaylandViewer, NewViewerTakesOverFromTheRunningOne)
{
    ViewerProcess first(picturePath, {});
    ASSERT_TRUE(first.painted());
    ViewerProcess second(picturePath, {});
    ASSERT_TRUE(first.process.waitForFinished(20000)) << "the first viewer kept running";
    EXPECT_EQ(first.process.exitCode(), 0);
    EXPECT_TRUE(second.painted());
}

class WaylandDesktop : public DesktopTest {
protected:
    void SetUp() override
    {
        REQUIRE_THAT(missingWayland());
        REQUIRE_TOOLS("wl-copy", "wl-paste", "convert", "import", "xdotool");
    }
    // A client hears of the clipboard only while it has the keyboard, which
    // the compositor gives the window the user clicked last.
    void clickOnPicture()
    {
        const RgbImage picture = blockToRgb(current());
        const std::optional<std::pair<int, int>> at =
            findPicture(screenShowing(compositorDisplay(), picture, dir.file("output.png")), picture);
        ASSERT_TRUE(at);
        ASSERT_TRUE(movePointer(at->first + 1, at->second + 1, true));
        QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow(), 10000);
    }
};

TEST_F(WaylandDesktop, CopiedPictureReadsBackThroughWlPaste)
{
    const ImageBlock block = distinctPixels(6, 5);
    startWith(block);
    clickOnPicture();
    window->runCommand(command::Copy);
    // The compositor holds the offer once it has handled the request.
    QTRY_VERIFY_WITH_TIMEOUT(runServing("wl-paste", {"--list-types"}).value_or("").contains("image/png"), 10000);
    std::optional<QByteArray> png = runServing("wl-paste", {"--type", "image/png"});
    ASSERT_TRUE(png);
    const std::string path = dir.file("copy.png");
    writeFile(path, std::vector<uint8_t>(png->begin(), png->end()));
    EXPECT_EQ(maxDifference(magickDecode(path).value_or(RgbImage{}), blockToRgb(block)), 0);
}

TEST_F(WaylandDesktop, PngFromWlCopyPastes)
{
    const std::string png = dir.file("other.png");
    ASSERT_EQ(runCommand("convert -size 7x5 gradient:red-blue -depth 8 " + shellQuote(png)), 0);
    startWith(distinctPixels(8, 8));
    const std::vector<uint8_t> bytes = readFile(png);
    ASSERT_TRUE(runServing("wl-copy", {"--type", "image/png"},
                           QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()))));
    clickOnPicture();
    QTRY_VERIFY_WITH_TIMEOUT(window->commandEnabled(command::Paste), 10000);
    // FIXME: read at once, an offer weston has just handed over often comes
    // back empty in a viewer that is the session's first client (three
    // times in four when this test runs alone). Qt keeps that empty read for
    // the offer, so asking again does not help; a later offer reads. A
    // user's Paste comes that moment later; wait for it here.
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->mimeData()->data("image/png").isEmpty(), 5000);
    window->runCommand(command::Paste);
    EXPECT_EQ(window->currentImage().path, kClipboardPath) << ::testing::PrintToString(messages());
    EXPECT_EQ(maxDifference(blockToRgb(current()), *magickDecode(png)), 0);
}

TEST_F(WaylandDesktop, PositionThatCannotBeHonouredIsSaidOnce)
{
    ViewerServices services{&metrics, &ui, &dialogs, dir.file("P_RAND32.INI")};
    StartupResult started = startViewer({"--pos=10,20"}, services);
    ASSERT_TRUE(started.window);
    EXPECT_EQ(messages(), std::vector<std::string>{kCantPlaceWindowMessage});
}

} // namespace
} // namespace pictorand::testing
