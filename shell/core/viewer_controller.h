#pragma once
// The viewer without its windows: it turns commands and load outcomes into
// what the windows show. It owns the record of the picture on screen, the
// display state (zoom, the animation and its clock, the drawing of a
// metafile), the directory list and the position in it, the read-ahead and
// its budget, the title, and every message a command or a load gives. The
// Qt windows draw what it holds and tell it what the user did; what it needs
// of them is the small ViewerScreen below.
//
// A load that fails leaves the picture, its record and the window exactly
// as they were: the message is shown and nothing else changes.

#include "core/current_image.h"
#include "dispatch/load.h"
#include "dispatch/read_ahead.h"
#include "platform/settings_file.h"
#include "platform/user_interface.h"
#include "shell/core/commands.h"
#include "shell/core/directory_list.h"
#include "shell/core/display_geometry.h"
#include "shell/core/display_state.h"
#include "shell/core/file_dialogs.h"
#include "shell/core/image_info.h"
#include "shell/core/recent_directories.h"
#include "shell/core/system_metrics.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pictorand {

// Asked when a JPEG only turned is saved as JPEG but its sides are not whole
// blocks: Yes trims them as the turn needs, No compresses the picture again.
inline constexpr const char* kTrimEdgesQuestion =
    "The picture's width or height is not a whole number of JPEG blocks.\n\n"
    "Turn it without compressing it again, trimming the partial blocks at its edges "
    "(up to 15 pixels)?\n\nNo: compress the turned picture again, keeping every pixel.";

// What the command line asks of the display.
struct ViewerOptions {
    bool fullScreenRequest = false;
    bool position = false;
    int x = 0;
    int y = 0;
    bool customTitle = false;
    std::string title;
};

// One handler per command id, registered by whoever does the work.
using CommandHandlers = std::map<int, std::function<void()>>;

// What the controller asks of the windows around it.
class ViewerScreen {
public:
    virtual ~ViewerScreen() = default;
    virtual DisplayMetrics metrics() const = 0;
    // The main window's frame position, and whether it is shown.
    virtual bool windowShown() const = 0;
    virtual int windowX() const = 0;
    virtual int windowY() const = 0;
    // Sizes and places the main window and sets its scroll bars.
    virtual void applyLayout(const WindowLayout& layout) = 0;
    virtual void setTitle(const std::string& title) = 0;
    // The picture's pixels, colours or size changed: every window that
    // shows it paints it anew.
    virtual void pictureChanged() = 0;
    virtual bool fullScreenShown() const = 0;
    virtual bool slideshowShown() const = 0;
    virtual bool clipboardHasImage() const = 0;
    // Sound and video: false when this viewer has no player. playMedia
    // plays the file on the full-screen window when it is up, else on the
    // main window, closing the one before.
    virtual bool mediaAvailable() const = 0;
    virtual void playMedia(const std::string& path) = 0;
    virtual void closeMedia() = 0;
    // The drawing at width x height on white as a 24-bit block; null when
    // the block cannot be had.
    virtual ImageBlock renderDrawing(const metafile::Drawing& drawing, int width, int height) = 0;
    // The animation's clock in milliseconds, and its one-shot timer.
    virtual int64_t clockMs() const = 0;
    virtual void scheduleAnimationStep(int64_t delayMs) = 0;
    virtual void cancelAnimationStep() = 0;
    // Runs `work` once the event being handled is done (a message box from
    // inside a paint, a command that follows the first paint).
    virtual void soon(std::function<void()> work) = 0;
};

class ViewerController {
public:
    ViewerController(ViewerScreen& screen, UserInterface& ui, SettingsFile& settings, ViewerOptions options,
                     const CodecRegistry& registry = CodecRegistry::instance());
    ~ViewerController();

    // Commands: one dispatch for every command however it arrives, after the
    // command's preconditions; a row without a handler does nothing.
    CommandHandlers& handlers() { return m_handlers; }
    void runCommand(int id);
    bool commandEnabled(int id) const;
    ViewerState viewerState() const;
    // The icon chooser the View loads ask (null: always the first image),
    // and the file dialogs of Open and Save as.
    void setIconChooser(IconChooser* chooser) { m_iconChooser = chooser; }
    void setFileDialogs(FileDialogs* dialogs) { m_dialogs = dialogs; }
    // The Open dialog's preview: the outcome it read for the accepted file,
    // when it may stand for it.
    std::function<std::optional<LoadOutcome>(const std::string& accepted)> takePreview;

