#include "ops/color_table.h"
#include "ops/depth_conversion.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

namespace pictorand {
namespace {

using testing::blockToRgb;

// A block whose stored rows (bottom row first) are given byte by byte; each
// row is padded with zeros to the row size.
ImageBlock makeBlock(int32_t width, uint16_t bits, uint32_t colors, std::initializer_list<std::vector<uint8_t>> rows)
{
    ImageBlock block = ImageBlock::create(width, static_cast<int32_t>(rows.size()), bits, colors);
    int32_t y = 0;
    for (const std::vector<uint8_t>& row : rows) {
        EXPECT_LE(row.size(), block.rowSize());
        std::memcpy(block.row(y++), row.data(), row.size());
    }
    block.setXPelsPerMeter(2835);
    block.setYPelsPerMeter(1417);
    return block;
}

std::vector<uint8_t> storedRow(const ImageBlock& block, int32_t y)
{
    return std::vector<uint8_t>(block.row(y), block.row(y) + block.rowSize());
}

void expectHeader(const ImageBlock& result, const ImageBlock& source, uint16_t bits, uint32_t colors, bool imageSizeSet)
{
    ASSERT_TRUE(result);
    EXPECT_EQ(result.headerSize(), 40u);
    EXPECT_EQ(result.width(), source.width());
    EXPECT_EQ(result.height(), source.height());
    EXPECT_EQ(result.planes(), 1);
    EXPECT_EQ(result.bitCount(), bits);
    EXPECT_EQ(result.compression(), 0u);
    EXPECT_EQ(result.sizeImage(), imageSizeSet ? result.rowSize() * static_cast<uint64_t>(result.height()) : 0u);
    EXPECT_EQ(result.xPelsPerMeter(), source.xPelsPerMeter());
    EXPECT_EQ(result.yPelsPerMeter(), source.yPelsPerMeter());
    EXPECT_EQ(result.colorsUsed(), colors);
    EXPECT_EQ(result.colorsImportant(), 0u);
    EXPECT_TRUE(result.isConsistent());
}

TEST(MonoTo16Colors, WidthNineWritesEightBytesAndKeepsTheNinthPixel)
{
    // Pixels 1 0 1 1 0 0 1 0 | 1 on the first row, 0 1 0 0 1 1 0 1 | 0 on the second.
    ImageBlock source = makeBlock(9, 1, 2, {{0xB2, 0x80}, {0x4D, 0x00}});
    source.setColor(0, 10, 20, 30);
    source.setColor(1, 200, 100, 50);
    ImageBlock result = monoTo16Colors(source).takeOr({});
    expectHeader(result, source, 4, 16, true);
    EXPECT_EQ(result.rowSize(), 8u);
    EXPECT_EQ(storedRow(result, 0), (std::vector<uint8_t>{0x10, 0x11, 0x00, 0x10, 0x10, 0x00, 0x00, 0x00}));
    EXPECT_EQ(storedRow(result, 1), (std::vector<uint8_t>{0x01, 0x00, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(result.colorTable()[0], (ColorEntry{30, 20, 10, 0}));
    EXPECT_EQ(result.colorTable()[1], (ColorEntry{50, 100, 200, 0}));
    for (int i = 2; i < 16; ++i)
        EXPECT_EQ(result.colorTable()[i], ColorEntry{}) << i;
    EXPECT_EQ(blockToRgb(result).rgb, blockToRgb(source).rgb);
}

TEST(SixteenTo256Colors, SplitsNibblesHighFirstForAnOddWidth)
{
    ImageBlock source = makeBlock(3, 4, 16, {{0x1F, 0xA0}, {0x23, 0x40}});
    for (uint8_t i = 0; i < 16; ++i)
        source.setColor(i, static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i), i);
    ImageBlock result = sixteenTo256Colors(source).takeOr({});
    expectHeader(result, source, 8, 256, true);
    EXPECT_EQ(storedRow(result, 0), (std::vector<uint8_t>{0x01, 0x0F, 0x0A, 0x00}));
    EXPECT_EQ(storedRow(result, 1), (std::vector<uint8_t>{0x02, 0x03, 0x04, 0x00}));
    for (uint8_t i = 0; i < 16; ++i)
        EXPECT_EQ(result.colorTable()[i], source.colorTable()[i]);
    for (int i = 16; i < 256; ++i)
        EXPECT_EQ(result.colorTable()[i], ColorEntry{}) << i;
    EXPECT_EQ(blockToRgb(result).rgb, blockToRgb(source).rgb);
}

TEST(MonoTo256Colors, PlainRampWhenEntryZeroIsBlack)
{
    // Width 11: a whole byte plus three bits of the next.
    ImageBlock source = makeBlock(11, 1, 2, {{0xA5, 0xDF}});
    source.setColor(0, 0, 0, 0);
    source.setColor(1, 255, 255, 255);
    ImageBlock result = monoTo256Colors(source).takeOr({});
    expectHeader(result, source, 8, 256, true);
    EXPECT_EQ(storedRow(result, 0),
        (std::vector<uint8_t>{255, 0, 255, 0, 0, 255, 0, 255, 255, 255, 0, 0}));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(result.colorTable()[i], (ColorEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0})) << i;
    EXPECT_EQ(blockToRgb(result).rgb, blockToRgb(source).rgb);
}

TEST(MonoTo256Colors, InvertedRampWhenEntryZeroIsWhiteSoThePictureLooksTheSame)
{
    ImageBlock source = makeBlock(11, 1, 2, {{0xA5, 0xDF}, {0x0F, 0x00}});
    source.setColor(0, 255, 255, 255);
    source.setColor(1, 0, 0, 0);
    ImageBlock result = monoTo256Colors(source).takeOr({});
    expectHeader(result, source, 8, 256, true);
    // The pixel values are the same as for a plain ramp; only the table turns.
    EXPECT_EQ(storedRow(result, 0),
        (std::vector<uint8_t>{255, 0, 255, 0, 0, 255, 0, 255, 255, 255, 0, 0}));
    for (int i = 0; i < 256; ++i) {
        auto level = static_cast<uint8_t>(255 - i);
        EXPECT_EQ(result.colorTable()[i], (ColorEntry{level, level, level, 0})) << i;
    }
    EXPECT_EQ(blockToRgb(result).rgb, blockToRgb(source).rgb);
}

// A coloured two-colour picture keeps its colours at every raised depth.
TEST(MonoTo256Colors, TwoColoursAreKeptAtEveryRaisedDepth)
{
    ImageBlock source = makeBlock(10, 1, 2, {{0x81, 0x40}});
    source.setColor(0, 200, 10, 10);
    source.setColor(1, 30, 200, 30);
    for (auto raise : {monoTo16Colors, monoTo256Colors, monoToTrueColor}) {
        ImageBlock result = raise(source).takeOr({});
        ASSERT_TRUE(result);
        EXPECT_EQ(blockToRgb(result).rgb, blockToRgb(source).rgb);
    }
}

TEST(Colors256ToTrueColor, LooksUpEachIndexAndTreatsMissingEntriesAsBlack)
{
    ImageBlock source = makeBlock(5, 8, 3, {{0, 1, 2, 1, 200}});
    source.setColor(0, 1, 2, 3);
    source.setColor(1, 250, 128, 7);
    source.setColor(2, 0, 255, 0);
    ImageBlock result = colors256ToTrueColor(source).takeOr({});
    expectHeader(result, source, 24, 0, true);
    EXPECT_EQ(result.rowSize(), 16u);
    EXPECT_EQ(storedRow(result, 0),
        (std::vector<uint8_t>{3, 2, 1, 7, 128, 250, 0, 255, 0, 7, 128, 250, 0, 0, 0, 0}));
}

TEST(Colors16ToTrueColor, GoesThroughEightBits)
{
    ImageBlock source = makeBlock(3, 4, 16, {{0x12, 0x30}});
    source.setColor(1, 10, 11, 12);
    source.setColor(2, 20, 21, 22);
    source.setColor(3, 30, 31, 32);
    ImageBlock result = colors16ToTrueColor(source).takeOr({});
    expectHeader(result, source, 24, 0, true);
    EXPECT_EQ(storedRow(result, 0), (std::vector<uint8_t>{12, 11, 10, 22, 21, 20, 32, 31, 30, 0, 0, 0}));
}

TEST(NormaliseDepth, SixteenBitsWidenFiveBitsAChannelByRounding)
{
    // 0x7FFF, 0x8000 (only the dropped bit), 0x001F blue, 0x03E0 green, 0x7C00 red, 0x4210 one bit each.
    ImageBlock source = makeBlock(6, 16, 0, {{0xFF, 0x7F, 0x00, 0x80, 0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0x10, 0x42}});
    ImageBlock result = normaliseDepth(source).takeOr({});
    expectHeader(result, source, 24, 0, false);
    EXPECT_EQ(storedRow(result, 0),
        (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 132, 132, 132, 0, 0}));
}

TEST(NormaliseDepth, ThreeBitsFillSuccessiveBytesAndKeepTheResolutions)
{
    // Width 3 is 9 bits: 1 1 1 | 0 0 1 | 1 0 0 -> 0xE6 0x00 (0b11100110 0b0...).
    ImageBlock source = makeBlock(3, 3, 0, {{0xE6, 0x00}, {0x00, 0x80}});
    source.setXPelsPerMeter(3780);
    source.setYPelsPerMeter(1234);
    ImageBlock result = normaliseDepth(source).takeOr({});
    expectHeader(result, source, 24, 0, false);
    EXPECT_EQ(result.xPelsPerMeter(), 3780);
    EXPECT_EQ(result.yPelsPerMeter(), 1234);
    EXPECT_EQ(storedRow(result, 0), (std::vector<uint8_t>{255, 255, 255, 0, 0, 255, 255, 0, 0, 0, 0, 0}));
    EXPECT_EQ(storedRow(result, 1), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0}));
}

