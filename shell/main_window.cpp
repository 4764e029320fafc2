#include "shell/main_window.h"

#include "platform/paths.h"
#include "platform/settings_keys.h"
#include "platform/version.h"
#include "shell/core/file_associations.h"
#include "shell/core/slideshow.h"
#include "shell/desktop_commands.h"
#include "shell/display_profile.h"
#include "shell/dialogs/image_info_dialog.h"
#include "shell/dialogs/property_sheets.h"
#include "shell/file_menu.h"
#include "shell/frame_extents.h"
#include "shell/full_screen_window.h"
#include "shell/image_menu.h"
#include "shell/key_bindings.h"
#include "shell/media_window.h"
#include "shell/metafile_display.h"
#include "shell/open_preview.h"
#include "shell/picture_view.h"
#include "shell/qt_system_metrics.h"
#include "shell/qt_user_interface.h"
#include "shell/scanner_commands.h"
#include "shell/startup_trace.h"
#include "shell/viewer_menus.h"
#include "shell/window_placement.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMoveEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace pictorand {

namespace {

// With PICTORAND_TRACE_STEPS set, prints how long after the key press (the
// X server's time, a monotonic millisecond clock) the picture was painted:
// for the benchmarks of stepping through a folder.
void traceStep(uint64_t keyTime)
{
    static const bool enabled = std::getenv("PICTORAND_TRACE_STEPS") != nullptr;
    if (!enabled)
        return;
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const double nowMs = static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
    std::fprintf(stderr, "step painted %.1f ms after the key\n", nowMs - static_cast<double>(keyTime));
}

// With PICTORAND_TRACE_FRAMES set, prints each animation frame as it is
// painted and when, from the animation's start: for the drift benchmark.
void traceFrame(int64_t sinceStartMs, int frame, int64_t lateMs)
{
    static const bool enabled = std::getenv("PICTORAND_TRACE_FRAMES") != nullptr;
    if (enabled)
        std::fprintf(stderr, "frame %lld shown %d late %lld\n", static_cast<long long>(sinceStartMs), frame,
                     static_cast<long long>(lateMs));
}

} // namespace

