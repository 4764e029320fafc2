// The viewer controller without windows: what a command or a load outcome
// makes of the picture, its record, the window, the title and the messages.
// A fake screen records what the windows were told; the readers are fakes
// whose behaviour the file's name picks.

#include "dispatch/confined_load.h"
#include "dispatch/load_dispatch.h"
#include "platform/settings_keys.h"
#include "shell/core/viewer_controller.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::ScriptedUserInterface;

bool named(const std::string& path, const char* word)
{
    return std::filesystem::path(path).filename().string().find(word) != std::string::npos;
}

// "broken" fails, "cut" is read in part, "slow" takes 300 ms, "tall" is
// 3 x 40; GIF images are 2 x 2 with delays of 10, 20 and 30 hundredths.
Result<DecodedImage> fakeRead(const ReadRequest& request)
{
    if (named(request.path, "broken"))
        return Failure{Reason::CorruptData, "Not a valid file"};
    if (named(request.path, "slow"))
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    DecodedImage decoded;
    if (named(request.path, ".pcd")) {
        decoded.overviewPack = true;
        return decoded;
    }
    if (const auto* gif = std::get_if<GifReadOptions>(&request.options); gif && gif->imageOffset > 0) {
        decoded.block = ImageBlock::create(2, 2, 8, 256);
        decoded.gifFrame.delay = static_cast<int>(gif->imageOffset) * 10;
        return decoded;
    }
    if (named(request.path, "cut"))
        decoded.warning = "Unexpected end of file";
    decoded.block = named(request.path, "tall") ? ImageBlock::create(3, 40, 24, 0) : ImageBlock::create(4, 3, 24, 0);
    return decoded;
}

Result<DecodedImage> fakeSheet(const std::string&, int)
{
    DecodedImage sheet;
    sheet.block = ImageBlock::create(8, 8, 24, 0);
    return sheet;
}

Result<ImageList> threeImages(const std::string&)
{
    return ImageList{3, {0, 0, 0}, {1, 2, 3}};
}

// 2 x 2 frames of 5, 40 and 20 ms, played once.
Result<ComposedAnimation> fakeFrames(const std::string&, const AnimationLimits&)
{
    ComposedAnimation animation;
    for (int delay : {5, 40, 20})
        animation.frames.push_back({ImageBlock::create(2, 2, 24, 0), delay});
    animation.loopCount = 1;
    return animation;
}

CodecRegistry fakeRegistry()
{
    CodecRegistry registry;
    for (const FormatInfo& info : formatTable())
        registry.registerReader(info.format, fakeRead);
    registry.registerOverviewReader(fakeSheet);
    registry.registerImageList(ImageFormat::Gif, threeImages);
    registry.registerAnimationReader(ImageFormat::Webp, fakeFrames);
    return registry;
}

class FakeScreen : public ViewerScreen {
public:
    DisplayMetrics metrics() const override { return display; }
    bool windowShown() const override { return true; }
    int windowX() const override { return 0; }
    int windowY() const override { return 0; }
    void applyLayout(const WindowLayout& layout) override { layouts.push_back(layout); }
    void setTitle(const std::string& text) override { title = text; }
    void pictureChanged() override { ++repaints; }
    bool fullScreenShown() const override { return false; }
    bool slideshowShown() const override { return false; }
    bool clipboardHasImage() const override { return false; }
    bool mediaAvailable() const override { return media; }
    void playMedia(const std::string& path) override { played.push_back(path); }
    void closeMedia() override {}
    ImageBlock renderDrawing(const metafile::Drawing&, int width, int height) override
    {
        return renders ? ImageBlock::create(width, height, 24, 0) : ImageBlock();
    }
    int64_t clockMs() const override { return now; }
    void scheduleAnimationStep(int64_t delayMs) override { steps.push_back(delayMs); }
    void cancelAnimationStep() override { ++cancelled; }
    void soon(std::function<void()> work) override { later.push_back(std::move(work)); }

