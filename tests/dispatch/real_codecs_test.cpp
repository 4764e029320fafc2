// The dispatchers over the program's own codecs, on files made by
// ImageMagick.

#include "dispatch/load_dispatch.h"
#include "tests/dispatch/scripted_host.h"
#include "tests/support/magick_test.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::ScriptedHost;
using testing::shellQuote;

class RealCodecsTest : public testing::MagickTest {
protected:
    static uint32_t le32(const std::vector<uint8_t>& bytes, size_t offset)
    {
        return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | uint32_t(bytes[offset + 3]) << 24;
    }

    ScriptedHost host;
};

TEST_F(RealCodecsTest, MultiPageTiffKeepsItsPageTable)
{
    std::string path = magick("-size 4x3 xc:red xc:blue -depth 8", "pages.tif");
    ImageBlock block = LoadForDisplay(host, path, false, false, 0);
    ASSERT_TRUE(block) << (host.ui.messages.empty() ? "" : host.ui.messages[0].text);
    EXPECT_EQ(block.width(), 4);
    EXPECT_TRUE(host.current.multiPage);
    EXPECT_EQ(host.current.pageCount, 2);
    EXPECT_EQ(host.current.compression.substr(host.current.compression.size() - 10), " - 2 pages")
        << host.current.compression;
    std::vector<uint8_t> bytes = testing::readFile(path);
    ASSERT_GE(bytes.size(), 8u);
    ASSERT_EQ(bytes[0], 'I') << "ImageMagick writes little-endian TIFF here";
    ASSERT_EQ(host.current.pageOffsets.size(), 2u);
    EXPECT_EQ(host.current.pageOffsets[0], le32(bytes, 4)) << "the first page is the file's first directory";
    EXPECT_NE(host.current.pageOffsets[1], 0u);
}

TEST_F(RealCodecsTest, SixteenBitTiffRecordsFortyEight)
{
    std::string path = magick("-size 5x2 xc:'rgb(10,200,30)' -depth 16", "deep.tif");
    ImageBlock block = LoadForDisplay(host, path, false, false, 0);
    ASSERT_TRUE(block) << (host.ui.messages.empty() ? "" : host.ui.messages[0].text);
    EXPECT_EQ(host.current.originalBitCount, 48);
    EXPECT_EQ(block.bitCount(), 24);
    testing::RgbImage rgb = testing::blockToRgb(block);
    EXPECT_NEAR(rgb.at(0, 0)[0], 10, 1);
    EXPECT_NEAR(rgb.at(0, 0)[1], 200, 1);
}

TEST_F(RealCodecsTest, AnimatedGifRecordsItsFramesAndStartsTheAnimation)
{
    std::string path = magick("-size 4x4 xc:red xc:blue xc:green -loop 0", "anim.gif");
    host.animationAvailable = true;
    EXPECT_FALSE(LoadForDisplay(host, path, false, false, 0));
    ASSERT_EQ(host.animations.size(), 1u);
    ASSERT_EQ(host.animations[0].count, 3);
    EXPECT_EQ(host.current.compression, "Animated GIF - 3 images");
    std::vector<uint8_t> bytes = testing::readFile(path);
    for (int i = 0; i < 3; ++i) {
        uint32_t offset = host.animations[0].imageOffsets[static_cast<size_t>(i)];
        ASSERT_LT(offset, bytes.size());
        EXPECT_EQ(bytes[offset], 0x2C) << "image " << i << " starts at its separator";
    }
    EXPECT_TRUE(host.ui.messages.empty());

    // The slideshow shows the first image.
    ImageBlock first = LoadForDisplay(host, path, true, true, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(host.current.compression, "GIF - LZW");
}

TEST_F(RealCodecsTest, MultiImageGifWithoutAnimationShowsItsFirstImage)
{
    std::string path = magick("-size 4x4 xc:red xc:blue xc:green -loop 0", "anim.gif");
    ImageBlock first = LoadForDisplay(host, path, false, false, 0);
    ASSERT_TRUE(first) << (host.ui.messages.empty() ? "" : host.ui.messages[0].text);
    EXPECT_TRUE(host.ui.messages.empty());
    EXPECT_EQ(host.ui.titles.back(), path);
    EXPECT_EQ(host.current.compression, "GIF - LZW - 3 images");
    testing::RgbImage rgb = testing::blockToRgb(first);
    EXPECT_EQ(rgb.at(0, 0)[0], 255);
    EXPECT_EQ(rgb.at(0, 0)[2], 0) << "red: the first image";
}

TEST_F(RealCodecsTest, JpegNamedGifIsRenamedAndLoaded)
{
    std::string path = magick("-size 8x8 xc:green", "photo.gif", "JPG:");
    host.ui.answers = {true};
    ImageBlock block = LoadForDisplay(host, path, false, false, 0);
    ASSERT_EQ(host.ui.questions.size(), 1u);
    EXPECT_EQ(host.ui.questions[0].text,
              "Warning !\nThe file: '" + dir.file("photo.gif") + "' is a JPEG File with incorrect extension !\nRename ?");
    EXPECT_EQ(path, dir.file("photo.jpg"));
    ASSERT_TRUE(block) << (host.ui.messages.empty() ? "" : host.ui.messages[0].text);
    EXPECT_EQ(block.width(), 8);
    EXPECT_EQ(host.current.compression, "JPEG/JFIF");
}

TEST_F(RealCodecsTest, PaletteDisplayQuantisesARealTrueColourFile)
{
    std::string path = magick("-size 16x16 gradient:red-blue -type truecolor", "grad.bmp", "BMP3:");
    host.palette = true;
    ImageBlock block = LoadForDisplay(host, path, false, false, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 8);
    EXPECT_EQ(host.current.originalBitCount, 24);
}

} // namespace
} // namespace pictorand
