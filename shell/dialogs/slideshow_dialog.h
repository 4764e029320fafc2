#pragma once
// The slideshow dialog: the list of pictures to show, built from a folder
// view or a list file, and the show's options.

#include "platform/settings_file.h"
#include "platform/user_interface.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace pictorand {

class FileListBuilder;

class SlideshowDialog : public QDialog {
    Q_OBJECT
public:
    SlideshowDialog(SettingsFile& settings, UserInterface& ui, QWidget* parent);
    // The options are written however the dialog ends.
    ~SlideshowDialog() override;

    // The list-file dialog for loading or saving: a path, or nothing when
    // cancelled. Tests substitute it.
    static std::function<std::optional<std::string>(bool save, QWidget* owner)> listFileChooser;

    FileListBuilder* files() const { return m_files; }
    QLineEdit* autoDelay() const { return m_autoDelay; }
    // What Play handed over, in list order.
    const std::vector<std::string>& played() const { return m_played; }

    void loadList();
    void saveList();
    void play();

private:
    void writeOptions();

    SettingsFile& m_settings;
    UserInterface& m_ui;
    FileListBuilder* m_files;
    QCheckBox* m_loop;
    QCheckBox* m_quiet;
    QCheckBox* m_showName;
    QRadioButton* m_modes[3];
    QLineEdit* m_autoDelay;
    QLineEdit* m_randomDelay;
    std::vector<std::string> m_played;
};

// Where the dialog keeps its list between runs.
std::string slideshowListPath();

} // namespace pictorand
