#include "ops/resize.h"

#include "core/checked_size.h"
#include "core/large_buffer.h"
#include "ops/derived_block.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace pictorand {

namespace {

int32_t atLeastOne(int32_t value) { return value < 1 ? 1 : value; }

// position[i] = i * from / to for i = 0 .. to - 1: the source pixel (or row)
// that output pixel i takes. Null when the table cannot be allocated.
LargeBuffer positionTable(uint32_t from, uint32_t to)
{
    LargeBuffer table = LargeBuffer::allocate(size_t(to) * sizeof(uint32_t));
    if (!table)
        return table;
    auto* position = reinterpret_cast<uint32_t*>(table.data());
    // Stepping instead of dividing: the running remainder gives the same
    // quotients as (i * from) / to.
    uint32_t whole = from / to;
    uint32_t part = from % to;
    uint32_t current = 0;
    uint32_t remainder = 0;
    for (uint32_t i = 0; i < to; ++i) {
        position[i] = current;
        current += whole;
        remainder += part;
        if (remainder >= to) {
            remainder -= to;
            ++current;
        }
    }
    return table;
}

void resizeRow1(const uint8_t* source, uint8_t* target, const uint32_t* position, uint32_t width)
{
    uint32_t i = 0;
    for (; i + 8 <= width; i += 8) {
        unsigned byte = 0;
        for (uint32_t k = 0; k < 8; ++k) {
            uint32_t p = position[i + k];
            byte = (byte << 1) | ((source[p >> 3] >> (7 - (p & 7))) & 1u);
        }
        target[i >> 3] = static_cast<uint8_t>(byte);
    }
    if (i < width) {
        unsigned byte = 0;
        uint32_t k = 0;
        for (; i + k < width; ++k) {
            uint32_t p = position[i + k];
            byte = (byte << 1) | ((source[p >> 3] >> (7 - (p & 7))) & 1u);
        }
        target[i >> 3] = static_cast<uint8_t>(byte << (8 - k));
    }
}

void resizeRow4(const uint8_t* source, uint8_t* target, const uint32_t* position, uint32_t width)
{
    auto nibble = [&](uint32_t p) -> unsigned { return (p & 1) ? source[p >> 1] & 0x0F : source[p >> 1] >> 4; };
    uint32_t i = 0;
    for (; i + 2 <= width; i += 2)
        target[i >> 1] = static_cast<uint8_t>((nibble(position[i]) << 4) | nibble(position[i + 1]));
    if (i < width)
        target[i >> 1] = static_cast<uint8_t>(nibble(position[i]) << 4);
}

void resizeRow8(const uint8_t* source, uint8_t* target, const uint32_t* position, uint32_t width)
{
    for (uint32_t i = 0; i < width; ++i)
        target[i] = source[position[i]];
}

void resizeRow24(const uint8_t* source, uint8_t* target, const uint32_t* position, uint32_t width)
{
    for (uint32_t i = 0; i < width; ++i) {
        const uint8_t* pixel = source + size_t(3) * position[i];
        target[0] = pixel[0];
        target[1] = pixel[1];
        target[2] = pixel[2];
        target += 3;
    }
}

} // namespace

ImageBlock resizeBlock(const ImageBlock& source, int32_t newWidth, int32_t newHeight)
{
    if (!isUsableBlock(source))
        return {};
    uint16_t bits = source.bitCount();
    void (*copyRow)(const uint8_t*, uint8_t*, const uint32_t*, uint32_t) = nullptr;
    switch (bits) {
    case 1:
        copyRow = resizeRow1;
        break;
    case 4:
        copyRow = resizeRow4;
        break;
    case 8:
        copyRow = resizeRow8;
        break;
    case 24:
        copyRow = resizeRow24;
        break;
    default:
        return {};
    }
    newWidth = atLeastOne(newWidth);
    newHeight = atLeastOne(newHeight);
    auto oldWidth = static_cast<uint32_t>(source.width());
    auto oldHeight = static_cast<uint32_t>(source.height());

    ImageBlock target = makeDerivedBlock(source, newWidth, newHeight, bits);
    if (!target)
        return target;
    bool sameWidth = oldWidth == static_cast<uint32_t>(newWidth);
    LargeBuffer columns;
    if (!sameWidth) {
        columns = positionTable(oldWidth, static_cast<uint32_t>(newWidth));
        if (!columns)
            return {};
    }
    const auto* column = reinterpret_cast<const uint32_t*>(columns.data());
    size_t wholeRowBytes = (size_t(newWidth) * bits + 7) / 8;
    size_t targetRowSize = target.rowSize();
    size_t sourceRowSize = source.rowSize();
    const uint8_t* sourcePixels = source.pixels();
    uint8_t* targetPixels = target.pixels();

    // Output row r takes source row r * h / H; rows that take the same source
    // row as the one before are copies of it.
    uint32_t rowWhole = oldHeight / static_cast<uint32_t>(newHeight);
    uint32_t rowPart = oldHeight % static_cast<uint32_t>(newHeight);
    uint32_t sourceRow = 0;
    uint32_t remainder = 0;
    uint32_t previousSourceRow = std::numeric_limits<uint32_t>::max();
    for (uint32_t r = 0; r < static_cast<uint32_t>(newHeight); ++r) {
        uint8_t* out = targetPixels + targetRowSize * r;
        if (sourceRow == previousSourceRow) {
            std::memcpy(out, out - targetRowSize, wholeRowBytes);
        } else {
            const uint8_t* in = sourcePixels + sourceRowSize * sourceRow;
            if (sameWidth)
                std::memcpy(out, in, wholeRowBytes);
            else
                copyRow(in, out, column, static_cast<uint32_t>(newWidth));
            previousSourceRow = sourceRow;
        }
        sourceRow += rowWhole;
        remainder += rowPart;
        if (remainder >= static_cast<uint32_t>(newHeight)) {
            remainder -= static_cast<uint32_t>(newHeight);
            ++sourceRow;
        }
    }
    return target;
}