    DisplayMetrics display = testing::desktop1024();
    bool media = true;
    bool renders = true;
    int64_t now = 0;
    std::vector<WindowLayout> layouts;
    std::string title = kProgramCaption;
    int repaints = 0;
    std::vector<std::string> played;
    std::vector<int64_t> steps;
    int cancelled = 0;
    std::vector<std::function<void()>> later;
};

class ViewerControllerTest : public ::testing::Test {
protected:
    void SetUp() override { m_savedDirectory = std::filesystem::current_path(); }
    void TearDown() override { std::filesystem::current_path(m_savedDirectory); }

    ViewerController& start(ViewerOptions options = {})
    {
        viewer = std::make_unique<ViewerController>(screen, ui, settings, std::move(options), registry);
        return *viewer;
    }
    std::string file(const std::string& name, std::vector<uint8_t> bytes)
    {
        bytes.resize(std::max<size_t>(bytes.size(), 16), 0x20);
        const std::string path = dir.file(name);
        testing::writeFile(path, bytes);
        return path;
    }
    std::string bmp(const std::string& name) { return file(name, {'B', 'M'}); }
    std::string jpeg(const std::string& name) { return file(name, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}); }

    ScratchDir dir;
    SettingsFile settings{dir.file("P_RAND32.INI")};
    ScriptedUserInterface ui;
    FakeScreen screen;
    CodecRegistry registry = fakeRegistry();
    std::unique_ptr<ViewerController> viewer;

private:
    std::filesystem::path m_savedDirectory;
};

TEST_F(ViewerControllerTest, AFailedLoadLeavesThePictureItsRecordAndTheWindowAsTheyWere)
{
    ViewerController& v = start();
    ASSERT_TRUE(v.open(bmp("a.bmp")));
    v.zoom(true);
    v.painted();
    CurrentImage& image = v.picture();
    const uint8_t* pixels = image.block.data();
    image.compression = "as loaded";
    const std::string title = screen.title;
    const size_t layouts = screen.layouts.size();
    testing::writeFile(dir.file("empty.jpg"), {});
    const std::string unreadable[] = {dir.file("missing.bmp"), file("notes.bmp", {'n', 'o', 't', 'e', 's'}),
                                      dir.file("empty.jpg"), bmp("broken.bmp")};
    for (const std::string& path : unreadable) {
        SCOPED_TRACE(path);
        ui.messages.clear();
        EXPECT_FALSE(v.open(path));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].text.find(path), std::string::npos);
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(image.path, dir.file("a.bmp"));
        EXPECT_EQ(image.block.data(), pixels);
        EXPECT_EQ(image.compression, "as loaded");
        EXPECT_EQ(v.displayState().zoom, 200);
        EXPECT_EQ(screen.title, title);
        EXPECT_EQ(screen.layouts.size(), layouts);
        EXPECT_EQ(ui.waitCursorDepth, 0);
    }
    v.zoom(true); // the commands go on working on the picture
    EXPECT_EQ(v.displayState().zoom, 300);
}

TEST_F(ViewerControllerTest, StepsOnPastAFileThatCannotBeRead)
{
    bmp("a.bmp");
    bmp("b-broken.bmp");
    bmp("c.bmp");
    std::filesystem::current_path(dir.path());
    ViewerController& v = start();
    ASSERT_TRUE(v.open(dir.file("a.bmp")));
    v.rebuildDirectoryList(true);
    v.stepFile(1);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(v.picture().path, dir.file("a.bmp"));
    EXPECT_EQ(v.directoryList().index(), 1);
    v.painted(); // a paint keeps the position reached
    v.stepFile(1);
    EXPECT_EQ(std::filesystem::path(v.picture().path).filename(), "c.bmp");
}

