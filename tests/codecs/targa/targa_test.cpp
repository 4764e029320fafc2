#include "codecs/targa/targa.h"
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
using testing::RgbImage;
using testing::runCommand;
using testing::ScratchDir;
using testing::shellQuote;
using testing::writePpm;
using testing::Bytes;
using testing::Decoded;
using testing::topRowBytes;

struct Header {
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint8_t type = 2;
    uint16_t firstEntry = 0;
    uint16_t mapLength = 0;
    uint8_t entrySize = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t depth = 24;
    uint8_t descriptor = 0;
};

Bytes tga(const Header& h, const Bytes& rest)
{
    Bytes file = {h.idLength, h.mapType, h.type,
                  static_cast<uint8_t>(h.firstEntry), static_cast<uint8_t>(h.firstEntry >> 8),
                  static_cast<uint8_t>(h.mapLength), static_cast<uint8_t>(h.mapLength >> 8), h.entrySize,
                  0, 0, 0, 0,
                  static_cast<uint8_t>(h.width), static_cast<uint8_t>(h.width >> 8),
                  static_cast<uint8_t>(h.height), static_cast<uint8_t>(h.height >> 8), h.depth, h.descriptor};
    for (uint8_t byte : rest)
        file.push_back(byte);
    return file;
}

Decoded decode(const Bytes& file) { return testing::decodeWith(decodeTarga, file); }

// Five-bit samples widen to 0-255 by rounding, so white is white; without
// attribute bits in the descriptor the top bit is not alpha.
TEST(TargaReader, SixteenBitsWidenByRoundingAndIgnoreBit15)
{
    Header h;
    h.width = 3;
    h.depth = 16;
    // 0x7FFF white, 0x8000 black, 0x7C00 pure red (5 bits).
    Decoded d = decode(tga(h, {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x7C}));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.compression, "None");
    EXPECT_EQ(d.block.bitCount(), 24);
    EXPECT_EQ(d.block.colorsUsed(), 0u);
    EXPECT_EQ(topRowBytes(d.block, 0, 9), (Bytes{255, 255, 255, 0, 0, 0, 0, 0, 255}));
}

TEST(TargaReader, FifteenBitsAsSixteen)
{
    Header h;
    h.depth = 15;
    Decoded d = decode(tga(h, {0x1F, 0x03})); // blue 31, green 24
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 3), (Bytes{255, 197, 0}));
}

// Maps of every entry size, indexed with 8 or 16 bits; 32-bit entries carry
// alpha, blended over white.
TEST(TargaReader, MapsOfEveryEntrySize)
{
    const struct {
        const char* name;
        uint8_t entrySize, depth;
        Bytes map, pixels, rgb;
    } cases[] = {
        {"fifteen_bits", 15, 8, {0x00, 0x7C, 0xE0, 0x03}, {1, 0}, {0, 255, 0, 255, 0, 0}},
        {"sixteen_bits", 16, 8, {0x1F, 0x00, 0xFF, 0xFF}, {0, 1}, {0, 0, 255, 255, 255, 255}},
        {"thirty_two_bits", 32, 8, {0, 0, 0, 0x00, 0, 0, 0, 0xFF}, {0, 1}, {255, 255, 255, 0, 0, 0}},
        {"sixteen_bit_indexes", 24, 16, {0, 0, 255, 0, 255, 0}, {1, 0, 0, 0}, {0, 255, 0, 255, 0, 0}},
    };
    for (const auto& c : cases) {
        Header h;
        h.type = 1;
        h.mapType = 1;
        h.mapLength = 2;
        h.entrySize = c.entrySize;
        h.depth = c.depth;
        h.width = 2;
        Bytes rest = c.map;
        rest.insert(rest.end(), c.pixels.begin(), c.pixels.end());
        Decoded d = decode(tga(h, rest));
        ASSERT_TRUE(d.block) << c.name << ": " << d.message;
        RgbImage rgb = blockToRgb(d.block);
        EXPECT_EQ(Bytes(rgb.at(0, 0), rgb.at(0, 0) + 6), c.rgb) << c.name;
    }
}