namespace {

constexpr uint32_t kWhole = 4096; // one output pixel or row in fixed point
constexpr uint32_t kHalf = 2048;

// trunc(newSize / oldSize * 4096) in double precision, as the weight of one
// source pixel or row.
uint32_t scaleFactor(int32_t newSize, int32_t oldSize)
{
    double factor = static_cast<double>(newSize) / static_cast<double>(oldSize) * kWhole;
    if (factor >= static_cast<double>(std::numeric_limits<uint32_t>::max()))
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(factor);
}

inline uint8_t finished(uint32_t sum) { return static_cast<uint8_t>(std::min<uint32_t>(sum >> 12, 255)); }

// accumulator[i] = 2048 + weight * row[i]
void startSums(uint32_t* accumulator, const uint8_t* row, uint32_t weight, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        accumulator[i] = kHalf + weight * row[i];
}

// accumulator[i] += weight * row[i]
void addToSums(uint32_t* accumulator, const uint8_t* row, uint32_t weight, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        accumulator[i] += weight * row[i];
}

// out[i] = (accumulator[i] + weight * row[i]) / 4096, clamped.
void finishSums(const uint32_t* accumulator, const uint8_t* row, uint32_t weight, uint8_t* out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = finished(accumulator[i] + weight * row[i]);
}

// One row across: each source pixel adds `factor` of weight to the output
// pixel being filled; the pixel that fills its 4096 completes it and starts
// the next with what is left of its weight.
template<int Channels>
void resampleRow(const uint8_t* in, uint32_t inWidth, uint8_t* out, uint32_t outWidth, uint32_t factor)
{
    uint32_t sums[Channels];
    for (int c = 0; c < Channels; ++c)
        sums[c] = kHalf;
    uint32_t room = kWhole;
    uint32_t written = 0;
    for (uint32_t x = 0; x < inWidth && written < outWidth; ++x, in += Channels) {
        uint32_t weight = factor;
        while (weight >= room) {
            for (int c = 0; c < Channels; ++c) {
                out[c] = finished(sums[c] + room * in[c]);
                sums[c] = kHalf;
            }
            out += Channels;
            weight -= room;
            room = kWhole;
            if (++written == outWidth)
                return;
        }
        for (int c = 0; c < Channels; ++c)
            sums[c] += weight * in[c];
        room -= weight;
    }
    // The truncated factor leaves the last output pixel short of its 4096 (and
    // for very wide rows whole pixels more): the last source pixel fills them.
    const uint8_t* last = in - Channels;
    if (written < outWidth) {
        for (int c = 0; c < Channels; ++c)
            out[c] = finished(sums[c] + room * last[c]);
        out += Channels;
        ++written;
    }
    for (; written < outWidth; ++written, out += Channels)
        for (int c = 0; c < Channels; ++c)
            out[c] = last[c];
}

} // namespace

