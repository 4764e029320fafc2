// The BMP reader on hand-built files: every header variant, the colour-count
// rules, row order, truncation at each stage, and both run-length schemes.
// Every file is read through the path and the in-memory entry points, which
// must agree.

#include "tests/codecs/bmp/bmp_test_files.h"

#include <gtest/gtest.h>

#include <array>

namespace pictorand::testing {
namespace {

constexpr const char* kNotValid = "Not a valid BMP file";
constexpr const char* kCantReadHeader = "Not a valid BMP file, can't read header";
constexpr const char* kUnsupported = "Can't read data, unsupported compression !";

// 256 distinct table entries: entry i is blue i, green 255 - i, red i ^ 0x55.
std::vector<uint8_t> rampTable(uint32_t entries, uint32_t entrySize)
{
    std::vector<uint8_t> table;
    for (uint32_t i = 0; i < entries; ++i) {
        table.push_back(static_cast<uint8_t>(i));
        table.push_back(static_cast<uint8_t>(255 - i));
        table.push_back(static_cast<uint8_t>(i ^ 0x55));
        if (entrySize == 4)
            table.push_back(0x77); // the reserved byte must not reach the block
    }
    return table;
}

ColorEntry rampEntry(uint32_t i)
{
    return {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i ^ 0x55), 0};
}

// ---------------------------------------------------------------------------
// Header variants

struct HeaderCase {
    uint32_t infoSize;
    const char* compressionText;
};

class AcceptedHeader : public ::testing::TestWithParam<HeaderCase> {};

// A 3 x 1 8-bit picture with pixels 7, 1, 200. Headers of 32 bytes or less
// carry no colours-used field, so their table has 256 entries; longer ones
// say 201. Where a short header has no compression or colours-used field,
// the table sits at that offset: a reader that looked there anyway would see
// non-zero bytes and go wrong.
TEST_P(AcceptedHeader, ReadsPixelsAndTable)
{
    const HeaderCase& param = GetParam();
    BmpRecipe recipe;
    recipe.infoSize = param.infoSize;
    recipe.width = 3;
    recipe.height = 1;
    uint32_t entries = 256;
    if (param.infoSize > 32) {
        recipe.colorsUsed = 201;
        entries = 201;
    }
    recipe.table = rampTable(entries, param.infoSize == 12 ? 3 : 4);
    recipe.pixels = {7, 1, 200, 0};

    BmpReadResult result = readBothWays(buildBmp(recipe), "untouched");
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.compression, param.compressionText);
    const ImageBlock& block = result.block;
    EXPECT_EQ(block.headerSize(), 40u);
    EXPECT_EQ(block.width(), 3);
    EXPECT_EQ(block.height(), 1);
    EXPECT_EQ(block.bitCount(), 8);
    EXPECT_EQ(block.planes(), 1);
    EXPECT_EQ(block.compression(), 0u);
    EXPECT_EQ(block.colorsUsed(), 256u);
    EXPECT_EQ(block.colorsImportant(), 0u);
    EXPECT_EQ(storedRows(block), (std::vector<uint8_t>{7, 1, 200, 0}));
    for (uint32_t i : {0u, 1u, 7u, 200u})
        EXPECT_EQ(block.colorTable()[i], rampEntry(i)) << "entry " << i;
    EXPECT_EQ(block.colorTable()[255], (entries == 256 ? rampEntry(255) : ColorEntry{}));
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, AcceptedHeader,
                         ::testing::Values(HeaderCase{12, "None - OS/2 BMP"}, HeaderCase{16, "None"},
                                           HeaderCase{20, "None"}, HeaderCase{24, "None"}, HeaderCase{28, "None"},
                                           HeaderCase{32, "None"}, HeaderCase{36, "None"}, HeaderCase{40, "None"},
                                           HeaderCase{42, "None"}, HeaderCase{44, "None"}, HeaderCase{46, "None"},
                                           HeaderCase{48, "None"}, HeaderCase{52, "None"}, HeaderCase{56, "None"},
                                           HeaderCase{60, "None"}, HeaderCase{64, "None"}, HeaderCase{108, "None"},
                                           HeaderCase{124, "None"}),
                         [](const auto& testParam) { return "Size" + std::to_string(testParam.param.infoSize); });

