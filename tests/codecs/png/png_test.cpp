#include "codecs/png/png.h"
#include "core/byte_order.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>
#include <png.h>
#include <cstring>
#include <filesystem>
#include <zlib.h>

namespace pictorand {
namespace {

using namespace pictorand::testing;

constexpr const char* kNotValid = "This is not a valid PNG File !";

struct Ihdr {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
};

uint32_t bigEndian32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

Ihdr ihdrOf(const std::vector<uint8_t>& file)
{
    Ihdr ihdr;
    if (file.size() < 33)
        return ihdr;
    ihdr.width = bigEndian32(&file[16]);
    ihdr.height = bigEndian32(&file[20]);
    ihdr.bitDepth = file[24];
    ihdr.colourType = file[25];
    ihdr.interlace = file[28];
    return ihdr;
}

// Length of the first chunk of the given type, or -1.
long chunkLength(const std::vector<uint8_t>& file, const char* type)
{
    size_t position = 8;
    while (position + 8 <= file.size()) {
        uint32_t length = bigEndian32(&file[position]);
        if (std::memcmp(&file[position + 4], type, 4) == 0)
            return length;
        position += 12 + size_t(length);
    }
    return -1;
}

// The rows libpng itself gives with the transforms our reader promises
// (16 bits rounded to 8, blue first, 2-bit pixels to bytes, interlacing
// undone), top row first; nothing when libpng fails. Alpha is composited
// over white by the reader, which libpng does its own way: for files with
// alpha or tRNS only the success is compared, and the pixels against
// ImageMagick's.
std::optional<std::vector<std::vector<uint8_t>>> libpngRows(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    std::vector<std::vector<uint8_t>> rows;
    std::vector<png_bytep> pointers;
    bool read = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_read_info(png, info);
        int depth = png_get_bit_depth(png, info);
        int type = png_get_color_type(png, info);
        png_set_scale_16(png);
        png_set_bgr(png);
        if (type == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_strip_alpha(png);
        if (depth == 2)
            png_set_packing(png);
        png_set_interlace_handling(png);
        png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
        png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
        png_read_update_info(png, info);
        rows.assign(png_get_image_height(png, info), std::vector<uint8_t>(png_get_rowbytes(png, info)));
        for (auto& row : rows)
            pointers.push_back(row.data());
        png_read_image(png, pointers.data());
        png_read_end(png, nullptr);
        read = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (!read)
        return std::nullopt;
    return rows;
}

bool hasTransparency(const std::vector<uint8_t>& file)
{
    return file.size() > 25 && (file[25] == 4 || file[25] == 6 || chunkLength(file, "tRNS") >= 0);
}

// Our reader against libpng, byte for byte: both refuse, or both give the
// same rows.
void expectLibpngsRows(const std::string& path)
{
    std::string message;
    ImageBlock block = testing::blockOf(readPng(path), message);
    auto expected = libpngRows(path);
    ASSERT_EQ(bool(block), bool(expected)) << path << ": " << message;
    if (!block || hasTransparency(readFile(path)))
        return;
    ASSERT_EQ(size_t(block.height()), expected->size()) << path;
    for (int y = 0; y < block.height(); ++y)
        ASSERT_EQ(std::memcmp(block.topRow(y), (*expected)[size_t(y)].data(), (*expected)[size_t(y)].size()), 0)
            << path << " row " << y;
}

struct PngCase {
    const char* name;
    // ImageMagick options that make the file; with a leading '|' ImageMagick
    // only reduces the colours and netpbm's pnmtopng writes the palette file
    // (ImageMagick will not write palettes below 8 bits on request).
    const char* magick;
    int colourType;
    int bitDepth;
    uint16_t blockBits;
};

std::ostream& operator<<(std::ostream& out, const PngCase& c) { return out << c.name; }

const PngCase kPngCases[] = {
    {"grey1", "-colorspace gray -threshold 50% -depth 1", 0, 1, 1},
    {"grey2", "-colorspace gray -depth 2", 0, 2, 8},
    {"grey4", "-colorspace gray -depth 4", 0, 4, 4},
    {"grey8", "-colorspace gray -depth 8", 0, 8, 8},
    {"grey16", "-colorspace gray -depth 16", 0, 16, 8},
    {"palette1", "|-colors 2 -depth 8", 3, 1, 1},
    {"palette2", "|-colors 4 -depth 8", 3, 2, 8},
    {"palette4", "|-colors 16 -depth 8", 3, 4, 4},
    {"palette8", "|-colors 200 -depth 8", 3, 8, 8},
    {"rgb8", "-depth 8", 2, 8, 24},
    {"rgb16", "-depth 16", 2, 16, 24},
    {"greyalpha8", "-colorspace gray -alpha set -channel A -fx i/w +channel -depth 8", 4, 8, 8},
    {"greyalpha16", "-colorspace gray -alpha set -channel A -fx i/w +channel -depth 16", 4, 16, 8},
    {"rgba8", "-alpha set -channel A -fx j/h +channel -depth 8", 6, 8, 32},
    {"rgba16", "-alpha set -channel A -fx j/h +channel -depth 16", 6, 16, 32},
};

class PngKindsTest : public ::testing::TestWithParam<std::tuple<PngCase, bool>> {};

TEST_P(PngKindsTest, DecodesToImageMagicksPixelsWithinTheReductions)
{
    REQUIRE_TOOLS("convert");
    const auto& [c, interlaced] = GetParam();
    ScratchDir dir;
    std::string path = dir.file(std::string(c.name) + ".png");
    std::string command = std::string("convert rose: -resize 37x23! ") + c.magick + " -define png:color-type="
        + std::to_string(c.colourType) + " -define png:bit-depth=" + std::to_string(c.bitDepth)
        + (interlaced ? " -interlace PNG " : " -interlace none ") + shellQuote(path);
    if (c.magick[0] == '|') {
        REQUIRE_TOOLS("pnmtopng");
        command = std::string("convert rose: -resize 37x23! ") + (c.magick + 1) + " ppm:- | pnmtopng"
            + (interlaced ? " -interlace" : "") + " > " + shellQuote(path);
    }
    ASSERT_EQ(runCommand(command), 0) << command;
    Ihdr ihdr = ihdrOf(readFile(path));
    ASSERT_EQ(ihdr.colourType, c.colourType) << "fixture is not what the case says";
    ASSERT_EQ(ihdr.bitDepth, c.bitDepth) << "fixture is not what the case says";
    ASSERT_EQ(ihdr.interlace, interlaced ? 1 : 0);

    std::string message;
    StderrCapture errors;
    ImageBlock block = testing::blockOf(readPng(path), message);
    EXPECT_EQ(errors.text(), "");
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), c.blockBits);
    EXPECT_EQ(block.width(), 37);
    EXPECT_EQ(block.height(), 23);

