#pragma once
// The list-building half of the slideshow and batch dialogs: a folder view
// to pick files from, the sorted list of files taken, and Add, Add all,
// Remove and Remove All.

#include <QStringList>
#include <QWidget>

#include <string>
#include <vector>

class QFileDialog;
class QListWidget;

namespace pictorand {

class FileListBuilder : public QWidget {
    Q_OBJECT
public:
    FileListBuilder(const std::string& startDirectory, QWidget* parent);

    // In list order: sorted by full path, as the list shows them.
    std::vector<std::string> entries() const;
    void addEntry(const std::string& path);
    void clear();
    QListWidget* list() const { return m_list; }
    QFileDialog* browser() const { return m_browser; }

    // Add: the files named in the file-name field (several when quoted), or
    // those selected in the folder view; the field is emptied.
    void addSelected();
    // Add all: every file of the shown folder matching the chosen type.
    void addAll();
    void removeSelected();

private:
    QFileDialog* m_browser;
    QListWidget* m_list;
    QStringList m_descriptions;      // of the types, in the view's order
    QList<QStringList> m_patterns;   // of each type
};

} // namespace pictorand
