#pragma once
// The batch conversion dialog (files, output type, output directory) and the
// progress window that lists each file's result while the run works on a
// thread of its own, so the window stays live and Stop acts at once.

#include "platform/settings_file.h"
#include "platform/user_interface.h"
#include "tools/batch/batch_conversion.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace pictorand {

class FileListBuilder;

class BatchDialog : public QDialog {
    Q_OBJECT
public:
    using Browse = std::function<std::optional<std::string>(const std::string& start, QWidget* owner)>;
    BatchDialog(SettingsFile& settings, UserInterface& ui, Browse browse, QWidget* parent);

    FileListBuilder* files() const { return m_files; }
    QComboBox* typeBox() const { return m_type; }
    QLineEdit* outputEdit() const { return m_output; }
    // Start: refuses an empty output directory; otherwise writes OutputPath
    // and OutputType and accepts.
    void start();

private:
    SettingsFile& m_settings;
    UserInterface& m_ui;
    FileListBuilder* m_files;
    QComboBox* m_type;
    QLineEdit* m_output;
};

class BatchProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit BatchProgressWindow(QWidget* parent);
    // Waits for the files in progress; never leaves a half-written file.
    ~BatchProgressWindow() override;

    // Starts the run on its own thread; the window must be shown.
    void run(BatchRequest request, const SettingsFile& settings);
    bool running() const { return !m_done; }
    QListWidget* lines() const { return m_lines; }
    QPushButton* stopButton() const { return m_stop; }
    QPushButton* exitButton() const { return m_exit; }

private:
    class Progress;
    void finish();

    QListWidget* m_lines;
    QPushButton* m_stop;
    QPushButton* m_exit;
    std::atomic<bool> m_stopRequested{false};
    bool m_done = true;
    std::unique_ptr<Progress> m_progress;
    std::thread m_thread;
};

} // namespace pictorand
