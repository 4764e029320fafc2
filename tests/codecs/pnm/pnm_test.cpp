#include "codecs/pnm/pnm.h"
#include "core/codec_registry.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string_view>
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

Bytes bytesOf(std::string_view text, const Bytes& pixels = {})
{
    Bytes file(text.begin(), text.end());
    for (uint8_t byte : pixels)
        file.push_back(byte);
    return file;
}

Decoded decode(PortableKind kind, const Bytes& file) { return testing::decodedFrom(decodePortable(kind, file)); }

TEST(PortableReader, CommentLineBetweenMagicAndWidth)
{
    static constexpr char header[] = "P5\n# made by hand\n3 2\n255\n";
    static_assert(sizeof(header) - 1 == 26);
    Decoded d = decode(PortableKind::Greymap, bytesOf(header, {1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.block.width(), 3);
    EXPECT_EQ(d.block.height(), 2);
    EXPECT_EQ(d.block.bitCount(), 8);
    EXPECT_EQ(d.block.colorsUsed(), 256u);
    EXPECT_EQ(d.block.colorTable()[200], (ColorEntry{200, 200, 200, 0}));
    EXPECT_EQ(topRowBytes(d.block, 0, 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(topRowBytes(d.block, 1, 3), (Bytes{4, 5, 6}));
}

TEST(PortableReader, CommentInsideANumberDoesNotEndIt)
{
    Decoded d = decode(PortableKind::Greymap, bytesOf("P5 1#x\n2 1 255\n", Bytes(12, 9)));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.block.width(), 12);
    EXPECT_EQ(d.block.height(), 1);
}

TEST(PortableReader, TheByteAfterTheLastNumberIsConsumed)
{
    // A single space after the maximum; the pixel data begins with a byte
    // that looks like whitespace (10, a line feed).
    Decoded d = decode(PortableKind::Greymap, bytesOf("P5 2 1 255 ", {10, 32}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(topRowBytes(d.block, 0, 2), (Bytes{10, 32}));
}

TEST(PortableReader, AllWhitespaceKindsSeparateNumbers)
{
    Decoded d = decode(PortableKind::Pixmap, bytesOf("P6\t\v\f\r\n2 \r\n1\n255\n", {1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.block.width(), 2);
}

TEST(PortableReader, PixmapIsStoredBlueGreenRed)
{
    Decoded d = decode(PortableKind::Pixmap, bytesOf("P6 2 1 255\n", {255, 0, 0, 1, 2, 3}));
    ASSERT_TRUE(d.block);
    EXPECT_EQ(d.block.bitCount(), 24);
    EXPECT_EQ(d.block.colorsUsed(), 0u);
    EXPECT_EQ(topRowBytes(d.block, 0, 6), (Bytes{0, 0, 255, 3, 2, 1}));
}

TEST(PortableReader, BitmapRowsAreWholeBytesAndOneIsBlack)
{
    // 10 pixels: 2 bytes per file row; the last 6 bits of each row are ignored.
    Decoded d = decode(PortableKind::Bitmap, bytesOf("P4 10 2\n", {0x80, 0x7F, 0xFF, 0xC0}));
    ASSERT_TRUE(d.block) << d.message;
    EXPECT_EQ(d.block.bitCount(), 1);
    EXPECT_EQ(d.block.colorTable()[0], (ColorEntry{255, 255, 255, 0}));
    EXPECT_EQ(d.block.colorTable()[1], (ColorEntry{0, 0, 0, 0}));
    EXPECT_EQ(topRowBytes(d.block, 0, 2), (Bytes{0x80, 0x40}));
    EXPECT_EQ(topRowBytes(d.block, 1, 2), (Bytes{0xFF, 0xC0}));
    RgbImage rgb = blockToRgb(d.block);
    EXPECT_EQ(rgb.at(0, 0)[0], 0);
    EXPECT_EQ(rgb.at(1, 0)[0], 255);
}

TEST(PortableReader, ShortDataStaysZero)
{
    Decoded grey = decode(PortableKind::Greymap, bytesOf("P5 2 2 255\n", {7}));
    ASSERT_TRUE(grey.block);
    EXPECT_EQ(topRowBytes(grey.block, 0, 2), (Bytes{7, 0}));
    EXPECT_EQ(topRowBytes(grey.block, 1, 2), (Bytes{0, 0}));
    Decoded bitmap = decode(PortableKind::Bitmap, bytesOf("P4 8 1\n"));
    ASSERT_TRUE(bitmap.block);
    EXPECT_EQ(blockToRgb(bitmap.block).at(0, 0)[0], 255); // white
}

struct Bad {
    const char* name;
    PortableKind kind;
    std::string_view text;
};

TEST(PortableReader, BadHeadersAreRefused)
{
    const Bad cases[] = {
        // magic
        {"empty", PortableKind::Pixmap, ""},
        {"plain_pixmap_p3", PortableKind::Pixmap, "P3 1 1 255\n0 0 0\n"},
        {"plain_greymap_p2", PortableKind::Greymap, "P2 1 1 255\n0\n"},
        {"plain_bitmap_p1", PortableKind::Bitmap, "P1 1 1\n0\n"},
        {"greymap_as_pixmap", PortableKind::Pixmap, "P5 1 1 255\n\x01"},
        {"lowercase_p", PortableKind::Pixmap, "p6 1 1 255\n\x01\x02\x03"},
        // numbers
        {"zero_width", PortableKind::Greymap, "P5 0 1 255\n\x01"},
        {"zero_height", PortableKind::Bitmap, "P4 1 0\n\x01"},
        {"maximum_0", PortableKind::Greymap, "P5 1 1 0\n\x01"},
        {"maximum_65536", PortableKind::Greymap, "P5 1 1 65536\n\x01\x01"},
        {"width_not_a_number", PortableKind::Greymap, "P5 x 1 255\n\x01"},
        {"negative_width", PortableKind::Greymap, "P5 -1 1 255\n\x01"},
        {"width_beyond_int32", PortableKind::Greymap, "P5 99999999999999999999 1 255\n"},
        // cut off
        {"cut_after_magic", PortableKind::Greymap, "P5"},
        {"cut_inside_maximum", PortableKind::Greymap, "P5 1 1 25"},
        {"cut_after_height_of_bitmap", PortableKind::Bitmap, "P4 8 1"},
        {"comment_without_line_feed", PortableKind::Greymap, "P5 1 1 # no end"},
        {"comment_after_maximum_digits", PortableKind::Greymap, "P5 1 1 255#"},
    };
    for (const Bad& bad : cases) {
        Decoded d = decode(bad.kind, bytesOf(bad.text));
        EXPECT_FALSE(d.block) << bad.name;
        const char* expected = bad.kind == PortableKind::Bitmap  ? "Not a valid PBM file, can't read header"
                               : bad.kind == PortableKind::Greymap ? "Not a valid PGM file, can't read header"
                                                                   : "Not a valid PPM file, can't read header";
        EXPECT_EQ(d.message, expected) << bad.name;
    }
}

TEST(PortableReader, HugePictureCannotBeAllocated)
{
    Decoded d = decode(PortableKind::Pixmap, bytesOf("P6 100000 100000 255\n"));
    EXPECT_FALSE(d.block);
    EXPECT_EQ(d.message, "Can't allocate memory");
}

// Under 1/64 of the samples the header declares: a lie, not a truncation.
TEST(PortableReader, RefusesAHeaderDeclaringFarMoreThanTheFileHolds)
{
    Decoded d = decode(PortableKind::Pixmap, bytesOf("P6 4000 4000 255\n", Bytes(749999, 1)));
    EXPECT_FALSE(d.block);
    EXPECT_EQ(d.message, "Not a valid PPM file");
    EXPECT_TRUE(decode(PortableKind::Pixmap, bytesOf("P6 4000 4000 255\n", Bytes(750000, 1))).block);
}

TEST(PortableReader, MissingFile)
{
    Result<DecodedImage> read = readPortable(PortableKind::Greymap, "/nonexistent/x.pgm");
    EXPECT_FALSE(read);
    EXPECT_EQ(read.failure().detail, "Can't open file: /nonexistent/x.pgm");
}

// ---------------------------------------------------------------------------
// Files of independent writers

RgbImage pattern(int width, int height)
{
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.at(x, y);
            p[0] = static_cast<uint8_t>(x * 11 + y * 3);
            p[1] = static_cast<uint8_t>(y * 29);
            p[2] = static_cast<uint8_t>((x * y) ^ 0x5A);
        }
    return image;
}

TEST(PortableTools, NetpbmAndImageMagickFiles)
{
    REQUIRE_TOOLS("convert", "ppmtopgm", "pgmtopbm");
    ScratchDir dir;
    const struct {
        const char* command;
        PortableKind kind;
    } cases[] = {
        {"cat IN", PortableKind::Pixmap},
        {"convert IN ppm:-", PortableKind::Pixmap},
        {"ppmtopgm IN", PortableKind::Greymap},
        {"convert IN -colorspace gray pgm:-", PortableKind::Greymap},
        {"ppmtopgm IN | pgmtopbm", PortableKind::Bitmap},
        {"convert IN -monochrome pbm:-", PortableKind::Bitmap},
        {"ppmtopgm IN | pgmtopbm | pnmtopnm -plain", PortableKind::Bitmap}, // P1: refused
        // Maxima other than 255, one and two bytes a sample.
        {"pnmdepth 15 IN", PortableKind::Pixmap},
        {"ppmtopgm IN | pnmdepth 3", PortableKind::Greymap},
        {"pnmdepth 1000 IN", PortableKind::Pixmap},
        {"convert IN -depth 16 ppm:-", PortableKind::Pixmap},
        {"convert IN -colorspace gray -depth 16 pgm:-", PortableKind::Greymap},
    };
    for (int width : {1, 9, 31, 64}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.command << " width " << width);
            writePpm(dir.file("in.ppm"), pattern(width, 7));
            std::string command = c.command;
            command.replace(command.find("IN"), 2, shellQuote(dir.file("in.ppm")));
            std::string out = dir.file("out.pnm");
            ASSERT_EQ(runCommand(command + " > " + shellQuote(out) + " 2>/dev/null"), 0);
            Decoded d = testing::decodedFrom(readPortable(c.kind, out));
            ImageBlock& block = d.block;
            if (std::string_view(c.command).find("-plain") != std::string_view::npos) {
                EXPECT_FALSE(block);
                EXPECT_EQ(d.message, "Not a valid PBM file, can't read header");
                continue;
            }
            ASSERT_TRUE(block) << d.message;
            // netpbm rescales to 255 by rounding, as we do; ImageMagick
            // goes through 16 bits and may land one level off.
            ASSERT_EQ(runCommand("pamdepth 255 " + shellQuote(out) + " > " + shellQuote(dir.file("ref.pnm"))), 0);
            auto netpbm = magickDecode(dir.file("ref.pnm"));
            auto magick = magickDecode(out);
            ASSERT_TRUE(magick && netpbm);
            EXPECT_EQ(maxDifference(blockToRgb(block), *netpbm), 0);
            EXPECT_LE(maxDifference(blockToRgb(block), *magick), 1);
        }
    }
}

TEST(PortableRegistry, ReadersAreRegisteredAndWriteNoCompressionText)
{
    ScratchDir dir;
    const struct {
        ImageFormat format;
        std::string_view text;
    } cases[] = {
        {ImageFormat::Pbm, "P4 1 1\n\x80"},
        {ImageFormat::Pgm, "P5 1 1 255\n\x01"},
        {ImageFormat::Ppm, "P6 1 1 255\n\x01\x02\x03"},
    };
    for (const auto& c : cases) {
        ReaderFunction reader = CodecRegistry::instance().reader(c.format);
        ASSERT_NE(reader, nullptr);
        testing::writeFile(dir.file("x"), bytesOf(c.text));
        ReadRequest request;
        request.path = dir.file("x");
        Result<DecodedImage> read = reader(request);
        ASSERT_TRUE(read) << read.text();
        EXPECT_TRUE(read->block);
        EXPECT_EQ(read->compression, "") << "the format's text is the dispatcher's";
    }
}

} // namespace
} // namespace pictorand
