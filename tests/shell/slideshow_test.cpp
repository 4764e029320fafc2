// The slideshow: its order, its deadlines on a fake clock, its list files,
// its window driven headless over real pictures.

#include "codecs/bmp/bmp.h"
#include "platform/settings_keys.h"
#include "shell/core/slideshow.h"
#include "shell/dialogs/file_list_builder.h"
#include "shell/dialogs/slideshow_dialog.h"
#include "shell/main_window.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/test_support.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

namespace pictorand {
namespace {

using testing::ScratchDir;

TEST(SlideshowSequence, RandomOrderShowsEveryEntryOnceBeforeAnyRepeats)
{
    SlideshowSequence sequence(7, Advancement::Random, false, 12345);
    std::vector<int> shown{sequence.first()};
    for (int i = 1; i < 70; ++i) {
        const std::optional<int> peeked = sequence.peek();
        shown.push_back(*sequence.next());
        EXPECT_EQ(*peeked, shown.back());
        EXPECT_NE(shown[shown.size() - 2], shown.back()); // no entry twice in a row
    }
    for (size_t round = 0; round < 10; ++round)
        EXPECT_EQ(std::set<int>(shown.begin() + round * 7, shown.begin() + round * 7 + 7).size(), 7u) << round;
}

TEST(SlideshowSequence, WithoutLoopTheLastEntryStays)
{
    SlideshowSequence once(2, Advancement::Automatic, false, 1);
    EXPECT_EQ(once.first(), 0);
    EXPECT_EQ(once.next(), 1);
    EXPECT_EQ(once.next(), std::nullopt);
    SlideshowSequence looping(1, Advancement::OnInput, true, 1);
    EXPECT_EQ(looping.first(), 0);
    EXPECT_EQ(looping.next(), 0); // a single entry is shown again at every tick
}

TEST(SlideshowSchedule, DeadlinesFollowTheClockNotTheLoads)
{
    SlideshowSchedule schedule(clampSlideshowDelay(0));
    int64_t clock = 1000; // a fake clock, in milliseconds
    schedule.start(clock);
    EXPECT_EQ(schedule.deadline(), 2000);
    clock = 2040; // the change took 40 ms: the next deadline does not move
    schedule.changed(clock);
    EXPECT_EQ(schedule.deadline(), 3000);
    clock = 4500; // far behind (a pause): counting starts afresh
    schedule.changed(clock);
    EXPECT_EQ(schedule.deadline(), 5500);
    EXPECT_EQ(SlideshowSchedule(clampSlideshowDelay(1LL << 40)).period(), int64_t{kMaxSlideshowDelay} * 1000);
}

TEST(SlideshowInputs, PausedEscResumesButDoubleClickEnds)
{
    EXPECT_EQ(slideshowReaction(SlideshowInput::EscKey, true, Advancement::Automatic),
              SlideshowAction::ResumeAndAdvance);
    EXPECT_EQ(slideshowReaction(SlideshowInput::DoubleClick, true, Advancement::Automatic), SlideshowAction::End);
    EXPECT_EQ(slideshowReaction(SlideshowInput::OtherKey, false, Advancement::OnInput), SlideshowAction::Advance);
    EXPECT_EQ(slideshowReaction(SlideshowInput::OtherKey, false, Advancement::Random), SlideshowAction::End);
}

TEST(SlideshowListFile, ReadsLinesAndReplacesOnlyWhenWritten)
{
    ScratchDir dir;
    testing::writeFile(dir.file("list.txt"), {'a', '\r', '\n', '\r', '\n', 'b', '\n', 'c'});
    EXPECT_EQ(readSlideshowList(dir.file("list.txt")), (std::vector<std::string>{"a", "", "b", "c"}));
    EXPECT_EQ(readSlideshowList(dir.file("none.txt")), std::nullopt);
    ASSERT_TRUE(writeSlideshowList(dir.file("out.lst"), {"x", ""}));
    EXPECT_EQ(testing::readFile(dir.file("out.lst")), (std::vector<uint8_t>{'x', '\r', '\n', '\r', '\n'}));
    EXPECT_FALSE(writeSlideshowList(dir.file("missing/out.lst"), {"x"}));
    EXPECT_EQ(slideshowListSaveName("/a/list"), "/a/list.txt");
    EXPECT_EQ(slideshowListSaveName("/a/list.TXT"), "/a/list.TXT");
    EXPECT_EQ(slideshowListSaveName("/a/list.Txt"), "/a/list.Txt.txt");
}

class SlideshowViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        metrics.set(testing::desktop1024());
        ViewerServices services;
        services.metrics = &metrics;
        services.ui = &ui;
        services.dialogs = &dialogs;
        services.settingsPath = dir.file("P_RAND32.INI");
        window = std::make_unique<MainWindow>(services, ViewerOptions{});
        window->show();
    }
    void TearDown() override
    {
        window.reset();
        SlideshowDialog::listFileChooser = saved;
    }
    std::string picture(const std::string& name, int width)
    {
        EXPECT_TRUE(writeBmp(dir.file(name), ImageBlock::create(width, 10, 24, 0)));
        return dir.file(name);
    }

    ScratchDir dir;
    FixedSystemMetrics metrics{DisplayMetrics{}};
    testing::ScriptedUserInterface ui;
    testing::ScriptedFileDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    decltype(SlideshowDialog::listFileChooser) saved = SlideshowDialog::listFileChooser;
};

TEST_F(SlideshowViewerTest, InputModeStepsAndTheLastPictureStaysTheViewers)
{
    SettingsFile settings(dir.file("P_RAND32.INI"));
    settings.writeInt(settings::SlideshowAdvancement, 2);
    settings.writeInt(settings::SlideshowLoop, 0);
    window->startSlideshow({picture("a.bmp", 20), "", picture("c.bmp", 30)});
    SlideshowWindow* show = window->slideshowWindow();
    ASSERT_TRUE(show);
    EXPECT_TRUE(window->slideshowWindowExists());
    EXPECT_EQ(window->currentImage().block.width(), 20);
    QTest::keyClick(show, Qt::Key_Space); // the empty entry: nothing to show, quietly
    EXPECT_FALSE(window->currentImage().block);
    EXPECT_TRUE(ui.messages.empty());
    QTest::keyClick(show, Qt::Key_Space);
    EXPECT_EQ(window->currentImage().block.width(), 30);
    QTest::keyClick(show, Qt::Key_Space); // no loop: c stays
    EXPECT_EQ(show->currentEntry(), dir.file("c.bmp"));
    QTest::keyClick(show, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->slideshowWindowExists(); }, 2000));
    EXPECT_EQ(window->currentImage().path, dir.file("c.bmp"));
}

TEST_F(SlideshowViewerTest, DialogKeepsTheListWhenLoadIsCancelledAndPlaysItSorted)
{
    SettingsFile settings(dir.file("P_RAND32.INI"));
    SlideshowDialog dialog(settings, ui, nullptr);
    dialog.files()->clear();
    dialog.files()->addEntry("/b.bmp");
    dialog.files()->addEntry("/a.bmp");
    SlideshowDialog::listFileChooser = [](bool, QWidget*) { return std::optional<std::string>(); };
    dialog.loadList();
    EXPECT_EQ(dialog.files()->entries().size(), 2u);
    dialog.autoDelay()->setText("x7");
    dialog.play();
    EXPECT_EQ(dialog.played(), (std::vector<std::string>{"/a.bmp", "/b.bmp"}));
    EXPECT_EQ(readSlideshowList(slideshowListPath()), dialog.played());
}

} // namespace
} // namespace pictorand