// The fourth byte is alpha even when the descriptor counts no attribute
// bits; all zero means opaque.
TEST(TargaReader, ThirtyTwoBitsBlendByTheirFourthByte)
{
    Header h;
    h.width = 2;
    h.depth = 32;
    Decoded d = decode(tga(h, {100, 2, 3, 0x80, 4, 5, 6, 0x00}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 6), (Bytes{177, 128, 129, 255, 255, 255}));
    d = decode(tga(h, {1, 2, 3, 0, 4, 5, 6, 0}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 6), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(TargaReader, RunPacketSpansRowsAsOneRun)
{
    Header h;
    h.type = 10;
    h.width = 2;
    h.height = 2;
    h.descriptor = 0x20; // top row first
    // A run of 3 pixels, then one raw pixel.
    Decoded d = decode(tga(h, {0x82, 9, 8, 7, 0x00, 1, 2, 3}));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.compression, "Run Length Encoding");
    EXPECT_EQ(topRowBytes(d.block, 0, 6), (Bytes{9, 8, 7, 9, 8, 7}));
    EXPECT_EQ(topRowBytes(d.block, 1, 6), (Bytes{9, 8, 7, 1, 2, 3}));
}

TEST(TargaReader, RunPacketsPastTheLastRowAreDropped)
{
    Header h;
    h.type = 11;
    h.depth = 8;
    h.width = 2;
    Decoded d = decode(tga(h, {0xFF, 0x42, 0xFF, 0x43}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 2), (Bytes{0x42, 0x42}));
}

TEST(TargaReader, MissingPixelBytesReadAsFF)
{
    Header h;
    h.type = 10;
    h.width = 2;
    Decoded d = decode(tga(h, {0x81, 0x10}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 6), (Bytes{0x10, 0xFF, 0xFF, 0x10, 0xFF, 0xFF}));
}

TEST(TargaReader, SixteenBitRunLength)
{
    Header h;
    h.type = 10;
    h.depth = 16;
    h.width = 3;
    Decoded d = decode(tga(h, {0x81, 0xFF, 0x7F, 0x00, 0x00, 0x80}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 9), (Bytes{255, 255, 255, 255, 255, 255, 0, 0, 0}));
}

// Descriptor bits 5 and 4 put the first pixel in one of the four corners;
// each order of the same picture loads upright: top row 1 2 3, then 4 5 6.
TEST(TargaReader, EveryCornerOfOriginLoadsTheSamePicture)
{
    const struct {
        const char* name;
        uint8_t descriptor;
        Bytes stored;
    } cases[] = {
        {"bottom_left", 0x00, {4, 5, 6, 1, 2, 3}},
        {"bottom_right", 0x10, {6, 5, 4, 3, 2, 1}},
        {"top_left", 0x20, {1, 2, 3, 4, 5, 6}},
        {"top_right", 0x30, {3, 2, 1, 6, 5, 4}},
    };
    for (const auto& c : cases) {
        Header h;
        h.type = 3;
        h.depth = 8;
        h.width = 3;
        h.height = 2;
        h.descriptor = c.descriptor;
        Decoded d = decode(tga(h, c.stored));
        ASSERT_TRUE(d.block) << c.name;
        EXPECT_EQ(topRowBytes(d.block, 0, 3), (Bytes{1, 2, 3})) << c.name;
        EXPECT_EQ(topRowBytes(d.block, 1, 3), (Bytes{4, 5, 6})) << c.name;
    }
    // Right to left turns whole pixels round, not bytes.
    Header h;
    h.width = 2;
    h.descriptor = 0x30;
    Decoded d = decode(tga(h, {4, 5, 6, 1, 2, 3}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 6), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(TargaReader, ColourMappedFileUsesItsMap)
{
    Header h;
    h.type = 1;
    h.mapType = 1;
    h.depth = 8;
    h.entrySize = 24;
    h.firstEntry = 2;
    h.mapLength = 2;
    h.width = 2;
    h.idLength = 3;
    Bytes rest = {'a', 'b', 'c', 10, 20, 30, 40, 50, 60, 2, 3};
    Decoded d = decode(tga(h, rest));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.block.bitCount(), 8);
    EXPECT_EQ(d.block.colorsUsed(), 256u);
    EXPECT_EQ(d.block.colorTable()[2], (ColorEntry{10, 20, 30, 0}));
    EXPECT_EQ(d.block.colorTable()[3], (ColorEntry{40, 50, 60, 0}));
    EXPECT_EQ(d.block.colorTable()[0], ColorEntry{});
    EXPECT_EQ(topRowBytes(d.block, 0, 2), (Bytes{2, 3}));
}

TEST(TargaReader, MapBeyondEntry255KeepsWhatFits)
{
    Header h;
    h.type = 1;
    h.mapType = 1;
    h.depth = 8;
    h.entrySize = 24;
    h.firstEntry = 254;
    h.mapLength = 4;
    Bytes rest = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 0xFF};
    Decoded d = decode(tga(h, rest));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.colorTable()[254], (ColorEntry{1, 1, 1, 0}));
    EXPECT_EQ(d.block.colorTable()[255], (ColorEntry{2, 2, 2, 0}));
    EXPECT_EQ(d.block.topRow(0)[0], 0xFF); // the pixels still start after the whole map
}

