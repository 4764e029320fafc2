#include "codecs/tiff/tiff.h"
#include "core/byte_order.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <tiffio.h>

namespace pictorand {
namespace {

using namespace pictorand::testing;

class TiffTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("convert", "tiffcp", "tiffinfo", "tiffdump");
    }
    std::string run(const std::string& command)
    {
        std::string output;
        EXPECT_EQ(runCommand(command + " 2>/dev/null", &output), 0) << command;
        return output;
    }
    // An 8-bit RGB strip TIFF of the rose, uncompressed.
    std::string colourBase()
    {
        std::string path = dir.file("base.tif");
        if (!fileExists(path))
            run("convert rose: -resize 40x30! -depth 8 -compress none " + shellQuote(path));
        return path;
    }
    // A 1-bit min-is-white fax file.
    std::string bilevelBase()
    {
        std::string path = dir.file("fax.tif");
        if (!fileExists(path))
            run("convert rose: -resize 40x30! -monochrome -compress fax " + shellQuote(path));
        return path;
    }
    std::string tiffcp(const std::string& options, const std::string& source, const std::string& name)
    {
        std::string path = dir.file(name);
        run("tiffcp " + options + " " + shellQuote(source) + " " + shellQuote(path));
        return path;
    }
    ImageBlock load(const std::string& path, std::string* compressionOut = nullptr, uint32_t offset = 0)
    {
        std::string message, compression;
        StderrCapture errors;
        ImageBlock block = testing::blockOf(readTiffPage(path, offset), message, compression);
        EXPECT_EQ(errors.text(), "") << path;
        EXPECT_TRUE(block) << path << ": " << message;
        if (compressionOut)
            *compressionOut = compression;
        return block;
    }
    // Transparent pixels over white, as ImageMagick flattens them.
    void expectLooksLikeMagick(const ImageBlock& block, const std::string& path, int tolerance = 0)
    {
        const std::string flat = path + ".flat.ppm";
        run("convert " + shellQuote(path) + "[0] -background white -flatten -depth 8 " + shellQuote(flat));
        auto expected = magickDecode(flat);
        ASSERT_TRUE(expected) << path;
        RgbImage ours = anyBlockToRgb(block);
        if (tolerance == 0)
            EXPECT_EQ(maxDifference(ours, *expected), 0) << path;
        else
            EXPECT_LT(meanDifference(ours, *expected), tolerance) << path;
    }
    ScratchDir dir;
};

TEST_F(TiffTest, EveryCompressionMadeByTiffcp)
{
    struct Case {
        const char* option;
        bool bilevel;
        const char* text;
        uint16_t bits;
        int tolerance;
    };
    const Case cases[] = {
        {"-c none", false, "None", 24, 0},
        {"-c lzw", false, "LZW", 24, 0},
        {"-c packbits", false, "Macintosh Packbits", 24, 0},
        {"-c jpeg", false, "JPEG (in TIFF)", 24, 4},
        {"-c zip", false, "ZIP (in TIFF)", 24, 0},
        {"-c none", true, "None", 1, 0},
        {"-c g3", true, "Group 3 Fax Encoding", 1, 0},
        {"-c g4", true, "Group 4 Fax Encoding", 1, 0},
        {"-c lzw", true, "LZW", 1, 0},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::string path = tiffcp(c.option, c.bilevel ? bilevelBase() : colourBase(),
                                  "c" + std::to_string(index++) + ".tif");
        std::string compression;
        ImageBlock block = load(path, &compression);
        ASSERT_TRUE(block);
        EXPECT_EQ(compression, c.text) << c.option;
        EXPECT_EQ(block.bitCount(), c.bits) << c.option;
        expectLooksLikeMagick(block, path, c.tolerance);
    }
}

