// The converter over the icon, IFF and Photo CD readers and the icon writer.

#include "codecs/icon/icon.h"
#include "codecs/webp/webp.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::shellQuote;

TEST(ConvertFormats, IffAndPhotoCdToIcons)
{
    REQUIRE_TOOLS("convert", "ppmtoilbm");
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

namespace pictorand {
namespace {

// The four formats of the libraries go through the same table: found by
// their first bytes whatever the name, reported, converted and written.
TEST(ConvertFormats, WebpHeicAvifAndJpegXlByTheirSignatures)
{
    testing::ScratchDir dir;
    const std::string fixtures = std::string(PICTORAND_SOURCE_DIR) + "/tests/codecs/";
    const std::pair<const char*, const char*> files[] = {
        {"webp/fixtures/alpha.webp", "WEBP, 70 x 46, 24 bits, WebP - lossy"},
        {"heif/fixtures/rotated.heic", "HEIC, 46 x 70, 24 bits, HEIC - HEVC"},
        {"avif/fixtures/rotated.avif", "AVIF, 46 x 70, 24 bits, AVIF - AV1"},
        {"jxl/fixtures/grey.jxl", "JPEG XL, 70 x 46, 8 bits, JPEG XL"},
    };
    std::string names;
    for (size_t i = 0; i < std::size(files); ++i) {
        // Named as something else: the signature decides.
        const std::string copy = dir.file("picture" + std::to_string(i) + ".png");
        testing::writeFile(copy, testing::readFile(fixtures + files[i].first));
        names += " " + shellQuote(copy);
    }
    std::string output;
    ASSERT_EQ(testing::runCommand(std::string(PICTORAND_CONVERTER) + " --info" + names, &output), 0) << output;
    for (size_t i = 0; i < std::size(files); ++i)
        EXPECT_NE(output.find(files[i].second), std::string::npos) << files[i].first << "\n" << output;

    ASSERT_EQ(testing::runCommand("cd " + shellQuote(dir.path()) + " && " + PICTORAND_CONVERTER + " -t webp -o out"
                                  + names + " >/dev/null"),
              0);
    std::string message;
    ImageBlock written = testing::blockOf(readWebp(dir.file("out/picture1.WEBP")), message);
    ASSERT_TRUE(written) << message;
    EXPECT_EQ(written.width(), 46);
}

} // namespace
} // namespace pictorand
