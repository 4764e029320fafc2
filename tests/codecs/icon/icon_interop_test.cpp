// Icons written by ImageMagick and netpbm read by us, and icons we write read
// by ImageMagick and by us.

#include "codecs/icon/icon.h"
#include "core/byte_order.h"
#include "ops/depth_conversion.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand::testing {
namespace {

// ImageMagick's decoding of one image of a file, laid on white.
std::optional<RgbImage> magickOnWhite(const std::string& path, int index, const ScratchDir& dir)
{
    std::string ppm = dir.file("flat.ppm");
    if (runCommand("convert " + shellQuote(path + "[" + std::to_string(index) + "]")
                   + " -background white -alpha remove -alpha off -depth 8 " + shellQuote(ppm) + " 2>/dev/null")
        != 0)
        return std::nullopt;
    return magickDecode(ppm);
}

ImageBlock readIndex(const std::string& path, int index, std::string& message)
{
    return testing::blockOf(readIcon(path, IconReadOptions{nullptr, index}), message);
}

// Our block as RGB, depths above 24 first normalised as the load does.
RgbImage shownRgb(const ImageBlock& block)
{
    if (block.bitCount() > 24 || block.bitCount() == 16)
        return blockToRgb(*normaliseDepth(block));
    return blockToRgb(block);
}

// Where two pictures of one size first differ, for the failure message.
std::string firstDifference(const RgbImage& a, const RgbImage& b)
{
    if (a.width != b.width || a.height != b.height)
        return "sizes differ";
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (!std::equal(a.at(x, y), a.at(x, y) + 3, b.at(x, y))) {
                char text[96];
                std::snprintf(text, sizeof text, "at %d,%d: %d %d %d against %d %d %d", x, y, a.at(x, y)[0],
                              a.at(x, y)[1], a.at(x, y)[2], b.at(x, y)[0], b.at(x, y)[1], b.at(x, y)[2]);
                return text;
            }
    return "none";
}

int imageCount(const std::string& path)
{
    std::vector<uint8_t> bytes = readFile(path);
    return bytes.size() >= 6 ? loadLE16(&bytes[4]) : 0;
}

class IconInterop : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("convert");
    }

    // Every image equals the source of its size laid on white, and what
    // ImageMagick itself decodes from the icon.
    void expectEveryImageMatches(const std::string& icon, const std::vector<std::string>& sources,
                                 const std::string& what, bool againstMagick = true)
    {
        ASSERT_EQ(imageCount(icon), static_cast<int>(sources.size())) << what;
        for (size_t i = 0; i < sources.size(); ++i) {
            std::string message;
            ImageBlock block = readIndex(icon, static_cast<int>(i), message);
            ASSERT_TRUE(block) << what << " image " << i << ": " << message;
            RgbImage ours = shownRgb(block);
            auto source = magickOnWhite(sources[i], 0, dir);
            ASSERT_TRUE(source);
            EXPECT_EQ(maxDifference(ours, *source), 0) << what << " image " << i << " against its source, " << firstDifference(ours, *source);
            if (!againstMagick)
                continue;
            auto magick = magickOnWhite(icon, static_cast<int>(i), dir);
            ASSERT_TRUE(magick);
            EXPECT_EQ(maxDifference(ours, *magick), 0) << what << " image " << i << " against ImageMagick, " << firstDifference(ours, *magick);
        }
    }

    // A source of the given size with few colours and a transparent corner.
    // Two colours are black and white, as monochrome icons are.
    std::string source(int size, const std::string& colors, bool transparent = true)
    {
        std::string path = dir.file("source" + std::to_string(size) + "_" + colors + ".png");
        std::string draw = transparent ? " -alpha set -channel A -fx 'i<4&&j<3?0:1' +channel" : "";
        std::string reduce = colors == "2" ? " -monochrome" : " -colors " + colors;
        EXPECT_EQ(runCommand("convert -seed 3 -size " + std::to_string(size) + "x" + std::to_string(size)
                             + " plasma:fractal" + reduce + draw + " -depth 8 " + shellQuote(path)),
                  0);
        return path;
    }

    ScratchDir dir;
};