// Some writers still mark deflate with the old value 32946, which libtiff
// decodes alike; tiffcp writes 8, so the old value is patched in.
TEST_F(TiffTest, DeflateDecodesUnderTheOldTagValueToo)
{
    std::string path = tiffcp("-c zip", colourBase(), "zip.tif");
    std::vector<uint8_t> bytes = readFile(path);
    ASSERT_EQ(bytes[0], 'I');
    const size_t directory = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | size_t(bytes[7]) << 24;
    const size_t entries = bytes[directory] | bytes[directory + 1] << 8;
    bool patched = false;
    for (size_t i = 0; i < entries; ++i) {
        uint8_t* entry = &bytes[directory + 2 + 12 * i];
        if (entry[0] == 0x03 && entry[1] == 0x01) { // Compression
            entry[8] = 32946 & 0xFF;
            entry[9] = 32946 >> 8;
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    const std::string old = dir.file("zip-32946.tif");
    writeFile(old, bytes);
    std::string compression;
    ImageBlock block = load(old, &compression);
    ASSERT_TRUE(block);
    EXPECT_EQ(compression, "ZIP (in TIFF)");
    expectLooksLikeMagick(block, path);
    EXPECT_STREQ(tiffCompressionText(32946), "ZIP (in TIFF)");
    EXPECT_STREQ(tiffCompressionText(32771), "Run Length Encoding");
    EXPECT_STREQ(tiffCompressionText(1), "None");
    EXPECT_STREQ(tiffCompressionText(12345), "None");
}

TEST_F(TiffTest, MinIsWhiteFaxImageIsStoredMinIsBlack)
{
    std::string path = bilevelBase();
    ImageBlock block = load(path);
    ASSERT_TRUE(block);
    ASSERT_EQ(block.bitCount(), 1);
    EXPECT_EQ(block.colorTable()[0], (ColorEntry{0, 0, 0, 0}));
    EXPECT_EQ(block.colorTable()[1], (ColorEntry{255, 255, 255, 0}));
    expectLooksLikeMagick(block, path);
}

TEST_F(TiffTest, ColourKindsLookLikeImageMagicksDecode)
{
    struct Case {
        const char* name;
        const char* make; // a shell command with %s for the output path
        uint16_t bits;
        int tolerance;
    };
    const Case cases[] = {
        {"grey8", "convert rose: -resize 40x30! -colorspace gray -depth 8 %s", 8, 0},
        {"grey4", "convert rose: -resize 40x30! -colorspace gray -depth 4 %s", 4, 0},
        {"palette8", "convert rose: -resize 40x30! -colors 200 -type palette %s", 8, 0},
        {"palette4", "convert rose: -resize 40x30! -colors 16 -type palette -depth 4 %s", 4, 0},
        {"rgba8", "convert rose: -resize 40x30! -alpha set -channel A -fx i/w +channel -depth 8 %s", 32, 1},
        {"rgb16", "convert rose: -resize 40x30! -depth 16 %s", 48, 1},
        {"grey16", "convert rose: -resize 40x30! -colorspace gray -depth 16 %s", 8, 1},
        {"greyalpha8", "convert rose: -resize 40x30! -colorspace gray -alpha set -channel A -fx i/w +channel -depth 8 %s",
         8, 1},
        {"rgba16", "convert rose: -resize 40x30! -alpha set -channel A -fx i/w +channel -depth 16 %s", 64, 1},
        {"rgba8-tiled-planar-zip",
         "convert rose: -resize 40x30! -alpha set -channel A -fx j/h +channel -depth 8 tiff:%s.in && "
         "tiffcp -t -w 16 -l 16 -p separate -c zip %s.in %s",
         32, 1},
        {"rgb16-planar", "convert rose: -resize 40x30! -depth 16 -interlace plane %s", 48, 1},
    };
    for (const Case& c : cases) {
        std::string path = dir.file(std::string(c.name) + ".tif");
        std::string command = c.make;
        for (size_t at; (at = command.find("%s")) != std::string::npos;)
            command.replace(at, 2, path);
        run(command);
        ImageBlock block = load(path);
        ASSERT_TRUE(block) << c.name;
        EXPECT_EQ(block.bitCount(), c.bits) << c.name;
        expectLooksLikeMagick(block, path, c.tolerance);
    }
    // Min-is-white grey with alpha (ImageMagick reads it as min-is-black,
    // Pillow not at all): as the same picture stored min-is-black.
    const std::string stored = dir.file("greyalpha8.tif"), turned = dir.file("greyalpha8-min-is-white.tif");
    run("convert " + stored + " -channel RGB -negate +channel " + turned + " && tiffset -s 262 0 " + turned);
    expectLooksLikeMagick(load(turned), stored, 1);
}

TEST_F(TiffTest, RgbaPathForPlanarAndYCbCrFiles)
{
    std::string planar = tiffcp("-p separate", colourBase(), "planar.tif");
    ImageBlock block = load(planar);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 24);
    expectLooksLikeMagick(block, planar);

    std::string ycbcr = tiffcp("-c jpeg", colourBase(), "ycbcr.tif");
    ASSERT_NE(run("tiffinfo " + shellQuote(ycbcr)).find("YCbCr"), std::string::npos);
    block = load(ycbcr);
    ASSERT_TRUE(block);
    expectLooksLikeMagick(block, ycbcr, 4);
}

// The Orientation tag and the profile are reported; the rows stay as
// stored on every path (the load turns them).
TEST_F(TiffTest, ReportsOrientationAndProfileWithTheRowsAsStored)
{
    const std::string profile = std::string(testing::kGhostscriptProfiles) + "a98.icc";
    REQUIRE_TOOLS("tificc", "tiffset");
    REQUIRE_FILE(profile, "libgs-common");
    for (const char* layout : {"-p contig", "-p separate"}) {
        std::string path = tiffcp(layout, colourBase(), "oriented.tif");
        ImageBlock stored = load(path);
        run("tiffset -s 274 6 " + shellQuote(path));
        run("tificc -o" + profile + " -e " + shellQuote(path) + " " + shellQuote(dir.file("profiled.tif")));
        Result<DecodedImage> read = readTiffPage(path, 0);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->orientation, 6) << layout;
        EXPECT_EQ(maxDifference(anyBlockToRgb(read->block), anyBlockToRgb(stored)), 0) << layout;
        Result<DecodedImage> profiled = readTiffPage(dir.file("profiled.tif"), 0);
        ASSERT_TRUE(profiled);
        EXPECT_EQ(profiled->iccProfile, readFile(profile)) << layout;
    }
}

// Under 1 KB declaring 1500 x 263144 planar pixels (tests/fixtures/make-fixtures.sh):
// read a plane at a time, the picture needs its block and a row, and what
// the strips hold is shown with the reader's warning.
// A grey page of width x height whose one strip holds `stripBytes` bytes
// of zeros, marked as stored uncompressed or with another scheme.
std::vector<uint8_t> greyTiff(uint32_t width, uint32_t height, uint32_t stripBytes,
                              uint16_t compression = COMPRESSION_NONE)
{
    const uint16_t tags[][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3}, {273, 4}, {277, 3}, {279, 4}};
    const uint32_t values[] = {width, height, 8, compression, 1, 0, 1, stripBytes};
    constexpr uint32_t kEntries = 8, kData = 8 + 2 + kEntries * 12 + 4;
    std::vector<uint8_t> bytes = {'I', 'I', 42, 0, 8, 0, 0, 0, kEntries, 0};
    auto put = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    for (uint32_t i = 0; i < kEntries; ++i) {
        put(tags[i][0], 2);
        put(tags[i][1], 2);
        put(1, 4);
        put(tags[i][0] == 273 ? kData : values[i], 4);
    }
    put(0, 4);
    bytes.resize(bytes.size() + stripBytes, 0);
    return bytes;
}

TEST(TiffHuge, UncompressedFileHoldingAFewRowsStillReads)
{
    ScratchDir dir;
    const std::string path = dir.file("rows.tif");
    writeFile(path, greyTiff(1000, 6400, 1000 * 100));
    Result<DecodedImage> read = readTiffPage(path, 0);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->block.height(), 6400);
}

