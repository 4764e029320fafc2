#include "codecs/common/alpha_composite.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/library_pixels.h"
#include "codecs/tiff/tiff.h"
#include "codecs/tiff/tiff_glue.h"

#include "codecs/common/pixel_order.h"
#include "core/checked_size.h"
#include "core/large_buffer.h"
#include "core/sample_scale.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace pictorand {

const char* tiffCompressionText(uint32_t compressionTag)
{
    switch (compressionTag) {
    case 2: return "Huffman RLE";
    case 3: return "Group 3 Fax Encoding";
    case 4: return "Group 4 Fax Encoding";
    case 5: return "LZW";
    case 6: return "Old JPEG (in TIFF)";
    case 7: return "JPEG (in TIFF)";
    case 32766: return "NeXT 2-Bit RLE";
    case 32771: return kRunLengthEncoding;
    case 32773: return "Macintosh Packbits";
    case 32809: return "ThunderScan RLE";
    case 8:
    case 32946: return "ZIP (in TIFF)";
    default: return "None";
    }
}

namespace {

// How a page's pixels reach the block.
enum class PixelPath {
    Indexed,      // 1, 4 or 8 bits, one sample: scanlines copied as they come
    IndexedTiles, // the same from tiles, so tiled pictures keep their indexes
    Grey,         // grey with 16-bit samples or extra samples: an 8-bit grey block
    Colour,       // 3 or more samples of 8 or 16 bits: 8-bit blue, green, red at the start of each pixel
    PaletteAlpha, // an 8-bit index and an alpha sample: the map's colours over white, 24 bits
    PaletteAlphaPieces, // the same from tiles or separate planes
    Planes,       // grey or RGB(A) of 8 or 16 bits in separate planes, a plane at a time
    DeepPieces,   // 16-bit grey or RGB(A) kept whole, from tiles or separate planes
    Rgba,         // the library's RGBA reader: YCbCr, Lab, tiled colour, and every odd layout
};

struct PageFields {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerSample = 1;
    uint16_t samplesPerPixel = 1;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE;
    bool tiled = false;
    uint32_t tileWidth = 0;
    // The first extra sample is alpha: colour is composited over white.
    enum class Alpha { None, Associated, Unassociated } alpha = Alpha::None;
};

struct Layout {
    PixelPath path = PixelPath::Rgba;
    uint16_t bitCount = 24;
    uint32_t colours = 0;
    uint32_t pixelStep = 3; // bytes per pixel written by the Colour and Rgba paths
    std::array<ColorEntry, 256> palette{}; // the PaletteAlpha path's map
    // Colour or DeepPieces: a 16-bit grey or RGB page kept whole, a 48-bit
    // block of blue, green and red (grey in all three) over white.
    bool sixteenBitSamples = false;
};

// The block a page becomes. The block's bit count is bits per sample times
// samples per pixel wherever the rest of the program can use that (1, 4, 8,
// 24, and the transient 32, 40, 48 and 64 the load normalisation reduces);
// other layouts are made to look right rather than kept bit for bit.
Layout layoutFor(const PageFields& page, bool sixteenBitSamples)
{
    const uint16_t bits = page.bitsPerSample;
    const uint16_t samples = page.samplesPerPixel;
    const bool colourPhotometric = page.photometric == PHOTOMETRIC_YCBCR || page.photometric == PHOTOMETRIC_CIELAB;
    // With one sample the planar configuration changes nothing.
    const bool planar = page.planar == PLANARCONFIG_SEPARATE && samples > 1;
    const bool needsRgba = planar || colourPhotometric || page.tiled;
    // Planar strips are read plane by plane, row by row: a huge page then
    // needs its block and one row, not the library's whole-strip buffers.
    const bool byPlanes = planar && !page.tiled
        && (page.photometric == PHOTOMETRIC_RGB || page.photometric == PHOTOMETRIC_MINISBLACK
            || page.photometric == PHOTOMETRIC_MINISWHITE);
    Layout layout;
    // The library's RGBA reader skips a palette picture's alpha sample, so
    // index and alpha pairs are blended here.
    if (page.photometric == PHOTOMETRIC_PALETTE && samples == 2 && bits == 8 && page.alpha != PageFields::Alpha::None) {
        layout.path = planar || page.tiled ? PixelPath::PaletteAlphaPieces : PixelPath::PaletteAlpha;
        return layout;
    }
    const bool grey = page.photometric == PHOTOMETRIC_MINISBLACK || page.photometric == PHOTOMETRIC_MINISWHITE;
    // A page whose 48-bit block would pass the block limit is rounded.
    if (sixteenBitSamples && bits == 16 && (grey || (page.photometric == PHOTOMETRIC_RGB && samples >= 3))
        && ImageBlock::sizeFor(page.width, page.height, 48, 0)) {
        layout.path = planar || page.tiled ? PixelPath::DeepPieces : PixelPath::Colour;
        layout.bitCount = 48;
        layout.pixelStep = 6;
        layout.sixteenBitSamples = true;
        return layout;
    }
    if (samples == 1 && (bits == 1 || bits == 4 || bits == 8) && !colourPhotometric) {
        layout.bitCount = bits;
        layout.colours = 1u << bits;
        if (!page.tiled) {
            layout.path = PixelPath::Indexed;
            return layout;
        }
        // Tiles are copied byte-wise, so their width must fall on bytes.
        if (page.tileWidth > 0 && (uint64_t(page.tileWidth) * bits) % 8 == 0) {
            layout.path = PixelPath::IndexedTiles;
            return layout;
        }
    } else if (samples <= 2 && (bits == 8 || bits == 16)
               && (page.photometric == PHOTOMETRIC_MINISBLACK || page.photometric == PHOTOMETRIC_MINISWHITE)) {
        layout.path = byPlanes ? PixelPath::Planes : needsRgba ? PixelPath::Rgba : PixelPath::Grey;
        layout.bitCount = 8;
        layout.colours = 256;
        layout.pixelStep = 1;
        return layout;
    } else if (samples >= 3 && (bits == 8 || bits == 16)) {
        layout.path = byPlanes ? PixelPath::Planes : needsRgba ? PixelPath::Rgba : PixelPath::Colour;
        if ((bits == 8 && samples <= 5) || (bits == 16 && samples <= 4)) {
            layout.bitCount = static_cast<uint16_t>(bits * samples);
            layout.pixelStep = samples;
        } else {
            layout.path = PixelPath::Rgba;
        }
        return layout;
    }
    // Everything else (2- and 12-bit samples, 16-bit palettes, 1-bit colour
    // ...) goes through the RGBA reader into a 24-bit block.
    layout = Layout{};
    return layout;
}

uint8_t toGrey(uint32_t index, uint32_t count, bool minIsWhite)
{
    uint32_t step = 255 / (count - 1);
    return static_cast<uint8_t>(step * (minIsWhite ? count - 1 - index : index));
}

// The first `count` entries of a palette page's map; false when the page has
// none. Maps are 16-bit, but some writers store 8-bit values in them; those
// are used as they stand.
bool readColourMap(TIFF* tiff, const PageFields& page, uint32_t count, std::span<ColorEntry> entries)
{
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (page.photometric != PHOTOMETRIC_PALETTE || !TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red
        || !green || !blue)
        return false;
    count = std::min<uint32_t>(count, static_cast<uint32_t>(entries.size()));
    // The library holds 2^bits entries of each.
    if (page.bitsPerSample < 32)
        count = std::min<uint32_t>(count, uint32_t(1) << std::min<uint16_t>(page.bitsPerSample, 16));
    bool sixteenBit = false;
    for (uint32_t i = 0; i < count; ++i)
        if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256)
            sixteenBit = true;
    auto scale = [sixteenBit](uint16_t value) {
        return static_cast<uint8_t>(sixteenBit ? uint32_t(value) * 255 / 65535 : value);
    };
    for (uint32_t i = 0; i < count; ++i)
        entries[i] = ColorEntry{scale(blue[i]), scale(green[i]), scale(red[i]), 0};
    return true;
}

