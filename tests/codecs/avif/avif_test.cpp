#include "codecs/avif/avif.h"
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

} // namespace
} // namespace pictorand
