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

// The GIF scanner records offsets as it goes and the reader seeks back to
// them: offsets must stay true across refills, from a file opened part way
// in, and seeks must land inside or outside the buffer alike.
TEST(BufferedByteReader, OffsetsAndSeeksAgreeWithTheFile)
{
    ScratchDir dir;
    const size_t size = 3 * BufferedByteReader::kBufferSize + 123;
    auto bytes = pattern(size);
    writeFile(dir.file("data"), bytes);
    OpenFile file(dir.file("data"), "rb");
    ASSERT_EQ(std::fseek(file.get(), 7, SEEK_SET), 0);
    BufferedByteReader reader(file);
    EXPECT_EQ(reader.offset(), 7u);
    EXPECT_TRUE(reader.skipExactly(BufferedByteReader::kBufferSize + 5));
    EXPECT_EQ(reader.offset(), 7u + BufferedByteReader::kBufferSize + 5);
    EXPECT_EQ(reader.nextByte(), bytes[12 + BufferedByteReader::kBufferSize]);

    for (uint64_t target : {uint64_t(0), uint64_t(size - 1), uint64_t(BufferedByteReader::kBufferSize * 2 + 1), uint64_t(3)}) {
        ASSERT_TRUE(reader.seek(target)) << target;
        EXPECT_EQ(reader.offset(), target);
        EXPECT_EQ(reader.nextByte(), bytes[static_cast<size_t>(target)]) << target;
        EXPECT_EQ(reader.offset(), target + 1);
    }
    // A seek back into what is buffered needs no read.
    ASSERT_TRUE(reader.seek(3));
    EXPECT_EQ(reader.nextByte(), bytes[3]);
    ASSERT_TRUE(reader.seek(size));
    EXPECT_TRUE(reader.atEnd());
    ASSERT_TRUE(reader.seek(size + 1000)); // beyond the end: reads just fail
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.nextByte(), -1);
    EXPECT_FALSE(reader.skipExactly(1));
}

TEST(BufferedByteReader, SeeksInASpan)
{
    std::vector<uint8_t> bytes = {1, 2, 3, 4};
    BufferedByteReader reader{std::span<const uint8_t>(bytes)};
    EXPECT_FALSE(reader.atEnd());
    ASSERT_TRUE(reader.seek(2));
    EXPECT_EQ(reader.offset(), 2u);
    EXPECT_EQ(reader.nextByte(), 3);
    EXPECT_FALSE(reader.skipExactly(2));
    EXPECT_TRUE(reader.atEnd());
    ASSERT_TRUE(reader.seek(0));
    EXPECT_EQ(reader.nextByte(), 1);
    EXPECT_FALSE(reader.seek(5));
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