    // Transparency over white, as ImageMagick flattens it (rounding apart).
    const bool alpha = c.colourType >= 4;
    const std::string flat = dir.file("flat.ppm");
    ASSERT_EQ(runCommand("convert " + shellQuote(path) + " -background white -flatten -depth 8 " + shellQuote(flat)), 0);
    auto expected = magickDecode(flat);
    ASSERT_TRUE(expected);
    EXPECT_LE(maxDifference(anyBlockToRgb(block), *expected), alpha || c.bitDepth == 16 ? 1 : 0);
    EXPECT_GE(maxDifference(anyBlockToRgb(block), *expected), 0);
    expectLibpngsRows(path);
}

TEST(PngReader, EveryPngInTheTreeReadsAsLibpngReadsIt)
{
    size_t seen = 0;
    for (const char* folder : {"fuzz/corpus", "samples"})
        for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(PICTORAND_SOURCE_DIR) + "/" + folder))
            if (entry.path().extension() == ".png") {
                expectLibpngsRows(entry.path().string());
                ++seen;
            }
    EXPECT_GT(seen, 10u);
}

INSTANTIATE_TEST_SUITE_P(EveryColourTypeAndDepth, PngKindsTest,
                         ::testing::Combine(::testing::ValuesIn(kPngCases), ::testing::Bool()),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).name)
                                 + (std::get<1>(param.param) ? "_interlaced" : "_plain");
                         });

class PngFixtureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("convert");
    }
    std::string make(const std::string& name, const std::string& options)
    {
        std::string path = dir.file(name);
        EXPECT_EQ(runCommand("convert " + options + " " + shellQuote(path)), 0);
        return path;
    }
    ScratchDir dir;
};

