// Window capture on the private X server: what the screen shows of the
// picture, and the same rendered off-screen.

#include "shell/main_window.h"
#include "shell/picture_view.h"
#include "shell/window_capture.h"
#include "tests/desktop/desktop_fixture.h"

#include <QTest>

namespace pictorand::testing {
namespace {

uint32_t checks(int x, int y) { return ((x / 3 + y / 3) % 2) ? 0xF0C010u : 0x1030A0u; }

TEST_F(DesktopTest, CapturedWindowHoldsThePictureItShows)
{
    REQUIRE_THAT(missingX11());
    const ImageBlock picture = trueColorPicture(24, 18, checks);
    startWith(picture);
    QWidget* viewport = window->view()->viewport();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTest::qWait(100);
    const QRect area = window->pictureRect();
    ASSERT_EQ(area.size(), QSize(24, 18));
    for (auto capture : {&captureWindow, &renderWindow}) {
        Result<ImageBlock> block = capture(viewport, area);
        ASSERT_TRUE(block) << block.text();
        EXPECT_EQ(maxDifference(blockToRgb(*block), blockToRgb(picture)), 0);
    }
    EXPECT_EQ(captureWindow(nullptr, area).failure().detail, kCantCaptureWindow);
    EXPECT_EQ(captureWindow(viewport, QRect()).failure().detail, kCantCaptureWindow);
}

} // namespace
} // namespace pictorand::testing
