// A pasted picture's colour count follows its depth, whatever its header said.

#include "shell/core/pasted_picture.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

TEST(PastedPicture, ColorsUsedFollowsTheDepthAndTheTableGrowsWithIt)
{
    ImageBlock oneEntry = ImageBlock::create(9, 3, 1, 1);
    oneEntry.setColor(0, 10, 20, 30);
    oneEntry.row(2)[0] = 0xA5;
    ImageBlock taken = withDepthColorCount(std::move(oneEntry));
    ASSERT_TRUE(taken && taken.isConsistent());
    EXPECT_EQ(taken.colorsUsed(), 2u);
    EXPECT_EQ(taken.colorTable()[0], (ColorEntry{30, 20, 10, 0}));
    EXPECT_EQ(taken.colorTable()[1], ColorEntry{});
    EXPECT_EQ(taken.row(2)[0], 0xA5);

    const std::pair<uint16_t, uint32_t> depths[] = {{4, 16}, {8, 256}, {24, 0}};
    for (const auto& [bits, colors] : depths) {
        ImageBlock block = withDepthColorCount(ImageBlock::create(2, 2, bits, bits == 24 ? 5 : 3));
        ASSERT_TRUE(block && block.isConsistent());
        EXPECT_EQ(block.colorsUsed(), colors) << bits;
    }
}

} // namespace
} // namespace pictorand