TEST_F(PngFixtureTest, TwoBitGreyBecomesEightBitWithRampToWhite)
{
    std::string path = make("grey2.png", "-size 4x1 gradient:black-white -colorspace gray -depth 2 "
                                         "-define png:color-type=0 -define png:bit-depth=2");
    std::string message;
    ImageBlock block = testing::blockOf(readPng(path), message);
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 8);
    ASSERT_EQ(block.colorsUsed(), 256u);
    const uint8_t ramp[] = {0, 85, 170, 255};
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(block.colorTable()[i], (ColorEntry{ramp[i], ramp[i], ramp[i], 0}));
    for (uint32_t i = 4; i < 256; ++i)
        EXPECT_EQ(block.colorTable()[i], ColorEntry{});
    // One byte per pixel holding the 2-bit value.
    EXPECT_EQ(block.topRow(0)[0], 0);
    EXPECT_EQ(block.topRow(0)[3], 3);
}

TEST_F(PngFixtureTest, FourBitGreysBrightestEntryIsWhite)
{
    std::string path = make("grey4.png", "-size 16x1 gradient:black-white -colorspace gray -depth 4 "
                                         "-define png:color-type=0 -define png:bit-depth=4");
    std::string message;
    ImageBlock block = testing::blockOf(readPng(path), message);
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 4);
    ASSERT_EQ(block.colorsUsed(), 16u);
    EXPECT_EQ(block.colorTable()[15].red, 255);
    EXPECT_EQ(block.colorTable()[1].red, 17);
}

// The tRNS chunk in each of its forms: the transparent pixels come out
// white, as ImageMagick flattens them.
TEST_F(PngFixtureTest, TransparentColoursComeOutWhite)
{
    const struct {
        const char* name;
        const char* options;
    } cases[] = {
        {"palette", "rose: -resize 20x14! -alpha set -channel A -fx 'i<5?0:1' +channel PNG8:"},
        {"rgb", "rose: -resize 20x14! -fill red -draw 'rectangle 0,0 5,13' -transparent red "
                "-define png:color-type=2 -define png:bit-depth=8"},
        {"rgb16", "rose: -resize 20x14! -fill red -draw 'rectangle 0,0 5,13' -transparent red "
                  "-define png:color-type=2 -define png:bit-depth=16"},
        {"grey8", "-size 20x14 gradient: -colorspace gray -transparent black -define png:color-type=0 "
                  "-define png:bit-depth=8"},
        {"grey16", "-size 20x14 gradient: -colorspace gray -transparent black -define png:color-type=0 "
                   "-define png:bit-depth=16"},
        {"grey2", "-size 20x14 gradient: -colorspace gray -depth 2 -transparent black -define png:color-type=0 "
                  "-define png:bit-depth=2"},
    };
    for (const auto& c : cases) {
        std::string path = dir.file(std::string(c.name) + ".png");
        const std::string options = c.options;
        const bool prefixed = options.back() == ':';
        ASSERT_EQ(runCommand("convert " + (prefixed ? options.substr(0, options.rfind(' ')) : options) + " "
                             + (prefixed ? options.substr(options.rfind(' ') + 1) : "") + shellQuote(path)),
                  0);
        ASSERT_GE(chunkLength(readFile(path), "tRNS"), 0) << c.name << ": no tRNS chunk";
        std::string message;
        ImageBlock block = testing::blockOf(readPng(path), message);
        ASSERT_TRUE(block) << message;
        const std::string flat = dir.file("flat.ppm");
        ASSERT_EQ(runCommand("convert " + shellQuote(path) + " -background white -flatten " + shellQuote(flat)), 0);
        auto expected = magickDecode(flat);
        ASSERT_TRUE(expected);
        EXPECT_LE(maxDifference(anyBlockToRgb(block), *expected), 1) << c.name; // 16-bit rounding apart
    }
}

TEST_F(PngFixtureTest, ReportsTheEmbeddedProfile)
{
    const std::string profile = std::string(testing::kGhostscriptProfiles) + "a98.icc";
    REQUIRE_FILE(profile, "libgs-common");
    std::string path = make("profiled.png", "rose: -profile " + profile);
    ASSERT_GE(chunkLength(readFile(path), "iCCP"), 0);
    Result<DecodedImage> read = readPng(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->iccProfile, readFile(profile));
}