TEST_F(IconInterop, ImageMagickIconsOfEveryDepth)
{
    // ImageMagick 6 writes paletted icons without their transparency, so
    // their sources are opaque.
    const struct {
        const char* options;
        const char* colors;
        bool transparent;
    } cases[] = {
        {"", "256", true},               // 32-bit with alpha
        {"-type palette", "16", false},  // 4-bit
        {"-type palette", "200", false}, // 8-bit
    };
    for (const auto& c : cases) {
        std::vector<std::string> sources = {source(16, c.colors, c.transparent), source(32, c.colors, c.transparent)};
        std::string icon = dir.file("magick.ico");
        ASSERT_EQ(runCommand("convert " + shellQuote(sources[0]) + " " + shellQuote(sources[1]) + " " + c.options + " "
                             + shellQuote(icon)),
                  0);
        expectEveryImageMatches(icon, sources, std::string("ImageMagick ") + c.options + " " + c.colors);
    }
}

// 32-bit images whose fourth byte fades from clear to opaque: ImageMagick
// writes them with a mask, Pillow's bitmap entries come without one.
TEST_F(IconInterop, ThirtyTwoBitIconsWithPartialAlphaLieOverWhite)
{
    REQUIRE_PILLOW();
    const std::string faded = dir.file("faded.png");
    ASSERT_EQ(runCommand("convert -size 32x32 gradient:blue-yellow -alpha set -channel A -fx i/w +channel -depth 8 "
                         + shellQuote(faded)),
              0);
    const std::string icon = dir.file("faded.ico");
    for (const std::string& writer :
         {"convert " + shellQuote(faded) + " " + shellQuote(icon),
          "/usr/bin/python3 -c \"import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2], "
          "sizes=[(32, 32)], bitmap_format='bmp')\" "
              + shellQuote(faded) + " " + shellQuote(icon)}) {
        ASSERT_TRUE(toolWrotePicture(writer, icon));
        std::string message;
        ImageBlock block = readIndex(icon, 0, message);
        ASSERT_TRUE(block) << writer << ": " << message;
        auto magick = magickOnWhite(icon, 0, dir);
        ASSERT_TRUE(magick);
        EXPECT_LE(maxDifference(shownRgb(block), *magick), 2) << writer;
    }
}

TEST_F(IconInterop, ImageMagickAutoResizeIcon)
{
    std::string big = source(64, "256", false);
    std::string icon = dir.file("auto.ico");
    ASSERT_EQ(runCommand("convert " + shellQuote(big) + " -define icon:auto-resize=64,48,32,16 " + shellQuote(icon)), 0);
    ASSERT_EQ(imageCount(icon), 4);
    const int sizes[] = {64, 48, 32, 16};
    for (int i = 0; i < 4; ++i) {
        std::string message;
        ImageBlock block = readIndex(icon, i, message);
        ASSERT_TRUE(block) << message;
        EXPECT_EQ(block.width(), sizes[i]);
        auto magick = magickOnWhite(icon, i, dir);
        ASSERT_TRUE(magick);
        EXPECT_EQ(maxDifference(shownRgb(block), *magick), 0) << "image " << i;
    }
    // A thumbnail takes the largest image, wherever the file keeps it.
    const std::string mixed = dir.file("mixed.ico");
    ASSERT_EQ(runCommand("convert " + shellQuote(big) + " -define icon:auto-resize=16,64,32 " + shellQuote(mixed)), 0);
    std::string message;
    ImageBlock largest = testing::blockOf(readIcon(mixed, IconReadOptions{nullptr, -1, true}), message);
    ASSERT_TRUE(largest) << message;
    EXPECT_EQ(largest.width(), 64);
    EXPECT_NE(readIndex(mixed, 0, message).width(), 64) << "the largest image is not the first";
}

