// The GIF writer: the bytes it lays down, round trips through our reader,
// and files that ImageMagick and giflib must decode to the same pixels.

#include "codecs/gif/gif.h"
#include "core/codec_registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace pictorand::testing {
namespace {

// A block of the given depth whose indices come from `seed` (0: a pattern).
ImageBlock makeBlock(int width, int height, int depth, uint32_t seed, uint32_t colorsUsed = 0)
{
    const uint32_t colors = colorsUsed ? colorsUsed : 1u << depth;
    ImageBlock block = ImageBlock::create(width, height, static_cast<uint16_t>(depth), colors);
    for (uint32_t i = 0; i < colors; ++i)
        block.setColor(i, static_cast<uint8_t>(i * 37 + 11), static_cast<uint8_t>(255 - i * 13), static_cast<uint8_t>(i * 101));
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = block.topRow(y);
        for (int x = 0; x < width; ++x) {
            unsigned value;
            if (seed) {
                state = state * 1103515245u + 12345u;
                value = (state >> 16) % colors;
            } else {
                value = static_cast<unsigned>(x / 3 + y) % colors;
            }
            if (depth == 8)
                row[x] = static_cast<uint8_t>(value);
            else if (depth == 4)
                row[x / 2] = static_cast<uint8_t>(row[x / 2] | (x & 1 ? value : value << 4));
            else
                row[x / 8] = static_cast<uint8_t>(row[x / 8] | value << (7 - x % 8));
        }
    }
    return block;
}

ImageBlock readBack(const std::string& path)
{
    Result<DecodedImage> read = readGif(path);
    return read ? std::move(read->block) : ImageBlock();
}

bool samePixelsAndTable(const ImageBlock& a, const ImageBlock& b)
{
    if (!a || !b || a.width() != b.width() || a.height() != b.height() || a.bitCount() != b.bitCount())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.topRow(y), b.topRow(y), a.rowSize()) != 0)
            return false;
    return maxDifference(blockToRgb(a), blockToRgb(b)) == 0;
}

TEST(GifWriter, HeaderControlAndDescriptorBytes)
{
    struct Case {
        int depth;
        bool global;
        bool interlaced;
        int transparent;
        uint8_t screenPacked;
        uint8_t imagePacked;
        uint8_t controlPacked;
        uint8_t controlIndex;
        uint8_t codeSize;
    };
    const Case cases[] = {
        {1, true, false, -1, 0x80, 0x00, 0, 0, 2},
        {4, true, false, 9, 0xB3, 0x03, 1, 9, 4},
        {8, true, true, 200, 0xF7, 0x47, 1, 200, 8},
        {8, false, false, -1, 0x77, 0x87, 0, 0, 8},
        {1, false, true, 1, 0x00, 0xC0, 1, 1, 2},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ImageBlock block = makeBlock(5, 3, c.depth, 0);
        ASSERT_TRUE(writeGif(dir.file("a.gif"), block, c.global, c.interlaced, c.transparent));
        auto bytes = readFile(dir.file("a.gif"));
        const size_t table = 3u << c.depth;
        ASSERT_GT(bytes.size(), 13 + table + 8 + 10 + 2);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
        EXPECT_EQ(bytes[6], 5);
        EXPECT_EQ(bytes[8], 3);
        EXPECT_EQ(bytes[10], c.screenPacked) << c.depth;
        EXPECT_EQ(bytes[11], 0);
        EXPECT_EQ(bytes[12], 0);
        size_t at = 13 + (c.global ? table : 0);
        const std::vector<uint8_t> control = {0x21, 0xF9, 0x04, c.controlPacked, 0, 0, c.controlIndex, 0};
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + 8)), control);
        at += 8;
        EXPECT_EQ(bytes[at], 0x2C);
        EXPECT_EQ(bytes[at + 5], 5);
        EXPECT_EQ(bytes[at + 7], 3);
        EXPECT_EQ(bytes[at + 9], c.imagePacked);
        at += 10 + (c.global ? 0 : table);
        EXPECT_EQ(bytes[at], c.codeSize);
        EXPECT_EQ(bytes.back(), 0x3B);
        // The transparent colour reads back white.
        if (c.transparent >= 0 && static_cast<uint32_t>(c.transparent) < block.colorsUsed())
            block.setColor(static_cast<uint32_t>(c.transparent), 255, 255, 255);
        EXPECT_TRUE(samePixelsAndTable(readBack(dir.file("a.gif")), block));
    }
}

