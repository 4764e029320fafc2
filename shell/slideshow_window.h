#pragma once
// The full-screen slideshow: each entry becomes the viewer's current picture
// in turn. The next entry is decoded ahead on a worker thread, so a change
// at its deadline only has to paint.

#include "core/image_block.h"
#include "shell/core/slideshow.h"

#include <QElapsedTimer>
#include <QWidget>

#include <string>
#include <vector>

class QTimer;

namespace pictorand {

// What the slideshow needs of the viewer.
class SlideshowHost {
public:
    virtual ~SlideshowHost() = default;
    // Loads `path` as the viewer's current picture, one image only, quietly
    // when asked; the block may be null.
    virtual void loadSlide(const std::string& path, bool quiet) = 0;
    // Has `path` decoded ahead, so its load takes it at once.
    virtual void readSlideAhead(const std::string& path) = 0;
    virtual const ImageBlock& slideBlock() const = 0;
    virtual void paintSlide(QPainter& painter, const QRect& target) = 0;
    // The show is over: the viewer shows its current picture.
    virtual void slideshowEnded() = 0;
};

class SlideshowWindow : public QWidget {
    Q_OBJECT
public:
    SlideshowWindow(SlideshowHost& host, std::vector<std::string> entries, SlideshowOptions options,
                    uint32_t seed);
    ~SlideshowWindow() override;

    // Shows the first entry and starts the timer (not in mode 2).
    void start();
    bool paused() const { return m_paused; }
    const std::string& currentEntry() const { return m_current; }
    void react(SlideshowInput input);
    // The viewer is going: the show ends without calling back.
    void detach() { m_detached = true; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void showEntry(int index);
    void advance();
    void tick();
    void armTimer();

    SlideshowHost& m_host;
    std::vector<std::string> m_entries;
    SlideshowOptions m_options;
    SlideshowSequence m_sequence;
    SlideshowSchedule m_schedule;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    std::string m_current;
    bool m_ready = false;
    bool m_paused = false;
    bool m_detached = false;
    bool m_trace = false; // PICTORAND_TRACE_SLIDESHOW: each change against its deadline
};

} // namespace pictorand
