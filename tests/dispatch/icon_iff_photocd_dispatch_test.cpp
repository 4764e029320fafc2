// The dispatchers over the icon, IFF and Photo CD codecs: the chooser only
// on the interactive display path, the overview switch, compression texts,
// and saving icons.

#include "codecs/icon/icon.h"
#include "dispatch/load_dispatch.h"
#include "dispatch/save_dispatch.h"
#include "tests/dispatch/scripted_host.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::shellQuote;

struct CountingChooser : IconChooser {
    int calls = 0;
    int chooseIcon(const std::string&, const std::vector<std::string>& lines) override
    {
        ++calls;
        return static_cast<int>(lines.size()) - 1;
    }
};

class ChooserHost : public testing::ScriptedHost {
public:
    IconChooser* iconChooser() override { return &chooser; }
    CountingChooser chooser;
};

class IconIffPhotoCdDispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("convert");
    }
    ScratchDir dir;
};

TEST_F(IconIffPhotoCdDispatch, ChooserOnlyOnTheInteractiveDisplayPath)
{
    std::string path = dir.file("two.ico");
    ASSERT_EQ(testing::runCommand("convert -size 16x16 xc:red -size 32x32 xc:blue " + shellQuote(path)), 0);
    ChooserHost host;
    ImageBlock block = LoadForDisplay(host, path, false, false, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(host.chooser.calls, 1);
    EXPECT_EQ(block.width(), 32) << "the chooser's answer, the last image";
    EXPECT_EQ(host.current.compression, "Windows ICON - None");

    // The slideshow and the preview never ask.
    block = LoadForDisplay(host, path, true, false, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(host.chooser.calls, 1);
    EXPECT_EQ(block.width(), 16);
    EXPECT_TRUE(LoadForBatch(path));
    EXPECT_EQ(host.chooser.calls, 1);
}

TEST_F(IconIffPhotoCdDispatch, OverviewPackShowsTheSheetAndTheNotice)
{
    std::vector<uint8_t> pack(10240 + 36864, 0);
    std::copy_n("PCD_OPA", 7, pack.begin());
    std::string path = dir.file("overview.pcd");
    testing::writeFile(path, pack);
    testing::ScriptedHost host;
    ImageBlock block = LoadForDisplay(host, path, false, false, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.width(), 960);
    EXPECT_EQ(block.height(), 649);
    EXPECT_TRUE(host.current.overviewMode);
    EXPECT_EQ(host.current.overviewStart, 1);
    EXPECT_EQ(host.current.compression, "Photo CD - None");
    ASSERT_FALSE(host.ui.messages.empty());
    EXPECT_EQ(host.ui.messages.back().text,
              "This file contains 100 pictures.\nYou see now the first 25 Pictures.\n\nPress N for next 25 pictures !");

    block = LoadForBatch(path);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 24);
}

TEST_F(IconIffPhotoCdDispatch, IffThroughBatchLoadKeepsItsCompressionText)
{
    std::string source = dir.file("source.ppm");
    ASSERT_EQ(testing::runCommand("convert -size 9x4 gradient:red-blue -colors 4 -depth 8 -type truecolor " + shellQuote(source)), 0);
    std::string path = dir.file("picture.iff");
    ASSERT_EQ(testing::runCommand("ppmtoilbm " + shellQuote(source) + " > " + shellQuote(path) + " 2>/dev/null"), 0);
    std::string message, compression;
    ImageBlock block = loadForBatchWithMessage(path, message, compression);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(compression, "Run Length Encoding");
    EXPECT_EQ(block.width(), 9);
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