MainWindow::MainWindow(ViewerServices services, ViewerOptions options)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_settings(services.settingsPath.empty() ? SettingsFile() : SettingsFile(services.settingsPath))
{
    setWindowTitle(kProgramCaption);
    // Drawn at three sizes, so a scaled desktop is not shown a blown-up one.
    QIcon icon;
    for (const char* file : {":/pictorand32.png", ":/pictorand32-128.png", ":/pictorand32-256.png"})
        icon.addFile(file);
    setWindowIcon(icon);
    setAcceptDrops(true);
    m_placement = new WindowPlacement(*this);

    if (services.metrics) {
        m_metrics = services.metrics;
    } else {
        m_ownMetrics = std::make_unique<QtSystemMetrics>(this);
        // Asked before the window is shown, so that the first picture's
        // window is sized with the title bar it gets.
        m_ownMetrics->setAnnouncedFrame(announcedFrameExtents(this, 200));
        m_metrics = m_ownMetrics.get();
    }
    m_ownUi = std::make_unique<QtUserInterface>(this);
    m_ui = services.ui ? services.ui : m_ownUi.get();
    m_viewer = std::make_unique<ViewerController>(*this, *m_ui, m_settings, std::move(options));
    m_canvas = std::make_unique<PictureCanvas>(*m_viewer);
    m_viewer->setFileDialogs(services.dialogs ? services.dialogs : m_ownUi.get());
    m_displayProfile = watchDisplayProfile(*m_viewer);
    m_ownUi->commandSink = [this](int id) { runCommand(id); };
    m_ownUi->directoryListSink = [this] { m_viewer->rebuildDirectoryList(true); };
    m_ownUi->saveOptionsSink = [this](QWidget* owner) { runSaveOptionsSheet(m_settings, owner); };
    m_openPreview = std::make_unique<OpenPreview>(*m_viewer);
    m_ownUi->previewSink = [this](const std::string& path, QSize area) { return m_openPreview->show(path, area); };
    m_ownUi->previewActive = [this] { return m_settings.readInt(settings::PreviewActive) != 0; };
    m_ownUi->setPreviewActive = [this](bool on) { m_settings.writeText(settings::PreviewActive, on ? "1" : "0"); };
    m_viewer->takePreview = [this](const std::string& accepted) {
        std::optional<LoadOutcome> taken = accepted.empty() ? std::nullopt : m_openPreview->takeFor(accepted);
        m_openPreview->drop();
        return taken;
    };

    m_view = new PictureView(this);
    m_view->painter = [this](QPainter& painter) { paintPicture(painter); };
    m_view->doubleClicked = [this] { runCommand(command::FullScreen); };
    setCentralWidget(m_view);
    // A small picture gets a window of its size: what the menu bar and the
    // scroll area would ask for does not count.
    setMinimumSize(1, 1);
    m_menus = std::make_unique<ViewerMenus>(*this, m_settings, [this](int id) { runCommand(id); },
                                            [this] { prepareMenus(); });
    m_host = std::make_unique<PictureHost>(
        *m_viewer, this, [this](int id) { runCommand(id); },
        [this](std::vector<std::string> entries) { startSlideshow(std::move(entries)); });
    m_imageMenu = std::make_unique<ImageMenu>(*m_host);
    m_viewer->setIconChooser(m_imageMenu.get());
    m_desktopCommands = std::make_unique<DesktopCommands>(*m_host);
    m_scanner = std::make_unique<ScannerCommands>(*m_host);
    m_fileCommands = std::make_unique<FileMenu>(*m_host);
    registerHandlers();
    m_keys = new KeyWatch(this, [this] { updateMenuState(); });
    addWindowShortcuts(this, [](const KeyStroke& stroke) { return stroke.scope == KeyScope::Window; },
                       [this](int id) { windowKey(id); });
    // Asked once per change: the menu's states are brought up to date before
    // every key, and on X11 each question to the clipboard goes to its owner.
    m_clipboardHasImage = DesktopCommands::clipboardHasImage();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        m_clipboardHasImage = DesktopCommands::clipboardHasImage();
        updateMenuState();
    });

    m_clock.start();
    m_animationTimer = new QTimer(this);
    m_animationTimer->setSingleShot(true);
    m_animationTimer->setTimerType(Qt::PreciseTimer);
    connect(m_animationTimer, &QTimer::timeout, this, &MainWindow::animationTimeout);

    const DisplayMetrics m = metrics();
    const DisplaySize empty = emptyWindowSize(m);
    applyOuterSize(m_viewer->storedWindowX(), m_viewer->storedWindowY(), empty.width, empty.height);
    updateMenuState();
}

MainWindow::~MainWindow()
{
    if (m_fullScreen)
        delete m_fullScreen.data();
    if (m_slideshow) {
        m_slideshow->detach(); // nothing is left to show the last picture in
        delete m_slideshow.data();
    }
}

DisplayMetrics MainWindow::metrics() const
{
    return m_metrics->metrics();
}

FullScreenWindow* MainWindow::fullScreenWindow() const
{
    return m_fullScreen.data();
}

IconChooser* MainWindow::iconChooser() const
{
    return m_imageMenu.get();
}

// ---------------------------------------------------------------------------
// Menus, keys and commands

void MainWindow::prepareMenus()
{
    m_clipboardHasImage = DesktopCommands::clipboardHasImage();
    m_viewer->rememberRecentDirectory();
    m_menus->rebuildRecentDirectories();
    updateMenuState();
}

QAction* MainWindow::action(int id) const
{
    return m_menus->action(id);
}

void MainWindow::updateMenuState()
{
    ViewerState state = m_viewer->viewerState();
    state.alwaysOnTop = m_alwaysOnTop;
    m_menus->update(state, m_viewer->handlers());
}

void MainWindow::runCommand(int id)
{
    m_viewer->runCommand(id);
    if (id >= command::RecentDirectory1 && id < command::RecentDirectory1 + kRecentDirectoryCount)
        m_menus->rebuildRecentDirectories(); // a bad entry was cleared
    updateMenuState();
}