TEST(GifWriter, ColourTableIsPaddedWithBlackToItsSizeField)
{
    ScratchDir dir;
    ImageBlock block = makeBlock(4, 2, 4, 0, 5);
    ASSERT_TRUE(writeGif(dir.file("a.gif"), block, true, false, -1));
    auto bytes = readFile(dir.file("a.gif"));
    EXPECT_EQ(bytes[10], 0xB3);
    EXPECT_EQ(bytes[13 + 3 * 4], 4 * 37 + 11); // entry 4 red
    for (size_t i = 13 + 3 * 5; i < 13 + 3 * 16; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[13 + 48], 0x21);
}

TEST(GifWriter, ColourTableNeverOutgrowsItsSizeField)
{
    // A 1-bit block that claims 256 colours: only 2 may follow a size field
    // of 0, or the decoder would take colours for blocks.
    ScratchDir dir;
    ImageBlock block = makeBlock(9, 2, 1, 5, 256);
    ASSERT_TRUE(writeGif(dir.file("a.gif"), block, true, false, -1));
    auto bytes = readFile(dir.file("a.gif"));
    EXPECT_EQ(bytes[10], 0x80);
    EXPECT_EQ(bytes[13 + 6], 0x21);
    ImageBlock back = readBack(dir.file("a.gif"));
    ASSERT_TRUE(back);
    EXPECT_EQ(maxDifference(blockToRgb(back), blockToRgb(block)), 0);
}

TEST(GifWriter, RefusesWhatItCannotWrite)
{
    ScratchDir dir;
    EXPECT_FALSE(writeGif(dir.file("null.gif"), ImageBlock(), true, false, -1));
    EXPECT_FALSE(fileExists(dir.file("null.gif")));

    ImageBlock trueColour = ImageBlock::create(4, 4, 24, 0);
    EXPECT_FALSE(writeGif(dir.file("24.gif"), trueColour, true, false, -1));
    EXPECT_FALSE(fileExists(dir.file("24.gif"))) << "refused before the file is touched";
    if (fileExists("/dev/full")) {
        EXPECT_FALSE(writeGif("/dev/full", makeBlock(64, 64, 8, 0), true, false, -1)) << "a full disk";
    }

    EXPECT_FALSE(writeGif(dir.path() + "/missing/dir/x.gif", makeBlock(2, 2, 8, 0), true, false, -1));
}

TEST(GifWriter, RegisteredWriterUsesGlobalTableAndOptions)
{
    ScratchDir dir;
    WriterFunction writer = CodecRegistry::instance().writer(ImageFormat::Gif);
    ASSERT_NE(writer, nullptr);
    GifWriteOptions options;
    options.interlaced = true;
    options.transparentIndex = 3;
    ASSERT_TRUE(writer(dir.file("a.gif"), makeBlock(7, 9, 4, 3), options));
    auto bytes = readFile(dir.file("a.gif"));
    EXPECT_EQ(bytes[10], 0xB3);
    const size_t control = 13 + 48;
    EXPECT_EQ(bytes[control + 3], 1);
    EXPECT_EQ(bytes[control + 6], 3);
    EXPECT_EQ(bytes[control + 8 + 9], 0x43);
}