TEST(TiffHuge, TinyPlanarFileNeedsNoWholePictureBuffers)
{
    const std::string path = std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/tiff/huge-planar.tif";
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    Result<DecodedImage> read = readTiffPage(path, 0);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->block.height(), 263144);
    EXPECT_EQ(read->warning, "Can't read from file");
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    // The peak grows by what the read touched (the library's whole-picture
    // buffers would be gigabytes); the block's untouched pages are never had.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kB";
}

// TIFF stores ink straight, plain or JPEG-compressed, at 8 or 16 bits.
TEST_F(TiffTest, CmykWithoutProfileLooksAsImageMagickDecodesIt)
{
    for (const char* options : {"-depth 8", "-depth 8 -compress jpeg", "-depth 16"}) {
        std::string path = dir.file("cmyk.tif");
        std::remove(path.c_str());
        run("convert rose: -resize 40x30! -colorspace CMYK +profile '*' " + std::string(options) + " "
            + shellQuote(path));
        ImageBlock block = load(path);
        ASSERT_TRUE(block);
        auto reference = magickDecode(path);
        ASSERT_TRUE(reference);
        EXPECT_GE(psnr(anyBlockToRgb(block), *reference), 30.0) << options;
    }
}

// Palette pictures with an alpha sample, as Pillow writes them, and tiled
// or planar as tiffcp rewrites them: the map's colours over white, as
// ImageMagick and Pillow show them (the library's RGBA reader drops the alpha).
TEST_F(TiffTest, PaletteWithAlphaLooksAsImageMagickAndPillowShowIt)
{
    REQUIRE_PILLOW();
    struct Case {
        const char* compression;
        const char* rewrite; // tiffcp's options, or none
    };
    for (const Case& c : {Case{"None", ""}, Case{"'tiff_lzw'", ""}, Case{"None", "-t -w 16 -l 16"},
                          Case{"'tiff_lzw'", "-p separate -c lzw"}, Case{"None", "-t -w 16 -l 16 -p separate"}}) {
        const char* compression = c.compression;
        const std::string path = dir.file("palette-alpha.tif");
        const std::string pillow = path + ".pillow.ppm";
        const std::string script = "from PIL import Image\n"
                                   "im = Image.new('P', (19, 9))\n"
                                   "im.putpalette([(i * 37) % 256 for i in range(768)])\n"
                                   "im.putdata([(x * 3 + y * 5) % 16 for y in range(9) for x in range(19)])\n"
                                   "im = im.convert('PA')\n"
                                   "a = Image.new('L', im.size)\n"
                                   "a.putdata([(x * 29 + y * 13) % 256 if x % 5 else 0 for y in range(9) for x in range(19)])\n"
                                   "im.putalpha(a)\n"
                                   "im.save('" + path + "', compression=" + compression + ")\n"
                                   "bg = Image.new('RGBA', im.size, (255, 255, 255, 255))\n"
                                   "Image.alpha_composite(bg, Image.open('" + path + "').convert('RGBA')).convert('RGB').save('" + pillow + "')\n";
        writeFile(dir.file("make.py"), std::vector<uint8_t>(script.begin(), script.end()));
        ASSERT_EQ(runCommand("/usr/bin/python3 " + shellQuote(dir.file("make.py"))), 0);
        if (*c.rewrite) {
            run("tiffcp " + std::string(c.rewrite) + " " + shellQuote(path) + " " + shellQuote(path + ".re.tif"));
            ASSERT_EQ(std::rename((path + ".re.tif").c_str(), path.c_str()), 0);
        }
        ImageBlock block = load(path);
        ASSERT_TRUE(block);
        EXPECT_EQ(block.bitCount(), 24);
        auto reference = readPnm(pillow);
        ASSERT_TRUE(reference);
        EXPECT_LE(maxDifference(anyBlockToRgb(block), *reference), 1) << compression << c.rewrite;
        // Separate planes: Pillow refuses them and ImageMagick misreads them
        // (other colours, no alpha), so only Pillow's reading of the same
        // pixels before tiffcp moved them is the reference.
        if (std::strstr(c.rewrite, "separate"))
            continue;
        auto magick = magickDecode(path, /*overWhite=*/true);
        ASSERT_TRUE(magick);
        EXPECT_LE(maxDifference(anyBlockToRgb(block), *magick), 1) << compression << c.rewrite;
    }
}

TEST_F(TiffTest, TiledFilesGiveTheSameBlocksAsStrips)
{
    std::vector<std::string> sources = {
        bilevelBase(),
        dir.file("g4.tif"),
        dir.file("p4.tif"),
        dir.file("p8.tif"),
        dir.file("g8.tif"),
        colourBase(),
    };
    run("convert rose: -resize 40x30! -colorspace gray -depth 4 " + shellQuote(sources[1]));
    run("convert rose: -resize 40x30! -colors 16 -type palette -depth 4 " + shellQuote(sources[2]));
    run("convert rose: -resize 40x30! -colors 200 -type palette " + shellQuote(sources[3]));
    run("convert rose: -resize 40x30! -colorspace gray -depth 8 " + shellQuote(sources[4]));
    int index = 0;
    for (const std::string& source : sources) {
        std::string tiled = tiffcp("-t -w 16 -l 16", source, "tiled" + std::to_string(index++) + ".tif");
        ASSERT_NE(run("tiffinfo " + shellQuote(tiled)).find("Tile Width: 16"), std::string::npos);
        ImageBlock strips = load(source);
        ImageBlock tiles = load(tiled);
        ASSERT_TRUE(strips);
        ASSERT_TRUE(tiles);
        ASSERT_EQ(tiles.bitCount(), strips.bitCount()) << source;
        ASSERT_EQ(tiles.size(), strips.size()) << source;
        EXPECT_EQ(std::memcmp(tiles.data(), strips.data(), static_cast<size_t>(strips.size())), 0) << source;
    }
}

