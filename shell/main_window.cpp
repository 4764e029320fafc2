#include "shell/main_window.h"

#include "dispatch/page_load.h"
#include "dispatch/save_dispatch.h"
#include "ops/color_table.h"
#include "ops/resample_command.h"
#include "ops/resize.h"
#include "platform/formatted_text.h"
#include "platform/paths.h"
#include "shell/block_image.h"
#include "shell/core/recent_directories.h"
#include "shell/dialogs/image_info_dialog.h"
#include "shell/full_screen_window.h"
#include "shell/desktop_commands.h"
#include "shell/core/slideshow.h"
#include "shell/file_menu.h"
#include "shell/image_menu.h"
#include "shell/scanner_commands.h"
#include "shell/dialogs/property_sheets.h"
#include "shell/core/file_associations.h"
#include "shell/media_window.h"
#include "shell/metafile_display.h"
#include "shell/open_preview.h"
#include "shell/metafile_painter.h"
#include "shell/picture_view.h"
#include "shell/qt_system_metrics.h"
#include "shell/qt_user_interface.h"
#include "shell/startup.h"
#include "platform/version.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMoveEvent>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

namespace pictorand {

namespace {

Qt::Key qtKey(char32_t key)
{
    switch (key) {
    case key::Space:
        return Qt::Key_Space;
    case key::Enter:
        return Qt::Key_Return;
    case key::Escape:
        return Qt::Key_Escape;
    case key::Backspace:
        return Qt::Key_Backspace;
    case key::Delete:
        return Qt::Key_Delete;
    case key::Insert:
        return Qt::Key_Insert;
    case key::F6:
        return Qt::Key_F6;
    case key::F7:
        return Qt::Key_F7;
    case key::F8:
        return Qt::Key_F8;
    default:
        return static_cast<Qt::Key>(Qt::Key_A + static_cast<int>(key - U'A'));
    }
}

bool sameKey(char32_t key, int pressed)
{
    // The keypad's Enter is Enter too.
    return pressed == qtKey(key) || (key == key::Enter && pressed == Qt::Key_Enter);
}

Qt::KeyboardModifiers qtModifiers(unsigned modifiers)
{
    Qt::KeyboardModifiers result;
    if (modifiers & Ctrl)
        result |= Qt::ControlModifier;
    if (modifiers & Shift)
        result |= Qt::ShiftModifier;
    return result;
}

Qt::KeyboardModifiers pressedModifiers(const QKeyEvent* event)
{
    return event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

// Letters must be pressed with exactly the modifiers given; + and - are
// characters, however the keyboard makes them.
bool matchesAccelerator(const KeyStroke& stroke, const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = pressedModifiers(event);
    if (stroke.key == U'+' || stroke.key == U'-') {
        const QString text = event->text();
        return text.size() == 1 && text[0] == QChar(static_cast<char16_t>(stroke.key)) &&
               !(modifiers & (Qt::ControlModifier | Qt::AltModifier));
    }
    return sameKey(stroke.key, event->key()) && modifiers == qtModifiers(stroke.modifiers);
}

std::string fileNameAndExtension(const std::string& path)
{
    return fileNameOf(path);
}

bool isExistingFile(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

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
      m_settings(services.settingsPath.empty() ? SettingsFile() : SettingsFile(services.settingsPath)),
      m_options(std::move(options))
{
    setWindowTitle(kProgramCaptionText);
    setWindowIcon(QIcon(":/pictorand32.png"));
    setAcceptDrops(true);

    if (services.metrics) {
        m_metrics = services.metrics;
    } else {
        m_ownMetrics = std::make_unique<QtSystemMetrics>(this);
        m_metrics = m_ownMetrics.get();
    }
    m_ownUi = std::make_unique<QtUserInterface>(this);
    m_ownUi->commandSink = [this](int id) { runCommand(id); };
    m_ownUi->directoryListSink = [this] { rebuildDirectoryList(true); };
    m_ownUi->saveOptionsSink = [this](QWidget* owner) {
        std::unique_ptr<PropertySheet> sheet(makeSaveOptionsSheet(m_settings, owner));
        sheet->exec();
    };
    m_openPreview = std::make_unique<OpenPreview>(*this);
    m_ownUi->previewSink = [this](const std::string& path, QSize area) { return m_openPreview->show(path, area); };
    m_ownUi->previewActive = [this] { return m_settings.readInt(settings::PreviewActive) != 0; };
    m_ownUi->setPreviewActive = [this](bool on) { m_settings.writeText(settings::PreviewActive, on ? "1" : "0"); };
    m_ui = services.ui ? services.ui : m_ownUi.get();
    m_dialogs = services.dialogs ? services.dialogs : m_ownUi.get();

    m_view = new PictureView(this);
    m_view->painter = [this](QPainter& painter) { paintPicture(painter); };
    m_view->doubleClicked = [this] { runCommand(command::FullScreen); };
    setCentralWidget(m_view);
    buildMenus();
    m_imageMenu = std::make_unique<ImageMenu>(*this);
    m_desktopCommands = std::make_unique<DesktopCommands>(*this);
    m_scanner = std::make_unique<ScannerCommands>(*this);
    m_fileCommands = std::make_unique<FileMenu>(*this);
    m_metafiles = std::make_unique<MetafileDisplay>(*this);
    registerHandlers();

    m_clock.start();
    m_animationTimer = new QTimer(this);
    m_animationTimer->setSingleShot(true);
    m_animationTimer->setTimerType(Qt::PreciseTimer);
    connect(m_animationTimer, &QTimer::timeout, this, &MainWindow::animationStep);

    readStartupSettings();
    const DisplayMetrics m = metrics();
    m_minimumWidth = minimumWindowWidth(m.screenWidth);
    const DisplaySize empty = emptyWindowSize(m);
    applyOuterSize(m_windowX, m_windowY, empty.width, empty.height);
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

void MainWindow::readStartupSettings()
{
    m_loadGreyscale = m_settings.readInt(settings::LoadGrayscale) != 0;
    m_loadingSize = m_settings.readInt(settings::LoadingSize);
    m_fitForBigImages = m_settings.readInt(settings::FitForBigImages) != 0;
    m_alwaysFit = m_settings.readInt(settings::AlwaysFit) != 0;
    m_useResample = m_settings.readInt(settings::UseResample) != 0;
    m_sortOrder = m_settings.readInt(settings::FileSortOrder);
    const int readAheadMegabytes = m_settings.readInt(settings::ReadAheadMegabytes);
    m_readAheadBudget = readAheadMegabytes < 0   ? 0
                        : readAheadMegabytes == 0 ? static_cast<int64_t>(ReadAhead::defaultBudget())
                                                  : int64_t(readAheadMegabytes) << 20;
    const DisplayMetrics m = metrics();
    m_windowX = std::max(m_settings.readInt(settings::XKoord), m.workArea.left);
    m_windowY = std::max(m_settings.readInt(settings::YKoord), m.workArea.top);
}

DisplayMetrics MainWindow::metrics() const
{
    return m_metrics->metrics();
}

FullScreenWindow* MainWindow::fullScreenWindow() const
{
    return m_fullScreen.data();
}

// ---------------------------------------------------------------------------
// Menus and keys

void MainWindow::buildMenus()
{
    for (const MenuDefinition& definition : pictorand::menuBar()) {
        QMenu* menu = menuBar()->addMenu(QString::fromStdString(definition.title));
        addEntries(menu, definition.entries);
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::prepareMenus);
        if (!m_fileMenu)
            m_fileMenu = menu;
    }
    rebuildRecentDirectoriesMenu();
}

void MainWindow::prepareMenus()
{
    // The directory in use joins the recent ones; while the directory list
    // is empty there is none to remember.
    std::string taken;
    if (m_directoryList.count() > 0) {
        std::error_code error;
        taken = std::filesystem::current_path(error).string();
    }
    const RecentDirectories directories = readRecentDirectories(m_settings);
    const RecentDirectories updated = rememberRecentDirectory(directories, taken);
    if (updated != directories)
        writeRecentDirectories(m_settings, updated);
    rebuildRecentDirectoriesMenu();
    updateMenuState();
}

void MainWindow::rebuildRecentDirectoriesMenu()
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
        connect(item, &QAction::triggered, this, [this, slot] { goToRecentDirectory(static_cast<int>(slot)); });
    }
}

void MainWindow::goToRecentDirectory(int slot)
{
    const SettingKey& key = settings::RecentDirs[slot];
    const std::string directory = m_settings.readText(key);
    std::error_code error;
    const std::filesystem::path before = std::filesystem::current_path(error);
    std::filesystem::current_path(directory, error);
    if (error || directory.empty()) {
        m_ui->showMessage(formatted("%s: '%s'", "Can't change to directory", directory.c_str()),
                          MessageIcon::Warning);
        m_settings.writeText(key, "");
        rebuildRecentDirectoriesMenu();
        return;
    }
    std::filesystem::current_path(before, error);
    m_settings.writeText(settings::OpenDir, directory);
    m_ui->postCommand(command::Open);
}

void MainWindow::addEntries(QMenu* menu, const std::vector<MenuEntry>& entries)
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
            QAction* action = menu->addAction(QString::fromStdString(entry.text));
            action->setData(entry.id);
            const int id = entry.id;
            connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
            m_actions[id] = action;
            break;
        }
        }
    }
}

