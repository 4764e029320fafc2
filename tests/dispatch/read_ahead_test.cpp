#include "dispatch/load.h"
#include "dispatch/open_preview.h"
#include "dispatch/read_ahead.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::writeFile;

// The fake reader counts its calls (from either thread) and gives a block
// whose width says where it ran: 1 on the worker, 2 on the test's thread.
std::atomic<int> readerCalls{0};
bool readerFails = false;
int readerDelayMs = 0;
const std::thread::id testThread = std::this_thread::get_id();

Result<DecodedImage> countingRead(const ReadRequest& request)
{
    ++readerCalls;
    if (readerDelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(readerDelayMs));
    const int width = std::this_thread::get_id() == testThread ? 2 : 1;
    if (readerFails)
        return Failure{Reason::CorruptData, "Not a valid file"};
    DecodedImage decoded;
    if (request.greyscale)
        decoded.compression = "grey";
    decoded.block = ImageBlock::create(width, 2, 24, 0);
    return decoded;
}

std::atomic<int> framesCalls{0};

Result<ComposedAnimation> countingFrames(const std::string&, const AnimationLimits&)
{
    ++framesCalls;
    return ComposedAnimation{};
}

// The fake readers, and the formats' own animation checks.
CodecRegistry countingRegistry()
{
    CodecRegistry registry;
    for (const FormatInfo& info : formatTable()) {
        registry.registerReader(info.format, countingRead);
        registry.registerAnimationReader(info.format, countingFrames);
        registry.registerAnimationCheck(info.format, CodecRegistry::instance().animationCheck(info.format));
    }
    return registry;
}

class ReadAheadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        readerCalls = 0;
        framesCalls = 0;
        readerFails = false;
        readerDelayMs = 0;
    }

    // Waits (up to ten seconds) for the worker to finish.
    static bool waitUntilReady(const ReadAhead& ahead, const std::string& path)
    {
        for (int i = 0; i < 10000 && !ahead.ready(path); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return ahead.ready(path);
    }

    std::string file(const std::string& name, std::vector<uint8_t> bytes)
    {
        bytes.resize(std::max<size_t>(bytes.size(), 16), 0x20);
        std::string path = dir.file(name);
        writeFile(path, bytes);
        return path;
    }
    std::string jpeg() { return file("photo.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}); }

    static LoadRequest viewRequest(const std::string& path, bool greyscale = false)
    {
        LoadRequest request{LoadSource{path}, LoadPurpose::View, {}};
        request.options.greyscale = greyscale;
        return request;
    }
    std::unique_ptr<ReadAhead> start(const std::string& path, bool greyscale = false)
    {
        return ReadAhead::start(viewRequest(path, greyscale), registry);
    }

    ScratchDir dir;
    CodecRegistry registry = countingRegistry();
};

TEST_F(ReadAheadTest, FormatsThatNeedTheViewerAreNotReadAhead)
{
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"anim.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}},
        {"pages.tif", {'I', 'I', 42, 0, 8, 0, 0, 0}},
        {"notes.txt", {'h', 'e', 'l', 'l', 'o'}},
    };
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(start(file(name, bytes)), nullptr) << name;
    EXPECT_EQ(start(dir.file("missing.jpg")), nullptr);
    EXPECT_FALSE(ReadAhead::formatQualifies(ImageFormat::Icon));
    EXPECT_FALSE(ReadAhead::formatQualifies(ImageFormat::PhotoCd));
    EXPECT_FALSE(ReadAhead::formatQualifies(ImageFormat::Media));
    EXPECT_FALSE(ReadAhead::formatQualifies(ImageFormat::Metafile));
    EXPECT_EQ(readerCalls, 0);
}

TEST_F(ReadAheadTest, WithoutAReaderNothingStarts)
{
    CodecRegistry empty;
    EXPECT_EQ(ReadAhead::start(viewRequest(jpeg()), empty), nullptr);
}

TEST_F(ReadAheadTest, MatchingRequestGetsTheOutcomeOnce)
{
    const std::string path = jpeg();
    std::unique_ptr<ReadAhead> ahead = start(path, true);
    ASSERT_NE(ahead, nullptr);
    std::optional<LoadOutcome> outcome = ahead->take(viewRequest(path, true));
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->block);
    EXPECT_EQ(outcome->block.width(), 1);
    EXPECT_EQ(outcome->compression, "grey");
    EXPECT_GE(outcome->decompressionMs, 0);
    EXPECT_FALSE(ahead->take(viewRequest(path, true))) << "a second load reads the file as it is then";
    EXPECT_EQ(readerCalls, 1);
}

