#include "shell/dialogs/file_list_builder.h"

#include "dispatch/save_as.h"
#include "shell/core/file_dialogs.h"
#include "shell/dialogs/dialog_fitting.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace pictorand {

namespace {

QString nameFilter(const FileTypeFilter& type)
{
    QString patterns = QString::fromStdString(type.patterns);
    patterns.replace(';', ' ');
    return QString::fromStdString(type.description) + " (" + patterns + ")";
}

} // namespace

FileListBuilder::FileListBuilder(const std::string& startDirectory, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_browser = new QFileDialog(this);
    // A dialog's constructor makes any window type 0 a dialog window: make
    // it a plain child afterwards.
    m_browser->setWindowFlags(Qt::Widget);
    m_browser->setOption(QFileDialog::DontUseNativeDialog, true);
    m_browser->setOption(QFileDialog::HideNameFilterDetails, true);
    m_browser->setFileMode(QFileDialog::ExistingFiles);
    QStringList filters;
    for (const FileTypeFilter& type : openDialogTypes()) {
        filters << nameFilter(type);
        m_descriptions << QString::fromStdString(type.description);
        m_patterns << QString::fromStdString(type.patterns).split(';', Qt::SkipEmptyParts);
    }
    m_browser->setNameFilters(filters);
    fitFileDialog(*m_browser);
    if (!startDirectory.empty())
        m_browser->setDirectory(QString::fromStdString(startDirectory));
    // The folder view's own OK and Cancel would end nothing here.
    if (auto* buttons = m_browser->findChild<QDialogButtonBox*>())
        buttons->hide();
    // A double-click takes the file and keeps the view open.
    connect(m_browser, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        for (const QString& file : files)
            if (QFileInfo(file).isFile())
                addEntry(file.toStdString());
        m_browser->setVisible(true);
    });
    layout->addWidget(m_browser, 0, 0, 2, 1);
    // A dialog stays hidden with its parent unless shown itself.
    m_browser->setVisible(true);

    auto* group = new QGroupBox("File Names:");
    auto* groupLayout = new QVBoxLayout(group);
    m_list = new QListWidget;
    m_list->setObjectName("entries");
    m_list->setSortingEnabled(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Room for a path of a usual length beside the folder view.
    m_list->setMinimumWidth(m_list->fontMetrics().averageCharWidth() * 36);
    groupLayout->addWidget(m_list);
    auto* buttons = new QGridLayout;
    const std::pair<const char*, void (FileListBuilder::*)()> actions[] = {
        {"Add", &FileListBuilder::addSelected},
        {"Add all", &FileListBuilder::addAll},
        {"Remove", &FileListBuilder::removeSelected},
        {"Remove All", &FileListBuilder::clear},
    };
    int at = 0;
    for (const auto& [text, action] : actions) {
        auto* button = new QPushButton(text);
        button->setObjectName(text);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, action);
        buttons->addWidget(button, at / 2, at % 2);
        ++at;
    }
    groupLayout->addLayout(buttons);
    layout->addWidget(group, 0, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
}

std::vector<std::string> FileListBuilder::entries() const
{
    std::vector<std::string> paths;
    for (int i = 0; i < m_list->count(); ++i)
        paths.push_back(m_list->item(i)->text().toStdString());
    return paths;
}

void FileListBuilder::addEntry(const std::string& path) { m_list->addItem(QString::fromStdString(path)); }

void FileListBuilder::clear() { m_list->clear(); }

void FileListBuilder::addSelected()
{
    auto* field = m_browser->findChild<QLineEdit*>("fileNameEdit");
    if (!field || field->text().isEmpty()) {
        for (const QString& file : m_browser->selectedFiles())
            if (QFileInfo(file).isFile())
                addEntry(QFileInfo(file).absoluteFilePath().toStdString());
        return;
    }
    const QDir folder = m_browser->directory();
    for (const std::string& name : namesInFileNameField(field->text().toStdString())) {
        const QFileInfo file(folder.absoluteFilePath(QString::fromStdString(name)));
        if (file.isFile())
            addEntry(file.absoluteFilePath().toStdString());
    }
    field->clear();
}

void FileListBuilder::addAll()
{
    // With the patterns hidden the view reports the description alone.
    const QString filter = m_browser->selectedNameFilter();
    qsizetype index = m_descriptions.indexOf(filter);
    for (qsizetype i = 0; index < 0 && i < m_descriptions.size(); ++i)
        if (filter.startsWith(m_descriptions[i] + " ("))
            index = i;
    if (index < 0)
        return;
    const QDir folder = m_browser->directory();
    for (const QString& name : folder.entryList(m_patterns[index], QDir::Files, QDir::Name))
        addEntry(folder.absoluteFilePath(name).toStdString());
}

void FileListBuilder::removeSelected()
{
    qDeleteAll(m_list->selectedItems());
}

} // namespace pictorand
