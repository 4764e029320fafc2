#pragma once
// The main window: the hub of the viewer. It owns the current picture,
// routes every command by id through one dispatch, decides the menu's states
// in one place, sizes itself to the picture and paints it.

#include "core/current_image.h"
#include "dispatch/load_dispatch.h"
#include "platform/settings_file.h"
#include "shell/core/commands.h"
#include "shell/core/directory_list.h"
#include "shell/core/display_geometry.h"
#include "shell/core/display_state.h"
#include "shell/core/image_info.h"
#include "shell/core/file_dialogs.h"
#include "shell/core/system_metrics.h"
#include "shell/picture_host.h"
#include "shell/slideshow_window.h"

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRgb>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QTimer;

namespace pictorand {

struct AssociationPlaces;
class DesktopCommands;
class FullScreenWindow;
class ImageMenu;
class ScannerCommands;
class FileMenu;
class MetafileDisplay;
class MediaWindow;
class OpenPreview;
class PictureView;
class QtSystemMetrics;
class QtUserInterface;

inline constexpr const char* kProgramCaptionText = "Pictorand32";

// A smooth copy of the block at width x height for showing it smaller: 1-, 4-
// and 8-bit blocks are expanded to true colour, resampled and brought back to
// 16 or 256 colours. The block itself is left alone; null when no copy could
// be made.
ImageBlock resampledForDisplay(const ImageBlock& block, int width, int height);

// What the command line asks of the display.
struct ViewerOptions {
    bool fullScreenRequest = false;
    bool position = false;
    int x = 0;
    int y = 0;
    bool customTitle = false;
    std::string title;
};

// What the tests substitute; null members mean the real thing.
struct ViewerServices {
    SystemMetrics* metrics = nullptr;
    UserInterface* ui = nullptr;
    FileDialogs* dialogs = nullptr;
    std::string settingsPath; // empty: the program's settings file
};

class MainWindow : public QMainWindow, public DisplayHost, public PictureHost, public SlideshowHost {
    Q_OBJECT
public:
    MainWindow(ViewerServices services, ViewerOptions options);
    ~MainWindow() override;

    // One dispatch for every command, however it arrives.
    void runCommand(int id) override;
    // True when the command has a handler and its rule enables it now.
    bool commandEnabled(int id) const;
    // Offers a key to the accelerator table. True when it is an accelerator
    // (it then acted, or did nothing because its command is disabled).
    bool translateAccelerator(QKeyEvent* event);
    // The command of a window key (Enter, Esc, Space, ...), 0 for none; in
    // full screen only the keys that window takes.
    int windowKeyCommand(const QKeyEvent* event, bool fullScreen) const;
    // Runs a window key's command; repeats of Space and Backspace queued
    // while a picture loaded are dropped.
    void stepByKey(const QKeyEvent* event, int id);
    // The menu's enabled and checked states, from the one rule.
    void updateMenuState();
    // Before any menu opens: the recently-used-directories pop-up, then the
    // states.
    void prepareMenus();
    ViewerState viewerState() const;
    QAction* action(int id) const;

    // Loads a file for display and shows it (start-up, drops, reopen).
    bool openFile(const std::string& path);
    // Files dropped on the window: the first is shown.
    void dropFiles(const QStringList& paths);
    void showPicture();
    void sizeWindowToPicture(int width, int height);
    void showAtFullSize(int width, int height) override;
    void showAcquiredPicture(ImageBlock block, const std::string& name) override;
    void commandProperties();
    // The registry store and mimeapps.list as the file associations use them.
    void withAssociationPlaces(const std::function<void(AssociationPlaces&, const std::string& applications)>& use);
    void setTitle();

    // State the display and the tests read.
    DisplayMetrics metrics() const override;
    int zoomStep() const { return m_zoomStep; }
    const WindowLayout& lastLayout() const { return m_layout; }
    PictureView* view() const { return m_view; }
    FullScreenWindow* fullScreenWindow() const;
    QRect pictureRect() const; // in the view's viewport
    QList<QRgb> paintPalette() const;
    void paintBlockInto(QPainter& painter, const QRect& target);
    // The block's pixels or colours were changed in place.
    void pictureChanged();

    // PictureHost
    CurrentImage& picture() override { return m_image; }
    void adoptPicture(ImageBlock block) override
    {
        m_display.metafile.reset(); // the block is the picture now
        adoptBlock(std::move(block));
    }
    void repaintPicture() override;
    UserInterface& ui() override { return *m_ui; }
    SettingsFile& settings() override { return m_settings; }
    QWidget* dialogParent() override { return this; }
    // Grows with every change of the picture, so copies made for painting
    // know when they are stale.
    unsigned pictureGeneration() const { return m_pictureGeneration; }
    void fullScreenLeft();
    QPoint storedWindowPosition() const { return {m_windowX, m_windowY}; }
    // Writes the window position (at exit and when another instance asks).
    void writeWindowPosition();

