#pragma once
// Small blocks for the operation tests, and pixel access by top-down
// coordinates written independently of the operations under test.

#include "core/image_block.h"

#include <cstdint>
#include <random>
#include <vector>

namespace pictorand::testing {

// The pixel value at (x, y), y counted from the top: the index for paletted
// blocks, blue | green << 8 | red << 16 for 24 bits.
inline uint32_t pixelAt(const ImageBlock& block, int x, int y)
{
    const uint8_t* row = block.topRow(y);
    switch (block.bitCount()) {
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 1u;
    case 4:
        return x % 2 ? row[x / 2] & 0x0Fu : uint32_t(row[x / 2] >> 4);
    case 8:
        return row[x];
    default:
        return row[3 * x] | (uint32_t(row[3 * x + 1]) << 8) | (uint32_t(row[3 * x + 2]) << 16);
    }
}

inline void setPixelAt(ImageBlock& block, int x, int y, uint32_t value)
{
    uint8_t* row = block.topRow(y);
    switch (block.bitCount()) {
    case 1: {
        uint8_t mask = static_cast<uint8_t>(0x80u >> (x % 8));
        row[x / 8] = static_cast<uint8_t>(value ? row[x / 8] | mask : row[x / 8] & ~mask);
        break;
    }
    case 4:
        row[x / 2] = static_cast<uint8_t>(x % 2 ? (row[x / 2] & 0xF0) | (value & 0x0F)
                                                : (row[x / 2] & 0x0F) | ((value & 0x0F) << 4));
        break;
    case 8:
        row[x] = static_cast<uint8_t>(value);
        break;
    default:
        row[3 * x] = static_cast<uint8_t>(value);
        row[3 * x + 1] = static_cast<uint8_t>(value >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(value >> 16);
        break;
    }
}

inline uint32_t colorsFor(uint16_t bits) { return bits == 24 ? 0 : uint32_t(1) << bits; }

// A block whose pixels are given top-down, row by row; paletted blocks get a
// full table of distinct colours.
inline ImageBlock blockFromPixels(int width, int height, uint16_t bits, const std::vector<uint32_t>& pixels)
{
    ImageBlock block = ImageBlock::create(width, height, bits, colorsFor(bits));
    for (uint32_t i = 0; i < block.colorsUsed(); ++i)
        block.setColor(i, static_cast<uint8_t>(i * 7 + 1), static_cast<uint8_t>(i * 13 + 2), static_cast<uint8_t>(i * 29 + 3));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setPixelAt(block, x, y, pixels[static_cast<size_t>(y * width + x)]);
    return block;
}

// Random pixels (row padding left zero), a random table and resolutions.
inline ImageBlock randomBlock(std::mt19937& random, int width, int height, uint16_t bits)
{
    ImageBlock block = ImageBlock::create(width, height, bits, colorsFor(bits));
    block.setXPelsPerMeter(static_cast<int32_t>(random() % 5000));
    block.setYPelsPerMeter(static_cast<int32_t>(random() % 5000));
    for (uint32_t i = 0; i < block.colorsUsed(); ++i)
        block.setColor(i, static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), static_cast<uint8_t>(random()));
    uint32_t mask = bits == 24 ? 0xFFFFFFu : (uint32_t(1) << bits) - 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setPixelAt(block, x, y, static_cast<uint32_t>(random()) & mask);
    return block;
}

inline std::vector<uint8_t> blockBytes(const ImageBlock& block)
{
    return std::vector<uint8_t>(block.data(), block.data() + block.size());
}

// Widths and heights that catch the edge cases: one pixel, odd sizes, sizes
// on either side of a byte of 1-bit pixels.
inline const std::vector<int>& awkwardSizes()
{
    static const std::vector<int> sizes = {1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 33};
    return sizes;
}

inline const std::vector<uint16_t>& everyDepth()
{
    static const std::vector<uint16_t> depths = {1, 4, 8, 24};
    return depths;
}

} // namespace pictorand::testing
