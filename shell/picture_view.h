#pragma once
// The main window's client area under the menu bar: the picture at the
// scroll offset on the light grey of the window class, and the two scroll
// bars whose ranges the window-sizing rules set. Positions, ranges and steps
// count device pixels, as those rules do.

#include <QAbstractScrollArea>

#include <functional>

namespace pictorand {

class PictureView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // Paints the picture; called with the viewport's painter.
    std::function<void(QPainter&)> painter;
    std::function<void()> doubleClicked;

    QPoint scrollPosition() const;
    // Shows or hides a bar with the range 0 ... range, at position 0.
    void setScrollBars(bool horizontal, int horizontalRange, bool vertical, int verticalRange);
    // From now until the next setScrollBars: a bar wherever the picture of
    // `size` is larger than the view, however the view is sized.
    void followPicture(QSize size);
    void hideScrollBars() { setScrollBars(false, 0, false, 0); }
    // A line or page move in a direction that scrolls; false when it does not.
    bool scrollBy(Qt::Orientation orientation, bool page, bool forward);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateSteps();
    QSize deviceExtent() const; // the viewport
    void followRanges();

    QSize m_followed; // empty: the bars are as set
};

} // namespace pictorand
