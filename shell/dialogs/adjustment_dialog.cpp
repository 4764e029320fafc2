#include "shell/dialogs/adjustment_dialog.h"

#include "shell/dialogs/dialog_fitting.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>

namespace pictorand {

namespace {

std::atomic<size_t> backgroundThreshold{4u << 20};

// The labels under a scroll bar, each centred under the thumb as it stands
// at the value it names (gamma's "1.00" sits near the left, where 1.00 is),
// and kept inside the bar's width.
class ScaleLabels : public QWidget {
public:
    ScaleLabels(QScrollBar* bar, const AdjustmentDialogLayout& scale, QWidget* parent) : QWidget(parent), m_bar(bar)
    {
        const int values[3] = {scale.minimum, scale.start, scale.maximum};
        int height = 0;
        for (int i = 0; i < 3; ++i) {
            m_labels[i] = new QLabel(scale.labels[i], this);
            m_values[i] = values[i];
            height = std::max(height, m_labels[i]->sizeHint().height());
        }
        setFixedHeight(height);
        bar->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_bar && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            place();
        return QWidget::eventFilter(watched, event);
    }
    void resizeEvent(QResizeEvent*) override { place(); }

private:
    int thumbCentre(int value) const
    {
        QStyleOptionSlider option;
        option.initFrom(m_bar);
        option.orientation = Qt::Horizontal;
        option.minimum = m_bar->minimum();
        option.maximum = m_bar->maximum();
        option.singleStep = m_bar->singleStep();
        option.pageStep = m_bar->pageStep();
        option.sliderPosition = option.sliderValue = value;
        option.subControls = QStyle::SC_All;
        const QRect thumb = m_bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, m_bar);
        return m_bar->mapTo(parentWidget(), thumb.center()).x() - x();
    }
    void place()
    {
        for (int i = 0; i < 3; ++i) {
            const int width = m_labels[i]->sizeHint().width();
            const int left = std::clamp(thumbCentre(m_values[i]) - width / 2, 0, std::max(0, this->width() - width));
            m_labels[i]->setGeometry(left, 0, width, height());
        }
    }

    QScrollBar* m_bar;
    QLabel* m_labels[3] = {};
    int m_values[3] = {};
};

} // namespace

void AdjustmentDialog::setBackgroundThreshold(size_t bytes)
{
    backgroundThreshold = bytes;
}

AdjustmentDialog::AdjustmentDialog(Adjustment adjustment, ImageBlock start, Target target, QWidget* parent)
    : QDialog(parent), m_adjustment(adjustment), m_spec(adjustmentLayout(adjustment)), m_start(std::move(start)),
      m_target(std::move(target))
{
    setObjectName(m_spec.templateName);
    setWindowTitle(m_spec.title);

    m_bar = new QScrollBar(Qt::Horizontal, this);
    m_bar->setObjectName("scrollBar");
    m_bar->setRange(m_spec.minimum, m_spec.maximum);
    m_bar->setSingleStep(m_spec.lineStep);
    m_bar->setPageStep(m_spec.pageStep);
    m_bar->setValue(m_spec.start);
    m_bar->setTracking(false); // dragging shows the value; releasing takes it
    m_bar->setFocusPolicy(Qt::StrongFocus);
    m_bar->setMinimumWidth(300);

    m_value = new QLabel(QString::fromStdString(adjustmentValueText(adjustment, m_spec.start)), this);
    m_value->setObjectName("value");
    m_value->setAlignment(Qt::AlignCenter);
    m_value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_value->setMinimumWidth(60);

    // Arrow and page steps that would leave the range leave the value where
    // it was (the scroll bar itself would stop at the end instead).
    connect(m_bar, &QAbstractSlider::actionTriggered, this, [this](int action) {
        const int now = m_bar->value();
        int delta = 0;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            delta = m_spec.lineStep;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            delta = -m_spec.lineStep;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            delta = m_spec.pageStep;
            break;
        case QAbstractSlider::SliderPageStepSub:
            delta = -m_spec.pageStep;
            break;
        default:
            return;
        }
        m_bar->setSliderPosition(steppedPosition(m_spec, now, delta));
    });
    connect(m_bar, &QAbstractSlider::sliderMoved, this, [this](int position) {
        m_value->setText(QString::fromStdString(adjustmentValueText(m_adjustment, position)));
    });
    connect(m_bar, &QAbstractSlider::valueChanged, this, [this](int position) { positionChanged(position); });

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The labels go under the bar alone, not under the value beside it.
    auto* scale = new QGridLayout;
    scale->addWidget(m_bar, 0, 0);
    scale->addWidget(m_value, 0, 1);
    scale->addWidget(new ScaleLabels(m_bar, m_spec, this), 1, 0);
    scale->setColumnStretch(0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(scale);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    keepTitleWhole(*this);
    m_bar->setFocus();
}

