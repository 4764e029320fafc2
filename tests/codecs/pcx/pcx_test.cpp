#include "codecs/pcx/pcx.h"
#include "core/codec_registry.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace pictorand {
namespace {

using testing::blockToRgb;
using testing::haveTool;
using testing::magickDecode;
using testing::maxDifference;
using testing::readFile;
using testing::RgbImage;
using testing::runCommand;
using testing::ScratchDir;
using testing::shellQuote;
using testing::writeFile;
using testing::writePpm;
using testing::Bytes;
using testing::Decoded;
using testing::topRowBytes;

struct HeaderFields {
    uint8_t version = 5;
    uint8_t encoding = 1;
    uint8_t bitsPerPixel = 8;
    uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    uint8_t planes = 1;
    uint16_t bytesPerLine = 2;
    std::array<uint8_t, 48> map{};
};

Bytes pcxHeader(const HeaderFields& f)
{
    Bytes h(128, 0);
    h[0] = 10;
    h[1] = f.version;
    h[2] = f.encoding;
    h[3] = f.bitsPerPixel;
    auto put16 = [&](size_t at, uint16_t v) {
        h[at] = static_cast<uint8_t>(v);
        h[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    put16(4, f.xMin);
    put16(6, f.yMin);
    put16(8, f.xMax);
    put16(10, f.yMax);
    std::copy(f.map.begin(), f.map.end(), h.begin() + 16);
    h[65] = f.planes;
    put16(66, f.bytesPerLine);
    return h;
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Decoded decode(const Bytes& file) { return testing::decodeWith(decodePcx, file); }

ColorEntry color(uint8_t r, uint8_t g, uint8_t b) { return ColorEntry{b, g, r, 0}; }

// A picture of `colors` distinct colours (2: black and white).
RgbImage pattern(int width, int height, int colors)
{
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int i = (x * 7 + y * 13 + x * y) % colors;
            uint8_t* p = image.at(x, y);
            if (colors == 2) {
                p[0] = p[1] = p[2] = i ? 255 : 0;
            } else if (colors > 256) {
                p[0] = static_cast<uint8_t>(x * 5 + y);
                p[1] = static_cast<uint8_t>(y * 3 + x * x);
                p[2] = static_cast<uint8_t>(x ^ y);
            } else {
                p[0] = static_cast<uint8_t>(i * 255 / (colors - 1));
                p[1] = static_cast<uint8_t>(255 - i * 255 / (colors - 1));
                p[2] = static_cast<uint8_t>((i * 97) & 0xFF);
            }
        }
    return image;
}

// ---------------------------------------------------------------------------
// Hand-built files

TEST(PcxReader, OnePlaneOfEightBitsWithTrailer)
{
    HeaderFields f;
    f.xMax = 2; // 3 x 2
    f.yMax = 1;
    f.bytesPerLine = 4;
    Bytes data = {0x01, 0xC2, 0x02, 0x00, 0x03, 0x03, 0xC2, 0x04};
    Bytes trailer(769, 0);
    trailer[0] = 12;
    for (int i = 0; i < 256; ++i) {
        trailer[1 + i * 3] = static_cast<uint8_t>(i);
        trailer[2 + i * 3] = static_cast<uint8_t>(i * 2);
        trailer[3 + i * 3] = 7;
    }
    Decoded d = decode(concat(concat(pcxHeader(f), data), trailer));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.compression, "Run Length Encoding");
    EXPECT_EQ(d.block.bitCount(), 8);
    EXPECT_EQ(d.block.colorsUsed(), 256u);
    EXPECT_EQ(d.block.colorTable()[3], color(3, 6, 7));
    const uint8_t* top = d.block.topRow(0);
    EXPECT_EQ(Bytes(top, top + 3), (Bytes{1, 2, 2}));
    const uint8_t* bottom = d.block.topRow(1);
    EXPECT_EQ(Bytes(bottom, bottom + 3), (Bytes{3, 3, 4}));
}

TEST(PcxReader, EightBitsWithoutTrailerMarkerHaveABlackTable)
{
    HeaderFields f;
    f.xMax = 1;
    f.bytesPerLine = 2;
    Bytes file = concat(pcxHeader(f), Bytes(800, 0x05)); // byte at end - 769 is 5, not 12
    Decoded d = decode(file);
    ASSERT_TRUE(d.block);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(d.block.colorTable()[i], ColorEntry{}) << i;
}

TEST(PcxReader, RunAcrossScanLineEndIsCut)
{
    HeaderFields f;
    f.xMax = 3; // 4 x 2, 8 bits
    f.yMax = 1;
    f.bytesPerLine = 4;
    // A run of 6 in the first line: the second line begins with the code 0x09.
    Bytes data = {0xC6, 0x01, 0x09, 0x08, 0x07, 0x06};
    Decoded d = decode(concat(pcxHeader(f), data));
    ASSERT_TRUE(d.block);
    const uint8_t* second = d.block.topRow(1);
    EXPECT_EQ(Bytes(second, second + 4), (Bytes{9, 8, 7, 6}));
}

TEST(PcxReader, DataEndingEarlyFillsWithFF)
{
    HeaderFields f;
    f.xMax = 3;
    f.yMax = 2;
    f.bytesPerLine = 4;
    Decoded d = decode(concat(pcxHeader(f), {0x01, 0x02}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(Bytes(d.block.topRow(0), d.block.topRow(0) + 4), (Bytes{1, 2, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(d.block.topRow(2), d.block.topRow(2) + 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(PcxReader, OneBitIsBlackAndWhite)
{
    HeaderFields f;
    f.bitsPerPixel = 1;
    f.xMax = 7;
    f.bytesPerLine = 2;
    f.map[0] = 10; // a map of two dark colours does not count
    f.map[5] = 90;
    Decoded d = decode(concat(pcxHeader(f), {0xA5, 0x00}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.colorsUsed(), 2u);
    EXPECT_EQ(d.block.colorTable()[0], color(0, 0, 0));
    EXPECT_EQ(d.block.colorTable()[1], color(255, 255, 255));
    EXPECT_EQ(d.block.topRow(0)[0], 0xA5);
}

TEST(PcxReader, OneBitWithLightFirstMapKeepsOneAsBlack)
{
    HeaderFields f;
    f.bitsPerPixel = 1;
    f.xMax = 7;
    f.bytesPerLine = 2;
    std::fill(f.map.begin(), f.map.begin() + 3, uint8_t(255));
    Decoded d = decode(concat(pcxHeader(f), {0xA5, 0x00}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.colorTable()[0], color(255, 255, 255));
    EXPECT_EQ(d.block.colorTable()[1], color(0, 0, 0));
}

TEST(PcxReader, FourBitPlanesBecomeNibbles)
{
    HeaderFields f;
    f.bitsPerPixel = 1;
    f.planes = 4;
    f.xMax = 2; // 3 pixels
    f.bytesPerLine = 2;
    for (int i = 0; i < 48; ++i)
        f.map[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 5);
    // Pixel values 0b0101 = 5, 0b1010 = 10, 0b1111 = 15: plane k gives bit k.
    Bytes planes = {
        0b10100000, 0, // plane 0
        0b01100000, 0, // plane 1
        0b10100000, 0, // plane 2
        0b01100000, 0, // plane 3
    };
    Decoded d = decode(concat(pcxHeader(f), planes));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.block.bitCount(), 4);
    EXPECT_EQ(d.block.colorsUsed(), 16u);
    EXPECT_EQ(d.block.colorTable()[2], color(30, 35, 40));
    const uint8_t* row = d.block.topRow(0);
    EXPECT_EQ(row[0], 0x5A);
    EXPECT_EQ(row[1], 0xF0);
}

TEST(PcxReader, VersionThreeUsesTheBuiltInPalette)
{
    HeaderFields f;
    f.version = 3;
    f.bitsPerPixel = 4;
    f.xMax = 1;
    f.bytesPerLine = 2;
    f.map.fill(0x77); // ignored for version 3
    Decoded d = decode(concat(pcxHeader(f), {0x0F, 0x00}));
    ASSERT_TRUE(d.block);
    const ColorEntry* table = d.block.colorTable();
    EXPECT_EQ(table[0], color(0, 0, 14));
    EXPECT_EQ(table[1], color(0, 82, 7));
    EXPECT_EQ(table[4], color(248, 1, 44));
    EXPECT_EQ(table[9], color(36, 155, 73));
    EXPECT_EQ(table[12], color(132, 20, 217));
    EXPECT_EQ(table[15], color(0, 104, 31));
}

TEST(PcxReader, UncompressedThreePlanesInterleaveToBgr)
{
    HeaderFields f;
    f.encoding = 0;
    f.planes = 3;
    f.xMax = 2; // 3 pixels, bytes per line 4 (one pad byte per plane)
    f.bytesPerLine = 4;
    Bytes line = {0xC1, 0xC2, 0xC3, 0xEE, 0x11, 0x12, 0x13, 0xEE, 0x21, 0x22, 0x23, 0xEE};
    Decoded d = decode(concat(pcxHeader(f), line));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.compression, "None");
    EXPECT_EQ(d.block.bitCount(), 24);
    EXPECT_EQ(d.block.colorsUsed(), 0u);
    const uint8_t* row = d.block.topRow(0);
    EXPECT_EQ(Bytes(row, row + 12), (Bytes{0x21, 0x11, 0xC1, 0x22, 0x12, 0xC2, 0x23, 0x13, 0xC3, 0, 0, 0}));
}

TEST(PcxReader, UncompressedOnePlaneFourBits)
{
    // One 4-bit plane stored as is (the planar combination is only for
    // four 1-bit planes).
    HeaderFields f;
    f.encoding = 0;
    f.bitsPerPixel = 4;
    f.xMax = 3;
    f.yMax = 1;
    f.bytesPerLine = 2;
    Decoded d = decode(concat(pcxHeader(f), {0x12, 0x34, 0x56}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.topRow(0)[0], 0x12);
    EXPECT_EQ(d.block.topRow(0)[1], 0x34);
    EXPECT_EQ(d.block.topRow(1)[0], 0x56);
    EXPECT_EQ(d.block.topRow(1)[1], 0x00); // missing data stays zero
}

TEST(PcxReader, SizeComesFromMinimumAndMaximum)
{
    HeaderFields f;
    f.xMin = 10;
    f.xMax = 14;
    f.yMin = 3;
    f.yMax = 5;
    f.bytesPerLine = 6;
    Decoded d = decode(pcxHeader(f));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.width(), 5);
    EXPECT_EQ(d.block.height(), 3);
}

TEST(PcxReader, ZeroBytesPerLineGivesABlankPicture)
{
    for (uint8_t planes : {uint8_t(1), uint8_t(3), uint8_t(4)}) { // 4: with an alpha plane
        HeaderFields f;
        f.planes = planes;
        f.xMax = 3;
        f.yMax = 1;
        f.bytesPerLine = 0;
        Decoded d = decode(concat(pcxHeader(f), {0x01, 0x02}));
        ASSERT_TRUE(d.block) << int(planes);
        EXPECT_EQ(topRowBytes(d.block, 0, 3), (Bytes{0, 0, 0})) << int(planes);
    }
}

// Malformed files, by the stage where they fail.
struct BadHeader {
    const char* name;
    Bytes file;
    const char* message;
};

std::vector<BadHeader> badHeaders()
{
    HeaderFields fiveOneBitPlanes;
    fiveOneBitPlanes.bitsPerPixel = 1;
    fiveOneBitPlanes.planes = 5;
    HeaderFields twoBytePlanes;
    twoBytePlanes.planes = 2;
    HeaderFields twoBitPlanes;
    twoBitPlanes.bitsPerPixel = 2;
    twoBitPlanes.planes = 2;
    HeaderFields backwards;
    backwards.xMin = 5;
    backwards.xMax = 4;
    HeaderFields backwardsY;
    backwardsY.yMin = 1;
    Bytes shortHeader = pcxHeader({});
    shortHeader.pop_back();
    Bytes wrongManufacturer = pcxHeader({});
    wrongManufacturer[0] = 11;
    return {
        {"empty_file", {}, "Not a valid PCX file"},
        {"short_header", shortHeader, "Not a valid PCX file"},
        {"wrong_manufacturer", wrongManufacturer, "Not a valid PCX file"},
        {"five_one_bit_planes", pcxHeader(fiveOneBitPlanes), "Not a valid PCX file"},
        {"two_byte_planes", pcxHeader(twoBytePlanes), "Not a valid PCX file"},
        {"two_planes_of_two_bits", pcxHeader(twoBitPlanes), "Not a valid PCX file"},
        {"x_max_below_x_min", pcxHeader(backwards), "Not a valid PCX file"},
        {"y_max_below_y_min", pcxHeader(backwardsY), "Not a valid PCX file"},
    };
}

TEST(PcxReader, MalformedHeadersAreRefused)
{
    for (const BadHeader& bad : badHeaders()) {
        Decoded d = decode(bad.file);
        EXPECT_FALSE(d.block) << bad.name;
        EXPECT_EQ(d.message, bad.message) << bad.name;
    }
}

TEST(PcxReader, HugePictureCannotBeAllocated)
{
    HeaderFields f;
    f.planes = 3;
    f.xMax = 0xFFFF;
    f.yMax = 0xFFFF;
    f.bytesPerLine = 0xFFFF;
    Decoded d = decode(pcxHeader(f));
    EXPECT_FALSE(d.block);
    EXPECT_EQ(d.message, "Can't allocate memory");
}

TEST(PcxReader, MissingFile)
{
    Result<DecodedImage> read = readPcx("/nonexistent/x.pcx");
    EXPECT_FALSE(read);
    EXPECT_EQ(read.failure().detail, "Can't open file");
}

// ---------------------------------------------------------------------------
// Files of independent writers

class PcxTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("ppmtopcx", "convert", "pcxtoppm");
    }
    ImageBlock read(const std::string& path)
    {
        Decoded d = testing::decodedFrom(readPcx(path));
        EXPECT_TRUE(d.block) << path << ": " << d.message;
        return std::move(d.block);
    }
    ScratchDir dir;
};

struct ToolCase {
    const char* name;
    int width, height, colors;
    const char* command; // IN: the input PPM; the file comes on standard output
    int expectedDepth;
    // ImageMagick reads every 1-bit PCX file as 1 = black, whatever its map
    // says, so it inverts netpbm's bitmaps; netpbm is right by the map.
    bool magickAgrees = true;
    // ImageMagick's own 1-bit files come only from quantising a coloured
    // picture; their pixels are then what ImageMagick decodes.
    bool exactSource = true;
    // A fourth 8-bit plane is alpha, blended over white; ImageMagick's blend
    // may land one level off ours.
    bool alpha = false;
};

TEST_F(PcxTools, NetpbmAndImageMagickFilesDecodeToTheirPixels)
{
    const ToolCase cases[] = {
        {"ppmtopcx two colours", 13, 5, 2, "ppmtopcx IN", 1, false},
        {"ppmtopcx sixteen colours (planes)", 17, 6, 16, "ppmtopcx IN", 4},
        {"ppmtopcx -planes=4", 9, 4, 3, "ppmtopcx -planes=4 IN", 4},
        {"ppmtopcx four colours (two planes)", 10, 3, 4, "ppmtopcx IN", 4},
        {"ppmtopcx five colours (three planes)", 8, 3, 5, "ppmtopcx IN", 4},
        {"ppmtopcx -packed", 11, 7, 16, "ppmtopcx -packed IN", 4},
        {"ppmtopcx -packed four colours (two bits)", 11, 7, 4, "ppmtopcx -packed IN", 4},
        {"ppmtopcx -8bit", 15, 9, 16, "ppmtopcx -8bit IN", 8},
        {"ppmtopcx 200 colours", 33, 20, 200, "ppmtopcx IN", 8},
        {"ppmtopcx -24bit", 21, 8, 50, "ppmtopcx -24bit IN", 24},
        // Version 4, PC Paintbrush for Windows, is read as version 5 is, but
        // for the 256-colour trailer, which came with version 5.
        {"version 4, sixteen colours", 17, 6, 16, "ppmtopcx IN | perl -0777 -pe 'substr($_, 1, 1) = chr 4'", 4},
        {"ppmtopcx true colour odd width", 37, 11, 1000, "ppmtopcx IN", 24},
        {"magick 1 bit", 19, 7, 2, "convert IN -colors 2 -depth 1 pcx:-", 1, true, false},
        {"magick 8 bits", 25, 9, 200, "convert IN -colors 200 pcx:-", 8},
        {"magick 24 bits", 31, 13, 1000, "convert IN pcx:-", 24},
        {"magick alpha plane", 31, 13, 1000, "convert IN -alpha on -channel A -fx i/w +channel pcx:-", 24, true, false,
         true},
    };
    for (const ToolCase& c : cases) {
        RgbImage source = pattern(c.width, c.height, c.colors);
        if (!c.exactSource && !c.alpha)
        {
            // One red pixel makes ImageMagick write a 1-bit palette file.
            uint8_t* red = source.at(1, 1);
            red[0] = 255;
            red[1] = red[2] = 0;
        }
        std::string in = dir.file("in.ppm");
        std::string out = dir.file("out.pcx");
        writePpm(in, source);
        std::string command = c.command;
        command.replace(command.find("IN"), 2, shellQuote(in));
        ASSERT_EQ(runCommand(command + " > " + shellQuote(out) + " 2>/dev/null"), 0) << c.name;
        ImageBlock block = read(out);
        ASSERT_TRUE(block) << c.name;
        EXPECT_EQ(block.bitCount(), c.expectedDepth) << c.name;
        if (c.exactSource) {
            EXPECT_EQ(maxDifference(blockToRgb(block), source), 0) << c.name;
        }
        auto magick = magickDecode(out, c.alpha);
        ASSERT_TRUE(magick) << c.name;
        if (c.magickAgrees) {
            EXPECT_LE(maxDifference(blockToRgb(block), *magick), c.alpha ? 1 : 0) << c.name;
        } else {
            EXPECT_GT(maxDifference(blockToRgb(block), *magick), 0) << c.name;
        }
    }
}

// A 2-bit file whose map holds a CGA background number and palette flags
// (first and fourth bytes) shows the map's triples, as ImageMagick and netpbm
// show it.
TEST_F(PcxTools, TwoBitCgaStyleMapIsReadAsTriplesAsOtherDecodersDo)
{
    HeaderFields f;
    f.bitsPerPixel = 2;
    f.xMax = 7;
    f.bytesPerLine = 2;
    f.map[0] = 0x10;
    f.map[3] = 0x60;
    const std::string path = dir.file("cga.pcx");
    writeFile(path, concat(pcxHeader(f), {0x1B, 0xC1, 0xE4})); // pixels 0 1 2 3 3 2 1 0
    ImageBlock block = read(path);
    ASSERT_TRUE(block);
    auto magick = magickDecode(path);
    ASSERT_TRUE(magick);
    EXPECT_EQ(maxDifference(blockToRgb(block), *magick), 0);
    ASSERT_TRUE(testing::toolWrotePicture("pcxtoppm " + shellQuote(path) + " > " + shellQuote(dir.file("n.ppm")), dir.file("n.ppm")));
    auto netpbm = magickDecode(dir.file("n.ppm"));
    ASSERT_TRUE(netpbm);
    EXPECT_EQ(maxDifference(blockToRgb(block), *netpbm), 0);
}

TEST_F(PcxTools, VersionThreeDiffersFromImageMagickOnPurpose)
{
    writePpm(dir.file("in.ppm"), pattern(16, 4, 16));
    std::string out = dir.file("out.pcx");
    ASSERT_EQ(runCommand("ppmtopcx -packed " + shellQuote(dir.file("in.ppm")) + " > " + shellQuote(out) + " 2>/dev/null"), 0);
    Bytes file = readFile(out);
    file[1] = 3;
    writeFile(out, file);
    ImageBlock block = read(out);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.colorTable()[4], color(248, 1, 44));
    auto magick = magickDecode(out);
    ASSERT_TRUE(magick);
    EXPECT_GT(maxDifference(blockToRgb(block), *magick), 0);
}

// ---------------------------------------------------------------------------
// Writer

ImageBlock blockFrom(const RgbImage& image, int depth)
{
    // Builds a block of the given depth whose table holds the image's colours.
    std::vector<ColorEntry> table;
    uint32_t colors = depth == 24 ? 0 : 1u << depth;
    ImageBlock block = ImageBlock::create(image.width, image.height, static_cast<uint16_t>(depth), colors);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = block.topRow(y);
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            if (depth == 24) {
                row[x * 3] = p[2];
                row[x * 3 + 1] = p[1];
                row[x * 3 + 2] = p[0];
                continue;
            }
            ColorEntry entry = color(p[0], p[1], p[2]);
            size_t index = std::find(table.begin(), table.end(), entry) - table.begin();
            if (index == table.size())
                table.push_back(entry);
            if (depth == 8)
                row[x] = static_cast<uint8_t>(index);
            else if (depth == 4)
                row[x / 2] = static_cast<uint8_t>(row[x / 2] | (x & 1 ? index : index << 4));
            else
                row[x / 8] = static_cast<uint8_t>(row[x / 8] | (index << (7 - x % 8)));
        }
    }
    for (size_t i = 0; i < table.size() && i < colors; ++i)
        block.colorTable()[i] = table[i];
    return block;
}

TEST_F(PcxTools, WrittenFilesReadBackEverywhere)
{
    const struct {
        int width, height, colors, depth;
    } cases[] = {
        {13, 5, 2, 1}, {8, 3, 2, 1}, {17, 6, 16, 4}, {7, 2, 16, 4}, {33, 20, 200, 8}, {5, 4, 200, 8},
        {21, 8, 1000, 24}, {37, 11, 1000, 24}, {1, 1, 1000, 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " depth " << c.depth);
        RgbImage source = pattern(c.width, c.height, c.colors);
        ImageBlock block = blockFrom(source, c.depth);
        std::string out = dir.file("written.pcx");
        ASSERT_TRUE(writePcx(out, block));

        Bytes file = readFile(out);
        ASSERT_GE(file.size(), 128u);
        EXPECT_EQ(file[1], 5);
        EXPECT_EQ(file[2], 1);
        unsigned bytesPerLine = file[66] | (file[67] << 8);
        EXPECT_EQ(bytesPerLine % 2, 0u);
        EXPECT_EQ(file[65], c.depth == 24 ? 3 : 1);

        ImageBlock back = read(out);
        ASSERT_TRUE(back);
        EXPECT_EQ(back.bitCount(), c.depth);
        EXPECT_EQ(maxDifference(blockToRgb(back), source), 0);
        auto magick = magickDecode(out);
        ASSERT_TRUE(magick);
        EXPECT_EQ(maxDifference(*magick, source), 0) << "ImageMagick";
        std::string netpbm;
        ASSERT_TRUE(testing::toolWrotePicture("pcxtoppm " + shellQuote(out) + " > " + shellQuote(dir.file("back.ppm")), dir.file("back.ppm")));
        auto fromNetpbm = magickDecode(dir.file("back.ppm"));
        ASSERT_TRUE(fromNetpbm);
        EXPECT_EQ(maxDifference(*fromNetpbm, source), 0) << "pcxtoppm";
    }
}

TEST(PcxWriter, OddTwentyFourBitWidthPadsEachPlaneWithZero)
{
    ImageBlock block = ImageBlock::create(3, 1, 24, 0);
    uint8_t* row = block.topRow(0);
    const uint8_t bgr[9] = {0x01, 0x02, 0x03, 0x11, 0x12, 0x13, 0x21, 0x22, 0x23};
    std::copy(bgr, bgr + 9, row);
    ScratchDir dir;
    ASSERT_TRUE(writePcx(dir.file("x.pcx"), block));
    Bytes file = readFile(dir.file("x.pcx"));
    EXPECT_EQ(file[66], 4);
    // Red plane, green plane, blue plane, each with a zero pad byte.
    EXPECT_EQ(Bytes(file.begin() + 128, file.end()), (Bytes{0x03, 0x13, 0x23, 0x00, 0x02, 0x12, 0x22, 0x00, 0x01, 0x11, 0x21, 0x00}));
}

TEST(PcxWriter, RunLengthEdgeCasesInTheFile)
{
    ImageBlock block = ImageBlock::create(101, 1, 8, 256);
    uint8_t* row = block.topRow(0);
    std::fill(row, row + 100, uint8_t(0x05));
    row[100] = 0xC0;
    ScratchDir dir;
    ASSERT_TRUE(writePcx(dir.file("x.pcx"), block));
    Bytes file = readFile(dir.file("x.pcx"));
    // 101 bytes, bytes per line 102: a run of 63, one of 37, C1 C0, the zero pad.
    ASSERT_EQ(file.size(), 128u + 7 + 769);
    EXPECT_EQ(Bytes(file.begin() + 128, file.begin() + 135), (Bytes{0xFF, 0x05, 0xE5, 0x05, 0xC1, 0xC0, 0x00}));
    EXPECT_EQ(file[135], 12);
}

TEST(PcxWriter, SixteenColourHeaderMapKeepsColours)
{
    RgbImage source = pattern(6, 3, 16);
    ImageBlock block = blockFrom(source, 4);
    ScratchDir dir;
    ASSERT_TRUE(writePcx(dir.file("x.pcx"), block));
    Bytes file = readFile(dir.file("x.pcx"));
    EXPECT_EQ(file[3], 4);
    EXPECT_EQ(file[16], block.colorTable()[0].red);
    EXPECT_EQ(file[16 + 3 * 5 + 2], block.colorTable()[5].blue);
    Result<DecodedImage> back = readPcx(dir.file("x.pcx"));
    ASSERT_TRUE(back);
    EXPECT_EQ(maxDifference(blockToRgb(back->block), source), 0);
}

TEST(PcxWriter, RefusesDepthsItCannotWrite)
{
    ScratchDir dir;
    for (uint16_t depth : {uint16_t(16), uint16_t(32), uint16_t(48)}) {
        ImageBlock block = ImageBlock::create(4, 4, depth, 0);
        EXPECT_FALSE(writePcx(dir.file("x.pcx"), block)) << depth;
    }
    EXPECT_FALSE(writePcx(dir.file("x.pcx"), ImageBlock()));
    EXPECT_FALSE(writePcx("/nonexistent/dir/x.pcx", ImageBlock::create(4, 4, 8, 256)));
}

TEST(PcxRegistry, ReaderAndWriterAreRegistered)
{
    auto& registry = CodecRegistry::instance();
    ASSERT_NE(registry.reader(ImageFormat::Pcx), nullptr);
    ASSERT_NE(registry.writer(ImageFormat::Pcx), nullptr);
    ScratchDir dir;
    ImageBlock block = blockFrom(pattern(5, 5, 16), 4);
    ASSERT_TRUE(registry.writer(ImageFormat::Pcx)(dir.file("r.pcx"), block, WriteOptions{}));
    ReadRequest request;
    request.path = dir.file("r.pcx");
    Result<DecodedImage> back = registry.reader(ImageFormat::Pcx)(request);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->compression, "Run Length Encoding");
    EXPECT_EQ(maxDifference(blockToRgb(back->block), blockToRgb(block)), 0);
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

TEST(PcxConverter, ConvertsToPcx)
{
    const std::string converter = std::string(PICTORAND_BINARY_DIR) + "/tools/convert/pictorand32-convert";
    ASSERT_TRUE(testing::fileExists(converter)) << "the tests are built with the converter";
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    RgbImage source = pattern(23, 7, 1000);
    writePpm(dir.file("picture.ppm"), source);
    ASSERT_EQ(runCommand(shellQuote(converter) + " -t pcx -o " + shellQuote(dir.path()) + " " + shellQuote(dir.file("picture.ppm"))
                         + " >/dev/null 2>&1"),
              0);
    // The converter names its output with the extension in capitals.
    std::string output = testing::fileExists(dir.file("picture.PCX")) ? dir.file("picture.PCX") : dir.file("picture.pcx");
    auto magick = magickDecode(output);
    ASSERT_TRUE(magick);
    EXPECT_EQ(maxDifference(*magick, source), 0);
}

} // namespace
} // namespace pictorand