// Writes a small single-strip file through libtiff with the given layout.
void writeWithLibtiff(const std::string& path, uint16_t photometric, uint16_t bits, uint16_t samples, uint32_t width,
                      uint32_t height, const std::vector<uint8_t>& pixels, const uint16_t* map = nullptr)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.7f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 150.2f);
    if (map) {
        uint32_t entries = 1u << bits;
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map, map + entries, map + 2 * entries);
    }
    size_t rowBytes = (size_t(width) * bits * samples + 7) / 8;
    for (uint32_t row = 0; row < height; ++row)
        TIFFWriteScanline(tiff, const_cast<uint8_t*>(pixels.data() + row * rowBytes), row, 0);
    TIFFClose(tiff);
}

TEST(TiffColourTables, FourBitMinIsWhiteRampAndResolutions)
{
    ScratchDir dir;
    std::string path = dir.file("miw4.tif");
    writeWithLibtiff(path, PHOTOMETRIC_MINISWHITE, 4, 1, 2, 1, {0x0F});
    std::string message, compression;
    ImageBlock block = testing::blockOf(readTiffPage(path, 0), message, compression);
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.colorsUsed(), 16u);
    for (uint32_t j = 0; j < 16; ++j)
        EXPECT_EQ(block.colorTable()[j].red, 255 - 17 * j) << j;
    EXPECT_EQ(block.xPelsPerMeter(), 300); // the file's values, truncated, no unit conversion
    EXPECT_EQ(block.yPelsPerMeter(), 150);
}

TEST(TiffColourTables, PaletteMapsSixteenOrEightBit)
{
    ScratchDir dir;
    uint16_t wide[3 * 16] = {};
    uint16_t narrow[3 * 16] = {};
    for (int i = 0; i < 16; ++i) {
        wide[i] = static_cast<uint16_t>(i * 4369); // 0 ... 65535
        wide[16 + i] = 65535;
        narrow[i] = static_cast<uint16_t>(i * 10); // all below 256: used as they stand
        narrow[16 + i] = 200;
        narrow[32 + i] = 7;
    }
    std::string widePath = dir.file("wide.tif");
    std::string narrowPath = dir.file("narrow.tif");
    writeWithLibtiff(widePath, PHOTOMETRIC_PALETTE, 4, 1, 2, 1, {0x1F}, wide);
    writeWithLibtiff(narrowPath, PHOTOMETRIC_PALETTE, 4, 1, 2, 1, {0x1F}, narrow);
    std::string message, compression;
    ImageBlock block = testing::blockOf(readTiffPage(widePath, 0), message, compression);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.colorTable()[15], (ColorEntry{0, 255, 255, 0}));
    EXPECT_EQ(block.colorTable()[1], (ColorEntry{0, 255, 17, 0}));
    block = testing::blockOf(readTiffPage(narrowPath, 0), message, compression);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.colorTable()[15], (ColorEntry{7, 200, 150, 0}));
}

TEST(TiffColourTables, OneBitPaletteUsesItsColourMap)
{
    ScratchDir dir;
    uint16_t map[3 * 2] = {65535, 0, 0, 0, 0, 65535}; // entry 0 red, entry 1 blue
    std::string path = dir.file("palette1.tif");
    writeWithLibtiff(path, PHOTOMETRIC_PALETTE, 1, 1, 8, 1, {0x0F}, map);
    std::string message, compression;
    ImageBlock block = testing::blockOf(readTiffPage(path, 0), message, compression);
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 1);
    EXPECT_EQ(block.colorTable()[0], (ColorEntry{0, 0, 255, 0}));
    EXPECT_EQ(block.colorTable()[1], (ColorEntry{255, 0, 0, 0}));
    EXPECT_EQ(block.topRow(0)[0], 0x0F);
}

TEST(TiffColourTables, TwoBitGreyLooksRightThroughTheRgbaReader)
{
    ScratchDir dir;
    std::string path = dir.file("grey2.tif");
    writeWithLibtiff(path, PHOTOMETRIC_MINISBLACK, 2, 1, 4, 1, {0x1B}); // 0, 1, 2, 3
    std::string message, compression;
    ImageBlock block = testing::blockOf(readTiffPage(path, 0), message, compression);
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 24);
    const uint8_t expected[] = {0, 85, 170, 255};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(block.topRow(0)[x * 3], expected[x]) << x;
}

