#include "shell/core/viewer_controller.h"

#include "codecs/jpeg/jpeg_transform.h"
#include "dispatch/save_dispatch.h"
#include "ops/color_table.h"
#include "ops/colour_profile.h"
#include "ops/resample_command.h"
#include "ops/resize.h"
#include "platform/formatted_text.h"
#include "platform/paths.h"
#include "platform/settings_keys.h"
#include "shell/core/recent_directories.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace pictorand {

namespace {

bool isExistingFile(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

ViewerController::ViewerController(ViewerScreen& screen, UserInterface& ui, SettingsFile& settings,
                                   ViewerOptions options, const CodecRegistry& registry)
    : m_screen(screen), m_ui(ui), m_settings(settings), m_options(std::move(options)), m_registry(registry)
{
    readSettings();
    m_minimumWidth = minimumWindowWidth(metrics().screenWidth);
    registerHandlers();
}

ViewerController::~ViewerController() = default;

void ViewerController::readSettings()
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

LoadRequest ViewerController::viewRequest(const std::string& path) const
{
    LoadRequest request{LoadSource{path}, LoadPurpose::View, loadOptionsFromSettings(m_settings)};
    // The JPEG and Photo CD settings as read at start-up and after the
    // Properties; the others as they are now.
    request.options.greyscale = m_loadGreyscale;
    request.options.photoCdLoadingSize = m_loadingSize;
    request.options.paletteDisplay = paletteDisplay();
    // Full screen shows a GIF's first image.
    request.options.animate = request.options.animate && !m_screen.fullScreenShown();
    if (request.options.colourManagement)
        request.options.displayProfile = m_displayProfile;
    return request;
}

LoadRequest ViewerController::srgbRequest(const std::string& path) const
{
    LoadRequest request = viewRequest(path);
    request.options.displayProfile.clear();
    return request;
}

void ViewerController::setDisplayProfile(std::vector<uint8_t> profile)
{
    if (profile.size() > kLargestDisplayProfile || !isDestinationProfile(profile))
        profile.clear();
    if (profile == m_displayProfile)
        return;
    m_displayProfile = std::move(profile);
    // Every picture kept ahead was converted for the old display.
    m_readAheadWish.clear();
    if (m_readAhead)
        m_readAhead->request({});
    if (m_pictureAsLoaded && !m_screen.slideshowShown() && isExistingFile(m_image.path)) {
        LoadRequest request = viewRequest(m_image.path);
        request.options.page = m_image.currentPage;
        request.options.overviewStart = m_image.overviewStart;
        WaitCursor waitCursor(m_ui);
        // Quiet: the file's notices and questions were given when it was
        // opened; a file that no longer loads leaves the picture as it was.
        show(load(request, m_registry), true);
    }
    readAheadNeighbours();
}

// ---------------------------------------------------------------------------
// Commands

void ViewerController::registerHandlers()
{
    using namespace command;
    CommandHandlers& on = m_handlers;
    on[Open] = [this] { commandOpen(); };
    on[Reopen] = [this] { open(m_image.path); };
    on[SaveAs] = [this] { commandSaveAs(); };
    on[EditDelete] = [this] {
        replaceBlock(ImageBlock());
        resetWindow();
    };
    on[BestFit] = [this] { commandBestFit(); };
    for (int id : {ZoomIn, ZoomOut})
        on[id] = [this, in = id == ZoomIn] { zoom(in); };
    on[TimeMeasurement] = [this] { m_timeMeasurement = !m_timeMeasurement; };
    on[NextPage] = [this] { showPage(m_image.currentPage + 1); };
    on[PreviousPage] = [this] { showPage(m_image.currentPage - 1); };
    on[FirstPage] = [this] { showPage(0); };
    on[LastPage] = [this] { showPage(m_image.pageCount - 1); };
    on[NextOverviewPage] = [this] { nextOverviewSheet(); };
    on[StopAnimation] = [this] { stopAnimation(); };
    on[StartAnimation] = [this] {
        if (m_image.format == ImageFormat::Gif && isExistingFile(m_image.path))
            open(m_image.path);
    };
    on[NextFile] = [this] { stepFile(1); };
    on[PreviousFile] = [this] { stepFile(-1); };
    on[FirstFile] = [this] { goToListedFile(0); };
    on[LastFile] = [this] { goToListedFile(m_directoryList.count() - 1); };
    on[RefreshDirectory] = [this] {
        WaitCursor waitCursor(m_ui);
        rebuildDirectoryList(true);
    };
    for (int order = 0; order < kSortOrderCount; ++order)
        on[sortCommandOfOrder(order)] = [this, order] { sortDirectoryList(order); };
}

void ViewerController::runCommand(int id)
{
    if (id >= command::RecentDirectory1 && id < command::RecentDirectory1 + kRecentDirectoryCount) {
        goToRecentDirectory(id - command::RecentDirectory1);
        return;
    }
    auto handler = m_handlers.find(id);
    if (handler == m_handlers.end())
        return; // present in the menu, its work comes later

    PreconditionState conditions;
    conditions.hasBlock = static_cast<bool>(m_image.block);
    conditions.animationRunning = m_display.animationRunning;
    conditions.fullScreen = m_screen.fullScreenShown();
    conditions.slideshow = m_screen.slideshowShown();
    conditions.zoom = m_display.zoom;
    switch (checkPreconditions(id, conditions)) {
    case Precondition::Ignore:
        return;
    case Precondition::NoPicture:
        m_ui.showMessage(kNoPicture, MessageIcon::Warning);
        return;
    case Precondition::ZoomActive:
        m_ui.showMessage(kZoomActiveMessage, MessageIcon::Information);
        return;
    case Precondition::Run:
        break;
    }
    // A copy: a handler may replace its own entry.
    const std::function<void()> work = handler->second;
    work();
}

ViewerState ViewerController::viewerState() const
{
    ViewerState state;
    state.hasBlock = static_cast<bool>(m_image.block);
    state.bitCount = m_image.block ? m_image.block.bitCount() : 0;
    state.animationRunning = m_display.animationRunning;
    state.pathIsExistingFile = isExistingFile(m_image.path);
    state.clipboardHasImage = m_screen.clipboardHasImage();
    state.multiPage = m_image.multiPage;
    state.overviewSheet = m_image.overviewMode;
    state.directoryFileCount = m_directoryList.count();
    state.alwaysFit = m_alwaysFit;
    state.sortOrder = m_sortOrder;
    state.timeMeasurement = m_timeMeasurement;
    return state;
}

bool ViewerController::commandEnabled(int id) const
{
    const CommandRow* row = commandRow(id);
    return row && m_handlers.count(id) && menuRuleState(*row, viewerState()).enabled;
}

void ViewerController::commandOpen()
{
    // A running animation pauses for the dialog and goes on after Cancel.
    pauseAnimation();
    const std::optional<std::string> chosen = m_dialogs ? ChooseOpenFile(*m_dialogs, m_settings, m_openType)
                                                        : std::nullopt;
    std::optional<LoadOutcome> previewed = takePreview ? takePreview(chosen.value_or(std::string())) : std::nullopt;
    if (!chosen) {
        resumeAnimation();
        return;
    }
    WaitCursor waitCursor(m_ui);
    if (previewed)
        show(std::move(*previewed));
    else
        open(*chosen);
}

void ViewerController::commandSaveAs()
{
    if (!m_dialogs)
        return;
    const std::optional<std::string> path = ChooseSaveFile(*m_dialogs, m_ui, m_settings, m_image.path);
    if (!path)
        return;
    {
        WaitCursor waitCursor(m_ui);
        if (!saveTurnedFile(*path)) {
            const ImageBlock converted = srgbCopyOf(m_image.block);
            (void)SaveImage(converted ? converted : m_image.block, m_ui, *path, true); // the messages told the user why
        }
    }
    m_ui.rebuildDirectoryList();
}

ImageBlock ViewerController::srgbCopyOf(const ImageBlock& block) const
{
    if (m_image.displayColours.empty() || !block)
        return {};
    // A copy, converted back: what is shown stays in the display's colours.
    Result<ImageBlock> copy = duplicateBlock(block);
    if (!copy || convertColours(*copy, m_image.displayColours, {}) != ProfileConversion::Converted)
        return {};
    return copy.take();
}

std::span<const uint8_t> ViewerController::displayProfileForSrgb() const
{
    if (!loadOptionsFromSettings(m_settings).colourManagement || !isDestinationProfile(m_displayProfile))
        return {};
    return m_displayProfile;
}

void ViewerController::adoptSrgbPicture(ImageBlock block)
{
    const std::span<const uint8_t> display = displayProfileForSrgb();
    const bool converted = !display.empty() && convertColours(block, {}, display) == ProfileConversion::Converted;
    adoptPicture(std::move(block));
    m_image.displayColours.clear();
    if (converted)
        m_image.displayColours = m_displayProfile;
}

bool ViewerController::saveTurnedFile(const std::string& path)
{
    const FormatInfo* type = savableFormatForPath(path);
    if (!type || type->format != ImageFormat::Jpeg || !m_image.stillTurnedFile() || m_image.turnedFile->turn.isNone()
        || m_settings.readInt(settings::SaveLosslessTurn) == 0 || !isExistingFile(m_image.path)
        || fileVersion(m_image.path) != m_image.turnedFile->fileVersion)
        return false; // a file written since it was shown would be another picture
    LoadRequest request{{m_image.path}, LoadPurpose::Turn, {}};
    // The record's turn holds the orientation the load turned upright.
    request.options.autoRotate = false;
    request.options.turn = m_image.turnedFile->turn;
    request.options.trimEdges = m_settings.readInt(settings::SaveTrimEdges) != 0;
    request.options.turnedGreyscale = m_settings.readInt(settings::SaveGrayscale) != 0;
    request.options.turnedProgressive = m_settings.readInt(settings::SaveProgressive) != 0;
    LoadOutcome turned = load(request, m_registry);
    if (!turned.ok() && turned.failure.reason == Reason::Unsupported
        && turned.failure.detail == kJpegTexts[JpegFault::PartialEdgeBlocks]) {
        // Nothing is cropped unasked; compressing again is the default.
        if (!m_ui.askYesNo(kTrimEdgesQuestion, MessageIcon::Question, true))
            return false;
        request.options.trimEdges = true;
        turned = load(request, m_registry);
    }
    if (turned.kind != LoadOutcome::Kind::Turned)
        return false; // the file changed or went: the picture shown is saved as usual
    if (Status written = saveFileBytes(turned.turnedFile, path); !written)
        m_ui.showMessage(path + " : " + written.text(), MessageIcon::Warning);
    return true;
}

void ViewerController::commandBestFit()
{
    m_alwaysFit = !m_alwaysFit;
    m_settings.writeText(settings::AlwaysFit, m_alwaysFit ? "1" : "0");
    if (m_image.path == kClipboardPath || m_image.path == kScanImagePath) {
        m_ui.showMessage(formatted("%s %s", "Not available if", m_image.path.c_str()), MessageIcon::Warning);
        return;
    }
    if (m_image.block)
        runCommand(command::Reopen);
}

// ---------------------------------------------------------------------------
// Display

const ImageBlock& ViewerController::shownBlock() const
{
    if (m_display.animationRunning && m_display.animation)
        return m_display.animation->canvas();
    return m_image.block;
}

void ViewerController::windowMoved(int x, int y)
{
    m_windowX = x;
    m_windowY = y;
}

void ViewerController::resetViewerState()
{
    m_screen.cancelAnimationStep();
    m_schedule.reset();
    if (m_display.mediaPlaying)
        m_screen.closeMedia();
    m_display.reset();
    m_layout.horizontalScroll = m_layout.verticalScroll = false;
    m_zoomStep = 0;
}

void ViewerController::adoptPicture(ImageBlock block)
{
    m_display.drawing.reset(); // the block is the picture now
    replaceBlock(std::move(block));
}

void ViewerController::replaceBlock(ImageBlock block)
{
    m_pictureAsLoaded = false;
    m_image.turnedFile.reset();
    m_image.block = std::move(block);
    m_image.refreshCurrentSize();
    m_screen.pictureChanged();
}

void ViewerController::pictureChangedInPlace()
{
    m_pictureAsLoaded = false;
    m_display.drawing.reset(); // changed in place: the block is the picture now
    m_screen.pictureChanged();
}

void ViewerController::sizeWindowToPicture(int width, int height)
{
    int x = m_windowX;
    int y = m_windowY;
    if (m_options.position) {
        x = m_options.x;
        y = m_options.y;
    } else if (m_display.zoom == 100 && m_screen.windowShown()) {
        x = m_screen.windowX();
        y = m_screen.windowY();
    }
    const DisplayMetrics m = metrics();
    m_layout = withReachableScrollRanges(m, pictorand::sizeWindowToPicture(m, width, height, x, y, m_minimumWidth),
                                         width, height);
    m_screen.applyLayout(m_layout);
}

void ViewerController::showAtFullSize(int width, int height)
{
    m_display.zoom = 100;
    m_zoomStep = 0;
    sizeWindowToPicture(std::max(1, width), std::max(1, height));
}

Result<ImageBlock> ViewerController::fitCopy(const ImageBlock& block, int width, int height) const
{
    // Smooth resampling only when the picture shrinks both ways; otherwise
    // (and without UseResample) the nearest-neighbour resize.
    const bool shrinksBoth = width < block.width() && height < block.height();
    if (!m_useResample || !shrinksBoth)
        return resizeBlock(block, width, height);
    return resampleCommand(block, width, height);
}

void ViewerController::showPicture()
{
    m_image.refreshCurrentSize();
    const int width = m_image.currentWidth;
    const int height = m_image.currentHeight;
    const DisplayMetrics m = metrics();
    if (!showPictureFits(m, m_alwaysFit, m_fitForBigImages, width, height)) {
        sizeWindowToPicture(width, height);
        return;
    }
    m_display.zoom = 100;
    m_zoomStep = 0;
    const DisplaySize fit = bestFitToDesktop(m, width, height);
    const DisplaySize outer = fittedWindowSize(m, fit);
    m_layout = WindowLayout();
    m_layout.x = m.workArea.left;
    m_layout.y = m.workArea.top;
    m_layout.width = outer.width;
    m_layout.height = outer.height;
    m_windowX = m_layout.x;
    m_windowY = m_layout.y;
    m_screen.applyLayout(m_layout);
    if (Result<ImageBlock> fitted = fitCopy(m_image.block, fit.width, fit.height))
        replaceBlock(fitted.take()); // else the block stays as it was
    m_image.refreshCurrentSize();
}

void ViewerController::resetWindow()
{
    m_screen.cancelAnimationStep();
    m_schedule.reset();
    m_display.animationRunning = false;
    m_display.animation.reset();
    // A playing file or a drawing keeps the window as it is.
    if (m_display.mediaPlaying || m_display.drawing)
        return;
    const DisplayMetrics m = metrics();
    const DisplaySize empty = emptyWindowSize(m);
    m_layout = WindowLayout();
    m_layout.x = m_windowX;
    m_layout.y = m_windowY;
    m_layout.width = empty.width;
    m_layout.height = empty.height;
    m_screen.applyLayout(m_layout);
    m_screen.setTitle(kProgramCaption);
    m_display.zoom = 100;
    m_zoomStep = 0;
    m_screen.pictureChanged();
}

void ViewerController::zoom(bool in)
{
    if (m_display.zoom == 100)
        m_zoomStep = 0;
    if (in && m_zoomStep == kMaxZoomStep) {
        m_ui.showMessage("This is the maximum !", MessageIcon::Information);
        return;
    }
    if (!in && m_zoomStep == kMinZoomStep) {
        m_ui.showMessage("This is the minimum !", MessageIcon::Information);
        return;
    }
    m_zoomStep += in ? 1 : -1;
    m_display.zoom = zoomForStep(m_zoomStep);
    sizeWindowToPicture(scaleByZoom(m_image.currentWidth, m_display.zoom),
                        scaleByZoom(m_image.currentHeight, m_display.zoom));
    m_screen.pictureChanged();
}

std::string ViewerController::title() const
{
    const std::string name = fileNameOf(m_image.path);
    std::string title;
    if (m_display.zoom == 100)
        title = formatted("%s - %s (%d x %d x %dBPP)", kProgramCaption, name.c_str(), m_image.currentWidth,
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
        title = formatted("%s - %s", kProgramCaption, m_options.title.c_str());
    return title;
}

void ViewerController::painted()
{
    if (m_image.block)
        m_image.currentBitCount = m_image.block.bitCount();
    reportDecompressionTime();
    m_screen.setTitle(title());
    rebuildDirectoryList(false);
    readAheadNeighbours();
    if (m_options.fullScreenRequest) {
        m_options.fullScreenRequest = false;
        m_screen.soon([this] { runCommand(command::FullScreen); });
    }
}

void ViewerController::reportDecompressionTime()
{
    if (!m_timeMeasurement || m_screen.fullScreenShown() || m_screen.slideshowShown() || m_image.decompressionMs == 0
        || m_display.zoom != 100)
        return;
    const std::string text = formatted("%s\n\n%s: %ld ms\n", m_image.path.c_str(), "Decompression time",
                                       static_cast<long>(m_image.decompressionMs));
    m_image.decompressionMs = 0;
    // Not from inside the paint: the box runs an event loop of its own.
    m_screen.soon([this, text] { m_ui.showMessage(text, MessageIcon::Information); });
}

void ViewerController::fullScreenLeft()
{
    m_display.zoom = 100;
    m_zoomStep = 0;
    // A file playing in full screen plays again in the main window.
    if (m_display.mediaPlaying) {
        m_screen.soon([this] { runCommand(command::Reopen); });
        return;
    }
    if (m_image.block) {
        m_image.refreshCurrentSize();
        showPicture();
        m_screen.pictureChanged();
    }
}

ImageInfoInput ViewerController::imageInfoInput() const
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

// ---------------------------------------------------------------------------
// The directory list

void ViewerController::rebuildDirectoryList(bool force)
{
    std::error_code error;
    const std::string directory = std::filesystem::current_path(error).string();
    if (error)
        return;
    // A file that left the list, or one that failed to load, keeps the
    // index it was given: Next goes on from there.
    if (m_directoryList.rebuild(directory, fileNameOf(m_image.path), force, m_sortOrder))
        m_settings.writeText(settings::OpenDir, directory);
}

bool ViewerController::workingDirectoryChanged() const
{
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return true;
    return withoutTrailingSlashes(buffer) != withoutTrailingSlashes(m_directoryList.directory());
}

void ViewerController::fileOnScreenRemoved(bool endAnimation)
{
    // Resetting the window also ends the animation and its timer.
    if (endAnimation && m_display.animationRunning)
        resetWindow();
    const int oldIndex = m_directoryList.index();
    rebuildDirectoryList(true);
    m_directoryList.removedAt(oldIndex);
}

void ViewerController::sortDirectoryList(int order)
{
    WaitCursor waitCursor(m_ui);
    m_sortOrder = order;
    m_directoryList.sort(order, fileNameOf(m_image.path));
    m_settings.writeText(settings::FileSortOrder, std::to_string(order));
}

void ViewerController::rememberRecentDirectory()
{
    // While the directory list is empty there is no directory to remember.
    std::string taken;
    if (m_directoryList.count() > 0) {
        std::error_code error;
        taken = std::filesystem::current_path(error).string();
    }
    const RecentDirectories directories = readRecentDirectories(m_settings);
    const RecentDirectories updated = pictorand::rememberRecentDirectory(directories, taken);
    if (updated != directories)
        writeRecentDirectories(m_settings, updated);
}

void ViewerController::goToRecentDirectory(int slot)
{
    const SettingKey& key = settings::RecentDirs[static_cast<size_t>(slot)];
    const std::string directory = m_settings.readText(key);
    std::error_code error;
    const std::filesystem::path before = std::filesystem::current_path(error);
    std::filesystem::current_path(directory, error);
    if (error || directory.empty()) {
        m_ui.showMessage(formatted("%s: '%s'", "Can't change to directory", directory.c_str()),
                         MessageIcon::Warning);
        m_settings.writeText(key, "");
        return;
    }
    std::filesystem::current_path(before, error);
    m_settings.writeText(settings::OpenDir, directory);
    m_ui.postCommand(command::Open);
}

} // namespace pictorand
