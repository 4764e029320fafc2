#include "shell/dialogs/copy_move_dialog.h"


#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pictorand {

CopyMoveDialog::CopyMoveDialog(bool move, const std::string& currentPath, SettingsFile& settings, Browse browse,
                               QWidget* parent)
    : QDialog(parent)
    , m_move(move)
    , m_settings(settings)
{
    const char* verb = move ? "Move" : "Copy";
    setWindowTitle(QString("%1 Image").arg(verb));
    auto* layout = new QVBoxLayout(this);
    auto* current = new QLabel(QString::fromStdString(std::string(verb) + ": " + currentPath));
    current->setObjectName("current");
    layout->addWidget(current);
    layout->addWidget(new QLabel("Destination directory:"));
    auto* grid = new QGridLayout;
    const SettingKey* keys = move ? settings::MoveDirs : settings::CopyDirs;
    for (int i = 0; i < 5; ++i) {
        const std::string value = expandSettingDefault(settings.readText(keys[i]));
        m_slots[i] = new QLineEdit(QString::fromStdString(value));
        auto* browseButton = new QPushButton("Browse ...");
        browseButton->setObjectName(QString("browse%1").arg(i + 1));
        grid->addWidget(new QLabel(QString("%1.").arg(i + 1)), i, 0);
        grid->addWidget(m_slots[i], i, 1);
        grid->addWidget(browseButton, i, 2);
        // Browse starts from the value read at opening and fills the slot;
        // only a number button closes the dialog.
        connect(browseButton, &QPushButton::clicked, this, [this, i, value, browse] {
            if (auto chosen = browse(value, this))
                m_slots[i]->setText(QString::fromStdString(*chosen));
        });
    }
    layout->addLayout(grid);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Copy to directory number:"));
    for (int i = 0; i < 5; ++i) {
        auto* number = new QPushButton(QString("&%1").arg(i + 1));
        number->setObjectName(QString("number%1").arg(i + 1));
        connect(number, &QPushButton::clicked, this, [this, i] { choose(i); });
        row->addWidget(number);
    }
    auto* cancel = new QPushButton("Cancel");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(cancel);
    layout->addLayout(row);
}

void CopyMoveDialog::choose(int index)
{
    m_chosen = m_slots[index]->text().toStdString();
    const SettingKey* keys = m_move ? settings::MoveDirs : settings::CopyDirs;
    for (int i = 0; i < 5; ++i)
        m_settings.writeText(keys[i], m_slots[i]->text().toStdString());
    accept();
}

std::optional<std::string> CopyMoveDialog::run(bool move, const std::string& currentPath, SettingsFile& settings,
                                               const Browse& browse, QWidget* owner)
{
    CopyMoveDialog dialog(move, currentPath, settings, browse, owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

} // namespace pictorand