struct GroupCase {
    uint16_t bits;
    std::vector<uint8_t> row;
};

TEST(NormaliseDepth, WiderPixelsKeepTheirFirstThreeBytes)
{
    const std::vector<uint8_t> expected{1, 2, 3, 11, 12, 13, 0, 0};
    const GroupCase cases[] = {
        {32, {1, 2, 3, 4, 11, 12, 13, 14}},
        {40, {1, 2, 3, 4, 5, 11, 12, 13, 14, 15}},
        // Readers reduce 16-bit samples in place: the 8-bit samples sit at the front of the row.
        {48, {1, 2, 3, 11, 12, 13, 99, 99, 99, 99, 99, 99}},
        {64, {1, 2, 3, 200, 11, 12, 13, 201, 99, 99, 99, 99, 99, 99, 99, 99}},
    };
    for (const GroupCase& c : cases) {
        ImageBlock source = makeBlock(2, c.bits, 0, {c.row, c.row});
        ImageBlock result = normaliseDepth(source).takeOr({});
        expectHeader(result, source, 24, 0, false);
        EXPECT_EQ(storedRow(result, 0), expected) << c.bits;
        EXPECT_EQ(storedRow(result, 1), expected) << c.bits;
    }
}

TEST(NormaliseDepth, RefusesTheUsualDepths)
{
    for (uint16_t bits : std::initializer_list<uint16_t>{1, 4, 8, 24, 2, 12})
        EXPECT_FALSE(normaliseDepth(makeBlock(2, bits, bits <= 8 ? 1u << bits : 0u, {{0}}))) << bits;
}