TEST(TargaReader, TrueColourFileSkipsItsMap)
{
    Header h;
    h.mapType = 1;
    h.mapLength = 3;
    h.entrySize = 15; // counted as 16 bits: 6 bytes
    Decoded d = decode(tga(h, {9, 9, 9, 9, 9, 9, 1, 2, 3}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 3), (Bytes{1, 2, 3}));
}

TEST(TargaReader, GreyscaleAlwaysGetsTheRamp)
{
    Header h;
    h.type = 3;
    h.depth = 8;
    h.mapType = 1;
    h.entrySize = 24;
    h.mapLength = 1;
    Decoded d = decode(tga(h, {50, 60, 70, 7}));
    ASSERT_TRUE(d.block);
    for (uint32_t i = 0; i < 256; ++i) {
        auto v = static_cast<uint8_t>(i);
        ASSERT_EQ(d.block.colorTable()[i], (ColorEntry{v, v, v, 0})) << i;
    }
    EXPECT_EQ(d.block.topRow(0)[0], 7);
}

struct Bad {
    const char* name;
    Bytes file;
    const char* message;
};

TEST(TargaReader, MalformedFilesFailWithTheirMessage)
{
    auto with = [](auto change) {
        Header h;
        change(h);
        return tga(h, Bytes(64, 0));
    };
    const Bad cases[] = {
        // header stage
        {"short_header", Bytes(17, 0), "Not a valid TARGA file, can't read header"},
        {"zero_width", with([](Header& h) { h.width = 0; }), "Not a valid TARGA file, can't read header"},
        {"zero_height", with([](Header& h) { h.height = 0; }), "Not a valid TARGA file, can't read header"},
        {"type_0", with([](Header& h) { h.type = 0; }), "Not a valid TARGA file, can't read header"},
        {"type_32", with([](Header& h) { h.type = 32; }), "Not a valid TARGA file, can't read header"},
        {"true_colour_8_bits", with([](Header& h) { h.depth = 8; }), "Not a valid TARGA file, can't read header"},
        {"grey_24_bits", with([](Header& h) { h.type = 3; h.depth = 24; }), "Not a valid TARGA file, can't read header"},
        {"mapped_12_bit_map", with([](Header& h) { h.type = 1; h.depth = 8; h.mapType = 1; h.mapLength = 2; h.entrySize = 12; }),
         "Not a valid TARGA file, can't read header"},
        {"mapped_32_bit_pixels", with([](Header& h) { h.type = 9; h.depth = 32; h.mapType = 1; h.mapLength = 2; h.entrySize = 24; }),
         "Not a valid TARGA file, can't read header"},
        {"mapped_without_map", with([](Header& h) { h.type = 1; h.depth = 8; h.mapType = 1; h.entrySize = 24; }),
         "Not a valid TARGA file, can't read header"},
        // allocation stage
        {"too_big", with([](Header& h) { h.width = 0xFFFF; h.height = 0xFFFF; h.depth = 32; }), "Can't allocate memory"},
        // data stage
        {"uncompressed_short", tga({.width = 3, .height = 2}, Bytes(17, 0)), "Can't read data !"},
        {"map_skips_past_the_end", tga({.mapType = 1, .mapLength = 100, .entrySize = 32}, Bytes(3, 0)), "Can't read data !"},
        {"run_length_header_missing", tga({.type = 10, .width = 2}, {0x80, 1, 2, 3}), "Can't read data !"},
        {"run_length_no_data", tga({.type = 11, .depth = 8}, Bytes()), "Can't read data !"},
    };
    for (const Bad& bad : cases) {
        Decoded d = decode(bad.file);
        EXPECT_FALSE(d.block) << bad.name;
        EXPECT_EQ(d.message, bad.message) << bad.name;
    }
}

