#include "ops/resize.h"

#include "ops/resample_command.h"

#include "tests/ops/block_builders.h"

#include <gtest/gtest.h>

using namespace pictorand;
using namespace pictorand::testing;

namespace {

std::vector<uint32_t> rowOf(const ImageBlock& block, int y)
{
    std::vector<uint32_t> values;
    for (int x = 0; x < block.width(); ++x)
        values.push_back(pixelAt(block, x, y));
    return values;
}

uint32_t sampleFor(uint16_t bits, uint32_t seed)
{
    return bits == 24 ? 0x10203u * (seed + 1) : seed % (uint32_t(1) << bits);
}

class ResizeAtEveryDepth : public ::testing::TestWithParam<uint16_t> {};

TEST_P(ResizeAtEveryDepth, ThreePixelsToTwoTakesPixelsZeroAndOne)
{
    uint16_t bits = GetParam();
    std::vector<uint32_t> pixels = {sampleFor(bits, 0), sampleFor(bits, 1), sampleFor(bits, 2)};
    if (bits == 1)
        pixels = {1, 0, 1};
    ImageBlock source = blockFromPixels(3, 1, bits, pixels);
    ImageBlock result = resizeBlock(source, 2, 1).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(rowOf(result, 0), (std::vector<uint32_t>{pixels[0], pixels[1]}));
}

TEST_P(ResizeAtEveryDepth, TwoPixelsToFiveTakesZeroZeroZeroOneOne)
{
    uint16_t bits = GetParam();
    uint32_t a = bits == 1 ? 1 : sampleFor(bits, 5);
    uint32_t b = bits == 1 ? 0 : sampleFor(bits, 6);
    ImageBlock source = blockFromPixels(2, 1, bits, {a, b});
    ImageBlock result = resizeBlock(source, 5, 1).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(rowOf(result, 0), (std::vector<uint32_t>{a, a, a, b, b}));
}

TEST_P(ResizeAtEveryDepth, RowsFollowTheSameRuleInStorageOrder)
{
    uint16_t bits = GetParam();
    // Stored rows 0, 1, 2 (bottom first) -> 2 rows: stored rows 0 and 1.
    std::vector<uint32_t> topDown = {sampleFor(bits, 9), sampleFor(bits, 8), sampleFor(bits, 7)};
    if (bits == 1)
        topDown = {1, 0, 1};
    ImageBlock source = blockFromPixels(1, 3, bits, topDown);
    ImageBlock result = resizeBlock(source, 1, 2).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(pixelAt(result, 0, 1), topDown[2]); // stored row 0
    EXPECT_EQ(pixelAt(result, 0, 0), topDown[1]); // stored row 1
}

TEST_P(ResizeAtEveryDepth, EveryPixelIsTheNearestByIntegerDivision)
{
    uint16_t bits = GetParam();
    std::mt19937 random(bits);
    for (int trial = 0; trial < 40; ++trial) {
        int w = awkwardSizes()[random() % awkwardSizes().size()];
        int h = awkwardSizes()[random() % awkwardSizes().size()];
        int newW = static_cast<int>(random() % 40) + 1;
        int newH = static_cast<int>(random() % 40) + 1;
        ImageBlock source = randomBlock(random, w, h, bits);
        ImageBlock result = resizeBlock(source, newW, newH).takeOr({});
        ASSERT_TRUE(result);
        ASSERT_EQ(result.width(), newW);
        ASSERT_EQ(result.height(), newH);
        for (int storedY = 0; storedY < newH; ++storedY) {
            int sourceStoredY = storedY * h / newH;
            for (int x = 0; x < newW; ++x)
                ASSERT_EQ(pixelAt(result, x, newH - 1 - storedY), pixelAt(source, x * w / newW, h - 1 - sourceStoredY))
                    << w << "x" << h << " -> " << newW << "x" << newH << " at " << x << "," << storedY;
        }
        // Padding past the last pixel stays zero.
        std::vector<uint8_t> bytes = blockBytes(result);
        ImageBlock again = resizeBlock(result, newW, newH).takeOr({});
        EXPECT_EQ(blockBytes(again), bytes);
    }
}

TEST_P(ResizeAtEveryDepth, SameSizeIsAnIdenticalCopy)
{
    std::mt19937 random(7);
    ImageBlock source = randomBlock(random, 13, 5, GetParam());
    ImageBlock result = resizeBlock(source, 13, 5).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(blockBytes(result), blockBytes(source));
}

TEST_P(ResizeAtEveryDepth, SizesBelowOneBecomeOne)
{
    std::mt19937 random(3);
    ImageBlock source = randomBlock(random, 4, 4, GetParam());
    for (auto [w, h] : {std::pair{0, 0}, std::pair{-5, 3}, std::pair{3, -1}}) {
        ImageBlock result = resizeBlock(source, w, h).takeOr({});
        ASSERT_TRUE(result);
        EXPECT_EQ(result.width(), w < 1 ? 1 : w);
        EXPECT_EQ(result.height(), h < 1 ? 1 : h);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, ResizeAtEveryDepth, ::testing::Values(1, 4, 8, 24));

TEST(Resize, NewBlockCarriesTheSourceHeaderAndTable)
{
    std::mt19937 random(1);
    ImageBlock source = randomBlock(random, 6, 6, 8);
    source.setColorsUsed(256);
    ImageBlock result = resizeBlock(source, 3, 9).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(result.headerSize(), 40u);
    EXPECT_EQ(result.planes(), 1);
    EXPECT_EQ(result.bitCount(), 8);
    EXPECT_EQ(result.compression(), 0u);
    EXPECT_EQ(result.sizeImage(), 0u);
    EXPECT_EQ(result.xPelsPerMeter(), source.xPelsPerMeter());
    EXPECT_EQ(result.yPelsPerMeter(), source.yPelsPerMeter());
    EXPECT_EQ(result.colorsUsed(), 256u);
    EXPECT_EQ(result.colorsImportant(), 0u);
    for (uint32_t i = 0; i < 256; ++i)
        EXPECT_EQ(result.colorTable()[i], source.colorTable()[i]);
}

TEST(Resize, RefusesOtherDepthsAndNullBlocks)
{
    EXPECT_FALSE(resizeBlock(ImageBlock(), 4, 4));
    EXPECT_FALSE(resizeBlock(ImageBlock::create(4, 4, 16, 0), 2, 2));
    EXPECT_FALSE(resizeBlock(ImageBlock::create(4, 4, 32, 0), 2, 2));
}

TEST(Resize, RefusesASizeBeyondTheBlockLimit)
{
    ImageBlock source = ImageBlock::create(2, 2, 24, 0);
    EXPECT_FALSE(resizeBlock(source, 100000, 100000));
}

// Resample

TEST(Resample, SameSizeGivesAnIdenticalImage)
{
    std::mt19937 random(11);
    for (uint16_t bits : {uint16_t(8), uint16_t(24)}) {
        ImageBlock source = randomBlock(random, 17, 9, bits);
        ImageBlock result = resampleBlock(source, 17, 9).takeOr({});
        ASSERT_TRUE(result);
        EXPECT_EQ(blockBytes(result), blockBytes(source)) << bits;
    }
}

TEST(Resample, HalvingAveragesPairsOfRowsThenPairsOfPixels)
{
    std::mt19937 random(12);
    for (uint16_t bits : {uint16_t(8), uint16_t(24)}) {
        const int channels = bits / 8;
        ImageBlock source = randomBlock(random, 8, 6, bits);
        ImageBlock result = resampleBlock(source, 4, 3).takeOr({});
        ASSERT_TRUE(result);
        for (int y = 0; y < 3; ++y) {
            const uint8_t* rowA = source.row(2 * y);
            const uint8_t* rowB = source.row(2 * y + 1);
            for (int x = 0; x < 4; ++x)
                for (int c = 0; c < channels; ++c) {
                    int left = (rowA[(2 * x) * channels + c] + rowB[(2 * x) * channels + c] + 1) / 2;
                    int right = (rowA[(2 * x + 1) * channels + c] + rowB[(2 * x + 1) * channels + c] + 1) / 2;
                    ASSERT_EQ(result.row(y)[x * channels + c], (left + right + 1) / 2) << bits << " " << x << "," << y;
                }
        }
    }
}

TEST(Resample, DoublingReplicatesEachPixelIntoTwoByTwo)
{
    std::mt19937 random(13);
    for (uint16_t bits : {uint16_t(8), uint16_t(24)}) {
        ImageBlock source = randomBlock(random, 7, 5, bits);
        ImageBlock result = resampleBlock(source, 14, 10).takeOr({});
        ASSERT_TRUE(result);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 14; ++x)
                ASSERT_EQ(pixelAt(result, x, y), pixelAt(source, x / 2, y / 2)) << bits << " " << x << "," << y;
    }
}

TEST(Resample, ZeroByZeroGivesOneByOne)
{
    ImageBlock source = ImageBlock::create(5, 5, 24, 0);
    ImageBlock result = resampleBlock(source, 0, 0).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(result.width(), 1);
    EXPECT_EQ(result.height(), 1);
}

TEST(Resample, AcceptsOnlyEightAndTwentyFourBits)
{
    std::mt19937 random(14);
    EXPECT_FALSE(resampleBlock(randomBlock(random, 4, 4, 1), 2, 2));
    EXPECT_FALSE(resampleBlock(randomBlock(random, 4, 4, 4), 2, 2));
    EXPECT_FALSE(resampleBlock(ImageBlock(), 2, 2));
}

// The truncated scale factors leave the last output rows and pixels of many
// size pairs short of a whole share; they must be filled from the last
// source row or pixel, never from beyond it. A uniform picture shows any
// share that went missing or came from elsewhere.
TEST(Resample, UniformPictureStaysUniformAtAnyRatio)
{
    std::mt19937 random(15);
    for (int trial = 0; trial < 300; ++trial) {
        uint16_t bits = trial % 2 ? uint16_t(24) : uint16_t(8);
        int w = static_cast<int>(random() % 40) + 1;
        int h = static_cast<int>(random() % 40) + 1;
        int newW = static_cast<int>(random() % 60) + 1;
        int newH = static_cast<int>(random() % 60) + 1;
        ImageBlock source = ImageBlock::create(w, h, bits, bits == 8 ? 256 : 0);
        uint8_t value = static_cast<uint8_t>(random());
        for (int y = 0; y < h; ++y)
            std::fill(source.row(y), source.row(y) + w * bits / 8, value);
        ImageBlock result = resampleBlock(source, newW, newH).takeOr({});
        ASSERT_TRUE(result);
        for (int y = 0; y < newH; ++y)
            for (int i = 0; i < newW * bits / 8; ++i)
                ASSERT_EQ(result.row(y)[i], value) << w << "x" << h << " -> " << newW << "x" << newH;
    }
}

TEST(Resample, ThreeRowsToTwoWeighsTheLastRowIn)
{
    // Factor trunc(2/3 * 4096) = 2730: output row 0 = (2048 + 2730 a + 1366 b) / 4096,
    // output row 1 = (2048 + 1364 b + 2732 c) / 4096 with the last row filling the room.
    ImageBlock source = ImageBlock::create(1, 3, 8, 256);
    source.row(0)[0] = 0;
    source.row(1)[0] = 120;
    source.row(2)[0] = 240;
    ImageBlock result = resampleBlock(source, 1, 2).takeOr({});
    ASSERT_TRUE(result);
    EXPECT_EQ(result.row(0)[0], (2048 + 1366 * 120) / 4096);
    EXPECT_EQ(result.row(1)[0], (2048 + 1364 * 120 + 2732 * 240) / 4096);
}

// A plain transcription of the area-averaging rule, one sample at a time,
// to hold the fast paths (whole-row vector sums, packed channels) to it.
std::vector<std::vector<uint8_t>> referenceResample(const ImageBlock& source, int newWidth, int newHeight)
{
    const int w = source.width();
    const int h = source.height();
    const int channels = source.bitCount() / 8;
    const auto fy = static_cast<uint32_t>(static_cast<double>(newHeight) / h * 4096);
    const auto fx = static_cast<uint32_t>(static_cast<double>(newWidth) / w * 4096);
    auto sample = [&](int row, int i) -> uint32_t { return source.row(row)[i]; };
    std::vector<std::vector<uint8_t>> result;
    int sourceRow = 0;
    uint32_t weight = fy;
    for (int r = 0; r < newHeight; ++r) {
        std::vector<uint32_t> sums(static_cast<size_t>(w * channels), 2048);
        uint32_t room = 4096;
        while (weight < room && sourceRow + 1 < h) {
            for (int i = 0; i < w * channels; ++i)
                sums[static_cast<size_t>(i)] += weight * sample(sourceRow, i);
            room -= weight;
            ++sourceRow;
            weight = fy;
        }
        std::vector<uint8_t> vertical(sums.size());
        for (int i = 0; i < w * channels; ++i)
            vertical[static_cast<size_t>(i)] =
                static_cast<uint8_t>(std::min<uint32_t>((sums[static_cast<size_t>(i)] + room * sample(sourceRow, i)) / 4096, 255));
        if (weight > room)
            weight -= room;
        else if (sourceRow + 1 < h) {
            ++sourceRow;
            weight = fy;
        } else {
            weight = 0;
        }
        std::vector<uint8_t> row;
        for (int c = 0; c < channels; ++c) {
            std::vector<uint8_t> out;
            uint32_t sum = 2048;
            uint32_t left = 4096;
            for (int x = 0; x < w && static_cast<int>(out.size()) < newWidth; ++x) {
                uint32_t value = vertical[static_cast<size_t>(x * channels + c)];
                uint32_t share = fx;
                while (share >= left && static_cast<int>(out.size()) < newWidth) {
                    out.push_back(static_cast<uint8_t>(std::min<uint32_t>((sum + left * value) / 4096, 255)));
                    sum = 2048;
                    share -= left;
                    left = 4096;
                }
                sum += share * value;
                left -= share;
            }
            uint32_t last = vertical[static_cast<size_t>((w - 1) * channels + c)];
            if (static_cast<int>(out.size()) < newWidth)
                out.push_back(static_cast<uint8_t>(std::min<uint32_t>((sum + left * last) / 4096, 255)));
            while (static_cast<int>(out.size()) < newWidth)
                out.push_back(static_cast<uint8_t>(last));
            row.resize(static_cast<size_t>(newWidth * channels));
            for (int x = 0; x < newWidth; ++x)
                row[static_cast<size_t>(x * channels + c)] = out[static_cast<size_t>(x)];
        }
        result.push_back(row);
    }
    return result;
}

TEST(Resample, MatchesTheAreaAveragingRuleSampleForSample)
{
    std::mt19937 random(16);
    for (int trial = 0; trial < 200; ++trial) {
        uint16_t bits = trial % 2 ? uint16_t(24) : uint16_t(8);
        int w = static_cast<int>(random() % 90) + 1;
        int h = static_cast<int>(random() % 30) + 1;
        int newW = static_cast<int>(random() % 120) + 1;
        int newH = static_cast<int>(random() % 40) + 1;
        ImageBlock source = randomBlock(random, w, h, bits);
        ImageBlock result = resampleBlock(source, newW, newH).takeOr({});
        ASSERT_TRUE(result);
        std::vector<std::vector<uint8_t>> expected = referenceResample(source, newW, newH);
        for (int y = 0; y < newH; ++y)
            ASSERT_TRUE(std::equal(expected[static_cast<size_t>(y)].begin(), expected[static_cast<size_t>(y)].end(),
                                   result.row(y)))
                << bits << " bits " << w << "x" << h << " -> " << newW << "x" << newH << " row " << y;
    }
}

TEST(ResampleCommand, PalettedPicturesComeBackPalettedTwoColoursAsSixteen)
{
    std::mt19937 random(17);
    struct Case {
        uint16_t bits;
        uint16_t expectedBits;
        uint32_t expectedColors;
    };
    for (Case c : {Case{1, 4, 16}, Case{4, 4, 16}, Case{8, 8, 256}, Case{24, 24, 0}}) {
        ImageBlock source = randomBlock(random, 30, 20, c.bits);
        ImageBlock result = resampleCommand(source, 15, 10).takeOr({});
        ASSERT_TRUE(result) << c.bits;
        EXPECT_EQ(result.width(), 15);
        EXPECT_EQ(result.height(), 10);
        EXPECT_EQ(result.bitCount(), c.expectedBits) << c.bits;
        EXPECT_EQ(result.colorsUsed(), c.expectedColors) << c.bits;
    }
}

TEST(ResampleCommand, AveragesColoursNotIndices)
{
    // Indices 0 and 255 side by side, both meaning mid grey: an index average
    // would land on entry 127, a colour average stays grey.
    ImageBlock source = ImageBlock::create(2, 1, 8, 256);
    source.setColor(0, 100, 100, 100);
    source.setColor(255, 100, 100, 100);
    source.row(0)[0] = 0;
    source.row(0)[1] = 255;
    ImageBlock result = resampleCommand(source, 1, 1).takeOr({});
    ASSERT_TRUE(result);
    ASSERT_EQ(result.bitCount(), 8);
    // The quantiser reproduces a colour to within its histogram cell.
    const ColorEntry& colour = result.colorTable()[result.row(0)[0]];
    EXPECT_NEAR(colour.red, 100, 4);
    EXPECT_NEAR(colour.green, 100, 4);
    EXPECT_NEAR(colour.blue, 100, 4);
}

// Best fit and the dialog's aspect lock

TEST(BestFit, SquareOnAnAreaOf1018By700Is700By700)
{
    EXPECT_EQ(bestFitToDesktop(300, 300, {1018, 700}), (PictureSize{700, 700}));
    EXPECT_EQ(bestFitToDesktop(5000, 5000, {1018, 700}), (PictureSize{700, 700}));
}

TEST(BestFit, Examples)
{
    struct Case {
        int w, h;
        PictureSize available, expected;
    };
    const Case cases[] = {
        {1000, 500, {1018, 700}, {1018, 509}}, // landscape, width bound
        {10, 5, {1018, 700}, {1018, 509}},     // small pictures are enlarged
        {4000, 1000, {1018, 700}, {1018, 255}}, // 254.5 rounds up
        {1100, 1000, {1018, 700}, {770, 700}},  // landscape, height bound
        {500, 1000, {1018, 700}, {350, 700}},   // portrait, height bound
        {500, 600, {300, 700}, {300, 360}},     // portrait, width bound
        {300, 300, {500, 900}, {500, 500}},     // square on a tall area stays inside it
    };
    for (const Case& c : cases)
        EXPECT_EQ(bestFitToDesktop(c.w, c.h, c.available), c.expected) << c.w << "x" << c.h;
}

TEST(BestFit, AvailableAreaLeavesMarginsAndTheMenuBar)
{
    EXPECT_EQ(availableDesktopArea(1024, 768, 62), (PictureSize{1018, 700}));
}

TEST(AspectLock, PresetWidthOf640For1000By500Gives640By320)
{
    EXPECT_EQ(lockedHeightForWidth(640, 1000, 500), 320);
    EXPECT_EQ(lockedWidthForHeight(320, 1000, 500), 640);
    EXPECT_EQ(lockedHeightForWidth(800, 1024, 683), 534); // 533.59 rounds up
}

} // namespace
