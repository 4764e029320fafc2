// BMP reading and writing of a 6000 x 4000 picture: uncompressed 24-bit rows
// (one read, one write) and RLE8 data through the byte reader.

#include "codecs/bmp/bmp.h"
#include "codecs/common/file_reader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace pictorand;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

std::string scratchPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / ("pictorand-bench-" + std::to_string(getpid()) + "-" + name))
        .string();
}

ImageBlock makeTrueColourBlock()
{
    ImageBlock block = ImageBlock::create(kWidth, kHeight, 24, 0);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = block.row(y);
        for (int x = 0; x < kWidth; ++x) {
            row[x * 3] = static_cast<uint8_t>(x);
            row[x * 3 + 1] = static_cast<uint8_t>(y);
            row[x * 3 + 2] = static_cast<uint8_t>(x ^ y);
        }
    }
    return block;
}

// A file removed when the benchmark ends.
struct ScratchFile {
    std::string path;
    ~ScratchFile() { std::remove(path.c_str()); }
};

const std::string& trueColourFile()
{
    static ScratchFile file{scratchPath("24.bmp")};
    static bool written = [] { return writeBmp(file.path, makeTrueColourBlock()).ok(); }();
    (void)written;
    return file.path;
}

// RLE8 rows of runs of 7 bytes with an absolute run of 40 in each row.
const std::string& rle8File()
{
    static ScratchFile file{scratchPath("rle8.bmp")};
    static bool written = [] {
        std::vector<uint8_t> data;
        for (int y = 0; y < kHeight; ++y) {
            data.push_back(0);
            data.push_back(40);
            for (int x = 0; x < 40; ++x)
                data.push_back(static_cast<uint8_t>(x + y));
            for (int x = 40; x + 7 <= kWidth; x += 7) {
                data.push_back(7);
                data.push_back(static_cast<uint8_t>(x / 7 + y));
            }
            data.push_back(0);
            data.push_back(0);
        }
        data.push_back(0);
        data.push_back(1);
        std::vector<uint8_t> head(54 + 1024, 0);
        auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                head[at + i] = static_cast<uint8_t>(v >> (8 * i));
        };
        head[0] = 'B';
        head[1] = 'M';
        put32(2, static_cast<uint32_t>(head.size() + data.size()));
        put32(10, static_cast<uint32_t>(head.size()));
        put32(14, 40);
        put32(18, kWidth);
        put32(22, kHeight);
        head[26] = 1;
        head[28] = 8;
        put32(30, 1);
        for (size_t i = 0; i < 1024; ++i)
            head[54 + i] = static_cast<uint8_t>(i);
        OpenFile out(file.path, "wb");
        return std::fwrite(head.data(), 1, head.size(), out.get()) == head.size()
            && std::fwrite(data.data(), 1, data.size(), out.get()) == data.size();
    }();
    (void)written;
    return file.path;
}

void readBmp24(benchmark::State& state)
{
    const std::string& path = trueColourFile();
    for (auto _ : state) {
        Result<DecodedImage> read = readBmp(path);
        if (!read) {
            state.SkipWithError(read.text().c_str());
            break;
        }
        benchmark::DoNotOptimize(read->block.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kWidth) * kHeight * 3);
}
BENCHMARK(readBmp24)->Unit(benchmark::kMillisecond)->UseRealTime();

void writeBmp24(benchmark::State& state)
{
    ImageBlock block = makeTrueColourBlock();
    ScratchFile out{scratchPath("out.bmp")};
    for (auto _ : state) {
        if (Status written = writeBmp(out.path, block); !written)
            state.SkipWithError(written.text().c_str());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(block.size()));
}
BENCHMARK(writeBmp24)->Unit(benchmark::kMillisecond)->UseRealTime();

void readBmpRle8(benchmark::State& state)
{
    const std::string& path = rle8File();
    for (auto _ : state) {
        Result<DecodedImage> read = readBmp(path);
        if (!read) {
            state.SkipWithError(read.text().c_str());
            break;
        }
        benchmark::DoNotOptimize(read->block.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(readBmpRle8)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