TEST(TargaReader, MissingFile)
{
    Result<DecodedImage> read = readTarga("/nonexistent/x.tga");
    EXPECT_FALSE(read);
    EXPECT_EQ(read.failure().detail, "Can't open file: /nonexistent/x.tga");
}

// ---------------------------------------------------------------------------
// Files of independent writers

RgbImage pattern(int width, int height, int colors, bool grey)
{
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.at(x, y);
            // Long horizontal runs so that run-length writers make runs, some
            // across row ends.
            int i = ((x / 5) * 3 + y * 7) % colors;
            p[0] = static_cast<uint8_t>(i * 37);
            p[1] = grey ? p[0] : static_cast<uint8_t>(255 - i * 11);
            p[2] = grey ? p[0] : static_cast<uint8_t>(i * 91 + y);
        }
    return image;
}

class TargaTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("pamtotga", "tgatoppm", "convert");
    }
    ImageBlock make(const RgbImage& source, const std::string& command, int expectedType)
    {
        std::string in = dir.file("in.ppm");
        writePpm(in, source);
        std::string full = command;
        full.replace(full.find("IN"), 2, shellQuote(in));
        EXPECT_EQ(runCommand(full + " > " + shellQuote(out()) + " 2>/dev/null"), 0) << command;
        auto file = testing::readFile(out());
        EXPECT_GE(file.size(), 18u);
        if (file.size() >= 18) {
            EXPECT_EQ(file[2], expectedType) << command;
        }
        Decoded d = testing::decodedFrom(readTarga(out()));
        EXPECT_TRUE(d.block) << command << ": " << d.message;
        EXPECT_EQ(d.compression, expectedType >= 9 ? "Run Length Encoding" : "None") << command;
        return std::move(d.block);
    }
    std::string out() const { return dir.file("out.tga"); }
    ScratchDir dir;
};

TEST_F(TargaTools, PamtotgaFilesDecodeToTheirPixels)
{
    const struct {
        const char* command;
        bool grey;
        int colors;
        int type;
    } cases[] = {
        {"pamtotga -cmap IN", false, 40, 9},
        {"pamtotga -cmap -norle IN", false, 40, 1},
        {"ppmtopgm IN | pamtotga -mono", true, 40, 11},
        {"ppmtopgm IN | pamtotga -mono -norle", true, 40, 3},
        {"pamtotga -rgb IN", false, 40, 10},
        {"pamtotga -rgb -norle IN", false, 40, 2},
    };
    for (const auto& c : cases) {
        RgbImage source = pattern(23, 9, c.colors, c.grey);
        ImageBlock block = make(source, c.command, c.type);
        ASSERT_TRUE(block) << c.command;
        EXPECT_EQ(block.bitCount(), c.type == 2 || c.type == 10 ? 24 : 8) << c.command;
        EXPECT_EQ(maxDifference(blockToRgb(block), source), 0) << c.command;
        ASSERT_TRUE(testing::toolWrotePicture("tgatoppm " + shellQuote(out()) + " > " + shellQuote(dir.file("n.ppm")), dir.file("n.ppm")));
        auto netpbm = magickDecode(dir.file("n.ppm"));
        ASSERT_TRUE(netpbm);
        EXPECT_EQ(maxDifference(blockToRgb(block), *netpbm), 0) << c.command;
    }
}

// netpbm writes 15-bit maps (no other tool here reads them right).
TEST_F(TargaTools, PamtotgaFifteenBitMapDecodesAsNetpbmDoes)
{
    writePpm(dir.file("in.ppm"), pattern(23, 9, 40, false));
    ASSERT_EQ(runCommand("pamtotga -cmap16 " + shellQuote(dir.file("in.ppm")) + " > " + shellQuote(out()) + " 2>/dev/null"), 0);
    Decoded d = testing::decodedFrom(readTarga(out()));
    ASSERT_TRUE(d.block) << d.message;
    ASSERT_TRUE(testing::toolWrotePicture("tgatoppm " + shellQuote(out()) + " > " + shellQuote(dir.file("n.ppm")), dir.file("n.ppm")));
    auto netpbm = magickDecode(dir.file("n.ppm"));
    ASSERT_TRUE(netpbm);
    EXPECT_LE(maxDifference(blockToRgb(d.block), *netpbm), 1); // netpbm truncates, we round
}