    // DisplayHost
    CurrentImage& currentImage() override { return m_image; }
    DisplayState& displayState() { return m_display; }
    const DisplayState& displayState() const { return m_display; }
    UserInterface& userInterface() override { return *m_ui; }
    void resetViewerState() override;
    void resetWindow() override;
    bool fullScreenWindowExists() const override { return fullScreenWindow() != nullptr; }
    bool slideshowWindowExists() const override { return m_slideshow != nullptr; }
    SlideshowWindow* slideshowWindow() const { return m_slideshow; }
    void startSlideshow(std::vector<std::string> entries) override;
    // SlideshowHost
    void loadSlide(const std::string& path, bool quiet) override;
    void readSlideAhead(const std::string& path) override;
    const ImageBlock& slideBlock() const override { return shownBlock(); }
    QSize slideDrawingSize() const override;
    void paintSlide(QPainter& painter, const QRect& target) override { paintBlockInto(painter, target); }
    int slideSheetStart() const override { return m_image.overviewMode ? m_image.overviewStart : 0; }
    bool showSlideSheet(int firstPicture) override;
    void slideshowEnded() override;
    bool paletteDisplay() const override { return metrics().paletteDisplay(); }
    bool loadGreyscale() const override { return m_loadGreyscale; }
    int photoCdLoadingSize() const override { return m_loadingSize; }
    std::string directoryListDirectory() const override { return m_directoryList.directory(); }
    const DirectoryList& directoryList() const { return m_directoryList; }
    ImageInfoInput imageInfoInput() const;
    // Reads the working directory's picture files again when forced or when
    // the working directory is another than the one listed.
    void rebuildDirectoryList(bool force) override;
    void fileOnScreenRemoved(bool stopAnimation) override;
    // After the file on screen was deleted or moved away: the list is read
    // again and Next goes on with the file that followed it, while the
    // picture stays on screen.
    void directoryListAfterRemoval();
    IconChooser* iconChooser() override;
    ReadAhead* readAhead() override { return m_readAhead.get(); }
    // The start-up read of the file about to be opened; the next load takes
    // it (or reads anew) and drops it.
    void setReadAhead(std::unique_ptr<ReadAhead> readAhead) { m_readAhead = std::move(readAhead); }
    bool useResample() const { return m_useResample; }
    std::string customTitle() const override { return m_options.customTitle ? m_options.title : std::string(); }
    bool startAnimation(const std::string& path, const ImageList& images) override;
    bool showMetafile(const std::string& path, std::string& message, std::string& compression) override;
    bool playMedia(const std::string& path) override;
    // The media window playing now, or null.
    MediaWindow* mediaWindow() const;
    // What is painted: the current block, or the animation's canvas.
    const ImageBlock& shownBlock() const override;

signals:
    void painted();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void rebuildRecentDirectoriesMenu();
    void goToRecentDirectory(int slot);
    void addEntries(QMenu* menu, const std::vector<MenuEntry>& entries);
    void registerHandlers();
    bool handleWindowKeys(QKeyEvent* event);
    void paintPicture(QPainter& painter);
    void reportDecompressionTime();
    void applyOuterSize(int x, int y, int outerWidth, int outerHeight);
    void zoom(bool in);
    void adoptBlock(ImageBlock block);
    // The copy of the fit size that replaces the block when a picture is
    // fitted; null when none could be made.
    ImageBlock fitCopy(ImageBlock& block, int width, int height);
    bool loadAndShow(std::string path);
    // The Open command's end when the preview's picture stands for the file:
    // the record a load of it gives, shown as after that load.
    void showPreviewedPicture(CurrentImage record);
    // Takes a newly read picture (a load, a page, an overview sheet) and
    // shows it where the viewer shows pictures now.
    void showNewPicture(ImageBlock block);
    void readStartupSettings();

    // Commands with work of their own.
    void commandOpen();
    void commandSaveAs();
    void commandBestFit();
    void commandFullScreen();
    void commandAbout();
    void showPage(int page);
    void commandNextOverviewSheet();
    void stepFile(int direction);
    void goToListedFile(int index);
    void sortDirectoryList(int order);
    void animationStep();
    void stopAnimation();
    void armAnimationTimer(int64_t now);
    // Has the neighbours of the file on screen read ahead, the next in the
    // direction of travel first.
    void readAheadNeighbours();
    // A repeated Space or Backspace that waited in the queue while a picture
    // loaded: acting on it would step on long after the key was let go.
    bool staleRepeat(const QKeyEvent* event, int id) const;

    std::unique_ptr<QtSystemMetrics> m_ownMetrics;
    std::unique_ptr<QtUserInterface> m_ownUi;
    std::unique_ptr<ImageMenu> m_imageMenu;
    std::unique_ptr<DesktopCommands> m_desktopCommands;
    std::unique_ptr<ScannerCommands> m_scanner;
    std::unique_ptr<FileMenu> m_fileCommands;
    std::unique_ptr<MetafileDisplay> m_metafiles;
    std::unique_ptr<OpenPreview> m_openPreview;
    std::unique_ptr<ReadAhead> m_readAhead;
    SystemMetrics* m_metrics = nullptr;
    UserInterface* m_ui = nullptr;
    FileDialogs* m_dialogs = nullptr;
    SettingsFile m_settings;
    ViewerOptions m_options;

    CurrentImage m_image;
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
    bool m_alwaysOnTop = false;
    bool m_firstPaintDone = false;
    bool m_classRefreshed = false;
    int m_openType = 1;
    DirectoryList m_directoryList;
    int m_travelDirection = 1; // of the last step: what to read ahead first
    int64_t m_readAheadBudget = 0; // bytes; 0: none
    std::vector<std::string> m_readAheadWish;
    uint64_t m_busyUntil = 0;
    uint64_t m_stepKeyTime = 0; // of the step waiting for its paint // key event time at which the last step ended

    QTimer* m_animationTimer = nullptr;
    QElapsedTimer m_clock;
    std::optional<FrameSchedule> m_schedule;
    int64_t m_animationStart = 0;

    PictureView* m_view = nullptr;
    QPointer<FullScreenWindow> m_fullScreen;
    QPointer<SlideshowWindow> m_slideshow;
    std::map<int, QAction*> m_actions;
    CommandHandlers m_handlers;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QMenu* m_recentMenu = nullptr;
    std::vector<uint8_t> m_scratch; // a 4-bit block expanded for painting
    QImage m_expanded;              // over m_scratch
    unsigned m_expandedGeneration = 0;
    unsigned m_pictureGeneration = 1;
};

} // namespace pictorand
