#include "shell/slideshow_window.h"

#include "shell/core/display_geometry.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace pictorand {

SlideshowWindow::SlideshowWindow(SlideshowHost& host, std::vector<std::string> entries, SlideshowOptions options,
                                 uint32_t seed)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_host(host)
    , m_entries(std::move(entries))
    , m_options(options)
    , m_sequence(static_cast<int>(m_entries.size()), options.mode, options.loop, seed)
    , m_schedule(options.delaySeconds)
    , m_trace(std::getenv("PICTORAND_TRACE_SLIDESHOW") != nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle("SlideshowClass");
    setCursor(Qt::BlankCursor);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SlideshowWindow::tick);
}

SlideshowWindow::~SlideshowWindow()
{
    if (!m_detached)
        m_host.slideshowEnded();
}

void SlideshowWindow::start()
{
    m_clock.start();
    if (m_entries.empty())
        return;
    showEntry(m_sequence.first());
    if (m_options.mode != Advancement::OnInput) {
        m_schedule.start(m_clock.elapsed());
        armTimer();
    }
}

void SlideshowWindow::showEntry(int index)
{
    m_ready = false;
    m_current = m_entries[static_cast<size_t>(index)];
    m_host.loadSlide(m_current, m_options.quiet);
    m_ready = true;
    repaint();
    if (std::optional<int> following = m_sequence.peek())
        m_host.readSlideAhead(m_entries[static_cast<size_t>(*following)]);
}

void SlideshowWindow::advance()
{
    if (std::optional<int> index = m_sequence.next())
        showEntry(*index);
}

void SlideshowWindow::armTimer()
{
    m_timer->start(static_cast<int>(std::max<int64_t>(0, m_schedule.deadline() - m_clock.elapsed())));
}

// FIXME: a Photo CD overview pages through its four sheets before the next
// entry, and UseResample shrinks big pictures by resampling; both wait for
// the overview and resample paths of the full-screen window.
void SlideshowWindow::tick()
{
    // While paused (or loading) ticks are ignored, but the timer runs on.
    if (m_ready && !m_paused) {
        const int64_t deadline = m_schedule.deadline();
        advance();
        if (m_trace)
            std::fprintf(stderr, "slideshow change %+lld ms\n",
                         static_cast<long long>(m_clock.elapsed() - deadline));
    }
    m_schedule.changed(m_clock.elapsed());
    armTimer();
}

void SlideshowWindow::react(SlideshowInput input)
{
    switch (slideshowReaction(input, m_paused, m_options.mode)) {
    case SlideshowAction::Pause:
        m_paused = true;
        break;
    case SlideshowAction::End:
        close();
        break;
    case SlideshowAction::Advance:
        advance();
        break;
    case SlideshowAction::ResumeAndAdvance:
        m_paused = false;
        advance();
        break;
    }
}

void SlideshowWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return;
    const int key = event->key();
    react(key == Qt::Key_Pause ? SlideshowInput::PauseKey
          : key == Qt::Key_Escape ? SlideshowInput::EscKey
                                  : SlideshowInput::OtherKey);
}

void SlideshowWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton)
        react(SlideshowInput::MiddleButton);
    else if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        react(SlideshowInput::Button);
}

void SlideshowWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        react(SlideshowInput::DoubleClick);
}

void SlideshowWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(QColor(0, 255, 0));
    const int baseline = painter.fontMetrics().ascent();
    const ImageBlock& block = m_host.slideBlock();
    if (block) {
        const PlacedPicture fit = fullScreenFit(block.width(), block.height(), width(), height());
        m_host.paintSlide(painter, QRect(fit.x, fit.y, fit.width, fit.height));
        if (m_options.showName)
            painter.drawText(0, baseline, QString::fromStdString(m_current));
        return;
    }
    painter.drawText(0, baseline, QString::fromStdString(m_current));
    painter.drawText(0, 15 + baseline, QString("%1 %2 !").arg(kCantLoadSlide, QString::fromStdString(m_current)));
}

} // namespace pictorand
