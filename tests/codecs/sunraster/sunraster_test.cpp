#include "codecs/sunraster/sunraster.h"
#include "core/codec_registry.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace pictorand {
namespace {

using testing::blockToRgb;
using testing::haveTool;
using testing::magickDecode;
using testing::maxDifference;
using testing::RgbImage;
using testing::runCommand;
using testing::ScratchDir;
using testing::shellQuote;
using testing::writePpm;
using testing::Bytes;
using testing::Decoded;
using testing::topRowBytes;

struct Header {
    uint32_t width = 1;
    uint32_t height = 1;
    uint32_t depth = 8;
    uint32_t type = 1;
    uint32_t mapType = 0;
    uint32_t mapLength = 0;
    uint32_t magic = 0x59A66A95;
};

Bytes ras(const Header& h, const Bytes& rest)
{
    Bytes file;
    for (uint32_t word : {h.magic, h.width, h.height, h.depth, uint32_t(0), h.type, h.mapType, h.mapLength})
        for (int shift = 24; shift >= 0; shift -= 8)
            file.push_back(static_cast<uint8_t>(word >> shift));
    for (uint8_t byte : rest)
        file.push_back(byte);
    return file;
}

Decoded decode(const Bytes& file) { return testing::decodeWith(decodeSunRaster, file); }

TEST(SunRasterReader, OneBitIsWhiteOnZero)
{
    Header h;
    h.depth = 1;
    h.width = 9;
    h.height = 2;
    Decoded d = decode(ras(h, {0x80, 0x80, 0x01, 0x00}));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.compression, "Sun Rasterfile - None");
    EXPECT_EQ(d.block.colorsUsed(), 2u);
    EXPECT_EQ(d.block.colorTable()[0], (ColorEntry{255, 255, 255, 0}));
    EXPECT_EQ(d.block.colorTable()[1], (ColorEntry{0, 0, 0, 0}));
    EXPECT_EQ(topRowBytes(d.block, 0, 2), (Bytes{0x80, 0x80}));
    EXPECT_EQ(topRowBytes(d.block, 1, 2), (Bytes{0x01, 0x00}));
}

TEST(SunRasterReader, FullMapGivesAll256Entries)
{
    Header h;
    h.mapType = 1;
    h.mapLength = 768;
    Bytes map(768);
    for (int i = 0; i < 256; ++i) {
        map[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        map[static_cast<size_t>(256 + i)] = static_cast<uint8_t>(255 - i);
        map[static_cast<size_t>(512 + i)] = 7;
    }
    map.push_back(200); // the pixel (and its pad byte)
    map.push_back(0);
    Decoded d = decode(ras(h, map));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.colorTable()[200], (ColorEntry{7, 55, 200, 0}));
    EXPECT_EQ(d.block.colorTable()[255], (ColorEntry{7, 0, 255, 0}));
    EXPECT_EQ(d.block.topRow(0)[0], 200);
}

TEST(SunRasterReader, ShortMapLeavesTheRestBlack)
{
    Header h;
    h.mapType = 1;
    h.mapLength = 48;
    Bytes rest(48, 0x33);
    rest.push_back(15);
    rest.push_back(0);
    Decoded d = decode(ras(h, rest));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.colorTable()[15], (ColorEntry{0x33, 0x33, 0x33, 0}));
    EXPECT_EQ(d.block.colorTable()[16], ColorEntry{});
    EXPECT_EQ(d.block.topRow(0)[0], 15);
}

TEST(SunRasterReader, MapLongerThan256EntriesIsSkippedPastIts768thByte)
{
    Header h;
    h.mapType = 1;
    h.mapLength = 900; // 300 entries
    Bytes rest(900, 0);
    rest[299] = 0x44;       // red of entry 299: beyond the table
    rest[255] = 0x11;       // red of entry 255
    rest[300 + 255] = 0x22; // green of entry 255
    rest.push_back(255);
    rest.push_back(0);
    Decoded d = decode(ras(h, rest));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.colorTable()[255], (ColorEntry{0, 0x22, 0x11, 0}));
    EXPECT_EQ(d.block.topRow(0)[0], 255);
}