    // The settings read at start-up and again after the Properties.
    void readSettings();
    LoadRequest viewRequest(const std::string& path) const;
    // The same for pictures that leave the screen (printed or written
    // pages): in sRGB, not the display's colours.
    LoadRequest srgbRequest(const std::string& path) const;
    // The picture, or a block shown from it, converted back to sRGB from the
    // display's colours it was loaded in, for whatever hands it on (a
    // file, the clipboard, a printer, the wallpaper); null when it is in
    // sRGB already (or no copy could be made).
    ImageBlock srgbCopyOf(const ImageBlock& block) const;
    // The profile a new sRGB picture (a scan, the clipboard's) is shown in:
    // none with colour management off or a profile colours cannot be
    // converted to.
    std::span<const uint8_t> displayProfileForSrgb() const;

    // The display's ICC profile, read by the window from the display (empty
    // for none, or one that colours cannot be converted to: sRGB then).
    // When it changes, what was read ahead for the old one is let go and
    // read again, and the picture on screen, if it is the file's as loaded,
    // is read again in the new display's colours.
    void setDisplayProfile(std::vector<uint8_t> profile);
    const std::vector<uint8_t>& displayProfile() const { return m_displayProfile; }

    // Loads and shows a file (start-up, a drop, Open, Reopen). False when
    // nothing new is shown.
    bool open(const std::string& path);
    // Files dropped on the window: the first is shown, its folder becomes
    // the working directory.
    bool dropFile(const std::string& path);
    // Shows what a load gave, as a load of the file would.
    bool show(LoadOutcome outcome, bool quiet = false);
    // A picture that came from no file (a scan, the clipboard), shown under
    // `name` as a load shows a new one; a depth that cannot be shown is
    // refused with the picture on screen kept.
    void showAcquiredPicture(ImageBlock block, const std::string& name);

    // The directory list.
    void stepFile(int direction);
    void goToListedFile(int index);
    void sortDirectoryList(int order);
    // Reads the working directory's picture files again when forced or
    // when the working directory is another than the one listed.
    void rebuildDirectoryList(bool force);
    // The file on screen was deleted or moved away: the list is read again
    // and Next goes on with the file that followed; the picture stays.
    void fileOnScreenRemoved(bool stopAnimation);
    const DirectoryList& directoryList() const { return m_directoryList; }
    void goToRecentDirectory(int slot);
    // Before a menu opens: the directory in use joins the recent ones.
    void rememberRecentDirectory();

    // Pages, overview sheets, the animation.
    void showPage(int page);
    void nextOverviewSheet();
    void animationStep();
    void stopAnimation();
    void pauseAnimation();
    void resumeAnimation();

    // Display.
    void zoom(bool in);
    void showPicture();
    void sizeWindowToPicture(int width, int height);
    void showAtFullSize(int width, int height);
    void resetWindow();
    // Starts the display over as a load does: no animation, media or
    // drawing, zoom 100, no scroll bars.
    void resetViewerState();
    // Replaces the block and brings the record's current size up to date;
    // a drawing shown is given up for it.
    void adoptPicture(ImageBlock block);
    // The same for a new sRGB picture (the clipboard's, a page written
    // out), brought to the display's colours first as a load does.
    void adoptSrgbPicture(ImageBlock block);
    // The block was changed in place.
    void pictureChangedInPlace();
    // After each paint of the picture: the title, the directory list, the
    // read-ahead, the full-screen switch and the time report.
    void painted();
    std::string title() const;
    void fullScreenLeft();

    // The slideshow's loads.
    void loadSlide(const std::string& path, bool quiet);
    void readSlideAhead(const std::string& path);
    bool showSlideSheet(int firstPicture);
    void slideshowEnded();