class RefusedHeader : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RefusedHeader, SaysItCannotReadTheHeader)
{
    BmpRecipe recipe;
    recipe.infoSize = GetParam();
    recipe.table = rampTable(256, 4);
    recipe.pixels = {1, 2, 0, 0};
    BmpReadResult result = readBothWays(buildBmp(recipe), "untouched");
    EXPECT_FALSE(result.block);
    EXPECT_EQ(result.message, kCantReadHeader);
    EXPECT_EQ(result.compression, "untouched");
}

INSTANTIATE_TEST_SUITE_P(OddSizes, RefusedHeader, ::testing::Values(0u, 11u, 13u, 14u, 41u, 50u, 54u, 66u, 68u, 100u, 112u, 128u),
                         [](const auto& testParam) { return "Size" + std::to_string(testParam.param); });

TEST(BmpReader, RefusesAFileThatDoesNotStartWithBM)
{
    BmpRecipe recipe;
    recipe.table = rampTable(256, 4);
    recipe.pixels = {1, 2, 0, 0};
    auto bytes = buildBmp(recipe);
    bytes[1] = 'A';
    BmpReadResult result = readBothWays(bytes);
    EXPECT_FALSE(result.block);
    EXPECT_EQ(result.message, kCantReadHeader);
}

// Bit fields: masks after a 40-byte header or inside the longer ones, of any
// width and place; alpha over white, unless no pixel has any.
struct BitFieldCase {
    const char* name;
    uint32_t infoSize;
    uint32_t compression;
    uint16_t bitCount;
    std::vector<uint32_t> masks;
    std::vector<uint8_t> pixels; // one row of two pixels
    std::vector<uint8_t> expected; // stored 24-bit row, blue first
};

class BitFields : public ::testing::TestWithParam<BitFieldCase> {};

