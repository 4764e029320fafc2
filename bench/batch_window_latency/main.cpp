// Runs the batch window over the files on the command line (into a fresh
// folder OUT, all processors) and measures how long the window's events
// wait: a 5 ms timer records how late each tick comes while the run works
// (target: never more than 50 ms). With --stop-after MS, Stop is pressed
// that long after the start and the time until the run has ended is
// printed too (target: within a second).
//   bench_batch_window_latency OUT [--stop-after MS] FILE...

#include "shell/dialogs/batch_dialog.h"
#include "platform/settings_file.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT [--stop-after MS] FILE...\n", argv[0]);
        return 2;
    }
    pictorand::BatchRequest request;
    request.outputDirectory = argv[1];
    request.outputType = 0; // JPEG
    int stopAfter = -1;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--stop-after" && i + 1 < argc)
            stopAfter = std::atoi(argv[++i]);
        else
            request.sources.emplace_back(argv[i]);
    }
    pictorand::SettingsFile settings;
    pictorand::BatchProgressWindow window(nullptr);
    window.show();

    constexpr int kTick = 5;
    std::vector<double> late;
    QElapsedTimer clock;
    QTimer ticker;
    qint64 last = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        late.push_back(std::max(0.0, double(now - last) / 1e6 - kTick));
        last = now;
    });
    qint64 stopPressed = -1;
    if (stopAfter >= 0)
        QTimer::singleShot(stopAfter, [&] {
            stopPressed = clock.nsecsElapsed();
            window.stopButton()->click();
        });
    QTimer::singleShot(0, [&] {
        clock.start();
        ticker.start(kTick);
        window.run(request, settings);
    });
    QTimer watcher;
    qint64 ended = -1;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!window.running() && ended < 0) {
            ended = clock.nsecsElapsed();
            application.quit();
        }
    });
    watcher.start(1);
    application.exec();

    std::sort(late.begin(), late.end());
    if (late.empty())
        return 1;
    std::printf("run: %.0f ms, %zu events of a %d ms timer: median %.1f ms late, 99th percentile %.1f ms, worst %.1f ms\n",
                double(ended) / 1e6, late.size(), kTick, late[late.size() / 2], late[late.size() * 99 / 100],
                late.back());
    if (stopPressed >= 0)
        std::printf("stop: the run ended %.0f ms after Stop\n", double(ended - stopPressed) / 1e6);
    return 0;
}