AdjustmentDialog::~AdjustmentDialog()
{
    stopWorker();
}

QString AdjustmentDialog::valueText() const
{
    return m_value->text();
}

void AdjustmentDialog::positionChanged(int position)
{
    m_value->setText(QString::fromStdString(adjustmentValueText(m_adjustment, position)));
    if (m_finished || !m_start)
        return; // without the starting picture no adjustment is shown
    if (m_start.size() > backgroundThreshold)
        requestInBackground(position);
    else
        computeNow(position);
}

void AdjustmentDialog::computeNow(int position)
{
    if (m_target.waitCursor)
        m_target.waitCursor(true);
    Result<ImageBlock> adjusted = adjustedCopy(m_adjustment, m_start, position);
    // A copy that cannot be made leaves the picture shown as it is.
    if (adjusted) {
        m_shown = ++m_requested;
        m_target.replace(adjusted.take());
    }
    activateWindow();
    if (m_target.waitCursor)
        m_target.waitCursor(false);
}

void AdjustmentDialog::requestInBackground(int position)
{
    std::lock_guard lock(m_mutex);
    m_pendingPosition = position;
    m_pendingGeneration = ++m_requested;
    m_hasPending = true; // replaces any value still waiting
    if (!m_worker.joinable())
        m_worker = std::thread([this] { workerLoop(); });
    m_wake.notify_one();
}

void AdjustmentDialog::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_hasPending; });
        if (!m_hasPending)
            break; // stopping with nothing left to do
        const int position = m_pendingPosition;
        const unsigned generation = m_pendingGeneration;
        m_hasPending = false;
        m_busy = true;
        lock.unlock();
        // The starting picture is only read, here and by nobody else while
        // the worker runs.
        Result<ImageBlock> adjusted = adjustedCopy(m_adjustment, m_start, position);
        lock.lock();
        m_busy = false;
        if (adjusted && generation > m_readyGeneration) {
            m_ready = adjusted.take();
            m_readyGeneration = generation;
            QMetaObject::invokeMethod(this, [this] { showReady(); }, Qt::QueuedConnection);
        }
        m_idle.notify_all();
    }
}

void AdjustmentDialog::showReady()
{
    if (m_finished)
        return;
    ImageBlock ready;
    unsigned generation = 0;
    {
        std::lock_guard lock(m_mutex);
        ready = std::move(m_ready);
        generation = m_readyGeneration;
    }
    if (!ready || generation <= m_shown)
        return;
    m_shown = generation;
    m_target.replace(std::move(ready));
}

void AdjustmentDialog::settle()
{
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return !m_hasPending && !m_busy; });
    }
    showReady();
}

void AdjustmentDialog::stopWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_worker.joinable())
        m_worker.join();
}

void AdjustmentDialog::done(int result)
{
    if (m_finished) {
        QDialog::done(result);
        return;
    }
    if (result == QDialog::Accepted) {
        // OK keeps the copy of the latest value, even one still being made.
        settle();
        m_finished = true;
        stopWorker();
        m_start = ImageBlock();
    } else {
        {
            std::lock_guard lock(m_mutex);
            m_hasPending = false;
        }
        m_finished = true;
        stopWorker();
        if (m_start)
            m_target.replace(std::move(m_start));
    }
    QDialog::done(result);
}

} // namespace pictorand