TEST_P(BitFields, DecodeToTrueColour)
{
    const BitFieldCase& param = GetParam();
    BmpRecipe recipe;
    recipe.infoSize = param.infoSize;
    recipe.bitCount = param.bitCount;
    recipe.compression = param.compression;
    if (param.infoSize == 40) {
        for (uint32_t mask : param.masks)
            for (int i = 0; i < 4; ++i)
                recipe.table.push_back(static_cast<uint8_t>(mask >> (8 * i)));
    } else {
        recipe.headerMasks = param.masks;
    }
    recipe.pixels = param.pixels;
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.bitCount(), 24);
    EXPECT_EQ(result.compression, "Bit fields");
    std::vector<uint8_t> expected = param.expected;
    expected.resize(8);
    EXPECT_EQ(storedRows(result.block), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, BitFields,
    ::testing::Values(
        // 5-6-5: full red, full green+blue 1 of 31 (8.2 -> 8).
        BitFieldCase{"Rgb565AfterHeader", 40, 3, 16, {0xF800, 0x07E0, 0x001F}, {0x00, 0xF8, 0xE1, 0x07},
                     {0, 0, 255, 8, 255, 0}},
        // 10-bit channels in 32 bits: 1023 -> 255, 512 -> 128.
        BitFieldCase{"TenBitChannels", 40, 3, 32, {0x3FF00000, 0x000FFC00, 0x000003FF},
                     {0xFF, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20}, {255, 0, 0, 0, 0, 128}},
        // Alpha 0 and alpha 255: the first pixel turns white.
        BitFieldCase{"V5WithAlpha", 124, 3, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                     {0x10, 0x20, 0x30, 0x00, 0x10, 0x20, 0x30, 0xFF}, {255, 255, 255, 0x10, 0x20, 0x30}},
        // Every alpha 0 means the writer did not fill it: opaque.
        BitFieldCase{"V4AlphaNeverSet", 108, 3, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                     {0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60, 0x00}, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60}},
        // The alpha variant of the compression takes a fourth mask after a
        // 40-byte header; half alpha blends halfway to white.
        BitFieldCase{"AlphaBitFieldsAfterHeader", 40, 6, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                     {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF}, {127, 127, 127, 255, 255, 255}}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

// Stored without compression, a file holding under 1/64 of the rows its
// header declares is refused before a block that big is allocated.
TEST(BmpReader, RefusesAHeaderDeclaringFarMoreRowsThanTheFileHolds)
{
    BmpRecipe recipe;
    recipe.bitCount = 24;
    recipe.width = 4000;
    recipe.height = 4000;
    recipe.pixels = std::vector<uint8_t>(4000 * 4000 * 3 / 64 - 12, 0);
    BmpReadResult result = readBothWays(buildBmp(recipe));
    EXPECT_FALSE(result.block);
    EXPECT_EQ(result.message, "Not a valid BMP file");
    recipe.pixels.resize(4000 * 4000 * 3 / 64);
    EXPECT_TRUE(readBothWays(buildBmp(recipe)).block);
}

TEST(BmpReader, CannotOpenAMissingFile)
{
    Result<DecodedImage> read = readBmp("/nonexistent/folder/picture.bmp");
    EXPECT_FALSE(read);
    EXPECT_EQ(read.failure().detail, "Can't open file: /nonexistent/folder/picture.bmp");
}

// An OS/2 core file at 4 bits: 16 three-byte entries from offset 26, then the
// rows; 3 x 2 pixels.
TEST(BmpReader, ReadsAnOs2CoreFileAtFourBits)
{
    static constexpr std::array<uint8_t, 26 + 48 + 8> file = {
        'B', 'M', 82, 0, 0, 0, 0, 0, 0, 0, 74, 0, 0, 0, // file header, rows at 74
        12, 0, 0, 0, 3, 0, 2, 0, 1, 0, 4, 0,           // core header: 3 x 2, 4 bits
        0, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90,  // entries 0..3 (blue, green, red)
        1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4,           // 4..7
        5, 5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8,           // 8..11
        9, 9, 9, 11, 11, 11, 12, 12, 12, 255, 0, 255, // 12..15
        0x12, 0x30, 0, 0,                              // bottom row: 1 2 3
        0xF0, 0x10, 0, 0,                              // top row: 15 0 1
    };
    static_assert(file.size() == 82);
    BmpReadResult result = readBothWays({file.begin(), file.end()});
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.compression, "None - OS/2 BMP");
    EXPECT_EQ(result.block.bitCount(), 4);
    EXPECT_EQ(result.block.colorsUsed(), 16u);
    EXPECT_EQ(result.block.colorTable()[1], (ColorEntry{10, 20, 30, 0}));
    EXPECT_EQ(result.block.colorTable()[15], (ColorEntry{255, 0, 255, 0}));
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{0x12, 0x30, 0, 0, 0xF0, 0x10, 0, 0}));
}

// ---------------------------------------------------------------------------
// Colour counts

TEST(BmpReader, HundredColoursUsedLeaveTheRestOfTheTableBlack)
{
    BmpRecipe recipe;
    recipe.colorsUsed = 100;
    recipe.table = rampTable(100, 4);
    recipe.pixels = {99, 150, 0, 0};
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.colorsUsed(), 256u);
    EXPECT_EQ(result.block.colorTable()[99], rampEntry(99));
    for (uint32_t i = 100; i < 256; ++i)
        ASSERT_EQ(result.block.colorTable()[i], ColorEntry{}) << i;
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{99, 150, 0, 0}));
}

// A count above what 8 bits can index: only 256 entries fit the block; the
// rest are skipped and the rows are still found through the pixel offset.
TEST(BmpReader, MoreColoursUsedThanTheDepthAllowsTakesTheFirstEntries)
{
    BmpRecipe recipe;
    recipe.colorsUsed = 300;
    recipe.table = rampTable(256, 4);
    auto extra = rampTable(44, 4);
    recipe.table.insert(recipe.table.end(), extra.begin(), extra.end());
    recipe.pixels = {255, 3, 0, 0};
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.colorsUsed(), 256u);
    EXPECT_EQ(result.block.colorTable()[255], rampEntry(255));
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{255, 3, 0, 0}));

    recipe.colorsUsed = 0xFFFFFFFF;
    result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.colorTable()[255], rampEntry(255));
}

