#include "shell/dialogs/size_dialog.h"

#include "platform/settings_file.h"
#include "platform/settings_keys.h"
#include "shell/dialogs/dialog_fitting.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace pictorand {

SizeDialog::SizeDialog(const QString& title, int width, int height, bool aspectLock, const DisplayMetrics& metrics,
                       QWidget* parent)
    : QDialog(parent), m_model(width, height, aspectLock), m_metrics(metrics)
{
    setObjectName("Resize");
    setWindowTitle(title);

    // The text holds tabs; a label does not expand them, so the three parts
    // go into columns of their own.
    const QStringList parts = QString::fromStdString(m_model.currentSizeText()).split('\t');
    auto* current = new QLabel(parts.value(0) + "   " + parts.value(1), this);
    current->setObjectName("currentSize");

    m_width = new QLineEdit(QString::number(width), this);
    m_height = new QLineEdit(QString::number(height), this);
    m_width->setObjectName("width");
    m_height->setObjectName("height");
    for (QLineEdit* field : {m_width, m_height}) {
        field->setValidator(new QIntValidator(0, 999999, field));
        field->installEventFilter(this);
    }
    connect(m_width, &QLineEdit::textEdited, this, [this] { m_model.lastEdited = SizeField::Width; });
    connect(m_height, &QLineEdit::textEdited, this, [this] { m_model.lastEdited = SizeField::Height; });
    m_lock = new QCheckBox("&Preserve aspect ratio", this);
    m_lock->setObjectName("aspectLock");
    m_lock->setChecked(aspectLock);
    connect(m_lock, &QCheckBox::toggled, this, [this](bool on) { m_model.aspectLock = on; });

    auto* fields = new QGridLayout;
    auto* widthLabel = new QLabel("&Width:", this);
    widthLabel->setBuddy(m_width);
    auto* heightLabel = new QLabel("&Height:", this);
    heightLabel->setBuddy(m_height);
    fields->addWidget(current, 0, 0, 1, 2);
    fields->addWidget(widthLabel, 1, 0);
    fields->addWidget(m_width, 1, 1);
    fields->addWidget(heightLabel, 2, 0);
    fields->addWidget(m_height, 2, 1);
    fields->addWidget(m_lock, 3, 0, 1, 2);

    auto* presets = new QGroupBox("Presets", this);
    auto* presetLayout = new QGridLayout(presets);
    const std::pair<const char*, SizePreset> buttons[] = {
        {"640 x 480 Pixels", SizePreset::Width640},  {"800 x 600 Pixels", SizePreset::Width800},
        {"1024 x 768 Pixels", SizePreset::Width1024}, {"50 %", SizePreset::Half},
        {"200 %", SizePreset::Double},               {"Best fit to desktop", SizePreset::BestFit}};
    int index = 0;
    for (const auto& [text, which] : buttons) {
        auto* button = new QPushButton(text, presets);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, which = which] { preset(which); });
        presetLayout->addWidget(button, index % 3, index / 3);
        ++index;
    }

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        const auto [newWidth, newHeight] = m_model.sizeOnOk(m_width->text().toInt(), m_height->text().toInt());
        m_width->setText(QString::number(newWidth));
        m_height->setText(QString::number(newHeight));
        accept();
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addLayout(fields);
    top->addWidget(presets);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    keepTitleWhole(*this);
    m_width->setFocus();
}

bool SizeDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && m_model.aspectLock && (watched == m_width || watched == m_height)) {
        QLineEdit* field = static_cast<QLineEdit*>(watched);
        if (field == m_width)
            m_width->setText(QString::number(m_model.widthForHeight(m_height->text().toInt())));
        else
            m_height->setText(QString::number(m_model.heightForWidth(m_width->text().toInt())));
        // A focus change by mouse places the cursor after this event; select
        // once it has settled.
        QTimer::singleShot(0, field, [field] { field->selectAll(); });
        field->selectAll();
    }
    return QDialog::eventFilter(watched, event);
}

void SizeDialog::preset(SizePreset which)
{
    m_model.applyPreset(which, m_metrics);
    showWorkingSize();
    m_width->setFocus();
}

void SizeDialog::showWorkingSize()
{
    m_width->setText(QString::number(m_model.workingWidth));
    m_height->setText(QString::number(m_model.workingHeight));
}

NewSize SizeDialog::size() const
{
    return {m_width->text().toInt(), m_height->text().toInt()};
}

bool SizeDialog::aspectLock() const
{
    return m_lock->isChecked();
}

std::optional<NewSize> SizeDialog::ask(const QString& title, int width, int height, SettingsFile& settings,
                                      const DisplayMetrics& metrics, QWidget* parent)
{
    SizeDialog dialog(title, width, height, settings.readInt(settings::ResizeAspectRatio) != 0, metrics, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    settings.writeText(settings::ResizeAspectRatio, dialog.aspectLock() ? "1" : "0");
    return dialog.size();
}

} // namespace pictorand
