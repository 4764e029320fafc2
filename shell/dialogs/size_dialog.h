#pragma once
// The size dialog (template "Resize") of the resize and resample commands:
// the new width and height, an aspect lock remembered in the settings file,
// and presets.

#include "shell/core/image_menu_rules.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QLineEdit;

namespace pictorand {

class SettingsFile;

struct NewSize {
    int width = 0;
    int height = 0;
};

class SizeDialog : public QDialog {
public:
    SizeDialog(const QString& title, int width, int height, bool aspectLock, const DisplayMetrics& metrics,
               QWidget* parent);
    NewSize size() const;
    bool aspectLock() const;
    // Runs the dialog; on OK writes "ResizeAspectRatio" and returns the two
    // field values.
    static std::optional<NewSize> ask(const QString& title, int width, int height, SettingsFile& settings,
                                      const DisplayMetrics& metrics, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void preset(SizePreset which);
    void showWorkingSize();

    SizeDialogModel m_model;
    DisplayMetrics m_metrics;
    QLineEdit* m_width;
    QLineEdit* m_height;
    QCheckBox* m_lock;
};

} // namespace pictorand
