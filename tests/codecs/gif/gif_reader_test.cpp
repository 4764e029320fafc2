// The GIF reader on hand-built files: depth and colour-table rules, frame
// records, start offsets, the LZW variants, and malformed files grouped by
// the stage where they fail.

#include "codecs/gif/gif.h"
#include "tests/codecs/gif/gif_builder.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand::testing {
namespace {

struct ReadResult {
    ImageBlock block;
    GifFrameInfo info;
    std::string message;
};

ReadResult readBytes(const std::vector<uint8_t>& bytes, uint32_t controlOffset = 0, uint32_t imageOffset = 0)
{
    ScratchDir dir;
    std::string path = dir.file("in.gif");
    writeFile(path, bytes);
    ReadResult result;
    Result<DecodedImage> read = readGif(path, {controlOffset, imageOffset});
    if (!read) {
        result.message = read.failure().detail;
        return result;
    }
    result.block = std::move(read->block);
    result.info = read->gifFrame;
    result.message = read->warning;
    return result;
}

// Picture row y, pixel x as an index, whatever the depth.
unsigned indexAt(const ImageBlock& block, int x, int y)
{
    const uint8_t* row = block.topRow(y);
    switch (block.bitCount()) {
    case 8:
        return row[x];
    case 4:
        return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
    default:
        return (row[x / 8] >> (7 - x % 8)) & 1;
    }
}

std::vector<uint8_t> allIndices(const ImageBlock& block)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < block.height(); ++y)
        for (int x = 0; x < block.width(); ++x)
            out.push_back(static_cast<uint8_t>(indexAt(block, x, y)));
    return out;
}

TEST(GifReader, NoGlobalTableAndSizeFieldZeroGivesBlackAndWhite)
{
    auto file = GifBuilder().header(4, 1, 0x00).descriptor(0, 0, 4, 1, 0).uncompressedData({0, 1, 1, 0}, 2).trailer();
    auto result = readBytes(file.bytes);
    ASSERT_TRUE(result.block) << result.message;
    EXPECT_EQ(result.block.bitCount(), 1);
    EXPECT_EQ(result.block.colorsUsed(), 2u);
    EXPECT_EQ(result.block.colorTable()[0], (ColorEntry{0, 0, 0, 0}));
    EXPECT_EQ(result.block.colorTable()[1], (ColorEntry{255, 255, 255, 0}));
    EXPECT_EQ(allIndices(result.block), (std::vector<uint8_t>{0, 1, 1, 0}));
}

// From black to white whatever the depth: i * 255 / (2^depth - 1).
TEST(GifReader, NoGlobalTableGivesGreyRampsForEachDepth)
{
    struct Case {
        uint8_t sizeField;
        int depth;
        unsigned entry;
        uint8_t grey;
    };
    for (Case c : {Case{1, 4, 15, 255}, Case{3, 4, 3, 51}, Case{7, 8, 200, 200}, Case{4, 8, 255, 255}}) {
        auto file = GifBuilder().header(1, 1, c.sizeField).descriptor(0, 0, 1, 1, 0).uncompressedData({0}, 8).trailer();
        auto result = readBytes(file.bytes);
        ASSERT_TRUE(result.block);
        EXPECT_EQ(result.block.bitCount(), c.depth);
        EXPECT_EQ(result.block.colorTable()[c.entry], (ColorEntry{c.grey, c.grey, c.grey, 0})) << int(c.sizeField);
    }
}

