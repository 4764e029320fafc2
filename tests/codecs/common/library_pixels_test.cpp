#include "codecs/common/library_pixels.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

TEST(LibraryPixels, DeclaredSizeFitsTheBlockAndTheLibrarysBufferTurnedEitherWay)
{
    struct Case {
        uint64_t width, height;
        SampleLayout layout;
        bool fits;
    };
    const Case cases[] = {
        {6000, 4000, {3, 8}, true},
        {0, 4000, {3, 8}, false},
        {26000, 26000, {3, 8}, true},      // 2.03e9 bytes of block
        {27000, 27000, {3, 8}, false},     // 2.19e9
        {26000, 26000, {4, 8}, false},     // the library's RGBA buffer is over 2 GiB
        {18000, 18000, {3, 10}, true},     // 16-bit samples: 1.94e9
        {19000, 19000, {3, 10}, false},
        {1u << 31, 1, {1, 8}, false},
        {40000, 40000, {1, 8}, true},      // grey: a byte a pixel
    };
    for (const Case& c : cases)
        EXPECT_EQ(declaredSizeFits(c.width, c.height, c.layout), c.fits) << c.width << " x " << c.height;
}

TEST(LibraryPixels, DeepSamplesRoundToEightBitsAndAlphaGoesOverWhite)
{
    // One row of two pixels per layout; the block's picture row holds them.
    struct Case {
        SampleLayout layout;
        std::vector<uint8_t> samples;
        std::vector<uint8_t> stored; // blue first for colour
    };
    const Case cases[] = {
        {{3, 8}, {10, 20, 30, 40, 50, 60}, {30, 20, 10, 60, 50, 40}},
        {{4, 8}, {10, 20, 30, 255, 0, 0, 0, 0}, {30, 20, 10, 255, 255, 255}},
        {{1, 8}, {7, 9}, {7, 9}},
        {{2, 8}, {0, 128, 200, 255}, {127, 200}},
        // 10 bits, v * 255 / 1023: 1023 -> 255, 3 -> 0.75 -> 1, 1 -> 0.25 -> 0, 512 -> 127.6 -> 128
        {{3, 10}, {0xFF, 0x03, 3, 0, 1, 0, 0, 2, 0, 0, 0, 0}, {0, 1, 255, 0, 0, 128}},
    };
    for (const Case& c : cases) {
        ImageBlock block = createBlockForLayout(2, 1, c.layout);
        ASSERT_TRUE(block);
        storeTopRow(block, 0, c.samples.data(), c.layout);
        EXPECT_EQ(std::vector<uint8_t>(block.topRow(0), block.topRow(0) + c.stored.size()), c.stored)
            << c.layout.channels << " channels, " << c.layout.significantBits << " bits";
    }
}

} // namespace
} // namespace pictorand
