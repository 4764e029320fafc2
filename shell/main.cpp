// pictorand32: the viewer.

#include "dispatch/confined_load.h"
#include "shell/core/command_line.h"
#include "shell/startup.h"
#include "platform/version.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    pictorand::traceStartup("main");
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    // --help and --version answer without a display.
    const pictorand::CommandLine line = pictorand::parseCommandLine(arguments);
    if (line.help) {
        std::fputs(pictorand::commandLineUsage().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        pictorand::decodeAsSettingsSay(pictorand::SettingsFile());
        std::printf("pictorand32 %s\n%s\n", pictorand::programVersion(),
                    pictorand::decoderConfinementText().c_str());
        return 0;
    }

    // Every picture is decoded in a confined worker. One is started now, for
    // the picture shown: a second starting beside it and the toolkit would
    // slow both on a two-core machine. Two are kept once the picture is on
    // screen, for it and the neighbours read ahead beside it.
    pictorand::decodeAsSettingsSay(pictorand::SettingsFile(), 1);
    pictorand::keepDecoderSpares(0);
    // The picture is decoded while the toolkit and the window come up.
    std::unique_ptr<pictorand::ReadAhead> readAhead = pictorand::startReadAhead(line);
    pictorand::traceStartup("read-ahead started");
    QApplication application(argc, argv);
    pictorand::traceStartup("application");
    QApplication::setApplicationName("pictorand32");
    QApplication::setQuitOnLastWindowClosed(false);

    pictorand::StartupResult started = pictorand::startViewer(arguments, {}, std::move(readAhead));
    pictorand::traceStartup("started");
    if (!started.window)
        return started.exitCode;
    if (pictorand::viewerEndRequested())
        return 0; // asked to go while start-up still ran

    QObject::connect(started.window.get(), &pictorand::MainWindow::painted, &application,
                     [] { pictorand::keepDecoderSpares(2); }, Qt::SingleShotConnection);
    QTimer::singleShot(1000, &application, [] { pictorand::keepDecoderSpares(2); });

    // For start-up measurements: end right after the first picture is painted
    // (or the empty window, when there is none).
    if (std::getenv("PICTORAND_QUIT_AFTER_PAINT")) {
        pictorand::MainWindow* window = started.window.get();
        QObject::connect(window, &pictorand::MainWindow::painted, &application, [] {
            pictorand::traceStartup("painted");
            QTimer::singleShot(0, qApp, &QApplication::quit);
        });
        if (!window->currentImage().block)
            QTimer::singleShot(0, qApp, &QApplication::quit);
    }
    const int status = application.exec();
    // Pictures still being read ahead are not waited for.
    pictorand::abandonDecoderJobs();
    return pictorand::viewerEndRequested() ? 0 : status;
}