TEST_F(ViewerControllerTest, AnAcquiredPictureNothingCanShowLeavesThePicture)
{
    ViewerController& v = start();
    ASSERT_TRUE(v.open(bmp("a.bmp")));
    v.showAcquiredPicture(ImageBlock::create(2, 2, 2, 4), kScanImagePath);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kUnsupportedBitDepth);
    EXPECT_EQ(v.picture().path, dir.file("a.bmp"));
    v.showAcquiredPicture(ImageBlock::create(5, 5, 24, 0), kScanImagePath);
    EXPECT_EQ(v.picture().path, kScanImagePath);
    EXPECT_EQ(v.picture().currentWidth, 5);
}

TEST_F(ViewerControllerTest, AMisnamedFileIsOfferedForRenaming)
{
    ViewerController& v = start();
    ui.answers = {true};
    ASSERT_TRUE(v.open(jpeg("photo.gif")));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, renameQuestion(dir.file("photo.gif"), ImageFormat::Jpeg));
    EXPECT_EQ(ui.questions[0].icon, MessageIcon::Information);
    EXPECT_EQ(v.picture().path, dir.file("photo.jpg"));
    EXPECT_TRUE(testing::fileExists(dir.file("photo.jpg")));
    EXPECT_TRUE(ui.messages.empty());

    ui.answers = {false};
    ASSERT_TRUE(v.open(jpeg("other.gif")));
    EXPECT_EQ(v.picture().path, dir.file("other.gif"));

    // A file of the new name is never replaced: the picture keeps its name.
    ui.answers = {true};
    testing::writeFile(dir.file("other.jpg"), {'k'});
    ASSERT_TRUE(v.open(dir.file("other.gif")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can't rename !");
    EXPECT_EQ(v.picture().path, dir.file("other.gif"));

    ui.questions.clear();
    settings.writeText(settings::RenameExtension, "0");
    ASSERT_TRUE(v.open(dir.file("other.gif")));
    settings.writeText(settings::RenameExtension, "1");
    v.loadSlide(dir.file("other.gif"), true);
    EXPECT_TRUE(ui.questions.empty()) << "switched off, and never in a quiet slideshow";
}

TEST_F(ViewerControllerTest, NoticesFollowThePicture)
{
    ViewerController& v = start();
    ASSERT_TRUE(v.open(bmp("cut.bmp")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, dir.file("cut.bmp") + " : Unexpected end of file\n\n" + kTruncatedNotice);
    EXPECT_TRUE(v.picture().block) << "the part that was read is shown";

    ui.messages.clear();
    const std::string pack = file("overview.pcd", {'P', 'C', 'D', '_', 'O', 'P', 'A'});
    ASSERT_TRUE(v.open(pack));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kPhotoCdOverviewNotice);
    EXPECT_TRUE(v.picture().overviewMode);
    v.loadSlide(pack, false);
    v.loadSlide(bmp("broken-slide.bmp"), true);
    EXPECT_EQ(ui.messages.size(), 1u) << "a slide announces no overview, a quiet one no failure";
    EXPECT_FALSE(v.picture().block) << "the slideshow says itself that it could not load the entry";
}

TEST_F(ViewerControllerTest, AFailureRebuildsTheListOnlyWhenTheDirectoryChanged)
{
    std::filesystem::create_directory(dir.file("other"));
    std::filesystem::current_path(dir.path());
    ViewerController& v = start();
    v.rebuildDirectoryList(true);
    EXPECT_FALSE(v.open(file("notes.txt", {'h', 'i'})));
    EXPECT_EQ(ui.messages.back().text,
              dir.file("notes.txt") + " : Can't read file header !\n\nUnsupported file type !");
    std::filesystem::current_path(dir.file("other"));
    EXPECT_FALSE(v.open(dir.file("notes.txt")));
    EXPECT_EQ(std::filesystem::path(v.directoryList().directory()), std::filesystem::canonical(dir.file("other")));
}

TEST_F(ViewerControllerTest, MediaPlaysUnderTheCaptionAndTheFileName)
{
    const std::vector<uint8_t> avi = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    ViewerController& v = start();
    ASSERT_TRUE(v.open(file("clip.avi", avi)));
    EXPECT_EQ(screen.played, std::vector<std::string>{dir.file("clip.avi")});
    EXPECT_EQ(screen.title, "Pictorand32 - clip.avi");
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_TRUE(v.open(file("clip.dat", avi)));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "This file has a incorrect extension !");
    EXPECT_TRUE(ui.questions.empty());

    ViewerOptions kiosk;
    kiosk.customTitle = true;
    kiosk.title = "Kiosk";
    ASSERT_TRUE(start(kiosk).open(dir.file("clip.avi")));
    EXPECT_EQ(screen.title, "Pictorand32 - Kiosk");

    screen.media = false;
    ViewerController& without = start();
    ASSERT_TRUE(without.open(bmp("a.bmp")));
    EXPECT_FALSE(without.open(dir.file("clip.avi")));
    EXPECT_EQ(ui.messages.back().text, dir.file("clip.avi") + " : Sound and video files can't be played in this version");
    EXPECT_EQ(without.picture().path, dir.file("a.bmp"));
}