TEST_F(PngFixtureTest, InterlacedFilesAreReadUpToTenThousandRows)
{
    std::string allowed = make("10000.png", "-size 3x10000 xc:gray40 -depth 8 -interlace PNG");
    std::string refused = make("10001.png", "-size 3x10001 xc:gray40 -depth 8 -interlace PNG");
    std::string plain = make("plain.png", "-size 3x10001 xc:gray40 -depth 8 -interlace none");
    ASSERT_EQ(ihdrOf(readFile(refused)).interlace, 1);
    std::string message;
    ImageBlock block = testing::blockOf(readPng(allowed), message);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.height(), 10000);
    EXPECT_FALSE(testing::blockOf(readPng(refused), message));
    EXPECT_EQ(message, "Sorry!\nThis File is toooo big for me.");
    block = testing::blockOf(readPng(plain), message);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.height(), 10001);
}

TEST_F(PngFixtureTest, MemoryReaderGivesTheFileReadersBlock)
{
    std::string path = make("rose.png", "rose: -depth 8");
    std::string message;
    ImageBlock fromFile = testing::blockOf(readPng(path), message);
    std::vector<uint8_t> bytes = readFile(path);
    ImageBlock fromMemory = testing::blockOf(readPngFromMemory(bytes), message);
    ASSERT_TRUE(fromFile);
    ASSERT_TRUE(fromMemory);
    ASSERT_EQ(fromFile.size(), fromMemory.size());
    EXPECT_EQ(std::memcmp(fromFile.data(), fromMemory.data(), fromFile.size()), 0);
}

ImageBlock patternBlock(uint16_t bitCount, uint32_t colours)
{
    ImageBlock block = makeBlock(19, 7, bitCount, colours);
    for (uint32_t i = 0; i < colours; ++i)
        block.setColor(i, static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 20), static_cast<uint8_t>(i * 90));
    for (int y = 0; y < 7; ++y) {
        uint8_t* row = block.topRow(y);
        for (int x = 0; x < 19; ++x) {
            uint32_t value = static_cast<uint32_t>(x * 3 + y * 5);
            switch (bitCount) {
            case 1:
                if (value % 2)
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<uint8_t>((value % colours) << (x % 2 ? 0 : 4));
                break;
            case 8:
                row[x] = static_cast<uint8_t>(value % colours);
                break;
            default:
                for (int c = 0; c < bitCount / 8; ++c)
                    row[x * (bitCount / 8) + c] = static_cast<uint8_t>(value * (c + 1) * 7);
            }
        }
    }
    return block;
}

TEST(PngWriter, PalettedBlocksCarryExactlyTheirColoursUsed)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    struct Case {
        uint16_t bits;
        uint32_t colours;
        int depth;
    };
    for (Case c : {Case{1, 2, 1}, Case{4, 5, 4}, Case{4, 16, 4}, Case{8, 7, 8}, Case{8, 256, 8}}) {
        ImageBlock block = patternBlock(c.bits, c.colours);
        std::string path = dir.file("p" + std::to_string(c.bits) + "_" + std::to_string(c.colours) + ".png");
        ASSERT_TRUE(writePng(path, block));
        std::vector<uint8_t> file = readFile(path);
        Ihdr ihdr = ihdrOf(file);
        EXPECT_EQ(ihdr.colourType, 3);
        EXPECT_EQ(ihdr.bitDepth, c.depth);
        EXPECT_EQ(ihdr.interlace, 0);
        EXPECT_EQ(chunkLength(file, "PLTE"), long(c.colours) * 3);
        EXPECT_EQ(chunkLength(file, "tRNS"), -1);
        EXPECT_EQ(chunkLength(file, "gAMA"), -1);
        auto decoded = magickDecode(path);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(maxDifference(*decoded, blockToRgb(block)), 0) << c.bits << "/" << c.colours;
        expectLibpngsRows(path);
        if (haveTool("pngcheck")) {
            EXPECT_EQ(runCommand("pngcheck -q " + shellQuote(path) + " >/dev/null"), 0) << path;
        }
    }
}

