// Damaged animation chunks end an APNG where they are: the frames before
// them stand, and fewer than two frames make it a still picture.

#include "codecs/png/png.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace pictorand {
namespace {

// Where the data of the `n`th chunk named `type` (from 0) starts.
size_t chunkData(const std::vector<uint8_t>& file, const char* type, int n)
{
    auto at = file.begin();
    for (int i = 0; i <= n; ++i)
        at = std::search(at + (i > 0), file.end(), type, type + 4);
    return static_cast<size_t>(at - file.begin()) + 4;
}

TEST(ApngReader, ADamagedFrameEndsTheAnimationAfterTheFramesBeforeIt)
{
    // Pillow's file: fcTL 0, IDAT, fcTL 1, fdAT 2, fcTL 3, fdAT 4.
    const std::vector<uint8_t> intact =
        testing::readFile(std::string(PICTORAND_SOURCE_DIR) + "/tests/dispatch/animations/three_frames.png");
    const Result<ComposedAnimation> whole = readApngFromMemory(intact, {});
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->frames.size(), 3u);
    const struct {
        const char* fault;
        std::function<void(std::vector<uint8_t>&)> damage;
        size_t frames;
    } cases[] = {
        {"cut inside the last frame's data", [](auto& f) { f.resize(chunkData(f, "fdAT", 1) + 20); }, 2},
        {"the last frame's sequence number out of turn", [](auto& f) { f[chunkData(f, "fcTL", 2) + 3] = 9; }, 2},
        {"the second frame's rectangle past the canvas", [](auto& f) { f[chunkData(f, "fcTL", 1) + 15] = 1; }, 0},
        {"an unknown blend operation", [](auto& f) { f[chunkData(f, "fcTL", 2) + 25] = 2; }, 2},
        {"a frame more than acTL declares", [](auto& f) { f[chunkData(f, "acTL", 0) + 3] = 2; }, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        std::vector<uint8_t> file = intact;
        c.damage(file);
        const Result<ComposedAnimation> read = readApngFromMemory(file, {});
        ASSERT_TRUE(read);
        ASSERT_EQ(read->frames.size(), c.frames);
        for (size_t i = 0; i < c.frames; ++i)
            EXPECT_EQ(testing::maxDifference(testing::blockToRgb(read->frames[i].block),
                                             testing::blockToRgb(whole->frames[i].block)),
                      0);
    }
}

} // namespace
} // namespace pictorand
