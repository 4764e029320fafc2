// Quantising a 6000 x 4000 photo-like picture: ImageMagick's rose scaled up
// with some noise (a smooth synthetic picture when ImageMagick is missing).

#include "ops/quantise.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace pictorand {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

// Top-down RGB from ImageMagick, or nothing.
std::vector<uint8_t> scaledRose()
{
    std::string command = "convert rose: -resize " + std::to_string(kWidth) + "x" + std::to_string(kHeight)
        + "! -depth 8 rgb:- 2>/dev/null";
    std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {};
    size_t got = std::fread(pixels.data(), 1, pixels.size(), pipe);
    if (pclose(pipe) != 0 || got != pixels.size())
        return {};
    return pixels;
}

const ImageBlock& photo()
{
    static ImageBlock block = [] {
        ImageBlock made = ImageBlock::create(kWidth, kHeight, 24, 0);
        std::vector<uint8_t> rgb = scaledRose();
        uint32_t state = 12345;
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = made.topRow(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                for (int c = 0; c < 3; ++c) {
                    state = state * 1664525u + 1013904223u;
                    int noise = static_cast<int>((state >> 24) % 13) - 6;
                    int value;
                    if (!rgb.empty())
                        value = rgb[(size_t(y) * kWidth + x) * 3 + size_t(2 - c)];
                    else
                        value = static_cast<int>(128 + 100 * std::sin(0.001 * x * (c + 1) + 0.002 * y));
                    value += noise;
                    row[x * 3 + c] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
                }
            }
        }
        return made;
    }();
    return block;
}

void quantiseTo(benchmark::State& state, int colors)
{
    const ImageBlock& source = photo();
    for (auto _ : state) {
        Result<ImageBlock> result = quantise(source, colors);
        benchmark::DoNotOptimize(result->data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void BM_Quantise256(benchmark::State& state) { quantiseTo(state, 256); }
void BM_Quantise16(benchmark::State& state) { quantiseTo(state, 16); }
void BM_Quantise2(benchmark::State& state) { quantiseTo(state, 2); }

BENCHMARK(BM_Quantise256)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Quantise16)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Quantise2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
} // namespace pictorand

BENCHMARK_MAIN();