void fillColourTable(TIFF* tiff, const PageFields& page, const Layout& layout, ImageBlock& block)
{
    const uint32_t count = layout.colours;
    if (layout.path == PixelPath::Grey || layout.path == PixelPath::Planes || layout.path == PixelPath::Rgba) {
        // The RGBA reader has already turned min-is-white around.
        bool minIsWhite = layout.path != PixelPath::Rgba && page.photometric == PHOTOMETRIC_MINISWHITE;
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t grey = toGrey(i, count, minIsWhite);
            block.setColor(i, grey, grey, grey);
        }
        return;
    }
    std::array<ColorEntry, 256> map{};
    const bool haveMap = readColourMap(tiff, page, count, map);
    if (page.bitsPerSample == 1 && !haveMap) {
        bool minIsBlack = page.photometric == PHOTOMETRIC_MINISBLACK;
        block.setColor(0, minIsBlack ? 0 : 255, minIsBlack ? 0 : 255, minIsBlack ? 0 : 255);
        block.setColor(1, minIsBlack ? 255 : 0, minIsBlack ? 255 : 0, minIsBlack ? 255 : 0);
        return;
    }
    if (page.photometric == PHOTOMETRIC_MINISWHITE || page.photometric == PHOTOMETRIC_MINISBLACK) {
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t grey = toGrey(i, count, page.photometric == PHOTOMETRIC_MINISWHITE);
            block.setColor(i, grey, grey, grey);
        }
        return;
    }
    if (!haveMap)
        return; // other photometric values leave the table black
    for (uint32_t i = 0; i < count; ++i)
        block.setColor(i, map[i].red, map[i].green, map[i].blue);
}

inline uint16_t sample16(const uint8_t* samples, uint32_t index)
{
    uint16_t value;
    std::memcpy(&value, samples + size_t(index) * 2, 2); // the library hands samples over in host order
    return value;
}

// A sample at 8 bits; 16-bit ones rounded.
inline uint8_t sample8(const uint8_t* samples, uint32_t index, uint16_t bits)
{
    if (bits == 8)
        return samples[index];
    return toEightBits(sample16(samples, index), 65535);
}

// Sample `index` composited over white with the alpha sample `alphaIndex`,
// at the samples' own precision. Associated (premultiplied) colour already
// holds value * alpha: white adds (1 - alpha).
inline uint64_t mixOverWhite(uint64_t value, uint64_t opacity, uint64_t maximum, PageFields::Alpha alpha)
{
    return alpha == PageFields::Alpha::Associated ? std::min(maximum, value + (maximum - opacity))
                                                  : (value * opacity + maximum * (maximum - opacity) + maximum / 2) / maximum;
}

// With `minIsWhite`, grey samples that the colour table turns round later:
// white paper is 0 in them, so they are mixed over 0.
inline uint8_t sampleOverWhite(const uint8_t* samples, uint32_t index, uint32_t alphaIndex, uint16_t bits,
                               PageFields::Alpha alpha, bool minIsWhite = false)
{
    const uint64_t maximum = bits == 8 ? 255 : 65535;
    const uint64_t value = bits == 8 ? samples[index] : sample16(samples, index);
    const uint64_t opacity = bits == 8 ? samples[alphaIndex] : sample16(samples, alphaIndex);
    uint64_t mixed = value; // associated colour over 0 is itself
    if (!minIsWhite)
        mixed = mixOverWhite(value, opacity, maximum, alpha);
    else if (alpha != PageFields::Alpha::Associated)
        mixed = (value * opacity + maximum / 2) / maximum;
    return static_cast<uint8_t>(bits == 8 ? mixed : (mixed + 128) / 257);
}