TEST_F(IconInterop, NetpbmIcons)
{
    REQUIRE_TOOLS("ppmtowinicon", "pamtowinicon");
    // ppmtowinicon picks 1, 4 or 8 bits by the colour count; the and-mask
    // comes from a grey map (white = opaque).
    for (const char* colors : {"2", "16", "200"}) {
        std::vector<std::string> ppms;
        std::vector<std::string> masks;
        std::vector<std::string> sources;
        for (int size : {16, 32}) {
            std::string png = source(size, colors);
            std::string ppm = dir.file("n" + std::to_string(size) + ".ppm");
            std::string mask = dir.file("m" + std::to_string(size) + ".pgm");
            ASSERT_EQ(runCommand("convert " + shellQuote(png) + " -alpha off -depth 8 " + shellQuote(ppm)), 0);
            ASSERT_EQ(runCommand("convert " + shellQuote(png) + " -alpha extract -depth 8 " + shellQuote(mask)), 0);
            ppms.push_back(ppm);
            masks.push_back(mask);
            sources.push_back(png);
        }
        std::string icon = dir.file("netpbm.ico");
        ASSERT_EQ(runCommand("ppmtowinicon -andpgms " + shellQuote(ppms[0]) + " " + shellQuote(masks[0]) + " "
                             + shellQuote(ppms[1]) + " " + shellQuote(masks[1]) + " > " + shellQuote(icon)
                             + " 2>/dev/null"),
                  0);
        std::vector<uint8_t> bytes = readFile(icon);
        const uint32_t firstImage = loadLE32(&bytes[18]);
        const int expectedDepth = std::string(colors) == "2" ? 1 : std::string(colors) == "16" ? 4 : 8;
        EXPECT_EQ(loadLE16(&bytes[firstImage + 14]), expectedDepth) << colors;
        expectEveryImageMatches(icon, sources, std::string("ppmtowinicon ") + colors);
    }

    // pamtowinicon: 32 bits with alpha, and the large image as PNG.
    std::vector<std::string> sources = {source(16, "256"), source(32, "256")};
    std::string pam = dir.file("both.pam");
    ASSERT_EQ(runCommand("(convert " + shellQuote(sources[0]) + " PAM:-; convert " + shellQuote(sources[1])
                         + " PAM:-) > " + shellQuote(pam)),
              0);
    std::string icon = dir.file("pam.ico");
    ASSERT_EQ(runCommand("pamtowinicon -pngthreshold=32 " + shellQuote(pam) + " > " + shellQuote(icon) + " 2>/dev/null"), 0);
    std::vector<uint8_t> bytes = readFile(icon);
    ASSERT_GE(bytes.size(), 38u);
    EXPECT_EQ(bytes[loadLE32(&bytes[34]) + 1], 'P') << "the 32 x 32 image is stored as PNG";
    // ImageMagick 6 lays the transparency of pamtowinicon's bitmap images
    // a few pixels off; the sources are the reference here.
    expectEveryImageMatches(icon, sources, "pamtowinicon", false);
}

// Writing.

ImageBlock makeBlock(int32_t width, int32_t height, uint16_t bitCount)
{
    ImageBlock block = ImageBlock::create(width, height, bitCount, bitCount <= 8 ? 1u << bitCount : 0);
    if (bitCount <= 8)
        for (uint32_t i = 0; i < (1u << bitCount); ++i)
            block.setColor(i, static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3));
    uint32_t seed = 12345;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = block.row(y);
        for (uint64_t i = 0; i < (uint64_t(width) * bitCount + 7) / 8; ++i) {
            seed = seed * 1103515245 + 12345;
            row[i] = static_cast<uint8_t>(seed >> 16);
        }
        // Bits past the width stay 0, as a block's padding does.
        uint64_t bits = uint64_t(width) * bitCount;
        if (bits % 8)
            row[bits / 8] &= static_cast<uint8_t>(0xFF << (8 - bits % 8));
    }
    return block;
}

