#pragma once
// The user interface of the program's logic as real Qt dialogs: task-modal
// message boxes captioned "Pictorand32" with the matching icon, and
// non-native file dialogs (the same on every desktop, room for a preview).

#include "core/messages.h"
#include "platform/user_interface.h"
#include "shell/core/file_dialogs.h"

#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>

class QFileDialog;

namespace pictorand {

inline constexpr const char* kPreviewOldMetafileText = "Old Metafile";

// What the Open dialog's preview area shows for a file: a picture (centred),
// else a sound or video file played in the area, else a text at (5, 5).
struct PreviewContent {
    QPixmap picture;
    std::string mediaPath;
    QString text;
};

// Where a picture of width x height goes in a preview area of `area`: the
// full-screen fit (never enlarged, centred).
QRect fittedPreviewRect(int width, int height, QSize area);

class QtUserInterface : public UserInterface, public FileDialogs {
public:
    // `owner` is the main window; messages are owned by the active window.
    explicit QtUserInterface(QWidget* owner);

    void showMessage(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text, MessageIcon icon, bool defaultNo) override;
    bool askOkCancel(const std::string& text, MessageIcon icon) override;
    void setWaitCursor(bool waiting) override;
    void setWindowTitle(const std::string& title) override;
    void rebuildDirectoryList() override;
    void postCommand(int commandId) override;

    std::optional<FileDialogResult> runFileDialog(const FileDialogRequest& request) override;

    // Where posted commands go (the main window's dispatch).
    std::function<void(int)> commandSink;
    std::function<void()> directoryListSink;
    // The Save-as dialog's Options button: runs the save-options sheet
    // over the dialog.
    std::function<void(QWidget* owner)> saveOptionsSink;
    // The Open dialog's preview: what to show for a file, fitted into `area`
    // (never enlarged); called with an empty path when nothing is shown any
    // more. And the remembered state of its "Preview active" box.
    std::function<PreviewContent(const std::string& path, QSize area)> previewSink;
    std::function<bool()> previewActive;
    std::function<void(bool)> setPreviewActive;

private:
    QWidget* messageOwner() const;
    void addPreview(QFileDialog& dialog);

    QPointer<QWidget> m_owner;
    bool m_waiting = false;
    int m_waitDepth = 0;
};

// "Description (*.a *.b)" as Qt's file dialog wants a type.
QString qtNameFilter(const FileType& type);

} // namespace pictorand