TEST(PngWriter, TrueColourBlocksBecomeRgbOrRgbaFiles)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
        ImageBlock block = patternBlock(bits, 0);
        if (bits == 32)
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 19; ++x)
                    block.topRow(y)[x * 4 + 3] = 255; // opaque, so ImageMagick's pixels are the colours
        std::string path = dir.file("t" + std::to_string(bits) + ".png");
        ASSERT_TRUE(writePng(path, block));
        Ihdr ihdr = ihdrOf(readFile(path));
        EXPECT_EQ(ihdr.colourType, bits == 24 ? 2 : 6);
        EXPECT_EQ(ihdr.bitDepth, 8);
        auto decoded = magickDecode(path);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(maxDifference(*decoded, anyBlockToRgb(block)), 0);
        if (haveTool("pngcheck")) {
            EXPECT_EQ(runCommand("pngcheck -q " + shellQuote(path) + " >/dev/null"), 0) << path;
        }
        // And back through our reader, byte for byte.
        std::string message;
        ImageBlock again = testing::blockOf(readPng(path), message);
        ASSERT_TRUE(again) << message;
        EXPECT_EQ(std::memcmp(again.pixels(), block.pixels(), block.rowSize() * 7), 0);
    }
}

TEST(PngWriter, RefusesWhatItCannotWrite)
{
    ScratchDir dir;
    EXPECT_FALSE(writePng(dir.file("null.png"), ImageBlock()));
    EXPECT_FALSE(writePng(dir.file("sixteen.png"), makeBlock(4, 4, 16, 0)));
    EXPECT_FALSE(writePng(dir.file("missing/folder.png"), makeBlock(4, 4, 24, 0)));
    StderrCapture errors;
    EXPECT_FALSE(writePng("/dev/full", patternBlock(24, 0)));
    EXPECT_EQ(errors.text(), "");
}

// Damaged copies of a small valid file, grouped by where decoding must stop.
class PngMalformed : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.file("good.png");
        ASSERT_TRUE(writePng(path, patternBlock(24, 0)));
        good = readFile(path);
    }
    static void fixCrc(std::vector<uint8_t>& file, size_t chunkStart)
    {
        uint32_t length = bigEndian32(&file[chunkStart]);
        uLong crc = crc32(0, &file[chunkStart + 4], static_cast<uInt>(length + 4));
        size_t at = chunkStart + 8 + length;
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    }
    void expectRefused(const std::vector<uint8_t>& bytes, const char* what, const std::string& words = kNotValid)
    {
        std::string damaged = dir.file("damaged.png");
        writeFile(damaged, bytes);
        std::string message;
        StderrCapture errors;
        ImageBlock block = testing::blockOf(readPng(damaged), message);
        EXPECT_EQ(errors.text(), "") << what;
        EXPECT_FALSE(block) << what;
        EXPECT_EQ(message, words) << what;
        ImageBlock fromMemory = testing::blockOf(readPngFromMemory(bytes), message);
        EXPECT_FALSE(fromMemory) << what;
    }
    ScratchDir dir;
    std::string path;
    std::vector<uint8_t> good;
};

TEST_F(PngMalformed, SignatureStage)
{
    std::vector<uint8_t> badSignature = good;
    badSignature[0] = 0x88;
    expectRefused(badSignature, "bad_signature");
    expectRefused(std::vector<uint8_t>(good.begin(), good.begin() + 5), "cut_in_signature");
    expectRefused({}, "empty");
}

TEST_F(PngMalformed, HeaderStage)
{
    std::vector<uint8_t> badCrc = good;
    badCrc[29] ^= 0xFF;
    expectRefused(badCrc, "ihdr_bad_crc");
    std::vector<uint8_t> zeroWidth = good;
    std::fill(zeroWidth.begin() + 16, zeroWidth.begin() + 20, 0);
    fixCrc(zeroWidth, 8);
    expectRefused(zeroWidth, "zero_width");
    std::vector<uint8_t> badColourType = good;
    badColourType[25] = 5;
    fixCrc(badColourType, 8);
    expectRefused(badColourType, "colour_type_5");
    std::vector<uint8_t> badDepth = good;
    badDepth[24] = 3;
    fixCrc(badDepth, 8);
    expectRefused(badDepth, "bit_depth_3");
    // 20000 x 20000 from a few hundred bytes: more than deflate's best ratio
    // could give, refused before the block is allocated.
    std::vector<uint8_t> bomb = good;
    storeBE32(&bomb[16], 20000);
    storeBE32(&bomb[20], 20000);
    fixCrc(bomb, 8);
    expectRefused(bomb, "declares_far_more_than_it_holds",
                  "This is not a valid PNG File: the file is far too small for the picture it declares");
}