TEST(GifWriter, RoundTripsHeightsOneToNineInterlacedOrNot)
{
    for (int depth : {1, 4, 8})
        for (bool interlaced : {false, true})
            for (int height = 1; height <= 9; ++height) {
                ScratchDir dir;
                ImageBlock block = makeBlock(13, height, depth, static_cast<uint32_t>(height * 7 + depth));
                ASSERT_TRUE(writeGif(dir.file("a.gif"), block, true, interlaced, -1));
                EXPECT_TRUE(samePixelsAndTable(readBack(dir.file("a.gif")), block))
                    << depth << " bits, interlaced " << interlaced << ", height " << height;
                if (haveTool("convert") && depth == 8) {
                    auto magick = magickDecode(dir.file("a.gif"));
                    ASSERT_TRUE(magick);
                    EXPECT_EQ(maxDifference(*magick, blockToRgb(block)), 0) << "height " << height;
                }
            }
}

TEST(GifWriter, RandomPictureFillsTheStringTableAndRoundTrips)
{
    ScratchDir dir;
    ImageBlock block = makeBlock(256, 256, 8, 99);
    ASSERT_TRUE(writeGif(dir.file("ours.gif"), block, true, false, -1));
    EXPECT_TRUE(samePixelsAndTable(readBack(dir.file("ours.gif")), block));
    REQUIRE_TOOLS("convert");
    auto magick = magickDecode(dir.file("ours.gif"));
    ASSERT_TRUE(magick);
    EXPECT_EQ(maxDifference(*magick, blockToRgb(block)), 0);
    // And the other way: ImageMagick codes the same picture, we decode it.
    writePpm(dir.file("random.ppm"), blockToRgb(block));
    ASSERT_EQ(runCommand("convert " + shellQuote(dir.file("random.ppm")) + " " + shellQuote(dir.file("magick.gif"))), 0);
    ImageBlock theirs = readBack(dir.file("magick.gif"));
    ASSERT_TRUE(theirs);
    EXPECT_EQ(maxDifference(blockToRgb(theirs), blockToRgb(block)), 0);
}

TEST(GifWriter, OneAndFourBitPicturesThatFillTheTableRoundTrip)
{
    // Random pictures fill the 4096 entries several times over at every
    // code size, so every reset path is taken.
    for (int depth : {1, 4, 8}) {
        ScratchDir dir;
        ImageBlock block = makeBlock(400, 300, depth, static_cast<uint32_t>(depth * 11));
        ASSERT_TRUE(writeGif(dir.file("a.gif"), block, true, depth == 4, -1));
        EXPECT_TRUE(samePixelsAndTable(readBack(dir.file("a.gif")), block)) << depth;
        if (haveTool("gif2rgb")) {
            ASSERT_EQ(runCommand("gif2rgb -1 -o " + shellQuote(dir.file("a.rgb")) + " " + shellQuote(dir.file("a.gif"))
                                 + " 2>/dev/null"),
                      0);
            EXPECT_EQ(maxDifference(RgbImage{400, 300, readFile(dir.file("a.rgb"))}, blockToRgb(block)), 0) << depth;
        }
    }
}

// Reads the code stream of a file we wrote and tracks the code width as a
// decoder must: a full table is followed by a clear code at 12 bits, and the
// codes after it are 9 bits wide again.
TEST(GifWriter, FullTableIsClearedWithATwelveBitClearCode)
{
    ScratchDir dir;
    ASSERT_TRUE(writeGif(dir.file("a.gif"), makeBlock(256, 256, 8, 99), true, false, -1));
    auto bytes = readFile(dir.file("a.gif"));
    size_t at = 13 + 768 + 8 + 10;
    ASSERT_EQ(bytes[at++], 8);
    std::vector<uint8_t> data;
    while (at < bytes.size() && bytes[at] != 0) {
        data.insert(data.end(), bytes.begin() + static_cast<long>(at + 1), bytes.begin() + static_cast<long>(at + 1 + bytes[at]));
        at += 1 + bytes[at];
    }
    uint64_t accumulator = 0;
    int bits = 0;
    size_t nextByte = 0;
    int width = 9;
    unsigned next = 258;
    bool previous = false;
    int fullTableClears = 0;
    int codesAfterClear = -1;
    for (;;) {
        while (bits < width && nextByte < data.size()) {
            accumulator |= static_cast<uint64_t>(data[nextByte++]) << bits;
            bits += 8;
        }
        ASSERT_GE(bits, width) << "data ended without an end code";
        const unsigned code = static_cast<unsigned>(accumulator & ((1u << width) - 1));
        accumulator >>= width;
        bits -= width;
        if (codesAfterClear == 0) {
            EXPECT_EQ(width, 9);
            codesAfterClear = -1;
        }
        if (code == 257)
            break;
        if (code == 256) {
            if (next == 4096) {
                EXPECT_EQ(width, 12);
                ++fullTableClears;
                codesAfterClear = 0;
            }
            width = 9;
            next = 258;
            previous = false;
            continue;
        }
        ASSERT_LE(code, next);
        if (previous && next < 4096) {
            ++next;
            if (next == (1u << width) && width < 12)
                ++width;
        }
        previous = true;
    }
    EXPECT_GE(fullTableClears, 1);
}

