#pragma once
// The command table's keys as Qt shortcuts: accelerators on the commands'
// actions (a disabled command's key does nothing), window keys as shortcuts
// that act whatever the menu says. Before any key is matched the menu
// states are brought up to date, and the key's time is kept, for the steps
// that must not act on a repeat that waited while a picture loaded.

#include "shell/core/commands.h"

#include <QKeySequence>
#include <QList>
#include <QObject>

#include <functional>

class QWidget;

namespace pictorand {

// The sequences that press `stroke`: '+' and '-' with Shift or without,
// Enter on either keyboard block, a window key with Shift too.
QList<QKeySequence> keySequences(const KeyStroke& stroke);

// Shortcuts on `window` (active while it is the active window) for every
// stroke `wanted` picks, each running `run` with its command's id.
void addWindowShortcuts(QWidget* window, const std::function<bool(const KeyStroke&)>& wanted,
                        const std::function<void(int)>& run);

// Watches the keys pressed in the program before the shortcuts see them.
class KeyWatch : public QObject {
    Q_OBJECT
public:
    // `beforeKey` runs before a key of a window without a modal dialog
    // above it is matched to a shortcut.
    KeyWatch(QObject* parent, std::function<void()> beforeKey);
    ~KeyWatch() override;

    // The last key's time (the window system's clock, in ms) and whether
    // it was a repeat of a key held down.
    quint64 lastTime() const { return m_time; }
    bool lastWasRepeat() const { return m_repeat; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_beforeKey;
    quint64 m_time = 0;
    bool m_repeat = false;
};

} // namespace pictorand
