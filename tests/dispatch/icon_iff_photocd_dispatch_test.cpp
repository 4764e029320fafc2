// The load over the icon, IFF and Photo CD codecs: the icon choice only on
// the viewer's path, the overview switch, compression texts, and saving
// icons.

#include "codecs/icon/icon.h"
#include "dispatch/load.h"
#include "dispatch/save_dispatch.h"
#include "tests/support/decoded.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::shellQuote;

LoadOutcome read(const std::string& path, LoadPurpose purpose = LoadPurpose::View, LoadOptions options = {})
{
    return load({LoadSource{path}, purpose, options});
}

class IconIffPhotoCdDispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("convert");
    }
    ScratchDir dir;
};

TEST_F(IconIffPhotoCdDispatch, ChoicesOnlyOnTheViewersPath)
{
    std::string path = dir.file("two.ico");
    ASSERT_EQ(testing::runCommand("convert -size 16x16 xc:red -size 32x32 xc:blue " + shellQuote(path)), 0);
    const LoadOutcome viewed = read(path);
    ASSERT_TRUE(viewed.block);
    EXPECT_EQ(viewed.iconChoices.size(), 2u);
    EXPECT_EQ(viewed.block.width(), 16) << "the first image until one is chosen";
    EXPECT_EQ(viewed.compression, "Windows ICON - None");
    LoadOptions last;
    last.icon = 1;
    EXPECT_EQ(read(path, LoadPurpose::View, last).block.width(), 32);

    // The slideshow, the preview and a batch never offer the choice.
    for (LoadPurpose purpose : {LoadPurpose::Slide, LoadPurpose::Preview, LoadPurpose::Batch}) {
        const LoadOutcome other = read(path, purpose);
        ASSERT_TRUE(other.block);
        EXPECT_TRUE(other.iconChoices.empty());
        EXPECT_EQ(other.block.width(), 16);
    }
}

TEST_F(IconIffPhotoCdDispatch, OverviewPackShowsTheSheet)
{
    std::vector<uint8_t> pack(10240 + 36864, 0);
    std::copy_n("PCD_OPA", 7, pack.begin());
    std::string path = dir.file("overview.pcd");
    testing::writeFile(path, pack);
    const LoadOutcome sheet = read(path);
    ASSERT_TRUE(sheet.block);
    EXPECT_EQ(sheet.block.width(), 960);
    EXPECT_EQ(sheet.block.height(), 649);
    EXPECT_TRUE(sheet.overviewSheet);
    EXPECT_EQ(sheet.overviewStart, 1);
    EXPECT_EQ(sheet.compression, "Photo CD - None");
    const LoadOutcome batch = read(path, LoadPurpose::Batch);
    ASSERT_TRUE(batch.block);
    EXPECT_EQ(batch.block.bitCount(), 24);
}

TEST_F(IconIffPhotoCdDispatch, IffThroughBatchLoadKeepsItsCompressionText)
{
    std::string source = dir.file("source.ppm");
    ASSERT_EQ(testing::runCommand("convert -size 9x4 gradient:red-blue -colors 4 -depth 8 -type truecolor " + shellQuote(source)), 0);
    std::string path = dir.file("picture.iff");
    ASSERT_EQ(testing::runCommand("ppmtoilbm " + shellQuote(source) + " > " + shellQuote(path) + " 2>/dev/null"), 0);
    const LoadOutcome outcome = read(path, LoadPurpose::Batch);
    ASSERT_TRUE(outcome.block) << loadFailureWords(outcome);
    EXPECT_EQ(outcome.compression, "Run Length Encoding");
    EXPECT_EQ(outcome.block.width(), 9);
}

TEST_F(IconIffPhotoCdDispatch, SaveImageWritesIcons)
{
    ImageBlock block = ImageBlock::create(5, 3, 8, 256);
    block.setColor(7, 1, 2, 3);
    block.row(1)[2] = 7;
    testing::ScriptedUserInterface ui;
    std::string path = dir.file("saved.ico");
    ASSERT_TRUE(SaveImage(block, ui, path, true));
    std::string message;
    ImageBlock back = testing::blockOf(readIcon(path, IconReadOptions{}), message);
    ASSERT_TRUE(back) << message;
    EXPECT_EQ(back.bitCount(), 8);
    EXPECT_EQ(back.row(1)[2], 7);
}

} // namespace
} // namespace pictorand
