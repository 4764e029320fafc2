// The image operations on a 6000 x 4000 true-colour photograph (ImageMagick's
// built-in rose picture scaled up, so the data has the smooth areas and edges
// of a photo rather than noise). Whole-process comparisons with other programs
// are in ops-vs-peers.sh.

#include "core/image_block.h"
#include "ops/adjust.h"
#include "ops/resample_command.h"
#include "ops/resize.h"
#include "ops/rotate.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

using namespace pictorand;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

ImageBlock makePhoto()
{
    ImageBlock block = ImageBlock::create(kWidth, kHeight, 24, 0);
    std::FILE* pipe = popen("convert rose: -resize 6000x4000! -depth 8 rgb:- 2>/dev/null", "r");
    bool filled = false;
    if (pipe) {
        filled = true;
        std::vector<uint8_t> row(size_t(3) * kWidth);
        for (int y = 0; y < kHeight && filled; ++y) {
            if (std::fread(row.data(), 1, row.size(), pipe) != row.size()) {
                filled = false;
                break;
            }
            uint8_t* out = block.topRow(y);
            for (int x = 0; x < kWidth; ++x) {
                out[3 * x] = row[3 * x + 2];
                out[3 * x + 1] = row[3 * x + 1];
                out[3 * x + 2] = row[3 * x];
            }
        }
        pclose(pipe);
    }
    if (!filled) {
        // Without ImageMagick: smooth gradients with a few hard edges.
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* out = block.row(y);
            for (int x = 0; x < kWidth; ++x) {
                out[3 * x] = static_cast<uint8_t>((x / 24) ^ (y / 200));
                out[3 * x + 1] = static_cast<uint8_t>((x + y) / 40);
                out[3 * x + 2] = static_cast<uint8_t>(((x / 300 + y / 300) % 2) * 128 + y / 32);
            }
        }
    }
    return block;
}

const ImageBlock& photo()
{
    static const ImageBlock block = makePhoto();
    return block;
}

ImageBlock copyOf(const ImageBlock& block)
{
    ImageBlock copy = ImageBlock::allocate(block.size());
    std::memcpy(copy.data(), block.data(), block.size());
    return copy;
}

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(photo().size()));
}

// The floor for any operation that makes a new picture: copying it into a
// freshly allocated block.
void BM_CopyIntoNewBlock(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(copyOf(photo()));
    setBytes(state);
}
BENCHMARK(BM_CopyIntoNewBlock)->Unit(benchmark::kMillisecond);

void BM_Resample1500x1000(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(resampleBlock(photo(), 1500, 1000));
    setBytes(state);
}
BENCHMARK(BM_Resample1500x1000)->Unit(benchmark::kMillisecond);

void BM_ResampleVerticalOnly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(resampleBlock(photo(), 6000, 1000));
}
BENCHMARK(BM_ResampleVerticalOnly)->Unit(benchmark::kMillisecond);
void BM_ResampleHorizontalOnly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(resampleBlock(photo(), 1500, 4000));
}
BENCHMARK(BM_ResampleHorizontalOnly)->Unit(benchmark::kMillisecond);

void BM_ResampleDoubling(benchmark::State& state)
{
    ImageBlock small = resizeBlock(photo(), 1500, 1000).takeOr({});
    for (auto _ : state)
        benchmark::DoNotOptimize(resampleBlock(small, 3000, 2000));
}
BENCHMARK(BM_ResampleDoubling)->Unit(benchmark::kMillisecond);

void BM_ResampleCommandPaletted(benchmark::State& state)
{
    ImageBlock grey = copyOf(photo());
    (void)greyscale(grey);
    for (auto _ : state)
        benchmark::DoNotOptimize(resampleCommand(grey, 1500, 1000));
}
BENCHMARK(BM_ResampleCommandPaletted)->Unit(benchmark::kMillisecond);

void BM_Resize1500x1000(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(resizeBlock(photo(), 1500, 1000));
}
BENCHMARK(BM_Resize1500x1000)->Unit(benchmark::kMillisecond);

void BM_Resize7000x5000(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(resizeBlock(photo(), 7000, 5000));
}
BENCHMARK(BM_Resize7000x5000)->Unit(benchmark::kMillisecond);

// Rotations replace their block: each iteration turns the previous result,
// so the picture alternates between 6000 x 4000 and 4000 x 6000.
template<Status (*Turn)(ImageBlock&)>
void BM_Rotate(benchmark::State& state)
{
    ImageBlock block = copyOf(photo());
    for (auto _ : state) {
        benchmark::DoNotOptimize(Turn(block));
        benchmark::DoNotOptimize(block.data());
    }
    setBytes(state);
}
BENCHMARK(BM_Rotate<rotateRight>)->Name("BM_RotateRight")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate<rotateLeft>)->Name("BM_RotateLeft")->Unit(benchmark::kMillisecond);

template<Status (*Flip)(ImageBlock&)>
void BM_Flip(benchmark::State& state)
{
    ImageBlock block = copyOf(photo());
    for (auto _ : state)
        benchmark::DoNotOptimize(Flip(block));
    setBytes(state);
}
BENCHMARK(BM_Flip<flipHorizontal>)->Name("BM_FlipHorizontal")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flip<flipVertical>)->Name("BM_FlipVertical")->Unit(benchmark::kMillisecond);

void BM_GreyscaleTrueColour(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        ImageBlock block = copyOf(photo());
        state.ResumeTiming();
        benchmark::DoNotOptimize(greyscale(block));
    }
}
BENCHMARK(BM_GreyscaleTrueColour)->Unit(benchmark::kMillisecond);

void BM_Negative(benchmark::State& state)
{
    ImageBlock block = copyOf(photo());
    for (auto _ : state)
        benchmark::DoNotOptimize(negative(block));
    setBytes(state);
}
BENCHMARK(BM_Negative)->Unit(benchmark::kMillisecond);

void BM_SwapBrg(benchmark::State& state)
{
    ImageBlock block = copyOf(photo());
    for (auto _ : state)
        benchmark::DoNotOptimize(swapChannels(block, ChannelSwap::BRG));
    setBytes(state);
}
BENCHMARK(BM_SwapBrg)->Unit(benchmark::kMillisecond);

void BM_Brightness(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(adjustBrightness(photo(), 40));
}
BENCHMARK(BM_Brightness)->Unit(benchmark::kMillisecond);

void BM_Contrast(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(adjustContrast(photo(), 20));
}
BENCHMARK(BM_Contrast)->Unit(benchmark::kMillisecond);

void BM_Gamma(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(adjustGamma(photo(), 2.2));
}
BENCHMARK(BM_Gamma)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    photo(); // made once, before anything is timed
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
