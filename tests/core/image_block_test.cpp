#include "core/checked_size.h"
#include "core/image_block.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(CheckedSize, DetectsOverflow)
{
    EXPECT_FALSE(checkedMul(uint64_t(1) << 33, uint64_t(1) << 33));
    EXPECT_FALSE(checkedMulAdd(0x10000, 0x8000, 0));
    EXPECT_EQ(checkedMulAdd(0x10000, 0x7FFF, 0xFFFF), uint64_t(0x7FFFFFFF));
}

} // namespace
} // namespace pictorand
