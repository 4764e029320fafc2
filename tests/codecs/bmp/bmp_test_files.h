#pragma once
// Builds small BMP files field by field, for the tests that need many
// variants of one layout (each header size, each compression). Single-case
// fixtures are written out as byte arrays in the tests themselves.

#include "codecs/bmp/bmp.h"
#include "tests/support/test_support.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictorand::testing {

struct BmpRecipe {
    uint32_t infoSize = 40;
    int32_t width = 2;
    int32_t height = 1;
    uint16_t bitCount = 8;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    std::vector<uint8_t> table;  // raw entries as they go in the file
    std::vector<uint8_t> pixels; // raw data as it goes in the file
    std::optional<uint32_t> pixelOffset; // default: right after the table
    std::vector<uint32_t> headerMasks;   // bit-field masks inside a header of 52 bytes or more
};

inline void putLE16(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void putLE32(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::vector<uint8_t> buildBmp(const BmpRecipe& recipe)
{
    size_t tableStart = 14 + recipe.infoSize;
    size_t pixelStart = recipe.pixelOffset.value_or(static_cast<uint32_t>(tableStart + recipe.table.size()));
    std::vector<uint8_t> out(std::max(pixelStart, tableStart + recipe.table.size()) + recipe.pixels.size());
    out[0] = 'B';
    out[1] = 'M';
    putLE32(out, 2, static_cast<uint32_t>(out.size()));
    putLE32(out, 10, static_cast<uint32_t>(pixelStart));
    putLE32(out, 14, recipe.infoSize);
    if (recipe.infoSize == 12) {
        putLE16(out, 18, static_cast<uint32_t>(recipe.width));
        putLE16(out, 20, static_cast<uint32_t>(recipe.height));
        putLE16(out, 22, 1);
        putLE16(out, 24, recipe.bitCount);
    } else {
        putLE32(out, 18, static_cast<uint32_t>(recipe.width));
        putLE32(out, 22, static_cast<uint32_t>(recipe.height));
        putLE16(out, 26, 1);
        putLE16(out, 28, recipe.bitCount);
        if (recipe.infoSize > 16)
            putLE32(out, 30, recipe.compression);
        if (recipe.infoSize > 32)
            putLE32(out, 46, recipe.colorsUsed);
        for (size_t i = 0; i < recipe.headerMasks.size(); ++i)
            putLE32(out, 54 + 4 * i, recipe.headerMasks[i]);
    }
    std::copy(recipe.table.begin(), recipe.table.end(), out.begin() + static_cast<ptrdiff_t>(tableStart));
    std::copy(recipe.pixels.begin(), recipe.pixels.end(), out.begin() + static_cast<ptrdiff_t>(pixelStart));
    return out;
}

// Both readers' results on the same bytes; the test fails when they differ.
struct BmpReadResult {
    ImageBlock block;
    std::string message;
    std::string compression;
};

BmpReadResult readBothWays(const std::vector<uint8_t>& bytes, const std::string& compressionBefore = "");

// The block's pixel rows as stored (bottom row first).
std::vector<uint8_t> storedRows(const ImageBlock& block);

} // namespace pictorand::testing