// A kept 16-bit colour sample, min-is-white grey turned round.
inline uint16_t deepSample(const PageFields& page, const uint8_t* samples, uint32_t index)
{
    const uint16_t value = sample16(samples, index);
    return page.photometric == PHOTOMETRIC_MINISWHITE ? static_cast<uint16_t>(65535 - value) : value;
}

uint32_t colourSamplesOf(const PageFields& page) { return page.photometric == PHOTOMETRIC_RGB ? 3 : 1; }

// `count` pixels of interleaved 16-bit samples kept whole: blue, green, red
// (grey in all three) over white.
void convertDeepPixels(const PageFields& page, const uint8_t* source, uint64_t count, uint8_t* target)
{
    const uint32_t samples = page.samplesPerPixel;
    const uint32_t colours = colourSamplesOf(page);
    for (uint64_t x = 0; x < count; ++x, target += 6) {
        const auto first = static_cast<uint32_t>(x * samples);
        uint16_t deep[3];
        for (uint32_t c = 0; c < 3; ++c) {
            const uint16_t value = deepSample(page, source, first + (colours == 3 ? 2 - c : 0));
            deep[c] = page.alpha == PageFields::Alpha::None
                ? value
                : static_cast<uint16_t>(mixOverWhite(value, sample16(source, first + colours), 65535, page.alpha));
        }
        std::memcpy(target, deep, 6);
    }
}

void convertScanline(const PageFields& page, const Layout& layout, const uint8_t* source, uint8_t* target,
                     size_t copyBytes)
{
    const uint32_t width = page.width;
    const uint16_t bits = page.bitsPerSample;
    const uint32_t samples = page.samplesPerPixel;
    switch (layout.path) {
    case PixelPath::Indexed:
        std::memcpy(target, source, copyBytes);
        break;
    case PixelPath::Grey:
        if (page.alpha != PageFields::Alpha::None && samples >= 2) {
            for (uint32_t x = 0; x < width; ++x)
                target[x] = sampleOverWhite(source, x * samples, x * samples + 1, bits, page.alpha,
                                            page.photometric == PHOTOMETRIC_MINISWHITE);
            break;
        }
        for (uint32_t x = 0; x < width; ++x)
            target[x] = sample8(source, x * samples, bits);
        break;
    case PixelPath::Colour:
        if (layout.sixteenBitSamples) {
            convertDeepPixels(page, source, width, target);
        } else if (page.photometric == PHOTOMETRIC_SEPARATED && samples >= 4) {
            for (uint32_t x = 0; x < width; ++x, target += layout.pixelStep) {
                // TIFF stores ink amounts straight (0 is no ink, whatever the
                // compression); a channel's light is (1 - ink) * (1 - black),
                // as the library's RGBA reader computes it for tiled pages.
                const unsigned paper = 255u - sample8(source, x * samples + 3, bits);
                auto light = [paper](unsigned ink) { return static_cast<uint8_t>(((255u - ink) * paper + 127u) / 255u); };
                target[0] = light(sample8(source, x * samples + 2, bits));
                target[1] = light(sample8(source, x * samples + 1, bits));
                target[2] = light(sample8(source, x * samples, bits));
            }
        } else if (bits == 8 && samples == 3) {
            copySwappingRedBlue(source, target, width);
        } else if (page.alpha != PageFields::Alpha::None && samples >= 4) {
            // The alpha sample stays in the fourth byte, for the record.
            for (uint32_t x = 0; x < width; ++x, target += layout.pixelStep) {
                uint32_t first = x * samples;
                target[0] = sampleOverWhite(source, first + 2, first + 3, bits, page.alpha);
                target[1] = sampleOverWhite(source, first + 1, first + 3, bits, page.alpha);
                target[2] = sampleOverWhite(source, first, first + 3, bits, page.alpha);
                for (uint32_t extra = 3; extra < layout.pixelStep; ++extra)
                    target[extra] = sample8(source, first + extra, bits);
            }
        } else {
            for (uint32_t x = 0; x < width; ++x, target += layout.pixelStep) {
                uint32_t first = x * samples;
                target[0] = sample8(source, first + 2, bits);
                target[1] = sample8(source, first + 1, bits);
                target[2] = sample8(source, first, bits);
                for (uint32_t extra = 3; extra < layout.pixelStep; ++extra)
                    target[extra] = sample8(source, first + extra, bits);
            }
        }
        break;
    case PixelPath::PaletteAlpha:
        // A map's colour has nothing premultiplied in it: associated alpha
        // is blended as unassociated, as ImageMagick and Pillow blend it.
        for (uint32_t x = 0; x < width; ++x, target += 3) {
            const ColorEntry& colour = layout.palette[source[x * 2]];
            const uint8_t alpha = source[x * 2 + 1];
            target[0] = overWhite(colour.blue, alpha);
            target[1] = overWhite(colour.green, alpha);
            target[2] = overWhite(colour.red, alpha);
        }
        break;
    case PixelPath::PaletteAlphaPieces:
    case PixelPath::DeepPieces:
    case PixelPath::IndexedTiles:
    case PixelPath::Planes:
    case PixelPath::Rgba:
        break;
    }
}

// Decompression dominates the load time of big LZW, deflate and PackBits files, and
// strips decode independently, so such files are read a strip at a time, on
// two threads where there are two cores, the second with its own handle on
// the file. The block comes out the same whatever the thread count, failures
// included: rows from the first strip that fails on are left black.
constexpr uint64_t kStripMinimumBytes = uint64_t(4) << 20;
constexpr uint64_t kMaxStripBytes = uint64_t(64) << 20;

struct StripReading {
    std::string path;
    uint32_t directoryOffset = 0;
    uint32_t rowsPerStrip = 0;
    uint32_t stripCount = 0;
    size_t scanlineSize = 0;
    size_t copyBytes = 0;
};

