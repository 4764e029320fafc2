#pragma once
// The arithmetic of the display: zoom steps, window sizes for a picture,
// the fit to the desktop and the full-screen placement. Pure functions over
// DisplayMetrics, so each rule can be checked exactly.

#include "shell/core/system_metrics.h"

namespace pictorand {

struct DisplaySize {
    int width = 0;
    int height = 0;
    friend bool operator==(const DisplaySize&, const DisplaySize&) = default;
};

// Add 0.5 and drop the fraction: the rounding of every display rule.
int roundHalfUp(double value);

inline constexpr int kMaxZoomStep = 9;
inline constexpr int kMinZoomStep = -9;
// 10, 20, ... 90 for steps -9 ... -1, 100 for 0, 200 ... 1000 for 1 ... 9.
int zoomForStep(int step);
// size x zoom x 0.01 rounded, with 0.01 a single-precision constant: a
// product that should end in exactly .5 may round down (25 at 10 % is 2).
int scaleByZoom(int size, int zoom);

// (screen width / 13) x 6: the narrowest and the empty main window.
int minimumWindowWidth(int screenWidth);
DisplaySize emptyWindowSize(const DisplayMetrics& metrics);

// The main window for a picture of w x h screen pixels.
struct WindowLayout {
    int x = 0;
    int y = 0;
    int width = 0; // outer size, frame and caption included
    int height = 0;
    bool horizontalScroll = false;
    bool verticalScroll = false;
    int horizontalRange = 0; // scroll bar ranges 0 ... range
    int verticalRange = 0;
};
WindowLayout sizeWindowToPicture(const DisplayMetrics& metrics, int width, int height, int x, int y,
                                 int minimumWidth);

// The scroll ranges widened where the window's client area is smaller than
// the ranges allow for: the sizing rules count the caption where the menu
// bar takes the room, so with a menu bar taller than the caption the last
// rows of the picture could never be scrolled into view.
WindowLayout withReachableScrollRanges(const DisplayMetrics& metrics, WindowLayout layout, int width, int height);

// The fit area: the full-screen client area less 6 pixels, and less the menu
// bar in height.
DisplaySize fitArea(const DisplayMetrics& metrics);
// Best fit to the desktop: landscape pictures take the full width, portrait
// ones the full height, squares the full height in both directions; small
// pictures are enlarged.
DisplaySize bestFitToDesktop(const DisplayMetrics& metrics, int width, int height);
// The picture fits the desktop without scaling (the FitForBigImages test).
bool pictureFitsDesktop(const DisplayMetrics& metrics, int width, int height);
// ShowPicture fits the picture rather than sizing the window to it.
bool showPictureFits(const DisplayMetrics& metrics, bool alwaysFit, bool fitForBigImages, int width, int height);
// Outer window size for a fitted picture.
DisplaySize fittedWindowSize(const DisplayMetrics& metrics, DisplaySize fit);

// Full screen at zoom 100: larger pictures shrink to the screen, smaller
// ones keep their size; centred.
struct PlacedPicture {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PlacedPicture&, const PlacedPicture&) = default;
};
PlacedPicture fullScreenFit(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight);
// Full screen at another zoom: centred where the scaled picture fits, else
// offset by the negated scroll position.
PlacedPicture fullScreenZoomed(int scaledWidth, int scaledHeight, int screenWidth, int screenHeight, int scrollX,
                               int scrollY);

// Device pixels against Qt's logical ones. The display rules above count
// device pixels, so that at zoom 100 one picture pixel is one pixel of the
// screen at any desktop scale; Qt's window geometry counts logical pixels,
// `ratio` device pixels each, and gives a window of logical size L the
// device size L x ratio rounded to the nearest pixel.
struct DeviceScale {
    double ratio = 1.0;
    int toDevice(int logical) const;
    // The least logical size whose device size is at least `device`: a
    // window never a pixel short of its picture.
    int coveringLogical(int device) const;
    // The logical coordinate nearest to a device one.
    int nearestLogical(int device) const;
};

// A scroll line is a thirtieth of the extent (at least 1), a page half of it.
int scrollLine(int extent);
int scrollPage(int extent);

} // namespace pictorand