    // What the windows read.
    CurrentImage& picture() { return m_image; }
    const CurrentImage& picture() const { return m_image; }
    DisplayState& displayState() { return m_display; }
    const DisplayState& displayState() const { return m_display; }
    // What is painted: the block, or the canvas of a running animation.
    const ImageBlock& shownBlock() const;
    DisplayMetrics metrics() const { return m_screen.metrics(); }
    bool paletteDisplay() const { return metrics().paletteDisplay(); }
    int zoomStep() const { return m_zoomStep; }
    const WindowLayout& lastLayout() const { return m_layout; }
    int storedWindowX() const { return m_windowX; }
    int storedWindowY() const { return m_windowY; }
    void windowMoved(int x, int y);
    bool useResample() const { return m_useResample; }
    bool timeMeasurement() const { return m_timeMeasurement; }
    void setTimeMeasurement(bool on) { m_timeMeasurement = on; }
    ImageInfoInput imageInfoInput() const;
    ReadAhead* readAhead() const { return m_readAhead.get(); }
    // The start-up read of the file about to be opened; the next load takes
    // it (or reads anew) and drops it.
    void setReadAhead(std::unique_ptr<ReadAhead> readAhead) { m_readAhead = std::move(readAhead); }
    // Bytes the neighbours may take; 0 for none.
    int64_t readAheadBudget() const { return m_readAheadBudget; }
    UserInterface& ui() { return m_ui; }
    SettingsFile& settings() { return m_settings; }

private:
    void registerHandlers();
    void commandOpen();
    void commandSaveAs();
    // Saved as JPEG, a JPEG only turned since it was loaded has its blocks
    // turned instead of being compressed again. False when that does not
    // apply (or the user would rather not trim its edges): the block is
    // saved as usual then.
    bool saveTurnedFile(const std::string& path);
    void commandBestFit();
    // The rename question of a misnamed file; the outcome follows the new name.
    void offerRename(LoadOutcome& outcome);
    void refuse(const LoadOutcome& outcome, bool quiet);
    // `slide`: for the slideshow, which fits the picture itself and
    // announces no overview.
    bool showLoaded(LoadOutcome outcome, bool quiet, bool slide);
    void startAnimation(LoadOutcome& outcome);
    bool showDrawing(const LoadOutcome& outcome, bool slide);
    bool playMedia(const LoadOutcome& outcome, bool quiet);
    void takeRecord(const LoadOutcome& outcome);
    void showNewPicture(ImageBlock block);
    // Replaces the block, keeping a drawing it stands for.
    void replaceBlock(ImageBlock block);
    Result<ImageBlock> fitCopy(const ImageBlock& block, int width, int height) const;
    void armAnimationTimer(int64_t now);
    void readAheadNeighbours();
    bool workingDirectoryChanged() const;
    void reportDecompressionTime();

    ViewerScreen& m_screen;
    UserInterface& m_ui;
    SettingsFile& m_settings;
    ViewerOptions m_options;
    const CodecRegistry& m_registry;
    IconChooser* m_iconChooser = nullptr;
    FileDialogs* m_dialogs = nullptr;
    CommandHandlers m_handlers;

    CurrentImage m_image;
    // The block on screen is the file's picture as its load gave it: it may
    // be read again (a new display profile) without losing a change.
    bool m_pictureAsLoaded = false;
    std::vector<uint8_t> m_displayProfile;
    DisplayState m_display;
    int m_zoomStep = 0;
    WindowLayout m_layout;
    int m_windowX = 0;
    int m_windowY = 0;
    int m_minimumWidth = 0;
    bool m_alwaysFit = false;
    bool m_fitForBigImages = false;
    bool m_useResample = false;
    bool m_loadGreyscale = false;
    int m_loadingSize = 2;
    int m_sortOrder = 0;
    bool m_timeMeasurement = false;
    int m_openType = 1;

    DirectoryList m_directoryList;
    int m_travelDirection = 1; // of the last step: what to read ahead first
    int64_t m_readAheadBudget = 0;
    std::vector<LoadRequest> m_readAheadWish;
    std::unique_ptr<ReadAhead> m_readAhead;

    std::optional<FrameSchedule> m_schedule;
    bool m_animationPaused = false;
};

} // namespace pictorand