void noteFailure(std::atomic<uint32_t>& firstFailure, uint32_t strip)
{
    uint32_t expected = firstFailure.load();
    while (strip < expected && !firstFailure.compare_exchange_weak(expected, strip)) {
    }
}

// Decodes strips first, first + step, ... through `tiff`.
void decodeStrips(TIFF* tiff, const StripReading& job, const PageFields& page, const Layout& layout,
                  ImageBlock& block, uint32_t first, uint32_t step, std::atomic<uint32_t>& firstFailure) noexcept
{
    const size_t stripBytes = size_t(job.rowsPerStrip) * job.scanlineSize;
    std::vector<uint8_t> strip;
    try {
        strip.resize(stripBytes);
    } catch (...) {
        noteFailure(firstFailure, first);
        return;
    }
    for (uint32_t index = first; index < job.stripCount; index += step) {
        if (index > firstFailure.load(std::memory_order_relaxed))
            return; // past a failure nothing more is shown
        uint64_t top = uint64_t(index) * job.rowsPerStrip;
        uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(job.rowsPerStrip, page.height - top));
        tmsize_t got = TIFFReadEncodedStrip(tiff, index, strip.data(), static_cast<tmsize_t>(stripBytes));
        if (got < 0 || static_cast<uint64_t>(got) < uint64_t(rows) * job.scanlineSize) {
            noteFailure(firstFailure, index);
            return;
        }
        for (uint32_t r = 0; r < rows; ++r)
            convertScanline(page, layout, strip.data() + size_t(r) * job.scanlineSize,
                            block.topRow(static_cast<int32_t>(top + r)), job.copyBytes);
    }
}

// The same through a handle of the thread's own.
void decodeStripsOwnHandle(const StripReading& job, const PageFields& page, const Layout& layout, ImageBlock& block,
                           uint32_t first, uint32_t step, std::atomic<uint32_t>& firstFailure) noexcept
{
    try {
        std::string ignored;
        tiff_glue::TiffFile file(job.path, "r", &ignored);
        TIFF* tiff = file.get();
        if (!tiff || (job.directoryOffset != 0 && !TIFFSetSubDirectory(tiff, job.directoryOffset))) {
            noteFailure(firstFailure, first);
            return;
        }
        decodeStrips(tiff, job, page, layout, block, first, step, firstFailure);
    } catch (...) {
        noteFailure(firstFailure, first);
    }
}

// Whether a page's rows were all read; what was read of a partial one is
// shown, with a warning.
enum class Rows { Whole, Partial };

// How far the strips were read; nothing when the file is not one for reading
// by strips. `libraryWords` is where the file's handle puts what the library
// says.
std::optional<Rows> readStrips(TIFF* tiff, const StripReading& base, const PageFields& page, const Layout& layout,
                               ImageBlock& block, std::string& libraryWords)
{
    if ((page.compression != COMPRESSION_LZW && page.compression != COMPRESSION_PACKBITS
         && page.compression != COMPRESSION_ADOBE_DEFLATE && page.compression != COMPRESSION_DEFLATE)
        || page.tiled
        || (page.planar == PLANARCONFIG_SEPARATE && page.samplesPerPixel > 1))
        return std::nullopt;
    StripReading job = base;
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    job.rowsPerStrip = std::min(rowsPerStrip, page.height);
    job.stripCount = TIFFNumberOfStrips(tiff);
    if (job.rowsPerStrip == 0 || job.stripCount < 2 || uint64_t(job.stripCount) * job.rowsPerStrip < page.height
        || uint64_t(job.scanlineSize) * page.height < kStripMinimumBytes
        || uint64_t(job.scanlineSize) * job.rowsPerStrip > kMaxStripBytes)
        return std::nullopt;
    const uint32_t threads = std::min<uint32_t>(tiff_glue::stripThreadCount(), job.stripCount / 2);
    std::atomic<uint32_t> firstFailure{std::numeric_limits<uint32_t>::max()};
    std::vector<std::thread> workers;
    uint32_t started = 1;
    for (uint32_t t = 1; t < threads; ++t) {
        try {
            workers.emplace_back(decodeStripsOwnHandle, std::cref(job), std::cref(page), std::cref(layout),
                                 std::ref(block), t, threads, std::ref(firstFailure));
            ++started;
        } catch (...) {
            break;
        }
    }
    if (started < threads) {
        // No thread to be had for some strips: this one reads them all.
        for (std::thread& worker : workers)
            worker.join();
        workers.clear();
        started = 1;
        firstFailure = std::numeric_limits<uint32_t>::max();
    }
    // What the library says about the strips is dropped alike for every
    // thread count: the other threads' handles drop it, and this thread's
    // handle, which speaks into `libraryWords`, has its words taken back.
    std::string before;
    before.swap(libraryWords);
    decodeStrips(tiff, job, page, layout, block, 0, started, firstFailure);
    libraryWords.swap(before);
    for (std::thread& worker : workers)
        worker.join();
    uint32_t failed = firstFailure.load();
    if (failed == std::numeric_limits<uint32_t>::max())
        return Rows::Whole;
    for (uint64_t row = uint64_t(failed) * job.rowsPerStrip; row < page.height; ++row)
        std::memset(block.topRow(static_cast<int32_t>(row)), 0, static_cast<size_t>(block.rowSize()));
    return Rows::Partial;
}

Failure notValidTiff() { return kTiffTexts.failure(Reason::CorruptData, TiffFault::NotValid); }

