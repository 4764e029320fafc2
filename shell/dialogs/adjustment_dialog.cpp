#include "shell/dialogs/adjustment_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include <atomic>

namespace pictorand {

namespace {
std::atomic<size_t> backgroundThreshold{4u << 20};
}

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

    auto* labels = new QGridLayout;
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(m_spec.labels[i], this);
        label->setAlignment(i == 0 ? Qt::AlignLeft : i == 1 ? Qt::AlignHCenter : Qt::AlignRight);
        labels->addWidget(label, 0, i);
    }
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(m_bar, 1);
    row->addWidget(m_value);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(labels);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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
    ImageBlock adjusted = adjustedCopy(m_adjustment, m_start, position);
    // A copy that cannot be made leaves the picture shown as it is.
    if (adjusted) {
        m_shown = ++m_requested;
        m_target.replace(std::move(adjusted));
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
        ImageBlock adjusted = adjustedCopy(m_adjustment, m_start, position);
        lock.lock();
        m_busy = false;
        if (adjusted && generation > m_readyGeneration) {
            m_ready = std::move(adjusted);
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
