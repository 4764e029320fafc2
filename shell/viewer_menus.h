#pragma once
// The main window's menu bar, built from the command table: one action per
// command with its accelerators as shortcuts (accelerators of commands that
// have no item act through hidden actions of the window), the pop-up of
// recently used directories, and the enabled and checked states from the
// one rule.

#include "platform/settings_file.h"
#include "shell/core/commands.h"
#include "shell/core/viewer_controller.h"

#include <functional>
#include <map>

class QAction;
class QMainWindow;
class QMenu;

namespace pictorand {

class ViewerMenus {
public:
    // `run` runs a command chosen from a menu or by its accelerator;
    // `opening` runs before any menu opens.
    ViewerMenus(QMainWindow& window, const SettingsFile& settings, std::function<void(int)> run,
                std::function<void()> opening);

    // The recently-used-directories pop-up, from the settings.
    void rebuildRecentDirectories();
    // Every action's enabled and checked state; a command without a handler
    // stays disabled.
    void update(const ViewerState& state, const CommandHandlers& handlers);
    QAction* action(int id) const;

private:
    void addEntries(QMenu* menu, const std::vector<MenuEntry>& entries);

    QMainWindow& m_window;
    const SettingsFile& m_settings;
    std::function<void(int)> m_run;
    std::map<int, QAction*> m_actions;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QMenu* m_recentMenu = nullptr;
};

} // namespace pictorand
