#include "codecs/jxl/jxl.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

TEST(JpegXlReader, DecodesAsDjxlDoesUprightFromTheHeader)
{
    REQUIRE_TOOLS("djxl", "convert");
    constexpr const char* djxl = "djxl {in} {out}";
    const testing::ToolCase cases[] = {
        {"lossy.jxl", djxl, 0},   {"lossless.jxl", djxl, 0}, {"alpha.jxl", djxl, 1},
        {"grey.jxl", djxl, 0},    {"rotated.jxl", djxl, 0},  {"rotated-mirrored.jxl", djxl, 0},
    };
    testing::expectDecodesAsTools(readJpegXl, "jxl", cases);
    // Written 70 x 46 with orientations 6 and 7.
    Result<DecodedImage> turned = readJpegXl(testing::fixture("jxl", "rotated.jxl"));
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->block.width(), 46);
    EXPECT_EQ(turned->orientation, 1);
}

// A bare codestream declaring 60000 x 60000 pixels and default metadata.
TEST(JpegXlReader, RefusesADeclaredSizeOverTheLimitBeforeDecoding)
{
    static constexpr uint8_t kHuge[] = {0xFF, 0x0A, 0xFE, 0x52, 0x07, 0x00, 0xF0, 0x97, 0x3A, 0x00,
                                        0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    static_assert(sizeof kHuge == 19);
    const Result<DecodedImage> read = readJpegXlFromMemory(kHuge);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.failure().detail, kCantAllocateMemory);
}

} // namespace
} // namespace pictorand
