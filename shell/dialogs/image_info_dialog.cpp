#include "shell/dialogs/image_info_dialog.h"

#include "shell/dialogs/dialog_fitting.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pictorand {

ImageInfoDialog::ImageInfoDialog(std::function<ImageInfoInput()> input, QWidget* parent)
    : QDialog(parent), m_input(std::move(input))
{
    setObjectName("IMAGEINFO");
    setWindowTitle(kImageInfoTitle);
    auto* form = new QFormLayout;
    for (size_t i = 0; i < kImageInfoFields.size(); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        edit->setObjectName(QString("edit%1").arg(kImageInfoFields[i].editId));
        edit->setMinimumWidth(260);
        form->addRow(kImageInfoFields[i].label, edit);
        m_edits[i] = edit;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    keepTitleWhole(*this);
    fill();
}

QLineEdit* ImageInfoDialog::edit(int editId) const
{
    for (size_t i = 0; i < kImageInfoFields.size(); ++i)
        if (kImageInfoFields[i].editId == editId)
            return m_edits[i];
    return nullptr;
}

void ImageInfoDialog::fill()
{
    const std::array<std::string, 9> texts = imageInfoTexts(m_input());
    for (size_t i = 0; i < texts.size(); ++i) {
        const QString text = QString::fromStdString(texts[i]);
        if (m_edits[i]->text() != text)
            m_edits[i]->setText(text);
    }
}

void ImageInfoDialog::paintEvent(QPaintEvent* event)
{
    fill();
    QDialog::paintEvent(event);
}

} // namespace pictorand