TEST(BmpReader, ColoursUsedZeroMeansAFullTableBelow24BitsAndNoneAt24)
{
    BmpRecipe recipe;
    recipe.table = rampTable(256, 4);
    recipe.pixels = {0, 255, 0, 0};
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.colorTable()[255], rampEntry(255));

    // 24 bits: the rows start right after the header, and the block has no
    // table at all.
    BmpRecipe trueColor;
    trueColor.bitCount = 24;
    trueColor.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    result = readBothWays(buildBmp(trueColor));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.colorsUsed(), 0u);
    EXPECT_EQ(result.block.pixelOffset(), 40u);
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0}));
}

// Depths the reader does not check pass through with the rows as stored and
// no table; the load normalisation deals with them.
TEST(BmpReader, PassesThirtyTwoBitRowsThroughAsStored)
{
    BmpRecipe recipe;
    recipe.bitCount = 32;
    recipe.colorsUsed = 0;
    recipe.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.bitCount(), 32);
    EXPECT_EQ(result.block.colorsUsed(), 0u);
    EXPECT_EQ(storedRows(result.block), recipe.pixels);
}

// ---------------------------------------------------------------------------
// Row order and short data

TEST(BmpReader, ReadsTopDownRowsIntoTheBottomUpBlock)
{
    BmpRecipe recipe;
    recipe.bitCount = 24;
    recipe.width = 1;
    recipe.height = -3;
    recipe.pixels = {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0}; // top row first
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.height(), 3);
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{3, 3, 3, 0, 2, 2, 2, 0, 1, 1, 1, 0}));

    // Rows the file does not supply are the bottom ones, and stay black.
    recipe.pixels.resize(6);
    result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{0, 0, 0, 0, 2, 2, 0, 0, 1, 1, 1, 0}));
}

// Rows much longer than the data: only what the file supplies is moved, and
// it still lands in the top row.
TEST(BmpReader, TurnsRoundTopDownRowsTheDataOnlyPartlyFills)
{
    BmpRecipe recipe;
    recipe.bitCount = 8;
    recipe.colorsUsed = 2;
    recipe.table = rampTable(2, 4);
    recipe.width = 100000;
    recipe.height = -3;
    recipe.pixels.assign(300000 / 64, 0); // the least share of the rows a file must hold
    recipe.pixels[0] = 1;
    recipe.pixels[1] = 2;
    recipe.pixels[2] = 3;
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    const uint8_t* top = result.block.topRow(0);
    EXPECT_EQ(top[0], 1);
    EXPECT_EQ(top[2], 3);
    EXPECT_EQ(top[300000 / 64], 0);
    EXPECT_EQ(result.block.row(0)[0], 0);
    EXPECT_EQ(result.block.row(1)[0], 0);

    // Data that reaches into the second row: both the first and the second
    // rows move, each only as far as it was filled.
    recipe.width = 4;
    recipe.height = -4;
    recipe.pixels = {1, 2, 3, 4, 5, 6};
    result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 5, 6, 0, 0, 1, 2, 3, 4}));
}

TEST(BmpReader, ShortUncompressedDataLeavesTheTopRowsBlack)
{
    BmpRecipe recipe;
    recipe.bitCount = 24;
    recipe.width = 1;
    recipe.height = 3;
    recipe.pixels = {1, 1, 1, 0, 2, 2};
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{1, 1, 1, 0, 2, 2, 0, 0, 0, 0, 0, 0}));
}

// Some writers leave a gap (or a wrong table length) before the rows: the
// pixel offset is what counts.
TEST(BmpReader, FindsTheRowsThroughThePixelOffset)
{
    BmpRecipe recipe;
    recipe.colorsUsed = 2;
    recipe.table = rampTable(2, 4);
    recipe.pixelOffset = 14 + 40 + 8 + 100;
    recipe.pixels = {1, 0, 0, 0};
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{1, 0, 0, 0}));

    recipe.pixelOffset = 5000; // past the end: nothing to read, all black
    auto bytes = buildBmp(recipe);
    bytes.resize(14 + 40 + 8 + 1);
    result = readBothWays(bytes);
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{0, 0, 0, 0}));
}

