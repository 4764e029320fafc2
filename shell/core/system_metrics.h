#pragma once
// The few measures of the display and of the window decorations that the
// window-sizing rules are written in. The Qt shell measures them from the
// screen and from the main window's real frame, caption, menu bar and scroll
// bars; tests substitute fixed values (and 256- or 16-colour displays) so the
// sizing rules can be checked to the pixel.

namespace pictorand {

struct ScreenRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Every measure is in device pixels; devicePixelRatio says how many make one
// of Qt's logical pixels (1 on a desktop that is not scaled).
struct DisplayMetrics {
    int screenWidth = 0;      // the whole screen (horizontal resolution)
    int screenHeight = 0;
    int fullScreenWidth = 0;  // client area of a window maximised on the work area
    int fullScreenHeight = 0;
    ScreenRect workArea;      // the desktop without panels
    int frameWidth = 0;       // fx: the window border, horizontally
    int frameHeight = 0;      // fy
    int captionHeight = 0;    // cap
    int menuHeight = 0;       // menu
    int verticalScrollWidth = 0;    // sb: width of a vertical scroll bar
    int horizontalScrollHeight = 0; // sbh: height of a horizontal scroll bar
    int bitsPerPixel = 24;
    double devicePixelRatio = 1.0;

    // 1 << bits per pixel, as the display reports its colours (capped for
    // deep displays, where only "more than 256" matters).
    long colorCount() const { return bitsPerPixel >= 24 ? (1L << 24) : (1L << bitsPerPixel); }
    // The display shows exactly 256 colours through a palette.
    bool paletteDisplay() const { return bitsPerPixel == 8; }
};

class SystemMetrics {
public:
    virtual ~SystemMetrics() = default;
    virtual DisplayMetrics metrics() const = 0;
};

// Metrics that never change: the tests' display.
class FixedSystemMetrics : public SystemMetrics {
public:
    explicit FixedSystemMetrics(DisplayMetrics metrics) : m_metrics(metrics) {}
    DisplayMetrics metrics() const override { return m_metrics; }
    void set(DisplayMetrics metrics) { m_metrics = metrics; }

private:
    DisplayMetrics m_metrics;
};

} // namespace pictorand