TEST_F(IconInterop, WrittenIconsReadBackByUsAndImageMagick)
{
    for (int depth : {4, 8, 24}) {
        const auto bitCount = static_cast<uint16_t>(depth);
        ImageBlock block = makeBlock(13, 7, bitCount);
        std::string path = dir.file("written.ico");
        ASSERT_TRUE(writeIcon(path, block));
        std::vector<uint8_t> bytes = readFile(path);
        EXPECT_EQ(bytes[6], 13);
        EXPECT_EQ(bytes[7], 7);
        EXPECT_EQ(bytes[8], bitCount == 4 ? 16 : 0) << "colour count byte";
        EXPECT_EQ(loadLE32(&bytes[22 + 8]), 14u) << "doubled height";
        std::string message;
        ImageBlock back = readIndex(path, 0, message);
        ASSERT_TRUE(back) << message;
        ASSERT_EQ(back.bitCount(), bitCount);
        EXPECT_EQ(maxDifference(blockToRgb(back), blockToRgb(block)), 0) << bitCount;
        auto magick = magickOnWhite(path, 0, dir);
        ASSERT_TRUE(magick);
        EXPECT_EQ(maxDifference(*magick, blockToRgb(block)), 0) << bitCount << " through ImageMagick";
    }
}

TEST_F(IconInterop, WrittenMonochromeIconIsAMask)
{
    ImageBlock block = makeBlock(9, 5, 1);
    block.setColor(0, 10, 20, 30);
    block.setColor(1, 0, 0, 0); // entry 1 does not matter: value-1 pixels are transparent
    std::string path = dir.file("mono.ico");
    ASSERT_TRUE(writeIcon(path, block));
    std::vector<uint8_t> bytes = readFile(path);
    EXPECT_EQ(bytes[8], 2) << "colour count byte";

    // ImageMagick: value-1 pixels transparent, value-0 pixels entry 0.
    std::string alpha;
    ASSERT_EQ(runCommand("convert " + shellQuote(path) + " -alpha extract -depth 8 gray:-", &alpha), 0);
    ASSERT_EQ(alpha.size(), 45u);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) {
            const bool one = testBit(block.topRow(y), static_cast<uint32_t>(x)) != 0;
            EXPECT_EQ(static_cast<uint8_t>(alpha[static_cast<size_t>(y * 9 + x)]), one ? 0 : 255) << x << "," << y;
        }

    // Our reader paints the transparent pixels with index 1, which no opaque
    // pixel uses, so its entry turns white: the block with white for its
    // value-1 pixels.
    std::string message;
    ImageBlock back = readIndex(path, 0, message);
    ASSERT_TRUE(back) << message;
    ASSERT_EQ(back.bitCount(), 1);
    EXPECT_EQ(back.colorTable()[0], block.colorTable()[0]);
    EXPECT_EQ(back.colorTable()[1], (ColorEntry{255, 255, 255, 0}));
    for (int32_t y = 0; y < 5; ++y)
        EXPECT_EQ(std::vector<uint8_t>(back.row(y), back.row(y) + 4), std::vector<uint8_t>(block.row(y), block.row(y) + 4));
}

// The directory keeps sizes in a byte: 256 is stored as 0, larger pictures
// are refused rather than written as an icon nothing reads right.
TEST_F(IconInterop, SidesUpTo256AreWrittenAndLargerRefused)
{
    ImageBlock block = makeBlock(256, 2, 24);
    std::string path = dir.file("wide.ico");
    ASSERT_TRUE(writeIcon(path, block));
    std::vector<uint8_t> bytes = readFile(path);
    EXPECT_EQ(bytes[6], 0);
    auto magick = magickOnWhite(path, 0, dir);
    ASSERT_TRUE(magick);
    EXPECT_EQ(magick->width, 256);

    Status refused = writeIcon(dir.file("wider.ico"), makeBlock(257, 2, 24));
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.text(), kIconTexts[IconFault::TooLarge]);
    EXPECT_FALSE(fileExists(dir.file("wider.ico")));
}

TEST_F(IconInterop, WriterFailsWhereItCannotCreateTheFile)
{
    EXPECT_FALSE(writeIcon(dir.file("no/such/dir.ico"), makeBlock(4, 4, 8)));
    EXPECT_FALSE(writeIcon(dir.file("null.ico"), ImageBlock()));
}

} // namespace
} // namespace pictorand::testing
