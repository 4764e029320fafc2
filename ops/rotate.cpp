#include "ops/rotate.h"

#include "core/large_buffer.h"
#include "ops/derived_block.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace pictorand {

namespace {

bool isFlippableDepth(uint16_t bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 24; }

struct MirrorTables {
    // Entry i: the two nibbles of i exchanged.
    std::array<uint8_t, 256> nibbleSwap{};
    // reversed[s][i]: i with its bits in reverse order, shifted left by s and
    // cut to 8 bits (s = 0 is the plain reversal).
    std::array<std::array<uint8_t, 256>, 8> reversed{};

    MirrorTables()
    {
        for (unsigned i = 0; i < 256; ++i) {
            nibbleSwap[i] = static_cast<uint8_t>(((i & 0x0F) << 4) | (i >> 4));
            unsigned r = 0;
            for (unsigned bit = 0; bit < 8; ++bit)
                if (i & (1u << bit))
                    r |= 0x80u >> bit;
            for (unsigned s = 0; s < 8; ++s)
                reversed[s][i] = static_cast<uint8_t>(r << s);
        }
    }
};

void mirrorRow1(const uint8_t* in, uint8_t* out, uint32_t width, const MirrorTables& tables)
{
    uint32_t bytes = (width + 7) / 8;
    uint32_t p = width % 8;
    if (p == 0) {
        for (uint32_t k = 0; k < bytes; ++k)
            out[k] = tables.reversed[0][in[bytes - 1 - k]];
        return;
    }
    // Output byte k gathers the p leading pixels of source byte n-1-k (they
    // come out first, reversed) and the 8-p trailing pixels of byte n-2-k.
    // The shifted table moves the former to the top and drops the padding.
    for (uint32_t k = 0; k < bytes; ++k) {
        unsigned high = tables.reversed[8 - p][in[bytes - 1 - k]];
        unsigned low = k + 1 < bytes ? tables.reversed[0][in[bytes - 2 - k]] >> p : 0u;
        out[k] = static_cast<uint8_t>(high | low);
    }
}

void mirrorRow4(const uint8_t* in, uint8_t* out, uint32_t width, const MirrorTables& tables)
{
    uint32_t bytes = (width + 1) / 2;
    if (width % 2 == 0) {
        for (uint32_t k = 0; k < bytes; ++k)
            out[k] = tables.nibbleSwap[in[bytes - 1 - k]];
        return;
    }
    // Odd width: output byte m holds pixels width-1-2m (a high nibble of the
    // source) and width-2-2m (a low nibble); the last holds pixel 0 alone.
    for (uint32_t m = 0; m + 1 < bytes; ++m) {
        uint32_t first = width - 1 - 2 * m; // even, so a high nibble
        out[m] = static_cast<uint8_t>((in[first / 2] & 0xF0) | (in[first / 2 - 1] & 0x0F));
    }
    out[bytes - 1] = static_cast<uint8_t>(in[0] & 0xF0);
}

void mirrorRow8InPlace(uint8_t* row, uint32_t width) { std::reverse(row, row + width); }

void mirrorRow24InPlace(uint8_t* row, uint32_t width)
{
    uint8_t* left = row;
    uint8_t* right = row + size_t(3) * (width - 1);
    for (; left < right; left += 3, right -= 3) {
        std::swap(left[0], right[0]);
        std::swap(left[1], right[1]);
        std::swap(left[2], right[2]);
    }
}

// A picture read only in part (a truncated file that declares a huge size)
// is mostly untouched zero pages; turning or flipping those would make the
// kernel hand out and clear every page of both blocks. Zero runs are
// skipped instead: the target is zero already, and a photo's first bytes
// end the test at once.
bool allZero(const uint8_t* bytes, size_t count)
{
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        uint64_t words[4];
        std::memcpy(words, bytes + i, sizeof words);
        if (words[0] | words[1] | words[2] | words[3])
            return false;
    }
    for (; i < count; ++i)
        if (bytes[i])
            return false;
    return true;
}

// Stored-row transposes: target (row c, column r) = source (row r, column c).
// The 8- and 24-bit ones are fused with the flip that precedes them.

enum class Turn { Right, Left };

