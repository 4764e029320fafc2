#include "ops/quantise.h"

#include "core/checked_size.h"
#include "core/large_buffer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pictorand {

namespace {

// The histogram has 5 bits of blue, 6 of green and 5 of red; blue varies
// slowest. Green gets the extra bit because the eye resolves it best.
constexpr int kBlueCells = 32;
constexpr int kGreenCells = 64;
constexpr int kRedCells = 32;
constexpr int kCellCount = kBlueCells * kGreenCells * kRedCells;
constexpr int kBlueStride = kGreenCells * kRedCells;
constexpr int kGreenStride = kRedCells;

constexpr int cellOf(int blue, int green, int red) { return blue * kBlueStride + green * kGreenStride + red; }
constexpr int cellOfSample(int blue, int green, int red) { return cellOf(blue >> 3, green >> 2, red >> 3); }

// Distances weigh blue 2, green 3, red 1 per sample step (the scale is
// applied before squaring); in cell units that is 16, 12 and 8.
constexpr int kBlueScale = 2;
constexpr int kGreenScale = 3;
constexpr int kRedScale = 1;
constexpr int kBlueCellWeight = 8 * kBlueScale;
constexpr int kGreenCellWeight = 4 * kGreenScale;
constexpr int kRedCellWeight = 8 * kRedScale;

constexpr int kMaxColors = 256;

struct Box {
    int blueMin, blueMax;
    int greenMin, greenMax;
    int redMin, redMax;
    int64_t volume;
    int64_t populated; // histogram cells with a non-zero count
};

struct Palette {
    std::array<uint8_t, kMaxColors> blue{};
    std::array<uint8_t, kMaxColors> green{};
    std::array<uint8_t, kMaxColors> red{};
    int count = 0;
};

// Error-limit table over -255..255: small errors pass unchanged, mid-sized
// ones grow at half speed and large ones stop at 32, which keeps the dither
// from smearing big errors across flat areas.
const int* errorLimit()
{
    static const std::array<int, 511> table = [] {
        std::array<int, 511> t{};
        for (int magnitude = 0; magnitude <= 255; ++magnitude) {
            int limited = magnitude < 16 ? magnitude : magnitude < 48 ? 16 + (magnitude - 16) / 2 : 32;
            t[255 + magnitude] = limited;
            t[255 - magnitude] = -limited;
        }
        return t;
    }();
    return table.data() + 255;
}

// ---- Rows of the source as 24-bit blue, green, red -----------------------

// Hands out the source's rows in true colour: a 24-bit block's own rows, or a
// paletted row expanded through the colour table into one reused buffer (so
// a paletted source never needs a whole true-colour copy).
class TrueColorRows {
public:
    bool open(const ImageBlock& source)
    {
        m_source = &source;
        m_bits = source.bitCount();
        m_rowSize = source.rowSize();
        m_width = static_cast<uint64_t>(source.width());
        if (m_bits == 24)
            return true;
        // Entries the block lacks count as black, as in the expansions.
        uint32_t entries = std::min<uint32_t>(source.colorsUsed(), m_bits == 8 ? 256 : 16);
        std::memcpy(m_lookup.data(), source.colorTable(), size_t(entries) * sizeof(ColorEntry));
        auto bytes = checkedMul(m_width, 3);
        if (!bytes || *bytes > kMaxBlockBytes)
            return false;
        m_buffer = LargeBuffer::allocate(static_cast<size_t>(std::max<uint64_t>(*bytes, 1)));
        return static_cast<bool>(m_buffer);
    }

    const uint8_t* row(int32_t y)
    {
        const uint8_t* in = m_source->pixels() + m_rowSize * static_cast<uint64_t>(y);
        if (m_bits == 24)
            return in;
        uint8_t* out = m_buffer.data();
        for (uint64_t x = 0; x < m_width; ++x, out += 3) {
            unsigned index = m_bits == 8 ? in[x] : (x & 1) ? (in[x / 2] & 0x0F) : (in[x / 2] >> 4);
            const ColorEntry& color = m_lookup[index];
            out[0] = color.blue;
            out[1] = color.green;
            out[2] = color.red;
        }
        return m_buffer.data();
    }

private:
    const ImageBlock* m_source = nullptr;
    unsigned m_bits = 0;
    uint64_t m_rowSize = 0;
    uint64_t m_width = 0;
    std::array<ColorEntry, 256> m_lookup{};
    LargeBuffer m_buffer;
};

// ---- Colour selection -----------------------------------------------------

void prescan(TrueColorRows& rows, int32_t width, int32_t height, uint16_t* histogram)
{
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* pixel = rows.row(y);
        for (int32_t x = 0; x < width; ++x, pixel += 3) {
            uint16_t& count = histogram[cellOfSample(pixel[0], pixel[1], pixel[2])];
            // Counts stop at the top instead of wrapping round to zero.
            count = static_cast<uint16_t>(count + (count != 0xFFFF));
        }
    }
}