TEST_F(ViewerControllerTest, AMetafileIsShownFromItsDrawing)
{
    const std::string shapes = std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile/shapes.emf";
    screen.display = testing::desktop1024(8);
    ViewerController& v = start();
    ASSERT_TRUE(v.open(shapes));
    EXPECT_TRUE(v.picture().metafileMode);
    EXPECT_EQ(v.picture().originalBitCount, 8);
    EXPECT_EQ(v.picture().compression, "Enhanced Windows Metafile");
    EXPECT_TRUE(v.displayState().drawing);
    EXPECT_EQ(v.picture().block.width(), 321) << "the rendering stands for it";

    ASSERT_TRUE(v.open(bmp("a.bmp")));
    screen.renders = false;
    EXPECT_FALSE(v.open(shapes));
    EXPECT_EQ(ui.messages.back().text, shapes + " : WMF/EMF Decode error !\n\nCan't allocate memory");
    EXPECT_EQ(v.picture().path, dir.file("a.bmp"));
}

TEST_F(ViewerControllerTest, AnAnimationRunsOnItsOwnClock)
{
    ViewerController& v = start();
    ASSERT_TRUE(v.open(file("anim.gif", {'G', 'I', 'F', '8', '9', 'a'})));
    ASSERT_TRUE(v.displayState().animationRunning);
    EXPECT_EQ(v.picture().compression, "Animated GIF - 3 images");
    EXPECT_EQ(v.title(), "anim.gif - 3 frames");
    ASSERT_EQ(screen.steps, std::vector<int64_t>{100});
    // Deadlines count from the start, whenever the timer fires.
    screen.now = 130;
    v.animationStep();
    EXPECT_EQ(v.displayState().animation->current(), 1);
    EXPECT_EQ(screen.steps.back(), 170);
    screen.now = 650; // past frame 2 and into the next round
    v.animationStep();
    EXPECT_EQ(v.displayState().animation->current(), 0);

    // The Open dialog pauses it; Cancel lets it go on.
    testing::ScriptedFileDialogs cancelled;
    v.setFileDialogs(&cancelled);
    const size_t armed = screen.steps.size();
    v.runCommand(command::Open);
    EXPECT_EQ(screen.steps.size(), armed + 1);
    EXPECT_TRUE(v.displayState().animationRunning);

    v.stopAnimation();
    EXPECT_FALSE(v.displayState().animationRunning);
    EXPECT_EQ(v.picture().block.width(), 2) << "frame 0 stays";
}

