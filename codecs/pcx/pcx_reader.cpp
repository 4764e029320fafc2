#include "codecs/common/alpha_composite.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/run_length.h"
#include "codecs/common/span_reader.h"
#include "codecs/common/whole_file.h"
#include "codecs/pcx/pcx.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace pictorand {

namespace {

constexpr size_t kPcxHeaderSize = 128;
constexpr size_t kTrailerSize = 769; // marker 12 and 256 red, green, blue triples
constexpr uint8_t kTrailerMarker = 12;

// Version 3 files carry no usable palette; they are shown with this fixed one
// (red, green, blue), which is not the standard EGA set.
constexpr std::array<uint8_t, 48> kVersion3Palette = {
    0, 0, 14,     0, 82, 7,     44, 0, 14,    0, 0, 0,     //
    248, 1, 44,   0, 133, 15,   66, 0, 0,     33, 0, 0,    //
    0, 0, 106,    36, 155, 73,  161, 94, 144, 94, 24, 94,  //
    132, 20, 217, 149, 160, 20, 18, 0, 6,     0, 104, 31,  //
};

unsigned brightness(unsigned red, unsigned green, unsigned blue) { return 30 * red + 59 * green + 11 * blue; }

// Fills the colour table of a block below 24 bits.
Status fillColorTable(ImageBlock& block, const PcxHeader& header, uint16_t depth, std::span<const uint8_t> file)
{
    std::array<uint8_t, 768> palette{}; // red, green, blue
    // 2-bit files take their four colours from the map's first four triples,
    // as netpbm writes them. Files of the CGA's days may mean the map's first
    // byte as a background number and its fourth as palette flags instead;
    // nothing in the header tells the two apart, and ImageMagick and netpbm
    // both read the triples (Pillow refuses 2-bit files), so we do too.
    if (depth == 4)
        std::copy(header.colorMap.begin(), header.colorMap.end(), palette.begin());
    if (header.version == 3 && header.bitsPerPixel != 2)
        std::copy(kVersion3Palette.begin(), kVersion3Palette.end(), palette.begin());
    if (depth == 8 && header.version > 4 && file.size() >= kTrailerSize) {
        SpanReader trailer(file.subspan(file.size() - kTrailerSize));
        if (trailer.u8() == kTrailerMarker) {
            auto entries = trailer.bytes(768);
            if (entries.empty())
                return kPcxTexts.failure(Reason::CorruptData, PcxFault::CantReadPalette);
            std::copy(entries.begin(), entries.end(), palette.begin());
        }
    }
    uint32_t colors = uint32_t(1) << depth;
    for (uint32_t i = 0; i < colors; ++i)
        block.setColor(i, palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]);
    if (depth == 1) {
        // 0 is black and 1 white, whatever colours the header map holds (old
        // writers leave garbage there). Current writers (ImageMagick among
        // them) store bitmaps the other way round, 1 black, and say so with a
        // map whose entry 0 is the lighter one; that order is followed.
        const uint8_t* map = header.colorMap.data();
        bool inverted = header.version != 3 && brightness(map[0], map[1], map[2]) > brightness(map[3], map[4], map[5]);
        block.setColor(inverted ? 1 : 0, 0, 0, 0);
        block.setColor(inverted ? 0 : 1, 255, 255, 255);
    }
    return {};
}

// Turns one scan line into a row of the block, and the alpha plane (if any)
// into `alpha`. Pixels the line does not cover (a bytes-per-line smaller
// than the width needs) stay zero.
void scanLineToRow(const PcxHeader& header, const uint8_t* line, uint8_t* row, uint8_t* alpha)
{
    const size_t width = static_cast<size_t>(header.width);
    const size_t perPlane = header.bytesPerLine;
    switch (header.layout) {
    case PcxPlaneLayout::Packed: {
        if (header.bitsPerPixel == 2) {
            // Four pixels a byte into two nibbles a byte.
            const size_t pixels = std::min(width, perPlane * 4);
            for (size_t x = 0; x < pixels; ++x) {
                const unsigned value = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                row[x >> 1] = static_cast<uint8_t>(row[x >> 1] | ((x & 1) ? value : value << 4));
            }
            break;
        }
        size_t bytes = std::min((width * header.depth + 7) / 8, header.scanLine);
        if (bytes > 0) // a scan line of 0 bytes has no buffer at all
            std::memcpy(row, line, bytes);
        break;
    }
    case PcxPlaneLayout::BitPlanes: {
        const size_t pixels = std::min(width, perPlane * 8);
        for (size_t x = 0; x < pixels; ++x) {
            const size_t byte = x >> 3;
            const unsigned shift = 7 - static_cast<unsigned>(x & 7);
            unsigned value = 0;
            for (unsigned plane = 0; plane < header.planes; ++plane)
                value |= ((line[plane * perPlane + byte] >> shift) & 1u) << plane;
            row[x >> 1] = static_cast<uint8_t>(row[x >> 1] | ((x & 1) ? value : value << 4));
        }
        break;
    }
    case PcxPlaneLayout::BytePlanes: {
        const size_t pixels = std::min(width, perPlane);
        const uint8_t* red = line;
        const uint8_t* green = line + perPlane;
        const uint8_t* blue = line + 2 * perPlane;
        for (size_t x = 0; x < pixels; ++x) {
            row[x * 3] = blue[x];
            row[x * 3 + 1] = green[x];
            row[x * 3 + 2] = red[x];
        }
        // A file of no bytes per line has no line at all to copy from.
        if (alpha && header.planes == 4 && pixels > 0)
            std::memcpy(alpha, line + 3 * perPlane, pixels);
        break;
    }
    }
}

} // namespace

