#include "core/checked_size.h"
#include "core/image_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace pictorand {
namespace {

TEST(ImageBlock, NullByDefault)
{
    ImageBlock block;
    EXPECT_TRUE(block.isNull());
    EXPECT_FALSE(block);
}

struct RowCase {
    uint32_t width;
    uint32_t bits;
    uint64_t rowSize;
};

TEST(ImageBlock, RowSizesArePaddedToFourBytes)
{
    const RowCase cases[] = {
        {1, 1, 4}, {32, 1, 4}, {33, 1, 8}, {3, 24, 12}, {5, 24, 16}, {1, 4, 4}, {9, 4, 8}, {7, 8, 8}, {1, 48, 8}, {3, 3, 4},
    };
    for (const RowCase& c : cases)
        EXPECT_EQ(ImageBlock::rowSizeFor(c.width, c.bits), c.rowSize) << c.width << " x " << c.bits;
}

TEST(ImageBlock, CreateWritesHeaderLittleEndianAndZeroFills)
{
    ImageBlock block = ImageBlock::create(3, 2, 8, 16);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.size(), 40u + 64u + 4u * 2u);
    const uint8_t* d = block.data();
    EXPECT_EQ(d[0], 40);
    EXPECT_EQ(d[4], 3);
    EXPECT_EQ(d[8], 2);
    EXPECT_EQ(d[12], 1);
    EXPECT_EQ(d[14], 8);
    EXPECT_EQ(d[32], 16);
    // Rows start after the 16 entries actually present, not after 256.
    EXPECT_EQ(block.pixelOffset(), 40u + 64u);
    for (uint64_t i = 40; i < block.size(); ++i)
        ASSERT_EQ(d[i], 0) << i;
    EXPECT_TRUE(block.isConsistent());
}

TEST(ImageBlock, TrueColourBlockHasNoTable)
{
    ImageBlock block = ImageBlock::create(5, 1, 24, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.pixelOffset(), 40u);
    EXPECT_EQ(block.rowSize(), 16u);
}

TEST(ImageBlock, RowsAreBottomUp)
{
    ImageBlock block = ImageBlock::create(1, 3, 8, 256);
    ASSERT_TRUE(block);
    block.topRow(0)[0] = 7;
    EXPECT_EQ(block.row(2)[0], 7);
}

TEST(ImageBlock, RefusesWhatDoesNotFit)
{
    EXPECT_FALSE(ImageBlock::create(-1, 1, 8, 256));
    EXPECT_FALSE(ImageBlock::create(1, -1, 8, 256));
    EXPECT_FALSE(ImageBlock::create(0x7FFFFFFF, 0x7FFFFFFF, 24, 0));
    EXPECT_FALSE(ImageBlock::create(46341, 46341, 8, 0)); // just over 2^31 bytes
    EXPECT_FALSE(ImageBlock::allocate(kMaxBlockBytes + 1));
    EXPECT_FALSE(ImageBlock::sizeFor(1, 1, 8, uint64_t(1) << 40));
}

TEST(ImageBlock, LargeBlocksAreZeroAndMovable)
{
    ImageBlock block = ImageBlock::create(2000, 1000, 24, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.row(999)[5999], 0);
    block.row(999)[5999] = 1;
    ImageBlock moved = std::move(block);
    EXPECT_TRUE(block.isNull());
    EXPECT_EQ(moved.row(999)[5999], 1);
}

// A freed picture's pages are handed on only to a block that is overwritten
// whole: a block that is to start zero never gets them.
TEST(ImageBlock, FreedPagesGoOnlyToBlocksThatAreOverwritten)
{
    const uint64_t bytes = uint64_t(8) << 20;
    const uint8_t* freed = nullptr;
    {
        ImageBlock dirty = ImageBlock::allocate(bytes);
        ASSERT_TRUE(dirty);
        std::fill_n(dirty.data(), bytes, uint8_t(0xAB));
        freed = dirty.data();
    }
    ImageBlock fresh = ImageBlock::allocate(bytes);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(std::count(fresh.data(), fresh.data() + bytes, 0), static_cast<std::ptrdiff_t>(bytes));
    ImageBlock reused = ImageBlock::allocateForOverwrite(bytes);
    ASSERT_TRUE(reused);
    EXPECT_EQ(reused.data(), freed);
}

// A block a reader fills row by row may be another picture's pages, but
// what the reader does not write (header, colour table, row padding, the
// rows it clears) reads as a new block's would.
TEST(ImageBlock, RowsOfABlockForRowsStartAsOtherPicturesLeftThemAndTheRestZero)
{
    const int32_t width = 1001, height = 2000; // 3003 bytes of 3004 a row
    {
        ImageBlock dirty = ImageBlock::allocate(*ImageBlock::sizeFor(width, height, 24, 16));
        ASSERT_TRUE(dirty);
        std::fill_n(dirty.data(), dirty.size(), uint8_t(0xAB));
    }
    ImageBlock block = ImageBlock::createForRows(width, height, 24, 16);
    ImageBlock expected = ImageBlock::create(width, height, 24, 16);
    ASSERT_TRUE(block && expected);
    EXPECT_EQ(block.row(0)[0], 0xAB) << "the freed picture's pages";
    EXPECT_TRUE(std::equal(block.data(), block.pixels(), expected.data()));
    for (int32_t y = 0; y < height; ++y)
        ASSERT_EQ(block.row(y)[3003], 0) << y;
    block.clearRowsFrom(1500);
    EXPECT_EQ(block.topRow(1499)[0], 0xAB);
    EXPECT_EQ(std::count(block.topRow(height - 1), block.topRow(1500) + block.rowSize(), 0),
              static_cast<std::ptrdiff_t>(block.rowSize() * 500));
}

// Under an address-space limit (a decoder worker's), the kept mappings make
// room for a picture of another size rather than have it refused. (Not in
// sanitizer builds: their shadow memory takes no such limit.)
#if !defined(__SANITIZE_ADDRESS__)
[[noreturn]] void allocateBesideAKeptMappingUnderALimit()
{
    const uint64_t mib = uint64_t(1) << 20;
    { ImageBlock kept = ImageBlock::allocate(256 * mib); }
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * uint64_t(sysconf(_SC_PAGESIZE)) + 100 * mib; // the kept 256 MiB within
    const rlimit space{limit, limit};
    setrlimit(RLIMIT_AS, &space);
    std::_Exit(ImageBlock::allocate(180 * mib) ? 0 : 1);
}

TEST(ImageBlockDeathTest, KeptPagesMakeRoomForAPictureTheLimitWouldRefuse)
{
    EXPECT_EXIT(allocateBesideAKeptMappingUnderALimit(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST(CheckedSize, DetectsOverflow)
{
    EXPECT_FALSE(checkedMul(uint64_t(1) << 33, uint64_t(1) << 33));
    EXPECT_FALSE(checkedMulAdd(0x10000, 0x8000, 0));
    EXPECT_EQ(checkedMulAdd(0x10000, 0x7FFF, 0xFFFF), uint64_t(0x7FFFFFFF));
}

} // namespace
} // namespace pictorand
