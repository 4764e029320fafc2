#include "platform/settings_file.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pictorand {
namespace {

using testing::ScratchDir;

std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(SettingsFile, MissingFileGivesDefaults)
{
    ScratchDir dir;
    SettingsFile settings(dir.file("P_RAND32.INI"));
    EXPECT_EQ(settings.readInt(settings::SaveQuality), 80);
    EXPECT_EQ(settings.readInt(settings::RenameExtension), 1);
    EXPECT_EQ(settings.readText(settings::OpenDir), "");
    EXPECT_EQ(settings.readText(settings::ExtractGif).back(), '/');
}

TEST(SettingsFile, ReadsIntegersLikeTheProfileReader)
{
    ScratchDir dir;
    std::string path = dir.file("P_RAND32.INI");
    testing::writeFile(path, bytes("[Others]\nFileSortOrder=abc\nAlwaysFit= 1 \nSaveIndex=5x\nxKoord=-20\n"));
    SettingsFile settings(path);
    EXPECT_EQ(settings.readInt(settings::FileSortOrder), 0);
    EXPECT_EQ(settings.readInt(settings::AlwaysFit), 1);
    EXPECT_EQ(settings.readInt(settings::SaveIndex), 5);
    EXPECT_EQ(settings.readInt("Others", "xKoord", 3), -20);
    EXPECT_EQ(settings.readInt("Others", "Missing", 42), 42);
}

TEST(SettingsFile, SectionsAndKeysIgnoreCase)
{
    ScratchDir dir;
    std::string path = dir.file("P_RAND32.INI");
    testing::writeFile(path, bytes("[jpeg]\nsave quality=55\n"));
    SettingsFile settings(path);
    EXPECT_EQ(settings.readInt(settings::SaveQuality), 55);
    ASSERT_TRUE(settings.writeInt(settings::SaveQuality, 90));
    EXPECT_EQ(text(testing::readFile(path)), "[jpeg]\nSave Quality=90\n");
}

TEST(SettingsFile, TextValuesAreTrimmedUnquotedAndWhole)
{
    ScratchDir dir;
    std::string path = dir.file("P_RAND32.INI");
    // Linux paths are not limited to 259 characters: a cut path names
    // another folder, or none.
    const std::string deep = "/home/u/" + std::string(300, 'd') + "/";
    testing::writeFile(path, bytes("[Copy-Move]\nSaveDir=  \"/home/a b/\"  \nOpenDir=" + deep + "\n"));
    SettingsFile settings(path);
    EXPECT_EQ(settings.readText(settings::SaveDir), "/home/a b/");
    EXPECT_EQ(settings.readText(settings::OpenDir), deep);
}

TEST(SettingsFile, ReadsSeeWhatAnotherWriterChanged)
{
    ScratchDir dir;
    std::string path = dir.file("P_RAND32.INI");
    SettingsFile mine(path);
    SettingsFile otherInstance(path);
    EXPECT_EQ(mine.readInt(settings::SaveQuality), 80);
    ASSERT_TRUE(otherInstance.writeInt(settings::SaveQuality, 55));
    EXPECT_EQ(mine.readInt(settings::SaveQuality), 55);
    // An editor that rewrites the file in place.
    testing::writeFile(path, bytes("[JPEG]\nSave Quality=7\n"));
    EXPECT_EQ(mine.readInt(settings::SaveQuality), 7);
}

TEST(SettingsFile, WritesKeepForeignLinesAndOrder)
{
    ScratchDir dir;
    std::string path = dir.file("P_RAND32.INI");
    testing::writeFile(path, bytes("; my notes\r\n[Others]\r\nAlwaysFit=0\r\nForeign=x\r\n\r\n[Zeta]\r\nk=v\r\n"));
    SettingsFile settings(path);
    ASSERT_TRUE(settings.writeInt(settings::AlwaysFit, 1));
    ASSERT_TRUE(settings.writeInt(settings::UseResample, 1));
    ASSERT_TRUE(settings.writeText(settings::SaveDir, "/tmp/"));
    EXPECT_EQ(text(testing::readFile(path)),
              "; my notes\r\n[Others]\r\nAlwaysFit=1\r\nForeign=x\r\nUseResample=1\r\n\r\n[Zeta]\r\nk=v\r\n\r\n"
              "[Copy-Move]\r\nSaveDir=/tmp/\r\n");
}

TEST(SettingsFile, DeletingAKeyRestoresItsDefault)
{
    ScratchDir dir;
    SettingsFile settings(dir.file("P_RAND32.INI"));
    ASSERT_TRUE(settings.writeInt(settings::SaveQuality, 12));
    EXPECT_EQ(settings.readInt(settings::SaveQuality), 12);
    ASSERT_TRUE(settings.deleteKey(settings::SaveQuality.section, settings::SaveQuality.name));
    EXPECT_EQ(settings.readInt(settings::SaveQuality), 80);
}

TEST(SettingsFile, CreatesItsFolder)
{
    ScratchDir dir;
    SettingsFile settings(dir.file("deeper/still/P_RAND32.INI"));
    ASSERT_TRUE(settings.writeInt(settings::XKoord, 10));
    EXPECT_EQ(settings.readInt(settings::XKoord), 10);
}

TEST(SettingsFile, TwoProcessesWritingAtOnceLoseNothing)
{
    ScratchDir dir;
    std::string path = dir.file("P_RAND32.INI");
    constexpr int kWrites = 40;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SettingsFile mine(path);
        for (int i = 0; i < kWrites; ++i)
            mine.writeInt("Child", "Key" + std::to_string(i), i);
        _exit(0);
    }
    SettingsFile mine(path);
    for (int i = 0; i < kWrites; ++i)
        mine.writeInt("Parent", "Key" + std::to_string(i), i);
    int status = 0;
    waitpid(child, &status, 0);
    SettingsFile settings(path);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(settings.readInt("Child", "Key" + std::to_string(i), -1), i);
        EXPECT_EQ(settings.readInt("Parent", "Key" + std::to_string(i), -1), i);
    }
}

} // namespace
} // namespace pictorand
