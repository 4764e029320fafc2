#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

namespace pictorand {
namespace {

using testing::blockToRgb;
using testing::RgbImage;

// ---- A plain, slow median cut with Floyd-Steinberg dithering ---------------
// Written from the definition of the quantiser, without its caches, running
// sums or incremental distances: whole-image error accumulators, bounding
// boxes found by scanning every cell, nearest colours by trying them all.

struct ReferenceResult {
    std::vector<std::vector<uint8_t>> indexes; // stored rows
    std::vector<ColorEntry> table;
};

struct ReferenceBox {
    int low[3];
    int high[3];
    long long volume = 0;
    long long populated = 0;
};

class ReferenceQuantiser {
public:
    // `rows` are the stored rows as blue, green, red triples.
    ReferenceResult run(const std::vector<std::vector<uint8_t>>& rows, int width, int colors)
    {
        m_counts.assign(32 * 64 * 32, 0);
        for (const auto& row : rows)
            for (int x = 0; x < width; ++x) {
                int& count = m_counts[cell(row[x * 3] / 8, row[x * 3 + 1] / 4, row[x * 3 + 2] / 8)];
                count = std::min(count + 1, 65535);
            }
        std::vector<ReferenceBox> boxes(1);
        boxes[0] = ReferenceBox{{0, 0, 0}, {31, 63, 31}};
        shrink(boxes[0]);
        while (static_cast<int>(boxes.size()) < colors) {
            int picked = -1;
            long long best = 0;
            bool byPopulation = 2 * static_cast<int>(boxes.size()) <= colors;
            for (size_t i = 0; i < boxes.size(); ++i) {
                if (boxes[i].volume <= 0)
                    continue;
                long long key = byPopulation ? boxes[i].populated : boxes[i].volume;
                if (key > best) {
                    best = key;
                    picked = static_cast<int>(i);
                }
            }
            if (picked < 0)
                break;
            ReferenceBox old = boxes[static_cast<size_t>(picked)];
            const int weights[3] = {16, 12, 8};
            long long extent[3];
            for (int a = 0; a < 3; ++a)
                extent[a] = static_cast<long long>(old.high[a] - old.low[a]) * weights[a];
            int axis = 1;
            if (extent[0] > extent[1])
                axis = 0;
            if (extent[2] > extent[0] && extent[2] > extent[1])
                axis = 2;
            int cut = (old.low[axis] + old.high[axis]) / 2;
            ReferenceBox first = old, second = old;
            first.high[axis] = cut;
            second.low[axis] = cut + 1;
            shrink(first);
            shrink(second);
            boxes[static_cast<size_t>(picked)] = first;
            boxes.push_back(second);
        }
        std::vector<std::array<int, 3>> palette;
        for (const ReferenceBox& box : boxes)
            palette.push_back(mean(box));
        if (colors == 2) {
            // Shown as black and white, so the darker colour must be entry 0;
            // a lone light colour goes to entry 1 beside black.
            auto light = [](const std::array<int, 3>& bgr) { return 114 * bgr[0] + 587 * bgr[1] + 299 * bgr[2]; };
            if (palette.size() == 2 && light(palette[0]) > light(palette[1]))
                std::swap(palette[0], palette[1]);
            else if (palette.size() == 1 && light(palette[0]) >= 128000)
                palette.insert(palette.begin(), std::array<int, 3>{0, 0, 0});
        }

        ReferenceResult result;
        const int height = static_cast<int>(rows.size());
        std::vector<std::vector<std::array<int, 3>>> owed(
            static_cast<size_t>(height) + 1, std::vector<std::array<int, 3>>(static_cast<size_t>(width), {0, 0, 0}));
        for (int y = 0; y < height; ++y) {
            std::vector<uint8_t> indexRow(static_cast<size_t>(width));
            const int step = y % 2 == 0 ? 1 : -1;
            for (int i = 0; i < width; ++i) {
                const int x = step > 0 ? i : width - 1 - i;
                int value[3];
                for (int c = 0; c < 3; ++c) {
                    int sixteenths = owed[static_cast<size_t>(y)][static_cast<size_t>(x)][static_cast<size_t>(c)];
                    value[c] = std::clamp(rows[static_cast<size_t>(y)][static_cast<size_t>(x * 3 + c)]
                            + limit(static_cast<int>(std::floor((sixteenths + 8) / 16.0))),
                        0, 255);
                }
                int chosen = nearest(palette, value[0] / 8 * 8 + 4, value[1] / 4 * 4 + 2, value[2] / 8 * 8 + 4);
                indexRow[static_cast<size_t>(x)] = static_cast<uint8_t>(chosen);
                for (int c = 0; c < 3; ++c) {
                    int error = value[c] - palette[static_cast<size_t>(chosen)][static_cast<size_t>(c)];
                    give(owed, y, x + step, c, 7 * error, width);
                    give(owed, y + 1, x - step, c, 3 * error, width);
                    give(owed, y + 1, x, c, 5 * error, width);
                    give(owed, y + 1, x + step, c, 1 * error, width);
                }
            }
            result.indexes.push_back(indexRow);
        }
        result.table.assign(static_cast<size_t>(colors), ColorEntry{});
        if (colors == 2) {
            result.table[1] = ColorEntry{255, 255, 255, 0};
        } else {
            for (size_t i = 0; i < palette.size(); ++i)
                result.table[i] = ColorEntry{static_cast<uint8_t>(palette[i][0]), static_cast<uint8_t>(palette[i][1]),
                    static_cast<uint8_t>(palette[i][2]), 0};
        }
        return result;
    }

private:
    static size_t cell(int b, int g, int r) { return static_cast<size_t>((b * 64 + g) * 32 + r); }

