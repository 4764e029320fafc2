#include "codecs/png/png_image_data.h"

#include "codecs/common/alpha_composite.h"
#include "codecs/common/pixel_order.h"
#include "codecs/png/png_filter.h"
#include "core/checked_size.h"
#include "core/large_buffer.h"
#include "core/sample_scale.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pictorand::png_image_data {

namespace {

enum ColourType : int { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, RgbAlpha = 6 };

struct Pass {
    uint32_t x0, y0, dx, dy;
};
constexpr std::array<Pass, 7> kAdam7 = {{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                         {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};
constexpr Pass kWhole = {0, 0, 1, 1};

uint32_t samplesPerPixel(int colourType)
{
    switch (colourType) {
    case Rgb:
        return 3;
    case GreyAlpha:
        return 2;
    case RgbAlpha:
        return 4;
    default:
        return 1;
    }
}

uint32_t extent(uint32_t size, uint32_t start, uint32_t step) { return size > start ? (size - start + step - 1) / step : 0; }

struct PassShape {
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t rowBytes = 0; // without the filter type
};

PassShape shapeOf(const Header& header, const Pass& pass)
{
    PassShape shape;
    shape.width = extent(header.width, pass.x0, pass.dx);
    shape.height = extent(header.height, pass.y0, pass.dy);
    if (shape.width == 0 || shape.height == 0)
        return {};
    const uint64_t bits = uint64_t(shape.width) * samplesPerPixel(header.colourType) * uint64_t(header.bitDepth);
    shape.rowBytes = (bits + 7) / 8;
    return shape;
}

std::span<const Pass> passesOf(const Header& header)
{
    return header.interlaced ? std::span<const Pass>(kAdam7) : std::span<const Pass>(&kWhole, 1);
}

#if defined(__SSE2__)
inline uint32_t fourBytes(const uint8_t* from)
{
    uint32_t value;
    std::memcpy(&value, from, 4);
    return value;
}

// Assembled in a register: three byte stores to memory read back as one
// word would stall every pixel on the failed store forwarding.
template <size_t Bpp>
inline uint32_t pixelBytes(const uint8_t* from)
{
    if constexpr (Bpp == 4)
        return fourBytes(from);
    else
        return uint32_t(from[0]) | uint32_t(from[1]) << 8 | uint32_t(from[2]) << 16;
}

inline __m128i widened(uint32_t bytes)
{
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bytes)), _mm_setzero_si128());
}

inline __m128i absolute16(__m128i value) { return _mm_max_epi16(value, _mm_sub_epi16(_mm_setzero_si128(), value)); }

inline __m128i select16(__m128i mask, __m128i ifSet, __m128i otherwise)
{
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, otherwise));
}

// A three-byte pixel is read as four bytes where the row goes on past it:
// the fourth lane carries the next pixel's byte through the same steps and
// is never stored.
template <size_t Bpp>
inline __m128i loadPixel(const uint8_t* from, bool wide)
{
    return widened(wide ? fourBytes(from) : pixelBytes<Bpp>(from));
}

template <size_t Bpp>
inline void storePixel(uint8_t* to, __m128i sum)
{
    const uint32_t value = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum)));
    if constexpr (Bpp == 4) {
        std::memcpy(to, &value, 4);
    } else { // from the register, for the same reason as pixelBytes
        to[0] = static_cast<uint8_t>(value);
        to[1] = static_cast<uint8_t>(value >> 8);
        to[2] = static_cast<uint8_t>(value >> 16);
    }
}

