#pragma once
// The Print Options dialog (template "PRINT"): how the picture is placed on
// the page. Nothing is remembered between openings.

#include "shell/core/print_layout.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace pictorand {

class PrintOptionsDialog : public QDialog {
public:
    explicit PrintOptionsDialog(QWidget* parent);
    // The placement of the checked button and the two factors (an empty
    // field keeps 1.00).
    PrintOptions options() const;
    // Runs the dialog: the options on Print, nothing on Cancel or close.
    static std::optional<PrintOptions> ask(QWidget* parent);

private:
    void enableScale(bool on);

    QRadioButton* m_horizontal;
    QRadioButton* m_vertical;
    QRadioButton* m_stretch;
    QRadioButton* m_scale;
    QLineEdit* m_scaleX;
    QLineEdit* m_scaleY;
    QLabel* m_labelX;
    QLabel* m_labelY;
};

} // namespace pictorand