ImageBlock resampleBlock(const ImageBlock& source, int32_t newWidth, int32_t newHeight)
{
    if (!isUsableBlock(source))
        return {};
    uint16_t bits = source.bitCount();
    if (bits != 8 && bits != 24)
        return {};
    const uint32_t channels = bits / 8;
    newWidth = atLeastOne(newWidth);
    newHeight = atLeastOne(newHeight);
    auto oldWidth = static_cast<uint32_t>(source.width());
    auto oldHeight = static_cast<uint32_t>(source.height());

    ImageBlock target = makeDerivedBlock(source, newWidth, newHeight, bits);
    if (!target)
        return target;

    size_t samples = size_t(oldWidth) * channels;
    LargeBuffer sumBuffer = LargeBuffer::allocate(samples * sizeof(uint32_t));
    LargeBuffer intermediateBuffer = LargeBuffer::allocate(samples);
    if (!sumBuffer || !intermediateBuffer)
        return {};
    auto* sums = reinterpret_cast<uint32_t*>(sumBuffer.data());
    uint8_t* intermediate = intermediateBuffer.data();

    const uint32_t verticalFactor = scaleFactor(newHeight, source.height());
    const uint32_t horizontalFactor = scaleFactor(newWidth, source.width());
    const bool sameWidth = oldWidth == static_cast<uint32_t>(newWidth);
    const size_t sourceRowSize = source.rowSize();
    const size_t targetRowSize = target.rowSize();
    const uint8_t* sourcePixels = source.pixels();
    uint8_t* targetPixels = target.pixels();

    uint32_t sourceRow = 0;
    uint32_t weight = verticalFactor; // what is left of the current source row
    const uint8_t* previousRow = nullptr; // the vertical result of the last output row, when it was a plain source row
    for (uint32_t r = 0; r < static_cast<uint32_t>(newHeight); ++r) {
        uint8_t* out = targetPixels + targetRowSize * r;
        // Vertical pass. The truncated factor can leave the last output rows
        // short of their 4096, so the last source row is never stepped past:
        // it fills whatever room remains.
        uint32_t room = kWhole;
        bool started = false;
        while (weight < room && sourceRow + 1 < oldHeight) {
            const uint8_t* row = sourcePixels + sourceRowSize * sourceRow;
            if (started)
                addToSums(sums, row, weight, samples);
            else
                startSums(sums, row, weight, samples);
            started = true;
            room -= weight;
            ++sourceRow;
            weight = verticalFactor;
        }
        const uint8_t* current = sourcePixels + sourceRowSize * sourceRow;
        const uint8_t* vertical;
        if (started) {
            finishSums(sums, current, room, intermediate, samples);
            vertical = intermediate;
        } else {
            // The whole output row lies within one source row: its own samples.
            vertical = current;
        }
        if (weight > room)
            weight -= room;
        else if (sourceRow + 1 < oldHeight) {
            ++sourceRow;
            weight = verticalFactor;
        } else {
            weight = 0;
        }

        if (vertical == previousRow && r > 0) {
            std::memcpy(out, out - targetRowSize, size_t(newWidth) * channels);
            continue;
        }
        previousRow = vertical == intermediate ? nullptr : vertical;
        if (sameWidth)
            std::memcpy(out, vertical, samples);
        else if (channels == 3)
            resampleRow<3>(vertical, oldWidth, out, static_cast<uint32_t>(newWidth), horizontalFactor);
        else
            resampleRow<1>(vertical, oldWidth, out, static_cast<uint32_t>(newWidth), horizontalFactor);
    }
    return target;
}

PictureSize availableDesktopArea(int32_t clientWidth, int32_t clientHeight, int32_t menuBarHeight)
{
    return {clientWidth - 6, clientHeight - (menuBarHeight + 6)};
}

namespace {
// Adds 0.5 and truncates, kept within int32.
int32_t roundHalfUp(double value)
{
    double rounded = std::floor(value + 0.5);
    if (!(rounded > 0))
        return 0;
    if (rounded >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(rounded);
}
}

PictureSize bestFitToDesktop(int32_t width, int32_t height, PictureSize available)
{
    if (width <= 0 || height <= 0)
        return available;
    PictureSize fit;
    if (height < width) {
        double ratio = static_cast<double>(width) / height;
        fit.height = roundHalfUp(available.width / ratio);
        if (fit.height > available.height) {
            fit.height = available.height;
            fit.width = roundHalfUp(ratio * available.height);
        } else {
            fit.width = available.width;
        }
    } else if (width < height) {
        double ratio = static_cast<double>(height) / width;
        fit.width = roundHalfUp(available.height / ratio);
        if (fit.width > available.width) {
            fit.width = available.width;
            fit.height = roundHalfUp(ratio * available.width);
        } else {
            fit.height = available.height;
        }
    } else {
        // A square takes the available height, unless the area is taller than
        // wide: then the width bounds it, or the picture would not fit.
        fit.width = fit.height = std::min(available.width, available.height);
    }
    return fit;
}

int32_t lockedHeightForWidth(int32_t newWidth, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return newWidth;
    return roundHalfUp(newWidth * (static_cast<double>(height) / width));
}

int32_t lockedWidthForHeight(int32_t newHeight, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return newHeight;
    return roundHalfUp(newHeight * (static_cast<double>(width) / height));
}

} // namespace pictorand
