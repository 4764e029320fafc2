#include "ops/rotate.h"

#include "tests/ops/block_builders.h"

#include <gtest/gtest.h>

using namespace pictorand;
using namespace pictorand::testing;

namespace {

class RotateAtEveryDepth : public ::testing::TestWithParam<uint16_t> {};

// Every pair of the awkward sizes, at the parameter's depth.
template<typename Check>
void forRandomBlocks(uint16_t bits, Check check)
{
    std::mt19937 random(bits * 101u);
    for (int w : awkwardSizes())
        for (int h : awkwardSizes())
            check(randomBlock(random, w, h, bits));
}

TEST_P(RotateAtEveryDepth, ThreeByTwoTurnedRightHasItsTopLeftAtTheTopRight)
{
    uint16_t bits = GetParam();
    std::vector<uint32_t> pixels = {1, 0, 0, 0, 0, 0};
    ImageBlock turned = blockFromPixels(3, 2, bits, pixels);
    ASSERT_TRUE(rotateRight(turned));
    ASSERT_EQ(turned.width(), 2);
    ASSERT_EQ(turned.height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(pixelAt(turned, x, y), x == 1 && y == 0 ? 1u : 0u) << x << "," << y;
}

TEST_P(RotateAtEveryDepth, RightAndLeftMoveEveryPixelWhereAQuarterTurnPutsIt)
{
    forRandomBlocks(GetParam(), [](ImageBlock source) {
        const int w = source.width();
        const int h = source.height();
        std::vector<uint8_t> original = blockBytes(source);
        ImageBlock copy = ImageBlock::allocate(original.size());
        std::copy(original.begin(), original.end(), copy.data());

        ImageBlock& right = source;
        ImageBlock& left = copy;
        ASSERT_TRUE(rotateRight(right));
        ASSERT_TRUE(rotateLeft(left));
        ImageBlock reference = ImageBlock::allocate(original.size());
        std::copy(original.begin(), original.end(), reference.data());
        ASSERT_EQ(right.width(), h);
        ASSERT_EQ(right.height(), w);
        for (int y = 0; y < w; ++y)
            for (int x = 0; x < h; ++x) {
                // Clockwise: new (x, y) is old (y, h - 1 - x); counter-clockwise: old (w - 1 - y, x).
                ASSERT_EQ(pixelAt(right, x, y), pixelAt(reference, y, h - 1 - x)) << w << "x" << h;
                ASSERT_EQ(pixelAt(left, x, y), pixelAt(reference, w - 1 - y, x)) << w << "x" << h;
            }
        // Resolutions are copied, not exchanged; the table goes along.
        EXPECT_EQ(right.xPelsPerMeter(), reference.xPelsPerMeter());
        EXPECT_EQ(right.yPelsPerMeter(), reference.yPelsPerMeter());
        EXPECT_EQ(right.colorsUsed(), reference.colorsUsed());
        for (uint32_t i = 0; i < reference.colorsUsed(); ++i)
            EXPECT_EQ(right.colorTable()[i], reference.colorTable()[i]);
    });
}

TEST_P(RotateAtEveryDepth, FourRightTurnsAreTheIdentity)
{
    forRandomBlocks(GetParam(), [](ImageBlock block) {
        std::vector<uint8_t> original = blockBytes(block);
        for (int turn = 0; turn < 4; ++turn) {
            ASSERT_TRUE(rotateRight(block));
        }
        EXPECT_EQ(blockBytes(block), original) << block.width() << "x" << block.height();
    });
}

TEST_P(RotateAtEveryDepth, FourLeftTurnsAreTheIdentity)
{
    forRandomBlocks(GetParam(), [](ImageBlock block) {
        std::vector<uint8_t> original = blockBytes(block);
        for (int turn = 0; turn < 4; ++turn) {
            ASSERT_TRUE(rotateLeft(block));
        }
        EXPECT_EQ(blockBytes(block), original) << block.width() << "x" << block.height();
    });
}

TEST_P(RotateAtEveryDepth, RightThenLeftIsTheIdentity)
{
    forRandomBlocks(GetParam(), [](ImageBlock block) {
        std::vector<uint8_t> original = blockBytes(block);
        ASSERT_TRUE(rotateRight(block));
        ASSERT_TRUE(rotateLeft(block));
        EXPECT_EQ(blockBytes(block), original) << block.width() << "x" << block.height();
    });
}

TEST_P(RotateAtEveryDepth, FlipsMirrorEveryPixelAndTwiceAreTheIdentity)
{
    forRandomBlocks(GetParam(), [](ImageBlock block) {
        const int w = block.width();
        const int h = block.height();
        std::vector<uint8_t> original = blockBytes(block);
        ImageBlock reference = ImageBlock::allocate(original.size());
        std::copy(original.begin(), original.end(), reference.data());

        ASSERT_TRUE(flipHorizontal(block).ok());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(pixelAt(block, x, y), pixelAt(reference, w - 1 - x, y)) << w << "x" << h << " at " << x;
        ASSERT_TRUE(flipHorizontal(block).ok());
        EXPECT_EQ(blockBytes(block), original);

        ASSERT_TRUE(flipVertical(block).ok());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(pixelAt(block, x, y), pixelAt(reference, x, h - 1 - y));
        ASSERT_TRUE(flipVertical(block).ok());
        EXPECT_EQ(blockBytes(block), original);
    });
}

TEST_P(RotateAtEveryDepth, OneRowFlipsVerticallyToItselfAndHorizontallyReversed)
{
    std::mt19937 random(5);
    ImageBlock block = randomBlock(random, 11, 1, GetParam());
    std::vector<uint8_t> original = blockBytes(block);
    ASSERT_TRUE(flipVertical(block).ok());
    EXPECT_EQ(blockBytes(block), original);
    std::vector<uint32_t> before;
    for (int x = 0; x < 11; ++x)
        before.push_back(pixelAt(block, x, 0));
    ASSERT_TRUE(flipHorizontal(block).ok());
    for (int x = 0; x < 11; ++x)
        EXPECT_EQ(pixelAt(block, x, 0), before[static_cast<size_t>(10 - x)]);
}

// The upright picture 1 2 3 / 4 5 6 as a camera stores it in each EXIF
// orientation (the 0th row and column of TIFF 6.0's Orientation tag).
struct StoredPicture {
    int orientation;
    int width;
    std::vector<uint32_t> pixels; // top-down
};
const StoredPicture kStored[] = {
    {1, 3, {1, 2, 3, 4, 5, 6}}, {2, 3, {3, 2, 1, 6, 5, 4}}, {3, 3, {6, 5, 4, 3, 2, 1}},
    {4, 3, {4, 5, 6, 1, 2, 3}}, {5, 2, {1, 4, 2, 5, 3, 6}}, {6, 2, {3, 6, 2, 5, 1, 4}},
    {7, 2, {6, 3, 5, 2, 4, 1}}, {8, 2, {4, 1, 5, 2, 6, 3}},
};

TEST_P(RotateAtEveryDepth, EveryOrientationComesOutUpright)
{
    const uint16_t bits = GetParam();
    // Values a 1-bit block holds too: the bits of the pixel numbers.
    for (uint32_t bit = 0; bit < 3; ++bit) {
        auto value = [&](uint32_t pixel) { return bits == 1 ? (pixel >> bit) & 1 : pixel; };
        std::vector<uint32_t> upright;
        for (uint32_t pixel : kStored[0].pixels)
            upright.push_back(value(pixel));
        for (const StoredPicture& stored : kStored) {
            std::vector<uint32_t> pixels;
            for (uint32_t pixel : stored.pixels)
                pixels.push_back(value(pixel));
            ImageBlock block = blockFromPixels(stored.width, 6 / stored.width, bits, pixels);
            ASSERT_TRUE(orientUpright(block, stored.orientation)) << stored.orientation;
            EXPECT_EQ(blockBytes(block), blockBytes(blockFromPixels(3, 2, bits, upright))) << stored.orientation;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, RotateAtEveryDepth, ::testing::Values(1, 4, 8, 24));

TEST(Orientation, RefusesValuesOutsideOneToEight)
{
    ImageBlock block = blockFromPixels(3, 2, 8, kStored[0].pixels);
    const std::vector<uint8_t> before = blockBytes(block);
    for (int orientation : {0, 9, -1})
        EXPECT_EQ(orientUpright(block, orientation).failure().reason, Reason::BadArgument);
    EXPECT_EQ(blockBytes(block), before);
}

TEST(Flip, NineWideMonoRowKeepsItsNinthPixel)
{
    // 1 0 0 0 0 0 0 0 | 1 -> mirrored: 1 | 0 0 0 0 0 0 0 1
    ImageBlock block = blockFromPixels(9, 1, 1, {1, 0, 1, 1, 0, 0, 0, 0, 1});
    ASSERT_TRUE(flipHorizontal(block).ok());
    EXPECT_EQ(block.row(0)[0], 0b10000110);
    EXPECT_EQ(block.row(0)[1], 0b10000000);
}

TEST(Flip, OddWidthFourBitRowPutsPixelZeroInTheLastHighNibble)
{
    ImageBlock block = blockFromPixels(5, 1, 4, {1, 2, 3, 4, 5});
    ASSERT_TRUE(flipHorizontal(block).ok());
    EXPECT_EQ(block.row(0)[0], 0x54);
    EXPECT_EQ(block.row(0)[1], 0x32);
    EXPECT_EQ(block.row(0)[2], 0x10);
}

TEST(Flip, RefusesWhatItCannotFlip)
{
    ImageBlock none;
    EXPECT_FALSE(flipVertical(none).ok());
    EXPECT_FALSE(flipHorizontal(none).ok());
    ImageBlock deep = ImageBlock::create(3, 3, 16, 0);
    deep.data()[ImageBlock::kHeaderSize] = 7;
    std::vector<uint8_t> before = blockBytes(deep);
    EXPECT_FALSE(flipVertical(deep).ok());
    EXPECT_FALSE(flipHorizontal(deep).ok());
    EXPECT_EQ(blockBytes(deep), before);
}

TEST(Rotate, RefusalLeavesTheSourceAllocated)
{
    ImageBlock deep = ImageBlock::create(3, 2, 16, 0);
    EXPECT_FALSE(rotateLeft(deep));
    EXPECT_TRUE(deep);
    EXPECT_EQ(deep.width(), 3);
}

// A one-row 1-bit picture of 540 million pixels takes 67.5 MB, but turned
// it would need a 4-byte row for each pixel, past the largest block: both
// turns fail, and the source keeps every byte.
TEST(Rotate, FailedTurnLeavesTheSourceUnchanged)
{
    constexpr int32_t kWidth = 540'000'000;
    ImageBlock block = ImageBlock::create(kWidth, 1, 1, 2);
    ASSERT_TRUE(block);
    block.row(0)[0] = 0xC0; // pixels 0 and 1
    for (auto turn : {rotateRight, rotateLeft}) {
        EXPECT_FALSE(turn(block));
        ASSERT_TRUE(block);
        EXPECT_EQ(block.width(), kWidth);
        EXPECT_EQ(block.row(0)[0], 0xC0);
        EXPECT_EQ(block.row(0)[kWidth / 8 - 1], 0);
    }
}

TEST(Rotate, OddFourBitImageKeepsEveryPixel)
{
    std::vector<uint32_t> pixels;
    for (uint32_t i = 0; i < 15; ++i)
        pixels.push_back(i + 1);
    ImageBlock block = blockFromPixels(5, 3, 4, pixels);
    ASSERT_TRUE(rotateRight(block));
    std::vector<int> seen(16, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            ++seen[pixelAt(block, x, y)];
    for (uint32_t v = 1; v <= 15; ++v)
        EXPECT_EQ(seen[v], 1) << v;
}

} // namespace