// Copies `count` pixels of `Bytes` bytes from successive source rows (a
// signed stride apart) into a run of the target row.
template<int Bytes>
inline void copyColumnRun(uint8_t* target, const uint8_t* source, ptrdiff_t stride, uint32_t count, bool wideReads,
                          bool wideWriteAtEnd)
{
    if constexpr (Bytes == 3) {
        // Whole 4-byte moves where they are safe: the fourth byte read is
        // the next pixel of the same source row, and the fourth byte written
        // is the next target pixel, which a later run writes properly.
        if (wideReads) {
            uint32_t wide = wideWriteAtEnd ? count : count - 1;
            for (uint32_t i = 0; i < wide; ++i, source += stride, target += 3) {
                uint32_t pixel;
                std::memcpy(&pixel, source, 4);
                std::memcpy(target, &pixel, 4);
            }
            if (wide != count)
                std::memcpy(target, source, 3);
            return;
        }
    }
    for (uint32_t i = 0; i < count; ++i, source += stride, target += Bytes)
        std::memcpy(target, source, Bytes);
}

template<int Bytes>
void transposeTurned(const ImageBlock& source, ImageBlock& target, Turn turn)
{
    const auto width = static_cast<uint32_t>(source.width());
    const auto height = static_cast<uint32_t>(source.height());
    const auto sourceRowSize = static_cast<ptrdiff_t>(source.rowSize());
    const size_t targetRowSize = target.rowSize();
    const uint8_t* in = source.pixels();
    uint8_t* out = target.pixels();
    // Tiles small enough that the source lines of one tile stay in the first
    // level cache while the target rows are written across it.
    constexpr uint32_t kTile = 64;
    for (uint32_t r0 = 0; r0 < height; r0 += kTile) {
        const uint32_t r1 = std::min(height, r0 + kTile);
        const bool lastRun = r1 == height; // its end is the end of the target row
        for (uint32_t c0 = 0; c0 < width; c0 += kTile) {
            const uint32_t c1 = std::min(width, c0 + kTile);
            // The source columns of this tile, flipped for a right turn.
            const uint32_t first = turn == Turn::Right ? width - c1 : c0;
            bool zeroTile = true;
            for (uint32_t r = r0; r < r1 && zeroTile; ++r) {
                const uint32_t sourceRow = turn == Turn::Right ? r : height - 1 - r;
                zeroTile = allZero(in + sourceRowSize * ptrdiff_t(sourceRow) + ptrdiff_t(Bytes) * first,
                                   size_t(Bytes) * (c1 - c0));
            }
            if (zeroTile)
                continue;
            for (uint32_t c = c0; c < c1; ++c) {
                uint8_t* targetPixel = out + targetRowSize * c + size_t(Bytes) * r0;
                // Right: flipped (r, c) is source (r, width-1-c).
                // Left: flipped (r, c) is source (height-1-r, c).
                const uint32_t column = turn == Turn::Right ? width - 1 - c : c;
                const bool wideReads = column + 1 < width;
                if (turn == Turn::Right)
                    copyColumnRun<Bytes>(targetPixel, in + sourceRowSize * r0 + ptrdiff_t(Bytes) * column,
                                         sourceRowSize, r1 - r0, wideReads, !lastRun);
                else
                    copyColumnRun<Bytes>(targetPixel,
                                         in + sourceRowSize * (height - 1 - r0) + ptrdiff_t(Bytes) * column,
                                         -sourceRowSize, r1 - r0, wideReads, !lastRun);
            }
        }
    }
}

// The 8 x 8 bit matrix in `x` (row 0 in the top byte, column 0 in each
// byte's top bit) transposed (Hacker's Delight, transpose8rS64).
inline uint64_t transposeBits8x8(uint64_t x)
{
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    return x ^ t ^ (t << 28);
}