TEST_F(TiffTest, PageCounterFollowsTheDirectoryChain)
{
    std::string one = tiffcp("-c lzw", colourBase(), "one.tif");
    std::string two = dir.file("two.tif");
    run("convert rose: -resize 40x30! -flip -depth 8 -compress lzw " + shellQuote(two));
    for (const char* order : {"-L", "-B"}) {
        std::string multi = dir.file(std::string("multi") + order + ".tif");
        run(std::string("tiffcp ") + order + " " + shellQuote(one) + " " + shellQuote(two) + " " + shellQuote(one) + " "
            + shellQuote(multi));
        uint32_t offsets[kTiffPageCapacity] = {};
        ASSERT_EQ(countTiffPages(multi, offsets, kTiffPageCapacity), 3) << order;
        // tiffinfo names every directory's offset.
        std::string info = run("tiffinfo " + shellQuote(multi));
        std::regex pattern("TIFF Directory at offset 0x[0-9a-f]+ \\(([0-9]+)\\)");
        std::vector<uint32_t> expected;
        for (std::sregex_iterator it(info.begin(), info.end(), pattern), end; it != end; ++it)
            expected.push_back(static_cast<uint32_t>(std::stoul((*it)[1])));
        ASSERT_EQ(expected.size(), 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(offsets[i], expected[static_cast<size_t>(i)]) << order << " page " << i;
        // The second page read at its offset is the flipped picture.
        std::string compression;
        ImageBlock page = load(multi, &compression, offsets[1]);
        ASSERT_TRUE(page);
        EXPECT_EQ(compression, "LZW");
        auto expectedPage = magickDecode(two);
        ASSERT_TRUE(expectedPage);
        EXPECT_EQ(maxDifference(anyBlockToRgb(page), *expectedPage), 0);
    }
}

TEST_F(TiffTest, DirectoryCycleCountsAsOnePage)
{
    std::string path = colourBase();
    std::vector<uint8_t> bytes = readFile(path);
    ASSERT_EQ(bytes[0], 'I');
    uint32_t ifd = loadLE32(&bytes[4]);
    uint16_t entries = loadLE16(&bytes[ifd]);
    storeLE32(&bytes[ifd + 2 + 12u * entries], ifd); // next directory: itself
    std::string cycle = dir.file("cycle.tif");
    writeFile(cycle, bytes);
    uint32_t offsets[kTiffPageCapacity] = {};
    EXPECT_EQ(countTiffPages(cycle, offsets, kTiffPageCapacity), 1);
    EXPECT_EQ(offsets[0], ifd);
    // With a small table the same rule applies at its capacity.
    uint32_t small[4] = {};
    EXPECT_EQ(countTiffPages(cycle, small, 4), 1);
}

TEST(TiffPageCounter, HandBuiltChains)
{
    ScratchDir dir;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int count;
    };
    // Little-endian: header, then at 8 a directory with no entries whose
    // next offset is 14, and at 14 another one ending the chain.
    const std::vector<uint8_t> twoPages = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> bigEndian = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 14, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> noDirectory = {'I', 'I', 42, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> pastTheEnd = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    const std::vector<uint8_t> cutHeader = {'I', 'I', 42};
    const Case cases[] = {
        {"two_pages", twoPages, 2}, {"big_endian", bigEndian, 2}, {"first_offset_zero", noDirectory, 0},
        {"next_directory_past_end", pastTheEnd, 1}, {"cut_header", cutHeader, 0},
    };
    for (const Case& c : cases) {
        std::string path = dir.file(c.name);
        writeFile(path, c.bytes);
        uint32_t offsets[kTiffPageCapacity] = {};
        EXPECT_EQ(countTiffPages(path, offsets, kTiffPageCapacity), c.count) << c.name;
    }
    uint32_t offsets[kTiffPageCapacity] = {};
    EXPECT_EQ(countTiffPages(dir.file("two_pages"), offsets, kTiffPageCapacity), 2);
    EXPECT_EQ(offsets[0], 8u);
    EXPECT_EQ(offsets[1], 14u);
    EXPECT_EQ(countTiffPages("/nonexistent.tif", offsets, kTiffPageCapacity), -1);
}

TEST(TiffMalformed, RefusedQuietlyWithAMessage)
{
    ScratchDir dir;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        // 1.6 GB of pixels declared by 25 KB stored uncompressed or with
        // run lengths: refused before the block is allocated (1/64 of them
        // would still be read, or what expands to that).
        {"uncompressed_sliver", greyTiff(40000, 40000, 25000)},
        {"packbits_sliver", greyTiff(40000, 40000, 300, COMPRESSION_PACKBITS)},
        {"empty", {}},
        {"not_tiff", {'I', 'I', 43, 0, 8, 0, 0, 0}},
        {"directory_past_end", {'I', 'I', 42, 0, 0, 1, 0, 0}},
        {"no_entries", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::string path = dir.file(c.name);
        writeFile(path, c.bytes);
        std::string message, compression;
        StderrCapture errors;
        EXPECT_FALSE(testing::blockOf(readTiffPage(path, 0), message, compression)) << c.name;
        EXPECT_EQ(errors.text(), "") << c.name;
        EXPECT_FALSE(message.empty()) << c.name;
    }
}

TEST_F(TiffTest, TruncatedStripsGiveThePictureReadSoFar)
{
    std::vector<uint8_t> bytes = readFile(tiffcp("-c lzw -r 1", colourBase(), "rows.tif"));
    // tiffcp writes the strips before the directory; cut the last strips by
    // zeroing their data's tail instead of the directory.
    std::string path = dir.file("damaged.tif");
    uint32_t ifd = loadLE32(&bytes[4]);
    for (uint32_t i = ifd / 2; i < ifd; ++i)
        bytes[i] = 0xFF;
    writeFile(path, bytes);
    std::string message, compression;
    StderrCapture errors;
    ImageBlock block = testing::blockOf(readTiffPage(path, 0), message, compression);
    EXPECT_EQ(errors.text(), "");
    ASSERT_TRUE(block);
    EXPECT_EQ(block.height(), 30);
}

TEST_F(TiffTest, BigLzwFilesDecodeInParallelToTheSamePixels)
{
    // Big enough (over 4 MB of rows, hundreds of strips) for the strips to be
    // shared among threads.
    std::string source = dir.file("big.tif");
    run("convert rose: -resize 1300x1200! -depth 8 -compress none " + shellQuote(source));
    std::string lzw = tiffcp("-c lzw", source, "big-lzw.tif");
    auto expected = magickDecode(source);
    ASSERT_TRUE(expected);
    for (const std::string& path : {lzw, tiffcp("-c packbits", source, "big-packbits.tif")}) {
        ImageBlock block = load(path);
        ASSERT_TRUE(block);
        EXPECT_EQ(maxDifference(anyBlockToRgb(block), *expected), 0) << path;
    }

    // Damage from the middle of the strip data on: the rows before the first
    // bad strip are shown, all rows after it are black, as when reading row
    // by row.
    std::vector<uint8_t> bytes = readFile(lzw);
    uint32_t ifd = loadLE32(&bytes[4]);
    ASSERT_GT(ifd, bytes.size() / 2) << "tiffcp is expected to write the strips first";
    for (uint32_t i = ifd / 2; i < ifd; ++i)
        bytes[i] = 0xFF;
    std::string damaged = dir.file("big-damaged.tif");
    writeFile(damaged, bytes);
    std::string message, compression;
    StderrCapture errors;
    ImageBlock partial = testing::blockOf(readTiffPage(damaged, 0), message, compression);
    EXPECT_EQ(errors.text(), "");
    ASSERT_TRUE(partial);
    EXPECT_EQ(message, "Can't read from file");
    RgbImage pixels = anyBlockToRgb(partial);
    int firstBlack = -1;
    for (int y = 0; y < 1200 && firstBlack < 0; ++y) {
        bool black = true;
        for (int x = 0; x < 1300 && black; ++x)
            black = pixels.at(x, y)[0] == 0 && pixels.at(x, y)[1] == 0 && pixels.at(x, y)[2] == 0;
        if (black)
            firstBlack = y;
    }
    ASSERT_GT(firstBlack, 300);
    ASSERT_LT(firstBlack, 1000);
    for (int y = 0; y < firstBlack - 2; ++y)
        for (int x = 0; x < 1300; ++x)
            ASSERT_EQ(std::memcmp(pixels.at(x, y), expected->at(x, y), 3), 0) << x << "," << y;
    for (int y = firstBlack; y < 1200; ++y)
        for (int x = 0; x < 1300; ++x)
            ASSERT_EQ(pixels.at(x, y)[0] | pixels.at(x, y)[1] | pixels.at(x, y)[2], 0) << x << "," << y;
}


// Restores the default thread count when a test ends, whatever happens.
class ThreadLimit {
public:
    explicit ThreadLimit(unsigned limit) { setTiffThreadLimit(limit); }
    ~ThreadLimit() { setTiffThreadLimit(0); }
    ThreadLimit(const ThreadLimit&) = delete;
    ThreadLimit& operator=(const ThreadLimit&) = delete;
};

// Loads with at most `threads` threads; the message comes back too.
ImageBlock loadWithThreads(const std::string& path, unsigned threads, std::string& message)
{
    ThreadLimit limit(threads);
    std::string compression;
    StderrCapture errors;
    ImageBlock block = testing::blockOf(readTiffPage(path, 0), message, compression);
    EXPECT_EQ(errors.text(), "") << path;
    return block;
}

bool samePixels(const ImageBlock& a, const ImageBlock& b)
{
    if (!a || !b || a.width() != b.width() || a.height() != b.height() || a.bitCount() != b.bitCount())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<size_t>(a.rowSize())) != 0)
            return false;
    return true;
}

