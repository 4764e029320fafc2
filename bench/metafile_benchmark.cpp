// The metafile player on a typical drawing (bench/metafile-vs-libwmf.sh makes
// it): walking the records into drawing commands, and painting them at the
// natural size, each alone and together. The files are named by
// PICTORAND_BENCH_METAFILES (a folder holding typical.emf and typical.wmf).

#include "codecs/common/whole_file.h"
#include "codecs/metafile/metafile.h"
#include "tools/painting/metafile_painter.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

using namespace pictorand;

std::string input(const char* name)
{
    const char* folder = std::getenv("PICTORAND_BENCH_METAFILES");
    return std::string(folder ? folder : ".") + "/" + name;
}

void walk(benchmark::State& state, const char* name)
{
    WholeFile file;
    if (!file.open(input(name))) {
        state.SkipWithError("no input");
        return;
    }
    for (auto _ : state) {
        Result<metafile::Drawing> drawing = metafile::playMetafile(file.bytes());
        benchmark::DoNotOptimize(drawing);
    }
}

void render(benchmark::State& state, const char* name, bool walkToo)
{
    WholeFile file;
    if (!file.open(input(name))) {
        state.SkipWithError("no input");
        return;
    }
    Result<metafile::Drawing> drawing = metafile::playMetafile(file.bytes());
    for (auto _ : state) {
        if (walkToo)
            drawing = metafile::playMetafile(file.bytes());
        ImageBlock block = renderDrawingToBlock(*drawing, static_cast<int>(drawing->width),
                                                static_cast<int>(drawing->height));
        benchmark::DoNotOptimize(block);
    }
}

BENCHMARK_CAPTURE(walk, emf, "typical.emf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(walk, wmf, "typical.wmf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(render, emf, "typical.emf", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(render, wmf, "typical.wmf", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(render, emf_walk_and_paint, "typical.emf", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(render, wmf_walk_and_paint, "typical.wmf", true)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Text needs fonts, and fonts a GUI application; no display is needed.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
