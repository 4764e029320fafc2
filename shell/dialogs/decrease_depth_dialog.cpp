#include "shell/dialogs/decrease_depth_dialog.h"

#include "shell/core/image_menu_rules.h"
#include "shell/dialogs/dialog_fitting.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace pictorand {

DecreaseDepthDialog::DecreaseDepthDialog(int bitCount, QWidget* parent) : QDialog(parent)
{
    setObjectName("DecreaseColorDepth");
    setWindowTitle("Decrease color depth");
    auto* group = new QGroupBox(this);
    m_256 = new QRadioButton("2&56 Colors", group);
    m_16 = new QRadioButton("&16 Colors", group);
    m_2 = new QRadioButton("&2 Colors (Black/White)", group);
    m_256->setObjectName("colors256");
    m_16->setObjectName("colors16");
    m_2->setObjectName("colors2");
    auto* buttons = new QButtonGroup(this);
    buttons->addButton(m_256);
    buttons->addButton(m_16);
    buttons->addButton(m_2);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_256);
    groupLayout->addWidget(m_16);
    groupLayout->addWidget(m_2);

    const ColorDepthChoices choices = decreaseDepthChoices(bitCount);
    m_256->setEnabled(choices.enable256);
    m_16->setEnabled(choices.enable16);
    m_256->setChecked(choices.preset == 256);
    m_16->setChecked(choices.preset == 16);
    m_2->setChecked(choices.preset == 2);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    keepTitleWhole(*this);
}

int DecreaseDepthDialog::colors() const
{
    return decreaseDepthColors(m_16->isChecked(), m_2->isChecked());
}

std::optional<int> DecreaseDepthDialog::ask(int bitCount, QWidget* parent)
{
    DecreaseDepthDialog dialog(bitCount, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.colors();
}

} // namespace pictorand
