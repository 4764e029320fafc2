#include "shell/core/commands.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace pictorand {
namespace {

ViewerState withBlock(int bits)
{
    ViewerState state;
    state.hasBlock = true;
    state.bitCount = bits;
    state.pathIsExistingFile = true;
    return state;
}

ItemState menuItemState(int id, const ViewerState& state)
{
    const CommandRow* row = commandRow(id);
    EXPECT_NE(row, nullptr) << id;
    return row ? menuRuleState(*row, state) : ItemState();
}

TEST(Menu, FileMenuHoldsTwentyTwoEntriesBeforeTheRecentDirectories)
{
    EXPECT_EQ(menuBar().front().title, "&File");
    EXPECT_EQ(menuBar().front().entries.size(), 22u);
}

TEST(Menu, EveryItemHasARowAndAppearsOnce)
{
    std::vector<int> ids = allMenuCommands();
    std::set<int> unique(ids.begin(), ids.end());
    EXPECT_EQ(unique.size(), ids.size());
    for (int id : ids)
        EXPECT_NE(commandRow(id), nullptr) << id;
}

TEST(CommandTable, NoTwoRowsShareAnIdOrAKey)
{
    std::set<int> ids;
    std::set<std::tuple<char32_t, unsigned, bool>> keys; // window keys ignore the modifiers
    for (const CommandRow& row : commandTable()) {
        EXPECT_TRUE(ids.insert(row.id).second) << row.id;
        for (const KeyStroke& stroke : row.keys) {
            const bool accelerator = stroke.scope == KeyScope::Accelerator;
            EXPECT_TRUE(keys.insert({stroke.key, accelerator ? stroke.modifiers : 0u, accelerator}).second)
                << row.id << " " << keyHint(stroke);
        }
    }
}

TEST(Menu, EveryItemShowsTheHintOfItsFirstKey)
{
    for (int id : allMenuCommands()) {
        const CommandRow& row = *commandRow(id);
        const std::string text = menuText(id);
        if (row.keys.empty()) {
            EXPECT_EQ(text, row.text) << id;
            continue;
        }
        EXPECT_EQ(row.text.find('\t'), std::string::npos) << id; // one hint only
        EXPECT_EQ(text, row.text + "\t" + keyHint(row.keys.front())) << id;
    }
}

TEST(Menu, KeyHintsReadAsTheKeysAreNamed)
{
    EXPECT_EQ(keyHint({U'C', Ctrl | Shift}), "Ctrl+Shift+C");
    EXPECT_EQ(keyHint({U'R', Shift}), "Shift+R");
    EXPECT_EQ(keyHint({U'-'}), "-");
    EXPECT_EQ(keyHint({key::Delete}), "Del");
    EXPECT_EQ(keyHint({key::Escape}), "Esc");
    EXPECT_EQ(keyHint({key::F7}), "F7");
    EXPECT_EQ(keyHint({key::Backspace}), "Backspace");
}

struct DepthCase {
    int bits;
    bool to16, to256, toTrue, decrease, greyscale, palette;
};

TEST(MenuState, IncreaseAndDecreaseDependOnTheDepth)
{
    const DepthCase cases[] = {
        {1, true, true, true, false, false, true},
        {4, false, true, true, true, true, true},
        {8, false, false, true, true, true, true},
        {24, false, false, false, true, true, false},
    };
    for (const DepthCase& c : cases) {
        SCOPED_TRACE(c.bits);
        ViewerState state = withBlock(c.bits);
        EXPECT_EQ(menuItemState(command::IncreaseTo16Colors, state).enabled, c.to16);
        EXPECT_EQ(menuItemState(command::IncreaseTo256Colors, state).enabled, c.to256);
        EXPECT_EQ(menuItemState(command::IncreaseToTrueColor, state).enabled, c.toTrue);
        EXPECT_EQ(menuItemState(command::DecreaseColorDepth, state).enabled, c.decrease);
        EXPECT_EQ(menuItemState(command::Greyscale, state).enabled, c.greyscale);
        EXPECT_EQ(menuItemState(command::EditPalette, state).enabled, c.palette);
    }
}

TEST(MenuState, NothingNeedingAPictureIsEnabledWithoutOne)
{
    ViewerState empty;
    for (int id : {command::SaveAs, command::FullScreen, command::ZoomIn, command::ZoomOut, command::EditDelete,
                   command::IncreaseTo16Colors, command::IncreaseTo256Colors, command::IncreaseToTrueColor,
                   command::Reopen})
        EXPECT_FALSE(menuItemState(id, empty).enabled) << id;
    for (int id : {command::Open, command::Exit, command::BestFit, command::TimeMeasurement, command::AlwaysOnTop,
                   command::Minimise, command::About})
        EXPECT_TRUE(menuItemState(id, empty).enabled) << id;
}

TEST(MenuState, ZoomFollowsARunningAnimation)
{
    ViewerState state;
    state.animationRunning = true;
    EXPECT_TRUE(menuItemState(command::ZoomIn, state).enabled);
    EXPECT_TRUE(menuItemState(command::FullScreen, state).enabled);
    EXPECT_FALSE(menuItemState(command::SaveAs, state).enabled);
}

TEST(MenuState, ChecksFollowTheirSettings)
{
    ViewerState state;
    state.alwaysFit = true;
    state.timeMeasurement = true;
    EXPECT_TRUE(menuItemState(command::BestFit, state).checked);
    EXPECT_TRUE(menuItemState(command::TimeMeasurement, state).checked);
    EXPECT_FALSE(menuItemState(command::AlwaysOnTop, state).checked);
}

TEST(MenuState, PageCommandsFollowThePagesAndNFollowsTheOverview)
{
    ViewerState state = withBlock(24);
    EXPECT_FALSE(menuItemState(command::NextPage, state).enabled);
    EXPECT_FALSE(menuItemState(command::NextOverviewPage, state).enabled);
    state.multiPage = true;
    state.overviewSheet = true;
    EXPECT_TRUE(menuItemState(command::NextPage, state).enabled);
    EXPECT_TRUE(menuItemState(command::NextOverviewPage, state).enabled);
}

TEST(SortOrders, MapToTheirCommands)
{
    EXPECT_EQ(sortOrderOfCommand(command::SortByNameAscending), 0);
    EXPECT_EQ(sortOrderOfCommand(command::SortByDateAscending), 1);
    EXPECT_EQ(sortOrderOfCommand(command::SortBySizeAscending), 2);
    EXPECT_EQ(sortOrderOfCommand(command::SortByExtensionAscending), 3);
    EXPECT_EQ(sortOrderOfCommand(command::SortByNameDescending), 4);
    EXPECT_EQ(sortOrderOfCommand(command::SortByDateDescending), 5);
    EXPECT_EQ(sortOrderOfCommand(command::SortBySizeDescending), 6);
    EXPECT_EQ(sortOrderOfCommand(command::SortByExtensionDescending), 7);
    EXPECT_EQ(sortOrderOfCommand(command::Open), -1);
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

struct PreconditionCase {
    const char* name;
    int id;
    PreconditionState state;
    Precondition expected;
};

TEST(Preconditions, Table)
{
    PreconditionState none;
    PreconditionState block;
    block.hasBlock = true;
    PreconditionState animation;
    animation.animationRunning = true;
    PreconditionState zoomed = block;
    zoomed.zoom = 200;
    PreconditionState fullScreen = block;
    fullScreen.fullScreen = true;
    PreconditionState slideshow = block;
    slideshow.slideshow = true;

    const PreconditionCase cases[] = {
        {"save without block", command::SaveAs, none, Precondition::NoPicture},
        {"save during animation", command::SaveAs, animation, Precondition::NoPicture},
        {"save", command::SaveAs, block, Precondition::Run},
        {"save in full screen", command::SaveAs, fullScreen, Precondition::Ignore},
        {"increase without picture", command::IncreaseTo256Colors, none, Precondition::NoPicture},
        {"increase", command::IncreaseTo256Colors, block, Precondition::Run},
        {"copy file during animation", command::CopyFile, animation, Precondition::Run},
        {"copy file in slideshow", command::CopyFile, slideshow, Precondition::Ignore},
        {"print without block", command::Print, none, Precondition::NoPicture},
        {"full screen without block", command::FullScreen, none, Precondition::Ignore},
        {"image info without picture", command::ImageInfo, none, Precondition::Ignore},
        {"rotate zoomed", command::RotateLeft, zoomed, Precondition::ZoomActive},
        {"rotate without picture zoomed", command::RotateLeft, PreconditionState{false, false, false, false, 200},
         Precondition::NoPicture},
        {"rotate in full screen", command::RotateRight, fullScreen, Precondition::Ignore},
        {"flip", command::VerticalFlip, block, Precondition::Run},
        {"zoom in slideshow", command::ZoomIn, slideshow, Precondition::Ignore},
        {"zoom in full screen goes on", command::ZoomIn, fullScreen, Precondition::Run},
        {"open in full screen", command::Open, fullScreen, Precondition::Ignore},
        {"open", command::Open, none, Precondition::Run},
        {"about in slideshow", command::About, slideshow, Precondition::Ignore},
        {"exit", command::Exit, none, Precondition::Run},
    };
    for (const PreconditionCase& c : cases)
        EXPECT_EQ(checkPreconditions(c.id, c.state), c.expected) << c.name;
}

} // namespace
} // namespace pictorand
