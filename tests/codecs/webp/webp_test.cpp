#include "codecs/webp/webp.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::shellQuote;

// dwebp cannot decode animations; Pillow's first frame is the canvas after it.
// (Debian's python3-pil is for Debian's own interpreter.)
constexpr const char* kPillowFirstFrame =
    "/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); im.seek(0); "
    "im.convert('RGBA').save(sys.argv[2])\" {in} {out}";

TEST(WebpReader, DecodesAsDwebpDoes)
{
    REQUIRE_TOOLS("dwebp", "convert");
    REQUIRE_PILLOW();
    const testing::ToolCase cases[] = {
        {"lossy.webp", "dwebp {in} -o {out}", 0},
        {"lossless.webp", "dwebp {in} -o {out}", 0},
        {"alpha.webp", "dwebp {in} -o {out}", 1},
        {"animated.webp", kPillowFirstFrame, 1},
    };
    testing::expectDecodesAsTools(readWebp, "webp", cases);
}

// VP8X header of an animation whose canvas is 40000 x 40000: libwebp takes
// it, the block limit does not.
TEST(WebpReader, RefusesACanvasOverTheBlockLimitBeforeDecoding)
{
    static constexpr uint8_t kHugeCanvas[] = {
        'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0,
        0x02, 0, 0, 0,                       // animation flag, reserved
        0x3F, 0x9C, 0x00, 0x3F, 0x9C, 0x00, // canvas width - 1, height - 1 (39999)
    };
    static_assert(sizeof kHugeCanvas == 30);
    const Result<DecodedImage> read = readWebpFromMemory(kHugeCanvas);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.failure().detail, kCantAllocateMemory);
}

struct WriteCase {
    int quality;
    uint16_t bitCount;
    const char* compression; // what our reader says of the file
    double meanDifference;   // at most, against the block written, decoded by dwebp
};

TEST(WebpWriter, LosslessAtQuality100AndLossyBelowAtEveryDepth)
{
    REQUIRE_TOOLS("dwebp", "convert");
    const WriteCase cases[] = {
        {100, 24, "WebP - lossless", 0},
        {100, 8, "WebP - lossless", 0},
        {100, 4, "WebP - lossless", 0},
        {100, 1, "WebP - lossless", 0},
        {80, 24, "WebP - lossy", 4.0},
    };
    testing::ScratchDir dir;
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.bitCount);
        SCOPED_TRACE(c.quality);
        ImageBlock block = testing::makeBlock(37, 13, c.bitCount, c.bitCount == 24 ? 0 : 1u << c.bitCount);
        for (uint32_t i = 0; i < block.colorsUsed(); ++i)
            block.setColor(i, uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3));
        for (int32_t y = 0; y < block.height(); ++y)
            for (uint64_t x = 0; x < block.rowSize(); ++x)
                block.row(y)[x] = uint8_t(c.bitCount == 24 ? x + uint64_t(y) * 4 : x * 11 + uint64_t(y) * 5);
        const std::string path = dir.file("out.webp");
        ASSERT_TRUE(writeWebp(path, block, WebpWriteOptions{c.quality}));
        std::string message;
        std::string compression;
        ImageBlock read = testing::blockOf(readWebp(path), message, compression);
        ASSERT_TRUE(read) << message;
        EXPECT_EQ(compression, c.compression);
        const auto decoded = testing::toolDecode("dwebp {in} -o {out}", path);
        ASSERT_TRUE(decoded);
        EXPECT_LE(testing::meanDifference(testing::blockToRgb(block), *decoded), c.meanDifference);
    }
}

TEST(WebpWriter, RefusesWhatWebpCannotHold)
{
    testing::ScratchDir dir;
    ImageBlock wide = testing::makeBlock(kWebpMaxDimension + 1, 1, 24, 0);
    EXPECT_FALSE(writeWebp(dir.file("wide.webp"), wide, {}));
    EXPECT_FALSE(testing::fileExists(dir.file("wide.webp")));
}

} // namespace
} // namespace pictorand
