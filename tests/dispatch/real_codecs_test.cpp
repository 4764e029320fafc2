// The load over the program's own codecs, on files made by ImageMagick.

#include "dispatch/load.h"
#include "dispatch/load_dispatch.h"
#include "tests/support/magick_test.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::shellQuote;

class RealCodecsTest : public testing::MagickTest {
protected:
    static uint32_t le32(const std::vector<uint8_t>& bytes, size_t offset)
    {
        return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | uint32_t(bytes[offset + 3]) << 24;
    }

    static LoadOutcome view(const std::string& path, LoadPurpose purpose = LoadPurpose::View, LoadOptions options = {})
    {
        return load({LoadSource{path}, purpose, options});
    }
};

TEST_F(RealCodecsTest, MultiPageTiffKeepsItsPageTable)
{
    std::string path = magick("-size 4x3 xc:red xc:blue -depth 8", "pages.tif");
    const LoadOutcome outcome = view(path);
    ASSERT_TRUE(outcome.block) << loadFailureMessage(outcome);
    EXPECT_EQ(outcome.block.width(), 4);
    EXPECT_EQ(outcome.pageCount(), 2);
    EXPECT_EQ(outcome.compression.substr(outcome.compression.size() - 10), " - 2 pages") << outcome.compression;
    std::vector<uint8_t> bytes = testing::readFile(path);
    ASSERT_GE(bytes.size(), 8u);
    ASSERT_EQ(bytes[0], 'I') << "ImageMagick writes little-endian TIFF here";
    EXPECT_EQ(outcome.pageOffsets[0], le32(bytes, 4)) << "the first page is the file's first directory";
    EXPECT_NE(outcome.pageOffsets[1], 0u);
}

// Shown from their 16 bits, colour pictures are described as 48-bit ones and
// grey ones as the 8-bit grey their rounded block would be.
TEST_F(RealCodecsTest, SixteenBitPicturesRecordTheirDepth)
{
    const struct {
        const char* name;
        const char* picture;
        int recorded;
    } cases[] = {
        {"deep.tif", "xc:'rgb(10,200,30)'", 48},
        {"grey.png", "xc:'gray(10)' -define png:bit-depth=16 -define png:color-type=0", 8},
    };
    for (const auto& c : cases) {
        std::string path = magick("-size 5x2 " + std::string(c.picture) + " -depth 16", c.name);
        const LoadOutcome outcome = view(path);
        ASSERT_TRUE(outcome.block) << loadFailureMessage(outcome);
        EXPECT_EQ(outcome.originalBitCount, c.recorded) << c.name;
        EXPECT_EQ(outcome.block.bitCount(), 24) << c.name;
        testing::RgbImage rgb = testing::blockToRgb(outcome.block);
        EXPECT_NEAR(rgb.at(0, 0)[0], 10, 1) << c.name;
    }
}

TEST_F(RealCodecsTest, AnimatedGifComesAsItsFrames)
{
    std::string path = magick("-size 4x4 xc:red xc:blue xc:green -loop 0", "anim.gif");
    LoadOutcome played = view(path);
    ASSERT_EQ(played.kind, LoadOutcome::Kind::Animation) << loadFailureMessage(played);
    ASSERT_EQ(played.frames.size(), 3u);
    EXPECT_EQ(played.compression, "Animated GIF - 3 images");
    const uint8_t expected[3][3] = {{255, 0, 0}, {0, 0, 255}, {0, 128, 0}};
    for (size_t i = 0; i < 3; ++i) {
        const testing::RgbImage rgb = testing::blockToRgb(played.frames[i].block);
        EXPECT_EQ(std::vector<uint8_t>(rgb.at(0, 0), rgb.at(0, 0) + 3),
                  std::vector<uint8_t>(expected[i], expected[i] + 3))
            << "image " << i;
    }

    // The slideshow shows the first image.
    const LoadOutcome first = view(path, LoadPurpose::Slide);
    ASSERT_TRUE(first.block);
    EXPECT_EQ(first.compression, "GIF - LZW");
}

TEST_F(RealCodecsTest, MultiImageGifWithoutAnimationShowsItsFirstImage)
{
    std::string path = magick("-size 4x4 xc:red xc:blue xc:green -loop 0", "anim.gif");
    LoadOptions still;
    still.animate = false;
    const LoadOutcome first = view(path, LoadPurpose::View, still);
    ASSERT_TRUE(first.block) << loadFailureMessage(first);
    EXPECT_EQ(first.compression, "GIF - LZW - 3 images");
    testing::RgbImage rgb = testing::blockToRgb(first.block);
    EXPECT_EQ(rgb.at(0, 0)[0], 255);
    EXPECT_EQ(rgb.at(0, 0)[2], 0) << "red: the first image";
}

TEST_F(RealCodecsTest, JpegNamedGifSaysSoAndLoadsUnderItsNewName)
{
    std::string path = magick("-size 8x8 xc:green", "photo.gif", "JPG:");
    const LoadOutcome outcome = view(path);
    EXPECT_EQ(outcome.misnamedAs, ImageFormat::Jpeg);
    ASSERT_TRUE(renameToFormatExtension(path, *outcome.misnamedAs));
    EXPECT_EQ(path, dir.file("photo.jpg"));
    const LoadOutcome renamed = view(path);
    ASSERT_TRUE(renamed.block) << loadFailureMessage(renamed);
    EXPECT_FALSE(renamed.misnamedAs);
    EXPECT_EQ(renamed.block.width(), 8);
    EXPECT_EQ(renamed.compression, "JPEG/JFIF");
}

TEST_F(RealCodecsTest, PaletteDisplayQuantisesARealTrueColourFile)
{
    std::string path = magick("-size 16x16 gradient:red-blue -type truecolor", "grad.bmp", "BMP3:");
    LoadOptions palette;
    palette.paletteDisplay = true;
    const LoadOutcome outcome = view(path, LoadPurpose::View, palette);
    ASSERT_TRUE(outcome.block);
    EXPECT_EQ(outcome.block.bitCount(), 8);
    EXPECT_EQ(outcome.originalBitCount, 24);
}

} // namespace
} // namespace pictorand
