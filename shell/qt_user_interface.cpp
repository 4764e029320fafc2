#include "shell/qt_user_interface.h"

#include "shell/core/display_geometry.h"
#include "shell/dialogs/dialog_fitting.h"
#include "shell/media_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace pictorand {

namespace {

QMessageBox::Icon qtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::Information;
}

} // namespace

QString qtNameFilter(const FileType& type)
{
    QString patterns = QString::fromStdString(type.patterns);
    patterns.replace(';', ' ');
    return QString::fromStdString(type.description) + " (" + patterns + ")";
}

QtUserInterface::QtUserInterface(QWidget* owner) : m_owner(owner) {}

QWidget* QtUserInterface::messageOwner() const
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return m_owner;
}

void QtUserInterface::showMessage(const std::string& text, MessageIcon icon)
{
    // For the soak test of stepping through a folder: every message said.
    static const bool traced = std::getenv("PICTORAND_TRACE_STEPS") != nullptr;
    if (traced)
        std::fprintf(stderr, "message: %s\n", text.substr(0, text.find('\n')).c_str());
    const bool waiting = m_waiting;
    if (waiting)
        QApplication::restoreOverrideCursor();
    QMessageBox box(qtIcon(icon), kProgramCaption, QString::fromStdString(text), QMessageBox::Ok, messageOwner());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

bool QtUserInterface::askYesNo(const std::string& text, MessageIcon icon, bool defaultNo)
{
    QMessageBox box(qtIcon(icon), kProgramCaption, QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                    messageOwner());
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool QtUserInterface::askOkCancel(const std::string& text, MessageIcon icon)
{
    QMessageBox box(qtIcon(icon), kProgramCaption, QString::fromStdString(text), QMessageBox::Ok | QMessageBox::Cancel,
                    messageOwner());
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Ok;
}

void QtUserInterface::setWaitCursor(bool waiting)
{
    // Calls nest: the outermost pair decides.
    m_waitDepth = std::max(0, m_waitDepth + (waiting ? 1 : -1));
    const bool nowWaiting = m_waitDepth > 0;
    if (nowWaiting == m_waiting)
        return;
    m_waiting = nowWaiting;
    if (m_waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtUserInterface::setWindowTitle(const std::string& title)
{
    if (m_owner)
        m_owner->setWindowTitle(QString::fromStdString(title));
}

void QtUserInterface::rebuildDirectoryList()
{
    if (directoryListSink)
        directoryListSink();
}

void QtUserInterface::postCommand(int commandId)
{
    if (!commandSink || !m_owner)
        return;
    auto sink = commandSink;
    QTimer::singleShot(0, m_owner, [sink, commandId] { sink(commandId); });
}

QRect fittedPreviewRect(int width, int height, QSize area)
{
    const PlacedPicture placed = fullScreenFit(width, height, area.width(), area.height());
    return {placed.x, placed.y, placed.width, placed.height};
}

void QtUserInterface::addPreview(QFileDialog& dialog)
{
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    auto* panel = new QWidget(&dialog);
    auto* layout = new QVBoxLayout(panel);
    auto* picture = new QLabel(panel);
    picture->setObjectName("preview1108");
    // 105 x 87 dialog units.
    picture->setFixedSize(210, 174);
    picture->setFrameShape(QFrame::StyledPanel);
    auto* active = new QCheckBox("&Preview active", panel);
    active->setChecked(!previewActive || previewActive());
    layout->addWidget(picture);
    layout->addWidget(active);
    layout->addStretch();
    grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1);

    // The area less 2 pixels each way: inside the frame.
    const QSize area = picture->size() - QSize(2, 2);
    auto media = std::make_shared<QPointer<MediaWindow>>();
    auto closeMedia = [media] { delete media->data(); };
    auto writeText = [picture](const QString& text) {
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->setMargin(std::max(0, 5 - picture->frameWidth()));
        picture->setText(text);
    };
    auto play = [picture, media, area, writeText](const std::string& path) {
        auto* window = new MediaWindow(picture, path);
        *media = window;
        const QPoint origin(picture->frameWidth(), picture->frameWidth());
        window->sizeChanged = [window, area, origin](QSize wanted) {
            window->setGeometry(fittedPreviewRect(wanted.width(), wanted.height(), area).translated(origin));
        };
        // A file the system cannot play says so in the viewer; here it is
        // just no picture.
        window->failed = [window, writeText](const std::string&) {
            window->deleteLater();
            writeText(kNoPicture);
        };
        window->sizeChanged(window->wantedSize());
        window->show();
    };
    auto render = previewSink;
    auto show = [picture, active, render, closeMedia, play, writeText, area, this](const QString& path) {
        closeMedia();
        picture->clear();
        if (!active->isChecked() || !QFileInfo(path).isFile()) {
            render({}, area); // what was read before is no longer shown
            return;
        }
        picture->repaint();
        WaitCursor waiting(*this);
        // Drawn in device pixels, so that the preview is sharp at any scale.
        const qreal ratio = picture->devicePixelRatioF();
        PreviewContent content = render(path.toStdString(), (QSizeF(area) * ratio).toSize());
        if (!content.picture.isNull()) {
            content.picture.setDevicePixelRatio(ratio);
            picture->setAlignment(Qt::AlignCenter);
            picture->setMargin(0);
            picture->setPixmap(content.picture);
        } else if (!content.mediaPath.empty()) {
            play(content.mediaPath);
        } else {
            writeText(content.text);
        }
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, panel, show);
    QObject::connect(&dialog, &QFileDialog::directoryEntered, panel, [closeMedia, &dialog] {
        closeMedia();
        if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit"))
            name->clear();
    });
    QObject::connect(active, &QCheckBox::toggled, panel, [show, &dialog](bool) {
        const QStringList selected = dialog.selectedFiles();
        show(selected.isEmpty() ? QString() : selected.front());
    });
    auto remember = setPreviewActive;
    QObject::connect(&dialog, &QDialog::finished, panel, [active, remember, closeMedia](int) {
        closeMedia();
        if (remember)
            remember(active->isChecked());
    });
}

std::optional<FileDialogResult> QtUserInterface::runFileDialog(const FileDialogRequest& request)
{
    QFileDialog dialog(messageOwner(), QString::fromStdString(request.title), QString::fromStdString(request.directory));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    // The replace question is ours, with No preselected.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters;
    for (const FileType& type : request.types)
        filters << qtNameFilter(type);
    dialog.setNameFilters(filters);
    if (request.selectedType >= 1 && request.selectedType <= filters.size())
        dialog.selectNameFilter(filters[request.selectedType - 1]);
    if (!request.proposedName.empty())
        dialog.selectFile(QString::fromStdString(request.proposedName));
    if (request.optionsButton) {
        if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
            QPushButton* options = buttons->addButton("Options", QDialogButtonBox::HelpRole);
            options->setEnabled(request.optionsEnabled && saveOptionsSink);
            auto sink = saveOptionsSink;
            QObject::connect(options, &QPushButton::clicked, &dialog, [sink, &dialog] { sink(&dialog); });
        }
    }
    if (!request.save && previewSink)
        addPreview(dialog);
    fitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    FileDialogResult result;
    result.path = dialog.selectedFiles().front().toStdString();
    // With the patterns hidden the dialog reports the description alone.
    const QString selected = dialog.selectedNameFilter();
    result.type = 1;
    for (qsizetype i = 0; i < filters.size(); ++i) {
        const QString description = QString::fromStdString(request.types[static_cast<size_t>(i)].description);
        if (filters[i] == selected || description == selected)
            result.type = static_cast<int>(i) + 1;
    }
    return result;
}

} // namespace pictorand
