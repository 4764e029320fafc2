#include "codecs/qoi/qoi_reader.h"
#include "codecs/common/codec_result.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::Bytes;

constexpr uint8_t kEnd[] = {0, 0, 0, 0, 0, 0, 0, 1};

// A header, then `codes`, then the end marker unless `ended` is false.
Bytes qoi(uint32_t width, uint32_t height, uint8_t channels, const Bytes& codes, bool ended = true,
          uint8_t colourSpace = 0, const char* magic = "qoif")
{
    Bytes file(magic, magic + 4);
    for (uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            file.push_back(static_cast<uint8_t>(value >> shift));
    file.push_back(channels);
    file.push_back(colourSpace);
    file.insert(file.end(), codes.begin(), codes.end());
    if (ended)
        file.insert(file.end(), std::begin(kEnd), std::end(kEnd));
    return file;
}

// Red, a run of one more red; blue, then red again from the colour index
// (slot (255 * 3 + 255 * 11) % 64 = 50), written from the format's
// definition rather than by an encoder.
const Bytes kTwoByTwo = {0xFE, 255, 0, 0, 0xC0, 0xFE, 0, 0, 255, 50};

TEST(QoiReader, CodesFromTheFormatsDefinitionLandTopRowFirst)
{
    std::string message;
    ImageBlock block = testing::blockOf(readQoiFromMemory(qoi(2, 2, 3, kTwoByTwo)), message);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(message, "");
    EXPECT_EQ(testing::topRowBytes(block, 0, 6), (Bytes{0, 0, 255, 0, 0, 255}));
    EXPECT_EQ(testing::topRowBytes(block, 1, 6), (Bytes{255, 0, 0, 0, 0, 255}));
}

TEST(QoiReader, DecodesTheReferenceEncodersFilesAsImageMagickReadsTheirSources)
{
    REQUIRE_TOOLS("convert");
    const struct {
        const char* fixture;
        std::string source; // what qoiconv was given
        int tolerance;      // alpha laid over white by two implementations
    } cases[] = {
        {"rose.qoi", std::string(PICTORAND_SOURCE_DIR) + "/samples/rose-24bit.bmp", 0},
        {"alpha.qoi", testing::fixture("qoi", "alpha.png"), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        std::string message;
        ImageBlock block = testing::blockOf(readQoi(testing::fixture("qoi", c.fixture)), message);
        ASSERT_TRUE(block) << message;
        const std::optional<testing::RgbImage> expected = testing::magickDecode(c.source, true);
        ASSERT_TRUE(expected);
        const int difference = testing::maxDifference(testing::blockToRgb(block), *expected);
        EXPECT_GE(difference, 0) << "sizes differ";
        EXPECT_LE(difference, c.tolerance);
    }
}

// Every header fault is caught before the reference decoder allocates.
TEST(QoiReader, RefusesHostileHeadersForWhatIsWrong)
{
    const struct {
        const char* name;
        Bytes file;
        Reason reason;
    } cases[] = {
        {"shorter_than_a_header", Bytes{'q', 'o', 'i', 'f', 0, 0, 0, 1, 0, 0}, Reason::Truncated},
        {"wrong_magic", qoi(2, 2, 3, kTwoByTwo, true, 0, "qoix"), Reason::NotThisFormat},
        {"zero_width", qoi(0, 2, 3, kTwoByTwo), Reason::BadDimensions},
        {"zero_height", qoi(2, 0, 3, kTwoByTwo), Reason::BadDimensions},
        {"five_channels", qoi(2, 2, 5, kTwoByTwo), Reason::BadHeader},
        {"colour_space_2", qoi(2, 2, 3, kTwoByTwo, true, 2), Reason::BadHeader},
        {"width_over_the_block_limit", qoi(0x7FFFFFFF, 1, 3, kTwoByTwo), Reason::OutOfMemory},
        {"sixteen_megapixels_in_twenty_bytes", qoi(4000, 4000, 4, kTwoByTwo), Reason::CorruptData},
    };
    for (const auto& c : cases) {
        const Result<DecodedImage> read = readQoiFromMemory(c.file);
        ASSERT_FALSE(read) << c.name;
        EXPECT_EQ(read.failure().reason, c.reason) << c.name;
    }
}

// A file cut short is shown with what it has, and says so.
TEST(QoiReader, AFileWithoutItsEndMarkerIsShownWithAWarning)
{
    std::string message;
    const Bytes cut(kTwoByTwo.begin(), kTwoByTwo.end() - 1);
    ImageBlock block = testing::blockOf(readQoiFromMemory(qoi(2, 2, 3, cut, false)), message);
    ASSERT_TRUE(block);
    EXPECT_EQ(message, kPictureDataEndsEarly);
}

// The folder is all it takes: the signature test finds the file and the
// registry reads it.
TEST(QoiReader, TheRegisteredFormatFindsAndReadsAFile)
{
    const std::string path = testing::fixture("qoi", "rose.qoi");
    ASSERT_EQ(DetectFormat(path), kQoiFormat);
    const ReaderFunction reader = CodecRegistry::instance().reader(kQoiFormat);
    ASSERT_TRUE(reader);
    ReadRequest request;
    request.path = path;
    const Result<DecodedImage> read = reader(request);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->block.width(), 70);
}

} // namespace
} // namespace pictorand
