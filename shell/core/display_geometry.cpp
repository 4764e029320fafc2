#include "shell/core/display_geometry.h"

#include "ops/resize.h"

#include <algorithm>
#include <cmath>

namespace pictorand {

int roundHalfUp(double value)
{
    return static_cast<int>(std::floor(value + 0.5));
}

int zoomForStep(int step)
{
    step = std::clamp(step, kMinZoomStep, kMaxZoomStep);
    if (step < 0)
        return (step + 10) * 10;
    if (step == 0)
        return 100;
    return (step + 1) * 100;
}

int scaleByZoom(int size, int zoom)
{
    // The product is formed in double from a float factor: 0.01f is a little
    // below 0.01, so 25 x 10 % gives 2.4999999 and rounds to 2.
    constexpr float factor = 0.01f;
    double product = static_cast<double>(size) * zoom * static_cast<double>(factor);
    return static_cast<int>(product + 0.5);
}

int minimumWindowWidth(int screenWidth)
{
    return screenWidth / 13 * 6;
}

DisplaySize emptyWindowSize(const DisplayMetrics& metrics)
{
    return {metrics.screenWidth / 13 * 6, metrics.screenHeight / 13 * 6};
}

WindowLayout sizeWindowToPicture(const DisplayMetrics& m, int w, int h, int x, int y, int minimumWidth)
{
    const int fx = m.frameWidth;
    const int fy = m.frameHeight;
    const int sb = m.verticalScrollWidth;
    const int sbh = m.horizontalScrollHeight;
    const int cap = m.captionHeight;
    const int menu = m.menuHeight;
    const int fullWidth = m.fullScreenWidth;
    const int fullHeight = m.fullScreenHeight;

    WindowLayout layout;
    layout.x = x;
    layout.y = y;

    const int outerWidth = w + fx + fx / 2;
    const int right = x + outerWidth;
    bool horizontal = right > fullWidth;
    bool vertical = cap + (horizontal ? sbh : 0) + y + h > fullHeight;
    if (vertical && right + sbh > fullWidth)
        horizontal = true;

    if (vertical) {
        layout.width = horizontal ? fullWidth - x : outerWidth + sb;
        layout.height = fullHeight + cap - y;
        if (horizontal) {
            layout.horizontalRange = right + sb - fullWidth;
            layout.verticalRange = h + y + cap + sbh + fy + fy / 2 - fullHeight;
        } else {
            layout.verticalRange = h + y + cap + fy + fy / 2 - fullHeight;
        }
    } else {
        layout.height = h + menu + cap + fy + fy / 2;
        if (horizontal) {
            layout.horizontalRange = right - fullWidth;
        }
        if (m.screenWidth < right) {
            layout.height += sbh;
            layout.width = fullWidth - x;
        } else {
            layout.width = outerWidth;
        }
    }
    layout.horizontalScroll = horizontal;
    layout.verticalScroll = vertical;

    if (outerWidth < minimumWidth) {
        layout.horizontalScroll = false;
        layout.horizontalRange = 0;
        layout.width = minimumWidth;
        if (x + minimumWidth + fx + fx / 2 > m.screenWidth)
            layout.x = fullWidth - minimumWidth;
        layout.height = vertical ? fullHeight + cap - y : h + menu + cap + fy + fy / 2;
    }
    layout.horizontalRange = std::max(layout.horizontalRange, 0);
    layout.verticalRange = std::max(layout.verticalRange, 0);
    return layout;
}

WindowLayout withReachableScrollRanges(const DisplayMetrics& m, WindowLayout layout, int width, int height)
{
    if (layout.verticalScroll) {
        const int client = layout.height - (m.captionHeight + m.frameHeight + m.frameHeight / 2) - m.menuHeight -
                           (layout.horizontalScroll ? m.horizontalScrollHeight : 0);
        layout.verticalRange = std::max(layout.verticalRange, height - client);
    }
    if (layout.horizontalScroll) {
        const int client = layout.width - (m.frameWidth + m.frameWidth / 2) -
                           (layout.verticalScroll ? m.verticalScrollWidth : 0);
        layout.horizontalRange = std::max(layout.horizontalRange, width - client);
    }
    return layout;
}

DisplaySize fitArea(const DisplayMetrics& m)
{
    return {m.fullScreenWidth - 6, m.fullScreenHeight - m.menuHeight - 6};
}

DisplaySize bestFitToDesktop(const DisplayMetrics& m, int w, int h)
{
    const DisplaySize area = fitArea(m);
    PictureSize fit = pictorand::bestFitToDesktop(w, h, PictureSize{area.width, area.height});
    return {fit.width, fit.height};
}

bool pictureFitsDesktop(const DisplayMetrics& m, int w, int h)
{
    return w + 6 < m.fullScreenWidth && m.menuHeight + m.captionHeight + h + 6 < m.fullScreenHeight;
}

bool showPictureFits(const DisplayMetrics& m, bool alwaysFit, bool fitForBigImages, int w, int h)
{
    if (!alwaysFit && !fitForBigImages)
        return false;
    if (!alwaysFit && pictureFitsDesktop(m, w, h))
        return false;
    return true;
}

DisplaySize fittedWindowSize(const DisplayMetrics& m, DisplaySize fit)
{
    return {fit.width + 6, fit.height + m.menuHeight + m.captionHeight + 6};
}

PlacedPicture fullScreenFit(int a, int b, int screenWidth, int screenHeight)
{
    PlacedPicture placed;
    if (a <= 0 || b <= 0)
        return placed;
    const double ratio = static_cast<double>(a) / b;
    placed.width = b > screenHeight ? roundHalfUp(screenHeight * ratio) : a;
    if (placed.width > screenWidth) {
        placed.width = screenWidth;
        placed.height = roundHalfUp(screenWidth / ratio);
    } else {
        placed.height = std::min(screenHeight, b);
    }
    placed.x = (screenWidth - placed.width) / 2;
    placed.y = (screenHeight - placed.height) / 2;
    return placed;
}

PlacedPicture fullScreenZoomed(int scaledWidth, int scaledHeight, int screenWidth, int screenHeight, int scrollX,
                               int scrollY)
{
    PlacedPicture placed;
    placed.width = scaledWidth;
    placed.height = scaledHeight;
    placed.x = scaledWidth <= screenWidth ? (screenWidth - scaledWidth) / 2 : -scrollX;
    placed.y = scaledHeight <= screenHeight ? (screenHeight - scaledHeight) / 2 : -scrollY;
    return placed;
}

int DeviceScale::toDevice(int logical) const
{
    return roundHalfUp(logical * ratio);
}

int DeviceScale::coveringLogical(int device) const
{
    int logical = static_cast<int>(std::ceil(device / ratio));
    // The division may land a hair above a whole number; rounding the
    // product back may then cover with one less.
    while (logical > 0 && toDevice(logical - 1) >= device)
        --logical;
    return logical;
}

int DeviceScale::nearestLogical(int device) const
{
    return roundHalfUp(device / ratio);
}

int scrollLine(int extent)
{
    return std::max(extent / 30, 1);
}

int scrollPage(int extent)
{
    return std::max(extent / 2, 1);
}

} // namespace pictorand
