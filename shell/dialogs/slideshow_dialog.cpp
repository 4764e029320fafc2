#include "shell/dialogs/slideshow_dialog.h"

#include "core/messages.h"
#include "platform/formatted_text.h"
#include "platform/paths.h"
#include "shell/core/slideshow.h"
#include "shell/dialogs/file_list_builder.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

#include <sys/stat.h>

namespace pictorand {

namespace {

std::optional<std::string> chooseListFile(bool save, QWidget* owner)
{
    QFileDialog dialog(owner, save ? "Save slideshow as ..." : "Load slideshow from ...");
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // Our own question asks before a file is replaced.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter("(*.TXT) Text Files (*.txt)");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

bool exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// Text that is not an unsigned number gives 0.
int unsignedValue(const QLineEdit* edit)
{
    bool ok = false;
    const qulonglong value = edit->text().trimmed().toULongLong(&ok);
    return ok ? static_cast<int>(std::min<qulonglong>(value, kMaxSlideshowDelay)) : 0;
}

} // namespace

std::function<std::optional<std::string>(bool, QWidget*)> SlideshowDialog::listFileChooser = &chooseListFile;

std::string slideshowListPath() { return configDirectory() + "/" + kSlideshowListFile; }

SlideshowDialog::SlideshowDialog(SettingsFile& settings, UserInterface& ui, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_ui(ui)
{
    setWindowTitle("Slideshow");
    auto* layout = new QVBoxLayout(this);
    m_files = new FileListBuilder(settings.readText(settings::OpenDir), this);
    layout->addWidget(m_files, 1);

    auto* row = new QHBoxLayout;
    auto* options = new QGroupBox("Options");
    auto* optionsLayout = new QVBoxLayout(options);
    m_loop = new QCheckBox("&Loop");
    m_quiet = new QCheckBox("S&uppress errors during slideshow");
    m_showName = new QCheckBox("S&how image filename");
    m_loop->setChecked(settings.readInt(settings::SlideshowLoop) != 0);
    m_quiet->setChecked(settings.readInt(settings::SlideshowSuppressErrors) != 0);
    m_showName->setChecked(settings.readInt(settings::SlideshowShowFilename) != 0);
    for (QCheckBox* box : {m_loop, m_quiet, m_showName})
        optionsLayout->addWidget(box);
    row->addWidget(options);

    auto* advancement = new QGroupBox("Slide advancement");
    auto* grid = new QGridLayout(advancement);
    m_modes[0] = new QRadioButton("Auto&matic after");
    m_modes[1] = new QRadioButton("After &mouse or keyboard input");
    m_modes[2] = new QRadioButton("&Random after");
    m_autoDelay = new QLineEdit(QString::number(settings.readInt(settings::SlideshowAutoDelay)));
    m_randomDelay = new QLineEdit(QString::number(settings.readInt(settings::SlideshowRandomDelay)));
    for (QLineEdit* edit : {m_autoDelay, m_randomDelay})
        edit->setMaximumWidth(60);
    grid->addWidget(m_modes[0], 0, 0);
    grid->addWidget(m_autoDelay, 0, 1);
    grid->addWidget(new QLabel("seconds"), 0, 2);
    grid->addWidget(m_modes[1], 1, 0, 1, 3);
    grid->addWidget(m_modes[2], 2, 0);
    grid->addWidget(m_randomDelay, 2, 1);
    grid->addWidget(new QLabel("seconds"), 2, 2);
    const int mode = settings.readInt(settings::SlideshowAdvancement);
    if (mode >= 1 && mode <= 3)
        m_modes[mode - 1]->setChecked(true);
    row->addWidget(advancement);

    auto* files = new QGroupBox("Load/Save slideshow");
    auto* filesLayout = new QVBoxLayout(files);
    auto* load = new QPushButton("Load from file");
    auto* save = new QPushButton("Save to file");
    connect(load, &QPushButton::clicked, this, &SlideshowDialog::loadList);
    connect(save, &QPushButton::clicked, this, &SlideshowDialog::saveList);
    filesLayout->addWidget(load);
    filesLayout->addWidget(save);
    row->addWidget(files);
    layout->addLayout(row);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* playButton = new QPushButton("Play");
    auto* closeButton = new QPushButton("Close");
    connect(playButton, &QPushButton::clicked, this, &SlideshowDialog::play);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton* button : {load, save, playButton, closeButton})
        button->setAutoDefault(false);
    buttons->addWidget(playButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);

    if (auto entries = readSlideshowList(slideshowListPath()))
        for (const std::string& entry : *entries)
            m_files->addEntry(entry);
    resize(900, 600);
}

SlideshowDialog::~SlideshowDialog() { writeOptions(); }

void SlideshowDialog::writeOptions()
{
    m_settings.writeInt(settings::SlideshowAutoDelay, unsignedValue(m_autoDelay));
    m_settings.writeInt(settings::SlideshowRandomDelay, unsignedValue(m_randomDelay));
    m_settings.writeInt(settings::SlideshowLoop, m_loop->isChecked() ? 1 : 0);
    m_settings.writeInt(settings::SlideshowSuppressErrors, m_quiet->isChecked() ? 1 : 0);
    m_settings.writeInt(settings::SlideshowShowFilename, m_showName->isChecked() ? 1 : 0);
    for (int i = 0; i < 3; ++i)
        if (m_modes[i]->isChecked())
            m_settings.writeInt(settings::SlideshowAdvancement, i + 1);
}

void SlideshowDialog::loadList()
{
    // The list the user built stays until a file has been read.
    std::optional<std::string> path = listFileChooser(false, this);
    if (!path)
        return;
    std::optional<std::vector<std::string>> entries = readSlideshowList(*path);
    if (!entries) {
        m_ui.showMessage(kCantOpenListFile, MessageIcon::Information);
        return;
    }
    m_files->clear();
    for (const std::string& entry : *entries)
        m_files->addEntry(entry);
}

void SlideshowDialog::saveList()
{
    const std::vector<std::string> entries = m_files->entries();
    if (entries.empty())
        return;
    std::optional<std::string> chosen = listFileChooser(true, this);
    if (!chosen)
        return;
    const std::string path = slideshowListSaveName(*chosen);
    if (exists(path)
        && !m_ui.askYesNo(formatted("%s:\n\t%s ?", kReplaceFile, path.c_str()), MessageIcon::Question, true))
        return;
    if (!writeSlideshowList(path, entries))
        m_ui.showMessage(kCantOpenListFile, MessageIcon::Information);
}

void SlideshowDialog::play()
{
    m_played = m_files->entries();
    const std::string path = slideshowListPath();
    makeDirectories(configDirectory());
    if (!writeSlideshowList(path, m_played)) {
        m_ui.showMessage(formatted("%s: '%s' %s !", kCantOpenListFile, path.c_str(), "for writing"),
                         MessageIcon::Information);
        return;
    }
    accept();
}

} // namespace pictorand