// Paeth's chain runs from pixel to pixel, so the widest one row goes is one
// pixel's channels side by side; done branch-free, that is still several
// times the scalar loop, whose branches photographs make unpredictable. The
// first pixel falls out of the same steps with left and above-left at zero.
class PaethChain {
public:
    __m128i next(__m128i up, __m128i filtered)
    {
        const __m128i toLeftSigned = _mm_sub_epi16(up, m_aboveLeft);
        const __m128i toAboveSigned = _mm_sub_epi16(m_left, m_aboveLeft);
        const __m128i toLeft = absolute16(toLeftSigned);
        const __m128i toAbove = absolute16(toAboveSigned);
        const __m128i toAboveLeft = absolute16(_mm_add_epi16(toLeftSigned, toAboveSigned));
        const __m128i smallest = _mm_min_epi16(toAboveLeft, _mm_min_epi16(toLeft, toAbove));
        const __m128i nearest = select16(_mm_cmpeq_epi16(smallest, toLeft), m_left,
                                         select16(_mm_cmpeq_epi16(smallest, toAbove), up, m_aboveLeft));
        // Bytes add without carrying into the (zero) high byte of each lane.
        m_left = _mm_add_epi8(nearest, filtered);
        m_aboveLeft = up;
        return m_left;
    }

private:
    __m128i m_left = _mm_setzero_si128();
    __m128i m_aboveLeft = _mm_setzero_si128();
};

template <size_t Bpp>
void unpaethPixelWise(uint8_t* row, const uint8_t* above, size_t size)
{
    PaethChain chain;
    for (size_t i = 0; i + Bpp <= size; i += Bpp) {
        const bool wide = i + 4 <= size;
        storePixel<Bpp>(row + i, chain.next(loadPixel<Bpp>(above + i, wide), loadPixel<Bpp>(row + i, wide)));
    }
}

// Two Paeth rows at once, the second a pixel behind the first: the pixels
// above it are the first row's results, still in registers, and two chains
// keep the processor busy where one waits on its own latency.
template <size_t Bpp>
void unpaethTwoRows(uint8_t* first, uint8_t* second, const uint8_t* above, size_t size)
{
    PaethChain upper;
    PaethChain lower;
    __m128i done = _mm_setzero_si128();
    for (size_t i = 0; i + Bpp <= size; i += Bpp) {
        const bool wide = i + 4 <= size;
        const __m128i result = upper.next(loadPixel<Bpp>(above + i, wide), loadPixel<Bpp>(first + i, wide));
        storePixel<Bpp>(first + i, result);
        if (i > 0)
            storePixel<Bpp>(second + i - Bpp, lower.next(done, loadPixel<Bpp>(second + i - Bpp, true)));
        done = result;
    }
    if (size >= Bpp)
        storePixel<Bpp>(second + size - Bpp, lower.next(done, loadPixel<Bpp>(second + size - Bpp, false)));
}
#endif

// Undoes one row's filter in place; `above` is the unfiltered row above, or
// zeros. The byte count per pixel is a template argument so that the loops
// carry no variable stride.
template <size_t Bpp>
void unfilterRow(uint8_t type, uint8_t* row, const uint8_t* above, size_t size)
{
    switch (type) {
    case 1:
        for (size_t i = Bpp; i < size; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - Bpp]);
        break;
    case 2:
        for (size_t i = 0; i < size; ++i)
            row[i] = static_cast<uint8_t>(row[i] + above[i]);
        break;
    case 3:
        for (size_t i = 0; i < std::min(Bpp, size); ++i)
            row[i] = static_cast<uint8_t>(row[i] + (above[i] >> 1));
        for (size_t i = Bpp; i < size; ++i)
            row[i] = static_cast<uint8_t>(row[i] + ((row[i - Bpp] + above[i]) >> 1));
        break;
    case 4:
#if defined(__SSE2__)
        if constexpr (Bpp == 3 || Bpp == 4) {
            unpaethPixelWise<Bpp>(row, above, size);
            break;
        }
#endif
        for (size_t i = 0; i < std::min(Bpp, size); ++i)
            row[i] = static_cast<uint8_t>(row[i] + above[i]);
        for (size_t i = Bpp; i < size; ++i)
            row[i] = static_cast<uint8_t>(row[i] + paethPredictor(row[i - Bpp], above[i], above[i - Bpp]));
        break;
    default:
        break;
    }
}

