// The rule every command on the user's picture keeps: one that fails leaves
// the block exactly as it was, byte for byte.

#include "ops/adjust.h"
#include "ops/depth_conversion.h"
#include "ops/rotate.h"

#include "tests/ops/block_builders.h"

#include <gtest/gtest.h>

#include <functional>

using namespace pictorand;
using namespace pictorand::testing;

namespace {

TEST(FailedOperation, LeavesTheBlockAsItWas)
{
    const std::pair<const char*, std::function<Status(ImageBlock&)>> operations[] = {
        {"negative", negative},
        {"swap", [](ImageBlock& b) { return swapChannels(b, ChannelSwap::BRG); }},
        {"greyscale", greyscale},
        {"flip vertical", flipVertical},
        {"flip horizontal", flipHorizontal},
        {"rotate right", rotateRight},
        {"rotate left", rotateLeft},
        {"orient 5", [](ImageBlock& b) { return orientUpright(b, 5); }},
        {"orient 6", [](ImageBlock& b) { return orientUpright(b, 6); }},
        {"increase depth", [](ImageBlock& b) { return increaseDepth(IncreaseDepthCommand::ToTrueColor, b); }},
        {"palette entry", [](ImageBlock& b) { return setPaletteEntry(b, 0, 1, 2, 3); }},
    };
    for (const auto& [name, operation] : operations) {
        ImageBlock none;
        EXPECT_FALSE(operation(none)) << name;
        EXPECT_FALSE(none) << name;
        // A header that claims more rows than the block holds.
        std::mt19937 random(5);
        ImageBlock overlong = randomBlock(random, 4, 4, 8);
        overlong.setHeight(9);
        const std::vector<uint8_t> before = blockBytes(overlong);
        EXPECT_FALSE(operation(overlong)) << name;
        EXPECT_EQ(blockBytes(overlong), before) << name;
    }
}

} // namespace
