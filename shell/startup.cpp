#include "shell/startup.h"

#include "shell/core/slideshow.h"

#include "platform/settings_keys.h"
#include "shell/core/command_line.h"
#include "shell/display_profile.h"
#include "shell/qt_system_metrics.h"
#include "shell/qt_user_interface.h"
#include "shell/single_instance.h"
#include "platform/version.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pictorand {

namespace {

// The working directory follows the file: its directory, or the directory
// itself when one was given. Failures are ignored.
std::string enterDirectoryOf(const std::string& file)
{
    if (file.empty())
        return file;
    std::error_code error;
    std::filesystem::path path(file);
    if (std::filesystem::is_directory(path, error)) {
        std::filesystem::current_path(path, error);
        return {};
    }
    if (path.has_parent_path())
        std::filesystem::current_path(path.parent_path(), error);
    return file;
}

bool g_endRequested = false;

// Another viewer asked this one to go. Whatever it is doing, it must end:
// a message box or dialog runs an event loop of its own, and closing only
// the window under it would leave the box up and, after OK, a process with
// no window. So every modal box is closed first, the window's close writes
// the position as at any exit, and every event loop is told to end, the
// main loop too, even one that has not started yet (start-up may still be
// showing a load's message).
void endOnRequest(MainWindow* window)
{
    g_endRequested = true;
    for (int guard = 0; guard < 64; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    window->close();
    QCoreApplication::exit(0);
}

} // namespace

bool viewerEndRequested() { return g_endRequested; }

bool windowsCanBePlaced()
{
    // "wayland", "wayland-egl", ...: every Wayland platform plugin.
    return !QGuiApplication::platformName().startsWith("wayland");
}

std::string startupFilePath(const CommandLine& line)
{
    // A relative name stays valid after the change of directory.
    std::string file = line.file;
    if (!file.empty()) {
        std::error_code error;
        std::filesystem::path absolute = std::filesystem::absolute(file, error);
        if (!error)
            file = absolute.lexically_normal().string();
    }
    return file;
}

std::unique_ptr<ReadAhead> startReadAhead(const CommandLine& line)
{
    if (line.help || line.version)
        return nullptr;
    const std::string file = startupFilePath(line);
    std::error_code error;
    if (file.empty() || !std::filesystem::is_regular_file(file, error))
        return nullptr;
    const SettingsFile settings;
    LoadOptions options = loadOptionsFromSettings(settings);
    // As the window will ask for it, so that its first load takes this one.
    if (options.colourManagement)
        options.displayProfile = displayProfileBeforeStart();
    return ReadAhead::start({LoadSource{file}, LoadPurpose::View, std::move(options)});
}

StartupResult startViewer(const std::vector<std::string>& arguments, ViewerServices services,
                          std::unique_ptr<ReadAhead> readAhead)
{
    StartupResult result;
    CommandLine line = parseCommandLine(arguments);
    if (line.help) {
        std::fputs(commandLineUsage().c_str(), stdout);
        return result;
    }
    if (line.version) {
        std::printf("pictorand32 %s\n", programVersion());
        return result;
    }
    for (const std::string& option : line.unknownOptions)
        std::fprintf(stderr, "pictorand32: unknown option %s (see --help)\n", option.c_str());

    std::string file = enterDirectoryOf(startupFilePath(line));

    SettingsFile settings = services.settingsPath.empty() ? SettingsFile() : SettingsFile(services.settingsPath);
    if (line.bestFit)
        settings.writeText(settings::AlwaysFit, "1");
    if (line.oneInstance || settings.readInt(settings::OneInstance) == 1)
        SingleInstance::closeOthers();
    traceStartup("other instances");

    // The display: 16 colours are not enough for this program.
    QtSystemMetrics screenMetrics;
    const DisplayMetrics display = services.metrics ? services.metrics->metrics() : screenMetrics.metrics();
    if (display.colorCount() == 16) {
        std::unique_ptr<QtUserInterface> ownUi;
        UserInterface* ui = services.ui;
        if (!ui) {
            ownUi = std::make_unique<QtUserInterface>(nullptr);
            ui = ownUi.get();
        }
        ui->showMessage(kSixteenColorsMessage, MessageIcon::Information);
        result.exitCode = 0;
        return result;
    }

    ViewerOptions options;
    options.fullScreenRequest = line.fullScreen;
    options.position = line.position;
    options.x = line.x;
    options.y = line.y;
    options.customTitle = line.customTitle;
    options.title = line.title;
    result.window = std::make_unique<MainWindow>(services, options);
    MainWindow* window = result.window.get();
    window->setReadAhead(std::move(readAhead));
    traceStartup("main window");

    auto* instance = new SingleInstance(window);
    instance->closeRequested = [window] { endOnRequest(window); };
    instance->listen();

    window->show();
    traceStartup("shown");

    // A list that cannot be read or holds nothing starts no slideshow, and
    // start-up goes on as without the switch.
    std::optional<std::vector<std::string>> slides;
    if (line.slideshow)
        slides = readSlideshowList(line.slideshowList);
    if (slides && !slides->empty())
        window->startSlideshow(std::move(*slides));
    else if (!file.empty())
        window->openFile(file);
    traceStartup("loaded");
    // Said once, at the start, rather than a window that silently lands
    // wherever the compositor puts it.
    if (line.position && !windowsCanBePlaced())
        window->viewer().ui().showMessage(kCantPlaceWindowMessage, MessageIcon::Information);
    return result;
}

} // namespace pictorand
