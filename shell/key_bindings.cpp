#include "shell/key_bindings.h"

#include <QApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>

namespace pictorand {

namespace {

Qt::Key qtKey(char32_t key)
{
    switch (key) {
    case key::Space:
        return Qt::Key_Space;
    case key::Enter:
        return Qt::Key_Return;
    case key::Escape:
        return Qt::Key_Escape;
    case key::Backspace:
        return Qt::Key_Backspace;
    case key::Delete:
        return Qt::Key_Delete;
    case key::Insert:
        return Qt::Key_Insert;
    case key::F6:
        return Qt::Key_F6;
    case key::F7:
        return Qt::Key_F7;
    case key::F8:
        return Qt::Key_F8;
    case key::PageUp:
        return Qt::Key_PageUp;
    case key::PageDown:
        return Qt::Key_PageDown;
    case key::Home:
        return Qt::Key_Home;
    case key::End:
        return Qt::Key_End;
    case key::Left:
        return Qt::Key_Left;
    case key::Right:
        return Qt::Key_Right;
    case key::Up:
        return Qt::Key_Up;
    case key::Down:
        return Qt::Key_Down;
    case U'+':
        return Qt::Key_Plus;
    case U'-':
        return Qt::Key_Minus;
    default:
        return static_cast<Qt::Key>(Qt::Key_A + static_cast<int>(key - U'A'));
    }
}

Qt::KeyboardModifiers qtModifiers(unsigned modifiers)
{
    Qt::KeyboardModifiers result;
    if (modifiers & Ctrl)
        result |= Qt::ControlModifier;
    if (modifiers & Shift)
        result |= Qt::ShiftModifier;
    return result;
}

} // namespace

QList<QKeySequence> keySequences(const KeyStroke& stroke)
{
    QList<Qt::Key> keys{qtKey(stroke.key)};
    // The keypad's Enter is Enter too.
    if (stroke.key == key::Enter)
        keys.append(Qt::Key_Enter);
    // '+' and '-' are characters, however the keyboard makes them; window
    // keys take Shift as well.
    const bool shiftToo = stroke.scope == KeyScope::Window || stroke.key == U'+' || stroke.key == U'-';
    QList<QKeySequence> sequences;
    for (Qt::Key key : keys) {
        sequences.append(QKeySequence(QKeyCombination(qtModifiers(stroke.modifiers), key)));
        if (shiftToo && !(stroke.modifiers & Shift))
            sequences.append(QKeySequence(QKeyCombination(qtModifiers(stroke.modifiers) | Qt::ShiftModifier, key)));
    }
    return sequences;
}

void addWindowShortcuts(QWidget* window, const std::function<bool(const KeyStroke&)>& wanted,
                        const std::function<void(int)>& run)
{
    for (const CommandRow& row : commandTable())
        for (const KeyStroke& stroke : row.keys) {
            if (!wanted(stroke))
                continue;
            for (const QKeySequence& sequence : keySequences(stroke)) {
                auto* shortcut = new QShortcut(sequence, window);
                shortcut->setContext(Qt::WindowShortcut);
                shortcut->setAutoRepeat(true);
                const int id = row.id;
                QObject::connect(shortcut, &QShortcut::activated, window, [run, id] { run(id); });
            }
        }
}

KeyWatch::KeyWatch(QObject* parent, std::function<void()> beforeKey)
    : QObject(parent), m_beforeKey(std::move(beforeKey))
{
    qApp->installEventFilter(this);
}

KeyWatch::~KeyWatch()
{
    qApp->removeEventFilter(this);
}

bool KeyWatch::eventFilter(QObject* watched, QEvent* event)
{
    // The shortcut map offers every key to the focus widget first as an
    // override event, which carries the key's time.
    if (event->type() == QEvent::ShortcutOverride && !QApplication::activeModalWidget()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        m_time = key->timestamp();
        m_repeat = key->isAutoRepeat();
        if (m_beforeKey)
            m_beforeKey();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pictorand
