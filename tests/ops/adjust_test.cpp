#include "ops/adjust.h"

#include "tests/ops/block_builders.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace pictorand;
using namespace pictorand::testing;

namespace {

ImageBlock trueColorPixel(uint8_t red, uint8_t green, uint8_t blue)
{
    return blockFromPixels(1, 1, 24, {blue | (uint32_t(green) << 8) | (uint32_t(red) << 16)});
}

struct Rgb {
    int red, green, blue;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

Rgb firstPixel(const ImageBlock& block)
{
    const uint8_t* p = block.row(0);
    return {p[2], p[1], p[0]};
}

TEST(Greyscale, ExamplesTruncateTheDoubleSum)
{
    EXPECT_EQ(greyValue(255, 0, 0), 76); // 76.5
    EXPECT_EQ(greyValue(255, 255, 255), 255);
    EXPECT_EQ(greyValue(128, 128, 128), 128);
    EXPECT_EQ(greyValue(0, 255, 0), 150); // 150.45
    EXPECT_EQ(greyValue(0, 0, 255), 28);  // 28.05
    EXPECT_EQ(greyValue(0, 0, 0), 0);
}

TEST(Greyscale, TrueColourBecomesANewEightBitBlockWithAGreyRamp)
{
    ImageBlock grey = blockFromPixels(2, 1, 24, {0xFF0000u /* red */, 0xFFFFFFu});
    grey.setXPelsPerMeter(2835);
    grey.setYPelsPerMeter(1234);
    ASSERT_TRUE(greyscale(grey));
    EXPECT_EQ(grey.bitCount(), 8);
    EXPECT_EQ(grey.colorsUsed(), 256u);
    EXPECT_EQ(grey.colorsImportant(), 0u);
    EXPECT_EQ(grey.sizeImage(), 0u);
    EXPECT_EQ(grey.xPelsPerMeter(), 2835);
    EXPECT_EQ(grey.yPelsPerMeter(), 1234);
    for (uint32_t i = 0; i < 256; ++i) {
        auto v = static_cast<uint8_t>(i);
        EXPECT_EQ(grey.colorTable()[i], (ColorEntry{v, v, v, 0}));
    }
    EXPECT_EQ(pixelAt(grey, 0, 0), 76u);
    EXPECT_EQ(pixelAt(grey, 1, 0), 255u);
}

TEST(Greyscale, PalettedBlockChangesOnlyItsTableInPlace)
{
    ImageBlock block = blockFromPixels(3, 1, 4, {0, 1, 15});
    block.setColor(1, 255, 0, 0);
    std::vector<uint8_t> pixelsBefore(block.pixels(), block.pixels() + block.rowSize());
    const uint8_t* where = block.data();
    ASSERT_TRUE(greyscale(block));
    const ImageBlock& result = block;
    EXPECT_EQ(result.data(), where); // the same block
    EXPECT_EQ(result.bitCount(), 4);
    EXPECT_EQ(result.colorTable()[1], (ColorEntry{76, 76, 76, 0}));
    for (uint32_t i = 0; i < 16; ++i) {
        const ColorEntry& e = result.colorTable()[i];
        EXPECT_TRUE(e.red == e.green && e.green == e.blue);
    }
    EXPECT_EQ(std::vector<uint8_t>(result.pixels(), result.pixels() + result.rowSize()), pixelsBefore);
}

// A reader may give an 8-bit block a short table; the pixel rows follow it
// directly, so adjusting 256 entries would overwrite pixels.
TEST(Greyscale, ShortTableLeavesThePixelsAlone)
{
    ImageBlock block = ImageBlock::create(64, 4, 8, 16);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 64; ++x)
            block.row(y)[x] = static_cast<uint8_t>((x * 5 + y) % 16);
    for (uint32_t i = 0; i < 16; ++i)
        block.setColor(i, static_cast<uint8_t>(i * 16), 0, 0);
    std::vector<uint8_t> pixels(block.pixels(), block.pixels() + block.rowSize() * 4);
    for (auto adjust : {+[](const ImageBlock& b) { return adjustBrightness(b, 40); },
                        +[](const ImageBlock& b) { return adjustContrast(b, 40); },
                        +[](const ImageBlock& b) { return adjustGamma(b, 2.0); }}) {
        ImageBlock adjusted = adjust(block).takeOr({});
        ASSERT_TRUE(adjusted);
        EXPECT_EQ(std::vector<uint8_t>(adjusted.pixels(), adjusted.pixels() + adjusted.rowSize() * 4), pixels);
    }
    ASSERT_TRUE(greyscale(block));
    const ImageBlock& grey = block;
    EXPECT_EQ(std::vector<uint8_t>(grey.pixels(), grey.pixels() + grey.rowSize() * 4), pixels);
    EXPECT_EQ(grey.colorTable()[15].red, greyValue(240, 0, 0));
}


TEST(Greyscale, RefusesOtherDepthsLeavingTheBlock)
{
    ImageBlock deep = ImageBlock::create(2, 2, 16, 0);
    EXPECT_FALSE(greyscale(deep));
    EXPECT_TRUE(deep);
}

TEST(Contrast, PlusTenPushes127To117And128To138)
{
    for (auto [input, expected] : {std::pair{127, 117}, std::pair{128, 138}, std::pair{0, 0}, std::pair{250, 255}}) {
        auto v = static_cast<uint8_t>(input);
        ImageBlock adjusted = adjustContrast(trueColorPixel(v, v, v), 10).takeOr({});
        ASSERT_TRUE(adjusted);
        EXPECT_EQ(firstPixel(adjusted), (Rgb{expected, expected, expected})) << input;
    }
    ImageBlock pulled = adjustContrast(trueColorPixel(0, 127, 255), -128).takeOr({});
    EXPECT_EQ(firstPixel(pulled), (Rgb{128, 255, 127}));
}

TEST(Brightness, FullOffsetsSaturateEveryComponent)
{
    std::mt19937 random(21);
    ImageBlock block = randomBlock(random, 9, 4, 24);
    ImageBlock dark = adjustBrightness(block, -255).takeOr({});
    ImageBlock light = adjustBrightness(block, 255).takeOr({});
    ASSERT_TRUE(dark);
    ASSERT_TRUE(light);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(pixelAt(dark, x, y), 0u);
            EXPECT_EQ(pixelAt(light, x, y), 0xFFFFFFu);
        }
    // Row padding is not a pixel and stays zero.
    EXPECT_EQ(light.row(0)[27], 0);
    EXPECT_EQ(firstPixel(*adjustBrightness(trueColorPixel(10, 100, 250), 10)), (Rgb{20, 110, 255}));
}