TEST_F(ViewerControllerTest, ComposedFramesKeepTheirOwnDelaysAndPlays)
{
    ViewerController& v = start();
    ASSERT_TRUE(v.open(file("anim.webp", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'})));
    ASSERT_TRUE(v.displayState().animationRunning);
    EXPECT_EQ(v.title(), "anim.webp - 3 frames");
    EXPECT_EQ(screen.steps, std::vector<int64_t>{10}) << "5 ms is held to 10, not to 70 as a GIF's";
    screen.now = 10;
    v.animationStep();
    EXPECT_EQ(v.displayState().animation->current(), 1);
    EXPECT_EQ(screen.steps.back(), 40);
    // The one play ends with frame 2's 20 ms: it stays, and no timer is armed.
    const size_t armed = screen.steps.size();
    screen.now = 70;
    v.animationStep();
    screen.now = 5000;
    v.animationStep();
    EXPECT_EQ(v.displayState().animation->current(), 2);
    EXPECT_EQ(screen.steps.size(), armed);
    EXPECT_TRUE(v.displayState().animationRunning);
}

TEST_F(ViewerControllerTest, NeighboursAreReadAheadWithinTheBudget)
{
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        bmp(name);
    std::filesystem::current_path(dir.path());
    struct Case {
        const char* megabytes;
        int64_t budget;
    };
    for (const Case& c : {Case{"-1", 0}, Case{"2", int64_t(2) << 20}, Case{"0", int64_t(ReadAhead::defaultBudget())}}) {
        SCOPED_TRACE(c.megabytes);
        settings.writeText(settings::ReadAheadMegabytes, c.megabytes);
        ViewerController& v = start();
        EXPECT_EQ(v.readAheadBudget(), c.budget);
        ASSERT_TRUE(v.open(dir.file("b.bmp")));
        v.painted();
        EXPECT_EQ(v.readAhead() != nullptr, c.budget > 0);
    }
}

TEST_F(ViewerControllerTest, APictureReadAheadNeedsNoWaitCursor)
{
    const std::string path = bmp("ready.bmp");
    ViewerController& v = start();
    v.setReadAhead(ReadAhead::start(v.viewRequest(path), registry));
    for (int i = 0; i < 10000 && !v.readAhead()->ready(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(v.open(path));
    EXPECT_EQ(ui.waitCursorChanges, 0);
    ASSERT_TRUE(v.open(path)); // read again: long work
    EXPECT_EQ(ui.waitCursorChanges, 2);

    // One still being read is long work too, and is read once.
    const std::string slow = bmp("slow.bmp");
    v.setReadAhead(ReadAhead::start(v.viewRequest(slow), registry));
    ASSERT_TRUE(v.open(slow));
    EXPECT_EQ(ui.waitCursorChanges, 4);
    EXPECT_EQ(ui.waitCursorDepth, 0);
}

// With decoders confined, a file that makes its decoder misbehave ends that
// load with its words; the viewer and its picture stay.
TEST_F(ViewerControllerTest, AHostileFileEndsItsDecoderNotTheViewer)
{
    DecoderWorkers workers;
    workers.program = std::string(PICTORAND_BINARY_DIR) + "/tests/hostile_decoder";
    workers.wallLimit = std::chrono::seconds(2);
    decodeInWorkers(workers);
    viewer = std::make_unique<ViewerController>(screen, ui, settings, ViewerOptions{}, CodecRegistry::instance());
    auto greymap = [&](const std::string& name, const std::string& command) {
        const std::string text = "P5\n" + command + "2 2\n255\n\x10\x20\x30\x40";
        return file(name, std::vector<uint8_t>(text.begin(), text.end()));
    };
    const std::string good = greymap("good.pgm", "");
    ASSERT_TRUE(viewer->open(good));
    const std::string hostile = greymap("hostile.pgm", "# hostile: crash\n");
    EXPECT_FALSE(viewer->open(hostile));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, hostile + " : the decoder stopped (signal 11)");
    EXPECT_EQ(viewer->picture().path, good);
    EXPECT_EQ(viewer->picture().block.width(), 2);
    EXPECT_TRUE(viewer->open(greymap("next.pgm", "")));
    decodeInThisProcess();
}

} // namespace
} // namespace pictorand
