#include "shell/core/directory_list.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::writeFile;

TEST(DirectoryList, SortOrdersCompareAsTheirNamesSay)
{
    const DirectoryEntry a{"a.jpg", 300, 10};
    const DirectoryEntry bigB{"B.gif", 100, 20};
    const DirectoryEntry c{"c.BMP", 200, 30};
    struct Case {
        int order;
        const DirectoryEntry& first;
        const DirectoryEntry& second;
    };
    // Each row: `first` sorts before `second` and not the other way round.
    const Case cases[] = {
        {0, a, bigB},    // names fold case: a before B
        {1, a, bigB},    // earlier first
        {2, bigB, a},    // smaller first
        {3, c, bigB},    // .BMP before .gif
        {4, bigB, a},    // the same four, reversed
        {5, bigB, a},
        {6, a, bigB},
        {7, bigB, c},
    };
    for (const Case& t : cases) {
        EXPECT_TRUE(sortsBefore(t.first, t.second, t.order)) << "order " << t.order;
        EXPECT_FALSE(sortsBefore(t.second, t.first, t.order)) << "order " << t.order;
    }
}

TEST(DirectoryList, StepsAndWrapQuestions)
{
    struct Case {
        int index, count, direction;
        NavigationStep::Kind kind;
        int target;
    };
    using K = NavigationStep::Kind;
    const Case cases[] = {
        {0, 3, 1, K::Load, 1},       {2, 3, 1, K::AskToWrap, -1}, {1, 3, -1, K::Load, 0},
        {0, 3, -1, K::AskToWrap, -1}, {-1, 3, 1, K::Load, 0},     // the file on screen is not listed
        {0, 0, 1, K::AskToWrap, -1},
    };
    for (const Case& c : cases) {
        const NavigationStep step = stepThrough(c.index, c.count, c.direction);
        EXPECT_EQ(step.kind, c.kind) << c.index << "/" << c.count << " by " << c.direction;
        if (c.kind == K::Load) {
            EXPECT_EQ(step.index, c.target);
        }
    }
}

TEST(DirectoryList, ListsRegularPictureFilesByExactName)
{
    ScratchDir dir;
    for (const char* name : {"a.jpg", "A.JPG", "b.gif", "c.txt", "d.tiff", "e.jpe", "noext"})
        writeFile(dir.file(name), {1, 2, 3});
    std::filesystem::create_directory(dir.file("folder.jpg"));
    std::filesystem::create_symlink(dir.file("b.gif"), dir.file("link.png"));
    std::filesystem::create_symlink(dir.file("gone.bmp"), dir.file("dangling.bmp"));

    DirectoryList list;
    ASSERT_TRUE(list.rebuild(dir.path(), "b.gif", false, 0));
    std::vector<std::string> names;
    for (const DirectoryEntry& entry : list.entries())
        names.push_back(entry.name);
    // Order 0 folds case; equal names under folding keep byte order.
    EXPECT_EQ(names, (std::vector<std::string>{"A.JPG", "a.jpg", "b.gif", "d.tiff", "link.png"}));
    EXPECT_EQ(list.index(), 2);
    EXPECT_EQ(list.find("a.JPG"), -1);
    EXPECT_FALSE(list.rebuild(dir.path(), "b.gif", false, 0)) << "the same directory is not read again";

    list.sort(2, "b.gif"); // all three bytes: names break the tie
    EXPECT_EQ(list.index(), 2);
    EXPECT_EQ(list.pathOf(0), dir.file("A.JPG"));

    // b.gif deleted: Next from the index given goes to the file after it.
    std::filesystem::remove(dir.file("b.gif"));
    list.rebuild(dir.path(), "b.gif", true, 2);
    list.removedAt(2);
    EXPECT_EQ(list.entries()[static_cast<size_t>(list.index() + 1)].name, "d.tiff");
}

} // namespace
} // namespace pictorand