// (A load of another file leaves the picture to its own file's load.)
TEST_F(ReadAheadTest, AnyOtherRequestReadsAnewAndSpendsTheReadAhead)
{
    const std::string path = jpeg();
    struct Case {
        const char* what;
        void (*change)(LoadRequest&);
    };
    const Case cases[] = {
        {"palette display", [](LoadRequest& r) { r.options.paletteDisplay = true; }},
        {"greyscale", [](LoadRequest& r) { r.options.greyscale = true; }},
        {"preview", [](LoadRequest& r) { r.purpose = LoadPurpose::Preview; }},
        {"orientation", [](LoadRequest& r) { r.options.autoRotate = false; }},
    };
    for (const Case& c : cases) {
        std::unique_ptr<ReadAhead> ahead = start(path);
        ASSERT_NE(ahead, nullptr);
        LoadRequest request = viewRequest(path);
        c.change(request);
        EXPECT_FALSE(ahead->take(request)) << c.what;
        EXPECT_FALSE(ahead->take(viewRequest(path))) << c.what << ": spent by the first ask";
    }
    // What only frames, pages and icons heed does not matter to a single picture.
    std::unique_ptr<ReadAhead> ahead = start(path);
    LoadRequest fullScreen = viewRequest(path);
    fullScreen.options.animate = false;
    EXPECT_TRUE(ahead->take(fullScreen));
}

TEST_F(ReadAheadTest, ALoadTakesTheOutcomeInsteadOfReading)
{
    const std::string path = jpeg();
    std::unique_ptr<ReadAhead> ahead = start(path);
    ASSERT_NE(ahead, nullptr);
    LoadOutcome outcome = loadOrTake(ahead.get(), viewRequest(path), registry);
    ASSERT_TRUE(outcome.block);
    EXPECT_EQ(outcome.block.width(), 1) << "the block of the read ahead";
    EXPECT_EQ(readerCalls, 1);
    EXPECT_EQ(outcome.compression, "JPEG/JFIF");
    EXPECT_EQ(outcome.originalWidth, 1);

    // The next load of the same file reads it again.
    outcome = loadOrTake(ahead.get(), viewRequest(path), registry);
    EXPECT_EQ(outcome.block.width(), 2);
    EXPECT_EQ(readerCalls, 2);
}

TEST_F(ReadAheadTest, ReadyOnlyForItsFileAndUntilTaken)
{
    const std::string path = jpeg();
    std::unique_ptr<ReadAhead> ahead = start(path);
    ASSERT_NE(ahead, nullptr);
    ASSERT_TRUE(waitUntilReady(*ahead, path));
    EXPECT_FALSE(ahead->ready(path + "x"));
    EXPECT_TRUE(ahead->take(viewRequest(path)));
    EXPECT_FALSE(ahead->ready(path));
}

TEST_F(ReadAheadTest, PreviewReadsForItselfAndLeavesTheReadAhead)
{
    const std::string path = jpeg();
    std::unique_ptr<ReadAhead> ahead = start(path);
    PreviewLoad preview = loadForPreview(viewRequest(path), 120, registry);
    ASSERT_TRUE(preview.outcome.block);
    EXPECT_EQ(preview.outcome.block.width(), 2) << "the preview reads for itself";
    EXPECT_EQ(loadOrTake(ahead.get(), viewRequest(path), registry).block.width(), 1);
    EXPECT_EQ(readerCalls, 2);
}

TEST_F(ReadAheadTest, FailedReadAheadReportsAsTheLoadWould)
{
    const std::string path = jpeg();
    readerFails = true;
    std::unique_ptr<ReadAhead> ahead = start(path);
    const LoadOutcome outcome = loadOrTake(ahead.get(), viewRequest(path), registry);
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(readerCalls, 1);
    EXPECT_EQ(loadFailureMessage(outcome), path + " : JPEG Decode error !\n\nNot a valid file");
}

