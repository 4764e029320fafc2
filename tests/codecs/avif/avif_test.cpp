#include "codecs/avif/avif.h"
#include "ops/colour_profile.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pictorand {
namespace {

TEST(AvifReader, DecodesAsAvifdecDoesCroppedTurnedAndMirroredByTheFile)
{
    REQUIRE_TOOLS("avifdec", "heif-convert", "convert");
    // avifdec rounds deep samples to 8 bits as libavif's conversion does. It
    // ignores the crop, rotation and mirror properties, so ImageMagick
    // applies them to its picture as the fixture script asked for them.
    constexpr const char* avifdec = "avifdec -d 8 {in} {out}";
    constexpr const char* turnedLeft = "avifdec -d 8 {in} {out} && mogrify -rotate -90 {out}";
    constexpr const char* turnedRightAndMirrored = "avifdec -d 8 {in} {out} && mogrify -rotate 90 -flop {out}";
    constexpr const char* upsideDown = "avifdec -d 8 {in} {out} && mogrify -flip {out}";
    constexpr const char* cropped = "avifdec -d 8 {in} {out} && mogrify -crop 60x40+4+2 +repage {out}";
    // libheif applies the properties itself; its colour conversion rounds
    // differently by one.
    constexpr const char* heifConvert = "heif-convert {in} {out}";
    const testing::ToolCase cases[] = {
        {"lossy.avif", avifdec, 0},
        {"lossless.avif", avifdec, 0},
        {"alpha.avif", avifdec, 1},
        {"grey.avif", avifdec, 0},
        {"ten-bit.avif", avifdec, 0},
        {"rotated.avif", turnedLeft, 0},
        {"rotated-mirrored.avif", turnedRightAndMirrored, 0},
        {"mirrored.avif", upsideDown, 0},
        {"cropped.avif", cropped, 0},
        {"rotated-mirrored.avif", heifConvert, 1},
        {"mirrored.avif", heifConvert, 1},
    };
    testing::expectDecodesAsTools(readAvif, "avif", cases);
}

// The image's size as its ispe box declares it, made too big for a block.
TEST(AvifReader, RefusesADeclaredSizeOverTheLimitBeforeDecoding)
{
    std::vector<uint8_t> file = testing::readFile(testing::fixture("avif", "lossy.avif"));
    const uint8_t huge[] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30}; // 30000 x 30000
    for (size_t at = 0; at + 16 <= file.size(); ++at)
        if (std::memcmp(&file[at], "ispe", 4) == 0)
            std::memcpy(&file[at + 8], huge, sizeof huge);
    const Result<DecodedImage> read = readAvifFromMemory(file);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.failure().detail, kCantAllocateMemory);
}

// Colours given by code points instead of a profile are converted by them,
// the high dynamic range ones brought to the display's range.
TEST(AvifReader, ColoursNamedByCodePointsReachSrgbAsTheirFormulasSay)
{
    struct Case {
        const char* fixture;
        uint8_t srgb[8][3]; // from tests/codecs/coded-colours-reference.py
    };
    const Case cases[] = {
        {"display-p3.avif",
         {{215, 93, 31}, {0, 183, 78}, {90, 90, 207}, {128, 128, 128}, {236, 199, 143}, {17, 61, 38},
          {250, 250, 250}, {108, 35, 145}}},
        {"bt2020.avif",
         {{246, 94, 50}, {0, 197, 91}, {91, 103, 214}, {140, 140, 140}, {251, 202, 153}, {1, 78, 54},
          {251, 251, 251}, {132, 40, 157}}},
        {"pq.avif",
         {{224, 90, 46}, {246, 246, 246}, {255, 255, 249}, {255, 255, 255}, {60, 60, 60}, {108, 176, 110},
          {255, 255, 255}, {0, 29, 63}}},
        {"hlg.avif",
         {{159, 99, 69}, {165, 165, 165}, {229, 186, 165}, {247, 247, 247}, {75, 75, 75}, {109, 136, 107},
          {255, 255, 255}, {0, 47, 78}}},
    };
    for (const Case& c : cases) {
        Result<DecodedImage> read = readAvif(testing::fixture("avif", c.fixture));
        ASSERT_TRUE(read) << c.fixture;
        ASSERT_EQ(convertToSrgb(read->block, read->iccProfile), ProfileConversion::Converted) << c.fixture;
        const testing::RgbImage pixels = testing::blockToRgb(read->block);
        ASSERT_EQ(pixels.rgb.size(), sizeof c.srgb) << c.fixture;
        for (size_t i = 0; i < pixels.rgb.size(); ++i)
            EXPECT_NEAR(pixels.rgb[i], c.srgb[i / 3][i % 3], 2) << c.fixture << " sample " << i;
    }
}

} // namespace
} // namespace pictorand