    static int limit(int error)
    {
        int magnitude = std::abs(error);
        int limited = magnitude < 16 ? magnitude : magnitude < 48 ? 16 + (magnitude - 16) / 2 : 32;
        return error < 0 ? -limited : limited;
    }

    static void give(std::vector<std::vector<std::array<int, 3>>>& owed, int y, int x, int c, int amount, int width)
    {
        if (x < 0 || x >= width)
            return;
        owed[static_cast<size_t>(y)][static_cast<size_t>(x)][static_cast<size_t>(c)] += amount;
    }

    static int nearest(const std::vector<std::array<int, 3>>& palette, int b, int g, int r)
    {
        long long best = -1;
        int chosen = 0;
        for (size_t i = 0; i < palette.size(); ++i) {
            long long db = 2 * (b - palette[i][0]), dg = 3 * (g - palette[i][1]), dr = r - palette[i][2];
            long long distance = db * db + dg * dg + dr * dr;
            if (best < 0 || distance < best) {
                best = distance;
                chosen = static_cast<int>(i);
            }
        }
        return chosen;
    }

    void shrink(ReferenceBox& box) const
    {
        int low[3] = {99, 99, 99}, high[3] = {-1, -1, -1};
        long long populated = 0;
        for (int b = box.low[0]; b <= box.high[0]; ++b)
            for (int g = box.low[1]; g <= box.high[1]; ++g)
                for (int r = box.low[2]; r <= box.high[2]; ++r) {
                    if (!m_counts[cell(b, g, r)])
                        continue;
                    ++populated;
                    const int at[3] = {b, g, r};
                    for (int a = 0; a < 3; ++a) {
                        low[a] = std::min(low[a], at[a]);
                        high[a] = std::max(high[a], at[a]);
                    }
                }
        if (populated) {
            std::copy(low, low + 3, box.low);
            std::copy(high, high + 3, box.high);
        }
        long long b = 16LL * (box.high[0] - box.low[0]), g = 12LL * (box.high[1] - box.low[1]),
                  r = 8LL * (box.high[2] - box.low[2]);
        box.volume = b * b + g * g + r * r;
        box.populated = populated;
    }

    std::array<int, 3> mean(const ReferenceBox& box) const
    {
        long long total = 0, sum[3] = {0, 0, 0};
        for (int b = box.low[0]; b <= box.high[0]; ++b)
            for (int g = box.low[1]; g <= box.high[1]; ++g)
                for (int r = box.low[2]; r <= box.high[2]; ++r) {
                    long long count = m_counts[cell(b, g, r)];
                    total += count;
                    sum[0] += count * (8 * b + 4);
                    sum[1] += count * (4 * g + 2);
                    sum[2] += count * (8 * r + 4);
                }
        std::array<int, 3> color{};
        for (int c = 0; c < 3; ++c)
            color[static_cast<size_t>(c)] = total ? static_cast<int>((sum[c] + total / 2) / total) : 0;
        return color;
    }

