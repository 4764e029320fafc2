#pragma once
// The live-preview dialogs "BrightnessDlg", "ContrastDlg" and
// "GammaCorrectionDlg". The dialog keeps the picture as it was when it
// opened; every accepted change of the scroll bar replaces the current
// picture with a freshly adjusted copy of that starting picture. OK keeps the
// last copy, Cancel (or closing) puts the starting picture back untouched.
//
// Large pictures are adjusted on a worker thread so the dialog keeps taking
// keys and drags while a copy is made: only the latest value waiting is
// computed (older waiting values are dropped), and a finished copy is shown
// only if nothing newer has been shown. Small pictures are adjusted at once.

#include "core/image_block.h"
#include "shell/core/image_menu_rules.h"

#include <QDialog>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

class QLabel;
class QScrollBar;

namespace pictorand {

class AdjustmentDialog : public QDialog {
public:
    struct Target {
        // Makes a block the current picture and repaints the main window at once.
        std::function<void(ImageBlock)> replace;
        std::function<void(bool)> waitCursor;
    };

    // `start` is the duplicate of the current picture the dialog keeps.
    AdjustmentDialog(Adjustment adjustment, ImageBlock start, Target target, QWidget* parent);
    ~AdjustmentDialog() override;

    QScrollBar* scrollBar() const { return m_bar; }
    QString valueText() const;
    // Waits until the copy for the latest value has been shown (tests, OK).
    void settle();

    void done(int result) override;

    // Pictures whose block is larger than this are adjusted in the background.
    static void setBackgroundThreshold(size_t bytes);

private:
    void positionChanged(int position);
    void computeNow(int position);
    void requestInBackground(int position);
    void workerLoop();
    void showReady();
    void stopWorker();

    Adjustment m_adjustment;
    const AdjustmentDialogLayout& m_spec;
    ImageBlock m_start;
    Target m_target;
    QScrollBar* m_bar;
    QLabel* m_value;
    bool m_finished = false;

    // Worker state, guarded by m_mutex.
    std::thread m_worker;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_stop = false;
    bool m_busy = false;
    bool m_hasPending = false;
    int m_pendingPosition = 0;
    unsigned m_pendingGeneration = 0;
    ImageBlock m_ready;
    unsigned m_readyGeneration = 0;
    // GUI thread only.
    unsigned m_requested = 0;
    unsigned m_shown = 0;
};

} // namespace pictorand
