#include "codecs/jpeg/jpeg.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using namespace pictorand::testing;

class JpegTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("cjpeg", "djpeg", "convert");
    }
    std::string makeColourPpm(const std::string& name, int width = 120, int height = 80)
    {
        std::string path = dir.file(name);
        runCommand("convert rose: -resize " + std::to_string(width) + "x" + std::to_string(height) + "! -depth 8 ppm:"
                   + shellQuote(path));
        return path;
    }
    std::string makeJpeg(const std::string& name, const std::string& cjpegOptions, int width = 120, int height = 80)
    {
        std::string ppm = makeColourPpm(name + ".ppm", width, height);
        std::string path = dir.file(name);
        EXPECT_EQ(runCommand("cjpeg " + cjpegOptions + " " + shellQuote(ppm) + " > " + shellQuote(path)), 0);
        return path;
    }
    // What djpeg decodes with the reader's settings (fast integer DCT, no
    // fancy upsampling).
    RgbImage djpeg(const std::string& path, const std::string& options = "")
    {
        std::string out = path + ".djpeg.pnm";
        EXPECT_EQ(runCommand("djpeg -dct fast -nosmooth " + options + " -outfile " + shellQuote(out) + " "
                             + shellQuote(path)),
                  0);
        auto image = readPnm(out);
        EXPECT_TRUE(image.has_value());
        return image.value_or(RgbImage{});
    }
    ScratchDir dir;
};

void expectGreyRamp(const ImageBlock& block)
{
    ASSERT_EQ(block.colorsUsed(), 256u);
    for (uint32_t i = 0; i < 256; ++i) {
        auto grey = static_cast<uint8_t>(i);
        ASSERT_EQ(block.colorTable()[i], (ColorEntry{grey, grey, grey, 0})) << i;
    }
}

TEST_F(JpegTest, ColourFileDecodesToTheLibrarysPixelsInBlueGreenRed)
{
    std::string path = makeJpeg("colour.jpg", "-quality 90");
    std::string message;
    ImageBlock block = testing::blockOf(readJpeg(path, {}), message);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 24);
    EXPECT_EQ(block.colorsUsed(), 0u);
    EXPECT_EQ(block.xPelsPerMeter(), 0);
    EXPECT_EQ(maxDifference(blockToRgb(block), djpeg(path)), 0);
}

struct FlagCase {
    bool loadGreyscale;
    bool quantise;
};

class JpegGreyFileTest : public JpegTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(JpegGreyFileTest, GreyscaleFileIsAlwaysEightBitWithRamp)
{
    std::string path = makeJpeg("grey.jpg", "-grayscale");
    JpegReadOptions options;
    options.loadGreyscale = GetParam().loadGreyscale;
    options.quantise256 = GetParam().quantise;
    std::string message;
    ImageBlock block = testing::blockOf(readJpeg(path, options), message);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 8);
    expectGreyRamp(block);
    EXPECT_EQ(maxDifference(blockToRgb(block), djpeg(path)), 0);
}

INSTANTIATE_TEST_SUITE_P(AllFlags, JpegGreyFileTest,
                         ::testing::Values(FlagCase{false, false}, FlagCase{true, false}, FlagCase{false, true},
                                           FlagCase{true, true}));

TEST_F(JpegTest, LoadGreyscaleTurnsColourFileGreyEvenOnPaletteDisplay)
{
    std::string path = makeJpeg("colour.jpg", "");
    JpegReadOptions options;
    options.loadGreyscale = true;
    options.quantise256 = true; // dropped: no quantisation runs
    std::string message;
    ImageBlock block = testing::blockOf(readJpeg(path, options), message);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 8);
    expectGreyRamp(block);
    EXPECT_EQ(maxDifference(blockToRgb(block), djpeg(path, "-grayscale")), 0);
}