    std::vector<int> m_counts;
};

// ---- Helpers ---------------------------------------------------------------

// Deterministic pseudo-random numbers for the test pictures.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : m_state(seed) {}
    uint32_t next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }

private:
    uint32_t m_state;
};

// A smooth picture with some structure and a little noise.
ImageBlock makePhotoLike(int32_t width, int32_t height, uint32_t seed)
{
    ImageBlock block = ImageBlock::create(width, height, 24, 0);
    Lcg random(seed);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = block.row(y);
        for (int32_t x = 0; x < width; ++x) {
            double u = double(x) / std::max(1, width - 1), v = double(y) / std::max(1, height - 1);
            double blue = 128 + 100 * std::sin(6.0 * u + 2.0 * v);
            double green = 128 + 110 * std::cos(4.0 * v - 3.0 * u * v);
            double red = (x / 7 + y / 5) % 3 == 0 ? 230 * u : 60 + 150 * v;
            double noise[3];
            for (double& n : noise)
                n = static_cast<int>(random.next() % 9) - 4;
            row[x * 3] = static_cast<uint8_t>(std::clamp(blue + noise[0], 0.0, 255.0));
            row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(green + noise[1], 0.0, 255.0));
            row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(red + noise[2], 0.0, 255.0));
        }
    }
    return block;
}

std::vector<std::vector<uint8_t>> trueColorRows(const ImageBlock& block)
{
    ImageBlock expanded = block.bitCount() == 24 ? ImageBlock{} : expandToTrueColor(block).takeOr({});
    const ImageBlock& source = block.bitCount() == 24 ? block : expanded;
    std::vector<std::vector<uint8_t>> rows;
    for (int32_t y = 0; y < source.height(); ++y)
        rows.emplace_back(source.row(y), source.row(y) + 3 * source.width());
    return rows;
}

uint8_t indexAt(const ImageBlock& block, int32_t y, int32_t x)
{
    const uint8_t* row = block.row(y);
    switch (block.bitCount()) {
    case 8:
        return row[x];
    case 4:
        return (x & 1) ? (row[x / 2] & 0x0F) : static_cast<uint8_t>(row[x / 2] >> 4);
    default:
        return (row[x / 8] >> (7 - x % 8)) & 1;
    }
}

void expectMatchesReference(const ImageBlock& source, int colors)
{
    SCOPED_TRACE(::testing::Message() << source.width() << " x " << source.height() << " at " << source.bitCount()
                                      << " bits to " << colors << " colours");
    ImageBlock result = quantise(source, colors).takeOr({});
    ASSERT_TRUE(result);
    ReferenceResult expected = ReferenceQuantiser().run(trueColorRows(source), source.width(), colors);
    ASSERT_EQ(result.colorsUsed(), static_cast<uint32_t>(colors));
    for (int i = 0; i < colors; ++i)
        ASSERT_EQ(result.colorTable()[i], expected.table[static_cast<size_t>(i)]) << "entry " << i;
    for (int32_t y = 0; y < source.height(); ++y)
        for (int32_t x = 0; x < source.width(); ++x)
            ASSERT_EQ(indexAt(result, y, x), expected.indexes[static_cast<size_t>(y)][static_cast<size_t>(x)])
                << "pixel " << x << ", " << y;
    // Padding bits and bytes of every row stay zero.
    const uint64_t usedBits = uint64_t(source.width()) * result.bitCount();
    for (int32_t y = 0; y < source.height(); ++y) {
        const uint8_t* row = result.row(y);
        for (uint64_t bit = usedBits; bit < result.rowSize() * 8; ++bit)
            ASSERT_EQ((row[bit / 8] >> (7 - bit % 8)) & 1, 0) << "padding bit " << bit << " of row " << y;
    }
}

