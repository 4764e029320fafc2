#include "ops/depth_conversion.h"

#include "core/sample_scale.h"
#include "ops/color_table.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pictorand {

namespace {

// The expansions locate a source's pixels at 40 + 4 * colours used, so only
// blocks with the 40-byte header whose table and rows lie inside the
// allocation are taken; anything else would be read out of bounds.
bool isUsableSource(const ImageBlock& source, uint16_t bitCount)
{
    return !source.isNull() && source.size() >= ImageBlock::kHeaderSize
        && source.headerSize() == ImageBlock::kHeaderSize && source.bitCount() == bitCount && source.isConsistent();
}

// A block of the source's size with the header every conversion here writes.
ImageBlock createLike(const ImageBlock& source, uint16_t bitCount, uint32_t colorsUsed, bool writeImageSize)
{
    ImageBlock result = ImageBlock::create(source.width(), source.height(), bitCount, colorsUsed);
    if (!result)
        return result;
    result.setXPelsPerMeter(source.xPelsPerMeter());
    result.setYPelsPerMeter(source.yPelsPerMeter());
    if (writeImageSize)
        result.setSizeImage(static_cast<uint32_t>(result.rowSize() * static_cast<uint64_t>(result.height())));
    return result;
}

// The source's entries, as many as fit, in order; the rest stay black.
void copyColorTable(const ImageBlock& source, ImageBlock& result)
{
    uint32_t count = std::min(source.colorsUsed(), result.colorsUsed());
    std::memcpy(result.colorTable(), source.colorTable(), size_t(count) * sizeof(ColorEntry));
}

// Four output bytes per source byte: source bits 2k and 2k+1 become the high
// and low nibble of output byte k.
constexpr std::array<std::array<uint8_t, 4>, 256> makeMonoToNibbles()
{
    std::array<std::array<uint8_t, 4>, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        for (unsigned k = 0; k < 4; ++k) {
            unsigned high = (value >> (7 - 2 * k)) & 1;
            unsigned low = (value >> (6 - 2 * k)) & 1;
            table[value][k] = static_cast<uint8_t>((high << 4) | low);
        }
    }
    return table;
}
constexpr auto kMonoToNibbles = makeMonoToNibbles();

// Eight output bytes per source byte, most significant bit first: 255 for a
// set bit, 0 for a clear one.
constexpr std::array<std::array<uint8_t, 8>, 256> makeBitsToBytes()
{
    std::array<std::array<uint8_t, 8>, 256> table{};
    for (unsigned value = 0; value < 256; ++value)
        for (unsigned bit = 0; bit < 8; ++bit)
            table[value][bit] = ((value >> (7 - bit)) & 1) ? 255 : 0;
    return table;
}
constexpr auto kBitsToBytes = makeBitsToBytes();

// Expands `pixels` bits of `bits` into one byte each (0 or 255).
void expandBits(const uint8_t* bits, uint8_t* out, uint64_t pixels)
{
    uint64_t wholeBytes = pixels / 8;
    for (uint64_t i = 0; i < wholeBytes; ++i, out += 8)
        std::memcpy(out, kBitsToBytes[bits[i]].data(), 8);
    uint64_t rest = pixels % 8;
    if (rest)
        std::memcpy(out, kBitsToBytes[bits[wholeBytes]].data(), rest);
}

// Rows worth visiting: none for a picture without columns, whose header may
// still claim a huge height.
int32_t rowCount(const ImageBlock& source) { return source.width() > 0 ? source.height() : 0; }

const uint8_t* sourceRow(const ImageBlock& source, uint64_t rowSize, int32_t y)
{
    return source.data() + source.pixelOffset() + rowSize * static_cast<uint64_t>(y);
}

} // namespace