bool bluePlaneUsed(const uint16_t* histogram, const Box& box, int blue)
{
    for (int green = box.greenMin; green <= box.greenMax; ++green) {
        const uint16_t* cell = histogram + cellOf(blue, green, box.redMin);
        for (int red = box.redMin; red <= box.redMax; ++red)
            if (*cell++)
                return true;
    }
    return false;
}

bool greenPlaneUsed(const uint16_t* histogram, const Box& box, int green)
{
    for (int blue = box.blueMin; blue <= box.blueMax; ++blue) {
        const uint16_t* cell = histogram + cellOf(blue, green, box.redMin);
        for (int red = box.redMin; red <= box.redMax; ++red)
            if (*cell++)
                return true;
    }
    return false;
}

bool redPlaneUsed(const uint16_t* histogram, const Box& box, int red)
{
    for (int blue = box.blueMin; blue <= box.blueMax; ++blue)
        for (int green = box.greenMin; green <= box.greenMax; ++green)
            if (histogram[cellOf(blue, green, red)])
                return true;
    return false;
}

// Pulls each side of the box in to the first plane that holds a counted
// cell, then recomputes its volume and populated-cell count.
void shrinkBox(const uint16_t* histogram, Box& box)
{
    if (box.blueMax > box.blueMin) {
        for (int blue = box.blueMin; blue <= box.blueMax; ++blue)
            if (bluePlaneUsed(histogram, box, blue)) {
                box.blueMin = blue;
                break;
            }
        for (int blue = box.blueMax; blue >= box.blueMin; --blue)
            if (bluePlaneUsed(histogram, box, blue)) {
                box.blueMax = blue;
                break;
            }
    }
    if (box.greenMax > box.greenMin) {
        for (int green = box.greenMin; green <= box.greenMax; ++green)
            if (greenPlaneUsed(histogram, box, green)) {
                box.greenMin = green;
                break;
            }
        for (int green = box.greenMax; green >= box.greenMin; --green)
            if (greenPlaneUsed(histogram, box, green)) {
                box.greenMax = green;
                break;
            }
    }
    if (box.redMax > box.redMin) {
        for (int red = box.redMin; red <= box.redMax; ++red)
            if (redPlaneUsed(histogram, box, red)) {
                box.redMin = red;
                break;
            }
        for (int red = box.redMax; red >= box.redMin; --red)
            if (redPlaneUsed(histogram, box, red)) {
                box.redMax = red;
                break;
            }
    }
    int64_t blueExtent = int64_t(box.blueMax - box.blueMin) * kBlueCellWeight;
    int64_t greenExtent = int64_t(box.greenMax - box.greenMin) * kGreenCellWeight;
    int64_t redExtent = int64_t(box.redMax - box.redMin) * kRedCellWeight;
    box.volume = blueExtent * blueExtent + greenExtent * greenExtent + redExtent * redExtent;
    int64_t populated = 0;
    for (int blue = box.blueMin; blue <= box.blueMax; ++blue)
        for (int green = box.greenMin; green <= box.greenMax; ++green) {
            const uint16_t* cell = histogram + cellOf(blue, green, box.redMin);
            for (int red = box.redMin; red <= box.redMax; ++red)
                populated += *cell++ != 0;
        }
    box.populated = populated;
}

// While fewer than half the wanted boxes exist the most populated box is
// split, later the one of largest volume; ties keep the earliest box.
Box* pickBoxToSplit(Box* boxes, int boxCount, int wanted)
{
    Box* picked = nullptr;
    int64_t best = 0;
    if (2 * boxCount <= wanted) {
        for (int i = 0; i < boxCount; ++i)
            if (boxes[i].populated > best && boxes[i].volume > 0) {
                best = boxes[i].populated;
                picked = &boxes[i];
            }
    } else {
        for (int i = 0; i < boxCount; ++i)
            if (boxes[i].volume > best) {
                best = boxes[i].volume;
                picked = &boxes[i];
            }
    }
    return picked;
}

