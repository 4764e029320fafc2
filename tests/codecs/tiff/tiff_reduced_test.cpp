// A thumbnail of a pyramid reads its smallest level that still reaches the
// thumbnail's side, whether the levels follow the page in the main chain or
// hang from it as SubIFDs (libvips writes both). ImageMagick's PTIF marks its
// levels as pages, not reduced pictures, so they are pages here too.

#include "codecs/tiff/tiff.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand::testing {
namespace {

TEST(TiffReduced, AThumbnailReadsTheSmallestLevelThatReachesItsSide)
{
    REQUIRE_TOOLS("convert", "vips");
    ScratchDir dir;
    const std::string source = dir.file("source.png");
    ASSERT_EQ(runCommand("convert -size 1024x768 plasma:fractal -seed 3 -depth 8 " + shellQuote(source)), 0);
    const std::string chain = dir.file("chain.tif");
    const std::string subIfds = dir.file("subifd.tif");
    ASSERT_EQ(runCommand("vips tiffsave " + shellQuote(source) + " " + shellQuote(chain) + " --pyramid --tile"), 0);
    ASSERT_EQ(runCommand("vips tiffsave " + shellQuote(source) + " " + shellQuote(subIfds) + " --pyramid --tile --subifd"),
              0);
    const struct {
        int side;
        int width; // 0: no level will do, the page itself is read
        int level; // the level's place in the chain, as ImageMagick reads it
    } cases[] = {{300, 512, 1}, {256, 256, 2}, {200, 256, 2}, {1024, 0, 0}, {4000, 0, 0}};
    for (const std::string& pyramid : {chain, subIfds})
        for (const auto& c : cases) {
            SCOPED_TRACE(pyramid + " @ " + std::to_string(c.side));
            const uint32_t directory = reducedTiffDirectory(pyramid, c.side);
            if (c.width == 0) {
                EXPECT_EQ(directory, 0u);
                continue;
            }
            ASSERT_NE(directory, 0u);
            std::string message;
            ImageBlock level = blockOf(readTiffPage(pyramid, directory), message);
            ASSERT_TRUE(level) << message;
            EXPECT_EQ(level.width(), c.width);
            const std::string flat = dir.file("level.ppm");
            ASSERT_EQ(runCommand("convert " + shellQuote(chain + "[" + std::to_string(c.level) + "]") + " -depth 8 "
                                 + shellQuote(flat)),
                      0);
            auto expected = magickDecode(flat);
            ASSERT_TRUE(expected);
            EXPECT_EQ(maxDifference(blockToRgb(level), *expected), 0);
        }
    // ImageMagick's levels are pages; a file without levels has nothing smaller.
    const std::string pages = dir.file("pages.tif");
    ASSERT_EQ(runCommand("convert " + shellQuote(source) + " PTIF:" + shellQuote(pages)), 0);
    EXPECT_EQ(reducedTiffDirectory(pages, 64), 0u);
    EXPECT_EQ(reducedTiffDirectory(source, 64), 0u) << "not a TIFF";
}

} // namespace
} // namespace pictorand::testing