TEST(Brightness, PalettedDuplicateChangesItsTableAndLeavesTheSource)
{
    std::mt19937 random(22);
    ImageBlock block = randomBlock(random, 5, 5, 8);
    std::vector<uint8_t> before = blockBytes(block);
    ImageBlock light = adjustBrightness(block, 255).takeOr({});
    ASSERT_TRUE(light);
    EXPECT_EQ(blockBytes(block), before);
    for (uint32_t i = 0; i < 256; ++i)
        EXPECT_EQ(light.colorTable()[i], (ColorEntry{255, 255, 255, 0}));
    EXPECT_TRUE(std::equal(light.pixels(), light.pixels() + light.rowSize() * 5, block.pixels()));
}

TEST(Adjustments, RefuseValuesOutsideTheirRanges)
{
    ImageBlock block = trueColorPixel(1, 2, 3);
    EXPECT_FALSE(adjustBrightness(block, 256));
    EXPECT_FALSE(adjustBrightness(block, -256));
    EXPECT_FALSE(adjustContrast(block, 129));
    EXPECT_FALSE(adjustContrast(block, -129));
    EXPECT_FALSE(adjustGamma(block, 0.0));
    EXPECT_FALSE(adjustGamma(block, 7.0));
    EXPECT_FALSE(adjustGamma(block, std::nan("")));
    EXPECT_TRUE(adjustGamma(block, 699 * 0.01)); // the dialog's last position
    EXPECT_TRUE(adjustGamma(block, 1 * 0.01));
}

