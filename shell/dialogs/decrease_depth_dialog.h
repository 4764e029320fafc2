#pragma once
// "Decrease color depth" (dialog 200): 256, 16 or 2 colours, the buttons a
// picture's depth cannot use disabled.

#include <QDialog>

#include <optional>

class QRadioButton;

namespace pictorand {

class DecreaseDepthDialog : public QDialog {
public:
    DecreaseDepthDialog(int bitCount, QWidget* parent);
    // The colour count OK returns.
    int colors() const;
    // Runs the dialog; nothing on Cancel.
    static std::optional<int> ask(int bitCount, QWidget* parent);

private:
    QRadioButton* m_256;
    QRadioButton* m_16;
    QRadioButton* m_2;
};

} // namespace pictorand
