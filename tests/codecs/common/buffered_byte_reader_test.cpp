#include "codecs/common/buffered_byte_reader.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand::testing {
namespace {

std::vector<uint8_t> pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((i * 131) ^ (i >> 8));
    return bytes;
}

// Sizes around the read-ahead's edges.
class OverAFile : public ::testing::TestWithParam<size_t> {};

TEST_P(OverAFile, HandsOutEveryByteThenMinusOne)
{
    ScratchDir dir;
    auto bytes = pattern(GetParam());
    writeFile(dir.file("data"), bytes);
    OpenFile file(dir.file("data"), "rb");
    ASSERT_TRUE(file);
    BufferedByteReader reader(file);
    ASSERT_TRUE(reader);
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(reader.nextByte(), bytes[i]) << "at " << i;
    EXPECT_EQ(reader.nextByte(), -1);
    EXPECT_EQ(reader.nextByte(false), -1);
    EXPECT_EQ(reader.nextByte(), -1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, OverAFile,
                         ::testing::Values(size_t(0), size_t(1), BufferedByteReader::kBufferSize - 1,
                                           BufferedByteReader::kBufferSize, BufferedByteReader::kBufferSize + 1,
                                           3 * BufferedByteReader::kBufferSize + 77));

TEST(BufferedByteReader, LooksWithoutAdvancingWhenAsked)
{
    std::vector<uint8_t> bytes = {10, 20};
    BufferedByteReader reader{std::span<const uint8_t>(bytes)};
    EXPECT_EQ(reader.nextByte(false), 10);
    EXPECT_EQ(reader.nextByte(false), 10);
    EXPECT_EQ(reader.nextByte(), 10);
    EXPECT_EQ(reader.nextByte(), 20);
    EXPECT_EQ(reader.nextByte(false), -1);
}

TEST(BufferedByteReader, StartsAtTheFilesCurrentPosition)
{
    ScratchDir dir;
    auto bytes = pattern(100);
    writeFile(dir.file("data"), bytes);
    OpenFile file(dir.file("data"), "rb");
    ASSERT_EQ(std::fseek(file.get(), 60, SEEK_SET), 0);
    BufferedByteReader reader(file);
    EXPECT_EQ(reader.nextByte(), bytes[60]);
}

TEST(BufferedByteReader, ReadsAndSkipsBlocksAcrossRefills)
{
    ScratchDir dir;
    const size_t size = 2 * BufferedByteReader::kBufferSize + 500;
    auto bytes = pattern(size);
    writeFile(dir.file("data"), bytes);
    OpenFile file(dir.file("data"), "rb");
    BufferedByteReader reader(file);

    std::vector<uint8_t> out(BufferedByteReader::kBufferSize + 10);
    ASSERT_EQ(reader.nextByte(), bytes[0]);
    ASSERT_EQ(reader.read(out.data(), out.size()), out.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + 1));
    size_t at = 1 + out.size();
    EXPECT_EQ(reader.skip(BufferedByteReader::kBufferSize), BufferedByteReader::kBufferSize);
    at += BufferedByteReader::kBufferSize;
    EXPECT_EQ(reader.nextByte(), bytes[at]);
    ++at;
    // Asking for more than is left gives what is left.
    EXPECT_EQ(reader.read(out.data(), out.size()), size - at);
    EXPECT_EQ(reader.skip(5), 0u);
    EXPECT_EQ(reader.nextByte(), -1);
}

TEST(BufferedByteReader, ReadsAnEmptySpan)
{
    BufferedByteReader reader{std::span<const uint8_t>()};
    EXPECT_TRUE(reader);
    EXPECT_EQ(reader.nextByte(), -1);
    uint8_t out[4];
    EXPECT_EQ(reader.read(out, 4), 0u);
}

} // namespace
} // namespace pictorand::testing