TEST(DepthConversion, EachRoutineRefusesOtherDepthsAndNull)
{
    using Routine = Result<ImageBlock> (*)(const ImageBlock&);
    struct Case {
        Routine routine;
        uint16_t accepted;
    };
    const Case cases[] = {
        {monoTo16Colors, 1},
        {sixteenTo256Colors, 4},
        {monoTo256Colors, 1},
        {colors256ToTrueColor, 8},
        {colors16ToTrueColor, 4},
        {monoToTrueColor, 1},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.routine(ImageBlock{}));
        for (uint16_t bits : std::initializer_list<uint16_t>{1, 4, 8, 24}) {
            ImageBlock source = makeBlock(3, bits, bits == 24 ? 0u : 1u << bits, {{0x12, 0x34, 0x56}});
            ImageBlock before = duplicateBlock(source).takeOr({});
            Result<ImageBlock> result = c.routine(source);
            EXPECT_EQ(result.ok(), bits == c.accepted) << c.accepted << " given " << bits;
            EXPECT_EQ(std::memcmp(before.data(), source.data(), source.size()), 0) << "source changed";
        }
    }
}

TEST(DepthConversion, RefusesBlocksWhoseRowsDoNotFit)
{
    ImageBlock source = makeBlock(8, 8, 256, {{1, 2, 3}});
    source.setHeight(2); // the allocation holds one row only
    EXPECT_FALSE(colors256ToTrueColor(source));
    source.setHeight(-1);
    EXPECT_FALSE(colors256ToTrueColor(source));
}

