#pragma once
// The Copy-Move dialog: five remembered destination folders, each with a
// Browse button, and the number buttons that pick one.

#include "platform/settings_file.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QLineEdit;

namespace pictorand {

class CopyMoveDialog : public QDialog {
    Q_OBJECT
public:
    using Browse = std::function<std::optional<std::string>(const std::string& start, QWidget* owner)>;
    CopyMoveDialog(bool move, const std::string& currentPath, SettingsFile& settings, Browse browse,
                   QWidget* parent);

    // The folder of the number button pressed.
    const std::string& chosen() const { return m_chosen; }
    QLineEdit* slot(int index) const { return m_slots[index]; }

    static std::optional<std::string> run(bool move, const std::string& currentPath, SettingsFile& settings,
                                          const Browse& browse, QWidget* owner);

private:
    void choose(int index);

    bool m_move;
    SettingsFile& m_settings;
    QLineEdit* m_slots[5] = {};
    std::string m_chosen;
};

} // namespace pictorand