using Unfilter = void (*)(uint8_t, uint8_t*, const uint8_t*, size_t);
using UnpaethTwo = void (*)(uint8_t*, uint8_t*, const uint8_t*, size_t);

// Null where pairs of rows go one by one.
UnpaethTwo unpaethTwoFor([[maybe_unused]] size_t bytesPerPixel)
{
#if defined(__SSE2__)
    if (bytesPerPixel == 3)
        return unpaethTwoRows<3>;
    if (bytesPerPixel == 4)
        return unpaethTwoRows<4>;
#endif
    return nullptr;
}

Unfilter unfilterFor(size_t bytesPerPixel)
{
    switch (bytesPerPixel) {
    case 2:
        return unfilterRow<2>;
    case 3:
        return unfilterRow<3>;
    case 4:
        return unfilterRow<4>;
    case 6:
        return unfilterRow<6>;
    case 8:
        return unfilterRow<8>;
    default:
        return unfilterRow<1>;
    }
}

bool keepsSixteenBits(const Header& header) { return header.sixteenBitSamples && header.bitDepth == 16; }

// Bits per pixel of a block row, as the reader's transforms leave it.
uint32_t outputBits(const Header& header)
{
    if (keepsSixteenBits(header))
        return 48;
    switch (header.colourType) {
    case Rgb:
        return 24;
    case RgbAlpha:
        return 32;
    case GreyAlpha:
        return 8;
    default:
        return header.bitDepth == 1 || header.bitDepth == 4 ? uint32_t(header.bitDepth) : 8;
    }
}

// A 16-bit sample to 8 bits, rounded.
inline uint8_t sample16(const uint8_t* big) { return toEightBits(unsigned(big[0]) << 8 | big[1], 65535); }
inline uint16_t raw16(const uint8_t* big) { return static_cast<uint16_t>(big[0] << 8 | big[1]); }
// A 16-bit sample over white at 16-bit precision.
inline uint16_t deepOverWhite(const uint8_t* value, const uint8_t* alpha)
{
    const uint64_t a = raw16(alpha);
    return static_cast<uint16_t>((raw16(value) * a + 65535 * (65535 - a) + 32767) / 65535);
}
// The same to 8 bits: rounding before compositing would be up to two levels
// off.
inline uint8_t overWhite16(const uint8_t* value, const uint8_t* alpha)
{
    return static_cast<uint8_t>((deepOverWhite(value, alpha) + 128) / 257);
}

// A 16-bit row kept whole: each pixel's blue, green and red (grey in all
// three), over white where the file has alpha, white for the tRNS colour.
void convertDeepRow(const Header& header, const uint8_t* in, uint32_t pixels, uint8_t* out)
{
    const uint32_t samples = samplesPerPixel(header.colourType);
    const bool alpha = header.colourType == GreyAlpha || header.colourType == RgbAlpha;
    const uint32_t colours = alpha ? samples - 1 : samples;
    for (uint32_t x = 0; x < pixels; ++x, in += 2 * samples, out += 6) {
        bool transparent = header.transparentColour.has_value();
        uint16_t deep[3];
        for (uint32_t c = 0; c < colours; ++c)
            transparent = transparent && raw16(in + 2 * c) == (*header.transparentColour)[c];
        for (uint32_t c = 0; c < 3; ++c) {
            const uint8_t* sample = in + 2 * (colours == 3 ? 2 - c : 0);
            deep[c] = transparent ? 65535 : alpha ? deepOverWhite(sample, in + 2 * colours) : raw16(sample);
        }
        std::memcpy(out, deep, 6);
    }
}

// The pixels of an RGB row that match the tRNS colour, white.
void whitenTransparentColour(const Header& header, const uint8_t* in, uint32_t pixels, uint8_t* out)
{
    const std::array<uint16_t, 3>& key = *header.transparentColour;
    const size_t bytes = header.bitDepth == 16 ? 2 : 1;
    for (uint32_t x = 0; x < pixels; ++x, in += 3 * bytes, out += 3) {
        const bool match = bytes == 2 ? raw16(in) == key[0] && raw16(in + 2) == key[1] && raw16(in + 4) == key[2]
                                      : in[0] == key[0] && in[1] == key[1] && in[2] == key[2];
        if (match)
            std::memset(out, 0xFF, 3);
    }
}

