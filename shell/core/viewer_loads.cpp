// The viewer's loads: from a command (open, drop, next and previous, pages,
// sheets, slides) to a load request, and from the outcome to what the
// windows show. Questions and notices are asked and given here, from the
// outcome; the picture on screen changes only when a load succeeded.

#include "shell/core/viewer_controller.h"

#include "dispatch/load_dispatch.h"
#include "dispatch/page_load.h"
#include "ops/color_table.h"
#include "ops/colour_profile.h"
#include "platform/paths.h"
#include "platform/settings_keys.h"
#include "tools/files/file_operations.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace pictorand {

namespace {

bool isExistingFile(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

// The viewer's load of `request`, the wait cursor up unless the read-ahead
// has the picture ready; an icon file of several images asks which one.
LoadOutcome loadWithWait(UserInterface& ui, ReadAhead* ahead, const LoadRequest& request, IconChooser* chooser,
                         const CodecRegistry& registry)
{
    std::optional<WaitCursor> waitCursor;
    if (!ahead || !ahead->ready(request.file.path))
        waitCursor.emplace(ui);
    LoadOutcome outcome = loadOrTake(ahead, request, registry);
    if (outcome.iconChoices.empty() || !chooser)
        return outcome;
    // The chooser expects the wait cursor up, as during a load.
    const int chosen = chooser->chooseIcon(request.file.path, outcome.iconChoices);
    if (chosen <= 0 || static_cast<size_t>(chosen) >= outcome.iconChoices.size())
        return outcome;
    LoadRequest again = request;
    again.options.icon = chosen;
    LoadOutcome other = load(again, registry);
    if (other.ok())
        other.misnamedAs = outcome.misnamedAs;
    return other.ok() ? std::move(other) : std::move(outcome);
}

// A failure of the viewer's own with `outcome`'s file (no player, no memory
// for the rendering).
LoadOutcome refusal(const LoadOutcome& outcome, LoadStage stage, Failure failure)
{
    LoadOutcome refused;
    refused.path = outcome.path;
    refused.format = outcome.format;
    refused.failedAt = stage;
    refused.failure = std::move(failure);
    return refused;
}

} // namespace

bool ViewerController::open(const std::string& path)
{
    return show(loadWithWait(m_ui, m_readAhead.get(), viewRequest(path), m_iconChooser, m_registry));
}

bool ViewerController::dropFile(const std::string& path)
{
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(path).parent_path(), error);
    return open(path);
}

bool ViewerController::show(LoadOutcome outcome, bool quiet)
{
    return showLoaded(std::move(outcome), quiet, false);
}

void ViewerController::offerRename(LoadOutcome& outcome)
{
    if (m_settings.readInt(settings::RenameExtension) != 1)
        return;
    if (!m_ui.askYesNo(renameQuestion(outcome.path, *outcome.misnamedAs), MessageIcon::Information, false))
        return;
    if (!renameToFormatExtension(outcome.path, *outcome.misnamedAs))
        m_ui.showMessage(kCantRename, MessageIcon::Information);
    // Renamed or not, the directory list is read again.
    rebuildDirectoryList(true);
}

void ViewerController::refuse(const LoadOutcome& outcome, bool quiet)
{
    if (!quiet)
        m_ui.showMessage(loadFailureMessage(outcome), MessageIcon::Information);
    if (workingDirectoryChanged())
        rebuildDirectoryList(true);
}

void ViewerController::takeRecord(const LoadOutcome& outcome)
{
    m_image.resetAllButBlock();
    m_image.path = outcome.path;
    m_image.format = outcome.format.value_or(ImageFormat::Bmp);
    m_image.compression = outcome.compression;
    m_image.originalWidth = outcome.originalWidth;
    m_image.originalHeight = outcome.originalHeight;
    m_image.originalBitCount = outcome.originalBitCount;
    m_image.decompressionMs = outcome.decompressionMs;
    m_image.pageOffsets = outcome.pageOffsets;
    m_image.pageCount = outcome.pageCount();
    m_image.multiPage = m_image.pageCount > 1;
    m_image.currentPage = outcome.page;
    m_image.overviewMode = outcome.overviewSheet;
    m_image.overviewStart = outcome.overviewSheet ? outcome.overviewStart : 1;
    m_image.metafileMode = outcome.kind == LoadOutcome::Kind::Metafile;
    // The load converted the picture, or the drawing's colours, to the
    // display's.
    m_image.displayColours.clear();
    if (loadOptionsFromSettings(m_settings).colourManagement)
        m_image.displayColours = m_displayProfile;
}

