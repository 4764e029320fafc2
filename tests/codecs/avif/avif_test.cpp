#include "codecs/avif/avif.h"
#include "codecs/avif/sequence_plays.h"
#include "core/byte_order.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// make_plays_fixtures.py gives avifenc's sequence the edit lists below.
TEST(AvifReader, SequencePlaysAsItsEditListSays)
{
    const struct {
        std::string path;
        int loopCount;
    } cases[] = {
        {std::string(PICTORAND_SOURCE_DIR) + "/tests/dispatch/animations/three_frames.avif", 0}, // none
        {testing::fixture("avif", "plays-once.avif"), 1},
        {testing::fixture("avif", "plays-three-times.avif"), 3},
        {testing::fixture("avif", "plays-for-ever.avif"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Result<ComposedAnimation> read = readAvifAnimationFromMemory(testing::readFile(c.path), {});
        ASSERT_TRUE(read);
        EXPECT_EQ(read->frames.size(), 3u);
        EXPECT_EQ(read->loopCount, c.loopCount);
    }
}

// The three-play sequence with one field of a box overwritten (at `offset`
// from the box's type): its count is not to be had, so it plays for ever.
TEST(AvifSequencePlays, DamagedBoxesPlayForEver)
{
    const std::vector<uint8_t> intact = testing::readFile(testing::fixture("avif", "plays-three-times.avif"));
    const struct {
        const char* fault;
        const char* box;
        std::ptrdiff_t offset;
        uint32_t value;
    } cases[] = {
        {"edit list entries past its end", "elst", 8, 0x10000000},
        {"track larger than its movie", "trak", -4, 0x7FFFFFF0},
        {"64-bit movie size past the file's end", "moov", -4, 1}, // mvhd's header read as the size
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        std::vector<uint8_t> file = intact;
        const auto type = std::search(file.begin(), file.end(), c.box, c.box + 4);
        ASSERT_NE(type, file.end());
        storeBE32(&*(type + c.offset), c.value);
        EXPECT_EQ(avifSequencePlays(file), 0);
    }
}

} // namespace
} // namespace pictorand
