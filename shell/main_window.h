#pragma once
// The main window: the Qt face of the viewer controller. It builds the menus
// and the keys from the command table, shows the picture in its view, runs
// the dialogs of the commands that have them, and gives the controller the
// ViewerScreen it needs: sizing, titles, repaints, media, the animation's
// timer. What is shown, and why, is the controller's.

#include "shell/core/viewer_controller.h"
#include "shell/picture_canvas.h"
#include "shell/picture_host.h"
#include "shell/slideshow_window.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QTimer;

namespace pictorand {

struct AssociationPlaces;
class DesktopCommands;
class DisplayProfileWatcher;
class FileMenu;
class FullScreenWindow;
class ImageMenu;
class KeyWatch;
class MediaWindow;
class OpenPreview;
class PictureView;
class QtSystemMetrics;
class QtUserInterface;
class ScannerCommands;
class ViewerMenus;
class WindowPlacement;

// What the tests substitute; null members mean the real thing.
struct ViewerServices {
    SystemMetrics* metrics = nullptr;
    UserInterface* ui = nullptr;
    FileDialogs* dialogs = nullptr;
    std::string settingsPath; // empty: the program's settings file
};

class MainWindow : public QMainWindow, public ViewerScreen, public SlideshowHost {
    Q_OBJECT
public:
    MainWindow(ViewerServices services, ViewerOptions options);
    ~MainWindow() override;

    ViewerController& viewer() { return *m_viewer; }
    const ViewerController& viewer() const { return *m_viewer; }
    // Runs a command as the menu does: the controller's dispatch, then the
    // menu's states.
    void runCommand(int id);
    bool commandEnabled(int id) const { return m_viewer->commandEnabled(id); }
    // The menu's enabled and checked states, from the one rule.
    void updateMenuState();
    // Before any menu opens: the recently-used-directories pop-up, then the
    // states.
    void prepareMenus();
    QAction* action(int id) const;

    // Loads a file for display and shows it (start-up, reopen).
    bool openFile(const std::string& path) { return m_viewer->open(path); }
    // Files dropped on the window: the first is shown.
    void dropFiles(const QStringList& paths);
    void startSlideshow(std::vector<std::string> entries);
    // The registry store and mimeapps.list as the file associations use them.
    void withAssociationPlaces(const std::function<void(AssociationPlaces&, const std::string& applications)>& use);
    // Writes the window position (at exit and when another instance asks).
    void writeWindowPosition();

    // What the tests and the start-up read.
    CurrentImage& currentImage() { return m_viewer->picture(); }
    const DisplayState& displayState() const { return m_viewer->displayState(); }
    const WindowLayout& lastLayout() const { return m_viewer->lastLayout(); }
    const DirectoryList& directoryList() const { return m_viewer->directoryList(); }
    ReadAhead* readAhead() const { return m_viewer->readAhead(); }
    void setReadAhead(std::unique_ptr<ReadAhead> readAhead) { m_viewer->setReadAhead(std::move(readAhead)); }
    QPoint storedWindowPosition() const { return {m_viewer->storedWindowX(), m_viewer->storedWindowY()}; }
    PictureView* view() const { return m_view; }
    FullScreenWindow* fullScreenWindow() const;
    SlideshowWindow* slideshowWindow() const { return m_slideshow; }
    bool slideshowWindowExists() const { return m_slideshow != nullptr; }
    // The media window playing now, or null.
    MediaWindow* mediaWindow() const;
    IconChooser* iconChooser() const;
    const PictureCanvas& canvas() const { return *m_canvas; }
    // The picture's rectangle in the view's viewport, in device pixels.
    QRect pictureRect() const;
    DeviceScale deviceScale() const { return {devicePixelRatioF()}; }

    // ViewerScreen
    DisplayMetrics metrics() const override;
    bool windowShown() const override { return isVisible(); }
    int windowX() const override { return deviceScale().toDevice(pos().x()); }
    int windowY() const override { return deviceScale().toDevice(pos().y()); }
    void applyLayout(const WindowLayout& layout) override;
    void setTitle(const std::string& title) override;
    void pictureChanged() override;
    bool fullScreenShown() const override { return fullScreenWindow() != nullptr; }
    bool slideshowShown() const override { return m_slideshow != nullptr; }
    bool clipboardHasImage() const override;
    bool mediaAvailable() const override { return true; }
    void playMedia(const std::string& path) override;
    void closeMedia() override;
    ImageBlock renderDrawing(const metafile::Drawing& drawing, int width, int height) override;
    int64_t clockMs() const override { return m_clock.elapsed(); }
    void scheduleAnimationStep(int64_t delayMs) override;
    void cancelAnimationStep() override;
    void soon(std::function<void()> work) override;

    // SlideshowHost
    void loadSlide(const std::string& path, bool quiet) override { m_viewer->loadSlide(path, quiet); }
    void readSlideAhead(const std::string& path) override { m_viewer->readSlideAhead(path); }
    const ImageBlock& slideBlock() const override { return m_viewer->shownBlock(); }
    QSize slideDrawingSize() const override;
    void paintSlide(QPainter& painter, const QRect& target) override { m_canvas->paint(painter, target); }
    int slideSheetStart() const override;
    bool showSlideSheet(int firstPicture) override { return m_viewer->showSlideSheet(firstPicture); }
    void slideshowEnded() override { m_viewer->slideshowEnded(); }

signals:
    void painted();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void registerHandlers();
    // A window key: a repeat of Space or Backspace that waited in the queue
    // while a picture loaded is dropped (acting on it would step on long
    // after the key was let go).
    void windowKey(int id);
    void paintPicture(QPainter& painter);
    void applyOuterSize(int x, int y, int outerWidth, int outerHeight);
    void animationTimeout();
    void commandFullScreen();
    void commandProperties();
    void commandAbout();
    void fullScreenLeft();

    std::unique_ptr<QtSystemMetrics> m_ownMetrics;
    std::unique_ptr<QtUserInterface> m_ownUi;
    SystemMetrics* m_metrics = nullptr;
    UserInterface* m_ui = nullptr;
    SettingsFile m_settings;
    std::unique_ptr<ViewerController> m_viewer;
    std::unique_ptr<PictureCanvas> m_canvas;
    std::unique_ptr<PictureHost> m_host;
    std::unique_ptr<ImageMenu> m_imageMenu;
    std::unique_ptr<DesktopCommands> m_desktopCommands;
    std::unique_ptr<ScannerCommands> m_scanner;
    std::unique_ptr<FileMenu> m_fileCommands;
    std::unique_ptr<OpenPreview> m_openPreview;
    std::unique_ptr<DisplayProfileWatcher> m_displayProfile;
    KeyWatch* m_keys = nullptr;

    bool m_alwaysOnTop = false;
    bool m_clipboardHasImage = false;
    bool m_firstPaintDone = false;
    bool m_classRefreshed = false;
    unsigned m_stateGeneration = 0;
    WindowPlacement* m_placement = nullptr;
    uint64_t m_busyUntil = 0;
    uint64_t m_stepKeyTime = 0; // of the step waiting for its paint

    QTimer* m_animationTimer = nullptr;
    QElapsedTimer m_clock;
    int64_t m_animationDue = 0;

    PictureView* m_view = nullptr;
    QPointer<FullScreenWindow> m_fullScreen;
    QPointer<SlideshowWindow> m_slideshow;
    QPointer<MediaWindow> m_media;
    std::unique_ptr<ViewerMenus> m_menus;
};

} // namespace pictorand
