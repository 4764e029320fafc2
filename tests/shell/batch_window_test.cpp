// The batch dialog and its progress window, driven headless.

#include "codecs/bmp/bmp.h"
#include "platform/settings_keys.h"
#include "shell/dialogs/batch_dialog.h"
#include "shell/dialogs/file_list_builder.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace pictorand {
namespace {

using testing::ScratchDir;

class BatchWindowTest : public ::testing::Test {
protected:
    std::vector<std::string> pictures(int count)
    {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            paths.push_back(dir.file("p" + std::to_string(100 + i) + ".bmp"));
            EXPECT_TRUE(writeBmp(paths.back(), ImageBlock::create(16, 8, 24, 0)));
        }
        return paths;
    }
    BatchRequest request(std::vector<std::string> sources)
    {
        BatchRequest r;
        r.sources = std::move(sources);
        r.outputType = 2;
        r.outputDirectory = dir.file("out");
        return r;
    }

    ScratchDir dir;
    SettingsFile settings{dir.file("P_RAND32.INI")};
    testing::ScriptedUserInterface ui;
};

TEST_F(BatchWindowTest, StartRefusesAnEmptyOutputDirectoryAndStoresTheChoice)
{
    BatchDialog dialog(settings, ui, [](const std::string&, QWidget*) { return std::optional<std::string>(); },
                       nullptr);
    dialog.files()->addEntry("/b.bmp");
    dialog.files()->addEntry("/a.bmp");
    EXPECT_EQ(dialog.files()->entries(), (std::vector<std::string>{"/a.bmp", "/b.bmp"}));
    dialog.outputEdit()->setText("");
    dialog.start();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kBatchNoOutputDirectory);
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    dialog.outputEdit()->setText(QString::fromStdString(dir.file("out")));
    dialog.typeBox()->setCurrentIndex(3);
    dialog.start();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.readText(settings::BatchOutputPath), dir.file("out"));
    EXPECT_EQ(settings.readInt(settings::BatchOutputType), 3);
}

TEST_F(BatchWindowTest, ProgressWindowListsEachFileThenTheSummary)
{
    const auto sources = pictures(3);
    BatchProgressWindow window(nullptr);
    window.show();
    window.run(request(sources), settings);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.running(); }, 20000));
    ASSERT_EQ(window.lines()->count(), 7);
    EXPECT_EQ(window.lines()->item(0)->text().toStdString(), "Converting: " + sources[0]);
    EXPECT_EQ(window.lines()->item(5)->text().toStdString(), "... Ok");
    EXPECT_EQ(window.lines()->item(6)->text().toStdString(), "0 errors");
    EXPECT_EQ(window.windowTitle().toStdString(), kBatchDone);
    EXPECT_TRUE(window.exitButton()->isEnabled());
    EXPECT_FALSE(window.stopButton()->isEnabled());
    EXPECT_TRUE(testing::fileExists(dir.file("out/p102.BMP")));
}

TEST_F(BatchWindowTest, StopEndsTheRunAndKeepsWhatWasFinished)
{
    const auto sources = pictures(60);
    BatchProgressWindow window(nullptr);
    window.show();
    window.run(request(sources), settings);
    window.stopButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.running(); }, 20000));
    const int lines = window.lines()->count();
    EXPECT_EQ(lines % 2, 1);
    EXPECT_LT(lines, 121);
    EXPECT_EQ(window.lines()->item(lines - 1)->text().toStdString(), "0 errors");
    // Every file reported is there, and nothing else (no half-written file).
    const QStringList written = QDir(QString::fromStdString(dir.file("out"))).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(written.size(), (lines - 1) / 2);
}

} // namespace
} // namespace pictorand