TEST_F(JpegTest, PaletteDisplayGivesQuantisersColoursThenZeros)
{
    // Few distinct colours, so the quantiser makes fewer than 256.
    std::string ppm = dir.file("flat.ppm");
    runCommand("convert -size 64x64 xc:red -fill blue -draw 'rectangle 32,0 63,63' -depth 8 ppm:" + shellQuote(ppm));
    std::string path = dir.file("flat.jpg");
    ASSERT_EQ(runCommand("cjpeg -quality 95 " + shellQuote(ppm) + " > " + shellQuote(path)), 0);
    JpegReadOptions options;
    options.quantise256 = true;
    std::string message;
    ImageBlock block = testing::blockOf(readJpeg(path, options), message);
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 8);
    ASSERT_EQ(block.colorsUsed(), 256u);
    // The picture is the library's two-pass, Floyd-Steinberg result.
    EXPECT_EQ(maxDifference(blockToRgb(block), djpeg(path, "-colors 256 -dither fs")), 0);
    uint32_t used = 0;
    while (used < 256 && !(block.colorTable()[used] == ColorEntry{}))
        ++used;
    EXPECT_GT(used, 1u);
    EXPECT_LT(used, 256u);
    for (uint32_t i = used; i < 256; ++i)
        EXPECT_EQ(block.colorTable()[i], ColorEntry{}) << i;
    for (int y = 0; y < block.height(); ++y)
        for (int x = 0; x < block.width(); ++x)
            ASSERT_LT(block.topRow(y)[x], used);
}