TEST_F(PngMalformed, DataStage)
{
    expectRefused(std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2)), "cut_in_idat");
    expectRefused(std::vector<uint8_t>(good.begin(), good.end() - 12), "no_iend");
    std::vector<uint8_t> corruptIdat = good;
    size_t idat = 33;
    ASSERT_EQ(std::memcmp(&corruptIdat[idat + 4], "IDAT", 4), 0);
    for (size_t i = idat + 10; i < idat + 30; ++i)
        corruptIdat[i] ^= 0x5A;
    fixCrc(corruptIdat, idat);
    expectRefused(corruptIdat, "corrupt_deflate_stream");

    // Whole streams of one byte fewer or more than the header implies.
    uint32_t length = bigEndian32(&good[idat]);
    std::vector<uint8_t> filtered(1000);
    uLongf filteredSize = filtered.size();
    ASSERT_EQ(uncompress(filtered.data(), &filteredSize, &good[idat + 8], length), Z_OK);
    ASSERT_EQ(filteredSize, 19u * 3 * 7 + 7) << "the pattern block is no longer 19 x 7";
    for (long change : {-1L, 1L}) {
        std::vector<uint8_t> data(filtered.begin(), filtered.begin() + long(filteredSize) + change);
        std::vector<uint8_t> stream(compressBound(uLong(data.size())));
        uLongf streamSize = stream.size();
        ASSERT_EQ(compress(stream.data(), &streamSize, data.data(), uLong(data.size())), Z_OK);
        std::vector<uint8_t> file(good.begin(), good.begin() + long(idat));
        for (int i = 0; i < 4; ++i)
            file.push_back(uint8_t(streamSize >> (24 - 8 * i)));
        file.insert(file.end(), {'I', 'D', 'A', 'T'});
        file.insert(file.end(), stream.begin(), stream.begin() + long(streamSize));
        file.insert(file.end(), 4, 0);
        fixCrc(file, idat);
        file.insert(file.end(), good.begin() + long(idat + 12 + length), good.end());
        expectRefused(file, change < 0 ? "stream_one_byte_short" : "stream_one_byte_long");
    }
}

TEST_F(PngMalformed, DamagedImageDataChecksumsDoNotHideThePicture)
{
    // Header chunks keep their CRC check (see HeaderStage); the image data's
    // CRC and Adler-32 are not verified, so a flipped checksum still shows.
    size_t idat = 33;
    uint32_t length = bigEndian32(&good[idat]);
    std::vector<uint8_t> badCrc = good;
    badCrc[idat + 8 + length] ^= 0xFF;
    std::vector<uint8_t> badAdler = good;
    badAdler[idat + 8 + length - 1] ^= 0xFF;
    fixCrc(badAdler, idat);
    std::string message;
    ImageBlock original = testing::blockOf(readPng(path), message);
    ASSERT_TRUE(original);
    for (const auto* bytes : {&badCrc, &badAdler}) {
        ImageBlock block = testing::blockOf(readPngFromMemory(*bytes), message);
        ASSERT_TRUE(block) << (bytes == &badCrc ? "crc" : "adler");
        EXPECT_EQ(std::memcmp(block.data(), original.data(), static_cast<size_t>(original.size())), 0);
    }
}

TEST(PngReader, MissingFileNamesThePath)
{
    std::string message;
    EXPECT_FALSE(testing::blockOf(readPng("/nonexistent/x.png"), message));
    EXPECT_EQ(message, "Can't open file: /nonexistent/x.png");
}

// Paeth is undone a pixel at a time with the channels side by side; noise
// makes every tie-break and wrap-around of the predictor happen somewhere.
TEST_F(PngFixtureTest, PaethRowsOfNoiseReadAsLibpngReadsThem)
{
    REQUIRE_TOOLS("pnmtopng");
    const std::string rgb = make("rgb.ppm", "-seed 7 -size 61x9 xc: +noise Random -depth 8");
    const std::string alpha = make("alpha.pgm", "-seed 8 -size 61x9 xc: +noise Random -colorspace gray -depth 8");
    for (const std::string& withAlpha : {std::string(), " -alpha=" + shellQuote(alpha)}) {
        const std::string path = dir.file("paeth.png");
        ASSERT_EQ(runCommand("pnmtopng -paeth" + withAlpha + " " + shellQuote(rgb) + " > " + shellQuote(path)), 0);
        expectLibpngsRows(path);
    }
}

} // namespace
} // namespace pictorand