void transpose1(const ImageBlock& source, ImageBlock& target)
{
    const auto width = static_cast<uint32_t>(source.width());
    const auto height = static_cast<uint32_t>(source.height());
    const size_t targetRowSize = target.rowSize();
    uint8_t* out = target.pixels(); // zero-filled by creation
    const size_t usedBytes = (width + 7) / 8;
    const uint32_t groupedRows = height & ~7u;
    const uint32_t wholeBytes = width / 8;
    // Eight rows and eight columns at a time.
    for (uint32_t r0 = 0; r0 < groupedRows; r0 += 8) {
        const uint8_t* rows[8];
        bool any = false;
        for (uint32_t i = 0; i < 8; ++i) {
            rows[i] = source.row(static_cast<int32_t>(r0 + i));
            any = any || !allZero(rows[i], usedBytes);
        }
        if (!any)
            continue;
        for (uint32_t k = 0; k < wholeBytes; ++k) {
            uint64_t x = 0;
            for (uint32_t i = 0; i < 8; ++i)
                x = x << 8 | rows[i][k];
            if (!x)
                continue;
            x = transposeBits8x8(x);
            for (int j = 7; j >= 0; --j, x >>= 8)
                out[targetRowSize * (8 * size_t(k) + size_t(j)) + r0 / 8] = static_cast<uint8_t>(x);
        }
    }
    // The rest pixel by pixel: the columns past the last whole byte, and
    // the rows past the last group of eight.
    for (uint32_t r = 0; r < height; ++r) {
        const uint8_t* row = source.row(static_cast<int32_t>(r));
        const uint32_t firstColumn = r < groupedRows ? wholeBytes * 8 : 0;
        if (firstColumn == 0 && allZero(row, usedBytes))
            continue;
        uint8_t mask = static_cast<uint8_t>(0x80u >> (r & 7));
        size_t targetByte = r >> 3;
        for (uint32_t c = firstColumn; c < width; ++c)
            if (row[c >> 3] & (0x80u >> (c & 7)))
                out[targetRowSize * c + targetByte] |= mask;
    }
}

uint8_t nibbleAt(const uint8_t* row, uint32_t x) { return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4; }

void setNibble(uint8_t* row, uint32_t x, uint8_t value)
{
    uint8_t& byte = row[x >> 1];
    byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | value) : static_cast<uint8_t>((byte & 0x0F) | (value << 4));
}

void transpose4(const ImageBlock& source, ImageBlock& target)
{
    const auto width = static_cast<uint32_t>(source.width());
    const auto height = static_cast<uint32_t>(source.height());
    const uint32_t pairedRows = height & ~1u;
    const uint32_t pairedColumns = width & ~1u;
    // Rows r, r+1 and columns c, c+1 at once: the source byte of column pair
    // c in row r and the one in row r+1 give target byte r/2 in rows c and c+1.
    const size_t usedBytes = (width + 1) / 2;
    for (uint32_t r = 0; r < pairedRows; r += 2) {
        const uint8_t* lower = source.row(static_cast<int32_t>(r));
        const uint8_t* upper = source.row(static_cast<int32_t>(r + 1));
        if (allZero(lower, usedBytes) && allZero(upper, usedBytes))
            continue;
        for (uint32_t c = 0; c < pairedColumns; c += 2) {
            uint8_t a = lower[c >> 1];
            uint8_t b = upper[c >> 1];
            target.row(static_cast<int32_t>(c))[r >> 1] = static_cast<uint8_t>((a & 0xF0) | (b >> 4));
            target.row(static_cast<int32_t>(c + 1))[r >> 1] = static_cast<uint8_t>((a << 4) | (b & 0x0F));
        }
    }
    // An odd last row and an odd last column go nibble by nibble.
    if (pairedRows != height) {
        const uint8_t* row = source.row(static_cast<int32_t>(height - 1));
        for (uint32_t c = 0; c < width; ++c)
            setNibble(target.row(static_cast<int32_t>(c)), height - 1, nibbleAt(row, c));
    }
    if (pairedColumns != width) {
        uint8_t* targetRow = target.row(static_cast<int32_t>(width - 1));
        for (uint32_t r = 0; r < pairedRows; ++r)
            setNibble(targetRow, r, nibbleAt(source.row(static_cast<int32_t>(r)), width - 1));
    }
}

Result<ImageBlock> turned(const ImageBlock& source, Turn turn)
{
    if (!isUsableBlock(source) || !isFlippableDepth(source.bitCount()))
        return badArgument();
    ImageBlock target = makeDerivedBlock(source, source.height(), source.width(), source.bitCount());
    if (!target)
        return outOfMemory();
    // The source is only read: a turn that fails part way leaves the user's
    // picture as it was. At 1 and 4 bits the flip is made on the turned copy
    // instead (flipping then transposing equals transposing then flipping
    // the other way).
    auto flipTarget = [&] { return turn == Turn::Right ? flipVertical(target) : flipHorizontal(target); };
    switch (source.bitCount()) {
    case 24:
        transposeTurned<3>(source, target, turn);
        break;
    case 8:
        transposeTurned<1>(source, target, turn);
        break;
    case 4:
        transpose4(source, target);
        if (Status flipped = flipTarget(); !flipped)
            return flipped.failure();
        break;
    default:
        transpose1(source, target);
        if (Status flipped = flipTarget(); !flipped)
            return flipped.failure();
        break;
    }
    return target;
}

