#include "shell/dialogs/print_options_dialog.h"

#include "shell/dialogs/dialog_fitting.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace pictorand {

PrintOptionsDialog::PrintOptionsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("PRINT");
    setWindowTitle("Print Options");

    auto* placement = new QGroupBox(this);
    m_horizontal = new QRadioButton("&Horizontal - Best Fit", placement);
    m_vertical = new QRadioButton("&Vertical - Best Fit", placement);
    m_stretch = new QRadioButton("Stretch to &Page", placement);
    m_scale = new QRadioButton("&Scale", placement);
    m_horizontal->setObjectName("horizontal");
    m_vertical->setObjectName("vertical");
    m_stretch->setObjectName("stretch");
    m_scale->setObjectName("scale");
    m_horizontal->setChecked(true);

    m_scaleX = new QLineEdit("1.00", placement);
    m_scaleY = new QLineEdit("1.00", placement);
    m_scaleX->setObjectName("scaleX");
    m_scaleY->setObjectName("scaleY");
    m_labelX = new QLabel("&X Axis", placement);
    m_labelY = new QLabel("&Y Axis", placement);
    m_labelX->setBuddy(m_scaleX);
    m_labelY->setBuddy(m_scaleY);
    // The factors belong to "Scale" alone: they follow the button clicked last.
    for (QRadioButton* button : {m_horizontal, m_vertical, m_stretch, m_scale})
        connect(button, &QRadioButton::clicked, this, [this, button] { enableScale(button == m_scale); });
    enableScale(false);

    auto* grid = new QGridLayout(placement);
    grid->addWidget(m_horizontal, 0, 0, 1, 3);
    grid->addWidget(m_vertical, 1, 0, 1, 3);
    grid->addWidget(m_stretch, 2, 0, 1, 3);
    grid->addWidget(m_scale, 3, 0, 1, 3);
    grid->addWidget(m_labelX, 4, 1);
    grid->addWidget(m_scaleX, 4, 2);
    grid->addWidget(m_labelY, 5, 1);
    grid->addWidget(m_scaleY, 5, 2);
    grid->setColumnMinimumWidth(0, 16);

    auto* box = new QDialogButtonBox(this);
    QPushButton* print = box->addButton("Print", QDialogButtonBox::AcceptRole);
    print->setObjectName("print");
    print->setDefault(true);
    box->addButton(QDialogButtonBox::Cancel);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(placement);
    layout->addWidget(box);
    keepTitleWhole(*this);
    setFixedSize(sizeHint());
}

void PrintOptionsDialog::enableScale(bool on)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{m_scaleX, m_scaleY, m_labelX, m_labelY})
        widget->setEnabled(on);
}

PrintOptions PrintOptionsDialog::options() const
{
    PrintOptions options;
    if (m_horizontal->isChecked())
        options.placement = PrintPlacement::HorizontalFit;
    else if (m_vertical->isChecked())
        options.placement = PrintPlacement::VerticalFit;
    else if (m_stretch->isChecked())
        options.placement = PrintPlacement::Stretch;
    else
        options.placement = PrintPlacement::Scale;
    if (!m_scaleX->text().isEmpty())
        options.scaleX = parseScale(m_scaleX->text().toStdString());
    if (!m_scaleY->text().isEmpty())
        options.scaleY = parseScale(m_scaleY->text().toStdString());
    return options;
}

std::optional<PrintOptions> PrintOptionsDialog::ask(QWidget* parent)
{
    PrintOptionsDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.options();
}

} // namespace pictorand