Result<Rows> readScanlines(TIFF* tiff, const std::string& path, uint32_t directoryOffset, const PageFields& page,
                           const Layout& layout, ImageBlock& block, std::string& libraryWords)
{
    tmsize_t scanlineSize = TIFFScanlineSize(tiff);
    uint64_t needed = (uint64_t(page.width) * page.samplesPerPixel * page.bitsPerSample + 7) / 8;
    if (scanlineSize <= 0 || static_cast<uint64_t>(scanlineSize) < needed)
        return notValidTiff();
    size_t copyBytes = static_cast<size_t>(std::min<uint64_t>(needed, block.rowSize()));
    StripReading strips;
    strips.path = path;
    strips.directoryOffset = directoryOffset;
    strips.scanlineSize = static_cast<size_t>(scanlineSize);
    strips.copyBytes = copyBytes;
    if (std::optional<Rows> read = readStrips(tiff, strips, page, layout, block, libraryWords))
        return *read;
    std::vector<uint8_t> scanline(static_cast<size_t>(scanlineSize));
    for (uint32_t row = 0; row < page.height; ++row) {
        if (TIFFReadScanline(tiff, scanline.data(), row, 0) < 0)
            return Rows::Partial;
        convertScanline(page, layout, scanline.data(), block.topRow(static_cast<int32_t>(row)), copyBytes);
    }
    return Rows::Whole;
}

// A plane at a time, in order, so the library decodes each strip once from
// its start. Colour planes land in blue-green-red order; an alpha plane,
// which follows them, composites the row over white (at 8 bits) as it comes.
// A plane that fails keeps the rows read so far; the next plane is still read.
Result<Rows> readPlanes(TIFF* tiff, const PageFields& page, const Layout& layout, ImageBlock& block)
{
    const tmsize_t scanlineSize = TIFFScanlineSize(tiff);
    const uint64_t needed = (uint64_t(page.width) * page.bitsPerSample + 7) / 8;
    if (scanlineSize <= 0 || static_cast<uint64_t>(scanlineSize) < needed)
        return notValidTiff();
    std::vector<uint8_t> scanline(static_cast<size_t>(scanlineSize));
    const bool grey = layout.bitCount == 8;
    const uint32_t colourPlanes = grey ? 1 : 3;
    const uint32_t alphaPlane = page.alpha != PageFields::Alpha::None ? colourPlanes : UINT32_MAX;
    const uint32_t planes = std::min<uint32_t>(page.samplesPerPixel, grey ? colourPlanes + (alphaPlane != UINT32_MAX)
                                                                              : layout.pixelStep);
    const uint8_t white = grey && page.photometric == PHOTOMETRIC_MINISWHITE ? 0 : 255;
    bool complete = true;
    for (uint32_t plane = 0; plane < planes; ++plane) {
        for (uint32_t row = 0; row < page.height; ++row) {
            if (TIFFReadScanline(tiff, scanline.data(), row, static_cast<uint16_t>(plane)) < 0) {
                complete = false;
                break;
            }
            uint8_t* target = block.topRow(static_cast<int32_t>(row));
            const uint32_t step = grey ? 1 : layout.pixelStep;
            if (plane == alphaPlane) {
                for (uint32_t x = 0; x < page.width; ++x, target += step) {
                    const uint8_t alpha = sample8(scanline.data(), x, page.bitsPerSample);
                    for (uint32_t c = 0; c < colourPlanes; ++c) {
                        const uint8_t value = target[c];
                        target[c] = page.alpha == PageFields::Alpha::Associated
                            ? static_cast<uint8_t>(std::min(255, value + (white ? 255 - alpha : 0)))
                            : static_cast<uint8_t>((value * alpha + white * (255u - alpha) + 127u) / 255u);
                    }
                    if (!grey)
                        target[3] = alpha;
                }
                continue;
            }
            const uint32_t offset = grey || plane >= 3 ? plane : 2 - plane;
            for (uint32_t x = 0; x < page.width; ++x)
                target[size_t(x) * step + offset] = sample8(scanline.data(), x, page.bitsPerSample);
        }
    }
    return complete ? Rows::Whole : Rows::Partial;
}

// A tiled page's tile size and one tile's buffer, the sizes checked against
// each other and against `rowBytes`, the bytes a row of the tile's width
// needs at least.
struct Tiles {
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t rowSize = 0;
    LargeBuffer buffer;
};

template <typename RowBytes>
Result<Tiles> openTiles(TIFF* tiff, const RowBytes& rowBytes)
{
    Tiles tiles;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tiles.width);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tiles.height);
    const tmsize_t tileSize = TIFFTileSize(tiff);
    const tmsize_t tileRowSize = TIFFTileRowSize(tiff);
    if (tiles.width == 0 || tiles.height == 0 || tileSize <= 0 || tileRowSize <= 0
        || uint64_t(tileRowSize) * tiles.height > uint64_t(tileSize)
        || uint64_t(tileRowSize) < rowBytes(uint64_t(tiles.width)))
        return notValidTiff();
    if (static_cast<uint64_t>(tileSize) > kMaxBlockBytes)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    tiles.rowSize = static_cast<uint64_t>(tileRowSize);
    tiles.buffer = LargeBuffer::allocate(static_cast<size_t>(tileSize));
    if (!tiles.buffer)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    return tiles;
}

Result<Rows> readIndexedTiles(TIFF* tiff, const PageFields& page, ImageBlock& block)
{
    const uint32_t bits = page.bitsPerSample;
    Result<Tiles> tiles = openTiles(tiff, [bits](uint64_t width) { return (width * bits + 7) / 8; });
    if (!tiles)
        return tiles.failure();
    auto& [tileWidth, tileHeight, tileRowSize, tile] = *tiles;
    const uint64_t imageRowBytes = (uint64_t(page.width) * bits + 7) / 8;
    // 64-bit positions: a tile size near 2^32 must not wrap the loops.
    for (uint64_t top = 0; top < page.height; top += tileHeight) {
        for (uint64_t left = 0; left < page.width; left += tileWidth) {
            if (TIFFReadTile(tiff, tile.data(), static_cast<uint32_t>(left), static_cast<uint32_t>(top), 0, 0) < 0)
                return Rows::Partial;
            // Tile widths fall on whole bytes (checked in layoutFor).
            uint64_t byteOffset = left * bits / 8;
            size_t bytes = static_cast<size_t>(std::min<uint64_t>(uint64_t(tileRowSize), imageRowBytes - byteOffset));
            uint64_t rows = std::min<uint64_t>(tileHeight, page.height - top);
            for (uint64_t r = 0; r < rows; ++r)
                std::memcpy(block.topRow(static_cast<int32_t>(top + r)) + byteOffset,
                            tile.data() + r * static_cast<uint64_t>(tileRowSize), bytes);
        }
    }
    return Rows::Whole;
}

