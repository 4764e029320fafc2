#include "codecs/heif/heif.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pictorand {
namespace {

TEST(HeifReader, DecodesAsHeifConvertDoesTurnedAndMirroredByTheFile)
{
    REQUIRE_TOOLS("heif-convert", "convert");
    constexpr const char* heifConvert = "heif-convert {in} {out}";
    const testing::ToolCase cases[] = {
        {"lossy.heic", heifConvert, 0},
        {"alpha.heic", heifConvert, 1},
        {"grey.heic", heifConvert, 0},
        // heif-convert writes 16-bit samples; ImageMagick rounds them to 8.
        {"ten-bit.heic", heifConvert, 1},
        {"rotated.heic", heifConvert, 0},
        {"rotated-mirrored.heic", heifConvert, 0},
    };
    testing::expectDecodesAsTools(readHeif, "heif", cases);
}

TEST(HeifReader, TurnedPicturesComeUpright)
{
    // The fixtures were written 70 x 46 with EXIF orientations 6 and 5.
    for (const char* name : {"rotated.heic", "rotated-mirrored.heic"}) {
        Result<DecodedImage> read = readHeif(testing::fixture("heif", name));
        ASSERT_TRUE(read) << name;
        EXPECT_EQ(read->block.width(), 46) << name;
        EXPECT_EQ(read->orientation, 1) << name << ": nothing is left for the dispatcher to turn";
    }
}

TEST(HeifReader, RefusesADeclaredSizeOverTheLimitBeforeDecoding)
{
    std::vector<uint8_t> file = testing::readFile(testing::fixture("heif", "lossy.heic"));
    const uint8_t huge[] = {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60}; // 60000 x 60000
    for (size_t at = 0; at + 16 <= file.size(); ++at)
        if (std::memcmp(&file[at], "ispe", 4) == 0)
            std::memcpy(&file[at + 8], huge, sizeof huge);
    const Result<DecodedImage> read = readHeifFromMemory(file);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.failure().detail, kCantAllocateMemory);
}

// A fuzzing finding: 70 x 46 pixels declared, an HEVC stream of 17920 x 11776
// (43 s and 3.7 GB before the stream was held to the declared size).
TEST(HeifReader, RefusesAStreamLargerThanDeclared)
{
    const Result<DecodedImage> read = readHeif(testing::fixture("heif", "stream-larger-than-declared.heic"));
    ASSERT_FALSE(read);
    EXPECT_EQ(read.failure().detail, "Not a valid HEIC file");
}

} // namespace
} // namespace pictorand