bool ViewerController::showLoaded(LoadOutcome outcome, bool quiet, bool slide)
{
    // Asked before the file is shown, whether it could be read or not.
    if (outcome.misnamedAs && !quiet)
        offerRename(outcome);
    if (!outcome.ok()) {
        refuse(outcome, quiet);
        return false;
    }
    switch (outcome.kind) {
    case LoadOutcome::Kind::Failed:
    case LoadOutcome::Kind::Turned: // a view load gives none
    case LoadOutcome::Kind::Unread: // nor one the read-ahead hands out
        return false;
    case LoadOutcome::Kind::Media:
        return playMedia(outcome, quiet);
    case LoadOutcome::Kind::Metafile:
        return showDrawing(outcome, slide);
    case LoadOutcome::Kind::Animation:
        startAnimation(outcome);
        m_pictureAsLoaded = true;
        return true;
    case LoadOutcome::Kind::Picture:
        break;
    }
    resetViewerState();
    takeRecord(outcome);
    if (slide)
        adoptPicture(std::move(outcome.block)); // the slideshow fits it itself
    else
        showNewPicture(std::move(outcome.block));
    m_pictureAsLoaded = true;
    // A JPEG shown as it is stored, but for the turn its orientation asked
    // for, can be saved by turning its blocks.
    if (outcome.format == ImageFormat::Jpeg && outcome.truncation.empty() && !paletteDisplay()
        && m_settings.readInt(settings::LoadGrayscale) == 0)
        m_image.turnedFile = CurrentImage::TurnedFile{Turn::upright(outcome.orientationApplied), 0,
                                                      fileVersion(outcome.path)};
    // Nobody should keep a half-black copy believing it whole.
    if (!outcome.truncation.empty() && !quiet)
        m_ui.showMessage(truncationNotice(outcome), MessageIcon::Information);
    if (outcome.overviewSheet && !quiet && !slide)
        m_ui.showMessage(kPhotoCdOverviewNotice, MessageIcon::Information);
    return true;
}

void ViewerController::showNewPicture(ImageBlock block)
{
    replaceBlock(std::move(block));
    if (!m_screen.fullScreenShown())
        showPicture();
    m_screen.pictureChanged();
}

void ViewerController::showAcquiredPicture(ImageBlock block, const std::string& name)
{
    const int width = block.width(), height = block.height(), bits = block.bitCount();
    DecodedImage decoded;
    decoded.block = std::move(block);
    // A scanner gives sRGB, shown in the display's colours as an untagged
    // file is.
    PictureCorrections corrections;
    corrections.displayProfile = displayProfileForSrgb();
    Result<ImageBlock> prepared = prepareForDisplay(std::move(decoded), corrections, paletteDisplay());
    if (!prepared) {
        m_ui.showMessage(prepared.text(), MessageIcon::Warning); // the picture on screen stays
        return;
    }
    LoadOutcome outcome;
    outcome.kind = LoadOutcome::Kind::Picture;
    outcome.path = name;
    outcome.originalWidth = width;
    outcome.originalHeight = height;
    outcome.originalBitCount = bits;
    resetViewerState();
    takeRecord(outcome);
    showNewPicture(prepared.take());
}

bool ViewerController::playMedia(const LoadOutcome& outcome, bool quiet)
{
    if (!m_screen.mediaAvailable()) {
        refuse(refusal(outcome, LoadStage::Preparing, {Reason::NoCodec, kMediaNotAvailable}), quiet);
        return false;
    }
    if (outcome.mediaExtensionMismatch && !quiet)
        m_ui.showMessage(kMediaIncorrectExtension, MessageIcon::Information);
    resetViewerState();
    m_image.block = ImageBlock();
    takeRecord(outcome);
    m_image.refreshCurrentSize();
    m_display.mediaPlaying = true;
    m_screen.playMedia(outcome.path);
    m_screen.setTitle(std::string(kProgramCaption) + " - "
                      + (m_options.customTitle ? m_options.title : fileNameOf(outcome.path)));
    rebuildDirectoryList(true);
    return true;
}

bool ViewerController::showDrawing(const LoadOutcome& outcome, bool slide)
{
    // A slideshow plays the drawing into its own fit and keeps no block.
    ImageBlock block;
    int width = outcome.originalWidth;
    int height = outcome.originalHeight;
    if (!slide) {
        // Larger than the full-screen work area, or always fitted: the
        // desktop fit decides the size it is drawn at.
        const DisplayMetrics m = metrics();
        const bool tooLarge = width > m.fullScreenWidth - m.frameWidth || height > m.fullScreenHeight - m.frameHeight;
        if (tooLarge || m_alwaysFit) {
            const DisplaySize fit = bestFitToDesktop(m, width, height);
            width = fit.width;
            height = fit.height;
        }
        block = m_screen.renderDrawing(*outcome.drawing, width, height);
        if (!block) {
            refuse(refusal(outcome, LoadStage::Reading, {Reason::OutOfMemory, kCantAllocateMemory}), false);
            return false;
        }
    }
    resetViewerState();
    takeRecord(outcome);
    m_image.block = std::move(block);
    m_image.refreshCurrentSize();
    m_display.drawing = outcome.drawing;
    m_screen.pictureChanged();
    if (!slide && !m_screen.fullScreenShown())
        showAtFullSize(width, height);
    return true;
}

