#include "shell/core/command_line.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

CommandLine parse(std::vector<std::string> arguments)
{
    return parseCommandLine(arguments);
}

TEST(CommandLine, EmptyOpensNothing)
{
    CommandLine line = parse({});
    EXPECT_EQ(line.file, "");
    EXPECT_FALSE(line.fullScreen || line.bestFit || line.oneInstance || line.slideshow || line.position ||
                 line.customTitle);
}

TEST(CommandLine, QuotedNameWithBlanksOpensThatFile)
{
    // A launcher may hand the whole quoted text over as one argument.
    EXPECT_EQ(parse({"\"/home/ann/My Pictures/a b.jpg\""}).file, "/home/ann/My Pictures/a b.jpg");
    EXPECT_EQ(parse({"/home/ann/My Pictures/a b.jpg"}).file, "/home/ann/My Pictures/a b.jpg");
}

TEST(CommandLine, UnquotedNameWithBlanksJoinsTheArguments)
{
    EXPECT_EQ(parse({"/home/ann/My", "Pictures/a", "b.jpg"}).file, "/home/ann/My Pictures/a b.jpg");
    EXPECT_EQ(parse({"a.jpg", " "}).file, "a.jpg"); // trailing blanks go
}

// Absolute paths that begin with the letters of a switch are file names.
TEST(CommandLine, AbsolutePathsAreNeverSwitches)
{
    for (const char* path : {"/fsdata/a.jpg", "/home/one/b.gif", "/bfiles/c.png", "/one", "/title", "/pos/a.bmp",
                             "/slideshow/x.jpg", "/srv/fs/one/bf.bmp"}) {
        CommandLine line = parse({path});
        if (std::string(path) == "/one") {
            EXPECT_TRUE(line.oneInstance); // the whole argument is the switch
            continue;
        }
        EXPECT_EQ(line.file, path);
        EXPECT_FALSE(line.fullScreen || line.bestFit || line.oneInstance || line.slideshow || line.position ||
                     line.customTitle)
            << path;
    }
}

TEST(CommandLine, FileThenFullScreen)
{
    CommandLine line = parse({"a.jpg", "/fs"});
    EXPECT_EQ(line.file, "a.jpg");
    EXPECT_TRUE(line.fullScreen);
}

struct SwitchCase {
    std::vector<std::string> arguments;
    bool fullScreen, bestFit, one, slideshow;
    std::string list;
    bool position;
    int x, y;
    bool title;
    std::string titleText;
};

TEST(CommandLine, EachSwitchInBothSpellings)
{
    const std::vector<SwitchCase> cases = {
        {{"/fs", "a.jpg"}, true, false, false, false, "", false, 0, 0, false, ""},
        {{"--fs", "a.jpg"}, true, false, false, false, "", false, 0, 0, false, ""},
        {{"a.jpg", "/bf"}, false, true, false, false, "", false, 0, 0, false, ""},
        {{"a.jpg", "--bf"}, false, true, false, false, "", false, 0, 0, false, ""},
        {{"/one", "a.jpg"}, false, false, true, false, "", false, 0, 0, false, ""},
        {{"--one", "a.jpg"}, false, false, true, false, "", false, 0, 0, false, ""},
        {{"/slideshow=/tmp/list.lst"}, false, false, false, true, "/tmp/list.lst", false, 0, 0, false, ""},
        {{"--slideshow=/tmp/my list.lst"}, false, false, false, true, "/tmp/my list.lst", false, 0, 0, false, ""},
        {{"a.jpg", "/pos=(10,20)"}, false, false, false, false, "", true, 10, 20, false, ""},
        {{"a.jpg", "--pos=-5,300"}, false, false, false, false, "", true, -5, 300, false, ""},
        {{"a.jpg", "/pos=(x,)"}, false, false, false, false, "", true, 0, 0, false, ""},
        {{"a.jpg", "/title=Holiday 2024/v2"}, false, false, false, false, "", false, 0, 0, true, "Holiday 2024/v2"},
        {{"a.jpg", "--title=Holiday"}, false, false, false, false, "", false, 0, 0, true, "Holiday"},
    };
    for (const SwitchCase& c : cases) {
        CommandLine line = parse(c.arguments);
        SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
        EXPECT_EQ(line.fullScreen, c.fullScreen);
        EXPECT_EQ(line.bestFit, c.bestFit);
        EXPECT_EQ(line.oneInstance, c.one);
        EXPECT_EQ(line.slideshow, c.slideshow);
        EXPECT_EQ(line.slideshowList, c.list);
        EXPECT_EQ(line.position, c.position);
        EXPECT_EQ(line.x, c.x);
        EXPECT_EQ(line.y, c.y);
        EXPECT_EQ(line.customTitle, c.title);
        EXPECT_EQ(line.title, c.titleText);
        if (!c.slideshow) {
            EXPECT_EQ(line.file, "a.jpg");
        }
    }
}

TEST(CommandLine, SlideshowClearsAnEarlierFullScreen)
{
    EXPECT_FALSE(parse({"/fs", "/slideshow=l.lst"}).fullScreen);
    EXPECT_TRUE(parse({"/slideshow=l.lst", "/fs"}).fullScreen);
}

TEST(CommandLine, HelpVersionAndUnknownOptions)
{
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"--version"}).version);
    CommandLine line = parse({"--frobnicate", "a.jpg"});
    EXPECT_EQ(line.unknownOptions, std::vector<std::string>{"--frobnicate"});
    EXPECT_EQ(line.file, "a.jpg");
    EXPECT_EQ(parse({"--", "--fs"}).file, "--fs");
}

TEST(CommandLine, TitleIsCutToItsLimit)
{
    CommandLine line = parse({"--title=" + std::string(400, 'x')});
    EXPECT_EQ(line.title.size(), kMaxCustomTitleLength);
}

} // namespace
} // namespace pictorand
