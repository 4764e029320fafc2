// Cross-checks with independent tools: files ImageMagick and netpbm write
// decode to the pixels ImageMagick decodes from them, and the files we write
// are read back by ImageMagick with the same pixels.

#include "tests/codecs/bmp/bmp_test_files.h"

#include <gtest/gtest.h>

namespace pictorand::testing {
namespace {

struct ToolCase {
    const char* name;
    const char* tool;    // the program the case needs
    const char* command; // run in the scratch folder; writes in.bmp
    int bitCount;
    const char* compression;
    // ImageMagick widens 5- and 6-bit samples by repeating their bits and
    // blends alpha its own way; we round (netpbm and Pillow truncate).
    int tolerance = 0;
};

class MadeByTool : public ::testing::TestWithParam<ToolCase> {};

TEST_P(MadeByTool, DecodesAsImageMagickDoesAndWritesWhatItReads)
{
    const ToolCase& param = GetParam();
    REQUIRE_TOOLS(param.tool, "convert", "identify");
    ScratchDir dir;
    ASSERT_EQ(runCommand("cd " + shellQuote(dir.path()) + " && (" + param.command + ") 2>/dev/null"), 0)
        << param.command;
    std::string input = dir.file("in.bmp");

    Result<DecodedImage> read = readBmp(input);
    ASSERT_TRUE(read) << read.text();
    ImageBlock& block = read->block;
    EXPECT_EQ(block.bitCount(), param.bitCount);
    EXPECT_EQ(read->compression, param.compression);
    auto reference = magickDecode(input, /*overWhite=*/true);
    ASSERT_TRUE(reference);
    RgbImage ours = blockToRgb(block);
    EXPECT_LE(maxDifference(ours, *reference), param.tolerance);
    EXPECT_GE(maxDifference(ours, *reference), 0);

    std::string output = dir.file("out.bmp");
    Status saved = writeBmp(output, block);
    ASSERT_TRUE(saved) << saved.text();
    auto written = magickDecode(output);
    ASSERT_TRUE(written);
    EXPECT_EQ(maxDifference(*written, ours), 0);
}

#define MAGICK(variant, options) "convert rose: " options " " variant ":in.bmp"
#define ALPHA_MASKS(arguments) "python3 " PICTORAND_SOURCE_DIR "/tests/codecs/bmp/make-alpha-bitfields.py " arguments
#define NETPBM(source, options) "convert rose: " source " && ppmtobmp " options " in.pnm > in.bmp"

INSTANTIATE_TEST_SUITE_P(
    ImageMagick, MadeByTool,
    ::testing::Values(
        ToolCase{"Os2Mono", "convert", MAGICK("BMP2", "-colors 2 -type palette"), 1, "None - OS/2 BMP"},
        ToolCase{"Os2Sixteen", "convert", MAGICK("BMP2", "-colors 16 -type palette"), 4, "None - OS/2 BMP"},
        ToolCase{"Os2Palette", "convert", MAGICK("BMP2", "-type palette"), 8, "None - OS/2 BMP"},
        ToolCase{"Os2TrueColour", "convert", MAGICK("BMP2", "-type truecolor"), 24, "None - OS/2 BMP"},
        ToolCase{"WindowsMono", "convert", MAGICK("BMP3", "-colors 2 -type palette"), 1, "None"},
        ToolCase{"WindowsSixteen", "convert", MAGICK("BMP3", "-colors 16 -type palette -compress none"), 4, "None"},
        ToolCase{"WindowsPalette", "convert", MAGICK("BMP3", "-type palette -compress none"), 8, "None"},
        ToolCase{"WindowsTrueColour", "convert", MAGICK("BMP3", "-type truecolor"), 24, "None"},
        ToolCase{"WindowsRle8", "convert", MAGICK("BMP3", "-type palette -compress RLE"), 8,
                 "Run Length Encoding, RLE8"},
        ToolCase{"WindowsRle8Gradient", "convert",
                 "convert -size 97x31 gradient:navy-orange -type palette -compress RLE BMP3:in.bmp", 8,
                 "Run Length Encoding, RLE8"},
        ToolCase{"V5Mono", "convert", MAGICK("BMP", "-colors 2 -type palette"), 1, "None"},
        ToolCase{"V5Sixteen", "convert", MAGICK("BMP", "-colors 16 -type palette -compress none"), 4, "None"},
        ToolCase{"V5Palette", "convert", MAGICK("BMP", "-type palette -compress none"), 8, "None"},
        ToolCase{"V5TrueColour", "convert", MAGICK("BMP", "-type truecolor"), 24, "None"},
        ToolCase{"V5Rle8", "convert", MAGICK("BMP", "-type palette -compress RLE"), 8, "Run Length Encoding, RLE8"},
        ToolCase{"V5Rgb565", "convert", MAGICK("BMP", "-define bmp:subtype=RGB565"), 24, "Bit fields", 1},
        ToolCase{"V5Rgb555", "convert", MAGICK("BMP", "-define bmp:subtype=RGB555"), 24, "Bit fields", 1},
        ToolCase{"V5Alpha", "convert", MAGICK("BMP", "-alpha set -channel A -fx i/w +channel"), 24, "Bit fields", 1},
        // The alpha mask in every place, in version 4 and in 56-byte headers.
        ToolCase{"AlphaMaskLow", "python3", ALPHA_MASKS("108 FF000000 FF0000 FF00 FF"), 24, "Bit fields", 1},
        ToolCase{"AlphaMaskBgra", "python3", ALPHA_MASKS("108 FF00 FF0000 FF000000 FF"), 24, "Bit fields", 1},
        ToolCase{"AlphaMaskAbgr", "python3", ALPHA_MASKS("108 FF FF00 FF0000 FF000000"), 24, "Bit fields", 1},
        ToolCase{"AlphaMaskIn56ByteHeader", "python3", ALPHA_MASKS("56 FF000000 FF0000 FF00 FF"), 24, "Bit fields",
                 1}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Netpbm, MadeByTool,
    ::testing::Values(
        ToolCase{"WindowsMono", "ppmtobmp", NETPBM("-monochrome pbm:in.pnm", "-windows"), 1, "None"},
        ToolCase{"WindowsSixteen", "ppmtobmp", NETPBM("-colors 16 ppm:in.pnm", "-windows"), 4, "None"},
        ToolCase{"WindowsPalette", "ppmtobmp", NETPBM("-colors 200 ppm:in.pnm", "-windows"), 8, "None"},
        ToolCase{"WindowsTrueColour", "ppmtobmp", NETPBM("ppm:in.pnm", "-windows"), 24, "None"},
        ToolCase{"Os2Mono", "ppmtobmp", NETPBM("-monochrome pbm:in.pnm", "-os2"), 1, "None - OS/2 BMP"},
        ToolCase{"Os2Sixteen", "ppmtobmp", NETPBM("-colors 16 ppm:in.pnm", "-os2"), 4, "None - OS/2 BMP"},
        ToolCase{"Os2Palette", "ppmtobmp", NETPBM("-colors 200 ppm:in.pnm", "-os2"), 8, "None - OS/2 BMP"},
        ToolCase{"Os2TrueColour", "ppmtobmp", NETPBM("ppm:in.pnm", "-os2"), 24, "None - OS/2 BMP"}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

} // namespace
} // namespace pictorand::testing
