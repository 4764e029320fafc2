// The converter over the icon, IFF and Photo CD readers and the icon writer.

#include "codecs/icon/icon.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::shellQuote;

TEST(ConvertFormats, IffAndPhotoCdToIcons)
{
    if (!testing::haveTool("convert") || !testing::haveTool("ppmtoilbm"))
        GTEST_SKIP() << "ImageMagick or netpbm missing";
    testing::ScratchDir dir;
    std::string source = dir.file("source.ppm");
    ASSERT_EQ(testing::runCommand("convert -size 20x10 gradient:red-blue -colors 16 -depth 8 -type truecolor " + shellQuote(source)), 0);
    std::string iff = dir.file("picture.iff");
    ASSERT_EQ(testing::runCommand("ppmtoilbm " + shellQuote(source) + " > " + shellQuote(iff) + " 2>/dev/null"), 0);
    std::vector<uint8_t> pack(4096, 0);
    std::fill_n(pack.begin(), 7, 0xFF);
    std::string pcd = dir.file("photo.pcd");
    testing::writeFile(pcd, pack);

    // The Photo CD picture is 768 wide: too big for an icon, refused.
    std::string output;
    EXPECT_EQ(testing::runCommand("cd " + shellQuote(dir.path()) + " && " + PICTORAND_CONVERTER + " -t ico -o out "
                                      + shellQuote(iff) + " " + shellQuote(pcd) + " 2>&1",
                                  &output),
              1)
        << output;
    std::string message;
    ImageBlock block = testing::blockOf(readIcon(dir.file("out/picture.ICO"), IconReadOptions{}), message);
    ASSERT_TRUE(block) << message << "\n" << output;
    EXPECT_EQ(block.width(), 20);
    auto expected = testing::magickDecode(source);
    ASSERT_TRUE(expected);
    EXPECT_EQ(testing::maxDifference(testing::blockToRgb(block), *expected), 0);
    EXPECT_FALSE(testing::fileExists(dir.file("out/photo.ICO")));
}

} // namespace
} // namespace pictorand
