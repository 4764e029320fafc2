// GIFs written by independent encoders (ImageMagick, netpbm, giflib) must
// decode to the pixels ImageMagick decodes from them.

#include "codecs/gif/gif.h"
#include "tests/codecs/gif/gif_builder.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace pictorand::testing {
namespace {

ImageBlock readOurs(const std::string& path)
{
    Result<DecodedImage> read = readGif(path);
    return read ? std::move(read->block) : ImageBlock();
}

int depthForColors(int colors)
{
    return colors <= 2 ? 1 : colors <= 16 ? 4 : 8;
}

class GifInterop : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("convert");
        // A photo-like source: a plasma with smooth areas and fine detail.
        source = dir.file("source.ppm");
        ASSERT_EQ(runCommand("convert -seed 4 -size 83x61 plasma:fractal " + shellQuote(source) + " 2>/dev/null"), 0);
    }

    void expectSameAsMagick(const std::string& path, int depth, const std::string& what)
    {
        ImageBlock ours = readOurs(path);
        ASSERT_TRUE(ours) << what;
        EXPECT_EQ(ours.bitCount(), depth) << what;
        auto magick = magickDecode(path);
        ASSERT_TRUE(magick) << what;
        EXPECT_EQ(maxDifference(blockToRgb(ours), *magick), 0) << what;
    }

    ScratchDir dir;
    std::string source;
};

TEST_F(GifInterop, ImageMagickFiles)
{
    for (int colors : {2, 16, 256})
        for (bool interlaced : {false, true}) {
            std::string path = dir.file("magick.gif");
            ASSERT_EQ(runCommand("convert " + shellQuote(source) + " -colors " + std::to_string(colors)
                                 + (interlaced ? " -interlace GIF " : " ") + shellQuote(path)),
                      0);
            expectSameAsMagick(path, depthForColors(colors),
                               "ImageMagick " + std::to_string(colors) + (interlaced ? " interlaced" : ""));
        }
}

TEST_F(GifInterop, NetpbmFiles)
{
    REQUIRE_TOOLS("pamtogif", "pnmquant");
    for (int colors : {2, 16, 256})
        for (bool interlaced : {false, true})
            for (const char* encoder : {"pamtogif", "ppmtogif"}) {
                std::string path = dir.file("netpbm.gif");
                ASSERT_EQ(runCommand("pnmquant " + std::to_string(colors) + " " + shellQuote(source) + " 2>/dev/null | "
                                     + encoder + (interlaced ? " -interlace" : "") + " > " + shellQuote(path)
                                     + " 2>/dev/null"),
                          0);
                expectSameAsMagick(path, depthForColors(colors),
                                   std::string(encoder) + " " + std::to_string(colors) + (interlaced ? " interlaced" : ""));
            }
}

TEST_F(GifInterop, GiflibFiles)
{
    REQUIRE_TOOLS("gif2rgb");
    std::string rgb = dir.file("source.rgb");
    ASSERT_EQ(runCommand("convert " + shellQuote(source) + " -depth 8 rgb:" + shellQuote(rgb)), 0);
    for (int bits : {1, 4, 8}) {
        std::string path = dir.file("giflib.gif");
        ASSERT_EQ(runCommand("gif2rgb -c " + std::to_string(bits) + " -s 83 61 < " + shellQuote(rgb) + " > "
                             + shellQuote(path) + " 2>/dev/null"),
                  0);
        expectSameAsMagick(path, bits, "gif2rgb " + std::to_string(bits));
    }
}