Result<ImageBlock> monoTo16Colors(const ImageBlock& source)
{
    if (!isUsableSource(source, 1))
        return badArgument();
    ImageBlock result = createLike(source, 4, 16, true);
    if (!result)
        return outOfMemory();
    copyColorTable(source, result);
    const uint64_t sourceRowSize = source.rowSize();
    const uint64_t resultRowSize = result.rowSize();
    const uint64_t bytesPerRow = (uint64_t(source.width()) + 7) / 8; // 4 * this == resultRowSize
    for (int32_t y = 0; y < rowCount(source); ++y) {
        const uint8_t* in = sourceRow(source, sourceRowSize, y);
        uint8_t* out = result.pixels() + resultRowSize * static_cast<uint64_t>(y);
        for (uint64_t i = 0; i < bytesPerRow; ++i, out += 4)
            std::memcpy(out, kMonoToNibbles[in[i]].data(), 4);
    }
    return result;
}

Result<ImageBlock> sixteenTo256Colors(const ImageBlock& source)
{
    if (!isUsableSource(source, 4))
        return badArgument();
    ImageBlock result = createLike(source, 8, 256, true);
    if (!result)
        return outOfMemory();
    copyColorTable(source, result);
    const uint64_t sourceRowSize = source.rowSize();
    const uint64_t resultRowSize = result.rowSize();
    const uint64_t bytesPerRow = (uint64_t(source.width()) + 1) / 2;
    for (int32_t y = 0; y < rowCount(source); ++y) {
        const uint8_t* in = sourceRow(source, sourceRowSize, y);
        uint8_t* out = result.pixels() + resultRowSize * static_cast<uint64_t>(y);
        for (uint64_t i = 0; i < bytesPerRow; ++i) {
            *out++ = static_cast<uint8_t>(in[i] >> 4);
            *out++ = static_cast<uint8_t>(in[i] & 0x0F);
        }
    }
    return result;
}

Result<ImageBlock> monoTo256Colors(const ImageBlock& source)
{
    if (!isUsableSource(source, 1))
        return badArgument();
    ImageBlock result = createLike(source, 8, 256, true);
    if (!result)
        return outOfMemory();
    // Clear bits become index 0 and set bits 255; the table runs evenly from
    // the source's entry 0 to its entry 1, so the picture keeps its two
    // colours (a black and white one gets the plain grey ramp, turned round
    // when entry 0 is the white one). Entries the source lacks count as black.
    const uint32_t sourceColors = source.colorsUsed();
    const ColorEntry first = sourceColors > 0 ? source.colorTable()[0] : ColorEntry{};
    const ColorEntry second = sourceColors > 1 ? source.colorTable()[1] : ColorEntry{};
    auto between = [](uint8_t from, uint8_t to, unsigned i) {
        return static_cast<uint8_t>((from * (255 - i) + to * i + 127) / 255);
    };
    ColorEntry* table = result.colorTable();
    for (unsigned i = 0; i < 256; ++i)
        table[i] = ColorEntry{between(first.blue, second.blue, i), between(first.green, second.green, i),
                              between(first.red, second.red, i), 0};
    const uint64_t sourceRowSize = source.rowSize();
    const uint64_t resultRowSize = result.rowSize();
    const auto width = static_cast<uint64_t>(source.width());
    for (int32_t y = 0; y < rowCount(source); ++y)
        expandBits(sourceRow(source, sourceRowSize, y), result.pixels() + resultRowSize * static_cast<uint64_t>(y), width);
    return result;
}

Result<ImageBlock> colors256ToTrueColor(const ImageBlock& source)
{
    if (!isUsableSource(source, 8))
        return badArgument();
    ImageBlock result = createLike(source, 24, 0, true);
    if (!result)
        return outOfMemory();
    // Indexes past the source's own table read as black instead of reading
    // the pixel rows as colours.
    std::array<ColorEntry, 256> lookup{};
    std::memcpy(lookup.data(), source.colorTable(), std::min<size_t>(source.colorsUsed(), 256) * sizeof(ColorEntry));
    const uint64_t sourceRowSize = source.rowSize();
    const uint64_t resultRowSize = result.rowSize();
    const auto width = static_cast<uint64_t>(source.width());
    for (int32_t y = 0; y < rowCount(source); ++y) {
        const uint8_t* in = sourceRow(source, sourceRowSize, y);
        uint8_t* out = result.pixels() + resultRowSize * static_cast<uint64_t>(y);
        for (uint64_t x = 0; x < width; ++x, out += 3) {
            const ColorEntry& color = lookup[in[x]];
            out[0] = color.blue;
            out[1] = color.green;
            out[2] = color.red;
        }
    }
    return result;
}

