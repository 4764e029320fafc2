#include "ops/resize.h"

#include "core/checked_size.h"
#include "core/large_buffer.h"
#include "ops/derived_block.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pictorand {

namespace {

int32_t atLeastOne(int32_t value) { return value < 1 ? 1 : value; }

// Walks position(i) = i * from / to for i = 0, 1, 2, ...: the source pixel
// (or row) that output pixel i takes. Stepping by the quotient and carrying
// the remainder gives exactly the quotients of the division, and needs no
// table as long as the output row (which for a 1-bit picture can be 32 times
// smaller than a table of it).
class Positions {
public:
    Positions(uint32_t from, uint32_t to) : m_whole(from / to), m_part(from % to), m_to(to) {}
    uint32_t current() const { return m_current; }
    void next()
    {
        m_current += m_whole;
        m_remainder += m_part;
        if (m_remainder >= m_to) {
            m_remainder -= m_to;
            ++m_current;
        }
    }

private:
    uint32_t m_whole;
    uint32_t m_part;
    uint32_t m_to;
    uint32_t m_current = 0;
    uint32_t m_remainder = 0;
};

void resizeRow1(const uint8_t* source, uint8_t* target, uint32_t oldWidth, uint32_t width)
{
    Positions position(oldWidth, width);
    unsigned byte = 0;
    uint32_t i = 0;
    for (; i < width; ++i, position.next()) {
        uint32_t p = position.current();
        byte = (byte << 1) | ((source[p >> 3] >> (7 - (p & 7))) & 1u);
        if ((i & 7) == 7) {
            target[i >> 3] = static_cast<uint8_t>(byte);
            byte = 0;
        }
    }
    if (i & 7)
        target[i >> 3] = static_cast<uint8_t>(byte << (8 - (i & 7)));
}

void resizeRow4(const uint8_t* source, uint8_t* target, uint32_t oldWidth, uint32_t width)
{
    Positions position(oldWidth, width);
    for (uint32_t i = 0; i < width; ++i, position.next()) {
        uint32_t p = position.current();
        unsigned nibble = (p & 1) ? source[p >> 1] & 0x0Fu : unsigned(source[p >> 1] >> 4);
        if (i & 1)
            target[i >> 1] = static_cast<uint8_t>(target[i >> 1] | nibble);
        else
            target[i >> 1] = static_cast<uint8_t>(nibble << 4);
    }
}

void resizeRow8(const uint8_t* source, uint8_t* target, uint32_t oldWidth, uint32_t width)
{
    Positions position(oldWidth, width);
    for (uint32_t i = 0; i < width; ++i, position.next())
        target[i] = source[position.current()];
}

void resizeRow24(const uint8_t* source, uint8_t* target, uint32_t oldWidth, uint32_t width)
{
    Positions position(oldWidth, width);
    for (uint32_t i = 0; i < width; ++i, position.next(), target += 3) {
        const uint8_t* pixel = source + size_t(3) * position.current();
        target[0] = pixel[0];
        target[1] = pixel[1];
        target[2] = pixel[2];
    }
}

} // namespace

