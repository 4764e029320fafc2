#include "shell/viewer_menus.h"

#include "shell/core/recent_directories.h"
#include "shell/key_bindings.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace pictorand {

ViewerMenus::ViewerMenus(QMainWindow& window, const SettingsFile& settings, std::function<void(int)> run,
                         std::function<void()> opening)
    : m_window(window), m_settings(settings), m_run(std::move(run))
{
    for (const MenuDefinition& definition : pictorand::menuBar()) {
        QMenu* menu = window.menuBar()->addMenu(QString::fromStdString(definition.title));
        addEntries(menu, definition.entries);
        QObject::connect(menu, &QMenu::aboutToShow, &window, opening);
        if (!m_fileMenu)
            m_fileMenu = menu;
    }
    for (const CommandRow& row : commandTable()) {
        if (row.menu || row.keys.empty() || row.keys.front().scope != KeyScope::Accelerator)
            continue;
        auto* hidden = new QAction(&window);
        const int id = row.id;
        QObject::connect(hidden, &QAction::triggered, &window, [this, id] { m_run(id); });
        window.addAction(hidden);
        m_actions[id] = hidden;
    }
    for (auto& [id, action] : m_actions) {
        QList<QKeySequence> sequences;
        for (const KeyStroke& stroke : commandRow(id)->keys)
            if (stroke.scope == KeyScope::Accelerator)
                sequences += keySequences(stroke);
        action->setShortcuts(sequences);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    rebuildRecentDirectories();
}

void ViewerMenus::addEntries(QMenu* menu, const std::vector<MenuEntry>& entries)
{
    for (const MenuEntry& entry : entries) {
        switch (entry.kind) {
        case MenuEntry::Kind::Separator:
            menu->addSeparator();
            break;
        case MenuEntry::Kind::Popup:
            addEntries(menu->addMenu(QString::fromStdString(entry.text)), entry.entries);
            break;
        case MenuEntry::Kind::Command: {
            // The key hint is the text after the tab; the key itself is the
            // action's shortcut.
            QAction* action = menu->addAction(QString::fromStdString(entry.text));
            action->setData(entry.id);
            const int id = entry.id;
            QObject::connect(action, &QAction::triggered, &m_window, [this, id] { m_run(id); });
            m_actions[id] = action;
            break;
        }
        }
    }
}

void ViewerMenus::rebuildRecentDirectories()
{
    if (!m_fileMenu)
        return;
    if (m_recentMenu) {
        m_fileMenu->removeAction(m_recentMenu->menuAction());
        m_recentMenu->deleteLater();
    }
    if (m_recentSeparator) {
        m_fileMenu->removeAction(m_recentSeparator);
        delete m_recentSeparator;
    }
    m_recentSeparator = m_fileMenu->addSeparator();
    m_recentMenu = m_fileMenu->addMenu("MRUDs");
    const RecentDirectories directories = readRecentDirectories(m_settings);
    for (size_t slot = 0; slot < directories.size(); ++slot) {
        if (directories[slot].empty())
            continue;
        QAction* item = m_recentMenu->addAction(QString::fromStdString(directories[slot]));
        const int id = command::RecentDirectory1 + static_cast<int>(slot);
        item->setData(id);
        QObject::connect(item, &QAction::triggered, &m_window, [this, id] { m_run(id); });
    }
}

void ViewerMenus::update(const ViewerState& state, const CommandHandlers& handlers)
{
    for (auto& [id, action] : m_actions) {
        const CommandRow* row = commandRow(id);
        ItemState item = row ? menuRuleState(*row, state) : ItemState();
        if (!handlers.count(id))
            item.enabled = false; // in the menu already, its work comes later
        action->setEnabled(item.enabled);
        action->setCheckable(item.checked || action->isCheckable());
        action->setChecked(item.checked);
    }
}

QAction* ViewerMenus::action(int id) const
{
    auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

} // namespace pictorand