double psnr(const RgbImage& a, const RgbImage& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        double d = double(a.rgb[i]) - double(b.rgb[i]);
        sum += d * d;
    }
    double mse = sum / double(a.rgb.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// ---- Tests -----------------------------------------------------------------

TEST(Quantise, MatchesAPlainImplementationBitForBit)
{
    const std::tuple<int32_t, int32_t, uint32_t> pictures[] = {
        {1, 1, 1}, {7, 5, 2}, {23, 17, 3}, {64, 48, 4}, {97, 61, 5},
    };
    for (const auto& [width, height, seed] : pictures)
        for (int colors : {256, 16, 2, 5})
            expectMatchesReference(makePhotoLike(width, height, seed), colors);
}

TEST(Quantise, MatchesAPlainImplementationOnStrongColours)
{
    // Saturated random colours drive the error limits and the clamping hard.
    ImageBlock block = ImageBlock::create(41, 29, 24, 0);
    Lcg random(77);
    for (int32_t y = 0; y < block.height(); ++y)
        for (int32_t x = 0; x < 3 * block.width(); ++x)
            block.row(y)[x] = (random.next() & 1) ? static_cast<uint8_t>(random.next() % 40) : static_cast<uint8_t>(215 + random.next() % 41);
    for (int colors : {256, 16, 2})
        expectMatchesReference(block, colors);
}

TEST(Quantise, PalettedSourcesAreExpandedFirst)
{
    Lcg random(9);
    ImageBlock eight = ImageBlock::create(19, 11, 8, 256);
    for (uint32_t i = 0; i < 256; ++i)
        eight.setColor(i, static_cast<uint8_t>(random.next()), static_cast<uint8_t>(random.next()), static_cast<uint8_t>(random.next()));
    for (int32_t y = 0; y < eight.height(); ++y)
        for (int32_t x = 0; x < eight.width(); ++x)
            eight.row(y)[x] = static_cast<uint8_t>(random.next());
    ImageBlock four = ImageBlock::create(19, 11, 4, 16);
    for (uint32_t i = 0; i < 16; ++i)
        four.setColor(i, static_cast<uint8_t>(random.next()), static_cast<uint8_t>(random.next()), static_cast<uint8_t>(random.next()));
    for (int32_t y = 0; y < four.height(); ++y)
        for (uint64_t x = 0; x < four.rowSize(); ++x)
            four.row(y)[x] = static_cast<uint8_t>(random.next());
    for (const ImageBlock* source : {&eight, &four})
        for (int colors : {256, 16, 2}) {
            expectMatchesReference(*source, colors);
            ImageBlock direct = quantise(*source, colors).takeOr({});
            ImageBlock viaTrueColor = quantise(*expandToTrueColor(*source), colors).takeOr({});
            ASSERT_TRUE(direct);
            ASSERT_TRUE(viaTrueColor);
            ASSERT_EQ(direct.size(), viaTrueColor.size());
            EXPECT_EQ(std::memcmp(direct.data(), viaTrueColor.data(), direct.size()), 0);
        }
}

TEST(Quantise, FewerColoursThanWantedAreKeptExactlyWithBlackPadding)
{
    // Colours at histogram cell centres survive the 5-6-5 histogram unchanged.
    const ColorEntry colors[] = {{4, 2, 4, 0}, {252, 254, 252, 0}, {100, 34, 196, 0}, {12, 130, 60, 0}, {220, 78, 12, 0}};
    ImageBlock block = ImageBlock::create(13, 9, 24, 0);
    for (int32_t y = 0; y < block.height(); ++y)
        for (int32_t x = 0; x < block.width(); ++x) {
            const ColorEntry& c = colors[(x * 3 + y * 2) % 5];
            block.row(y)[x * 3] = c.blue;
            block.row(y)[x * 3 + 1] = c.green;
            block.row(y)[x * 3 + 2] = c.red;
        }
    for (int wanted : {256, 16}) {
        ImageBlock result = quantise(block, wanted).takeOr({});
        ASSERT_TRUE(result);
        EXPECT_EQ(blockToRgb(result).rgb, blockToRgb(block).rgb) << wanted;
        std::set<std::tuple<int, int, int>> table, original;
        for (const ColorEntry& c : colors)
            original.emplace(c.red, c.green, c.blue);
        for (int i = 0; i < 5; ++i)
            table.emplace(result.colorTable()[i].red, result.colorTable()[i].green, result.colorTable()[i].blue);
        EXPECT_EQ(table, original) << wanted;
        for (int i = 5; i < wanted; ++i)
            EXPECT_EQ(result.colorTable()[i], ColorEntry{}) << wanted << " entry " << i;
    }
}

TEST(Quantise, UniformPictureGivesOneColourAndIndexZeroEverywhere)
{
    ImageBlock block = ImageBlock::create(37, 21, 24, 0);
    for (int32_t y = 0; y < block.height(); ++y)
        for (int32_t x = 0; x < block.width(); ++x) {
            block.row(y)[x * 3] = 50;
            block.row(y)[x * 3 + 1] = 100;
            block.row(y)[x * 3 + 2] = 200;
        }
    ImageBlock result = quantise(block, 16).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(result.bitCount(), 4);
    // The cell centre of (200, 100, 50): the histogram keeps 5, 6 and 5 bits.
    EXPECT_EQ(result.colorTable()[0], (ColorEntry{52, 102, 204, 0}));
    for (int i = 1; i < 16; ++i)
        EXPECT_EQ(result.colorTable()[i], ColorEntry{}) << i;
    for (int32_t y = 0; y < block.height(); ++y)
        for (uint64_t i = 0; i < result.rowSize(); ++i)
            ASSERT_EQ(result.row(y)[i], 0) << i;
}

TEST(Quantise, HistogramCountsStopAt65535)
{
    // 80000 dark and 20000 light pixels in one box: the dark count stops at
    // 65535, so the mean is (65535 * 4 + 20000 * 252 + 85535 / 2) / 85535 = 62
    // for blue and red and 61 for green (54 and 53 if the count went on).
    ImageBlock block = ImageBlock::create(400, 250, 24, 0);
    for (int32_t y = 0; y < block.height(); ++y)
        for (int32_t x = 0; x < block.width(); ++x) {
            bool light = y >= 200;
            block.row(y)[x * 3] = light ? 252 : 4;
            block.row(y)[x * 3 + 1] = light ? 254 : 2;
            block.row(y)[x * 3 + 2] = light ? 252 : 4;
        }
    ImageBlock result = quantise(block, 1).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(result.colorTable()[0], (ColorEntry{62, 61, 62, 0}));
}

TEST(Quantise, TwoColoursGiveABlackAndWhiteTable)
{
    ImageBlock block = makePhotoLike(30, 20, 11);
    ImageBlock result = quantise(block, 2).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(result.bitCount(), 1);
    EXPECT_EQ(result.colorsUsed(), 2u);
    EXPECT_EQ(result.colorTable()[0], (ColorEntry{0, 0, 0, 0}));
    EXPECT_EQ(result.colorTable()[1], (ColorEntry{255, 255, 255, 0}));
    std::set<uint8_t> used;
    for (int32_t y = 0; y < block.height(); ++y)
        for (int32_t x = 0; x < block.width(); ++x)
            used.insert(indexAt(result, y, x));
    EXPECT_EQ(used.size(), 2u);
}

TEST(Quantise, TwoColoursKeepLightAndDarkWhereTheyWere)
{
    // Mostly white with a dark stripe: the first box is the light one, yet
    // white pixels must come out white.
    ImageBlock block = ImageBlock::create(16, 4, 24, 0);
    ASSERT_TRUE(block);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 16; ++x)
            std::memset(block.row(y) + x * 3, x < 3 ? 10 : 245, 3);
    ImageBlock result = quantise(block, 2).takeOr({});
    ASSERT_TRUE(result);
    for (int32_t y = 0; y < 4; ++y) {
        EXPECT_EQ(indexAt(result, y, 0), 0);
        EXPECT_EQ(indexAt(result, y, 15), 1);
    }

    ImageBlock white = ImageBlock::create(5, 3, 24, 0);
    ASSERT_TRUE(white);
    std::memset(white.pixels(), 255, white.rowSize() * 3);
    ImageBlock whiteResult = quantise(white, 2).takeOr({});
    ASSERT_TRUE(whiteResult);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(indexAt(whiteResult, y, x), 1);
}

