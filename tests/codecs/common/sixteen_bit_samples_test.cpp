// The PNG, PPM and TIFF readers, asked to, hand over a 16-bit RGB picture's
// samples whole (blue, green, red in this machine's order), as ImageMagick
// decodes the same file; asked nothing, they round them to 8 bits.

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
    const struct {
        ImageFormat format;
        const char* name;
        const char* options; // what makes ImageMagick write 16-bit RGB
    } cases[] = {
        {ImageFormat::Png, "picture.png", "-define png:color-type=2"},
        {ImageFormat::Ppm, "picture.ppm", ""},
        {ImageFormat::Tiff, "picture.tif", "-compress zip"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(c.name);
        ASSERT_EQ(runCommand("convert -size 7x5 plasma:fractal -seed 3 -depth 16 " + std::string(c.options) + " "
                             + shellQuote(file) + " && convert " + shellQuote(file) + " -depth 16 -endian LSB rgb:"
                             + shellQuote(dir.file("samples.raw"))),
                  0);
        const std::vector<uint8_t> raw = readFile(dir.file("samples.raw"));
        ASSERT_EQ(raw.size(), size_t(7 * 5 * 6));
        ReadRequest request;
        request.path = file;
        request.sixteenBitSamples = true;
        Result<DecodedImage> kept = callReader(CodecRegistry::instance(), c.format, request);
        ASSERT_TRUE(kept) << kept.text();
        ASSERT_TRUE(kept->sixteenBitSamples);
        ASSERT_EQ(kept->block.bitCount(), 48);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                for (int channel = 0; channel < 3; ++channel) {
                    uint16_t sample;
                    std::memcpy(&sample, kept->block.topRow(y) + x * 6 + (2 - channel) * 2, 2);
                    const size_t at = (size_t(y) * 7 + size_t(x)) * 6 + size_t(channel) * 2;
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