// Calls place(samples, row, left, count, plane) with each row of each piece
// of planes 0 to `planes` - 1, in that order: tiles, or scanlines of
// separate planes. `pixelBytes` is the bytes a pixel takes in a piece.
template <typename Place>
Result<Rows> forEachPiece(TIFF* tiff, const PageFields& page, uint32_t planes, uint64_t pixelBytes, const Place& place)
{
    if (page.tiled) {
        Result<Tiles> tiles = openTiles(tiff, [pixelBytes](uint64_t width) { return width * pixelBytes; });
        if (!tiles)
            return tiles.failure();
        auto& [tileWidth, tileHeight, tileRowSize, tile] = *tiles;
        for (uint32_t plane = 0; plane < planes; ++plane)
            for (uint64_t top = 0; top < page.height; top += tileHeight)
                for (uint64_t left = 0; left < page.width; left += tileWidth) {
                    if (TIFFReadTile(tiff, tile.data(), static_cast<uint32_t>(left), static_cast<uint32_t>(top), 0,
                                     static_cast<uint16_t>(plane)) < 0)
                        return Rows::Partial;
                    const uint64_t count = std::min<uint64_t>(tileWidth, page.width - left);
                    const uint64_t height = std::min<uint64_t>(tileHeight, page.height - top);
                    for (uint64_t r = 0; r < height; ++r)
                        place(tile.data() + r * tileRowSize, top + r, left, count, plane);
                }
        return Rows::Whole;
    }
    const tmsize_t scanlineSize = TIFFScanlineSize(tiff);
    if (scanlineSize <= 0 || static_cast<uint64_t>(scanlineSize) < uint64_t(page.width) * pixelBytes)
        return notValidTiff();
    std::vector<uint8_t> scanline(static_cast<size_t>(scanlineSize));
    for (uint32_t plane = 0; plane < planes; ++plane)
        for (uint32_t row = 0; row < page.height; ++row) {
            if (TIFFReadScanline(tiff, scanline.data(), row, static_cast<uint16_t>(plane)) < 0)
                return Rows::Partial;
            place(scanline.data(), row, 0, page.width, plane);
        }
    return Rows::Whole;
}

// Tiles and separate planes arrive in any order, so each pixel's index and
// alpha are first put into the first two of its three bytes, and blended in
// place once all pieces are in. Pixels no piece reached stay transparent.
Result<Rows> readPaletteAlphaPieces(TIFF* tiff, const PageFields& page, const Layout& layout, ImageBlock& block,
                                    ImageBlock* opacity)
{
    const bool planar = page.planar == PLANARCONFIG_SEPARATE;
    const uint32_t perPixel = planar ? 1 : 2; // samples a piece holds per pixel
    auto place = [&](const uint8_t* source, uint64_t row, uint64_t left, uint64_t count, uint32_t plane) {
        uint8_t* target = block.topRow(static_cast<int32_t>(row)) + left * 3;
        for (uint64_t x = 0; x < count; ++x, target += 3, source += perPixel)
            for (uint32_t s = 0; s < perPixel; ++s)
                target[plane + s] = source[s];
    };
    const Result<Rows> rows = forEachPiece(tiff, page, planar ? 2 : 1, perPixel, place);
    if (!rows)
        return rows;
    for (uint32_t row = 0; row < page.height; ++row) {
        uint8_t* pixel = block.topRow(static_cast<int32_t>(row));
        uint8_t* kept = opacity ? opacity->topRow(static_cast<int32_t>(row)) : nullptr;
        for (uint32_t x = 0; x < page.width; ++x, pixel += 3) {
            const ColorEntry& colour = layout.palette[pixel[0]];
            const uint8_t alpha = pixel[1];
            if (kept)
                kept[x] = alpha;
            pixel[0] = overWhite(colour.blue, alpha);
            pixel[1] = overWhite(colour.green, alpha);
            pixel[2] = overWhite(colour.red, alpha);
        }
    }
    return rows;
}

// 16-bit grey or RGB(A) from tiles or separate planes into the 48-bit block.
// Separate planes come colour first, so the alpha plane, last, composites
// the samples already in place over white.
Result<Rows> readDeepPieces(TIFF* tiff, const PageFields& page, ImageBlock& block)
{
    const bool planar = page.planar == PLANARCONFIG_SEPARATE && page.samplesPerPixel > 1;
    const uint32_t colours = colourSamplesOf(page);
    const uint32_t planes = planar ? colours + (page.alpha != PageFields::Alpha::None ? 1 : 0) : 1;
    auto place = [&](const uint8_t* source, uint64_t row, uint64_t left, uint64_t count, uint32_t plane) {
        uint8_t* target = block.topRow(static_cast<int32_t>(row)) + left * 6;
        if (!planar) {
            convertDeepPixels(page, source, count, target);
            return;
        }
        for (uint64_t x = 0; x < count; ++x, target += 6) {
            uint16_t deep[3];
            std::memcpy(deep, target, 6);
            const auto index = static_cast<uint32_t>(x);
            for (uint32_t c = 0; c < 3; ++c)
                if (plane == colours)
                    deep[c] = static_cast<uint16_t>(mixOverWhite(deep[c], sample16(source, index), 65535, page.alpha));
                else if (colours == 1 || plane == 2 - c)
                    deep[c] = deepSample(page, source, index);
            std::memcpy(target, deep, 6);
        }
    };
    return forEachPiece(tiff, page, planes, planar ? 2 : uint64_t(2) * page.samplesPerPixel, place);
}