int medianCut(const uint16_t* histogram, std::array<Box, kMaxColors>& boxes, int wanted)
{
    boxes[0] = Box{0, kBlueCells - 1, 0, kGreenCells - 1, 0, kRedCells - 1, 0, 0};
    shrinkBox(histogram, boxes[0]);
    int boxCount = 1;
    while (boxCount < wanted) {
        Box* picked = pickBoxToSplit(boxes.data(), boxCount, wanted);
        if (!picked)
            break;
        Box& added = boxes[static_cast<size_t>(boxCount)];
        added = *picked;
        int blueExtent = (picked->blueMax - picked->blueMin) * kBlueCellWeight;
        int greenExtent = (picked->greenMax - picked->greenMin) * kGreenCellWeight;
        int redExtent = (picked->redMax - picked->redMin) * kRedCellWeight;
        // Green wins a tie with blue; red must beat both.
        int axis = 1;
        int widest = greenExtent;
        if (blueExtent > widest) {
            widest = blueExtent;
            axis = 0;
        }
        if (redExtent > widest)
            axis = 2;
        switch (axis) {
        case 0: {
            int cut = (picked->blueMin + picked->blueMax) / 2;
            picked->blueMax = cut;
            added.blueMin = cut + 1;
            break;
        }
        case 1: {
            int cut = (picked->greenMin + picked->greenMax) / 2;
            picked->greenMax = cut;
            added.greenMin = cut + 1;
            break;
        }
        default: {
            int cut = (picked->redMin + picked->redMax) / 2;
            picked->redMax = cut;
            added.redMin = cut + 1;
            break;
        }
        }
        shrinkBox(histogram, *picked);
        shrinkBox(histogram, added);
        ++boxCount;
    }
    return boxCount;
}

// The count-weighted mean of the cell centres, rounded to nearest.
void boxColor(const uint16_t* histogram, const Box& box, Palette& palette, int index)
{
    uint64_t total = 0, blueSum = 0, greenSum = 0, redSum = 0;
    for (int blue = box.blueMin; blue <= box.blueMax; ++blue)
        for (int green = box.greenMin; green <= box.greenMax; ++green) {
            const uint16_t* cell = histogram + cellOf(blue, green, box.redMin);
            for (int red = box.redMin; red <= box.redMax; ++red) {
                uint64_t count = *cell++;
                if (!count)
                    continue;
                total += count;
                blueSum += count * uint64_t(blue * 8 + 4);
                greenSum += count * uint64_t(green * 4 + 2);
                redSum += count * uint64_t(red * 8 + 4);
            }
        }
    if (total == 0) // only for a picture without pixels
        return;
    palette.blue[static_cast<size_t>(index)] = static_cast<uint8_t>((blueSum + total / 2) / total);
    palette.green[static_cast<size_t>(index)] = static_cast<uint8_t>((greenSum + total / 2) / total);
    palette.red[static_cast<size_t>(index)] = static_cast<uint8_t>((redSum + total / 2) / total);
}

// ---- Inverse colour map ----------------------------------------------------

// A cache block covers 4 blue x 8 green x 4 red histogram cells.
constexpr int kBlockBlue = 4;
constexpr int kBlockGreen = 8;
constexpr int kBlockRed = 4;
constexpr int kBlockCells = kBlockBlue * kBlockGreen * kBlockRed;

int squared(int value) { return value * value; }

// Squared weighted distances from a colour component to the nearest and the
// farthest point of the span [low, high] of one axis.
void axisDistances(int value, int low, int high, int scale, int& nearest, int& farthest)
{
    int centre = (low + high) >> 1;
    if (value < low) {
        nearest = squared((value - low) * scale);
        farthest = squared((value - high) * scale);
    } else if (value > high) {
        nearest = squared((value - high) * scale);
        farthest = squared((value - low) * scale);
    } else {
        nearest = 0;
        farthest = value <= centre ? squared((value - high) * scale) : squared((value - low) * scale);
    }
}