// ---------------------------------------------------------------------------
// Animation: GIF, and the composed frames of WebP, APNG, AVIF and JPEG XL

void ViewerController::startAnimation(LoadOutcome& outcome)
{
    resetViewerState();
    m_image.block = ImageBlock();
    takeRecord(outcome);
    rebuildDirectoryList(true);
    m_timeMeasurement = false;
    std::vector<AnimationFrame>& frames = outcome.frames;

    if (m_settings.readInt(settings::MultiGifAnimate) == 0) {
        std::string directory = m_settings.readText(settings::ExtractGif);
        if (!directory.empty() && directory.back() != '/')
            directory += '/';
        extractFrames(frames, directory, outcome.path, m_ui);
        showNewPicture(duplicateBlock(frames.back().block).takeOr({})); // the last frame stays on screen
        return;
    }
    auto canvas = std::make_shared<GifCanvas>(std::move(frames));
    if (!canvas->canvas()) {
        // No room for the canvas: the first image stands for the file.
        showNewPicture(duplicateBlock(canvas->frames().front().block).takeOr({}));
        return;
    }
    canvas->show(0);
    std::vector<int> delays;
    for (const AnimationFrame& frame : canvas->frames())
        delays.push_back(shownDelayMs(frame));
    m_display.animation = canvas;
    m_display.animationRunning = true;
    m_image.currentWidth = canvas->width();
    m_image.currentHeight = canvas->height();
    // GIF frames count as 8 bits whatever their depth; composed ones are 24.
    m_image.currentBitCount = canvas->frames().front().ownDelayMs ? 24 : 8;
    showAtFullSize(canvas->width(), canvas->height());
    m_screen.pictureChanged();
    const int64_t now = m_screen.clockMs();
    m_schedule.emplace(std::move(delays), now, outcome.loopCount);
    m_animationPaused = false;
    armAnimationTimer(now);
}

void ViewerController::armAnimationTimer(int64_t now)
{
    // After its last play the last frame stays, the animation still shown.
    if (!m_schedule->finished())
        m_screen.scheduleAnimationStep(std::max<int64_t>(0, m_schedule->nextDeadline() - now));
}

void ViewerController::animationStep()
{
    if (!m_display.animationRunning || !m_display.animation || !m_schedule || m_animationPaused)
        return;
    const int64_t now = m_screen.clockMs();
    const int frame = m_schedule->frameAt(now);
    if (frame != m_display.animation->current()) {
        m_display.animation->show(frame);
        m_screen.pictureChanged();
    }
    armAnimationTimer(now);
}

void ViewerController::pauseAnimation()
{
    m_animationPaused = true;
    m_screen.cancelAnimationStep();
}

void ViewerController::resumeAnimation()
{
    m_animationPaused = false;
    if (m_display.animationRunning && m_schedule)
        armAnimationTimer(m_screen.clockMs());
}

void ViewerController::stopAnimation()
{
    m_screen.cancelAnimationStep();
    m_schedule.reset();
    std::shared_ptr<GifCanvas> animation = std::move(m_display.animation);
    m_display.animationRunning = false;
    replaceBlock(animation ? duplicateBlock(animation->frames().front().block).takeOr({}) : ImageBlock());
    if (m_image.block)
        sizeWindowToPicture(scaleByZoom(m_image.currentWidth, m_display.zoom),
                            scaleByZoom(m_image.currentHeight, m_display.zoom));
    m_screen.pictureChanged();
}

// ---------------------------------------------------------------------------
// Pages and sheets

