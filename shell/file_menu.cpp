#include "shell/file_menu.h"

#include "dispatch/file_rename.h"
#include "dispatch/page_load.h"
#include "dispatch/save_as.h"
#include "dispatch/save_dispatch.h"
#include "platform/formatted_text.h"
#include "platform/paths.h"
#include "shell/core/commands.h"
#include "shell/dialogs/batch_dialog.h"
#include "shell/dialogs/copy_move_dialog.h"
#include "shell/dialogs/dialog_fitting.h"
#include "shell/dialogs/file_list_builder.h"
#include "shell/dialogs/slideshow_dialog.h"
#include "tools/batch/batch_conversion.h"
#include "tools/files/file_operations.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <unistd.h>

namespace pictorand {

namespace {

std::optional<std::string> askNewName(const std::string& name, QWidget* owner)
{
    QInputDialog dialog(owner);
    dialog.setWindowTitle("Rename/Move file:");
    dialog.setLabelText("New name:");
    dialog.setTextValue(QString::fromStdString(name));
    // Its layout is made when it is shown: the name field holds the width
    // the title needs.
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMinimumWidth(titleBarWidth(dialog.windowTitle())
                               - 2 * dialog.style()->pixelMetric(QStyle::PM_LayoutLeftMargin));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue().toStdString();
}

std::optional<std::string> chooseDirectory(const std::string& start, QWidget* owner)
{
    QFileDialog dialog(owner, "Select a directory ...", QString::fromStdString(start));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::Accept, "Use dir");
    fitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

} // namespace

std::optional<std::string> FileMenu::copyMoveDialog(bool move, const std::string& currentPath,
                                                   SettingsFile& settings, QWidget* owner)
{
    return CopyMoveDialog::run(move, currentPath, settings, directoryChooser, owner);
}

std::function<std::optional<std::string>(bool, const std::string&, SettingsFile&, QWidget*)>
    FileMenu::copyMoveChooser = &FileMenu::copyMoveDialog;
std::function<std::optional<std::string>(const std::string&, QWidget*)> FileMenu::renamePrompt = &askNewName;
std::function<std::optional<std::string>(const std::string&, QWidget*)> FileMenu::directoryChooser = &chooseDirectory;

std::string replaceQuestion(const std::string& destination, uint64_t destinationSize, const std::string& source,
                            uint64_t sourceSize)
{
    return formatted("%s:\n\t%s , %llu  bytes\n%s:\n\t%s , %llu  bytes\n", kReplaceFile, destination.c_str(),
                     static_cast<unsigned long long>(destinationSize), "with file", source.c_str(),
                     static_cast<unsigned long long>(sourceSize));
}

FileMenu::FileMenu(PictureHost& host) : m_host(host) {}

void FileMenu::registerHandlers(CommandHandlers& handlers)
{
    using namespace command;
    handlers[CopyFile] = [this] { copyOrMove(false); };
    handlers[MoveFile] = [this] { copyOrMove(true); };
    handlers[RenameFile] = [this] { rename(); };
    handlers[DeleteFile] = [this] { remove(); };
    handlers[BatchConversion] = [this] { batchConversion(); };
    handlers[ExtractAllPages] = [this] { extractAllPages(); };
    handlers[Slideshow] = [this] {
        std::vector<std::string> entries;
        {
            SlideshowDialog dialog(m_host.settings(), m_host.ui(), m_host.dialogParent());
            if (dialog.exec() != QDialog::Accepted)
                return;
            entries = dialog.played();
        }
        m_host.startSlideshow(std::move(entries));
    };
}

void FileMenu::extractAllPages()
{
    CurrentImage& image = m_host.picture();
    if (!image.multiPage)
        return;
    std::optional<std::string> chosen = directoryChooser("", m_host.dialogParent());
    if (!chosen || chosen->empty())
        return;
    WaitCursor waitCursor(m_host.ui());
    const std::string directory = prepareDirectory(*chosen);
    int shown = -1;
    ImageBlock last;
    for (int page = 0; page < image.pageCount; ++page) {
        // Pages written out are sRGB; only the one left on screen is brought
        // to the display's colours.
        Result<ImageBlock> read = loadPage(m_host.srgbRequest(image.path), page);
        if (!read)
            continue;
        ImageBlock block = read.take();
        // The safe save path: a name planted as a link is replaced, never followed.
        if (!SaveOwnFile(block, m_host.ui(), extractedFileName(directory, image.path, page)))
            break;
        last = std::move(block);
        shown = page;
    }
    // The page on screen is the last one extracted (not one past the end,
    // where Next and Previous page would lose their way).
    if (shown < 0)
        return;
    m_host.adoptSrgbPicture(std::move(last));
    image.currentPage = shown;
    m_host.resetViewerState();
    m_host.showAtFullSize(image.block.width(), image.block.height());
    m_host.repaintPicture();
}

void FileMenu::batchConversion()
{
    SettingsFile& settings = m_host.settings();
    std::vector<std::string> sources;
    {
        BatchDialog dialog(settings, m_host.ui(), directoryChooser, m_host.dialogParent());
        if (dialog.exec() != QDialog::Accepted)
            return;
        sources = dialog.files()->entries();
    }
    if (sources.empty())
        return;
    auto* window = new BatchProgressWindow(m_host.dialogParent());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->run(batchRequestFromSettings(settings, std::move(sources)), settings);
}

QWidget* FileMenu::showNote(const char* text, int ms)
{
    auto* note = new QWidget(m_host.dialogParent(), Qt::Dialog);
    note->setAttribute(Qt::WA_DeleteOnClose);
    note->setWindowTitle(QString::fromStdString(m_host.picture().path));
    auto* layout = new QVBoxLayout(note);
    layout->addWidget(new QLabel(text));
    note->show();
    QTimer::singleShot(ms, note, &QWidget::close);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return note;
}

void FileMenu::copyOrMove(bool move)
{
    UserInterface& ui = m_host.ui();
    SettingsFile& settings = m_host.settings();
    const std::string source = m_host.picture().path;
    std::string directory;
    if (settings.readInt(move ? settings::AskMove : settings::AskCopy) != 0) {
        std::optional<std::string> chosen = copyMoveChooser(move, source, settings, m_host.dialogParent());
        if (!chosen)
            return;
        directory = *chosen;
    } else {
        directory = settings.readText(move ? settings::MoveDir : settings::CopyDir);
    }
    // An empty folder would mean the root directory.
    if (directory.empty()) {
        ui.showMessage(kNoDestinationDirectory, MessageIcon::Warning);
        return;
    }
    WaitCursor waitCursor(ui);
    directory = prepareDirectory(directory);
    const std::string destination = directory + fileNameOf(source);

    if (std::optional<uint64_t> existing = fileSize(destination)) {
        waitCursor.release();
        if (!ui.askYesNo(replaceQuestion(destination, *existing, source, fileSize(source).value_or(0)),
                         MessageIcon::Question, true))
            return;
    }
    QPointer<QWidget> note = showNote(move ? "Moving ..." : "Copying ...", 700);
    const TransferStatus status = move ? moveFileSafely(source, destination) : copyFileSafely(source, destination);
    waitCursor.release();
    switch (status) {
    case TransferStatus::Done:
        break;
    case TransferStatus::SameFile:
    case TransferStatus::CopyFailed:
        if (note)
            note->close();
        ui.showMessage(formatted("%s: %s", kErrorCopyingFile, destination.c_str()), MessageIcon::Warning);
        return;
    case TransferStatus::SourceNotDeleted:
        if (note)
            note->close();
        ui.showMessage(std::string(kCantDeleteFile) + "\n\n" + kBothPlaces + "\n" + source + "\n" + destination,
                       MessageIcon::Warning);
        return;
    }
    if (move)
        m_host.fileOnScreenRemoved(false);
}

void FileMenu::rename()
{
    UserInterface& ui = m_host.ui();
    const std::string current = m_host.picture().path;
    std::optional<std::string> typed = renamePrompt(fileNameOf(current), m_host.dialogParent());
    if (!typed)
        return;
    // A bare name stays in the folder being viewed; a path moves the file.
    const std::string target = typed->find('/') == std::string::npos ? directoryOf(current) + *typed : *typed;
    if (typed->empty() || !renameWithoutReplacing(current, target)) {
        ui.showMessage(kCantRename, MessageIcon::Information);
        return;
    }
    m_host.picture().path = target;
    m_host.rebuildDirectoryList(true);
    m_host.runCommand(command::Reopen);
}

void FileMenu::remove()
{
    UserInterface& ui = m_host.ui();
    const std::string path = m_host.picture().path;
    if (m_host.settings().readInt(settings::AskDelete) != 0
        && !ui.askYesNo(formatted("%s: %s ?\n", "Delete file", path.c_str()), MessageIcon::Question, false))
        return;
    WaitCursor waitCursor(ui);
    QPointer<QWidget> note = showNote("Deleting ...", 200);
    const TrashOutcome trashed = moveToTrash(path);
    bool removed = trashed.status == TrashStatus::Trashed;
    if (trashed.status == TrashStatus::NoTrash) {
        waitCursor.release();
        removed = ui.askYesNo(formatted(kNoTrashQuestion, "Delete file", path.c_str()), MessageIcon::Warning, true);
        if (!removed)
            return;
        removed = unlink(path.c_str()) == 0;
    }
    if (!removed) {
        waitCursor.release();
        ui.showMessage(kCantDeleteFile, MessageIcon::Warning);
        return;
    }
    m_host.fileOnScreenRemoved(true);
}

} // namespace pictorand