TEST(GifWriter, OurFilesDecodeTheSameInImageMagickAndGiflib)
{
    REQUIRE_TOOLS("convert", "gif2rgb");
    for (int depth : {1, 4, 8})
        for (bool global : {true, false})
            for (bool interlaced : {false, true}) {
                ScratchDir dir;
                ImageBlock block = makeBlock(61, 37, depth, static_cast<uint32_t>(depth + 1));
                ASSERT_TRUE(writeGif(dir.file("a.gif"), block, global, interlaced, depth == 8 ? 17 : -1));
                RgbImage expected = blockToRgb(block);
                auto magick = magickDecode(dir.file("a.gif"));
                ASSERT_TRUE(magick);
                EXPECT_EQ(maxDifference(*magick, expected), 0) << depth << global << interlaced;
                ASSERT_EQ(runCommand("gif2rgb -1 -o " + shellQuote(dir.file("a.rgb")) + " " + shellQuote(dir.file("a.gif"))
                                     + " 2>/dev/null"),
                          0);
                RgbImage giflib{61, 37, readFile(dir.file("a.rgb"))};
                EXPECT_EQ(maxDifference(giflib, expected), 0) << depth << global << interlaced;
                std::string text;
                runCommand("giftext " + shellQuote(dir.file("a.gif")), &text);
                EXPECT_NE(text.find(interlaced ? "Image is Interlaced" : "Image is Non Interlaced"), std::string::npos);
                EXPECT_NE(text.find(global ? "Has Global Color Map" : "No Global Color Map"), std::string::npos) << text;
            }
}

// Finds a picture whose code stream ends exactly on a sub-block boundary and
// checks that no stray zero byte stands between the data and the trailer.
TEST(GifWriter, StreamEndingOnSubBlockBoundaryHasNoStrayZero)
{
    ScratchDir dir;
    bool found = false;
    for (int width = 100; width < 4000 && !found; ++width) {
        ImageBlock block = makeBlock(width, 3, 8, static_cast<uint32_t>(width));
        std::string path = dir.file("a.gif");
        ASSERT_TRUE(writeGif(path, block, true, false, -1));
        auto bytes = readFile(path);
        size_t at = 13 + 768 + 8 + 10 + 1;
        size_t dataBytes = 0;
        while (at < bytes.size() && bytes[at] != 0) {
            dataBytes += bytes[at];
            at += 1 + bytes[at];
        }
        if (dataBytes % 255 != 0)
            continue;
        found = true;
        ASSERT_EQ(at + 2, bytes.size());
        EXPECT_EQ(bytes[at + 1], 0x3B);
        EXPECT_TRUE(samePixelsAndTable(readBack(path), block));
        if (haveTool("gif2rgb")) {
            EXPECT_EQ(runCommand("gif2rgb -1 -o /dev/null " + shellQuote(path) + " 2>/dev/null"), 0);
        }
    }
    EXPECT_TRUE(found);
}

} // namespace
} // namespace pictorand::testing