TEST_F(TiffTest, OneAndTwoThreadsReadStripFilesAlike)
{
    // Strips of 7 rows over 1203 rows: the last strip holds 6. Damaged
    // copies fail in the middle; both counts must stop at the same strip.
    std::string source = dir.file("odd.tif");
    run("convert rose: -resize 1301x1203! -depth 8 -compress none " + shellQuote(source));
    auto expected = magickDecode(source);
    ASSERT_TRUE(expected);
    for (const char* compression : {"lzw", "packbits"}) {
        SCOPED_TRACE(compression);
        std::string path = tiffcp(std::string("-r 7 -c ") + compression, source, std::string("odd-") + compression + ".tif");
        ASSERT_NE(run("tiffinfo " + shellQuote(path)).find("Rows/Strip: 7\n"), std::string::npos);
        std::string message;
        ImageBlock one = loadWithThreads(path, 1, message);
        ImageBlock two = loadWithThreads(path, 2, message);
        ASSERT_TRUE(one);
        EXPECT_TRUE(samePixels(one, two));
        EXPECT_EQ(maxDifference(anyBlockToRgb(one), *expected), 0);

        // One bad strip, an odd and an even one (each thread count shares
        // them out differently): the rows above it are kept, it and all
        // rows below are black. Its second half becomes codes past the
        // table for LZW, and for PackBits the do-nothing code -128, so that
        // its rows are never filled.
        std::vector<uint64_t> offsets, counts;
        {
            TIFF* tiff = TIFFOpen(path.c_str(), "r");
            ASSERT_NE(tiff, nullptr);
            uint64_t* stripOffsets = nullptr;
            uint64_t* stripCounts = nullptr;
            ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &stripOffsets));
            ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &stripCounts));
            offsets.assign(stripOffsets, stripOffsets + TIFFNumberOfStrips(tiff));
            counts.assign(stripCounts, stripCounts + TIFFNumberOfStrips(tiff));
            TIFFClose(tiff);
        }
        ASSERT_EQ(offsets.size(), 172u);
        for (int bad : {51, 52}) {
            std::vector<uint8_t> bytes = readFile(path);
            auto start = bytes.begin() + static_cast<std::ptrdiff_t>(offsets[bad] + counts[bad] / 2);
            std::fill(start, start + static_cast<std::ptrdiff_t>(counts[bad] - counts[bad] / 2),
                      std::string(compression) == "lzw" ? 0xFF : 0x80);
            std::string damaged = dir.file("odd-damaged.tif");
            writeFile(damaged, bytes);
            std::string messageOne, messageTwo;
            one = loadWithThreads(damaged, 1, messageOne);
            two = loadWithThreads(damaged, 2, messageTwo);
            ASSERT_TRUE(one);
            EXPECT_EQ(messageOne, "Can't read from file") << bad;
            EXPECT_EQ(messageTwo, "Can't read from file") << bad;
            EXPECT_TRUE(samePixels(one, two)) << bad;
            RgbImage pixels = anyBlockToRgb(two);
            for (int y = 0; y < 1203; ++y) {
                bool black = true;
                for (int x = 0; x < 1301 && black; ++x)
                    black = (pixels.at(x, y)[0] | pixels.at(x, y)[1] | pixels.at(x, y)[2]) == 0;
                bool same = std::memcmp(pixels.at(0, y), expected->at(0, y), 1301 * 3) == 0;
                ASSERT_TRUE(y < bad * 7 ? same : black) << bad << ": row " << y;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Writer

ImageBlock writerBlock(uint16_t bits)
{
    uint32_t colours = bits <= 8 ? 1u << bits : 0;
    ImageBlock block = makeBlock(37, 11, bits, colours);
    for (uint32_t i = 0; i < colours; ++i)
        block.setColor(i, static_cast<uint8_t>(i * 53), static_cast<uint8_t>(255 - i * 11), static_cast<uint8_t>(i * 3));
    if (bits == 1) {
        block.setColor(0, 0, 0, 0);
        block.setColor(1, 255, 255, 255);
    }
    for (int y = 0; y < 11; ++y) {
        uint8_t* row = block.topRow(y);
        for (int x = 0; x < 37; ++x) {
            uint32_t value = static_cast<uint32_t>(x * 7 + y * 13);
            if (bits == 1) {
                if ((x / 3 + y) % 2)
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            } else if (bits == 4) {
                row[x / 2] |= static_cast<uint8_t>((value % 16) << (x % 2 ? 0 : 4));
            } else if (bits == 8) {
                row[x] = static_cast<uint8_t>(value);
            } else {
                for (int c = 0; c < bits / 8; ++c)
                    row[x * (bits / 8) + c] = static_cast<uint8_t>(value * (c + 2));
            }
        }
    }
    block.setXPelsPerMeter(3780);
    block.setYPelsPerMeter(2835);
    return block;
}

TEST_F(TiffTest, WrittenFilesCarryTheTagsAndPixels)
{
    struct Case {
        uint16_t bits;
        int setting;
        const char* scheme;
        const char* photometric;
        bool colourMap;
        int tolerance;
    };
    const Case cases[] = {
        {1, 0, "None", "min-is-black", true, 0},
        {1, 1, "LZW", "min-is-black", true, 0},
        {1, 2, "PackBits", "min-is-black", true, 0},
        {1, 3, "CCITT Group 3", "min-is-black", true, 0},
        {1, 4, "CCITT Group 4", "min-is-black", true, 0},
        {1, 5, "CCITT RLE", "min-is-black", true, 0},
        {4, 0, "None", "palette", true, 0},
        {4, 1, "LZW", "palette", true, 0},
        {8, 2, "PackBits", "palette", true, 0},
        {8, 1, "LZW", "palette", true, 0},
        {24, 0, "None", "RGB", false, 0},
        {24, 1, "LZW", "RGB", false, 0},
        {24, 2, "PackBits", "RGB", false, 0},
        {24, 6, "JPEG", "RGB", false, 6},
        {32, 1, "LZW", "RGB", false, 0},
    };
    int index = 0;
    for (const Case& c : cases) {
        ImageBlock block = writerBlock(c.bits);
        std::string path = dir.file("w" + std::to_string(index++) + ".tif");
        std::string message;
        ASSERT_TRUE(testing::written(writeTiff(path, block, c.setting, 90), message)) << c.bits << "/" << c.setting << ": " << message;
        std::string info = run("tiffinfo " + shellQuote(path));
        SCOPED_TRACE(info);
        EXPECT_NE(info.find(std::string("Compression Scheme: ") + c.scheme + "\n"), std::string::npos);
        EXPECT_NE(info.find(std::string("Photometric Interpretation: ") + c.photometric), std::string::npos);
        EXPECT_NE(info.find("Software: Pictorand32"), std::string::npos);
        EXPECT_NE(info.find("Orientation: row 0 top, col 0 lhs"), std::string::npos);
        EXPECT_NE(info.find("Resolution: 3780, 2835"), std::string::npos);
        EXPECT_EQ(info.find("Color Map") != std::string::npos, c.colourMap);
        EXPECT_NE(info.find("Bits/Sample: " + std::to_string(c.bits > 8 ? 8 : c.bits)), std::string::npos);
        if (c.setting == 3 || c.setting == 4) {
            EXPECT_NE(info.find("Rows/Strip: 11"), std::string::npos);
        }
        auto decoded = magickDecode(path);
        ASSERT_TRUE(decoded);
        RgbImage expected = c.bits == 32 ? anyBlockToRgb(block) : blockToRgb(block);
        if (c.tolerance == 0)
            EXPECT_EQ(maxDifference(*decoded, expected), 0);
        else
            EXPECT_LT(meanDifference(*decoded, expected), c.tolerance);
    }
}

TEST_F(TiffTest, ColourMapValuesAreTableValuesTimes257)
{
    ImageBlock block = writerBlock(4);
    std::string path = dir.file("map.tif");
    std::string message;
    ASSERT_TRUE(testing::written(writeTiff(path, block, 0, 80), message));
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(red[i], block.colorTable()[i].red * 257);
        EXPECT_EQ(green[i], block.colorTable()[i].green * 257);
        EXPECT_EQ(blue[i], block.colorTable()[i].blue * 257);
    }
    TIFFClose(tiff);
}

TEST_F(TiffTest, OneBitBlockWithWhiteFirstStillLooksTheSame)
{
    ImageBlock block = writerBlock(1);
    block.setColor(0, 255, 255, 255);
    block.setColor(1, 0, 0, 0);
    std::string path = dir.file("inverted.tif");
    std::string message;
    ASSERT_TRUE(testing::written(writeTiff(path, block, 4, 80), message));
    EXPECT_NE(run("tiffinfo " + shellQuote(path)).find("min-is-black"), std::string::npos);
    auto decoded = magickDecode(path);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(maxDifference(*decoded, blockToRgb(block)), 0);
}

TEST_F(TiffTest, WriterRefusals)
{
    std::string path = dir.file("refused.tif");
    std::string message;
    EXPECT_FALSE(testing::written(writeTiff(path, writerBlock(8), 6, 80), message));
    EXPECT_EQ(message, "Only 24-BPP images can you save as TIFF-JPEG.");
    for (int setting : {3, 4, 5}) {
        EXPECT_FALSE(testing::written(writeTiff(path, writerBlock(4), setting, 80), message));
        EXPECT_EQ(message, "Incorrect Compression !\nThis in not a 1-BPP Image.");
    }
    EXPECT_FALSE(testing::written(writeTiff(path, makeBlock(4, 4, 48, 0), 0, 80), message));
    EXPECT_EQ(message, "Can't save !");
    EXPECT_FALSE(testing::written(writeTiff(path, writerBlock(24), 7, 80), message));
    EXPECT_FALSE(testing::written(writeTiff(dir.file("no/folder.tif"), writerBlock(24), 0, 80), message));
    EXPECT_EQ(message, "Can't save !");
    StderrCapture errors;
    EXPECT_FALSE(testing::written(writeTiff("/dev/full", writerBlock(24), 0, 80), message));
    EXPECT_EQ(errors.text(), "");
}

TEST_F(TiffTest, BigFilesAreWrittenWithStripsCompressedInParallel)
{
    // Over 4 MB of rows in hundreds of strips: the strips are compressed by
    // several threads; the file must be an ordinary one with every strip in
    // its place.
    std::string source = dir.file("big-source.tif");
    run("convert rose: -resize 1300x1200! -depth 8 -compress none " + shellQuote(source));
    std::string message, compression;
    ImageBlock block = testing::blockOf(readTiffPage(source, 0), message, compression);
    ASSERT_TRUE(block) << message;
    auto expected = magickDecode(source);
    ASSERT_TRUE(expected);
    for (int setting : {1, 2}) {
        std::string path = dir.file("big-out" + std::to_string(setting) + ".tif");
        ASSERT_TRUE(testing::written(writeTiff(path, block, setting, 80), message)) << message;
        std::string info = run("tiffinfo " + shellQuote(path));
        EXPECT_NE(info.find(setting == 1 ? "Compression Scheme: LZW" : "Compression Scheme: PackBits"), std::string::npos);
        EXPECT_NE(info.find("Rows/Strip: 2\n"), std::string::npos) << info;
        auto decoded = magickDecode(path);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(maxDifference(*decoded, *expected), 0) << setting;
        // The same bytes as tiffcp's own compression of the same rows.
        std::string reference = tiffcp(setting == 1 ? "-c lzw" : "-c packbits", path, "ref" + std::to_string(setting) + ".tif");
        EXPECT_EQ(run("tiffcmp " + shellQuote(path) + " " + shellQuote(reference) + " && echo same"), "same\n");
    }
}

// A picture with noise, gradients and flat runs, so that both codecs have
// work of every kind.
ImageBlock busyBlock(int width, int height, uint16_t bits)
{
    ImageBlock block = makeBlock(width, height, bits, 0);
    uint32_t state = 12345;
    const int step = bits / 8;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = block.topRow(y);
        for (int x = 0; x < width * step; ++x) {
            state = state * 1103515245u + 12345u;
            // Bands of 300 rows, so that whole strips are noise and
            // compress to more than the library's output buffer holds.
            int kind = (x / 4096 + y / 300) % 3;
            if (kind == 0)
                row[x] = static_cast<uint8_t>(y); // runs
            else if (kind == 1)
                row[x] = static_cast<uint8_t>(x + y * 3 + (state >> 30)); // gradients with a little noise
            else
                row[x] = static_cast<uint8_t>(state >> 24); // noise
        }
    }
    return block;
}