// One unfiltered file row to block order; packed rows get zeros past the
// last pixel, as libpng leaves the block's bits there alone.
void convertRow(const Header& header, const uint8_t* in, uint32_t pixels, uint8_t* out)
{
    const int depth = header.bitDepth;
    if (keepsSixteenBits(header)) {
        convertDeepRow(header, in, pixels, out);
        return;
    }
    switch (header.colourType) {
    case Rgb:
        if (depth == 8) {
            copySwappingRedBlue(in, out, pixels);
        } else {
            for (uint32_t x = 0; x < pixels; ++x) {
                const uint8_t* p = in + size_t(x) * 6;
                uint8_t* q = out + size_t(x) * 3;
                q[0] = sample16(p + 4);
                q[1] = sample16(p + 2);
                q[2] = sample16(p);
            }
        }
        if (header.transparentColour)
            whitenTransparentColour(header, in, pixels, out);
        return;
    case RgbAlpha:
        // The colour over white; the alpha byte stays for the record.
        for (uint32_t x = 0; x < pixels; ++x, out += 4) {
            if (depth == 8) {
                const uint8_t* p = in + size_t(x) * 4;
                out[0] = overWhite(p[2], p[3]);
                out[1] = overWhite(p[1], p[3]);
                out[2] = overWhite(p[0], p[3]);
                out[3] = p[3];
            } else {
                const uint8_t* p = in + size_t(x) * 8;
                out[0] = overWhite16(p + 4, p + 6);
                out[1] = overWhite16(p + 2, p + 6);
                out[2] = overWhite16(p, p + 6);
                out[3] = sample16(p + 6);
            }
        }
        return;
    case GreyAlpha:
        for (uint32_t x = 0; x < pixels; ++x)
            out[x] = depth == 8 ? overWhite(in[2 * x], in[2 * x + 1])
                                : overWhite16(in + 4 * size_t(x), in + 4 * size_t(x) + 2);
        return;
    default:
        break;
    }
    if (depth == 16) {
        for (uint32_t x = 0; x < pixels; ++x)
            out[x] = header.transparentColour && raw16(in + 2 * size_t(x)) == (*header.transparentColour)[0]
                ? 255
                : sample16(in + 2 * size_t(x));
    } else if (depth == 2) {
        for (uint32_t x = 0; x < pixels; ++x)
            out[x] = static_cast<uint8_t>((in[x / 4] >> (6 - 2 * (x % 4))) & 3);
    } else {
        const uint64_t bits = uint64_t(pixels) * unsigned(depth);
        std::memcpy(out, in, (bits + 7) / 8);
        if (bits % 8)
            out[bits / 8] = static_cast<uint8_t>(out[bits / 8] & (0xFF00u >> (bits % 8)));
    }
}

// Puts the pixels of a converted pass row at their places in a block row.
void placePassRow(const uint8_t* passRow, uint32_t pixels, const Pass& pass, uint32_t bits, uint8_t* target)
{
    if (bits >= 8) {
        const uint32_t bytes = bits / 8;
        for (uint32_t i = 0; i < pixels; ++i)
            std::memcpy(target + size_t(pass.x0 + i * pass.dx) * bytes, passRow + size_t(i) * bytes, bytes);
        return;
    }
    const uint32_t perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (uint32_t i = 0; i < pixels; ++i) {
        const unsigned value = (passRow[i / perByte] >> (8 - bits - bits * (i % perByte))) & mask;
        const uint32_t x = pass.x0 + i * pass.dx;
        const unsigned shift = 8 - bits - bits * (x % perByte);
        uint8_t& byte = target[x / perByte];
        byte = static_cast<uint8_t>((byte & ~(mask << shift)) | (value << shift));
    }
}