Status rotate(ImageBlock& block, Turn turn)
{
    Result<ImageBlock> turnedBlock = turned(block, turn);
    if (!turnedBlock)
        return turnedBlock.failure();
    block = turnedBlock.take();
    return {};
}

} // namespace

Status flipVertical(ImageBlock& block)
{
    if (!isUsableBlock(block) || !isFlippableDepth(block.bitCount()))
        return badArgument();
    size_t rowSize = block.rowSize();
    LargeBuffer scratch = LargeBuffer::allocate(rowSize);
    if (!scratch)
        return outOfMemory();
    int32_t height = block.height();
    for (int32_t i = 0; i < height / 2; ++i) {
        uint8_t* a = block.row(i);
        uint8_t* b = block.row(height - 1 - i);
        if (allZero(a, rowSize) && allZero(b, rowSize))
            continue;
        std::memcpy(scratch.data(), a, rowSize);
        std::memcpy(a, b, rowSize);
        std::memcpy(b, scratch.data(), rowSize);
    }
    return {};
}

Status flipHorizontal(ImageBlock& block)
{
    if (!isUsableBlock(block) || !isFlippableDepth(block.bitCount()))
        return badArgument();
    const auto width = static_cast<uint32_t>(block.width());
    const int32_t height = block.height();
    switch (block.bitCount()) {
    case 24:
        for (int32_t y = 0; y < height; ++y)
            if (!allZero(block.row(y), size_t(width) * 3))
                mirrorRow24InPlace(block.row(y), width);
        return {};
    case 8:
        for (int32_t y = 0; y < height; ++y)
            if (!allZero(block.row(y), width))
                mirrorRow8InPlace(block.row(y), width);
        return {};
    default:
        break;
    }
    size_t rowSize = block.rowSize();
    LargeBuffer scratch = LargeBuffer::allocate(rowSize);
    if (!scratch)
        return outOfMemory();
    MirrorTables tables;
    size_t usedBytes = block.bitCount() == 4 ? (width + 1) / 2 : (width + 7) / 8;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = block.row(y);
        if (allZero(row, usedBytes))
            continue;
        if (block.bitCount() == 4)
            mirrorRow4(row, scratch.data(), width, tables);
        else
            mirrorRow1(row, scratch.data(), width, tables);
        std::memcpy(row, scratch.data(), usedBytes);
    }
    return {};
}

Status rotateRight(ImageBlock& block) { return rotate(block, Turn::Right); }

Status rotateLeft(ImageBlock& block) { return rotate(block, Turn::Left); }

Status orientUpright(ImageBlock& block, int orientation)
{
    if (orientation < 1 || orientation > 8)
        return badArgument();
    if (orientation == 1)
        return {};
    if (!isUsableBlock(block) || !isFlippableDepth(block.bitCount()))
        return badArgument();
    switch (orientation) {
    case 2:
        return flipHorizontal(block);
    case 4:
        return flipVertical(block);
    case 3: {
        if (Status flipped = flipVertical(block); !flipped)
            return flipped;
        Status mirrored = flipHorizontal(block);
        if (!mirrored)
            (void)flipVertical(block); // back as it was
        return mirrored;
    }
    case 5:
    case 7: {
        // The transposes: mirrored, then turned left (5) or right (7). The
        // mirror is made on the picture itself and undone if the turn fails,
        // so the fresh turned block is only ever written.
        if (Status mirrored = flipHorizontal(block); !mirrored)
            return mirrored;
        Status turnedOver = rotate(block, orientation == 5 ? Turn::Left : Turn::Right);
        if (!turnedOver)
            (void)flipHorizontal(block);
        return turnedOver;
    }
    case 6:
        return rotate(block, Turn::Right);
    default:
        return rotate(block, Turn::Left);
    }
}

} // namespace pictorand