TEST(IncreaseDepth, CommandsByCurrentDepth)
{
    struct Case {
        IncreaseDepthCommand command;
        uint16_t current;
        int resultBits; // 0: the command leaves the block as it is
    };
    const Case cases[] = {
        {IncreaseDepthCommand::To16Colors, 1, 4},
        {IncreaseDepthCommand::To16Colors, 4, 0},
        {IncreaseDepthCommand::To16Colors, 8, 0},
        {IncreaseDepthCommand::To16Colors, 24, 0},
        {IncreaseDepthCommand::To256Colors, 1, 8},
        {IncreaseDepthCommand::To256Colors, 4, 8},
        {IncreaseDepthCommand::To256Colors, 8, 0},
        {IncreaseDepthCommand::To256Colors, 24, 0},
        {IncreaseDepthCommand::ToTrueColor, 1, 24},
        {IncreaseDepthCommand::ToTrueColor, 4, 24},
        {IncreaseDepthCommand::ToTrueColor, 8, 24},
        {IncreaseDepthCommand::ToTrueColor, 24, 0},
    };
    for (const Case& c : cases) {
        ImageBlock source = makeBlock(5, c.current, c.current == 24 ? 0u : 1u << c.current, {{0x12, 0x34, 0x56}});
        SCOPED_TRACE(::testing::Message() << static_cast<int>(c.command) << " on " << c.current << " bits");
        ASSERT_TRUE(increaseDepth(c.command, source));
        EXPECT_EQ(source.bitCount(), c.resultBits ? c.resultBits : c.current);
    }
    ImageBlock none;
    EXPECT_FALSE(increaseDepth(IncreaseDepthCommand::ToTrueColor, none));
}

TEST(ExpandToTrueColor, KeepsTheColoursOfEveryDepth)
{
    ImageBlock eight = makeBlock(3, 8, 256, {{5, 6, 7}});
    eight.setColor(5, 1, 2, 3);
    eight.setColor(6, 4, 5, 6);
    eight.setColor(7, 7, 8, 9);
    ImageBlock four = makeBlock(3, 4, 16, {{0x56, 0x70}});
    four.setColor(5, 1, 2, 3);
    four.setColor(6, 4, 5, 6);
    four.setColor(7, 7, 8, 9);
    for (const ImageBlock* source : {&eight, &four}) {
        ImageBlock result = expandToTrueColor(*source).takeOr({});
        ASSERT_TRUE(result);
        EXPECT_EQ(result.bitCount(), 24);
        EXPECT_EQ(blockToRgb(result).rgb, blockToRgb(*source).rgb);
        ImageBlock again = expandToTrueColor(result).takeOr({});
        ASSERT_TRUE(again);
        EXPECT_EQ(blockToRgb(again).rgb, blockToRgb(*source).rgb);
    }
}

TEST(Bits, SetAndTestMostSignificantFirst)
{
    uint8_t row[3] = {};
    setBit(row, 0, 1);
    setBit(row, 9, 1);
    setBit(row, 23, 1);
    setBit(row, 5, 0);
    EXPECT_EQ(row[0], 0x80);
    EXPECT_EQ(row[1], 0x40);
    EXPECT_EQ(row[2], 0x01);
    EXPECT_EQ(testBit(row, 0), 1);
    EXPECT_EQ(testBit(row, 1), 0);
    EXPECT_EQ(testBit(row, 9), 1);
    EXPECT_EQ(testBit(row, 23), 1);
    EXPECT_EQ(testBit(row, 5), 0);
}

TEST(DuplicateBlock, CopiesHeaderTableAndRows)
{
    ImageBlock source = makeBlock(3, 4, 16, {{0x12, 0x30}, {0x45, 0x60}});
    source.setColor(15, 9, 8, 7);
    ImageBlock copy = duplicateBlock(source).takeOr({});
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy.size(), 40u + 64u + 8u);
    EXPECT_EQ(std::memcmp(copy.data(), source.data(), copy.size()), 0);
}

} // namespace
} // namespace pictorand