TEST(JpegScaleRule, DenominatorForPreviewWidth)
{
    struct Case {
        int imageWidth;
        int target;
        int denominator;
    };
    const Case cases[] = {
        {1600, 160, 8}, // 200 >= 150
        {1000, 160, 4}, {165, 160, 1}, {170, 160, 1}, {171, 160, 4}, {1200, 160, 8}, {1199, 160, 4},
        {5000, 0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(jpegScaleDenominator(c.imageWidth, c.target), c.denominator) << c.imageWidth << " @ " << c.target;
}

TEST(JpegScaleRule, ThumbnailDenominatorKeepsTheLongerSide)
{
    struct Case {
        int width, height, side, denominator;
    };
    const Case cases[] = {
        {6000, 4000, 256, 8}, {6000, 4000, 1000, 4}, {4000, 6000, 1000, 4}, {2000, 3000, 375, 8},
        {2000, 3000, 376, 4}, {1000, 800, 500, 2},  {1000, 800, 501, 1},   {100, 50, 400, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(jpegThumbnailDenominator(c.width, c.height, c.side), c.denominator)
            << c.width << "x" << c.height << " @ " << c.side;
}

TEST_F(JpegTest, PreviewDecodesAtReducedSize)
{
    struct Case {
        int width;
        int expectedWidth;
    };
    for (Case c : {Case{1600, 200}, Case{1000, 250}, Case{165, 165}}) {
        std::string path = makeJpeg("wide" + std::to_string(c.width) + ".jpg", "", c.width, 16);
        JpegReadOptions options;
        options.targetWidth = 160;
        std::string message;
        ImageBlock block = testing::blockOf(readJpeg(path, options), message);
        ASSERT_TRUE(block) << message;
        EXPECT_EQ(block.width(), c.expectedWidth) << c.width;
    }
}

TEST_F(JpegTest, CmykFilesFromImageMagickLookRight)
{
    for (const char* name : {"cmyk.jpg", "cmyk-sampled.jpg"}) {
        std::string path = dir.file(name);
        std::string extra = std::string(name) == "cmyk.jpg" ? "" : " -sampling-factor 2x2,1x1,1x1,2x2";
        ASSERT_EQ(runCommand("convert rose: -resize 120x80! -colorspace CMYK -quality 95" + extra + " "
                             + shellQuote(path)),
                  0);
        std::string message;
        ImageBlock block = testing::blockOf(readJpeg(path, {}), message);
        ASSERT_TRUE(block) << message;
        EXPECT_EQ(block.bitCount(), 24);
        auto reference = magickDecode(path);
        ASSERT_TRUE(reference);
        RgbImage ours = blockToRgb(block);
        EXPECT_LT(meanDifference(ours, *reference), 3.0) << name;
        EXPECT_LE(maxDifference(ours, *reference), 48) << name;

        JpegReadOptions grey;
        grey.loadGreyscale = true;
        ImageBlock greyBlock = testing::blockOf(readJpeg(path, grey), message);
        ASSERT_TRUE(greyBlock) << message;
        EXPECT_EQ(greyBlock.bitCount(), 8);
        expectGreyRamp(greyBlock);
    }
}

// Pillow stores CMYK with the Adobe mark (inverted samples, no transform);
// cut out, the file still decodes as ImageMagick and Pillow decode it.
TEST_F(JpegTest, PillowCmykFilesWithAndWithoutTheAdobeMarkLookRight)
{
    REQUIRE_PILLOW();
    const std::string source = makeColourPpm("rose.ppm");
    for (bool marked : {true, false}) {
        const std::string path = dir.file(marked ? "marked.jpg" : "unmarked.jpg");
        const std::string pillow = path + ".pillow.ppm";
        const std::string script = "from PIL import Image\n"
                                   "Image.open('" + source + "').convert('CMYK').save('" + path + "', quality=95)\n"
                                   "data = open('" + path + "', 'rb').read()\n"
                                   "at = data.index(b'Adobe') - 4\n"
                                   "if " + (marked ? "False" : "True") + ":\n"
                                   "    data = data[:at] + data[at + 2 + int.from_bytes(data[at + 2:at + 4], 'big'):]\n"
                                   "open('" + path + "', 'wb').write(data)\n"
                                   "Image.open('" + path + "').convert('RGB').save('" + pillow + "')\n";
        writeFile(dir.file("make.py"), std::vector<uint8_t>(script.begin(), script.end()));
        ASSERT_EQ(runCommand("/usr/bin/python3 " + shellQuote(dir.file("make.py"))), 0);
        std::string message;
        ImageBlock block = testing::blockOf(readJpeg(path, {}), message);
        ASSERT_TRUE(block) << message;
        auto magick = magickDecode(path);
        auto reference = readPnm(pillow);
        ASSERT_TRUE(magick && reference);
        EXPECT_GE(psnr(blockToRgb(block), *magick), 30.0) << marked;
        EXPECT_GE(psnr(blockToRgb(block), *reference), 30.0) << marked;
    }
}

// A CMYK file with its own CMYK profile (SWOP from Ghostscript) turns into
// sRGB through that profile, as jpgicc converts it; without colour
// management it takes the ink formula, visibly further off.
TEST_F(JpegTest, CmykFileWithItsProfileLooksAsJpgiccConvertsIt)
{
    const std::string icc = testing::kGhostscriptProfiles;
    REQUIRE_FILE(icc + "default_cmyk.icc", "libgs-common");
    REQUIRE_TOOLS("jpgicc");
    const std::string path = dir.file("swop.jpg");
    const std::string reference = dir.file("reference.jpg");
    ASSERT_EQ(runCommand("convert rose: -resize 120x80! -profile " + icc + "srgb.icc -profile " + icc
                         + "default_cmyk.icc -quality 98 " + shellQuote(path)),
              0);
    ASSERT_EQ(runCommand("jpgicc -q 100 " + shellQuote(path) + " " + shellQuote(reference) + " >/dev/null"), 0);
    const RgbImage expected = djpeg(reference);
    Result<DecodedImage> managed = readJpeg(path, {});
    ASSERT_TRUE(managed);
    EXPECT_TRUE(managed->iccProfile.empty()); // applied: nothing left for the dispatcher
    JpegReadOptions unmanaged;
    unmanaged.colourProfile = false;
    Result<DecodedImage> formula = readJpeg(path, unmanaged);
    ASSERT_TRUE(formula);
    const double managedDifference = meanDifference(blockToRgb(managed->block), expected);
    EXPECT_LT(managedDifference, 2.0);
    EXPECT_GT(meanDifference(blockToRgb(formula->block), expected), 4 * managedDifference);
}

TEST_F(JpegTest, WriterOutputCheckedWithIndependentTools)
{
    ImageBlock block = makeBlock(40, 24, 24, 0);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            uint8_t* p = block.topRow(y) + x * 3;
            p[0] = static_cast<uint8_t>(x * 6); // blue grows to the right
            p[1] = 128;
            p[2] = static_cast<uint8_t>(y * 10); // red grows downwards
        }
    struct Case {
        JpegWriteOptions options;
        const char* interlace;
        const char* colourspace;
    };
    const Case cases[] = {
        {{false, 95, false}, "None", "sRGB"},
        {{false, 95, true}, "JPEG", "sRGB"},
        {{true, 80, false}, "None", "Gray"},
        {{true, 80, true}, "JPEG", "Gray"},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::string path = dir.file("out" + std::to_string(index++) + ".jpg");
        ASSERT_TRUE(writeJpeg(path, block, c.options));
        std::string described;
        runCommand("identify -format '%[interlace] %[colorspace] %[channels]' " + shellQuote(path), &described);
        EXPECT_EQ(described.substr(0, described.find(' ')), c.interlace) << described;
        EXPECT_NE(described.find(c.colourspace), std::string::npos) << described;
        if (!c.options.greyscale) {
            auto decoded = magickDecode(path);
            ASSERT_TRUE(decoded);
            EXPECT_LT(meanDifference(*decoded, blockToRgb(block)), 2.0);
            // Red is at the bottom left, blue at the top right: the picture is
            // the right way up and round.
            EXPECT_GT(decoded->at(0, 23)[0], 200);
            EXPECT_GT(decoded->at(39, 0)[2], 200);
        }
    }
}

TEST_F(JpegTest, EightBitBlockIsWrittenThroughItsColourTable)
{
    ImageBlock block = makeBlock(16, 16, 8, 3);
    block.setColor(0, 255, 0, 0);
    block.setColor(1, 0, 0, 255);
    block.setColor(2, 255, 255, 255);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            block.topRow(y)[x] = static_cast<uint8_t>(y < 8 ? 0 : (x < 8 ? 1 : 3)); // 3: beyond the table, black
    std::string path = dir.file("palette.jpg");
    ASSERT_TRUE(writeJpeg(path, block, {false, 95, false}));
    auto decoded = magickDecode(path);
    ASSERT_TRUE(decoded);
    auto near = [](const uint8_t* p, int r, int g, int b) {
        return std::abs(p[0] - r) < 24 && std::abs(p[1] - g) < 24 && std::abs(p[2] - b) < 24;
    };
    EXPECT_TRUE(near(decoded->at(2, 2), 255, 0, 0));
    EXPECT_TRUE(near(decoded->at(2, 13), 0, 0, 255));
    EXPECT_TRUE(near(decoded->at(13, 13), 0, 0, 0));
}

TEST_F(JpegTest, WriterRefusesWhatItCannotWrite)
{
    std::string path = dir.file("refused.jpg");
    EXPECT_FALSE(writeJpeg(path, ImageBlock(), {}));
    EXPECT_FALSE(writeJpeg(path, makeBlock(8, 8, 1, 2), {}));
    EXPECT_FALSE(writeJpeg(path, makeBlock(8, 8, 4, 16), {}));
    EXPECT_FALSE(writeJpeg(dir.file("no/such/folder/x.jpg"), makeBlock(8, 8, 24, 0), {}));
    StderrCapture errors;
    EXPECT_FALSE(writeJpeg("/dev/full", makeBlock(64, 64, 24, 0), {}));
    EXPECT_EQ(errors.text(), "");
}

// A 1x1 greyscale JPEG: cjpeg -grayscale -optimize of one mid-grey pixel.
constexpr uint8_t kTinyGreyJpeg[] = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x08, 0x06, 0x06, 0x07, 0x06, 0x05, 0x08, 0x07, 0x07, 0x07, 0x09,
    0x09, 0x08, 0x0A, 0x0C, 0x14, 0x0D, 0x0C, 0x0B, 0x0B, 0x0C, 0x19, 0x12, 0x13, 0x0F, 0x14, 0x1D, 0x1A, 0x1F,
    0x1E, 0x1D, 0x1A, 0x1C, 0x1C, 0x20, 0x24, 0x2E, 0x27, 0x20, 0x22, 0x2C, 0x23, 0x1C, 0x1C, 0x28, 0x37, 0x29,
    0x2C, 0x30, 0x31, 0x34, 0x34, 0x34, 0x1F, 0x27, 0x39, 0x3D, 0x38, 0x32, 0x3C, 0x2E, 0x33, 0x34, 0x32, 0xFF,
    0xC0, 0x00, 0x0B, 0x08, 0x00, 0x01, 0x00, 0x01, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xC4,
    0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x1F, 0xFF, 0xD9,
};
static_assert(sizeof(kTinyGreyJpeg) == 159);
constexpr size_t kSofHeightOffset = 94; // high byte of the frame height

ImageBlock readBytes(const ScratchDir& dir, const std::vector<uint8_t>& bytes, std::string& message,
                     std::string& stderrText)
{
    std::string path = dir.file("input.jpg");
    writeFile(path, bytes);
    StderrCapture errors;
    ImageBlock block = testing::blockOf(readJpeg(path, {}), message);
    stderrText = errors.text();
    return block;
}

TEST(JpegMalformed, TinyFileReadsAsOnePixel)
{
    ScratchDir dir;
    std::string message, stderrText;
    ImageBlock block = readBytes(dir, {std::begin(kTinyGreyJpeg), std::end(kTinyGreyJpeg)}, message, stderrText);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.width(), 1);
    EXPECT_EQ(block.height(), 1);
    EXPECT_EQ(stderrText, "");
}

TEST(JpegMalformed, HeaderFailuresEndWithTheLibrarysMessage)
{
    ScratchDir dir;
    std::vector<uint8_t> tiny(std::begin(kTinyGreyJpeg), std::end(kTinyGreyJpeg));
    std::vector<uint8_t> zeroHeight = tiny;
    zeroHeight[kSofHeightOffset] = 0;
    zeroHeight[kSofHeightOffset + 1] = 0;
    std::vector<uint8_t> cutInHeader(tiny.begin(), tiny.begin() + 40);
    std::vector<uint8_t> notJpeg = {'J', 'U', 'N', 'K', 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> empty;
    for (const auto& bytes : {zeroHeight, cutInHeader, notJpeg, empty}) {
        std::string message, stderrText;
        ImageBlock block = readBytes(dir, bytes, message, stderrText);
        EXPECT_FALSE(block);
        EXPECT_FALSE(message.empty());
        EXPECT_NE(message, "This is not a valid JPEG/JFIF file !"); // the library's own words replace it
        EXPECT_EQ(stderrText, "");
    }
}

TEST(JpegMalformed, TruncatedScanStillGivesThePictureQuietly)
{
    ScratchDir dir;
    std::string ppm = dir.file("p.ppm");
    std::string jpeg = dir.file("p.jpg");
    runCommand("convert rose: -depth 8 ppm:" + shellQuote(ppm) + " && cjpeg " + shellQuote(ppm) + " > " + shellQuote(jpeg));
    std::vector<uint8_t> bytes = readFile(jpeg);
    ASSERT_GT(bytes.size(), 1000u);
    bytes.resize(bytes.size() / 2);
    std::string message, stderrText;
    ImageBlock block = readBytes(dir, bytes, message, stderrText);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.width(), 70);
    EXPECT_EQ(message, "Premature end of JPEG file"); // the warning: only part was read
    EXPECT_EQ(stderrText, "");
}

TEST(JpegMalformed, TruncatedProgressiveFileShowsEveryScanItHolds)
{
    REQUIRE_TOOLS("cjpeg", "djpeg");
    ScratchDir dir;
    std::string ppm = dir.file("p.ppm");
    std::string jpeg = dir.file("p.jpg");
    runCommand("convert rose: -resize 140x92! -depth 8 ppm:" + shellQuote(ppm) + " && cjpeg -progressive "
               + shellQuote(ppm) + " > " + shellQuote(jpeg));
    std::vector<uint8_t> bytes = readFile(jpeg);
    bytes.resize(bytes.size() * 6 / 10);
    std::string message, stderrText;
    ImageBlock block = readBytes(dir, bytes, message, stderrText);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(message, "Premature end of JPEG file");
    EXPECT_EQ(stderrText, "");
    // The library's own picture of the truncated file, bottom rows included.
    std::string truncated = dir.file("input.jpg");
    std::string out = dir.file("t.ppm");
    int status = runCommand("djpeg -dct fast -nosmooth -outfile " + shellQuote(out) + " " + shellQuote(truncated)
                            + " 2>/dev/null");
    ASSERT_TRUE(status == 0 || status == 2) << status; // 2: finished with warnings
    auto expected = readPnm(out);
    ASSERT_TRUE(expected);
    EXPECT_EQ(maxDifference(blockToRgb(block), *expected), 0);
}

// Files Pillow wrote with each EXIF orientation (tests/fixtures/make-fixtures.sh).
TEST(JpegMetadata, ReportsTheExifOrientationPillowWrote)
{
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string path =
            std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/orientation/" + std::to_string(orientation) + ".jpg";
        Result<DecodedImage> read = readJpeg(path, {});
        ASSERT_TRUE(read) << path;
        EXPECT_EQ(read->orientation, orientation);
        EXPECT_TRUE(read->iccProfile.empty());
    }
}

TEST(JpegMetadata, ReportsTheProfileJpgiccEmbedded)
{
    const std::string profile = std::string(testing::kGhostscriptProfiles) + "a98.icc";
    REQUIRE_FILE(profile, "libgs-common");
    Result<DecodedImage> read = readJpeg(std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/colour/rose-a98.jpg", {});
    ASSERT_TRUE(read);
    EXPECT_EQ(read->iccProfile, readFile(profile));
}

TEST(JpegMalformed, MissingFile)
{
    std::string message;
    EXPECT_FALSE(testing::blockOf(readJpeg("/nonexistent/x.jpg", {}), message));
    EXPECT_EQ(message, "Can't open file for reading !");
}

} // namespace
} // namespace pictorand