void ViewerController::showPage(int page)
{
    // Next on the last page and Previous on the first stay where they are.
    if (!m_image.multiPage || page < 0 || page >= m_image.pageCount || page == m_image.currentPage)
        return;
    WaitCursor waitCursor(m_ui);
    Result<ImageBlock> loaded = loadPage(viewRequest(m_image.path), page, m_registry);
    if (!loaded) {
        waitCursor.release();
        m_ui.showMessage(loaded.text(), MessageIcon::Information); // the page on screen stays
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

void ViewerController::nextOverviewSheet()
{
    if (!m_image.overviewMode)
        return;
    const int next = nextOverviewStart(m_image.overviewStart);
    if (next == 0) {
        m_ui.showMessage(kNoMorePictures, MessageIcon::Information);
        return;
    }
    WaitCursor waitCursor(m_ui);
    LoadRequest request = viewRequest(m_image.path);
    request.options.overviewStart = next;
    LoadOutcome sheet = load(request, m_registry);
    if (!sheet.overviewSheet || !sheet.block) {
        waitCursor.release();
        m_ui.showMessage(loadFailureMessage(sheet), MessageIcon::Information); // the sheet on screen stays
        return;
    }
    m_image.overviewStart = next;
    showNewPicture(std::move(sheet.block));
}

// ---------------------------------------------------------------------------
// The slideshow

void ViewerController::loadSlide(const std::string& path, bool quiet)
{
    LoadRequest request = viewRequest(path);
    request.purpose = LoadPurpose::Slide;
    if (showLoaded(loadOrTake(m_readAhead.get(), request, m_registry), quiet, true))
        return;
    // The show says itself that this entry could not be loaded.
    resetViewerState();
    m_image.block = ImageBlock();
    m_image.resetAllButBlock();
    m_image.displayColours.clear();
    m_image.path = path;
    m_image.refreshCurrentSize();
    m_screen.pictureChanged();
}

void ViewerController::readSlideAhead(const std::string& path)
{
    if (!m_readAhead)
        m_readAhead = std::make_unique<ReadAhead>(
            m_readAheadBudget > 0 ? static_cast<uint64_t>(m_readAheadBudget) : ReadAhead::defaultBudget(),
            m_registry);
    LoadRequest request = viewRequest(path);
    request.purpose = LoadPurpose::Slide;
    m_readAhead->request({request});
}

bool ViewerController::showSlideSheet(int firstPicture)
{
    LoadRequest request = viewRequest(m_image.path);
    request.purpose = LoadPurpose::Slide;
    request.options.overviewStart = firstPicture;
    LoadOutcome sheet = load(request, m_registry);
    if (!sheet.overviewSheet || !sheet.block) {
        m_image.overviewMode = false;
        return false;
    }
    m_image.overviewStart = firstPicture;
    replaceBlock(std::move(sheet.block));
    return true;
}

void ViewerController::slideshowEnded()
{
    if (m_image.block) {
        showPicture();
        return;
    }
    // The show only played a drawing: the viewer renders it as a load does.
    if (m_display.drawing && m_image.metafileMode) {
        LoadOutcome drawing;
        drawing.kind = LoadOutcome::Kind::Metafile;
        drawing.path = m_image.path;
        drawing.format = m_image.format;
        drawing.compression = m_image.compression;
        drawing.originalWidth = m_image.originalWidth;
        drawing.originalHeight = m_image.originalHeight;
        drawing.originalBitCount = m_image.originalBitCount;
        drawing.drawing = m_display.drawing;
        showDrawing(drawing, false);
    }
}

// ---------------------------------------------------------------------------
// Stepping through the directory

void ViewerController::stepFile(int direction)
{
    const NavigationStep step = stepThrough(m_directoryList.index(), m_directoryList.count(), direction);
    if (step.kind == NavigationStep::Kind::AskToWrap) {
        // Cancel leaves the index where it was.
        if (m_ui.askOkCancel(direction > 0 ? kNoMoreNext : kNoMorePrevious, MessageIcon::Warning))
            runCommand(direction > 0 ? command::FirstFile : command::LastFile);
        return;
    }
    m_travelDirection = direction;
    // The list moves on even when the file cannot be shown, so Next goes
    // past it.
    m_directoryList.setIndex(step.index);
    open(m_directoryList.pathOf(step.index));
    readAheadNeighbours();
}

void ViewerController::goToListedFile(int index)
{
    if (m_directoryList.count() == 0) {
        m_directoryList.setIndex(0);
        return;
    }
    m_directoryList.setIndex(index);
    const std::string path = m_directoryList.pathOf(index);
    if (isExistingFile(path))
        open(path);
}

void ViewerController::readAheadNeighbours()
{
    // The slideshow has its own wish: the entry it shows next.
    if (m_screen.slideshowShown())
        return;
    const int index = m_directoryList.index();
    if (m_readAheadBudget <= 0 || index < 0 || m_directoryList.count() < 2)
        return;
    std::vector<LoadRequest> wish;
    for (int direction : {m_travelDirection, -m_travelDirection}) {
        const std::string path = m_directoryList.pathOf(index + direction);
        if (!path.empty())
            wish.push_back(viewRequest(path));
    }
    if (wish == m_readAheadWish && m_readAhead)
        return;
    m_readAheadWish = wish;
    if (!m_readAhead)
        m_readAhead = std::make_unique<ReadAhead>(static_cast<uint64_t>(m_readAheadBudget), m_registry);
    m_readAhead->request(wish);
}

} // namespace pictorand
