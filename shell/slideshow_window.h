#pragma once
// The full-screen slideshow: each entry becomes the viewer's current picture
// in turn. The next entry is decoded ahead on a worker thread, so a change
// at its deadline only has to paint. With UseResample a big picture is first
// drawn stretched and then, once a worker has made it, as a resampled copy:
// the change keeps its deadline however long the resampling takes.

#include "core/image_block.h"
#include "shell/core/slideshow.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <string>
#include <thread>
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
    // The natural size of a metafile slide, which is played and never
    // captured into a block; empty for any other slide.
    virtual QSize slideDrawingSize() const = 0;
    // Draws the block, or plays the metafile on white, into `target`.
    virtual void paintSlide(QPainter& painter, const QRect& target) = 0;
    // The first picture of the Photo CD overview sheet on screen, 0 when the
    // slide is no overview.
    virtual int slideSheetStart() const = 0;
    // Replaces the slide by the overview sheet starting at `firstPicture`;
    // false (and no overview any more) when it cannot be read.
    virtual bool showSlideSheet(int firstPicture) = 0;
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
    // The resampled copy drawn for the slide (null while it is being made,
    // and for slides drawn as they are); waits for the worker when `wait`.
    const ImageBlock& reducedCopy(bool wait = false);
    void react(SlideshowInput input);
    // The viewer is going: the show ends without calling back.
    void detach() { m_detached = true; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QSize deviceSize() const; // of the window, which covers the screen
    void showEntry(int index);
    void advance();
    // In the timed modes an overview pack shows its next sheet; false when
    // the show moves on instead.
    bool nextSheet();
    void tick();
    void armTimer();
    void readNextAhead();
    // The slide changed: the old copy goes, a new one is made when needed.
    // True while a worker makes it.
    bool slideChanged();
    bool startReducing();
    void finishReducing();
    void reduced(unsigned slide, ImageBlock copy);

    SlideshowHost& m_host;
    std::vector<std::string> m_entries;
    SlideshowOptions m_options;
    SlideshowSequence m_sequence;
    SlideshowSchedule m_schedule;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    std::string m_current;
    unsigned m_slideNumber = 0; // grows with each change, so a late copy is dropped
    int64_t m_changedAt = 0;
    bool m_readAheadWaits = false; // for the resampled copy
    std::thread m_reducer;
    ImageBlock m_reduced;
    QImage m_reducedImage; // over m_reduced (or m_reducedScratch for 4 bits)
    std::vector<uint8_t> m_reducedScratch;
    bool m_ready = false;
    bool m_paused = false;
    bool m_detached = false;
    bool m_trace = false; // PICTORAND_TRACE_SLIDESHOW: each change against its deadline
};

} // namespace pictorand
