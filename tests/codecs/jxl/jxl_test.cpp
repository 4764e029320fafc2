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

// The check reads the codestream's head, passing over the boxes ahead of it
// (make_metadata_ahead.py puts 100 KiB of XMP there); djxl reads that file
// as the same three frames we do.
TEST(JpegXlReader, DeclaresAnimationFromTheCodestreamsHead)
{
    REQUIRE_TOOLS("djxl");
    REQUIRE_PILLOW();
    const std::string metadataAhead = testing::fixture("jxl", "metadata-ahead.jxl");
    const struct {
        std::string path;
        bool animated;
    } cases[] = {
        {testing::fixture("jxl", "lossy.jxl"), false},
        {std::string(PICTORAND_SOURCE_DIR) + "/tests/dispatch/animations/three_frames.jxl", true},
        {metadataAhead, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(jpegXlDeclaresAnimation(c.path), c.animated) << c.path;

    const Result<ComposedAnimation> read = readJpegXlAnimation(metadataAhead, {});
    ASSERT_TRUE(read);
    ASSERT_EQ(read->frames.size(), 3u);
    for (size_t i = 0; i < read->frames.size(); ++i) {
        SCOPED_TRACE(i);
        const std::optional<testing::RgbImage> frame = testing::toolDecode(
            "djxl {in} {out}.apng.png && /usr/bin/python3 -c \"import sys; from PIL import Image; "
            "im = Image.open(sys.argv[1]); im.seek(int(sys.argv[3])); im.convert('RGBA').save(sys.argv[2])\" "
            "{out}.apng.png {out} " + std::to_string(i),
            metadataAhead);
        ASSERT_TRUE(frame);
        EXPECT_EQ(testing::maxDifference(testing::blockToRgb(read->frames[i].block), *frame), 0);
    }
}

} // namespace
} // namespace pictorand