TEST_F(TiffTest, OneAndTwoThreadsWriteTheSameBytes)
{
    // One thread writes row by row; two compress strips in chunks. Shapes:
    // one-row strips of a wide picture, and many-row strips of a narrow one
    // with a short last strip and strips that compress to more than the
    // library's output buffer holds.
    struct Case {
        int width;
        int height;
        uint16_t bits;
        const char* rowsPerStrip;
    };
    const Case cases[] = {
        {3001, 503, 24, "Rows/Strip: 1\n"},
        {100, 14001, 24, "Rows/Strip: 27\n"},
        {1500, 701, 32, "Rows/Strip: 1\n"},
    };
    for (const Case& c : cases) {
        ImageBlock block = busyBlock(c.width, c.height, c.bits);
        for (int setting : {1, 2}) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " setting " + std::to_string(setting));
            std::string message;
            std::string one = dir.file("one.tif");
            std::string two = dir.file("two.tif");
            {
                ThreadLimit limit(1);
                ASSERT_TRUE(testing::written(writeTiff(one, block, setting, 80), message)) << message;
            }
            {
                ThreadLimit limit(2);
                ASSERT_TRUE(testing::written(writeTiff(two, block, setting, 80), message)) << message;
            }
            EXPECT_TRUE(readFile(one) == readFile(two));
            std::string info = run("tiffinfo " + shellQuote(two));
            EXPECT_NE(info.find(c.rowsPerStrip), std::string::npos) << info;
            auto decoded = magickDecode(two);
            ASSERT_TRUE(decoded);
            EXPECT_EQ(maxDifference(*decoded, anyBlockToRgb(block)), 0);
        }
    }
}