// The RGBA raster of one band of rows: at most this much at a time, so a
// huge page (planar, tiled, YCbCr ...) never needs a whole-picture raster
// beside its block, and a file far shorter than its header claims stops at
// the first band it cannot fill.
constexpr uint64_t kMaxBandBytes = uint64_t(16) << 20;

struct RgbaImage {
    TIFFRGBAImage image{};
    bool begun = false;
    ~RgbaImage()
    {
        if (begun)
            TIFFRGBAImageEnd(&image);
    }
};

// One raster pixel (alpha premultiplied, as the library gives it) over white.
inline uint8_t rasterOverWhite(uint32_t value, uint32_t alpha) { return static_cast<uint8_t>(std::min(255u, value + 255u - alpha)); }

Result<Rows> readThroughRgba(TIFF* tiff, const PageFields& page, const Layout& layout, ImageBlock& block,
                             ImageBlock* opacity)
{
    RgbaImage rgba;
    char error[1024] = {};
    if (!TIFFRGBAImageOK(tiff, error) || !TIFFRGBAImageBegin(&rgba.image, tiff, 1, error))
        return Failure{Reason::CorruptData, error[0] ? error : kTiffTexts[TiffFault::NotValid]};
    rgba.begun = true;
    // Rows as stored: the load applies the orientation, for every path alike.
    rgba.image.req_orientation = rgba.image.orientation;

    uint32_t band = 0;
    if (page.tiled)
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &band);
    const uint64_t rowBytes = uint64_t(page.width) * 4;
    const uint64_t maxRows = std::max<uint64_t>(1, kMaxBandBytes / rowBytes);
    if (band == 0 || band > maxRows)
        band = static_cast<uint32_t>(std::min<uint64_t>(maxRows, page.height));
    band = std::min(band, page.height);
    // One spare row, as the RGBA reader has been known to write one.
    auto bytes = checkedMulAdd(rowBytes, uint64_t(band) + 1, 0);
    LargeBuffer raster = bytes ? LargeBuffer::allocate(static_cast<size_t>(*bytes)) : LargeBuffer();
    if (!raster)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    auto* pixels = reinterpret_cast<uint32_t*>(raster.data());
    for (uint32_t top = 0; top < page.height; top += band) {
        const uint32_t rows = std::min(band, page.height - top);
        rgba.image.row_offset = static_cast<int>(top);
        rgba.image.col_offset = 0;
        if (!TIFFRGBAImageGet(&rgba.image, pixels, page.width, rows)) {
            if (top == 0)
                return Failure{Reason::OutOfMemory, kCantAllocateMemory};
            return Rows::Partial;
        }
        // With the stored orientation asked for, the band's rows run top down.
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* source = pixels + size_t(r) * page.width;
            uint8_t* target = block.topRow(static_cast<int32_t>(top + r));
            if (opacity) {
                uint8_t* kept = opacity->topRow(static_cast<int32_t>(top + r));
                for (uint32_t x = 0; x < page.width; ++x)
                    kept[x] = static_cast<uint8_t>(TIFFGetA(source[x]));
            }
            if (layout.bitCount == 8) {
                for (uint32_t x = 0; x < page.width; ++x)
                    target[x] = rasterOverWhite(TIFFGetR(source[x]), TIFFGetA(source[x]));
            } else {
                for (uint32_t x = 0; x < page.width; ++x, target += layout.pixelStep) {
                    const uint32_t alpha = TIFFGetA(source[x]);
                    target[0] = rasterOverWhite(TIFFGetB(source[x]), alpha);
                    target[1] = rasterOverWhite(TIFFGetG(source[x]), alpha);
                    target[2] = rasterOverWhite(TIFFGetR(source[x]), alpha);
                }
            }
        }
    }
    return Rows::Whole;
}

// The most bytes of pixel data one stored byte can become: PackBits makes
// 128 of two, NeXT up to 63 two-bit pixels of one. 0 for schemes a few
// bytes of which can describe any size (their pages are read strip by
// strip instead).
uint64_t largestExpansion(uint16_t compression)
{
    switch (compression) {
    case COMPRESSION_NONE: return 1;
    case COMPRESSION_PACKBITS:
    case COMPRESSION_NEXT: return 64;
    default: return 0;
    }
}