// Grey and colour with alpha, as Pillow writes them (and with the
// descriptor's attribute-bit count cleared, as some writers leave it),
// blended over white as Pillow blends.
TEST_F(TargaTools, PillowFilesWithAlphaAreBlendedOverWhite)
{
    REQUIRE_PILLOW();
    for (const char* mode : {"LA", "RGBA"})
        for (const char* compression : {"None", "'tga_rle'"})
            for (bool countCleared : {false, true}) {
                const std::string script =
                    std::string("from PIL import Image\n"
                                "im = Image.new('") + mode + "', (13, 5))\n"
                    "im.putdata([tuple(((x * 19 + c * 50) % 256) for c in range(len(im.mode) - 1)) + ((x * 41 + y * 7) % 256,)"
                    " for y in range(5) for x in range(13)])\n"
                    "im.save('" + out() + "', compression=" + compression + ")\n"
                    "if " + (countCleared ? "True" : "False") + ":\n"
                    "    f = open('" + out() + "', 'r+b'); f.seek(17); d = f.read(1)[0]; f.seek(17); f.write(bytes([d & 0xF0])); f.close()\n"
                    "bg = Image.new('RGBA', im.size, (255, 255, 255, 255))\n"
                    "Image.alpha_composite(bg, Image.open('" + out() + "').convert('RGBA')).convert('RGB').save('" + dir.file("ref.ppm") + "')\n";
                testing::writeFile(dir.file("make.py"), Bytes(script.begin(), script.end()));
                ASSERT_EQ(runCommand("/usr/bin/python3 " + shellQuote(dir.file("make.py"))), 0);
                Decoded d = testing::decodedFrom(readTarga(out()));
                ASSERT_TRUE(d.block) << d.message;
                EXPECT_EQ(d.block.bitCount(), std::string(mode) == "LA" ? 8 : 24);
                auto pillow = magickDecode(dir.file("ref.ppm"));
                ASSERT_TRUE(pillow);
                EXPECT_EQ(maxDifference(blockToRgb(d.block), *pillow), 0) << mode << " " << compression << " " << countCleared;
            }
}

TEST_F(TargaTools, ImageMagickFilesDecodeAsImageMagickDecodesThem)
{
    // Alpha blends and five-bit samples may land one level off ImageMagick's.
    const struct {
        const char* command;
        int type;
        bool approximate;
    } cases[] = {
        {"convert IN -orient TopLeft tga:-", 2, false},
        {"convert IN -orient TopLeft -compress RLE tga:-", 10, false},
        {"convert IN -orient TopLeft -alpha on -channel A -evaluate set 40% +channel tga:-", 2, true},
        {"convert IN -orient TopLeft -alpha on -channel A -evaluate set 40% +channel -compress RLE tga:-", 10, true},
        {"convert IN -orient TopLeft -depth 5 tga:-", 2, true},
        {"convert IN -orient TopLeft -depth 5 -compress RLE tga:-", 10, true},
        // 16 bits with one attribute bit: the top bit is alpha.
        {"convert IN -orient TopLeft -alpha on -channel A -fx 'i%3>0' +channel -depth 5 tga:-", 2, true},
    };
    for (const auto& c : cases) {
        RgbImage source = pattern(29, 11, 200, false);
        ImageBlock block = make(source, c.command, c.type);
        ASSERT_TRUE(block) << c.command;
        auto magick = magickDecode(out(), /*overWhite=*/true);
        ASSERT_TRUE(magick) << c.command;
        EXPECT_LE(maxDifference(blockToRgb(block), *magick), c.approximate ? 1 : 0) << c.command;
        if (!c.approximate) {
            EXPECT_EQ(maxDifference(blockToRgb(block), source), 0) << c.command;
        }
    }
}

TEST(TargaRegistry, ReaderIsRegistered)
{
    ReaderFunction reader = CodecRegistry::instance().reader(ImageFormat::Targa);
    ASSERT_NE(reader, nullptr);
    ScratchDir dir;
    Header h;
    testing::writeFile(dir.file("x.tga"), tga(h, {1, 2, 3}));
    ReadRequest request;
    request.path = dir.file("x.tga");
    Result<DecodedImage> read = reader(request);
    ASSERT_TRUE(read) << read.text();
    EXPECT_TRUE(read->block);
    EXPECT_EQ(read->compression, "None");
}

} // namespace
} // namespace pictorand
