// The animation's frame table, canvas and schedule. The canvas is checked
// frame by frame against ImageMagick's -coalesce, flattened on the file's
// background colour (ImageMagick disposes to transparency, the viewer to the
// background colour).

#include "dispatch/gif_animation.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace pictorand {
namespace {

using testing::haveTool;
using testing::runCommand;
using testing::ScratchDir;
using testing::shellQuote;

std::vector<AnimationFrame> framesOf(const std::string& path)
{
    const CodecRegistry& registry = CodecRegistry::instance();
    Result<ImageList> images = registry.imageList(ImageFormat::Gif)(path);
    EXPECT_TRUE(images) << path;
    if (!images)
        return {};
    Result<std::vector<AnimationFrame>> frames = readAnimationFrames(path, *images, registry);
    EXPECT_TRUE(frames) << path;
    return frames ? frames.take() : std::vector<AnimationFrame>{};
}

TEST(GifAnimation, DisposalMethodsComposeAsImageMagickCoalesces)
{
    REQUIRE_TOOLS("convert");
    // Made by ImageMagick with the commands in animations/make.txt: every
    // disposal method, offsets, transparent holes, "previous" on frame 0.
    for (const char* name : {"every_method", "transparent_holes", "previous_first"}) {
        const std::string gif = std::string(PICTORAND_SOURCE_DIR) + "/tests/dispatch/animations/" + name + ".gif";
        std::vector<AnimationFrame> frames = framesOf(gif);
        ASSERT_GT(frames.size(), 2u) << name;
        const GifFrameInfo& first = frames.front().info;
        char background[32];
        std::snprintf(background, sizeof background, "rgb(%d,%d,%d)", first.backgroundRed, first.backgroundGreen,
                      first.backgroundBlue);
        // Every coalesced frame, one after the other, as raw RGB.
        std::string coalesced;
        ASSERT_EQ(runCommand("convert " + shellQuote(gif) + " -coalesce -background '" + background +
                                 "' -alpha remove -alpha off -depth 8 rgb:-",
                             &coalesced),
                  0);
        GifCanvas canvas(std::move(frames));
        ASSERT_TRUE(canvas.canvas());
        const size_t frameBytes = static_cast<size_t>(canvas.width()) * canvas.height() * 3;
        ASSERT_EQ(coalesced.size(), frameBytes * static_cast<size_t>(canvas.frameCount())) << name;
        auto expectFrame = [&](int i) {
            testing::RgbImage expected{canvas.width(), canvas.height(), {}};
            expected.rgb.assign(coalesced.begin() + static_cast<long>(frameBytes * static_cast<size_t>(i)),
                                coalesced.begin() + static_cast<long>(frameBytes * static_cast<size_t>(i + 1)));
            EXPECT_EQ(testing::maxDifference(testing::blockToRgb(canvas.canvas()), expected), 0)
                << name << " frame " << i;
        };
        for (int i = 0; i < canvas.frameCount(); ++i) {
            canvas.show(i);
            expectFrame(i);
        }
        canvas.show(1); // going back composes again from the start
        expectFrame(1);
    }
}

TEST(GifAnimation, TransparentIndexBeyondTheTableIsIgnored)
{
    ImageBlock background = ImageBlock::create(2, 1, 8, 2);
    background.setColor(0, 10, 20, 30);
    ImageBlock over = ImageBlock::create(2, 1, 8, 4);
    over.setColor(0, 200, 0, 0);
    std::vector<AnimationFrame> frames(2);
    frames[0].block = std::move(background);
    frames[1].block = std::move(over);
    frames[1].info.transparentFlag = 1;
    frames[1].info.transparentIndex = 200; // the table has 4 entries
    GifCanvas canvas(std::move(frames));
    canvas.show(1);
    const uint8_t* pixel = canvas.canvas().topRow(0);
    EXPECT_EQ(pixel[2], 200) << "drawn as an opaque frame";
}

TEST(GifAnimation, DelaysAreClampedToSeventyAndOneThousandMilliseconds)
{
    const std::pair<int, int> cases[] = {{0, 70}, {6, 70}, {7, 70}, {10, 100}, {100, 1000}, {500, 1000}};
    for (auto [hundredths, ms] : cases)
        EXPECT_EQ(frameDelayMs(hundredths), ms) << hundredths;
}

TEST(GifAnimation, LateTimersDoNotMakeTheAnimationDrift)
{
    // Ten seconds of 100 ms frames; every tick comes 0 to 90 ms late and the
    // next is asked for at the deadline the schedule gives.
    FrameSchedule schedule(std::vector<int>(7, 100), 0);
    int64_t now = 0;
    int ticks = 0;
    while (now < 10000) {
        now = schedule.nextDeadline() + (ticks * 37) % 91;
        const int shown = schedule.frameAt(now);
        const int ideal = static_cast<int>((now / 100) % 7);
        EXPECT_EQ(shown, ideal) << "at " << now << " ms";
        ++ticks;
    }
    EXPECT_GE(ticks, 90);
    // A machine asleep for a minute picks up where the clock is.
    EXPECT_EQ(schedule.frameAt(now + 60000), static_cast<int>(((now + 60000) / 100) % 7));
}

TEST(GifAnimation, AScheduleOfSomePlaysStaysOnTheLastFrame)
{
    // Two plays of 10 + 20 + 30 ms; then a minute asleep within the first.
    const struct {
        int64_t now;
        int frame;
    } cases[] = {{0, 0}, {10, 1}, {59, 2}, {60, 0}, {119, 2}, {120, 2}, {100000, 2}};
    FrameSchedule schedule({10, 20, 30}, 0, 2);
    for (const auto& c : cases)
        EXPECT_EQ(schedule.frameAt(c.now), c.frame) << c.now;
    EXPECT_TRUE(schedule.finished());
    FrameSchedule asleep({10, 20, 30}, 0, 2);
    EXPECT_EQ(asleep.frameAt(100000), 2);
    EXPECT_TRUE(asleep.finished());
}

TEST(GifAnimation, ExtractedFramesReplacePlantedLinksAndReportFailures)
{
    ScratchDir dir;
    std::vector<AnimationFrame> frames(3);
    for (AnimationFrame& frame : frames)
        frame.block = ImageBlock::create(4, 4, 8, 256);
    const std::string out = dir.file("out/");
    ASSERT_TRUE(std::filesystem::create_directories(out));
    const std::string victim = dir.file("victim.txt");
    testing::writeFile(victim, {'k', 'e', 'e', 'p'});
    std::filesystem::create_symlink(victim, out + "anim_pictorand_extract_001.bmp");
    testing::ScriptedUserInterface ui;
    EXPECT_EQ(extractFrames(frames, out, "/somewhere/anim.gif", ui), 3);
    EXPECT_TRUE(ui.messages.empty());
    for (const char* n : {"000", "001", "002"})
        EXPECT_TRUE(std::filesystem::is_regular_file(
            std::filesystem::symlink_status(out + "anim_pictorand_extract_" + n + ".bmp")))
            << n;
    EXPECT_EQ(testing::readFile(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));

    // A name taken by a directory cannot be written: said, and the run ends.
    std::filesystem::create_directory(dir.file("blocked"));
    std::filesystem::create_directory(dir.file("blocked/anim_pictorand_extract_000.bmp"));
    EXPECT_EQ(extractFrames(frames, dir.file("blocked"), "anim.gif", ui), 0);
    EXPECT_EQ(ui.messages.size(), 1u);
}

} // namespace
} // namespace pictorand