TEST(Quantise, HeaderByWantedCount)
{
    ImageBlock block = makePhotoLike(9, 4, 1);
    block.setXPelsPerMeter(3780);
    block.setYPelsPerMeter(2000);
    struct Case {
        int colors;
        uint16_t bits;
    };
    for (Case c : {Case{256, 8}, Case{17, 8}, Case{16, 4}, Case{3, 4}, Case{2, 1}}) {
        ImageBlock result = quantise(block, c.colors).takeOr({});
        ASSERT_TRUE(result) << c.colors;
        EXPECT_EQ(result.headerSize(), 40u);
        EXPECT_EQ(result.width(), 9);
        EXPECT_EQ(result.height(), 4);
        EXPECT_EQ(result.planes(), 1);
        EXPECT_EQ(result.bitCount(), c.bits) << c.colors;
        EXPECT_EQ(result.compression(), 0u);
        EXPECT_EQ(result.sizeImage(), 0u);
        EXPECT_EQ(result.xPelsPerMeter(), 3780);
        EXPECT_EQ(result.yPelsPerMeter(), 2000);
        EXPECT_EQ(result.colorsUsed(), static_cast<uint32_t>(c.colors));
        EXPECT_EQ(result.colorsImportant(), 0u);
        EXPECT_TRUE(result.isConsistent());
    }
}

