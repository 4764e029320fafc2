#include "shell/core/display_geometry.h"
#include "tests/shell/shell_test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::desktop1024;

TEST(Zoom, StepsRunFromTenToAThousand)
{
    const int expected[] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000};
    for (int step = -9; step <= 9; ++step)
        EXPECT_EQ(zoomForStep(step), expected[step + 9]) << step;
}

TEST(Zoom, ScalingRoundsWithTheSinglePrecisionFactor)
{
    EXPECT_EQ(scaleByZoom(15, 200), 30);
    EXPECT_EQ(scaleByZoom(25, 10), 2); // 2.5 computed as 2.4999999
    EXPECT_EQ(scaleByZoom(35, 10), 3); // 3.5 likewise just below
    EXPECT_EQ(scaleByZoom(15, 30), 4); // 4.5 likewise
}

// Layouts on the fixed 1024 x 768 desktop: fx = fy = 4, sb = sbh = 16,
// cap = 18, menu = 19, FW = 1024, FH = 722, minimum width (1024 / 13) x 6 = 468.
struct LayoutCase {
    const char* name;
    int w, h, x, y;
    WindowLayout expected;
};

TEST(SizeWindowToPicture, FollowsTheFormulas)
{
    const DisplayMetrics m = desktop1024();
    const int minimum = minimumWindowWidth(m.screenWidth);
    ASSERT_EQ(minimum, 468);
    const LayoutCase cases[] = {
        // ow = 606, height = h + menu + cap + fy + fy / 2
        {"fits", 600, 400, 10, 20, {10, 20, 606, 443, false, false, 0, 0}},
        // r = 1116 > FW: horizontal bar 0 ... 92, one bar's height more
        {"horizontal", 1100, 300, 10, 20, {10, 20, 1014, 359, true, false, 92, 0}},
        // cap + y + h > FH: width ow + sb, height FH + cap - y, range h + y + cap + 6 - FH
        {"vertical", 600, 800, 10, 20, {10, 20, 622, 720, false, true, 0, 122}},
        {"both", 1100, 800, 10, 20, {10, 20, 1014, 720, true, true, 108, 138}},
        // r = 1016 fits, but not with the vertical bar beside it
        {"vertical brings horizontal", 1000, 800, 10, 20, {10, 20, 1014, 720, true, true, 8, 138}},
        {"minimum width", 400, 300, 10, 20, {10, 20, 468, 343, false, false, 0, 0}},
        {"minimum width moved left", 400, 300, 700, 20, {556, 20, 468, 343, false, false, 0, 0}},
        {"minimum width scrolling", 100, 800, 10, 20, {10, 20, 468, 720, false, true, 0, 122}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        WindowLayout got = sizeWindowToPicture(m, c.w, c.h, c.x, c.y, minimum);
        EXPECT_EQ(got.x, c.expected.x);
        EXPECT_EQ(got.y, c.expected.y);
        EXPECT_EQ(got.width, c.expected.width);
        EXPECT_EQ(got.height, c.expected.height);
        EXPECT_EQ(got.horizontalScroll, c.expected.horizontalScroll);
        EXPECT_EQ(got.verticalScroll, c.expected.verticalScroll);
        EXPECT_EQ(got.horizontalRange, c.expected.horizontalRange);
        EXPECT_EQ(got.verticalRange, c.expected.verticalRange);
    }
}

// The vertical range counts the caption (18) where the menu bar (19) sits:
// one row of a 600 x 800 picture would stay out of reach; the range grows to
// the real overflow. Ranges that already suffice stay as the rules give them.
TEST(SizeWindowToPicture, ScrollRangesReachTheLastRowAndColumn)
{
    const DisplayMetrics m = desktop1024();
    WindowLayout vertical = sizeWindowToPicture(m, 600, 800, 10, 20, 468);
    ASSERT_EQ(vertical.verticalRange, 122);
    // Client height 720 - (18 + 4 + 2) - 19 = 677: 800 - 677 = 123 to scroll.
    EXPECT_EQ(withReachableScrollRanges(m, vertical, 600, 800).verticalRange, 123);
    WindowLayout both = sizeWindowToPicture(m, 1100, 800, 10, 20, 468);
    // 1014 - 6 - 16 = 992 wide: 108 to scroll, as the rule says.
    EXPECT_EQ(withReachableScrollRanges(m, both, 1100, 800).horizontalRange, 108);
    DisplayMetrics tallMenu = m;
    tallMenu.menuHeight = 30;
    WindowLayout layout = sizeWindowToPicture(tallMenu, 600, 800, 10, 20, 468);
    EXPECT_EQ(withReachableScrollRanges(tallMenu, layout, 600, 800).verticalRange, 800 - (720 - 24 - 30));
}

TEST(Fit, AreaIsTheFullScreenClientLessSixAndTheMenu)
{
    EXPECT_EQ(fitArea(desktop1024()), (DisplaySize{1018, 697}));
}

TEST(Fit, BestFitToDesktop)
{
    const DisplayMetrics m = desktop1024();
    EXPECT_EQ(bestFitToDesktop(m, 100, 50), (DisplaySize{1018, 509})); // as wide as the area, half as high
    EXPECT_EQ(bestFitToDesktop(m, 4000, 3000), (DisplaySize{929, 697})); // 1018 / 1.333 = 764 > 697
    EXPECT_EQ(bestFitToDesktop(m, 50, 100), (DisplaySize{349, 697}));   // 348.5 rounds up
    EXPECT_EQ(bestFitToDesktop(m, 300, 300), (DisplaySize{697, 697}));
    EXPECT_EQ(bestFitToDesktop(m, 100, 10000), (DisplaySize{7, 697}));
    DisplayMetrics square = m;
    square.fullScreenHeight = 700 + 19 + 6;
    EXPECT_EQ(bestFitToDesktop(square, 5, 5), (DisplaySize{700, 700}));
}

// round(697 / 100000) would be 0: a picture of no width. The fit keeps at
// least one pixel in each direction.
TEST(Fit, ExtremeAspectRatiosKeepOnePixel)
{
    const DisplayMetrics m = desktop1024();
    EXPECT_EQ(bestFitToDesktop(m, 1, 100000), (DisplaySize{1, 697}));
    EXPECT_EQ(bestFitToDesktop(m, 100000, 1), (DisplaySize{1018, 1}));
}

TEST(Fit, RulesOfAlwaysFitAndFitForBigImages)
{
    const DisplayMetrics m = desktop1024();
    // Neither: never fitted.
    EXPECT_FALSE(showPictureFits(m, false, false, 5000, 5000));
    // Always: even small pictures.
    EXPECT_TRUE(showPictureFits(m, true, false, 100, 50));
    EXPECT_TRUE(showPictureFits(m, true, true, 100, 50));
    // Only big ones: w + 6 < 1024 and 19 + 18 + h + 6 < 722.
    EXPECT_FALSE(showPictureFits(m, false, true, 1017, 678));
    EXPECT_TRUE(showPictureFits(m, false, true, 1018, 678)); // one pixel wider
    EXPECT_TRUE(showPictureFits(m, false, true, 1017, 679)); // one pixel higher
    EXPECT_EQ(fittedWindowSize(m, {1018, 509}), (DisplaySize{1024, 552}));
}

TEST(FullScreen, FitsAndCentres)
{
    EXPECT_EQ(fullScreenFit(640, 480, 1024, 768), (PlacedPicture{192, 144, 640, 480}));
    EXPECT_EQ(fullScreenFit(2048, 1536, 1024, 768), (PlacedPicture{0, 0, 1024, 768}));
    EXPECT_EQ(fullScreenFit(3000, 1000, 1024, 768), (PlacedPicture{0, 213, 1024, 341}));
    EXPECT_EQ(fullScreenFit(1000, 2000, 1024, 768), (PlacedPicture{320, 0, 384, 768}));
    EXPECT_EQ(fullScreenFit(1500, 100, 1024, 768), (PlacedPicture{0, 350, 1024, 68})); // never enlarged
}

TEST(FullScreen, ZoomedPicturesCentreOrScroll)
{
    EXPECT_EQ(fullScreenZoomed(2000, 600, 1024, 768, 100, 50), (PlacedPicture{-100, 84, 2000, 600}));
}

TEST(Scrolling, LineIsAThirtiethAndPageAHalf)
{
    EXPECT_EQ(scrollLine(600), 20);
    EXPECT_EQ(scrollLine(20), 1);
    EXPECT_EQ(scrollPage(600), 300);
}

TEST(EmptyWindow, IsSixThirteenthsOfTheScreen)
{
    EXPECT_EQ(emptyWindowSize(desktop1024()), (DisplaySize{468, 354}));
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

// Unscaled, every conversion is the identity; scaled, a window sized to
// cover a picture is never a device pixel short and never one logical pixel
// larger than it needs to be, and positions come back where they went.
TEST(DeviceScale, WindowsCoverThePictureAtEveryScale)
{
    for (const double ratio : {1.0, 1.25, 1.5, 2.0, 3.0}) {
        SCOPED_TRACE(ratio);
        const DeviceScale scale{ratio};
        for (int device = 1; device <= 2000; ++device) {
            const int logical = scale.coveringLogical(device);
            ASSERT_GE(scale.toDevice(logical), device) << device;
            ASSERT_LT(scale.toDevice(logical - 1), device) << device;
            ASSERT_EQ(scale.nearestLogical(scale.toDevice(device)), device);
            if (ratio == 1.0) {
                ASSERT_EQ(logical, device);
            }
        }
    }
}

} // namespace
} // namespace pictorand
