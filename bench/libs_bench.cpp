// Load and save times of the JPEG, PNG and TIFF glue on one big photo.
// bench/libs-vs-peers.sh prepares the files and sets PICTORAND_BENCH_DATA to
// their folder; it times the peer tools on the same files in the same run.

#include "codecs/jpeg/jpeg.h"
#include "codecs/png/png.h"
#include "codecs/tiff/tiff.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using namespace pictorand;

std::string dataFile(const char* name)
{
    const char* folder = std::getenv("PICTORAND_BENCH_DATA");
    return std::string(folder ? folder : "build/bench-data") + "/" + name;
}

bool present(benchmark::State& state, const std::string& path)
{
    if (access(path.c_str(), R_OK) != 0) {
        state.SkipWithError(("missing " + path + " (run bench/libs-vs-peers.sh)").c_str());
        return false;
    }
    return true;
}

void jpegLoad(benchmark::State& state, int targetWidth)
{
    std::string path = dataFile("photo.jpg");
    if (!present(state, path))
        return;
    JpegReadOptions options;
    options.targetWidth = targetWidth;
    for (auto _ : state) {
        Result<DecodedImage> read = readJpeg(path, options);
        if (!read) {
            state.SkipWithError(read.text().c_str());
            break;
        }
        benchmark::DoNotOptimize(read->block.data());
    }
}
void BM_JpegLoadFull(benchmark::State& state) { jpegLoad(state, 0); }
void BM_JpegLoadPreview160(benchmark::State& state) { jpegLoad(state, 160); }
BENCHMARK(BM_JpegLoadFull)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_JpegLoadPreview160)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_PngLoad(benchmark::State& state)
{
    std::string path = dataFile("photo.png");
    if (!present(state, path))
        return;
    for (auto _ : state) {
        Result<DecodedImage> read = readPng(path);
        if (!read) {
            state.SkipWithError(read.text().c_str());
            break;
        }
        benchmark::DoNotOptimize(read->block.data());
    }
}
BENCHMARK(BM_PngLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_PngSave(benchmark::State& state)
{
    std::string path = dataFile("photo.png");
    if (!present(state, path))
        return;
    Result<DecodedImage> read = readPng(path);
    if (!read) {
        state.SkipWithError(read.text().c_str());
        return;
    }
    const ImageBlock& block = read->block;
    std::string target = dataFile("ours-saved.png");
    for (auto _ : state)
        if (!writePng(target, block))
            state.SkipWithError("write failed");
}
BENCHMARK(BM_PngSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

const char* const kTiffNames[] = {"photo-none.tif", "photo-lzw.tif", "photo-packbits.tif"};

void BM_TiffLoad(benchmark::State& state)
{
    std::string path = dataFile(kTiffNames[state.range(0)]);
    if (!present(state, path))
        return;
    for (auto _ : state) {
        Result<DecodedImage> read = readTiffPage(path, 0);
        if (!read) {
            state.SkipWithError(read.text().c_str());
            break;
        }
        benchmark::DoNotOptimize(read->block.data());
    }
}
// 0 none, 1 LZW, 2 PackBits
BENCHMARK(BM_TiffLoad)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_TiffSave(benchmark::State& state)
{
    std::string path = dataFile("photo.png");
    if (!present(state, path))
        return;
    Result<DecodedImage> read = readPng(path);
    if (!read) {
        state.SkipWithError(read.text().c_str());
        return;
    }
    const ImageBlock& block = read->block;
    std::string target = dataFile("ours-saved.tif");
    for (auto _ : state) {
        // A new file each time, as the save dispatcher's temporary one:
        // rewriting a big file in place costs the file system more.
        state.PauseTiming();
        unlink(target.c_str());
        state.ResumeTiming();
        if (Status written = writeTiff(target, block, static_cast<int>(state.range(0)), 80); !written)
            state.SkipWithError(written.text().c_str());
    }
}
BENCHMARK(BM_TiffSave)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

} // namespace

BENCHMARK_MAIN();