void MainWindow::windowKey(int id)
{
    const bool step = id == command::NextFile || id == command::PreviousFile;
    const uint64_t time = m_keys->lastTime();
    if (step && m_keys->lastWasRepeat() && time != 0 && time < m_busyUntil)
        return;
    if (step)
        m_stepKeyTime = time;
    QElapsedTimer took;
    took.start();
    runCommand(id);
    if (step)
        m_busyUntil = time + static_cast<uint64_t>(took.elapsed());
}

void MainWindow::registerHandlers()
{
    using namespace command;
    CommandHandlers& on = m_viewer->handlers();
    on[Exit] = [this] { close(); };
    on[FullScreen] = [this] { commandFullScreen(); };
    for (int id : {ZoomIn, ZoomOut})
        on[id] = [this, in = id == ZoomIn] {
            if (m_fullScreen)
                m_fullScreen->zoomIn(in);
            else
                m_viewer->zoom(in);
        };
    for (const CommandRow& row : commandTable())
        if (const std::optional<ScrollMove> move = scrollMoveOf(row.id))
            on[row.id] = [this, move = *move] {
                if (m_fullScreen)
                    m_fullScreen->scroll(move);
                else
                    m_view->scrollBy(move.horizontal ? Qt::Horizontal : Qt::Vertical, move.page, move.forward);
            };
    on[AlwaysOnTop] = [this] {
        m_alwaysOnTop = !m_alwaysOnTop;
        setWindowFlag(Qt::WindowStaysOnTopHint, m_alwaysOnTop);
        show();
    };
    on[Minimise] = [this] { showMinimized(); };
    on[About] = [this] { commandAbout(); };
    on[ImageInfo] = [this] {
        QWidget* owner = QApplication::activeWindow();
        ImageInfoDialog dialog([this] { return m_viewer->imageInfoInput(); }, owner ? owner : this);
        dialog.exec();
    };
    CommandHandlers& handlers = m_viewer->handlers();
    m_imageMenu->registerHandlers(handlers);
    m_desktopCommands->registerHandlers(handlers);
    m_scanner->registerHandlers(handlers);
    m_fileCommands->registerHandlers(handlers);
    on[Properties] = [this] { commandProperties(); };
}

void MainWindow::withAssociationPlaces(
    const std::function<void(AssociationPlaces&, const std::string& applications)>& use)
{
    SettingsFile registry(configDirectory() + "/" + registry::kStoreFileName);
    AssociationPlaces places{m_settings, registry, xdgFolder("XDG_CONFIG_HOME", "/.config") + "/mimeapps.list",
                             QCoreApplication::applicationFilePath().toStdString()};
    use(places, xdgFolder("XDG_DATA_HOME", "/.local/share") + "/applications");
}

void MainWindow::commandProperties()
{
    PropertiesServices services{m_settings, *m_ui, {}, {}};
    services.chooseDirectory = [](const std::string& start) {
        return FileMenu::directoryChooser(start, QApplication::activeWindow());
    };
    services.applyAssociations = [this](const std::vector<bool>& ticked, bool thumbnail) {
        withAssociationPlaces([&](AssociationPlaces& places, const std::string& applications) {
            if (!registerProgramClass(places, applications))
                m_ui->showMessage("Can't write the desktop entry for the file associations", MessageIcon::Warning);
            const AssociationOutcome outcome = applyAssociations(ticked, thumbnail, places);
            for (const std::string& failure : outcome.failures)
                m_ui->showMessage("Can't change the file associations of " + failure, MessageIcon::Warning);
            if (!outcome.overriddenBy.empty())
                m_ui->showMessage("The desktop's own list " + outcome.overriddenBy
                                      + " names other programs for some of these files; they still open there.",
                                  MessageIcon::Information);
        });
    };
    std::unique_ptr<PropertySheet> sheet(makePropertiesSheet(services, this));
    sheet->exec();
    // OK or Cancel, the live settings are read again.
    m_viewer->readSettings();
}