TEST(Gamma, OneIsTheIdentityAndTwoMaps64To128)
{
    std::array<uint8_t, 256> one = gammaTable(1.0);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(one[static_cast<size_t>(i)], i);
    std::array<uint8_t, 256> two = gammaTable(2.0);
    EXPECT_EQ(two[64], 128);
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[255], 255);
    for (int i = 1; i < 256; ++i)
        EXPECT_GE(two[static_cast<size_t>(i)], two[static_cast<size_t>(i - 1)]);
    EXPECT_EQ(firstPixel(*adjustGamma(trueColorPixel(64, 0, 255), 2.0)), (Rgb{128, 0, 255}));
}

TEST(Negative, InvertsAndTwiceRestores)
{
    EXPECT_EQ(([] {
                  ImageBlock b = trueColorPixel(0, 100, 255);
                  EXPECT_TRUE(negative(b));
                  return firstPixel(b);
              }()),
              (Rgb{255, 155, 0}));
    ImageBlock narrow = trueColorPixel(1, 2, 3); // 3 pixel bytes and 1 byte of row padding
    ASSERT_TRUE(negative(narrow));
    EXPECT_EQ(narrow.row(0)[3], 0);
    std::mt19937 random(23);
    for (uint16_t bits : everyDepth())
        for (int w : {1, 3, 8, 9}) {
            ImageBlock block = randomBlock(random, w, 3, bits);
            std::vector<uint8_t> original = blockBytes(block);
            ASSERT_TRUE(negative(block));
            EXPECT_NE(blockBytes(block), original);
            ASSERT_TRUE(negative(block));
            EXPECT_EQ(blockBytes(block), original) << bits << " " << w;
        }
}

TEST(Swap, EachPermutationMovesTheChannelsAsNamed)
{
    struct Case {
        ChannelSwap swap;
        Rgb expected; // from red 1, green 2, blue 3
    };
    const Case cases[] = {
        {ChannelSwap::RBG, {1, 3, 2}},
        {ChannelSwap::BGR, {3, 2, 1}},
        {ChannelSwap::BRG, {2, 3, 1}},
        {ChannelSwap::GRB, {2, 1, 3}},
        {ChannelSwap::GBR, {3, 1, 2}},
    };
    for (const Case& c : cases) {
        ImageBlock block = trueColorPixel(1, 2, 3);
        ASSERT_TRUE(swapChannels(block, c.swap));
        EXPECT_EQ(firstPixel(block), c.expected) << static_cast<int>(c.swap);
        ImageBlock paletted = blockFromPixels(1, 1, 8, {0});
        paletted.setColor(0, 1, 2, 3);
        ASSERT_TRUE(swapChannels(paletted, c.swap));
        const ColorEntry& e = paletted.colorTable()[0];
        EXPECT_EQ((Rgb{e.red, e.green, e.blue}), c.expected);
    }
}

TEST(Swap, ExchangesTwiceAndBrgThenGbrRestore)
{
    std::mt19937 random(24);
    for (uint16_t bits : everyDepth())
        for (int w : {1, 2, 7, 9}) {
            ImageBlock block = randomBlock(random, w, 2, bits);
            std::vector<uint8_t> original = blockBytes(block);
            for (ChannelSwap swap : {ChannelSwap::RBG, ChannelSwap::BGR, ChannelSwap::GRB}) {
                ASSERT_TRUE(swapChannels(block, swap));
                ASSERT_TRUE(swapChannels(block, swap));
                EXPECT_EQ(blockBytes(block), original);
            }
            ASSERT_TRUE(swapChannels(block, ChannelSwap::BRG));
            EXPECT_NE(blockBytes(block), original);
            ASSERT_TRUE(swapChannels(block, ChannelSwap::GBR));
            EXPECT_EQ(blockBytes(block), original);
        }
}

TEST(PaletteEntry, SetsOnlyEntriesTheTableHolds)
{
    ImageBlock block = blockFromPixels(2, 2, 4, {0, 1, 2, 3});
    EXPECT_TRUE(setPaletteEntry(block, 15, 10, 20, 30));
    EXPECT_EQ(block.colorTable()[15], (ColorEntry{30, 20, 10, 0}));
    EXPECT_FALSE(setPaletteEntry(block, 16, 1, 1, 1));
    ImageBlock trueColor = trueColorPixel(1, 2, 3);
    EXPECT_FALSE(setPaletteEntry(trueColor, 0, 1, 1, 1));
}

} // namespace
