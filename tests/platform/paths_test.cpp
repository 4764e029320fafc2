#include "platform/paths.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

TEST(FileUri, EscapesWhatAUriMustAndComesBack)
{
    const std::string path = "/home/a b/Ünï%'s.bmp";
    EXPECT_EQ(fileUri("/a b/c.bmp"), "file:///a%20b/c.bmp");
    EXPECT_EQ(pathOfFileUri(fileUri(path)), path);
    EXPECT_EQ(pathOfFileUri("file://localhost/a%20b/c.bmp"), "/a b/c.bmp");
    for (const char* notOurs : {"http://x/y.png", "file://otherhost/y.png", "file:y.png"})
        EXPECT_EQ(pathOfFileUri(notOurs), "") << notOurs;
}

} // namespace
} // namespace pictorand
