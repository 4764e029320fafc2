#include "shell/core/file_dialogs.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::ScriptedFileDialogs;
using testing::ScriptedUserInterface;

// Keeps the working directory of the test binary.
class WorkingDirectoryGuard {
public:
    WorkingDirectoryGuard() : m_saved(std::filesystem::current_path()) {}
    ~WorkingDirectoryGuard() { std::filesystem::current_path(m_saved); }

private:
    std::filesystem::path m_saved;
};

TEST(ChooseOpenFile, StartsInOpenDirRemembersTheTypeAndCancelRestores)
{
    WorkingDirectoryGuard guard;
    ScratchDir start, openDir;
    SettingsFile settings(start.file("P_RAND32.INI"));
    settings.writeText(settings::OpenDir, openDir.path());
    std::filesystem::current_path(start.path());

    ScriptedFileDialogs dialogs;
    int remembered = 1;
    dialogs.results.push_back(std::nullopt);
    EXPECT_FALSE(ChooseOpenFile(dialogs, settings, remembered));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Open");
    EXPECT_EQ(dialogs.requests[0].directory, std::filesystem::canonical(openDir.path()).string());
    EXPECT_EQ(dialogs.requests[0].types.size(), openDialogTypes().size());
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(start.path()));

    dialogs.results.push_back(FileDialogResult{openDir.file("a.gif"), 3});
    auto chosen = ChooseOpenFile(dialogs, settings, remembered);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, openDir.file("a.gif"));
    EXPECT_EQ(remembered, 3);
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(openDir.path()));

    ChooseOpenFile(dialogs, settings, remembered);
    EXPECT_EQ(dialogs.requests.back().selectedType, 3);
}

TEST(ChooseSaveFile, ProposesTheNameAndStoresDirectoryAndType)
{
    WorkingDirectoryGuard guard;
    ScratchDir dir, target;
    SettingsFile settings(dir.file("P_RAND32.INI"));
    settings.writeText(settings::SaveDir, target.path());
    settings.writeInt(settings::SaveIndex, 4);
    ScriptedFileDialogs dialogs;
    ScriptedUserInterface ui;
    dialogs.results.push_back(FileDialogResult{target.file("x"), 2});

    auto path = ChooseSaveFile(dialogs, ui, settings, "/pictures/holiday.photo.jpg");
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, target.file("x.gif"));
    const FileDialogRequest& request = dialogs.requests.at(0);
    EXPECT_EQ(request.title, "Save Picture As ...");
    EXPECT_EQ(request.proposedName, "holiday.photo");
    EXPECT_EQ(request.selectedType, 4);
    EXPECT_TRUE(request.optionsButton);
    EXPECT_EQ(settings.readText(settings::SaveDir), target.path() + "/");
    EXPECT_EQ(settings.readInt(settings::SaveIndex), 2);
}

TEST(ChooseSaveFile, PseudoPathsProposeTheirNames)
{
    WorkingDirectoryGuard guard;
    ScratchDir dir;
    SettingsFile settings(dir.file("P_RAND32.INI"));
    ScriptedFileDialogs dialogs;
    ScriptedUserInterface ui;
    ChooseSaveFile(dialogs, ui, settings, "<Clipboard>");
    ChooseSaveFile(dialogs, ui, settings, "<ScanImage>");
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[0].proposedName, "Clipboard");
    EXPECT_EQ(dialogs.requests[1].proposedName, "ScanImage");
}

TEST(ChooseSaveFile, WrongExtensionIsRefusedAndTheDialogOpensAgain)
{
    WorkingDirectoryGuard guard;
    ScratchDir dir;
    SettingsFile settings(dir.file("P_RAND32.INI"));
    ScriptedFileDialogs dialogs;
    ScriptedUserInterface ui;
    dialogs.results.push_back(FileDialogResult{dir.file("x.jpeg"), 1});
    dialogs.results.push_back(FileDialogResult{dir.file("x.jpg"), 1});
    auto path = ChooseSaveFile(dialogs, ui, settings, dir.file("a.bmp"));
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, dir.file("x.jpg"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Sorry, incorrect extension !");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].proposedName, "x.jpeg");
}

TEST(ChooseSaveFile, ReplacingAsksWithNoPreselected)
{
    WorkingDirectoryGuard guard;
    ScratchDir dir;
    SettingsFile settings(dir.file("P_RAND32.INI"));
    testing::writeFile(dir.file("old.png"), {1, 2, 3});
    ScriptedFileDialogs dialogs;
    ScriptedUserInterface ui;

    dialogs.results.push_back(FileDialogResult{dir.file("old.png"), 4});
    ui.answers.push_back(false);
    EXPECT_FALSE(ChooseSaveFile(dialogs, ui, settings, dir.file("a.bmp")));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "Replace file: " + dir.file("old.png") + " ?\n");
    EXPECT_EQ(ui.questions[0].icon, MessageIcon::Question);
    EXPECT_TRUE(ui.questionDefaultNo[0]);
    // No stores nothing.
    EXPECT_EQ(settings.readInt(settings::SaveIndex), 1);

    dialogs.results.push_back(FileDialogResult{dir.file("old.png"), 4});
    ui.answers.push_back(true);
    EXPECT_TRUE(ChooseSaveFile(dialogs, ui, settings, dir.file("a.bmp")));
    EXPECT_EQ(settings.readInt(settings::SaveIndex), 4);
}

TEST(FileNameField, QuotedNamesCountOnlyBeyondTwoQuotes)
{
    using Names = std::vector<std::string>;
    EXPECT_EQ(namesInFileNameField(""), Names{});
    EXPECT_EQ(namesInFileNameField("a b.bmp"), Names{"a b.bmp"});
    EXPECT_EQ(namesInFileNameField("\"a.bmp\""), Names{"\"a.bmp\""});
    EXPECT_EQ(namesInFileNameField("\"a.bmp\" \"b c.bmp\" \"\""),
              (Names{"\"a.bmp\" \"b c.bmp\" \"\"", "a.bmp", "b c.bmp"}));
}

} // namespace
} // namespace pictorand