void MainWindow::commandFullScreen()
{
    if (m_fullScreen)
        return;
    const bool showName = m_settings.readInt(settings::ShowFullScreenName) != 0;
    m_fullScreen = new FullScreenWindow(*m_viewer, *m_canvas, showName, [this](int id) { windowKey(id); });
    m_fullScreen->left = [this] { fullScreenLeft(); };
    // On a real desktop the window manager is asked for full screen, so
    // panels do not stay on top; a substituted display keeps the geometry.
    if (m_ownMetrics)
        m_fullScreen->showFullScreen();
    else
        m_fullScreen->show();
    m_fullScreen->activateWindow();
    m_fullScreen->setFocus();
}

void MainWindow::fullScreenLeft()
{
    m_viewer->fullScreenLeft();
    activateWindow();
}

void MainWindow::commandAbout()
{
    showMinimized();
    QMessageBox::about(nullptr, QString("About %1").arg(kProgramCaption),
                       QString("%1 %2\n\nA fast image viewer and converter.").arg(kProgramCaption).arg(programVersion()));
}

void MainWindow::startSlideshow(std::vector<std::string> entries)
{
    if (entries.empty())
        return;
    if (m_slideshow)
        m_slideshow->close();
    m_viewer->setTimeMeasurement(false); // a slideshow reports no times
    m_slideshow = new SlideshowWindow(*this, std::move(entries), readSlideshowOptions(m_settings),
                                      static_cast<uint32_t>(std::time(nullptr)));
    // Without a window manager full screen is only a wish: the window takes
    // the screen's size itself.
    m_slideshow->setGeometry(screen()->geometry());
    m_slideshow->showFullScreen();
    m_slideshow->start();
}

QSize MainWindow::slideDrawingSize() const
{
    const CurrentImage& image = m_viewer->picture();
    if (!m_viewer->displayState().drawing || image.block)
        return {};
    return {image.originalWidth, image.originalHeight};
}

int MainWindow::slideSheetStart() const
{
    const CurrentImage& image = m_viewer->picture();
    return image.overviewMode ? image.overviewStart : 0;
}

// ---------------------------------------------------------------------------
// The screen the controller shows the picture on

void MainWindow::applyOuterSize(int x, int y, int outerWidth, int outerHeight)
{
    const DisplayMetrics m = metrics();
    const int clientWidth = std::max(1, outerWidth - (m.frameWidth + m.frameWidth / 2));
    const int clientHeight = std::max(1, outerHeight - (m.captionHeight + m.frameHeight + m.frameHeight / 2));
    // The window takes the picture's size; the user may size it otherwise
    // afterwards (resizeEvent). The rules counted device pixels.
    const DeviceScale scale = deviceScale();
    m_placement->place(QPoint(scale.nearestLogical(x), scale.nearestLogical(y)),
                       QSize(scale.coveringLogical(clientWidth), scale.coveringLogical(clientHeight)));
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_placement->shown();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // Sized by the user (or the window manager): scroll bars where the
    // picture is larger than the view, as at zoom.
    if (m_placement && m_view && m_placement->resizedByUser(event->size()))
        m_view->followPicture(pictureRect().size());
}

void MainWindow::applyLayout(const WindowLayout& layout)
{
    m_view->setScrollBars(layout.horizontalScroll, layout.horizontalRange, layout.verticalScroll,
                          layout.verticalRange);
    applyOuterSize(layout.x, layout.y, layout.width, layout.height);
}

void MainWindow::setTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
}

void MainWindow::pictureChanged()
{
    m_canvas->changed();
    m_view->viewport()->update();
    if (m_fullScreen)
        m_fullScreen->update();
}

bool MainWindow::clipboardHasImage() const
{
    return m_clipboardHasImage;
}

void MainWindow::playMedia(const std::string& path)
{
    closeMedia();
    QWidget* parent = m_fullScreen && m_fullScreen->isVisible() ? static_cast<QWidget*>(m_fullScreen.data()) : m_view;
    auto* media = new MediaWindow(parent, path);
    m_media = media;
    media->failed = [this](const std::string& text) {
        QTimer::singleShot(0, this, [this, text] { m_ui->showMessage(text, MessageIcon::Warning); });
    };
    media->sizeChanged = [this, media](QSize size) {
        media->resize(size);
        if (media->parentWidget() != m_view)
            media->move((m_fullScreen->width() - size.width()) / 2, (m_fullScreen->height() - size.height()) / 2);
        else {
            m_viewer->showAtFullSize(deviceScale().toDevice(size.width()), deviceScale().toDevice(size.height()));
            media->resize(std::max(size.width(), m_view->width()), size.height()); // the minimum window width
        }
    };
    media->sizeChanged(media->wantedSize());
    media->show();
}