Result<ImageBlock> resizeBlock(const ImageBlock& source, int32_t newWidth, int32_t newHeight)
{
    if (!isUsableBlock(source))
        return badArgument();
    uint16_t bits = source.bitCount();
    void (*copyRow)(const uint8_t*, uint8_t*, uint32_t, uint32_t) = nullptr;
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
        return badArgument();
    }
    newWidth = atLeastOne(newWidth);
    newHeight = atLeastOne(newHeight);
    auto oldWidth = static_cast<uint32_t>(source.width());
    auto oldHeight = static_cast<uint32_t>(source.height());

    ImageBlock target = makeDerivedBlock(source, newWidth, newHeight, bits);
    if (!target)
        return outOfMemory();
    bool sameWidth = oldWidth == static_cast<uint32_t>(newWidth);
    size_t wholeRowBytes = (size_t(newWidth) * bits + 7) / 8;
    size_t targetRowSize = target.rowSize();
    size_t sourceRowSize = source.rowSize();
    const uint8_t* sourcePixels = source.pixels();
    uint8_t* targetPixels = target.pixels();

    // Output row r takes source row r * h / H; rows that take the same source
    // row as the one before are copies of it.
    Positions rows(oldHeight, static_cast<uint32_t>(newHeight));
    uint32_t previousSourceRow = std::numeric_limits<uint32_t>::max();
    for (uint32_t r = 0; r < static_cast<uint32_t>(newHeight); ++r, rows.next()) {
        const uint32_t sourceRow = rows.current();
        uint8_t* out = targetPixels + targetRowSize * r;
        if (sourceRow == previousSourceRow) {
            std::memcpy(out, out - targetRowSize, wholeRowBytes);
        } else {
            const uint8_t* in = sourcePixels + sourceRowSize * sourceRow;
            if (sameWidth)
                std::memcpy(out, in, wholeRowBytes);
            else
                copyRow(in, out, oldWidth, static_cast<uint32_t>(newWidth));
            previousSourceRow = sourceRow;
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

// The vertical pass is a multiply-add over whole rows; SSE2 (always there on
// x86-64) does sixteen samples at a time. Weights are at most 4096, so the
// 16 x 16-bit products are formed exactly from their low and high halves.
#if defined(__SSE2__)
struct Products {
    __m128i part[4];
};

inline Products weighted(const uint8_t* row, __m128i weight)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    __m128i low = _mm_unpacklo_epi8(samples, zero);
    __m128i high = _mm_unpackhi_epi8(samples, zero);
    __m128i lowLow = _mm_mullo_epi16(low, weight);
    __m128i lowHigh = _mm_mulhi_epu16(low, weight);
    __m128i highLow = _mm_mullo_epi16(high, weight);
    __m128i highHigh = _mm_mulhi_epu16(high, weight);
    return {{_mm_unpacklo_epi16(lowLow, lowHigh), _mm_unpackhi_epi16(lowLow, lowHigh),
             _mm_unpacklo_epi16(highLow, highHigh), _mm_unpackhi_epi16(highLow, highHigh)}};
}

inline __m128i* vectorAt(uint32_t* accumulator, size_t i) { return reinterpret_cast<__m128i*>(accumulator + i); }
inline const __m128i* vectorAt(const uint32_t* accumulator, size_t i)
{
    return reinterpret_cast<const __m128i*>(accumulator + i);
}
#endif

// accumulator[i] = 2048 + weight * row[i]
void startSums(uint32_t* accumulator, const uint8_t* row, uint32_t weight, size_t count)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i weights = _mm_set1_epi16(static_cast<short>(weight));
    const __m128i half = _mm_set1_epi32(kHalf);
    for (; i + 16 <= count; i += 16) {
        Products p = weighted(row + i, weights);
        for (int k = 0; k < 4; ++k)
            _mm_storeu_si128(vectorAt(accumulator, i + 4 * k), _mm_add_epi32(half, p.part[k]));
    }
#endif
    for (; i < count; ++i)
        accumulator[i] = kHalf + weight * row[i];
}

// accumulator[i] += weight * row[i]
void addToSums(uint32_t* accumulator, const uint8_t* row, uint32_t weight, size_t count)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i weights = _mm_set1_epi16(static_cast<short>(weight));
    for (; i + 16 <= count; i += 16) {
        Products p = weighted(row + i, weights);
        for (int k = 0; k < 4; ++k) {
            __m128i* sum = vectorAt(accumulator, i + 4 * k);
            _mm_storeu_si128(sum, _mm_add_epi32(_mm_loadu_si128(sum), p.part[k]));
        }
    }
#endif
    for (; i < count; ++i)
        accumulator[i] += weight * row[i];
}

