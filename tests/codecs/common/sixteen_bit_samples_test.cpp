// The PNG, PGM, PPM and TIFF readers, asked to, hand over a 16-bit picture's
// samples whole (blue, green, red in this machine's order; grey in all three;
// colour over white), as ImageMagick decodes the same file; asked nothing,
// they round them to 8 bits.

#include "core/codec_registry.h"
#include "dispatch/load_dispatch.h"
#include "tests/codecs/library_codec_helpers.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pictorand {
namespace {

using namespace pictorand::testing;

// The reader's 16-bit samples, asked for, against `raw` (16-bit red, green,
// blue, least significant byte first, as ImageMagick's "rgb:" writes them).
void expectSamples(ImageFormat format, const std::string& path, const std::vector<uint8_t>& raw)
{
    ReadRequest request;
    request.path = path;
    request.sixteenBitSamples = true;
    Result<DecodedImage> kept = callReader(CodecRegistry::instance(), format, request);
    ASSERT_TRUE(kept) << kept.text();
    ASSERT_TRUE(kept->sixteenBitSamples);
    ASSERT_EQ(kept->block.bitCount(), 48);
    const int width = kept->block.width();
    ASSERT_EQ(raw.size(), size_t(width) * size_t(kept->block.height()) * 6);
    for (int y = 0; y < kept->block.height(); ++y)
        for (int x = 0; x < width; ++x)
            for (int channel = 0; channel < 3; ++channel) {
                uint16_t sample;
                std::memcpy(&sample, kept->block.topRow(y) + x * 6 + (2 - channel) * 2, 2);
                const size_t at = (size_t(y) * size_t(width) + size_t(x)) * 6 + size_t(channel) * 2;
                ASSERT_EQ(sample, raw[at] | raw[at + 1] << 8) << x << "," << y;
            }
}

// What ImageMagick makes of a picture file: its samples over white.
std::string samplesOver(const std::string& file, const std::string& raw)
{
    return "convert " + shellQuote(file) + " -background white -alpha remove -depth 16 -endian LSB rgb:" + shellQuote(raw);
}

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
        ASSERT_EQ(runCommand("convert " + plasma + c.options + " " + shellQuote(file) + " && "
                             + samplesOver(file, dir.file("samples.raw"))),
                  0);
        ASSERT_EQ(readFile(dir.file("samples.raw")).size(), size_t(37 * 21 * 6));
        expectSamples(c.format, file, readFile(dir.file("samples.raw")));
        ReadRequest request;
        request.path = file;
        request.sixteenBitSamples = false;
        Result<DecodedImage> rounded = callReader(CodecRegistry::instance(), c.format, request);
        ASSERT_TRUE(rounded);
        EXPECT_FALSE(rounded->sixteenBitSamples);
        // A thumbnail's opacity comes with 8-bit colours, as ever.
        request.sixteenBitSamples = request.keepAlpha = true;
        Result<DecodedImage> thumbnail = callReader(CodecRegistry::instance(), c.format, request);
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->sixteenBitSamples, c.options.find(alpha) == std::string::npos);
    }
}

// Deep AVIF, HEIC and JPEG XL pictures as their own libraries' tools decode
// them at 16 bits (tests/codecs/make-library-fixtures.sh made them).
TEST(SixteenBitSamples, KeptAsTheLibrariesToolsDecodeThem)
{
    REQUIRE_TOOLS("avifdec", "heif-convert", "djxl", "convert");
    ScratchDir dir;
    const struct {
        ImageFormat format;
        const char* folder;
        const char* name;
        const char* tool; // writes {out}, a 16-bit PNG
        // heif-convert writes the coded samples shifted to the top of 16
        // bits; the block holds them scaled to the whole 16-bit range.
        int shiftedBits;
    } cases[] = {
        {ImageFormat::Avif, "avif", "ten-bit.avif", "avifdec -d 16 {in} {out}", 0},
        {ImageFormat::Avif, "avif", "twelve-bit.avif", "avifdec -d 16 {in} {out}", 0},
        {ImageFormat::Avif, "avif", "ten-bit-alpha.avif", "avifdec -d 16 {in} {out}", 0},
        {ImageFormat::Heic, "heif", "ten-bit.heic", "heif-convert {in} {out}", 10},
        {ImageFormat::Heic, "heif", "twelve-bit.heic", "heif-convert {in} {out}", 12},
        {ImageFormat::JpegXl, "jxl", "sixteen-bit.jxl", "djxl {in} {out} --bits_per_sample=16", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = fixture(c.folder, c.name);
        std::string command = c.tool;
        command.replace(command.find("{in}"), 4, shellQuote(file));
        command.replace(command.find("{out}"), 5, shellQuote(dir.file("out.png")));
        ASSERT_EQ(runCommand(command + " >/dev/null 2>&1 && " + samplesOver(dir.file("out.png"), dir.file("samples.raw"))),
                  0);
        std::vector<uint8_t> raw = readFile(dir.file("samples.raw"));
        const uint32_t maximum = (1u << c.shiftedBits) - 1;
        for (size_t at = 0; c.shiftedBits > 0 && at + 1 < raw.size(); at += 2) {
            const uint32_t coded = uint32_t(raw[at] | raw[at + 1] << 8) >> (16 - c.shiftedBits);
            const uint32_t scaled = (coded * 65535 + maximum / 2) / maximum;
            raw[at] = static_cast<uint8_t>(scaled);
            raw[at + 1] = static_cast<uint8_t>(scaled >> 8);
        }
        expectSamples(c.format, file, raw);
    }
}

} // namespace
} // namespace pictorand
