#include "shell/core/recent_directories.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

struct RecentCase {
    const char* name;
    RecentDirectories before;
    std::string used;
    RecentDirectories after;
};

TEST(RecentDirectories, Table)
{
    const RecentCase cases[] = {
        {"first stays", {"/a", "/b", "", "", ""}, "/a", {"/a", "/b", "", "", ""}},
        {"empty changes nothing", {"/a", "", "", "", ""}, "", {"/a", "", "", "", ""}},
        {"third moves to the front", {"/a", "/b", "/c", "/d", ""}, "/c", {"/c", "/a", "/b", "/d", ""}},
        {"last moves to the front", {"/a", "/b", "/c", "/d", "/e"}, "/e", {"/e", "/a", "/b", "/c", "/d"}},
        // A new one fills the first gap, not the front.
        {"new fills a gap", {"/a", "", "/c", "", ""}, "/n", {"/a", "/n", "/c", "", ""}},
        {"new on a full list", {"/a", "/b", "/c", "/d", "/e"}, "/n", {"/n", "/a", "/b", "/c", "/d"}},
        {"case matters", {"/a", "/B", "", "", ""}, "/b", {"/a", "/B", "/b", "", ""}},
    };
    for (const RecentCase& c : cases)
        EXPECT_EQ(rememberRecentDirectory(c.before, c.used), c.after) << c.name;
}

} // namespace
} // namespace pictorand