// Fills the cache block holding the cell (blue, green, red) with palette
// index + 1 of the nearest colour to each cell centre. Colours that cannot be
// nearest anywhere in the block are dropped before the per-cell search.
void fillCacheBlock(uint16_t* cache, const Palette& palette, int blueCell, int greenCell, int redCell)
{
    const int blueBase = blueCell / kBlockBlue * kBlockBlue;
    const int greenBase = greenCell / kBlockGreen * kBlockGreen;
    const int redBase = redCell / kBlockRed * kBlockRed;
    // Cell centres of the block in sample units.
    const int blueLow = blueBase * 8 + 4, blueHigh = blueLow + 24;
    const int greenLow = greenBase * 4 + 2, greenHigh = greenLow + 28;
    const int redLow = redBase * 8 + 4, redHigh = redLow + 24;

    std::array<int, kMaxColors> nearestDistance;
    int leastFarthest = 0x7FFFFFFF;
    for (int i = 0; i < palette.count; ++i) {
        int nearB, farB, nearG, farG, nearR, farR;
        axisDistances(palette.blue[static_cast<size_t>(i)], blueLow, blueHigh, kBlueScale, nearB, farB);
        axisDistances(palette.green[static_cast<size_t>(i)], greenLow, greenHigh, kGreenScale, nearG, farG);
        axisDistances(palette.red[static_cast<size_t>(i)], redLow, redHigh, kRedScale, nearR, farR);
        nearestDistance[static_cast<size_t>(i)] = nearB + nearG + nearR;
        leastFarthest = std::min(leastFarthest, farB + farG + farR);
    }
    std::array<uint8_t, kMaxColors> candidates;
    int candidateCount = 0;
    for (int i = 0; i < palette.count; ++i)
        if (nearestDistance[static_cast<size_t>(i)] <= leastFarthest)
            candidates[static_cast<size_t>(candidateCount++)] = static_cast<uint8_t>(i);

    // Walk the 128 cells with incremental distances: moving one cell along
    // an axis adds 2 * step * offset + step^2 in weighted units.
    constexpr int blueStep = kBlueCellWeight, greenStep = kGreenCellWeight, redStep = kRedCellWeight;
    std::array<int, kBlockCells> bestDistance;
    std::array<uint8_t, kBlockCells> bestColor{};
    bestDistance.fill(0x7FFFFFFF);
    for (int c = 0; c < candidateCount; ++c) {
        const int color = candidates[static_cast<size_t>(c)];
        int blueOffset = (blueLow - palette.blue[static_cast<size_t>(color)]) * kBlueScale;
        int greenOffset = (greenLow - palette.green[static_cast<size_t>(color)]) * kGreenScale;
        int redOffset = (redLow - palette.red[static_cast<size_t>(color)]) * kRedScale;
        int blueDistance = blueOffset * blueOffset + greenOffset * greenOffset + redOffset * redOffset;
        int blueIncrement = blueOffset * (2 * blueStep) + blueStep * blueStep;
        const int greenIncrementStart = greenOffset * (2 * greenStep) + greenStep * greenStep;
        const int redIncrementStart = redOffset * (2 * redStep) + redStep * redStep;
        int cell = 0;
        for (int b = 0; b < kBlockBlue; ++b) {
            int greenDistance = blueDistance;
            int greenIncrement = greenIncrementStart;
            for (int g = 0; g < kBlockGreen; ++g) {
                int redDistance = greenDistance;
                int redIncrement = redIncrementStart;
                for (int r = 0; r < kBlockRed; ++r, ++cell) {
                    if (redDistance < bestDistance[static_cast<size_t>(cell)]) {
                        bestDistance[static_cast<size_t>(cell)] = redDistance;
                        bestColor[static_cast<size_t>(cell)] = static_cast<uint8_t>(color);
                    }
                    redDistance += redIncrement;
                    redIncrement += 2 * redStep * redStep;
                }
                greenDistance += greenIncrement;
                greenIncrement += 2 * greenStep * greenStep;
            }
            blueDistance += blueIncrement;
            blueIncrement += 2 * blueStep * blueStep;
        }
    }
    int cell = 0;
    for (int b = 0; b < kBlockBlue; ++b)
        for (int g = 0; g < kBlockGreen; ++g) {
            uint16_t* out = cache + cellOf(blueBase + b, greenBase + g, redBase);
            for (int r = 0; r < kBlockRed; ++r, ++cell)
                out[r] = static_cast<uint16_t>(bestColor[static_cast<size_t>(cell)] + 1);
        }
}

// ---- Floyd-Steinberg mapping -----------------------------------------------

struct Mapper {
    uint16_t* cache;
    const Palette* palette;
    const int* limit;
    int16_t* errors; // (width + 2) * 3: entry i holds column i - 1
    int32_t width;
};