TEST(GifReader, FourEntryGlobalTableGivesFourBitsWithBlackAbove)
{
    auto file = GifBuilder()
                    .header(3, 2, 0x81)
                    .colors({{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}})
                    .descriptor(0, 0, 3, 2, 0)
                    .uncompressedData({0, 1, 2, 3, 2, 1}, 2)
                    .trailer();
    auto result = readBytes(file.bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(result.block.bitCount(), 4);
    EXPECT_EQ(result.block.colorsUsed(), 16u);
    EXPECT_EQ(result.block.colorTable()[3], (ColorEntry{120, 110, 100, 0}));
    for (unsigned i = 4; i < 16; ++i)
        EXPECT_EQ(result.block.colorTable()[i], (ColorEntry{0, 0, 0, 0})) << i;
    EXPECT_EQ(allIndices(result.block), (std::vector<uint8_t>{0, 1, 2, 3, 2, 1}));
}

TEST(GifReader, TwoEntryLocalTableInFileWithFullGlobalTableGivesOneBit)
{
    std::vector<std::vector<uint8_t>> global(256, {1, 2, 3});
    auto file = GifBuilder()
                    .header(9, 1, 0xF7)
                    .colors(global)
                    .descriptor(0, 0, 9, 1, 0x80)
                    .colors({{200, 0, 0}, {0, 0, 200}})
                    .uncompressedData({1, 0, 1, 0, 0, 0, 0, 0, 1}, 2)
                    .trailer();
    auto result = readBytes(file.bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(result.block.bitCount(), 1);
    EXPECT_EQ(result.block.colorTable()[0], (ColorEntry{0, 0, 200, 0}));
    EXPECT_EQ(result.block.colorTable()[1], (ColorEntry{200, 0, 0, 0}));
    EXPECT_EQ(allIndices(result.block), (std::vector<uint8_t>{1, 0, 1, 0, 0, 0, 0, 0, 1}));
}

TEST(GifReader, FourBitRowsOfOddWidthPackTheLastPixelHigh)
{
    auto file = GifBuilder().header(3, 1, 0x03).descriptor(0, 0, 3, 1, 0).uncompressedData({5, 9, 14}, 4).trailer();
    auto result = readBytes(file.bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(result.block.topRow(0)[0], 0x59);
    EXPECT_EQ(result.block.topRow(0)[1], 0xE0);
}

TEST(GifReader, FrameRecordTakesPositionBackgroundAndLastGraphicControl)
{
    auto file = GifBuilder()
                    .header(10, 10, 0x81, 2)
                    .colors({{0, 0, 0}, {1, 1, 1}, {90, 91, 92}, {3, 3, 3}})
                    .graphicControl(0x00, 7, 0)
                    .comment("between")
                    .graphicControl(0x09, 0x1234, 3) // disposal 2, transparent
                    .descriptor(3, 4, 2, 1, 0)
                    .uncompressedData({1, 2}, 2)
                    .trailer();
    auto result = readBytes(file.bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(result.info.backgroundRed, 90);
    EXPECT_EQ(result.info.backgroundGreen, 91);
    EXPECT_EQ(result.info.backgroundBlue, 92);
    EXPECT_EQ(result.info.left, 3);
    EXPECT_EQ(result.info.top, 4);
    EXPECT_EQ(result.info.disposalMethod, 2);
    EXPECT_EQ(result.info.transparentFlag, 1);
    EXPECT_EQ(result.info.delay, 0x1234);
    EXPECT_EQ(result.info.transparentIndex, 3);
}

TEST(GifReader, StartOffsetsSelectTheImage)
{
    GifBuilder file;
    file.header(2, 1, 0x80).colors({{0, 0, 0}, {255, 255, 255}});
    file.descriptor(0, 0, 2, 1, 0).uncompressedData({0, 0}, 2);
    const auto control = static_cast<uint32_t>(file.bytes.size());
    file.graphicControl(0x04, 50, 0);
    const auto image = static_cast<uint32_t>(file.bytes.size());
    file.descriptor(1, 0, 2, 1, 0).uncompressedData({1, 1}, 2).trailer();

    auto first = readBytes(file.bytes);
    ASSERT_TRUE(first.block);
    EXPECT_EQ(indexAt(first.block, 0, 0), 0u);

    auto fromControl = readBytes(file.bytes, control, image);
    ASSERT_TRUE(fromControl.block);
    EXPECT_EQ(indexAt(fromControl.block, 0, 0), 1u);
    EXPECT_EQ(fromControl.info.delay, 50);
    EXPECT_EQ(fromControl.info.disposalMethod, 1);
    EXPECT_EQ(fromControl.info.left, 1);

    auto fromImage = readBytes(file.bytes, 0, image);
    ASSERT_TRUE(fromImage.block);
    EXPECT_EQ(indexAt(fromImage.block, 1, 0), 1u);
    EXPECT_EQ(fromImage.info.delay, 0);
}

TEST(GifReader, InterlacedRowsLandInPassOrder)
{
    for (int height : {1, 2, 3, 4, 5, 8, 9, 17}) {
        // Decoding order of the picture rows, each row filled with its number.
        std::vector<uint8_t> indices;
        for (int pass : {0, 1, 2, 3}) {
            const int first[] = {0, 4, 2, 1};
            const int step[] = {8, 8, 4, 2};
            for (int y = first[pass]; y < height; y += step[pass])
                indices.insert(indices.end(), 3, static_cast<uint8_t>(y));
        }
        auto file = GifBuilder().header(3, static_cast<uint16_t>(height), 0x07)
                        .descriptor(0, 0, 3, static_cast<uint16_t>(height), 0x40)
                        .uncompressedData(indices, 8)
                        .trailer();
        auto result = readBytes(file.bytes);
        ASSERT_TRUE(result.block);
        for (int y = 0; y < height; ++y)
            EXPECT_EQ(indexAt(result.block, 2, y), static_cast<unsigned>(y)) << "height " << height;
    }
}

// ---------------------------------------------------------------------------
// The code stream.

std::vector<uint8_t> picture(size_t count, uint32_t seed, int colors)
{
    std::vector<uint8_t> out(count);
    for (auto& value : out) {
        seed = seed * 1103515245u + 12345u;
        // Runs of equal values make long strings; noise makes many entries.
        value = static_cast<uint8_t>((seed >> 16) % 4 == 0 ? (seed >> 20) % colors : (out.empty() ? 0 : value));
    }
    for (size_t i = 1; i < count; ++i)
        if ((i * 2654435761u >> 7) % 3 != 0)
            out[i] = out[i - 1];
    return out;
}

GifBuilder withCodes(uint16_t width, uint16_t height, int s, const std::vector<uint8_t>& data)
{
    GifBuilder file;
    file.header(width, height, 0x07).descriptor(0, 0, width, height, 0);
    file.bytes.push_back(static_cast<uint8_t>(s));
    return file.raw(data).trailer();
}

TEST(GifReader, DecodesDictionaryCodedStreamsWithAndWithoutClearWhenFull)
{
    for (bool clearWhenFull : {true, false}) {
        for (uint32_t seed : {1u, 2u, 3u}) {
            std::vector<uint8_t> indices(256 * 256);
            uint32_t state = seed;
            for (auto& value : indices) {
                state = state * 1103515245u + 12345u;
                value = static_cast<uint8_t>(state >> 24);
            }
            auto file = withCodes(256, 256, 8, dictionaryCodes(indices, 8, clearWhenFull).subBlocks());
            auto result = readBytes(file.bytes);
            ASSERT_TRUE(result.block);
            EXPECT_EQ(allIndices(result.block), indices) << "clear when full " << clearWhenFull;
        }
    }
}

TEST(GifReader, DecodesStreamsWithLongStrings)
{
    auto indices = picture(300 * 200, 5, 16);
    auto file = withCodes(300, 200, 4, dictionaryCodes(indices, 4, true).subBlocks());
    auto result = readBytes(file.bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(allIndices(result.block), indices);
}

TEST(GifReader, EndCodeInsideASubBlockEndsTheData)
{
    CodePacker codes = uncompressedCodes({1, 2, 3, 1}, 2);
    // Garbage after the end code in the same sub-block is never decoded.
    codes.put(0, 3);
    codes.put(7, 3);
    codes.put(7, 3);
    auto result = readBytes(withCodes(4, 1, 2, codes.subBlocks()).bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(allIndices(result.block), (std::vector<uint8_t>{1, 2, 3, 1}));
}

TEST(GifReader, ZeroLengthSubBlockWithoutEndCodeEndsTheData)
{
    auto data = uncompressedCodes({3, 2, 1, 0}, 2, false).subBlocks();
    auto result = readBytes(withCodes(4, 1, 2, data).bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(allIndices(result.block), (std::vector<uint8_t>{3, 2, 1, 0}));
}

TEST(GifReader, CodesSplitAcrossTinySubBlocksDecode)
{
    auto indices = picture(40 * 30, 9, 200);
    auto file = withCodes(40, 30, 8, dictionaryCodes(indices, 8, true).subBlocks(1));
    auto result = readBytes(file.bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(allIndices(result.block), indices);
}

TEST(GifReader, CorruptCodeKeepsWhatWasDecodedAndZeroesTheRest)
{
    CodePacker codes;
    codes.put(4, 3); // clear
    codes.put(1, 3);
    codes.put(2, 3); // makes entry 6 = {1, 2}
    codes.put(6, 3); // makes entry 7 = {2, 1}; the next is 8, so codes widen to 4 bits
    codes.put(9, 4); // above the next free entry: corrupt
    codes.put(1, 4);
    auto result = readBytes(withCodes(6, 1, 2, codes.subBlocks()).bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(allIndices(result.block), (std::vector<uint8_t>{1, 2, 1, 2, 0, 0}));
}

TEST(GifReader, SurplusOutputIsDroppedWithoutOverrun)
{
    // 40 indices of data for a 3 x 2 picture; the long last string would run
    // past the decode buffer if it were not cut.
    std::vector<uint8_t> indices(4000, 7);
    indices[0] = 1;
    auto result = readBytes(withCodes(3, 2, 8, dictionaryCodes(indices, 8, true).subBlocks()).bytes);
    ASSERT_TRUE(result.block);
    EXPECT_EQ(allIndices(result.block), (std::vector<uint8_t>{1, 7, 7, 7, 7, 7}));
}

TEST(GifReader, TruncatedDataLeavesTheRestAtIndexZero)
{
    std::vector<uint8_t> indices(64, 5);
    auto data = uncompressedCodes(indices, 4).subBlocks();
    data.resize(10); // length byte and 9 bytes of the first sub-block
    auto file = withCodes(8, 8, 4, data);
    file.bytes.pop_back(); // no trailer either
    auto result = readBytes(file.bytes);
    ASSERT_TRUE(result.block);
    auto decoded = allIndices(result.block);
    EXPECT_EQ(decoded[0], 5);
    EXPECT_EQ(decoded[63], 0);
}

// ---------------------------------------------------------------------------
// Malformed files, by the stage where they fail.

TEST(GifReaderFailsToOpen, MissingFile)
{
    Result<DecodedImage> read = readGif("/nonexistent/x.gif");
    EXPECT_FALSE(read);
    EXPECT_EQ(read.failure().detail, "Can't open file for reading !");
}

TEST(GifReaderFailsAtSignature, WrongOrShortSignature)
{
    std::vector<std::vector<uint8_t>> files = {
        {},
        {'G', 'I', 'F'},
        GifBuilder().header(1, 1, 0, 0, "GIF7 a").descriptor(0, 0, 1, 1, 0).uncompressedData({0}, 2).trailer().bytes,
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0}, // screen descriptor cut short
    };
    for (const auto& bytes : files) {
        auto result = readBytes(bytes);
        EXPECT_FALSE(result.block);
        EXPECT_EQ(result.message, "This is not a valid GIF file !");
    }
}

TEST(GifReaderFailsBeforeImage, NoImageBeforeTrailerOrEnd)
{
    std::vector<std::vector<uint8_t>> files = {
        GifBuilder().header(1, 1, 0).trailer().bytes,
        GifBuilder().header(1, 1, 0).graphicControl(0, 1, 0).bytes,
        GifBuilder().header(1, 1, 0).raw({0x21, 0xFF, 0x05, 1, 2}).bytes,          // extension cut short
        GifBuilder().header(1, 1, 0).raw({0x21, 0xF9, 0x04, 0x01}).bytes,          // control cut short
        GifBuilder().header(1, 1, 0x80).raw({0x00, 0x00}).bytes,                    // table cut short
        GifBuilder().header(1, 1, 0).raw({0x2C, 0, 0, 0, 0, 1}).bytes,             // descriptor cut short
    };
    for (const auto& bytes : files) {
        auto result = readBytes(bytes);
        EXPECT_FALSE(result.block);
        EXPECT_EQ(result.message, "This is not a valid GIF file !");
    }
}

TEST(GifReaderFailsBeforeImage, EndlessExtensionChainEndsAtEndOfFile)
{
    GifBuilder file;
    file.header(1, 1, 0);
    for (int i = 0; i < 50000; ++i)
        file.comment("x").graphicControl(0, 1, 0);
    auto result = readBytes(file.bytes);
    EXPECT_FALSE(result.block);
    EXPECT_EQ(result.message, "This is not a valid GIF file !");
}

TEST(GifReaderFailsAtDescriptor, EmptyPicture)
{
    for (auto [width, height] : {std::pair<uint16_t, uint16_t>{0, 1}, {1, 0}}) {
        auto file = GifBuilder().header(1, 1, 0).descriptor(0, 0, width, height, 0).uncompressedData({0}, 2).trailer();
        auto result = readBytes(file.bytes);
        EXPECT_FALSE(result.block);
        EXPECT_EQ(result.message, "This is not a valid GIF file !");
    }
}

TEST(GifReaderFailsAtDescriptor, MinimumCodeSizeAboveEleven)
{
    for (uint8_t s : {uint8_t(12), uint8_t(13), uint8_t(255)}) {
        auto file = GifBuilder().header(1, 1, 0).descriptor(0, 0, 1, 1, 0).raw({s, 1, 0, 0}).trailer();
        auto result = readBytes(file.bytes);
        EXPECT_FALSE(result.block) << int(s);
        EXPECT_EQ(result.message, "This is not a valid GIF file !");
    }
}

TEST(GifReaderFailsAtDescriptor, PictureTooLargeForMemory)
{
    // 65535 x 65535 at 8 bits is beyond the largest block.
    auto file = GifBuilder().header(1, 1, 0x07).descriptor(0, 0, 0xFFFF, 0xFFFF, 0).uncompressedData({0}, 8).trailer();
    auto result = readBytes(file.bytes);
    EXPECT_FALSE(result.block);
    EXPECT_EQ(result.message, "Can't allocate memory");
}

TEST(GifReaderOddData, SmallCodeSizesAndHugeDeclaredSizeWithLittleData)
{
    // Code sizes 0 and 1 are no conforming file's, but decode without harm.
    for (uint8_t s : {uint8_t(0), uint8_t(1), uint8_t(11)}) {
        auto file = GifBuilder().header(4, 4, 0).descriptor(0, 0, 4, 4, 0).raw({s, 3, 0x00, 0xFF, 0x0F, 0}).trailer();
        EXPECT_TRUE(readBytes(file.bytes).block) << int(s);
    }
    // A large picture whose data stops early is index 0 past the data, at
    // 1 bit (through the decode buffer) and at 8 bits (decoded in place).
    for (uint8_t packed : {uint8_t(0x00), uint8_t(0x07)}) {
        auto file = GifBuilder().header(1, 1, packed).descriptor(0, 0, 1000, 1000, 0).uncompressedData({1, 1, 1}, 2).trailer();
        auto result = readBytes(file.bytes);
        ASSERT_TRUE(result.block) << result.message;
        EXPECT_EQ(indexAt(result.block, 2, 0), 1u);
        EXPECT_EQ(indexAt(result.block, 3, 0), 0u);
        EXPECT_EQ(indexAt(result.block, 999, 999), 0u);
        EXPECT_EQ(indexAt(result.block, 2, 999), 0u);
    }
    // One that even LZW's best ratio could not fill to 1/64 is refused.
    auto bomb = GifBuilder().header(1, 1, 0x07).descriptor(0, 0, 40000, 30000, 0).uncompressedData({1, 1, 1}, 2).trailer();
    auto refused = readBytes(bomb.bytes);
    EXPECT_FALSE(refused.block);
    EXPECT_EQ(refused.message, "This is not a valid GIF file: the file is far too small for the picture it declares");
}

} // namespace
} // namespace pictorand::testing