void MainWindow::closeMedia()
{
    delete m_media.data();
}

MediaWindow* MainWindow::mediaWindow() const
{
    return m_media.data();
}

ImageBlock MainWindow::renderDrawing(const metafile::Drawing& drawing, int width, int height)
{
    return MetafileDisplay::render(drawing, width, height);
}

void MainWindow::scheduleAnimationStep(int64_t delayMs)
{
    m_animationDue = clockMs() + delayMs;
    m_animationTimer->start(static_cast<int>(delayMs));
}

void MainWindow::cancelAnimationStep()
{
    m_animationTimer->stop();
}

void MainWindow::animationTimeout()
{
    const DisplayState& display = m_viewer->displayState();
    const int before = display.animation ? display.animation->current() : -1;
    const int64_t due = m_animationDue;
    m_viewer->animationStep();
    if (display.animation && display.animation->current() != before)
        traceFrame(clockMs(), display.animation->current(), clockMs() - due);
}

void MainWindow::soon(std::function<void()> work)
{
    QTimer::singleShot(0, this, std::move(work));
}

// ---------------------------------------------------------------------------
// Painting

QRect MainWindow::pictureRect() const
{
    const QPoint scroll = m_view->scrollPosition();
    const CurrentImage& image = m_viewer->picture();
    const int zoom = m_viewer->displayState().zoom;
    return {-scroll.x(), -scroll.y(), scaleByZoom(image.currentWidth, zoom), scaleByZoom(image.currentHeight, zoom)};
}

void MainWindow::paintPicture(QPainter& painter)
{
    if (!m_classRefreshed) {
        m_classRefreshed = true;
        // After the paint, which it must not delay.
        QTimer::singleShot(0, this, [this] {
            withAssociationPlaces([](AssociationPlaces& places, const std::string& applications) {
                refreshProgramClass(places, applications);
            });
        });
    }
    const ImageBlock& shown = m_viewer->shownBlock();
    if (!shown)
        return;
    if (!shown.isConsistent()) {
        setTitle(kProgramCaption);
        QTimer::singleShot(0, this, [this] {
            m_ui->showMessage(std::string("Memory lock error !\n\n") + kNoPicture, MessageIcon::Information);
        });
        return;
    }
    if (!m_firstPaintDone)
        traceStartup("first paint");
    paintInDevicePixels(painter, [&] { m_canvas->paint(painter, pictureRect()); });
    if (!m_firstPaintDone)
        traceStartup("picture drawn");
    m_viewer->painted();
    // The menu's states (and with them the accelerators) follow the picture.
    if (m_stateGeneration != m_canvas->generation()) {
        m_stateGeneration = m_canvas->generation();
        updateMenuState();
    }
    if (m_stepKeyTime != 0) {
        traceStep(m_stepKeyTime);
        m_stepKeyTime = 0;
    }
    if (!m_firstPaintDone) {
        m_firstPaintDone = true;
        emit painted();
    }
}

// ---------------------------------------------------------------------------
// Window events

void MainWindow::writeWindowPosition()
{
    if (m_settings.readInt(settings::RememberWinPos) != 1)
        return;
    const bool minimised = isMinimized();
    m_settings.writeText(settings::XKoord, std::to_string(minimised ? 0 : windowX()));
    m_settings.writeText(settings::YKoord, std::to_string(minimised ? 0 : windowY()));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_fullScreen)
        delete m_fullScreen.data();
    writeWindowPosition();
    m_viewer->adoptPicture(ImageBlock());
    event->accept();
    QApplication::quit();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (m_placement)
        m_placement->moved();
    m_viewer->windowMoved(windowX(), windowY());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    dropFiles(paths);
}

void MainWindow::dropFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    raise();
    activateWindow();
    if (isMinimized())
        showNormal();
    m_viewer->dropFile(paths.front().toStdString());
    updateMenuState();
}

} // namespace pictorand
