// Decoding and encoding a 6000 x 4000 8-bit GIF. The picture is made by
// bench/gif-vs-peers.sh (a photo-like plasma reduced to 256 colours); pass
// its path in PICTORAND_BENCH_GIF, else a synthetic picture is used.

#include "codecs/gif/gif.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace pictorand;

namespace {

std::string scratchPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

// The benchmark input: the given file, or a smooth synthetic picture with
// noise written by our own writer.
std::string inputPath()
{
    if (const char* given = std::getenv("PICTORAND_BENCH_GIF"))
        return given;
    static std::string made;
    if (made.empty()) {
        made = scratchPath("pictorand-bench-synthetic.gif");
        ImageBlock block = ImageBlock::create(6000, 4000, 8, 256);
        for (uint32_t i = 0; i < 256; ++i)
            block.setColor(i, static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2));
        uint32_t seed = 12345;
        for (int y = 0; y < 4000; ++y) {
            uint8_t* row = block.topRow(y);
            for (int x = 0; x < 6000; ++x) {
                seed = seed * 1103515245u + 12345u;
                int value = (x / 24 + y / 16) % 256 + static_cast<int>((seed >> 16) % 7) - 3;
                row[x] = static_cast<uint8_t>(value & 0xFF);
            }
        }
        (void)writeGif(made, block, true, false, -1);
    }
    return made;
}

void decodeGif(benchmark::State& state)
{
    const std::string path = inputPath();
    for (auto _ : state) {
        Result<DecodedImage> read = readGif(path);
        if (!read) {
            state.SkipWithError(read.text().c_str());
            break;
        }
        benchmark::DoNotOptimize(read->block.data());
    }
}
BENCHMARK(decodeGif)->Unit(benchmark::kMillisecond)->UseRealTime();

void encodeGif(benchmark::State& state)
{
    Result<DecodedImage> read = readGif(inputPath());
    if (!read) {
        state.SkipWithError(read.text().c_str());
        return;
    }
    const ImageBlock& block = read->block;
    const std::string output = scratchPath("pictorand-bench-out.gif");
    for (auto _ : state) {
        // A new file each time, as the save dispatcher writes one: replacing
        // a file's contents in place makes ext4 flush it to disk on close.
        state.PauseTiming();
        std::filesystem::remove(output);
        state.ResumeTiming();
        if (!writeGif(output, block, true, state.range(0) != 0, -1))
            state.SkipWithError("write failed");
    }
    std::filesystem::remove(output);
}
BENCHMARK(encodeGif)->Arg(0)->Arg(1)->ArgName("interlaced")->Unit(benchmark::kMillisecond)->UseRealTime();

void scanGif(benchmark::State& state)
{
    const std::string path = inputPath();
    for (auto _ : state)
        benchmark::DoNotOptimize(countGifImages(path).takeOr(0));
}
BENCHMARK(scanGif)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
