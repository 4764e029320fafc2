// The slideshow: its order, its deadlines on a fake clock, its list files,
// its window driven headless over real pictures.

#include "codecs/bmp/bmp.h"
#include "core/codec_registry.h"
#include "platform/settings_keys.h"
#include "shell/core/slideshow.h"
#include "shell/dialogs/file_list_builder.h"
#include "shell/dialogs/slideshow_dialog.h"
#include "shell/main_window.h"
#include "tests/shell/shell_test_support.h"
#include "tests/shell/viewer_fixture.h"
#include "tests/support/test_support.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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

TEST(SlideshowOverview, TimedModesPageThroughFourSheetsAndInputModeShowsOne)
{
    struct Case {
        Advancement mode;
        int sheetStart;
        int next;
    };
    for (const Case& c : {Case{Advancement::Automatic, 1, 26}, Case{Advancement::Random, 51, 76},
                          Case{Advancement::Automatic, 76, 0}, Case{Advancement::OnInput, 1, 0},
                          Case{Advancement::Automatic, 0, 0}})
        EXPECT_EQ(slideshowNextSheet(c.mode, c.sheetStart), c.next) << static_cast<int>(c.mode) << " " << c.sheetStart;
}

TEST(SlideshowResample, OnlyPicturesLargerThanTheirFitEitherWay)
{
    const PlacedPicture fit = fullScreenFit(2000, 500, 1000, 800);
    EXPECT_TRUE(slideNeedsReducedCopy(true, 2000, 500, fit));
    EXPECT_FALSE(slideNeedsReducedCopy(false, 2000, 500, fit));
    EXPECT_FALSE(slideNeedsReducedCopy(true, 900, 500, fullScreenFit(900, 500, 1000, 800)));
}

class SlideshowViewerTest : public testing::ViewerFixture {
protected:
    void SetUp() override { start(); }
    void TearDown() override
    {
        ViewerFixture::TearDown();
        SlideshowDialog::listFileChooser = saved;
    }
    std::string picture(const std::string& name, int width, uint16_t bitCount = 24)
    {
        EXPECT_TRUE(writeBmp(dir.file(name), ImageBlock::create(width, 10, bitCount, bitCount == 8 ? 256 : 0)));
        return dir.file(name);
    }
    SlideshowWindow* startShow(int mode, std::vector<std::string> entries)
    {
        SettingsFile settings(dir.file("P_RAND32.INI"));
        settings.writeInt(settings::SlideshowAdvancement, mode);
        window->startSlideshow(std::move(entries));
        return window->slideshowWindow();
    }
    // The slideshow's timer, fired now rather than after its second.
    static void tick(SlideshowWindow* show)
    {
        QMetaObject::invokeMethod(show->findChild<QTimer*>(), "timeout");
    }

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

TEST_F(SlideshowViewerTest, OverviewPackPagesOnTicksBeforeTheNextEntry)
{
    if (!CodecRegistry::instance().overviewReader())
        GTEST_SKIP() << "the Photo CD reader is not in this build";
    // An overview pack of one black thumbnail: the signature, then zeros.
    std::vector<uint8_t> pack(10240 + 36864, 0);
    std::copy_n("PCD_OPA", 7, pack.begin());
    testing::writeFile(dir.file("overview.pcd"), pack);
    SlideshowWindow* show = startShow(1, {dir.file("overview.pcd"), picture("a.bmp", 20)});
    ASSERT_TRUE(show);
    EXPECT_EQ(window->slideSheetStart(), 1);
    for (int start : {26, 51, 76}) {
        tick(show);
        EXPECT_EQ(window->slideSheetStart(), start);
        EXPECT_EQ(window->currentImage().block.width(), 960);
    }
    tick(show);
    EXPECT_EQ(show->currentEntry(), dir.file("a.bmp"));
    EXPECT_TRUE(ui.messages.empty());
    show->close();
}

TEST_F(SlideshowViewerTest, UseResampleShowsAResampledCopyOfBigPictures)
{
    SettingsFile(dir.file("P_RAND32.INI")).writeInt(settings::UseResample, 1);
    SlideshowWindow* show = startShow(2, {picture("wide.bmp", 4000, 8), picture("small.bmp", 20)});
    ASSERT_TRUE(show);
    const ImageBlock& copy = show->reducedCopy(true);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy.width(), show->width());
    EXPECT_EQ(copy.bitCount(), 8);
    EXPECT_EQ(window->currentImage().block.width(), 4000); // the picture itself stays whole
    QTest::keyClick(show, Qt::Key_Space);
    EXPECT_FALSE(show->reducedCopy(true)); // a small one is drawn as it is
    show->close();
}

TEST_F(SlideshowViewerTest, MetafileIsPlayedOnWhiteAndCapturedWhenTheShowEnds)
{
    const std::string path = std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile/shapes.wmf";
    SlideshowWindow* show = startShow(2, {path});
    ASSERT_TRUE(show);
    EXPECT_FALSE(window->currentImage().block); // played, not captured
    const QSize drawing = window->slideDrawingSize();
    ASSERT_FALSE(drawing.isEmpty());
    const QImage screen = show->grab().toImage();
    const PlacedPicture fit = fullScreenFit(drawing.width(), drawing.height(), show->width(), show->height());
    EXPECT_EQ(screen.pixel(fit.x + fit.width - 2, fit.y + fit.height - 2), qRgb(255, 255, 255));
    EXPECT_EQ(screen.pixel(show->width() - 1, show->height() - 1), qRgb(0, 0, 0));
    QTest::keyClick(show, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->slideshowWindowExists(); }, 2000));
    EXPECT_TRUE(window->currentImage().block);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SlideshowViewerTest, AddTakesEveryQuotedNameThatExists)
{
    picture("a.bmp", 20);
    picture("b c.bmp", 20);
    FileListBuilder files(dir.path(), nullptr);
    auto* field = files.browser()->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_TRUE(field);
    field->setText("\"a.bmp\" \"b c.bmp\" \"gone.bmp\"");
    files.findChild<QPushButton*>("Add")->click();
    EXPECT_EQ(files.entries(), (std::vector<std::string>{dir.file("a.bmp"), dir.file("b c.bmp")}));
    EXPECT_TRUE(field->text().isEmpty());
}

} // namespace
} // namespace pictorand