TEST_F(TiffTest, WritingOverALongerFileLeavesNothingOfIt)
{
    std::string path = dir.file("over.tif");
    std::string fresh = dir.file("fresh.tif");
    std::string message;
    writeFile(path, std::vector<uint8_t>(100000, 0xAB));
    ASSERT_TRUE(testing::written(writeTiff(path, writerBlock(8), 1, 80), message));
    ASSERT_TRUE(testing::written(writeTiff(fresh, writerBlock(8), 1, 80), message));
    EXPECT_TRUE(readFile(path) == readFile(fresh));
}

TEST_F(TiffTest, WriterRoundTripsThroughTheReader)
{
    for (uint16_t bits : {uint16_t(1), uint16_t(4), uint16_t(8), uint16_t(24)}) {
        ImageBlock block = writerBlock(bits);
        std::string path = dir.file("round" + std::to_string(bits) + ".tif");
        std::string message;
        ASSERT_TRUE(testing::written(writeTiff(path, block, 1, 80), message));
        ImageBlock again = load(path);
        ASSERT_TRUE(again);
        EXPECT_EQ(maxDifference(blockToRgb(again), blockToRgb(block)), 0) << bits;
        EXPECT_EQ(again.xPelsPerMeter(), 3780);
    }
}

} // namespace
} // namespace pictorand
