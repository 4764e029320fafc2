// The file commands wired to the viewer: the picture stays, the directory
// list keeps its place, the user's files survive.

#include "codecs/bmp/bmp.h"
#include "platform/settings_keys.h"
#include "shell/core/commands.h"
#include "shell/dialogs/copy_move_dialog.h"
#include "shell/file_menu.h"
#include "shell/main_window.h"
#include "tests/shell/shell_test_support.h"
#include "tests/shell/viewer_fixture.h"
#include "tests/support/test_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace pictorand {
namespace {

using testing::fileExists;
using testing::ScratchDir;

class FileMenuTest : public testing::ViewerFixture {
protected:
    void SetUp() override
    {
        setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
        testing::runCommand("mkdir -p " + testing::shellQuote(dir.file("pics")));
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
            EXPECT_TRUE(writeBmp(dir.file("pics/") + name, ImageBlock::create(4, 3, 24, 0)));
        start();
        window->dropFiles({QString::fromStdString(dir.file("pics/b.bmp"))});
        window->viewer().rebuildDirectoryList(false); // as the first paint does
        ASSERT_EQ(window->directoryList().index(), 1);
    }
    void TearDown() override
    {
        ViewerFixture::TearDown();
        unsetenv("XDG_DATA_HOME");
        std::filesystem::current_path(startDirectory); // the drop changed it to a folder about to go
        FileMenu::copyMoveChooser = &FileMenu::copyMoveDialog;
        FileMenu::renamePrompt = saved;
    }
    SettingsFile settings() { return SettingsFile(dir.file("P_RAND32.INI")); }

    std::filesystem::path startDirectory = std::filesystem::current_path();
    decltype(FileMenu::renamePrompt) saved = FileMenu::renamePrompt;
};

TEST_F(FileMenuTest, MoveKeepsThePictureAndNextGoesOnWithTheFollowingFile)
{
    FileMenu::copyMoveChooser = [this](bool move, const std::string&, SettingsFile&, QWidget*) {
        EXPECT_TRUE(move);
        return std::optional<std::string>(dir.file("moved/deep"));
    };
    window->runCommand(command::MoveFile);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(fileExists(dir.file("moved/deep/b.bmp")));
    EXPECT_FALSE(fileExists(dir.file("pics/b.bmp")));
    EXPECT_TRUE(window->currentImage().block);
    EXPECT_EQ(window->directoryList().count(), 2);
    EXPECT_EQ(window->directoryList().index(), 0);
}

TEST_F(FileMenuTest, CopyIntoItsOwnFolderAsksThenFailsWithoutHarm)
{
    auto s = settings();
    s.writeInt(settings::AskCopy, 0);
    s.writeText(settings::CopyDir, dir.file("pics"));
    const auto before = testing::readFile(dir.file("pics/b.bmp"));
    ui.answers = {true};
    window->runCommand(command::CopyFile);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text.rfind("Replace file:\n\t" + dir.file("pics/b.bmp") + " , ", 0), 0u);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Error copying file !: " + dir.file("pics/b.bmp"));
    EXPECT_EQ(testing::readFile(dir.file("pics/b.bmp")), before);

    s.writeText(settings::CopyDir, "");
    window->runCommand(command::CopyFile);
    EXPECT_EQ(ui.messages.back().text, kNoDestinationDirectory);
}

TEST_F(FileMenuTest, RenameNeverReplaces)
{
    FileMenu::renamePrompt = [](const std::string& name, QWidget*) {
        EXPECT_EQ(name, "b.bmp");
        return std::optional<std::string>("c.bmp");
    };
    window->runCommand(command::RenameFile);
    EXPECT_EQ(ui.messages.back().text, "Can't rename !");
    EXPECT_TRUE(fileExists(dir.file("pics/b.bmp")));
    EXPECT_TRUE(fileExists(dir.file("pics/c.bmp")));

    FileMenu::renamePrompt = [](const std::string&, QWidget*) { return std::optional<std::string>("z.bmp"); };
    window->runCommand(command::RenameFile);
    EXPECT_TRUE(fileExists(dir.file("pics/z.bmp")));
    EXPECT_EQ(window->currentImage().path, dir.file("pics/z.bmp"));
}

TEST_F(FileMenuTest, DeleteAsksAndGoesToTheTrash)
{
    ui.answers = {false};
    window->runCommand(command::DeleteFile);
    EXPECT_TRUE(fileExists(dir.file("pics/b.bmp")));
    ui.answers = {true};
    window->runCommand(command::DeleteFile);
    EXPECT_EQ(ui.questions.back().text, "Delete file: " + dir.file("pics/b.bmp") + " ?\n");
    EXPECT_FALSE(fileExists(dir.file("pics/b.bmp")));
    EXPECT_TRUE(fileExists(dir.file("data/Trash/files/b.bmp")));
    EXPECT_TRUE(fileExists(dir.file("data/Trash/info/b.bmp.trashinfo")));
    EXPECT_EQ(window->directoryList().index(), 0);
    EXPECT_TRUE(window->currentImage().block);
}

TEST_F(FileMenuTest, ExtractAllPagesWritesEachPageAsBmp)
{
    const std::string tiff = dir.file("pics/three.tif");
    ASSERT_EQ(testing::runCommand("convert -size 8x6 xc:red xc:lime xc:blue -depth 8 -type truecolor "
                                  + testing::shellQuote(tiff)),
              0);
    ASSERT_TRUE(window->openFile(tiff));
    ASSERT_EQ(window->currentImage().pageCount, 3);
    auto savedChooser = FileMenu::directoryChooser;
    FileMenu::directoryChooser = [this](const std::string&, QWidget*) {
        return std::optional<std::string>(dir.file("pages"));
    };
    window->runCommand(command::ExtractAllPages);
    FileMenu::directoryChooser = savedChooser;
    const uint8_t expected[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int page = 0; page < 3; ++page) {
        auto decoded = testing::magickDecode(dir.file("pages/three_pictorand_extract_00") + std::to_string(page) + ".bmp");
        ASSERT_TRUE(decoded) << page;
        EXPECT_EQ(std::vector<uint8_t>(decoded->at(3, 3), decoded->at(3, 3) + 3),
                  std::vector<uint8_t>(expected[page], expected[page] + 3));
    }
    EXPECT_EQ(window->currentImage().currentPage, 2);
}

TEST_F(FileMenuTest, CopyMoveDialogBrowsesAndANumberDecides)
{
    auto s = settings();
    CopyMoveDialog dialog(false, "/x/b.bmp", s,
                          [](const std::string&, QWidget*) { return std::optional<std::string>("/chosen"); }, nullptr);
    dialog.findChild<QPushButton*>("browse3")->click();
    EXPECT_FALSE(dialog.isVisible() && dialog.result() == QDialog::Accepted);
    dialog.findChild<QPushButton*>("number3")->click();
    EXPECT_EQ(dialog.chosen(), "/chosen");
    EXPECT_EQ(settings().readText(settings::CopyDirs[2]), "/chosen");
}

} // namespace
} // namespace pictorand