// ---------------------------------------------------------------------------
// Files that fail, grouped by the stage where they must

struct FailureCase {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
};

std::vector<uint8_t> truncated(const BmpRecipe& recipe, size_t length)
{
    auto bytes = buildBmp(recipe);
    bytes.resize(length);
    return bytes;
}

std::vector<FailureCase> failureCases()
{
    BmpRecipe eightBit;
    eightBit.table = rampTable(256, 4);
    eightBit.pixels = {1, 2, 0, 0};
    BmpRecipe trueColor;
    trueColor.bitCount = 24;
    trueColor.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    BmpRecipe os2 = eightBit;
    os2.infoSize = 12;
    os2.table = rampTable(256, 3);
    auto withHeader = [](BmpRecipe recipe, auto change) {
        change(recipe);
        return buildBmp(recipe);
    };
    return {
        {"EmptyFile", {}, kCantReadHeader},
        {"OnlyTheType", {'B', 'M'}, kNotValid},
        {"EndsInTheFileHeader", truncated(eightBit, 12), kNotValid},
        {"EndsInTheInfoHeader", truncated(eightBit, 30), kNotValid},
        {"EndsInTheOs2Header", truncated(os2, 22), kNotValid},
        {"EndsAfterTheInfoHeader", truncated(trueColor, 54), kNotValid},
        {"EndsInTheColourTable", truncated(eightBit, 54 + 512), kNotValid},
        {"EndsAfterTheColourTable", truncated(eightBit, 54 + 1024), kNotValid},
        {"EndsAfterTheOs2ColourTable", truncated(os2, 26 + 768), kNotValid},
        {"ZeroWidth", withHeader(trueColor, [](BmpRecipe& s) { s.width = 0; }), kCantReadHeader},
        {"ZeroHeight", withHeader(trueColor, [](BmpRecipe& s) { s.height = 0; }), kCantReadHeader},
        {"NegativeWidth", withHeader(trueColor, [](BmpRecipe& s) { s.width = -2; }), kCantAllocateMemory},
        {"LowestHeight", withHeader(trueColor, [](BmpRecipe& s) { s.height = INT32_MIN; }), kCantAllocateMemory},
        {"HugeArea", withHeader(trueColor, [](BmpRecipe& s) { s.width = s.height = 100000; }), kCantAllocateMemory},
        {"RowSizeOverflow", withHeader(trueColor, [](BmpRecipe& s) { s.width = INT32_MAX; s.bitCount = 65535; }),
         kCantAllocateMemory},
        {"CompressionThree", withHeader(eightBit, [](BmpRecipe& s) { s.compression = 3; }), kUnsupported},
        {"CompressionJpeg", withHeader(trueColor, [](BmpRecipe& s) { s.compression = 4; }), kUnsupported},
        {"CompressionHuge", withHeader(trueColor, [](BmpRecipe& s) { s.compression = 0x80000001; }), kUnsupported},
    };
}