bool inflate(std::span<const uint8_t> stream, uint8_t* out, size_t size)
{
    // zlib's header: deflate, a window of at most 32 KiB, no preset
    // dictionary, and the check that makes the two bytes a multiple of 31.
    if (stream.size() < 2)
        return false;
    const uint8_t method = stream[0];
    const uint8_t flags = stream[1];
    if ((method & 0x0F) != 8 || (method >> 4) > 7 || (flags & 0x20) || (method * 256u + flags) % 31 != 0)
        return false;
    struct Free {
        void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
    };
    std::unique_ptr<libdeflate_decompressor, Free> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor)
        return false;
    size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        decompressor.get(), stream.data() + 2, stream.size() - 2, out, size, nullptr, &produced);
    return result == LIBDEFLATE_SUCCESS && produced == size;
}

} // namespace

std::optional<uint64_t> filteredSize(const Header& header)
{
    uint64_t total = 0;
    for (const Pass& pass : passesOf(header)) {
        const PassShape shape = shapeOf(header, pass);
        if (shape.height == 0)
            continue;
        auto sum = checkedMulAdd(shape.rowBytes + 1, shape.height, total);
        if (!sum)
            return std::nullopt;
        total = *sum;
    }
    return total;
}

Outcome decode(const Header& header, std::span<const uint8_t> stream, ImageBlock& block)
{
    const std::optional<uint64_t> size = filteredSize(header);
    if (!size)
        return Outcome::OutOfMemory;
    if (*size == 0)
        return Outcome::Damaged;
    // Inflated whole or refused: pages a picture freed lately will do.
    LargeBuffer filtered = LargeBuffer::allocateForOverwrite(static_cast<size_t>(*size));
    const uint32_t bits = outputBits(header);
    // A pass row converted, before its pixels go to their places; and the
    // zeros above each pass's first row.
    LargeBuffer passRow;
    LargeBuffer zeros = LargeBuffer::allocate(static_cast<size_t>(shapeOf(header, kWhole).rowBytes));
    if (header.interlaced)
        passRow = LargeBuffer::allocate(static_cast<size_t>(block.rowSize()));
    if (!filtered || !zeros || (header.interlaced && !passRow))
        return Outcome::OutOfMemory;
    if (!inflate(stream, filtered.data(), filtered.size()))
        return Outcome::Damaged;

    const uint32_t bitsPerPixel = samplesPerPixel(header.colourType) * uint32_t(header.bitDepth);
    const Unfilter unfilter = unfilterFor(std::max<uint32_t>(bitsPerPixel / 8, 1));
    const UnpaethTwo unpaethTwo = unpaethTwoFor(bitsPerPixel / 8);
    uint8_t* line = filtered.data();
    for (const Pass& pass : passesOf(header)) {
        const PassShape shape = shapeOf(header, pass);
        const size_t rowBytes = static_cast<size_t>(shape.rowBytes);
        auto store = [&](const uint8_t* row, uint32_t y) {
            uint8_t* target = block.topRow(static_cast<int32_t>(pass.y0 + y * pass.dy));
            if (header.interlaced) {
                convertRow(header, row, shape.width, passRow.data());
                placePassRow(passRow.data(), shape.width, pass, bits, target);
            } else {
                convertRow(header, row, shape.width, target);
            }
        };
        const uint8_t* above = zeros.data();
        for (uint32_t y = 0; y < shape.height; ++y) {
            const uint8_t type = line[0];
            if (type > 4)
                return Outcome::Damaged;
            uint8_t* row = line + 1;
            uint8_t* next = row + rowBytes + 1;
            if (type == 4 && unpaethTwo && y + 1 < shape.height && next[-1] == 4) {
                unpaethTwo(row, next, above, rowBytes);
                store(row, y);
                store(next, ++y);
                above = next;
                line = next + rowBytes;
                continue;
            }
            unfilter(type, row, above, rowBytes);
            store(row, y);
            above = row;
            line += rowBytes + 1;
        }
    }
    return Outcome::Decoded;
}

} // namespace pictorand::png_image_data
