#pragma once
// The two property sheets: Properties (JPEG/PCD, Animated GIF, Extensions,
// Copy/Move, Other Options) and Save Properties (JPEG/GIF, TIFF). Each page
// reads the settings file the first time it is shown in a sheet and keeps a
// working copy in its controls; OK writes the pages that were shown, Cancel
// writes nothing.

#include "platform/settings_file.h"
#include "platform/user_interface.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QTabWidget;

namespace pictorand {

class SettingsPage : public QWidget {
public:
    explicit SettingsPage(QWidget* parent = nullptr) : QWidget(parent) {}
    std::vector<std::function<void()>> loaders; // settings into controls
    std::vector<std::function<void()>> savers;  // controls into settings
    bool visited = false;
};

class PropertySheet : public QDialog {
public:
    // `name` completes the caption "Pictorand32 %s".
    PropertySheet(const QString& name, QWidget* parent);
    void addPage(SettingsPage* page, const QString& title);
    QTabWidget* tabs() const { return m_tabs; }
    void accept() override;

private:
    void showPage(int index);
    QTabWidget* m_tabs = nullptr;
    std::vector<SettingsPage*> m_pages;
};

struct PropertiesServices {
    SettingsFile& settings;
    UserInterface& ui;
    // The directory chooser of the file operations, from a start folder.
    std::function<std::optional<std::string>(const std::string&)> chooseDirectory;
    // Runs the Extensions page's OK (the associations).
    std::function<void(const std::vector<bool>& ticked, bool thumbnailForBmp)> applyAssociations;
};

// The Properties sheet with its five pages.
PropertySheet* makePropertiesSheet(PropertiesServices services, QWidget* parent);
// The Save Properties sheet of the Save-as and batch dialogs.
PropertySheet* makeSaveOptionsSheet(SettingsFile& settings, QWidget* parent);
// That sheet, shown until it is closed.
void runSaveOptionsSheet(SettingsFile& settings, QWidget* parent);

} // namespace pictorand