TEST_F(ReadAheadTest, UnusedReadAheadEndsCleanly)
{
    std::unique_ptr<ReadAhead> ahead = start(jpeg());
    ASSERT_NE(ahead, nullptr);
    ahead.reset(); // waits for the worker; nothing leaks
    EXPECT_LE(readerCalls, 1);
}

// The neighbours of the picture on screen.
TEST_F(ReadAheadTest, KeepsWhatTheBudgetHoldsAndOnlyWhatIsWanted)
{
    const std::string a = file("a.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'});
    const std::string b = file("b.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'});
    const uint64_t blockBytes = ImageBlock::create(1, 2, 24, 0).size();
    ReadAhead ahead(blockBytes + blockBytes / 2, registry);
    ahead.request({viewRequest(a), viewRequest(b)});
    ASSERT_TRUE(waitUntilReady(ahead, a));
    for (int i = 0; i < 5000 && readerCalls < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ahead.ready(b)) << "over the budget";
    EXPECT_EQ(ahead.keptBytes(), blockBytes);
    ahead.request({viewRequest(b)}); // a is no longer wanted: let go
    ASSERT_TRUE(waitUntilReady(ahead, b));
    EXPECT_FALSE(ahead.ready(a));
    EXPECT_EQ(ahead.keptBytes(), blockBytes);
}

TEST_F(ReadAheadTest, FileChangedOnDiskIsReadAnew)
{
    const std::string path = jpeg();
    ReadAhead ahead(1 << 20, registry);
    ahead.request({viewRequest(path)});
    ASSERT_TRUE(waitUntilReady(ahead, path));
    std::vector<uint8_t> bytes = testing::readFile(path);
    bytes.push_back(0);
    writeFile(path, bytes);
    EXPECT_FALSE(ahead.take(viewRequest(path)));
}

TEST_F(ReadAheadTest, NewestRequestWinsAndNothingQueuesUp)
{
    readerDelayMs = 100;
    std::vector<std::string> paths;
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"})
        paths.push_back(file(name, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}));
    ReadAhead ahead(1 << 20, registry);
    for (const std::string& path : paths) // a key held down
        ahead.request({viewRequest(path)});
    ASSERT_TRUE(waitUntilReady(ahead, paths.back()));
    EXPECT_LE(readerCalls, 2) << "at most the read under way, then the newest";
    EXPECT_FALSE(ahead.ready(paths.front()));
    // A load of the file being read waits for that read instead of reading too.
    ahead.request({viewRequest(paths[2])});
    std::optional<LoadOutcome> taken = ahead.take(viewRequest(paths[2]));
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->block.width(), 1);
}

// An animated neighbour is found so before anything of it is decoded, and
// left to the viewer's own load; a still one of the same format is read.
TEST_F(ReadAheadTest, AnimationsAreLeftUnreadAndStillsOfTheirFormatsRead)
{
    const std::string source = PICTORAND_SOURCE_DIR;
    const struct {
        std::string path;
        bool animated;
    } cases[] = {
        {source + "/tests/dispatch/animations/three_frames.webp", true},
        {source + "/tests/dispatch/animations/three_frames.png", true},
        {source + "/tests/dispatch/animations/three_frames.avif", true},
        {source + "/tests/dispatch/animations/three_frames.jxl", true},
        {source + "/tests/codecs/webp/fixtures/icc.webp", false}, // extended, as an animation is
        {source + "/samples/rose-png.png", false},
        {source + "/tests/codecs/avif/fixtures/lossless.avif", false},
        {source + "/tests/codecs/jxl/fixtures/lossless.jxl", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        readerCalls = 0;
        framesCalls = 0;
        ReadAhead ahead(1 << 20, registry);
        ahead.request({viewRequest(c.path)});
        // Waits for the read under way.
        EXPECT_EQ(ahead.take(viewRequest(c.path)).has_value(), !c.animated);
        EXPECT_EQ(readerCalls + framesCalls, c.animated ? 0 : 2);
    }
}

} // namespace
} // namespace pictorand