int32_t resolutionOf(TIFF* tiff, ttag_t tag)
{
    float value = 0;
    if (!TIFFGetField(tiff, tag, &value) || !std::isfinite(value))
        return 0;
    if (value >= 2147483647.0f)
        return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace

namespace {

// What a page says about itself besides its pixels.
struct PageFindings {
    int orientation = 1;
    std::vector<uint8_t> iccProfile;
};

} // namespace

Result<DecodedImage> readTiffPage(const std::string& path, uint32_t directoryOffset, bool keepAlpha,
                                  bool sixteenBitSamples)
{
    // What the library says last is the reason a page fails, or the warning
    // of one read only in part.
    std::string libraryWords = kTiffTexts[TiffFault::NotValid];
    auto failed = [&] { return Failure{Reason::CorruptData, libraryWords}; };
    tiff_glue::TiffFile file(path, "r", &libraryWords);
    if (!file)
        return failed();
    TIFF* tiff = file.get();
    if (directoryOffset != 0 && !TIFFSetSubDirectory(tiff, directoryOffset))
        return failed();
    DecodedImage decoded;
    PageFindings findings;

    PageFields page;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page.height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &page.bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &page.samplesPerPixel);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &page.planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &page.compression);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &page.photometric);
    page.tiled = TIFFIsTiled(tiff) != 0;
    if (page.tiled)
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &page.tileWidth);
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0 && extraTypes) {
        if (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA)
            page.alpha = PageFields::Alpha::Associated;
        else if (extraTypes[0] == EXTRASAMPLE_UNASSALPHA)
            page.alpha = PageFields::Alpha::Unassociated;
    }
    // Alpha follows grey's one colour sample or RGB's three.
    if (page.samplesPerPixel <= colourSamplesOf(page) || page.photometric == PHOTOMETRIC_SEPARATED)
        page.alpha = PageFields::Alpha::None;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    findings.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    uint32_t profileLength = 0;
    void* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile && profileLength > 0) {
        const auto* bytes = static_cast<const uint8_t*>(profile);
        findings.iccProfile.assign(bytes, bytes + profileLength);
    }

    if (page.bitsPerSample == 0)
        return kTiffTexts.failure(Reason::BadHeader, TiffFault::BadBitsPerSample);
    decoded.compression = tiffCompressionText(page.compression);
    if (page.width == 0 || page.height == 0 || page.width > 0x7FFFFFFFu || page.height > 0x7FFFFFFFu
        || page.samplesPerPixel == 0)
        return failed();

    // Uncompressed and run-length pages take a bounded number of bytes:
    // a small file declaring gigabytes of them is refused before anything
    // is allocated.
    if (const uint64_t expansion = largestExpansion(page.compression); expansion != 0) {
        const uint64_t rowBits = uint64_t(page.width) * page.bitsPerSample * page.samplesPerPixel;
        const std::optional<uint64_t> declared = checkedMul((rowBits + 7) / 8, page.height);
        const std::optional<uint64_t> held = checkedMul(TIFFGetSizeProc(tiff)(TIFFClientdata(tiff)), expansion);
        if (!declared || (held && !holdsEnoughOf(*declared, *held)))
            return Failure{Reason::CorruptData, farTooSmall(kTiffTexts[TiffFault::NotValid])};
    }
    if (overPixelLimitForFuzzing(page.width, page.height))
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};

    Layout layout = layoutFor(page, sixteenBitSamples);
    // Opacity is kept (for thumbnails) by the two paths that see it whole:
    // the palette's own and the library's RGBA reader, which gives every
    // other layout's alpha.
    const bool withOpacity = keepAlpha && page.alpha != PageFields::Alpha::None;
    if (withOpacity)
        layout = layout.path == PixelPath::PaletteAlpha || layout.path == PixelPath::PaletteAlphaPieces
            ? Layout{.path = PixelPath::PaletteAlphaPieces}
            : Layout{};
    decoded.block = ImageBlock::create(static_cast<int32_t>(page.width), static_cast<int32_t>(page.height),
                                       layout.bitCount, layout.colours);
    ImageBlock& block = decoded.block;
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    block.setXPelsPerMeter(resolutionOf(tiff, TIFFTAG_XRESOLUTION));
    block.setYPelsPerMeter(resolutionOf(tiff, TIFFTAG_YRESOLUTION));
    if (layout.colours > 0)
        fillColourTable(tiff, page, layout, block);
    if (layout.path == PixelPath::PaletteAlpha || layout.path == PixelPath::PaletteAlphaPieces)
        readColourMap(tiff, page, 256, layout.palette); // a missing map leaves the colours black
    ImageBlock opacity;
    if (withOpacity && !(opacity = createAlphaPlane(block.width(), block.height())))
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    ImageBlock* kept = opacity ? &opacity : nullptr;

    Result<Rows> rows = Rows::Whole;
    switch (layout.path) {
    case PixelPath::Indexed:
    case PixelPath::Grey:
    case PixelPath::Colour:
    case PixelPath::PaletteAlpha:
        rows = readScanlines(tiff, path, directoryOffset, page, layout, block, libraryWords);
        break;
    case PixelPath::PaletteAlphaPieces:
        rows = readPaletteAlphaPieces(tiff, page, layout, block, kept);
        break;
    case PixelPath::DeepPieces:
        rows = readDeepPieces(tiff, page, block);
        break;
    case PixelPath::IndexedTiles:
        rows = readIndexedTiles(tiff, page, block);
        break;
    case PixelPath::Planes:
        rows = readPlanes(tiff, page, layout, block);
        break;
    case PixelPath::Rgba:
        rows = readThroughRgba(tiff, page, layout, block, kept);
        break;
    }
    if (!rows)
        return rows.failure();
    if (*rows == Rows::Partial)
        libraryWords = kTiffTexts[TiffFault::CantRead]; // what was read so far is shown
    file.close();

    // 1-bit min-is-white pictures are kept min-is-black in memory.
    if (page.bitsPerSample == 1 && page.samplesPerPixel == 1 && page.photometric == PHOTOMETRIC_MINISWHITE
        && layout.bitCount == 1) {
        uint8_t* pixels = block.pixels();
        uint64_t bytes = block.rowSize() * static_cast<uint64_t>(block.height());
        for (uint64_t i = 0; i < bytes; ++i)
            pixels[i] = static_cast<uint8_t>(~pixels[i]);
        block.setColor(0, 0, 0, 0);
        block.setColor(1, 255, 255, 255);
    }
    decoded.alpha = std::move(opacity);
    decoded.orientation = findings.orientation;
    decoded.iccProfile = std::move(findings.iccProfile);
    decoded.sixteenBitSamples = layout.sixteenBitSamples;
    decoded.greySamples = colourSamplesOf(page) == 1;
    // A page that could only partly be read keeps the rows read so far.
    if (libraryWords != kTiffTexts[TiffFault::NotValid])
        decoded.warning = std::move(libraryWords);
    return decoded;
}

} // namespace pictorand
