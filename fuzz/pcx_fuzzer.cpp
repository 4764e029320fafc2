// The PCX reader through a file and through memory (both must agree); a
// block that decodes is written again and read back, which must give the
// same pixels.

#include "codecs/pcx/pcx.h"
#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <cstring>

namespace {

using namespace pictorand;

// Hostile headers ask for blocks of up to 2 GiB that a truncated file fills
// with 0xFF; that only measures memory bandwidth.
bool tooBigToBother(const uint8_t* data, size_t size)
{
    if (size < 128)
        return false;
    uint64_t width = uint64_t(data[8] | (data[9] << 8)) + 1;
    uint64_t height = uint64_t(data[10] | (data[11] << 8)) + 1;
    return width * height * 3 > (uint64_t(1) << 20);
}

unsigned pixel(const uint8_t* row, uint16_t depth, int32_t x)
{
    switch (depth) {
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
        return (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    case 8:
        return row[x];
    default:
        return unsigned(row[x * 3]) | (unsigned(row[x * 3 + 1]) << 8) | (unsigned(row[x * 3 + 2]) << 16);
    }
}

ColorEntry colorOf(const ColorEntry* table, uint16_t depth, unsigned value)
{
    if (depth == 24)
        return ColorEntry{uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), 0};
    return table[value];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (tooBigToBother(data, size))
        return 0;
    fuzzing::MemoryFile file(data, size);
    Result<DecodedImage> fromFile = readPcx(file.path());
    Result<DecodedImage> fromMemory = decodePcx(std::span(data, size));
    fuzzing::requireSameResult(fromFile, fromMemory);
    if (!fromMemory)
        return 0;
    const ImageBlock& block = fromMemory->block;

    // Round trip through the writer.
    int fd = memfd_create("fuzz-output", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (!writePcx(path, block))
        std::abort();
    Result<DecodedImage> read = readPcx(path);
    close(fd);
    const ImageBlock& back = read ? read->block : block;
    if (!read || back.width() != block.width() || back.height() != block.height() || back.bitCount() != block.bitCount())
        std::abort();
    const uint16_t depth = block.bitCount();
    const int32_t width = block.width();
    for (int32_t y = 0; y < block.height(); ++y) {
        const uint8_t* row = block.topRow(y);
        const uint8_t* backRow = back.topRow(y);
        for (int32_t x = 0; x < width; ++x)
            if (!(colorOf(block.colorTable(), depth, pixel(row, depth, x)) == colorOf(back.colorTable(), depth, pixel(backRow, depth, x))))
                std::abort();
    }
    return 0;
}