Result<ImageBlock> colors16ToTrueColor(const ImageBlock& source)
{
    Result<ImageBlock> intermediate = sixteenTo256Colors(source);
    if (!intermediate)
        return intermediate;
    return colors256ToTrueColor(*intermediate);
}

Result<ImageBlock> monoToTrueColor(const ImageBlock& source)
{
    Result<ImageBlock> intermediate = monoTo256Colors(source);
    if (!intermediate)
        return intermediate;
    return colors256ToTrueColor(*intermediate);
}

Result<ImageBlock> expandToTrueColor(const ImageBlock& source)
{
    if (source.isNull() || source.size() < ImageBlock::kHeaderSize)
        return badArgument();
    switch (source.bitCount()) {
    case 1:
        return monoToTrueColor(source);
    case 4:
        return colors16ToTrueColor(source);
    case 8:
        return colors256ToTrueColor(source);
    case 24:
        return isUsableSource(source, 24) ? duplicateBlock(source) : badArgument();
    default:
        return badArgument();
    }
}

namespace {

using RowConverter = void (*)(const uint8_t* in, uint8_t* out, uint64_t width);

void convert3BitRow(const uint8_t* in, uint8_t* out, uint64_t width) { expandBits(in, out, 3 * width); }

void convert16BitRow(const uint8_t* in, uint8_t* out, uint64_t width)
{
    // Five bits a channel, bit 15 dropped.
    for (uint64_t x = 0; x < width; ++x, in += 2, out += 3) {
        unsigned value = static_cast<unsigned>(in[0]) | (static_cast<unsigned>(in[1]) << 8);
        out[0] = toEightBits(value & 0x1F, 31);
        out[1] = toEightBits((value >> 5) & 0x1F, 31);
        out[2] = toEightBits((value >> 10) & 0x1F, 31);
    }
}

template <unsigned Stride>
void convertGroupsRow(const uint8_t* in, uint8_t* out, uint64_t width)
{
    for (uint64_t x = 0; x < width; ++x, in += Stride, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    }
}

void convert48BitRow(const uint8_t* in, uint8_t* out, uint64_t width) { std::memcpy(out, in, 3 * width); }

RowConverter rowConverterFor(uint16_t bitCount)
{
    switch (bitCount) {
    case 3:
        return convert3BitRow;
    case 16:
        return convert16BitRow;
    case 32:
        return convertGroupsRow<4>;
    case 40:
        return convertGroupsRow<5>;
    case 48:
        return convert48BitRow; // the reader left 8-bit samples at the front of each row
    case 64:
        return convertGroupsRow<4>; // likewise, blue, green, red, alpha
    default:
        return nullptr;
    }
}

// A 16 x 16 Bayer matrix: every threshold from 0 to 255 once, each
// quarter of the matrix spread as evenly as the whole.
constexpr std::array<std::array<uint8_t, 16>, 16> makeBayer()
{
    std::array<std::array<uint8_t, 16>, 16> matrix{};
    for (unsigned y = 0; y < 16; ++y)
        for (unsigned x = 0; x < 16; ++x) {
            unsigned value = 0;
            for (unsigned bit = 0; bit < 4; ++bit) {
                const unsigned xBit = (x >> bit) & 1, yBit = (y >> bit) & 1;
                value |= ((xBit ^ yBit) << (2 * (3 - bit) + 1)) | (yBit << (2 * (3 - bit)));
            }
            matrix[y][x] = static_cast<uint8_t>(value);
        }
    return matrix;
}
constexpr auto kBayer = makeBayer();

// floor(v * 255 / 65535 + t), t = (threshold + 1/2) / 256: the mean over
// the thresholds is v * 255 / 65535 itself.
inline uint8_t ditheredSample(uint16_t value, unsigned threshold)
{
    constexpr uint64_t kDenominator = uint64_t(65535) * 512;
    const uint64_t scaled = uint64_t(value) * 255 * 512 + uint64_t(2 * threshold + 1) * 65535;
    return static_cast<uint8_t>(std::min<uint64_t>(255, scaled / kDenominator));
}

} // namespace

