// The PNG, PGM, PPM and TIFF readers, asked to, hand over a 16-bit picture's
// samples whole (blue, green, red in this machine's order; grey in all three;
// colour over white), as ImageMagick decodes the same file; asked nothing,
// they round them to 8 bits.

#include "core/codec_registry.h"
#include "dispatch/load_dispatch.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pictorand {
namespace {

using namespace pictorand::testing;

TEST(SixteenBitSamples, KeptAsImageMagickDecodesThem)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    // A plasma with an opacity ramp across it where the case asks for alpha.
    const std::string plasma = "-size 37x21 plasma:fractal -seed 3 -depth 16 ";
    const std::string alpha = "\\( -size 21x37 gradient: -rotate 90 \\) -alpha off -compose CopyOpacity -composite ";
    const std::string grey = "-colorspace gray ";
    const struct {
        ImageFormat format;
        const char* name;
        std::string options; // what makes ImageMagick write the case
    } cases[] = {
        {ImageFormat::Png, "rgb.png", "-define png:color-type=2"},
        {ImageFormat::Png, "grey.png", grey + "-define png:color-type=0"},
        {ImageFormat::Png, "rgba.png", alpha + "-define png:color-type=6"},
        {ImageFormat::Png, "grey-alpha.png", grey + alpha + "-define png:color-type=4"},
        {ImageFormat::Png, "interlaced-rgba.png", alpha + "-interlace png -define png:color-type=6"},
        {ImageFormat::Ppm, "picture.ppm", ""},
        {ImageFormat::Pgm, "picture.pgm", grey},
        {ImageFormat::Tiff, "rgb.tif", "-compress zip"},
        {ImageFormat::Tiff, "grey.tif", grey + "-compress zip"},
        {ImageFormat::Tiff, "rgba.tif", alpha + "-compress lzw"},
        {ImageFormat::Tiff, "grey-alpha.tif", grey + alpha},
        {ImageFormat::Tiff, "planar-rgba.tif", alpha + "-interlace plane -compress zip"},
        {ImageFormat::Tiff, "planar-grey-alpha.tif", grey + alpha + "-interlace plane"},
        {ImageFormat::Tiff, "tiled-rgb.tif", "-define tiff:tile-geometry=16x16 -compress zip"},
        {ImageFormat::Tiff, "tiled-planar-rgba.tif", alpha + "-define tiff:tile-geometry=16x16 -interlace plane"},
        {ImageFormat::Tiff, "tiled-grey.tif", grey + "-define tiff:tile-geometry=16x16"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(c.name);
        ASSERT_EQ(runCommand("convert " + plasma + c.options + " " + shellQuote(file) + " && convert " + shellQuote(file)
                             + " -background white -alpha remove -depth 16 -endian LSB rgb:"
                             + shellQuote(dir.file("samples.raw"))),
                  0);
        const std::vector<uint8_t> raw = readFile(dir.file("samples.raw"));
        ASSERT_EQ(raw.size(), size_t(37 * 21 * 6));
        ReadRequest request;
        request.path = file;
        request.sixteenBitSamples = true;
        Result<DecodedImage> kept = callReader(CodecRegistry::instance(), c.format, request);
        ASSERT_TRUE(kept) << kept.text();
        ASSERT_TRUE(kept->sixteenBitSamples);
        ASSERT_EQ(kept->block.bitCount(), 48);
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x)
                for (int channel = 0; channel < 3; ++channel) {
                    uint16_t sample;
                    std::memcpy(&sample, kept->block.topRow(y) + x * 6 + (2 - channel) * 2, 2);
                    const size_t at = (size_t(y) * 37 + size_t(x)) * 6 + size_t(channel) * 2;
                    ASSERT_EQ(sample, raw[at] | raw[at + 1] << 8) << x << "," << y;
                }
        request.sixteenBitSamples = false;
        Result<DecodedImage> rounded = callReader(CodecRegistry::instance(), c.format, request);
        ASSERT_TRUE(rounded);
        EXPECT_FALSE(rounded->sixteenBitSamples);
    }
}

} // namespace
} // namespace pictorand