// giflib's gifbuild writes images with a local colour table over a global
// one of a different size. (Without a screen map it sets the global-table
// flag but writes no table, so that case is left to the hand-built files.)
TEST_F(GifInterop, GiflibLocalTablesOverGlobalTable)
{
    REQUIRE_TOOLS("gifbuild");
    const std::string keys = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int colors : {2, 16, 36})
        for (bool interlaced : {false, true}) {
            const int width = 23;
            const int height = 11;
            std::ostringstream text;
            text << "screen width " << width << "\nscreen height " << height << "\nscreen background 0\n";
            text << "screen map\n";
            const int globalColors = colors == 16 ? 256 : 4;
            for (int i = 0; i < globalColors; ++i)
                text << "\trgb 9 9 " << i << "\n";
            text << "end\n\n";
            text << "image # 1\nimage left 0\nimage top 0\n" << (interlaced ? "image interlaced\n" : "");
            text << "image map\n";
            for (int i = 0; i < colors; ++i)
                text << "\trgb " << (i * 7) % 256 << " " << (255 - i * 5) << " " << (i * 40) % 256 << " is " << keys[static_cast<size_t>(i)] << "\n";
            text << "end\n\nimage bits " << width << " by " << height << "\n";
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x)
                    text << keys[static_cast<size_t>((x * x + 3 * y + x * y) % colors)];
                text << "\n";
            }
            std::string description = dir.file("local.txt");
            std::string path = dir.file("local.gif");
            const std::string& content = text.str();
            writeFile(description, std::vector<uint8_t>(content.begin(), content.end()));
            ASSERT_EQ(runCommand("gifbuild " + shellQuote(description) + " > " + shellQuote(path) + " 2>/dev/null"), 0);
            auto bytes = readFile(path);
            ASSERT_GT(bytes.size(), 13u);
            ASSERT_EQ(bytes[10] & 0x80, 0x80);
            expectSameAsMagick(path, depthForColors(colors),
                               "gifbuild " + std::to_string(colors) + (interlaced ? " interlaced" : ""));
        }
}

// A local table that replaces part of a global one, in the second frame of an
// ImageMagick animation.
TEST_F(GifInterop, ImageMagickLocalTableInSecondFrame)
{
    std::string path = dir.file("two.gif");
    ASSERT_EQ(runCommand("convert \\( -size 83x61 gradient:red-yellow -colors 16 \\) \\( " + shellQuote(source)
                         + " -colors 200 \\) " + shellQuote(path)),
              0);
    std::vector<uint32_t> controls(kGifFrameCapacity);
    std::vector<uint32_t> images(kGifFrameCapacity);
    int width = 0;
    int height = 0;
    ASSERT_EQ(scanGifFile(path, controls.data(), images.data(), kGifFrameCapacity, width, height).takeOr(-1), 2);
    auto bytes = readFile(path);
    ASSERT_TRUE(bytes[images[1] + 9] & 0x80) << "expected a local table";
    Result<DecodedImage> read = readGif(path, {0, images[1]});
    ASSERT_TRUE(read);
    const ImageBlock& second = read->block;
    std::string pixels;
    ASSERT_EQ(runCommand("convert " + shellQuote(path + "[1]") + " -depth 8 rgb:- 2>/dev/null", &pixels), 0);
    RgbImage magick{83, 61, std::vector<uint8_t>(pixels.begin(), pixels.end())};
    EXPECT_EQ(maxDifference(blockToRgb(second), magick), 0);
}

// Codes that keep going at 12 bits after the table is full, without a clear.
TEST_F(GifInterop, DeferredClearStreamDecodesAsImageMagickDecodesIt)
{
    std::vector<uint8_t> indices(200 * 150);
    uint32_t state = 77;
    for (auto& value : indices) {
        state = state * 1103515245u + 12345u;
        value = static_cast<uint8_t>((state >> 24) % 64);
    }
    std::vector<std::vector<uint8_t>> table;
    for (int i = 0; i < 256; ++i)
        table.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3), static_cast<uint8_t>(255 - i)});
    GifBuilder file;
    file.header(200, 150, 0xF7).colors(table).descriptor(0, 0, 200, 150, 0);
    file.bytes.push_back(8);
    file.raw(dictionaryCodes(indices, 8, false).subBlocks()).trailer();
    std::string path = dir.file("deferred.gif");
    writeFile(path, file.bytes);
    expectSameAsMagick(path, 8, "deferred clear");
}

} // namespace
} // namespace pictorand::testing