// out[i] = (accumulator[i] + weight * row[i]) / 4096, clamped.
void finishSums(const uint32_t* accumulator, const uint8_t* row, uint32_t weight, uint8_t* out, size_t count)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i weights = _mm_set1_epi16(static_cast<short>(weight));
    for (; i + 16 <= count; i += 16) {
        Products p = weighted(row + i, weights);
        __m128i results[4];
        for (int k = 0; k < 4; ++k)
            results[k] = _mm_srli_epi32(_mm_add_epi32(_mm_loadu_si128(vectorAt(accumulator, i + 4 * k)), p.part[k]), 12);
        // Sums stay below 2^31, so the signed packs clamp to 0 .. 255 as wanted.
        __m128i packed = _mm_packus_epi16(_mm_packs_epi32(results[0], results[1]), _mm_packs_epi32(results[2], results[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
    }
#endif
    for (; i < count; ++i)
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

// resampleRow<3> for shrinking (factor below 4096, so a source pixel
// completes at most one output pixel), with blue, green and red summed in one
// 64-bit word: 21-bit lanes hold 2048 + 4096 * 255 without carrying into
// each other, and one multiply weighs all three.
void shrinkRow24(const uint8_t* in, uint32_t inWidth, uint8_t* out, uint32_t outWidth, uint32_t factor)
{
    constexpr uint64_t kLane = 0x1FFFFF;
    constexpr uint64_t kHalves = uint64_t(kHalf) | (uint64_t(kHalf) << 21) | (uint64_t(kHalf) << 42);
    auto pack = [](const uint8_t* pixel) {
        return uint64_t(pixel[0]) | (uint64_t(pixel[1]) << 21) | (uint64_t(pixel[2]) << 42);
    };
    uint64_t sums = kHalves;
    uint32_t room = kWhole;
    uint32_t written = 0;
    for (uint32_t x = 0; x < inWidth; ++x, in += 3) {
        uint64_t pixel = pack(in);
        if (factor < room) {
            sums += factor * pixel;
            room -= factor;
            continue;
        }
        uint64_t total = sums + room * pixel;
        out[0] = finished(static_cast<uint32_t>(total & kLane));
        out[1] = finished(static_cast<uint32_t>((total >> 21) & kLane));
        out[2] = finished(static_cast<uint32_t>(total >> 42));
        out += 3;
        if (++written == outWidth)
            return;
        uint32_t rest = factor - room;
        sums = kHalves + rest * pixel;
        room = kWhole - rest;
    }
    const uint8_t* last = in - 3;
    uint64_t total = sums + room * pack(last);
    out[0] = finished(static_cast<uint32_t>(total & kLane));
    out[1] = finished(static_cast<uint32_t>((total >> 21) & kLane));
    out[2] = finished(static_cast<uint32_t>(total >> 42));
    out += 3;
    for (++written; written < outWidth; ++written, out += 3) {
        out[0] = last[0];
        out[1] = last[1];
        out[2] = last[2];
    }
}

} // namespace

Result<ImageBlock> resampleBlock(const ImageBlock& source, int32_t newWidth, int32_t newHeight)
{
    if (!isUsableBlock(source))
        return badArgument();
    uint16_t bits = source.bitCount();
    if (bits != 8 && bits != 24)
        return badArgument();
    const uint32_t channels = bits / 8;
    newWidth = atLeastOne(newWidth);
    newHeight = atLeastOne(newHeight);
    auto oldWidth = static_cast<uint32_t>(source.width());
    auto oldHeight = static_cast<uint32_t>(source.height());

    ImageBlock target = makeDerivedBlock(source, newWidth, newHeight, bits);
    if (!target)
        return outOfMemory();

    size_t samples = size_t(oldWidth) * channels;
    LargeBuffer sumBuffer = LargeBuffer::allocate(samples * sizeof(uint32_t));
    LargeBuffer intermediateBuffer = LargeBuffer::allocate(samples);
    if (!sumBuffer || !intermediateBuffer)
        return outOfMemory();
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
        else if (channels == 3 && horizontalFactor < kWhole)
            shrinkRow24(vertical, oldWidth, out, static_cast<uint32_t>(newWidth), horizontalFactor);
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
    // A very long, thin picture would round a side to nothing: a fitted
    // picture keeps at least one pixel in each direction.
    fit.width = std::max(fit.width, 1);
    fit.height = std::max(fit.height, 1);
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