Result<PcxHeader> checkPcxHeader(std::span<const uint8_t> file)
{
    SpanReader in(file);
    PcxHeader header;
    const uint8_t manufacturer = in.u8();
    header.version = in.u8();
    header.encoding = in.u8();
    header.bitsPerPixel = in.u8();
    const uint16_t xMin = in.u16le();
    const uint16_t yMin = in.u16le();
    const uint16_t xMax = in.u16le();
    const uint16_t yMax = in.u16le();
    in.skip(4); // resolution
    auto map = in.bytes(48);
    if (!map.empty())
        std::copy(map.begin(), map.end(), header.colorMap.begin());
    in.skip(1);
    header.planes = in.u8();
    header.bytesPerLine = in.u16le();
    in.skip(kPcxHeaderSize - in.position());
    if (!in.ok())
        return kPcxTexts.failure(Reason::Truncated, PcxFault::NotValid);
    if (manufacturer != 10)
        return kPcxTexts.failure(Reason::NotThisFormat, PcxFault::NotValid);

    // A maximum below the minimum is no picture at all, not a huge one.
    header.width = int32_t(xMax) - int32_t(xMin) + 1;
    header.height = int32_t(yMax) - int32_t(yMin) + 1;
    if (header.width <= 0 || header.height <= 0)
        return kPcxTexts.failure(Reason::BadDimensions, PcxFault::NotValid);
    if (header.planes == 1
        && (header.bitsPerPixel == 1 || header.bitsPerPixel == 2 || header.bitsPerPixel == 4 || header.bitsPerPixel == 8)) {
        header.layout = PcxPlaneLayout::Packed;
        header.depth = header.bitsPerPixel == 2 ? 4 : header.bitsPerPixel;
    } else if (header.planes >= 2 && header.planes <= 4 && header.bitsPerPixel == 1) {
        header.layout = PcxPlaneLayout::BitPlanes;
        header.depth = 4;
    } else if ((header.planes == 3 || header.planes == 4) && header.bitsPerPixel == 8) {
        header.layout = PcxPlaneLayout::BytePlanes;
        header.depth = 24;
    } else {
        return kPcxTexts.failure(Reason::Unsupported, PcxFault::NotValid);
    }
    header.scanLine = size_t(header.planes) * header.bytesPerLine;
    return header;
}

namespace {

// The picture of a file whose header passed the check.
Result<ImageBlock> decodePcxBlock(std::span<const uint8_t> file, const PcxHeader* header)
{
    uint32_t colors = header->depth < 24 ? uint32_t(1) << header->depth : 0;
    std::span<const uint8_t> data = file.subspan(std::min(file.size(), kPcxHeaderSize));
    // A run stretches two bytes to at most 63.
    const uint64_t held = header->encoding != 0 ? data.size() * 32 : data.size();
    if (ImageBlock::sizeFor(header->width, header->height, header->depth, colors)
        && !holdsEnoughOf(uint64_t(header->scanLine) * static_cast<uint64_t>(header->height), held))
        return Failure{Reason::CorruptData, farTooSmall(kPcxTexts[PcxFault::NotValid])};
    ImageBlock block = ImageBlock::create(header->width, header->height, header->depth, colors);
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    if (colors)
        if (Status filled = fillColorTable(block, *header, header->depth, file); !filled)
            return filled.failure();

    std::vector<uint8_t> line;
    std::vector<uint8_t> alpha;
    try {
        line.resize(header->scanLine);
        if (header->layout == PcxPlaneLayout::BytePlanes && header->planes == 4)
            alpha.resize(size_t(header->width) * size_t(header->height));
    } catch (...) {
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    }
    auto alphaRow = [&](int32_t y) { return alpha.empty() ? nullptr : alpha.data() + size_t(y) * size_t(header->width); };
    if (header->encoding != 0) {
        SpanByteSource source(data);
        for (int32_t y = 0; y < header->height; ++y) {
            decodePcxScanLine(source, std::span<uint8_t>(line));
            scanLineToRow(*header, line.data(), block.topRow(y), alphaRow(y));
        }
    } else {
        SpanReader source(data);
        for (int32_t y = 0; y < header->height; ++y) {
            // A short last line keeps zeros for what is missing.
            size_t got = source.readSome(line.data(), line.size());
            if (got == 0 && !line.empty())
                break; // the rest of the block is zero already
            std::fill(line.begin() + static_cast<std::ptrdiff_t>(got), line.end(), uint8_t(0));
            scanLineToRow(*header, line.data(), block.topRow(y), alphaRow(y));
        }
    }
    // Alpha that is 0 everywhere was never filled in: the picture is opaque.
    if (std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 0; })) {
        for (int32_t y = 0; y < header->height; ++y)
            compositeBgrOverWhite(block.topRow(y), alphaRow(y), size_t(header->width));
    }
    return block;
}

} // namespace

Result<DecodedImage> decodePcx(std::span<const uint8_t> file)
{
    Result<PcxHeader> header = checkPcxHeader(file);
    if (!header)
        return header.failure();
    Result<ImageBlock> block = decodePcxBlock(file, &*header);
    if (!block)
        return block.failure();
    DecodedImage decoded;
    decoded.block = block.take();
    decoded.compression = header->encoding != 0 ? kRunLengthEncoding : "None";
    return decoded;
}

Result<DecodedImage> readPcx(const std::string& path)
{
    WholeFile file;
    if (!file.open(path))
        return Failure{Reason::CantOpenFile, kCantOpenFile};
    return decodePcx(file.bytes());
}

} // namespace pictorand