TEST(SunRasterReader, EightBitsWithoutMapHaveABlackTable)
{
    Decoded d = decode(ras({}, {9, 0}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.colorsUsed(), 256u);
    EXPECT_EQ(d.block.colorTable()[9], ColorEntry{});
}

TEST(SunRasterReader, MapLengthWithMapTypeZeroIsSkipped)
{
    Header h;
    h.mapLength = 6;
    Decoded d = decode(ras(h, {1, 2, 3, 4, 5, 6, 0x77, 0}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.topRow(0)[0], 0x77);
    EXPECT_EQ(d.block.colorTable()[1], ColorEntry{});
}

TEST(SunRasterReader, OddEightBitWidthIsPadded)
{
    Header h;
    h.width = 3;
    h.height = 2;
    Decoded d = decode(ras(h, {1, 2, 3, 0, 4, 5, 6, 0}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 1, 3), (Bytes{4, 5, 6}));
}

TEST(SunRasterReader, TwentyFourBitOddWidthFollowsTheFileSize)
{
    Header h;
    h.depth = 24;
    h.width = 1;
    h.height = 2;
    Decoded unpadded = decode(ras(h, {1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(unpadded.block);
    EXPECT_EQ(topRowBytes(unpadded.block, 1, 3), (Bytes{4, 5, 6}));
    Decoded padded = decode(ras(h, {1, 2, 3, 0, 4, 5, 6, 0}));
    ASSERT_TRUE(padded.block);
    EXPECT_EQ(topRowBytes(padded.block, 1, 3), (Bytes{4, 5, 6}));
}

TEST(SunRasterReader, TwentyFourBitEvenWidthIsNeverPadded)
{
    // Trailing bytes after the rows must not shift rows of an even width.
    Header h;
    h.depth = 24;
    h.width = 2;
    h.height = 2;
    Decoded d = decode(ras(h, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xEE}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 1, 6), (Bytes{7, 8, 9, 10, 11, 12}));
}

TEST(SunRasterReader, RgbTypeIsStoredRedFirst)
{
    Header h;
    h.depth = 24;
    h.type = 3;
    h.width = 2;
    Decoded d = decode(ras(h, {0xFF, 0, 0, 0, 0, 0xFF}));
    ASSERT_TRUE(d.block);
    RgbImage rgb = blockToRgb(d.block);
    EXPECT_EQ(Bytes(rgb.at(0, 0), rgb.at(0, 0) + 3), (Bytes{0xFF, 0, 0}));
}

// A few hundred bytes declaring a picture of a gigabyte or more: refused
// before anything is allocated, stored or run-length encoded alike (a run
// cannot stretch 3 bytes to more than 256).
TEST(SunRasterReader, RefusesAHeaderDeclaringFarMoreThanTheDataCanHold)
{
    for (uint32_t type : {1u, 2u}) {
        Header h;
        h.depth = 1;
        h.type = type;
        h.width = 32;
        h.height = 335544352;
        Decoded d = decode(ras(h, Bytes(255, 0x80)));
        EXPECT_FALSE(d.block) << type;
        EXPECT_EQ(d.message, kSunRasterTexts[SunRasterFault::NotValid]) << type;
    }
}

TEST(SunRasterReader, ThirtyTwoBitsLoadAsTwentyFour)
{
    Header h;
    h.depth = 32;
    h.width = 2;
    Decoded d = decode(ras(h, {0xAA, 1, 2, 3, 0xBB, 4, 5, 6}));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.block.bitCount(), 24);
    EXPECT_EQ(d.block.colorsUsed(), 0u);
    EXPECT_EQ(topRowBytes(d.block, 0, 6), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(SunRasterReader, ByteRunsAndEscapes)
{
    Header h;
    h.type = 2;
    h.width = 6;
    // 0x80 0x02 0x41: three 0x41; 0x80 0x00: one 0x80.
    Decoded d = decode(ras(h, {0x80, 0x02, 0x41, 0x80, 0x00, 0x01, 0x02}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.compression, "Sun Rasterfile - RLE compressed");
    EXPECT_EQ(topRowBytes(d.block, 0, 6), (Bytes{0x41, 0x41, 0x41, 0x80, 0x01, 0x02}));
}

TEST(SunRasterReader, ByteRunContinuesIntoTheNextRow)
{
    Header h;
    h.type = 2;
    h.width = 4;
    h.height = 2;
    Decoded d = decode(ras(h, {0x80, 0x05, 0x09, 0x01, 0x02}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 4), (Bytes{9, 9, 9, 9}));
    EXPECT_EQ(topRowBytes(d.block, 1, 4), (Bytes{9, 9, 1, 2}));
}

TEST(SunRasterReader, ByteRunTwentyFourBitOddWidthWithAndWithoutPadding)
{
    Header h;
    h.type = 2;
    h.depth = 24;
    h.width = 1;
    h.height = 2;
    Decoded padded = decode(ras(h, {1, 2, 3, 0, 4, 5, 6, 0}));
    ASSERT_TRUE(padded.block);
    EXPECT_EQ(topRowBytes(padded.block, 1, 3), (Bytes{4, 5, 6}));
    Decoded unpadded = decode(ras(h, {1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(unpadded.block);
    EXPECT_EQ(topRowBytes(unpadded.block, 1, 3), (Bytes{4, 5, 6}));
}

TEST(SunRasterReader, HeightOne)
{
    Header h;
    h.width = 2;
    Decoded d = decode(ras(h, {5, 6}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 2), (Bytes{5, 6}));
}

TEST(SunRasterReader, ShortFileRepeatsTheLastRowRead)
{
    Header h;
    h.width = 4;
    h.height = 3;
    Decoded d = decode(ras(h, {1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 1, 4), (Bytes{5, 6, 3, 4}));
    EXPECT_EQ(topRowBytes(d.block, 2, 4), (Bytes{5, 6, 3, 4}));
}

struct Bad {
    const char* name;
    Bytes file;
    const char* message;
};

TEST(SunRasterReader, MalformedFilesFailWithTheirMessage)
{
    Bytes full = ras({}, {0, 0});
    const Bad cases[] = {
        {"empty", {}, "This is not a valid RAS File."},
        {"wrong_magic", ras({.magic = 0x59A66A96}, {0, 0}), "This is not a valid RAS File."},
        {"short_header", Bytes(full.begin(), full.begin() + 31), "This is not a valid RAS File."},
        {"zero_width", ras({.width = 0}, {}), "This is not a valid RAS File."},
        {"zero_height", ras({.height = 0}, {}), "This is not a valid RAS File."},
        {"negative_width", ras({.width = 0x80000000u}, {}), "This is not a valid RAS File."},
        {"depth_4", ras({.depth = 4}, {0}), "This is not a valid RAS File."},
        {"depth_16", ras({.depth = 16}, {0}), "This is not a valid RAS File."},
        {"too_big", ras({.width = 100000, .height = 100000, .depth = 24}, {}), "Can't allocate memory"},
        {"type_4", ras({.type = 4}, {0, 0}), "Unsupported compression !"},
        {"type_experimental", ras({.type = 0xFFFF}, {0, 0}), "Unsupported compression !"},
    };
    for (const Bad& bad : cases) {
        Decoded d = decode(bad.file);
        EXPECT_FALSE(d.block) << bad.name;
        EXPECT_EQ(d.message, bad.message) << bad.name;
    }
}

TEST(SunRasterReader, MissingFile)
{
    Result<DecodedImage> read = readSunRaster("/nonexistent/x.ras");
    EXPECT_FALSE(read);
    EXPECT_EQ(read.failure().detail, "Can't open file: /nonexistent/x.ras");
}

// ---------------------------------------------------------------------------
// Files of independent writers

RgbImage pattern(int width, int height, int colors)
{
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.at(x, y);
            int i = ((x / 4) * 5 + y * 3) % colors;
            if (colors == 2) {
                p[0] = p[1] = p[2] = i ? 255 : 0;
            } else if (colors > 256) {
                p[0] = static_cast<uint8_t>(x * 9 + y);
                p[1] = static_cast<uint8_t>(y * 17);
                p[2] = static_cast<uint8_t>(x * y);
            } else {
                p[0] = static_cast<uint8_t>(i * 13);
                p[1] = static_cast<uint8_t>(250 - i * 3);
                p[2] = static_cast<uint8_t>(i * 71);
            }
        }
    return image;
}

class SunRasterTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("pnmtorast", "rasttopnm", "convert");
    }
    ImageBlock make(const RgbImage& source, const std::string& command, std::string* compression = nullptr)
    {
        std::string in = dir.file("in.ppm");
        writePpm(in, source);
        std::string full = command;
        full.replace(full.find("IN"), 2, shellQuote(in));
        EXPECT_EQ(runCommand(full + " > " + shellQuote(out()) + " 2>/dev/null"), 0) << command;
        Decoded d = testing::decodedFrom(readSunRaster(out()));
        EXPECT_TRUE(d.block) << command << ": " << d.message;
        if (compression)
            *compression = d.compression;
        return std::move(d.block);
    }
    std::string out() const { return dir.file("out.ras"); }
    ScratchDir dir;
};

TEST_F(SunRasterTools, PnmtorastFilesDecodeToTheirPixels)
{
    const struct {
        const char* command;
        int width, height, colors, depth;
        const char* compression;
    } cases[] = {
        // pnmtorast drops the last pixels of bitmap rows whose width is not
        // a multiple of 8, so the bitmaps here are 24 and 40 wide.
        {"ppmtopgm IN | pgmtopbm -threshold | pnmtorast -standard", 24, 5, 2, 1, "Sun Rasterfile - None"},
        {"ppmtopgm IN | pgmtopbm -threshold | pnmtorast -rle", 40, 5, 2, 1, "Sun Rasterfile - RLE compressed"},
        {"pnmtorast -standard IN", 13, 7, 30, 8, "Sun Rasterfile - None"},
        {"pnmtorast -rle IN", 13, 7, 30, 8, "Sun Rasterfile - RLE compressed"},
        {"pnmtorast -rle IN", 40, 7, 30, 8, "Sun Rasterfile - RLE compressed"},
        {"pnmtorast -standard IN", 27, 12, 1000, 24, "Sun Rasterfile - None"},
        {"pnmtorast -standard IN", 28, 12, 1000, 24, "Sun Rasterfile - None"},
    };
    for (const auto& c : cases) {
        RgbImage source = pattern(c.width, c.height, c.colors);
        std::string compression;
        ImageBlock block = make(source, c.command, &compression);
        ASSERT_TRUE(block) << c.command;
        EXPECT_EQ(block.bitCount(), c.depth) << c.command;
        EXPECT_EQ(compression, c.compression) << c.command;
        EXPECT_EQ(maxDifference(blockToRgb(block), source), 0) << c.command;
        // netpbm's own decoder as the second opinion: ImageMagick misplaces
        // pixels of byte-encoded files with padded rows.
        ASSERT_TRUE(testing::toolWrotePicture("rasttopnm " + shellQuote(out()) + " > " + shellQuote(dir.file("n.pnm")), dir.file("n.pnm")));
        auto netpbm = magickDecode(dir.file("n.pnm"));
        ASSERT_TRUE(netpbm);
        EXPECT_EQ(maxDifference(blockToRgb(block), *netpbm), 0) << c.command;
    }
}

TEST_F(SunRasterTools, ImageMagickFiles)
{
    // ImageMagick's 24- and 32-bit files are of the red-first type.
    const struct {
        const char* command;
        int colors, depth;
    } cases[] = {
        {"convert IN -colors 200 sun:-", 200, 8},
        {"convert IN -colors 2 -depth 1 sun:-", 1000, 1},
        {"convert IN sun:-", 1000, 24},
        {"convert IN -alpha on sun:-", 1000, 24},
    };
    for (int width : {17, 18}) {
        for (const auto& c : cases) {
            RgbImage source = pattern(width, 9, c.colors);
            ImageBlock block = make(source, c.command);
            ASSERT_TRUE(block) << c.command;
            EXPECT_EQ(block.bitCount(), c.depth) << c.command;
            auto magick = magickDecode(out());
            ASSERT_TRUE(magick);
            EXPECT_EQ(maxDifference(blockToRgb(block), *magick), 0) << c.command << " width " << width;
        }
    }
}

TEST(SunRasterRegistry, ReaderIsRegistered)
{
    ReaderFunction reader = CodecRegistry::instance().reader(ImageFormat::SunRaster);
    ASSERT_NE(reader, nullptr);
    ScratchDir dir;
    testing::writeFile(dir.file("x.ras"), ras({.type = 2}, {0x80, 0x00}));
    ReadRequest request;
    request.path = dir.file("x.ras");
    Result<DecodedImage> read = reader(request);
    ASSERT_TRUE(read) << read.text();
    EXPECT_TRUE(read->block);
    EXPECT_EQ(read->compression, "Sun Rasterfile - RLE compressed");
}

} // namespace
} // namespace pictorand