Result<ImageBlock> ditherSixteenBitSamples(const ImageBlock& source)
{
    if (!isUsableSource(source, 48) || source.width() <= 0 || source.height() <= 0)
        return badArgument();
    ImageBlock result = createLike(source, 24, 0, false);
    if (!result)
        return outOfMemory();
    const auto width = static_cast<uint32_t>(source.width());
    for (int32_t y = 0; y < source.height(); ++y) {
        const uint8_t* in = source.row(y);
        uint8_t* out = result.row(y);
        const auto& thresholds = kBayer[size_t(y) % 16];
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned threshold = thresholds[x % 16];
            for (int c = 0; c < 3; ++c, in += 2) {
                uint16_t sample;
                std::memcpy(&sample, in, 2);
                *out++ = ditheredSample(sample, threshold);
            }
        }
    }
    return result;
}

Result<ImageBlock> normaliseDepth(const ImageBlock& source)
{
    if (source.isNull() || source.size() < ImageBlock::kHeaderSize)
        return badArgument();
    RowConverter convertRow = rowConverterFor(source.bitCount());
    if (!convertRow || !isUsableSource(source, source.bitCount()))
        return badArgument();
    // Every row is written below: pages a picture freed lately will do.
    ImageBlock result = ImageBlock::createForRows(source.width(), source.height(), 24, 0);
    if (!result)
        return outOfMemory();
    result.setXPelsPerMeter(source.xPelsPerMeter());
    result.setYPelsPerMeter(source.yPelsPerMeter());
    const uint64_t sourceRowSize = source.rowSize();
    const uint64_t resultRowSize = result.rowSize();
    const auto width = static_cast<uint64_t>(source.width());
    for (int32_t y = 0; y < rowCount(source); ++y)
        convertRow(sourceRow(source, sourceRowSize, y), result.pixels() + resultRowSize * static_cast<uint64_t>(y), width);
    return result;
}

Status increaseDepth(IncreaseDepthCommand command, ImageBlock& current)
{
    if (current.isNull() || current.size() < ImageBlock::kHeaderSize || !isUsableSource(current, current.bitCount()))
        return badArgument();
    const uint16_t bits = current.bitCount();
    Result<ImageBlock> (*convert)(const ImageBlock&) = nullptr;
    switch (command) {
    case IncreaseDepthCommand::To16Colors:
        convert = bits == 1 ? monoTo16Colors : nullptr;
        break;
    case IncreaseDepthCommand::To256Colors:
        convert = bits == 1 ? monoTo256Colors : bits == 4 ? sixteenTo256Colors : nullptr;
        break;
    case IncreaseDepthCommand::ToTrueColor:
        convert = bits == 1 ? monoToTrueColor : bits == 4 ? colors16ToTrueColor : bits == 8 ? colors256ToTrueColor : nullptr;
        break;
    }
    if (!convert)
        return {}; // already that deep
    Result<ImageBlock> deeper = convert(current);
    if (!deeper)
        return deeper.failure();
    current = deeper.take();
    return {};
}

void setBit(uint8_t* row, uint32_t index, int value)
{
    if (value)
        row[index / 8] = static_cast<uint8_t>(row[index / 8] | (0x80u >> (index % 8)));
}

int testBit(const uint8_t* row, uint32_t index) { return (row[index / 8] >> (7 - index % 8)) & 1; }

} // namespace pictorand