inline int clampSample(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// One row in direction Step (+1 left to right, -1 right to left). The error
// sums of the previous row are read and replaced in the same pass, in the
// usual running-sum form: the entry behind the pixel receives what is owed
// to it from the pixels behind, at and ahead of it.
template <int Step>
void ditherRow(const Mapper& mapper, const uint8_t* in, uint8_t* out)
{
    const Palette& palette = *mapper.palette;
    const int* limit = mapper.limit;
    uint16_t* cache = mapper.cache;
    const int32_t first = Step > 0 ? 0 : mapper.width - 1;
    const uint8_t* pixel = in + 3 * static_cast<ptrdiff_t>(first);
    uint8_t* index = out + first;
    // Points at the column behind the current pixel.
    int16_t* behind = mapper.errors + 3 * static_cast<ptrdiff_t>(first - Step + 1);
    int carried0 = 0, carried1 = 0, carried2 = 0;
    int below0 = 0, below1 = 0, below2 = 0;
    int belowBehind0 = 0, belowBehind1 = 0, belowBehind2 = 0;
    for (int32_t count = mapper.width; count > 0; --count) {
        int value0 = clampSample(pixel[0] + limit[(carried0 + behind[3 * Step + 0] + 8) >> 4]);
        int value1 = clampSample(pixel[1] + limit[(carried1 + behind[3 * Step + 1] + 8) >> 4]);
        int value2 = clampSample(pixel[2] + limit[(carried2 + behind[3 * Step + 2] + 8) >> 4]);
        uint16_t* cell = cache + cellOfSample(value0, value1, value2);
        if (*cell == 0)
            fillCacheBlock(cache, palette, value0 >> 3, value1 >> 2, value2 >> 3);
        const unsigned color = *cell - 1u;
        *index = static_cast<uint8_t>(color);
        const int error0 = value0 - palette.blue[color];
        const int error1 = value1 - palette.green[color];
        const int error2 = value2 - palette.red[color];
        behind[0] = static_cast<int16_t>(belowBehind0 + 3 * error0);
        behind[1] = static_cast<int16_t>(belowBehind1 + 3 * error1);
        behind[2] = static_cast<int16_t>(belowBehind2 + 3 * error2);
        belowBehind0 = below0 + 5 * error0;
        belowBehind1 = below1 + 5 * error1;
        belowBehind2 = below2 + 5 * error2;
        below0 = error0;
        below1 = error1;
        below2 = error2;
        carried0 = 7 * error0;
        carried1 = 7 * error1;
        carried2 = 7 * error2;
        pixel += 3 * Step;
        index += Step;
        behind += 3 * Step;
    }
    behind[0] = static_cast<int16_t>(belowBehind0);
    behind[1] = static_cast<int16_t>(belowBehind1);
    behind[2] = static_cast<int16_t>(belowBehind2);
}

void packRow(const uint8_t* indexes, uint8_t* out, uint64_t width, unsigned bits)
{
    if (bits == 4) {
        uint64_t pairs = width / 2;
        for (uint64_t i = 0; i < pairs; ++i)
            out[i] = static_cast<uint8_t>((indexes[2 * i] << 4) | indexes[2 * i + 1]);
        if (width & 1)
            out[pairs] = static_cast<uint8_t>(indexes[width - 1] << 4);
        return;
    }
    uint64_t bytes = width / 8;
    for (uint64_t i = 0; i < bytes; ++i) {
        const uint8_t* p = indexes + 8 * i;
        out[i] = static_cast<uint8_t>((p[0] << 7) | (p[1] << 6) | (p[2] << 5) | (p[3] << 4) | (p[4] << 3) | (p[5] << 2)
            | (p[6] << 1) | p[7]);
    }
    unsigned rest = static_cast<unsigned>(width % 8);
    if (rest) {
        unsigned packed = 0;
        for (unsigned k = 0; k < rest; ++k)
            packed |= unsigned(indexes[8 * bytes + k] & 1) << (7 - k);
        out[bytes] = static_cast<uint8_t>(packed);
    }
}

// Two colours are shown as black and white whatever the boxes' colours
// were, so the darker box must be entry 0: otherwise a picture whose first box
// is the brighter one comes out inverted, and a uniformly light picture all
// black. A lone light colour moves to entry 1 with black beside it.
void orderDarkFirst(Palette& palette)
{
    auto luminance = [&](int i) {
        auto entry = static_cast<size_t>(i);
        return 299 * palette.red[entry] + 587 * palette.green[entry] + 114 * palette.blue[entry];
    };
    if (palette.count == 2 && luminance(0) > luminance(1)) {
        std::swap(palette.red[0], palette.red[1]);
        std::swap(palette.green[0], palette.green[1]);
        std::swap(palette.blue[0], palette.blue[1]);
    } else if (palette.count == 1 && luminance(0) >= 128 * 1000) {
        palette.red[1] = palette.red[0];
        palette.green[1] = palette.green[0];
        palette.blue[1] = palette.blue[0];
        palette.red[0] = palette.green[0] = palette.blue[0] = 0;
        palette.count = 2;
    }
}

} // namespace