class MalformedFile : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MalformedFile, FailsWithTheStageMessage)
{
    BmpReadResult result = readBothWays(GetParam().bytes);
    EXPECT_FALSE(result.block);
    EXPECT_EQ(result.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(ByStage, MalformedFile, ::testing::ValuesIn(failureCases()),
                         [](const auto& testParam) { return std::string(testParam.param.name); });

// ---------------------------------------------------------------------------
// RLE8: a 3 x 3 picture, rows 4 bytes apart, so the block holds 12 bytes.

struct RleCase {
    const char* name;
    std::vector<uint8_t> data;
    std::vector<uint8_t> rows; // expected, bottom row first
};

class Rle8 : public ::testing::TestWithParam<RleCase> {};

TEST_P(Rle8, DecodesIntoTheRows)
{
    BmpRecipe recipe;
    recipe.width = 3;
    recipe.height = 3;
    recipe.compression = 1;
    recipe.colorsUsed = 2;
    recipe.table = rampTable(2, 4);
    recipe.pixels = GetParam().data;
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.compression, "Run Length Encoding, RLE8");
    EXPECT_EQ(storedRows(result.block), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    EachEscape, Rle8,
    ::testing::Values(
        RleCase{"Run", {3, 7, 0, 1}, {7, 7, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndOfLine", {1, 5, 0, 0, 2, 6, 0, 1}, {5, 0, 0, 0, 6, 6, 0, 0, 0, 0, 0, 0}},
        // A run is not cut at the row end: it fills the padding and spills
        // into the next row; the end of line then goes to the start of the
        // row after the one the line began in, over the spilled byte.
        RleCase{"RunThroughPadding", {5, 9, 0, 0, 1, 4, 0, 1}, {9, 9, 9, 9, 4, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"RunThroughPaddingUnended", {6, 9, 1, 4}, {9, 9, 9, 9, 9, 9, 4, 0, 0, 0, 0, 0}},
        RleCase{"Delta", {0, 2, 1, 1, 1, 8, 0, 0, 1, 3, 0, 1}, {0, 0, 0, 0, 0, 8, 0, 0, 3, 0, 0, 0}},
        RleCase{"AbsoluteOddIsPadded", {0, 3, 1, 2, 3, 0, 1, 9, 0, 1}, {1, 2, 3, 9, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"AbsoluteEven", {0, 4, 1, 2, 3, 4, 1, 9, 0, 1}, {1, 2, 3, 4, 9, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndOfBitmapStops", {1, 5, 0, 1, 1, 6}, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"NoEndOfBitmap", {2, 7}, {7, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"OnlyOneByte", {5}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Data that stops in the middle of a pair or an escape.
        RleCase{"EndsInAPair", {1, 5, 2}, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndsAfterEscape", {1, 5, 0}, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndsInDelta", {1, 5, 0, 2, 1}, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndsInAbsolute", {0, 5, 1, 2}, {1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndsBeforeAbsolutePadding", {0, 3, 1, 2, 3}, {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // What would land outside the rows is dropped.
        RleCase{"RunPastTheLastRow", {0, 2, 0, 2, 255, 3}, {0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 3}},
        RleCase{"DeltaBeyondTheTop", {0, 2, 0, 200, 1, 5, 0, 0, 1, 6}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"DeltaFarRight", {0, 2, 255, 0, 1, 5, 0, 0, 1, 6}, {0, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0}},
        // An absolute run longer than the rest of the block: its tail is read
        // past (not written), and decoding stays in step with the data.
        RleCase{"AbsoluteLongerThanTheRest",
                {0, 0, 0, 20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 0, 0, 1, 0xAA, 0, 1},
                {0, 0, 0, 0, 1, 2, 3, 4, 0xAA, 6, 7, 8}},
        RleCase{"ManyEndsOfLine", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 5}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

TEST(BmpReader, TopDownRunLengthRowsAreTurnedRound)
{
    BmpRecipe recipe;
    recipe.width = 3;
    recipe.height = -2;
    recipe.compression = 1;
    recipe.table = rampTable(256, 4);
    recipe.pixels = {1, 5, 0, 0, 2, 6, 0, 1};
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{6, 6, 0, 0, 5, 0, 0, 0}));

    // A run that spills over the top row's end carries on in the row below.
    recipe.pixels = {6, 9, 0, 1};
    result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{9, 9, 0, 0, 9, 9, 9, 9}));

    // RLE4 the same way.
    recipe.bitCount = 4;
    recipe.compression = 2;
    recipe.width = 5;
    recipe.table = rampTable(16, 4);
    recipe.pixels = {3, 0x12, 0, 0, 2, 0x34, 0, 1};
    result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block), (std::vector<uint8_t>{0x34, 0, 0, 0, 0x12, 0x10, 0, 0}));
}

// A long RLE8 stream crosses the 16 KiB read-ahead several times.
TEST(BmpReader, LongRunLengthDataCrossesTheReadAhead)
{
    const int width = 1000;
    const int height = 100;
    BmpRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.compression = 1;
    recipe.table = rampTable(256, 4);
    std::vector<uint8_t> expected;
    for (int y = 0; y < height; ++y) {
        // Each row: an absolute run of 250 bytes, then runs of 1 up to the end.
        recipe.pixels.push_back(0);
        recipe.pixels.push_back(250);
        for (int x = 0; x < 250; ++x) {
            recipe.pixels.push_back(static_cast<uint8_t>(x + y));
            expected.push_back(static_cast<uint8_t>(x + y));
        }
        for (int x = 250; x < width; ++x) {
            recipe.pixels.push_back(1);
            recipe.pixels.push_back(static_cast<uint8_t>(x * 7 + y));
            expected.push_back(static_cast<uint8_t>(x * 7 + y));
        }
        recipe.pixels.push_back(0);
        recipe.pixels.push_back(0);
    }
    ASSERT_GT(recipe.pixels.size(), 8u * 16384u);
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(storedRows(result.block), expected);
}

// ---------------------------------------------------------------------------
// RLE4: a 5 x 2 picture, rows 4 bytes apart.

class Rle4 : public ::testing::TestWithParam<RleCase> {};

TEST_P(Rle4, DecodesIntoTheRows)
{
    BmpRecipe recipe;
    recipe.width = 5;
    recipe.height = 2;
    recipe.bitCount = 4;
    recipe.compression = 2;
    recipe.table = rampTable(16, 4);
    recipe.pixels = GetParam().data;
    BmpReadResult result = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.compression, "Run Length Encoding, RLE4");
    EXPECT_EQ(storedRows(result.block), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    EachEscape, Rle4,
    ::testing::Values(
        RleCase{"RunAlternatesNibbles", {3, 0x12, 0, 1}, {0x12, 0x10, 0, 0, 0, 0, 0, 0}},
        RleCase{"RunAfterOddColumn", {1, 0x90, 2, 0x12, 0, 1}, {0x91, 0x20, 0, 0, 0, 0, 0, 0}},
        // Three pixels take two data bytes: the run after them must start
        // right there.
        RleCase{"AbsoluteThreeTakesTwoBytes", {0, 3, 0x12, 0x30, 2, 0x44}, {0x12, 0x34, 0x40, 0, 0, 0, 0, 0}},
        // Five pixels take three bytes plus one of padding.
        RleCase{"AbsoluteFiveTakesFourBytes", {0, 5, 0x12, 0x34, 0x5F, 0xEE, 1, 0x70}, {0x12, 0x34, 0x57, 0, 0, 0, 0, 0}},
        RleCase{"AbsoluteAtOddColumn", {1, 0x90, 0, 3, 0x12, 0x30}, {0x91, 0x23, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndOfLineAndDelta", {1, 0x50, 0, 0, 0, 2, 2, 0, 1, 0x60, 0, 1}, {0x50, 0, 0, 0, 0, 0x60, 0, 0}},
        RleCase{"DeltaUp", {0, 2, 1, 1, 2, 0x34, 0, 1}, {0, 0, 0, 0, 0x03, 0x40, 0, 0}},
        RleCase{"EndOfBitmapStops", {2, 0x11, 0, 1, 2, 0x22}, {0x11, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndsInAbsolute", {0, 5, 0x12}, {0x12, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"EndsInDelta", {1, 0x10, 0, 2, 3}, {0x10, 0, 0, 0, 0, 0, 0, 0}},
        RleCase{"RunPastTheLastRow", {0, 2, 0, 1, 255, 0xAB}, {0, 0, 0, 0, 0xAB, 0xAB, 0xAB, 0xAB}},
        RleCase{"AbsolutePastTheLastRow",
                {0, 2, 6, 1, 0, 8, 0x12, 0x34, 0x56, 0x78, 1, 0xF0},
                {0, 0, 0, 0, 0, 0, 0, 0x12}},
        RleCase{"DeltaBeyondTheTop", {0, 2, 0, 9, 2, 0x11}, {0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

} // namespace
} // namespace pictorand::testing