QAction* MainWindow::action(int id) const
{
    auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

ViewerState MainWindow::viewerState() const
{
    ViewerState state;
    state.hasBlock = static_cast<bool>(m_image.block);
    state.bitCount = m_image.block ? m_image.block.bitCount() : 0;
    state.animationRunning = m_display.animationRunning;
    state.pathIsExistingFile = isExistingFile(m_image.path);
    state.clipboardHasImage = DesktopCommands::clipboardHasImage();
    state.multiPage = m_image.multiPage;
    state.overviewSheet = m_image.overviewMode;
    state.directoryFileCount = m_directoryList.count();
    state.alwaysFit = m_alwaysFit;
    state.sortOrder = m_sortOrder;
    state.timeMeasurement = m_timeMeasurement;
    state.alwaysOnTop = m_alwaysOnTop;
    return state;
}

bool MainWindow::commandEnabled(int id) const
{
    const CommandRow* row = commandRow(id);
    return row && m_handlers.count(id) && menuRuleState(*row, viewerState()).enabled;
}

void MainWindow::updateMenuState()
{
    const ViewerState state = viewerState();
    for (auto& [id, action] : m_actions) {
        const CommandRow* row = commandRow(id);
        ItemState item = row ? menuRuleState(*row, state) : ItemState();
        if (!m_handlers.count(id))
            item.enabled = false; // in the menu already, its work comes later
        action->setEnabled(item.enabled);
        action->setCheckable(item.checked || action->isCheckable());
        action->setChecked(item.checked);
    }
}

bool MainWindow::translateAccelerator(QKeyEvent* event)
{
    for (const CommandRow& row : commandTable()) {
        for (const KeyStroke& stroke : row.keys) {
            if (stroke.scope != KeyScope::Accelerator || !matchesAccelerator(stroke, event))
                continue;
            // The menu is brought up to date first; a disabled command's key
            // does nothing.
            updateMenuState();
            if (commandEnabled(row.id))
                runCommand(row.id);
            return true;
        }
    }
    return false;
}

int MainWindow::windowKeyCommand(const QKeyEvent* event, bool fullScreen) const
{
    if (!fullScreen && (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return 0;
    for (const CommandRow& row : commandTable())
        for (const KeyStroke& stroke : row.keys) {
            const bool taken = stroke.scope == KeyScope::WindowAndFullScreen ||
                               (stroke.scope == KeyScope::Window && !fullScreen);
            if (taken && sameKey(stroke.key, event->key()))
                return row.id;
        }
    return 0;
}

bool MainWindow::handleWindowKeys(QKeyEvent* event)
{
    if (const int id = windowKeyCommand(event, false)) {
        stepByKey(event, id);
        return true;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    switch (event->key()) {
    case Qt::Key_PageUp:
        m_view->scrollBy(Qt::Vertical, true, false);
        return true;
    case Qt::Key_PageDown:
        m_view->scrollBy(Qt::Vertical, true, true);
        return true;
    case Qt::Key_Home:
        m_view->scrollBy(Qt::Horizontal, true, false);
        return true;
    case Qt::Key_End:
        m_view->scrollBy(Qt::Horizontal, true, true);
        return true;
    case Qt::Key_Left:
        m_view->scrollBy(Qt::Horizontal, false, false);
        return true;
    case Qt::Key_Right:
        m_view->scrollBy(Qt::Horizontal, false, true);
        return true;
    case Qt::Key_Up:
        m_view->scrollBy(Qt::Vertical, false, false);
        return true;
    case Qt::Key_Down:
        m_view->scrollBy(Qt::Vertical, false, true);
        return true;
    default:
        return false;
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (translateAccelerator(event))
        return;
    // Keys reach the full-screen window first while it is up.
    if (m_fullScreen) {
        QApplication::sendEvent(m_fullScreen, event);
        return;
    }
    if (!handleWindowKeys(event))
        QMainWindow::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// Commands

void MainWindow::runCommand(int id)
{
    if (id >= command::RecentDirectory1 && id < command::RecentDirectory1 + 5) {
        goToRecentDirectory(id - command::RecentDirectory1);
        return;
    }
    auto handler = m_handlers.find(id);
    if (handler == m_handlers.end())
        return; // present in the menu, its work comes later

    PreconditionState conditions;
    conditions.hasBlock = static_cast<bool>(m_image.block);
    conditions.animationRunning = m_display.animationRunning;
    conditions.fullScreen = m_fullScreen != nullptr;
    conditions.slideshow = slideshowWindowExists();
    conditions.zoom = m_display.zoom;
    switch (checkPreconditions(id, conditions)) {
    case Precondition::Ignore:
        return;
    case Precondition::NoPicture:
        m_ui->showMessage(kNoPictureMessage, MessageIcon::Warning);
        return;
    case Precondition::ZoomActive:
        m_ui->showMessage(kZoomActiveMessage, MessageIcon::Information);
        return;
    case Precondition::Run:
        break;
    }

    handler->second();
}

void MainWindow::registerHandlers()
{
    using namespace command;
    CommandHandlers& on = m_handlers;
    on[Open] = [this] { commandOpen(); };
    on[Reopen] = [this] {
        WaitCursor waitCursor(*m_ui);
        loadAndShow(m_image.path);
    };
    on[SaveAs] = [this] { commandSaveAs(); };
    on[Exit] = [this] { close(); };
    on[EditDelete] = [this] {
        adoptBlock(ImageBlock());
        resetWindow();
        m_view->viewport()->update();
    };
    on[BestFit] = [this] { commandBestFit(); };
    on[FullScreen] = [this] { commandFullScreen(); };
    for (int id : {ZoomIn, ZoomOut})
        on[id] = [this, in = id == ZoomIn] {
            if (m_fullScreen)
                m_fullScreen->zoomIn(in);
            else
                zoom(in);
        };
    on[TimeMeasurement] = [this] {
        m_timeMeasurement = !m_timeMeasurement;
        updateMenuState();
    };
    on[AlwaysOnTop] = [this] {
        m_alwaysOnTop = !m_alwaysOnTop;
        setWindowFlag(Qt::WindowStaysOnTopHint, m_alwaysOnTop);
        show();
        updateMenuState();
    };
    on[Minimise] = [this] { showMinimized(); };
    on[About] = [this] { commandAbout(); };
    on[NextPage] = [this] { showPage(m_image.currentPage + 1); };
    on[PreviousPage] = [this] { showPage(m_image.currentPage - 1); };
    on[FirstPage] = [this] { showPage(0); };
    on[LastPage] = [this] { showPage(m_image.pageCount - 1); };
    on[NextOverviewPage] = [this] { commandNextOverviewSheet(); };
    on[ImageInfo] = [this] {
        QWidget* owner = QApplication::activeWindow();
        ImageInfoDialog dialog([this] { return imageInfoInput(); }, owner ? owner : this);
        dialog.exec();
    };
    on[StopAnimation] = [this] { stopAnimation(); };
    on[StartAnimation] = [this] {
        if (m_image.format == ImageFormat::Gif && isExistingFile(m_image.path)) {
            WaitCursor waitCursor(*m_ui);
            loadAndShow(m_image.path);
        }
    };
    on[NextFile] = [this] { stepFile(1); };
    on[PreviousFile] = [this] { stepFile(-1); };
    on[FirstFile] = [this] { goToListedFile(0); };
    on[LastFile] = [this] { goToListedFile(m_directoryList.count() - 1); };
    on[RefreshDirectory] = [this] {
        WaitCursor waitCursor(*m_ui);
        rebuildDirectoryList(true);
    };
    for (int order = 0; order < kSortOrderCount; ++order)
        on[sortCommandOfOrder(order)] = [this, order] { sortDirectoryList(order); };
    m_imageMenu->registerHandlers(on);
    m_desktopCommands->registerHandlers(on);
    m_scanner->registerHandlers(on);
    m_fileCommands->registerHandlers(on);
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
    readStartupSettings();
}

void MainWindow::showPage(int page)
{
    // Next on the last page and Previous on the first stay where they are.
    if (!m_image.multiPage || page < 0 || page >= m_image.pageCount || page == m_image.currentPage)
        return;
    WaitCursor waitCursor(*m_ui);
    Result<ImageBlock> loaded = loadTiffPage(m_image, page, paletteDisplay());
    if (!loaded) {
        waitCursor.release();
        m_ui->showMessage(loaded.text(), MessageIcon::Information); // the page on screen stays
        return;
    }
    resetViewerState();
    m_image.currentPage = page;
    ImageBlock block = loaded.take();
    m_image.originalWidth = block.width();
    m_image.originalHeight = block.height();
    m_image.originalBitCount = block.bitCount();
    showNewPicture(std::move(block));
}

void MainWindow::commandNextOverviewSheet()
{
    if (!m_image.overviewMode)
        return;
    const int next = nextOverviewStart(m_image.overviewStart);
    if (next == 0) {
        m_ui->showMessage(kNoMorePictures, MessageIcon::Information);
        return;
    }
    WaitCursor waitCursor(*m_ui);
    Result<ImageBlock> sheet = loadOverviewSheet(m_image.path, next, paletteDisplay());
    if (!sheet) {
        waitCursor.release();
        m_ui->showMessage(sheet.text(), MessageIcon::Information);
        return;
    }
    m_image.overviewStart = next;
    showNewPicture(sheet.take());
}

// ---------------------------------------------------------------------------
// The directory list

void MainWindow::rebuildDirectoryList(bool force)
{
    std::error_code error;
    const std::string directory = std::filesystem::current_path(error).string();
    if (error)
        return;
    const std::string name = fileNameOf(m_image.path);
    if (m_directoryList.rebuild(directory, name, force, m_sortOrder)) {
        m_settings.writeText(settings::OpenDir, directory);
        return;
    }
    // A file renamed while it loaded (to its format's extension) keeps its
    // place under its new name; one that left the list keeps the index it
    // was given.
    const int found = m_directoryList.find(name);
    if (found >= 0)
        m_directoryList.setIndex(found);
}

void MainWindow::directoryListAfterRemoval()
{
    const int oldIndex = m_directoryList.index();
    rebuildDirectoryList(true);
    m_directoryList.removedAt(oldIndex);
}

void MainWindow::fileOnScreenRemoved(bool endAnimation)
{
    // Resetting the window also ends the animation and its timer.
    if (endAnimation && m_display.animationRunning)
        resetWindow();
    directoryListAfterRemoval();
}

ImageInfoInput MainWindow::imageInfoInput() const
{
    ImageInfoInput input;
    input.image = &m_image;
    input.animationRunning = m_display.animationRunning;
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(m_image.path, error);
    if (!error)
        input.fileSize = size;
    input.directoryIndex = m_directoryList.index();
    input.directoryCount = m_directoryList.count();
    return input;
}

void MainWindow::stepFile(int direction)
{
    const NavigationStep step = stepThrough(m_directoryList.index(), m_directoryList.count(), direction);
    if (step.kind == NavigationStep::Kind::AskToWrap) {
        // Cancel leaves the index where it was.
        if (m_ui->askOkCancel(direction > 0 ? kNoMoreNext : kNoMorePrevious, MessageIcon::Warning))
            runCommand(direction > 0 ? command::FirstFile : command::LastFile);
        return;
    }
    m_travelDirection = direction;
    m_directoryList.setIndex(step.index);
    const std::string path = m_directoryList.pathOf(step.index);
    std::optional<WaitCursor> waitCursor;
    if (!m_readAhead || !m_readAhead->ready(path))
        waitCursor.emplace(*m_ui);
    loadAndShow(path); // a failure is reported and resets the window
    readAheadNeighbours();
}

void MainWindow::startSlideshow(std::vector<std::string> entries)
{
    if (entries.empty())
        return;
    if (m_slideshow)
        m_slideshow->close();
    m_timeMeasurement = false;
    m_slideshow = new SlideshowWindow(*this, std::move(entries), readSlideshowOptions(m_settings),
                                      static_cast<uint32_t>(std::time(nullptr)));
    // Without a window manager full screen is only a wish: the window takes
    // the screen's size itself.
    m_slideshow->setGeometry(screen()->geometry());
    m_slideshow->showFullScreen();
    m_slideshow->start();
}

void MainWindow::loadSlide(const std::string& path, bool quiet)
{
    std::string loaded = path;
    ImageBlock block = LoadForDisplay(*this, loaded, true, quiet, 0);
    m_image.path = loaded;
    adoptBlock(std::move(block));
}

void MainWindow::readSlideAhead(const std::string& path)
{
    if (paletteDisplay())
        return;
    if (!m_readAhead)
        m_readAhead = std::make_unique<ReadAhead>(
            m_readAheadBudget > 0 ? static_cast<uint64_t>(m_readAheadBudget) : ReadAhead::defaultBudget());
    m_readAhead->request({path}, m_loadGreyscale);
}

QSize MainWindow::slideDrawingSize() const
{
    if (!m_display.metafile || m_image.block)
        return {};
    return {m_image.originalWidth, m_image.originalHeight};
}

bool MainWindow::showSlideSheet(int firstPicture)
{
    Result<ImageBlock> sheet = loadOverviewSheet(m_image.path, firstPicture, paletteDisplay());
    if (!sheet) {
        m_image.overviewMode = false;
        return false;
    }
    m_image.overviewStart = firstPicture;
    adoptBlock(sheet.take());
    return true;
}

void MainWindow::slideshowEnded()
{
    if (m_image.block)
        showPicture();
    else if (m_display.metafile) {
        // The show only played it: the viewer captures it as a load does.
        std::string message, compression;
        m_metafiles->show(m_image.path, message, compression, MetafileDisplay::Capture);
    }
}

void MainWindow::readAheadNeighbours()
{
    // The slideshow has its own wish: the entry it shows next.
    if (m_slideshow)
        return;
    const int index = m_directoryList.index();
    if (m_readAheadBudget <= 0 || index < 0 || m_directoryList.count() < 2 || paletteDisplay())
        return;
    std::vector<std::string> wish;
    for (int direction : {m_travelDirection, -m_travelDirection}) {
        const std::string path = m_directoryList.pathOf(index + direction);
        if (!path.empty())
            wish.push_back(path);
    }
    if (wish == m_readAheadWish && m_readAhead)
        return;
    m_readAheadWish = wish;
    if (!m_readAhead)
        m_readAhead = std::make_unique<ReadAhead>(static_cast<uint64_t>(m_readAheadBudget));
    m_readAhead->request(wish, m_loadGreyscale);
}

bool MainWindow::staleRepeat(const QKeyEvent* event, int id) const
{
    return (id == command::NextFile || id == command::PreviousFile) && event->isAutoRepeat() &&
           event->timestamp() != 0 && event->timestamp() < m_busyUntil;
}

void MainWindow::stepByKey(const QKeyEvent* event, int id)
{
    if (staleRepeat(event, id))
        return;
    m_stepKeyTime = event->timestamp();
    QElapsedTimer took;
    took.start();
    runCommand(id);
    m_busyUntil = event->timestamp() + static_cast<uint64_t>(took.elapsed());
}

void MainWindow::goToListedFile(int index)
{
    if (m_directoryList.count() == 0) {
        m_directoryList.setIndex(0);
        return;
    }
    m_directoryList.setIndex(index);
    const std::string path = m_directoryList.pathOf(index);
    if (!isExistingFile(path))
        return;
    std::optional<WaitCursor> waitCursor;
    if (!m_readAhead || !m_readAhead->ready(path))
        waitCursor.emplace(*m_ui);
    loadAndShow(path);
}

void MainWindow::sortDirectoryList(int order)
{
    WaitCursor waitCursor(*m_ui);
    m_sortOrder = order;
    m_directoryList.sort(order, fileNameOf(m_image.path));
    m_settings.writeText(settings::FileSortOrder, std::to_string(order));
    updateMenuState();
}

// ---------------------------------------------------------------------------
// GIF animation

bool MainWindow::startAnimation(const std::string& path, const ImageList& images)
{
    // "None": the first image, as an ordinary picture.
    if (m_settings.readInt(settings::MultiGifNone) == 1)
        return false;
    Result<std::vector<AnimationFrame>> read = readAnimationFrames(path, images, CodecRegistry::instance());
    if (!read)
        return false; // the display load reads the first image and reports
    std::vector<AnimationFrame> frames = read.take();
    m_image.path = path;
    rebuildDirectoryList(true);
    m_timeMeasurement = false;
    m_image.originalWidth = frames.front().block.width();
    m_image.originalHeight = frames.front().block.height();
    m_image.originalBitCount = frames.front().block.bitCount();

    if (m_settings.readInt(settings::MultiGifAnimate) == 0) {
        std::string directory = m_settings.readText(settings::ExtractGif);
        if (!directory.empty() && directory.back() != '/')
            directory += '/';
        extractFrames(frames, directory, path, *m_ui);
        showNewPicture(duplicateBlock(frames.back().block)); // the last frame stays on screen
        return true;
    }

    auto canvas = std::make_shared<GifCanvas>(std::move(frames));
    if (!canvas->canvas())
        return false;
    canvas->show(0);
    std::vector<int> delays;
    for (const AnimationFrame& frame : canvas->frames())
        delays.push_back(frameDelayMs(frame.info.delay));
    m_display.animation = canvas;
    m_display.animationRunning = true;
    m_image.currentWidth = canvas->width();
    m_image.currentHeight = canvas->height();
    m_image.currentBitCount = 8;
    showAtFullSize(canvas->width(), canvas->height());
    pictureChanged();
    m_view->viewport()->update();
    const int64_t now = m_clock.elapsed();
    m_schedule.emplace(std::move(delays), now);
    m_animationStart = now;
    armAnimationTimer(now);
    return true;
}

void MainWindow::armAnimationTimer(int64_t now)
{
    m_animationTimer->start(static_cast<int>(std::max<int64_t>(0, m_schedule->nextDeadline() - now)));
}

void MainWindow::animationStep()
{
    if (!m_display.animationRunning || !m_display.animation || !m_schedule)
        return;
    const int64_t now = m_clock.elapsed();
    const int64_t due = m_schedule->nextDeadline();
    const int frame = m_schedule->frameAt(now);
    if (frame != m_display.animation->current()) {
        m_display.animation->show(frame);
        traceFrame(now - m_animationStart, frame, now - due);
        pictureChanged();
        m_view->viewport()->update();
        if (m_fullScreen)
            m_fullScreen->update();
    }
    armAnimationTimer(now);
}

void MainWindow::stopAnimation()
{
    m_animationTimer->stop();
    m_schedule.reset();
    std::shared_ptr<GifCanvas> animation = std::move(m_display.animation);
    m_display.animationRunning = false;
    ImageBlock first = animation ? duplicateBlock(animation->frames().front().block) : ImageBlock();
    adoptBlock(std::move(first));
    if (m_image.block)
        sizeWindowToPicture(scaleByZoom(m_image.currentWidth, m_display.zoom),
                            scaleByZoom(m_image.currentHeight, m_display.zoom));
    m_view->viewport()->update();
    if (m_fullScreen)
        m_fullScreen->update();
}

void MainWindow::showAtFullSize(int width, int height)
{
    m_view->hideScrollBars();
    m_display.zoom = 100;
    m_zoomStep = 0;
    sizeWindowToPicture(std::max(1, width), std::max(1, height));
}

void MainWindow::repaintPicture()
{
    m_display.metafile.reset(); // changed in place: the block is the picture now
    pictureChanged();
    m_view->viewport()->repaint();
    if (m_fullScreen)
        m_fullScreen->update();
}

void MainWindow::commandOpen()
{
    // A running animation pauses for the dialog and goes on after Cancel.
    const bool animating = m_animationTimer->isActive();
    m_animationTimer->stop();
    const int originalWidth = m_image.originalWidth;
    const int originalHeight = m_image.originalHeight;
    const int originalBits = m_image.originalBitCount;
    const std::string compression = m_image.compression;
    std::optional<std::string> chosen = ChooseOpenFile(*m_dialogs, m_settings, m_openType);
    std::optional<CurrentImage> previewed = chosen ? m_openPreview->takeFor(*chosen) : std::nullopt;
    m_openPreview->drop();
    if (!chosen) {
        m_image.originalWidth = originalWidth;
        m_image.originalHeight = originalHeight;
        m_image.originalBitCount = originalBits;
        m_image.compression = compression;
        if (animating && m_schedule)
            armAnimationTimer(m_clock.elapsed());
        return;
    }
    WaitCursor waitCursor(*m_ui);
    if (previewed)
        showPreviewedPicture(std::move(*previewed));
    else
        loadAndShow(*chosen);
}

void MainWindow::commandSaveAs()
{
    std::optional<std::string> path = ChooseSaveFile(*m_dialogs, *m_ui, m_settings, m_image.path);
    if (!path)
        return;
    {
        WaitCursor waitCursor(*m_ui);
        SaveImage(m_image.block, *m_ui, *path, true);
    }
    m_ui->rebuildDirectoryList();
}

void MainWindow::commandBestFit()
{
    m_alwaysFit = !m_alwaysFit;
    m_settings.writeText(settings::AlwaysFit, m_alwaysFit ? "1" : "0");
    updateMenuState();
    if (m_image.path == kClipboardPath || m_image.path == kScanImagePath) {
        m_ui->showMessage(formatted("%s %s", "Not available if", m_image.path.c_str()), MessageIcon::Warning);
        return;
    }
    if (m_image.block)
        runCommand(command::Reopen);
}

void MainWindow::commandFullScreen()
{
    if (m_fullScreen)
        return;
    const bool showName = m_settings.readInt(settings::ShowFullScreenName) != 0;
    m_fullScreen = new FullScreenWindow(this, showName);
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
    m_display.zoom = 100;
    m_zoomStep = 0;
    // A file playing in full screen plays again in the main window.
    if (m_display.mediaWindow) {
        QTimer::singleShot(0, this, [this] { runCommand(command::Reopen); });
        return;
    }
    if (m_image.block) {
        m_image.refreshCurrentSize();
        showPicture();
        m_view->viewport()->update();
        activateWindow();
    }
}

IconChooser* MainWindow::iconChooser()
{
    return m_imageMenu.get();
}

void MainWindow::commandAbout()
{
    showMinimized();
    QMessageBox::about(nullptr, QString("About %1").arg(kProgramCaptionText),
                       QString("%1 %2\n\nA fast image viewer and converter.")
                           .arg(kProgramCaptionText)
                           .arg(programVersion()));
}

void MainWindow::adoptBlock(ImageBlock block)
{
    m_image.block = std::move(block);
    m_image.refreshCurrentSize();
    pictureChanged();
}

// ---------------------------------------------------------------------------
// Loading and display

void MainWindow::resetViewerState()
{
    // The media window closes with the display state.
    m_animationTimer->stop();
    m_schedule.reset();
    m_display.reset();
    m_view->hideScrollBars();
    m_layout.horizontalScroll = m_layout.verticalScroll = false;
    m_zoomStep = 0;
}

void MainWindow::showNewPicture(ImageBlock block)
{
    adoptBlock(std::move(block));
    if (m_fullScreen)
        m_fullScreen->update();
    else
        showPicture();
    m_view->viewport()->update();
}

void MainWindow::showAcquiredPicture(ImageBlock block, const std::string& name)
{
    const int width = block.width(), height = block.height(), bits = block.bitCount();
    DecodedImage decoded;
    decoded.block = std::move(block);
    Result<ImageBlock> prepared = prepareForDisplay(std::move(decoded), PictureCorrections{}, paletteDisplay());
    if (!prepared) {
        m_ui->showMessage(prepared.text(), MessageIcon::Warning); // the picture on screen stays
        return;
    }
    resetViewerState();
    m_image.resetAllButBlock();
    m_image.path = name;
    m_image.format = ImageFormat::Bmp;
    m_image.compression.clear();
    m_image.originalWidth = width;
    m_image.originalHeight = height;
    m_image.originalBitCount = bits;
    showNewPicture(std::move(*prepared));
}

bool MainWindow::loadAndShow(std::string path)
{
    ImageBlock block = LoadForDisplay(*this, path, false, false, 0);
    m_image.path = path;
    if (!block)
        return m_image.block || m_display.animationRunning; // an animation or extracted frames show themselves
    showNewPicture(std::move(block));
    return true;
}

void MainWindow::showPreviewedPicture(CurrentImage record)
{
    // As the display load starts: the viewer's state goes with the old
    // picture; then as it ends, titled by the path.
    m_image.block = ImageBlock();
    resetViewerState();
    m_image = std::move(record);
    m_ui->setWindowTitle(m_image.path);
    ImageBlock block = std::move(m_image.block);
    showNewPicture(std::move(block));
}

bool MainWindow::openFile(const std::string& path)
{
    // The start-up picture may be decoded already: then there is no wait to
    // show (and no cursor to load from the theme).
    std::optional<WaitCursor> waitCursor;
    if (!m_readAhead || !m_readAhead->ready(path))
        waitCursor.emplace(*m_ui);
    return loadAndShow(path);
}

void MainWindow::applyOuterSize(int x, int y, int outerWidth, int outerHeight)
{
    const DisplayMetrics m = metrics();
    const int clientWidth = std::max(1, outerWidth - (m.frameWidth + m.frameWidth / 2));
    const int clientHeight = std::max(1, outerHeight - (m.captionHeight + m.frameHeight + m.frameHeight / 2));
    // No sizing border: the user never resizes the window, the program does.
    setFixedSize(clientWidth, clientHeight);
    move(x, y);
}

void MainWindow::sizeWindowToPicture(int width, int height)
{
    int x = m_windowX;
    int y = m_windowY;
    if (m_options.position) {
        x = m_options.x;
        y = m_options.y;
    } else if (m_display.zoom == 100 && isVisible()) {
        x = pos().x();
        y = pos().y();
    }
    const DisplayMetrics m = metrics();
    m_layout = withReachableScrollRanges(m, pictorand::sizeWindowToPicture(m, width, height, x, y, m_minimumWidth),
                                         width, height);
    m_view->setScrollBars(m_layout.horizontalScroll, m_layout.horizontalRange, m_layout.verticalScroll,
                          m_layout.verticalRange);
    applyOuterSize(m_layout.x, m_layout.y, m_layout.width, m_layout.height);
}

void MainWindow::showPicture()
{
    m_image.refreshCurrentSize();
    const int width = m_image.currentWidth;
    const int height = m_image.currentHeight;
    const DisplayMetrics m = metrics();
    if (!showPictureFits(m, m_alwaysFit, m_fitForBigImages, width, height)) {
        sizeWindowToPicture(width, height);
        return;
    }
    m_view->hideScrollBars();
    m_layout = WindowLayout();
    m_display.zoom = 100;
    m_zoomStep = 0;
    const DisplaySize fit = bestFitToDesktop(m, width, height);
    const DisplaySize outer = fittedWindowSize(m, fit);
    m_layout.x = m.workArea.left;
    m_layout.y = m.workArea.top;
    m_layout.width = outer.width;
    m_layout.height = outer.height;
    m_windowX = m_layout.x;
    m_windowY = m_layout.y;
    applyOuterSize(m_layout.x, m_layout.y, outer.width, outer.height);
    ImageBlock fitted = fitCopy(m_image.block, fit.width, fit.height);
    if (fitted)
        adoptBlock(std::move(fitted)); // else the block stays as it was
    m_image.refreshCurrentSize();
}

ImageBlock resampledForDisplay(const ImageBlock& block, int width, int height)
{
    return resampleCommand(block, width, height);
}

ImageBlock MainWindow::fitCopy(ImageBlock& block, int width, int height)
{
    // Smooth resampling only when the picture shrinks both ways; otherwise
    // (and without UseResample) the nearest-neighbour resize.
    const bool shrinksBoth = width < block.width() && height < block.height();
    if (!m_useResample || !shrinksBoth)
        return resizeBlock(block, width, height);
    return resampleCommand(block, width, height);
}

void MainWindow::resetWindow()
{
    m_animationTimer->stop();
    m_schedule.reset();
    m_display.animationRunning = false;
    m_display.animation.reset();
    // A playing file or a drawing keeps the window as it is.
    if (m_display.mediaWindow || m_display.metafile)
        return;
    const DisplayMetrics m = metrics();
    const DisplaySize empty = emptyWindowSize(m);
    applyOuterSize(m_windowX, m_windowY, empty.width, empty.height);
    setWindowTitle(kProgramCaptionText);
    m_view->hideScrollBars();
    m_layout = WindowLayout();
    m_display.zoom = 100;
    m_zoomStep = 0;
    m_view->viewport()->update();
}

void MainWindow::zoom(bool in)
{
    if (m_display.zoom == 100)
        m_zoomStep = 0;
    if (in && m_zoomStep == kMaxZoomStep) {
        m_ui->showMessage("This is the maximum !", MessageIcon::Information);
        return;
    }
    if (!in && m_zoomStep == kMinZoomStep) {
        m_ui->showMessage("This is the minimum !", MessageIcon::Information);
        return;
    }
    m_zoomStep += in ? 1 : -1;
    m_display.zoom = zoomForStep(m_zoomStep);
    m_view->hideScrollBars();
    sizeWindowToPicture(scaleByZoom(m_image.currentWidth, m_display.zoom),
                        scaleByZoom(m_image.currentHeight, m_display.zoom));
    m_view->viewport()->update();
}

void MainWindow::setTitle()
{
    const std::string name = fileNameAndExtension(m_image.path);
    std::string title;
    if (m_display.zoom == 100)
        title = formatted("%s - %s (%d x %d x %dBPP)", kProgramCaptionText, name.c_str(), m_image.currentWidth,
                          m_image.currentHeight, m_image.currentBitCount);
    else
        title = formatted("%s - %d %% (%d x %d)", name.c_str(), m_display.zoom,
                          scaleByZoom(m_image.currentWidth, m_display.zoom),
                          scaleByZoom(m_image.currentHeight, m_display.zoom));
    if (m_image.multiPage)
        title = formatted("%s - %s %d %s %d", name.c_str(), "page", m_image.currentPage + 1, "of", m_image.pageCount);
    if (m_display.animationRunning && m_display.animation && m_display.zoom == 100)
        title = formatted("%s - %d %s", name.c_str(), m_display.animation->frameCount(), "frames");
    if (m_options.customTitle)
        title = formatted("%s - %s", kProgramCaptionText, m_options.title.c_str());
    setWindowTitle(QString::fromStdString(title));
    rebuildDirectoryList(false);
    readAheadNeighbours();
    if (m_options.fullScreenRequest) {
        m_options.fullScreenRequest = false;
        QTimer::singleShot(0, this, [this] { runCommand(command::FullScreen); });
    }
}

QRect MainWindow::pictureRect() const
{
    const QPoint scroll = m_view->scrollPosition();
    return {-scroll.x(), -scroll.y(), scaleByZoom(m_image.currentWidth, m_display.zoom),
            scaleByZoom(m_image.currentHeight, m_display.zoom)};
}

QList<QRgb> MainWindow::paintPalette() const
{
    // On a palette display the block's logical palette is selected and
    // realised; otherwise the colours come from the block's own table. Both
    // are the colour table read by the colour-count rule.
    return logicalPalette(m_image.block);
}

const ImageBlock& MainWindow::shownBlock() const
{
    if (m_display.animationRunning && m_display.animation)
        return m_display.animation->canvas();
    return m_image.block;
}

bool MainWindow::showMetafile(const std::string& path, std::string& message, std::string& compression)
{
    // A slideshow plays metafiles into its own fit and captures nothing.
    return m_metafiles->show(path, message, compression,
                             slideshowWindowExists() ? MetafileDisplay::PlayOnly : MetafileDisplay::Capture);
}

bool MainWindow::playMedia(const std::string& path)
{
    QWidget* parent = m_fullScreen && m_fullScreen->isVisible() ? static_cast<QWidget*>(m_fullScreen.data()) : m_view;
    auto* media = new MediaWindow(parent, path);
    // The window dies with its parent (leaving full screen) or with the
    // display state (the next load), whichever comes first.
    m_display.mediaWindow = std::shared_ptr<void>(new QPointer<MediaWindow>(media), [](void* p) {
        auto* pointer = static_cast<QPointer<MediaWindow>*>(p);
        delete pointer->data();
        delete pointer;
    });
    media->failed = [this](const std::string& text) {
        QTimer::singleShot(0, this, [this, text] { m_ui->showMessage(text, MessageIcon::Warning); });
    };
    media->sizeChanged = [this, media](QSize size) {
        media->resize(size);
        if (media->parentWidget() != m_view)
            media->move((m_fullScreen->width() - size.width()) / 2, (m_fullScreen->height() - size.height()) / 2);
        else {
            showAtFullSize(size.width(), size.height());
            media->resize(std::max(size.width(), m_view->width()), size.height()); // the minimum window width
        }
    };
    media->sizeChanged(media->wantedSize());
    media->show();
    return true;
}

MediaWindow* MainWindow::mediaWindow() const
{
    return m_display.mediaWindow ? static_cast<QPointer<MediaWindow>*>(m_display.mediaWindow.get())->data() : nullptr;
}

void MainWindow::paintBlockInto(QPainter& painter, const QRect& target)
{
    if (m_display.metafile && !m_display.animationRunning) {
        std::static_pointer_cast<MetafilePicture>(m_display.metafile)->paint(painter, target);
        return;
    }
    const ImageBlock& shown = shownBlock();
    // 4-bit blocks are expanded once and kept until the block changes; the
    // other depths are drawn straight from the block's rows.
    if (shown.bitCount() == 4) {
        if (m_expandedGeneration != m_pictureGeneration || m_expanded.isNull()) {
            m_expanded = blockImage(shown, paintPalette(), m_scratch);
            m_expandedGeneration = m_pictureGeneration;
        }
        drawBlock(painter, m_expanded, target);
        return;
    }
    std::vector<uint8_t> unused;
    drawBlock(painter, blockImage(shown, logicalPalette(shown), unused), target);
}

void MainWindow::pictureChanged()
{
    ++m_pictureGeneration;
    m_expanded = QImage();
    // The expansion buffer is kept for the next 4-bit picture, but one sized
    // for a giant picture would stay taken for the rest of the run.
    if (m_scratch.capacity() > (size_t(64) << 20))
        std::vector<uint8_t>().swap(m_scratch);
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
    if (!shownBlock())
        return;
    if (!shownBlock().isConsistent()) {
        m_ui->setWindowTitle(kProgramCaptionText);
        QTimer::singleShot(0, this, [this] {
            m_ui->showMessage("Memory lock error !\n\nNo picture !", MessageIcon::Information);
        });
        return;
    }
    if (m_image.block)
        m_image.currentBitCount = m_image.block.bitCount();
    if (!m_firstPaintDone)
        traceStartup("first paint");
    paintBlockInto(painter, pictureRect());
    if (!m_firstPaintDone)
        traceStartup("picture drawn");
    reportDecompressionTime();
    setTitle();
    if (m_stepKeyTime != 0) {
        traceStep(m_stepKeyTime);
        m_stepKeyTime = 0;
    }
    if (!m_firstPaintDone) {
        m_firstPaintDone = true;
        emit painted();
    }
}

void MainWindow::reportDecompressionTime()
{
    if (!m_timeMeasurement || m_fullScreen || slideshowWindowExists() || m_image.decompressionMs == 0 ||
        m_display.zoom != 100)
        return;
    const std::string text = formatted("%s\n\n%s: %ld ms\n", m_image.path.c_str(), "Decompression time",
                                       static_cast<long>(m_image.decompressionMs));
    m_image.decompressionMs = 0;
    // Not from inside the paint: the box runs an event loop of its own.
    QTimer::singleShot(0, this, [this, text] { m_ui->showMessage(text, MessageIcon::Information); });
}

// ---------------------------------------------------------------------------
// Window events

void MainWindow::writeWindowPosition()
{
    if (m_settings.readInt(settings::RememberWinPos) != 1)
        return;
    const bool minimised = isMinimized();
    m_settings.writeText(settings::XKoord, std::to_string(minimised ? 0 : pos().x()));
    m_settings.writeText(settings::YKoord, std::to_string(minimised ? 0 : pos().y()));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_fullScreen)
        delete m_fullScreen.data();
    writeWindowPosition();
    adoptBlock(ImageBlock());
    event->accept();
    QApplication::quit();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    m_windowX = pos().x();
    m_windowY = pos().y();
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
    const std::string path = paths.front().toStdString();
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(path).parent_path(), error);
    if (isMinimized())
        showNormal();
    openFile(path);
}

} // namespace pictorand