TEST(Quantise, RefusesMonoNullOtherDepthsAndBadCounts)
{
    ImageBlock mono = ImageBlock::create(8, 2, 1, 2);
    EXPECT_FALSE(quantise(mono, 2));
    EXPECT_FALSE(quantise(ImageBlock{}, 256));
    ImageBlock sixteen = ImageBlock::create(4, 2, 16, 0);
    EXPECT_FALSE(quantise(sixteen, 256));
    ImageBlock picture = makePhotoLike(4, 4, 3);
    EXPECT_FALSE(quantise(picture, 0));
    EXPECT_FALSE(quantise(picture, 257));
    picture.setHeight(5); // rows the allocation does not hold
    EXPECT_FALSE(quantise(picture, 256));
}

TEST(Quantise, PictureWithoutPixelsGivesAnAllBlackTable)
{
    // Nothing is counted, so no box has a colour to average.
    for (auto [width, height] : {std::pair{0, 5}, std::pair{6, 0}}) {
        ImageBlock block = ImageBlock::create(width, height, 24, 0);
        ASSERT_TRUE(block);
        ImageBlock result = quantise(block, 16).takeOr({});
        ASSERT_TRUE(result) << width << " x " << height;
        EXPECT_EQ(result.width(), width);
        EXPECT_EQ(result.height(), height);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(result.colorTable()[i], ColorEntry{}) << i;
    }
}

TEST(Quantise, LeavesTheSourceAsItWas)
{
    ImageBlock block = makePhotoLike(17, 9, 8);
    std::vector<uint8_t> before(block.data(), block.data() + block.size());
    ASSERT_TRUE(quantise(block, 256));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), block.data()));
}

TEST(Quantise, PhotoKeepsAReasonableSignalToNoiseRatio)
{
    ImageBlock block = makePhotoLike(320, 240, 21);
    RgbImage original = blockToRgb(block);
    double at256 = psnr(original, blockToRgb(*quantise(block, 256)));
    double at16 = psnr(original, blockToRgb(*quantise(block, 16)));
    // Swapped channels, a wrong table order or runaway error sums fall far
    // below these.
    EXPECT_GT(at256, 26.0);
    EXPECT_GT(at16, 17.0);
    EXPECT_GT(at256, at16 + 5.0);
}

TEST(Quantise, RealPhotoAgainstImageMagick)
{
    REQUIRE_TOOLS("convert", "compare");
    std::optional<RgbImage> rose = testing::magickDecode("rose:");
    ASSERT_TRUE(rose);
    ImageBlock block = ImageBlock::create(rose->width, rose->height, 24, 0);
    for (int y = 0; y < rose->height; ++y)
        for (int x = 0; x < rose->width; ++x)
            for (int c = 0; c < 3; ++c)
                block.topRow(y)[x * 3 + c] = rose->at(x, y)[2 - c];
    double ours = psnr(*rose, blockToRgb(*quantise(block, 256)));

    testing::ScratchDir scratch;
    std::string reduced = scratch.file("reduced.ppm");
    ASSERT_EQ(testing::runCommand("convert rose: -dither FloydSteinberg -colors 256 " + testing::shellQuote(reduced)), 0);
    std::optional<RgbImage> theirs = testing::magickDecode(reduced);
    ASSERT_TRUE(theirs);
    double magick = psnr(*rose, *theirs);
    // A median cut on a 5-6-5 histogram trails an octree on 8-bit samples a
    // little, but not by much.
    EXPECT_GT(ours, magick - 3.0);
    std::printf("rose: %.2f dB, ImageMagick %.2f dB\n", ours, magick);
}

} // namespace
} // namespace pictorand