Result<ImageBlock> quantise(const ImageBlock& source, int colors)
{
    if (source.isNull() || source.size() < ImageBlock::kHeaderSize || source.headerSize() != ImageBlock::kHeaderSize
        || !source.isConsistent())
        return badArgument();
    const uint16_t sourceBits = source.bitCount();
    if (sourceBits != 24 && sourceBits != 8 && sourceBits != 4)
        return badArgument();
    if (colors < 1 || colors > kMaxColors)
        return badArgument();
    const uint16_t outputBits = colors > 16 ? 8 : colors > 2 ? 4 : 1;
    const int32_t width = source.width();
    const int32_t height = source.height();

    ImageBlock result = ImageBlock::create(width, height, outputBits, static_cast<uint32_t>(colors));
    if (!result)
        return outOfMemory();
    result.setXPelsPerMeter(source.xPelsPerMeter());
    result.setYPelsPerMeter(source.yPelsPerMeter());
    // Nothing to count or map: every entry stays black. (A header with a
    // huge width and no rows must not ask for row-sized buffers either.)
    if (width == 0 || height == 0)
        return result;

    TrueColorRows rows;
    if (!rows.open(source))
        return outOfMemory();
    // Indexes go straight into 8-bit rows; narrower output is packed from one
    // reused row of indexes, so no whole-picture index image is needed.
    LargeBuffer indexRow;
    if (outputBits != 8) {
        indexRow = LargeBuffer::allocate(static_cast<size_t>(std::max<int32_t>(width, 1)));
        if (!indexRow)
            return outOfMemory();
    }
    LargeBuffer histogramBuffer = LargeBuffer::allocate(kCellCount * sizeof(uint16_t));
    LargeBuffer errorBuffer = LargeBuffer::allocate((static_cast<size_t>(width) + 2) * 3 * sizeof(int16_t));
    if (!histogramBuffer || !errorBuffer)
        return outOfMemory();
    auto* histogram = reinterpret_cast<uint16_t*>(histogramBuffer.data());
    auto* errors = reinterpret_cast<int16_t*>(errorBuffer.data());

    prescan(rows, width, height, histogram);

    std::array<Box, kMaxColors> boxes;
    Palette palette;
    palette.count = medianCut(histogram, boxes, colors);
    for (int i = 0; i < palette.count; ++i)
        boxColor(histogram, boxes[static_cast<size_t>(i)], palette, i);
    if (colors == 2)
        orderDarkFirst(palette);

    // The histogram becomes the inverse-map cache: 0 unknown, else index + 1.
    std::memset(histogram, 0, kCellCount * sizeof(uint16_t));
    const Mapper mapper{histogram, &palette, errorLimit(), errors, width};
    const uint64_t resultRowSize = result.rowSize();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = rows.row(y);
        uint8_t* outRow = result.pixels() + resultRowSize * static_cast<uint64_t>(y);
        uint8_t* indexes = outputBits == 8 ? outRow : indexRow.data();
        if (width > 0) {
            if (y % 2 == 0)
                ditherRow<1>(mapper, in, indexes);
            else
                ditherRow<-1>(mapper, in, indexes);
        }
        if (outputBits != 8)
            packRow(indexes, outRow, static_cast<uint64_t>(width), outputBits);
    }

    if (colors == 2) {
        // Two colours always show as black and white.
        result.setColor(0, 0, 0, 0);
        result.setColor(1, 255, 255, 255);
    } else {
        for (int i = 0; i < palette.count; ++i) {
            auto entry = static_cast<size_t>(i);
            result.setColor(static_cast<uint32_t>(i), palette.red[entry], palette.green[entry], palette.blue[entry]);
        }
    }
    return result;
}

} // namespace pictorand
