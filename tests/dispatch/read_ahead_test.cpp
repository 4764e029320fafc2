#include "dispatch/load_dispatch.h"
#include "dispatch/read_ahead.h"
#include "tests/dispatch/scripted_host.h"
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
using testing::ScriptedHost;
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

CodecRegistry countingRegistry()
{
    CodecRegistry registry;
    for (const FormatInfo& info : formatTable())
        registry.registerReader(info.format, countingRead);
    return registry;
}

class HostWithReadAhead : public ScriptedHost {
public:
    ReadAhead* readAhead() override { return ahead.get(); }
    std::unique_ptr<ReadAhead> ahead;
};

class ReadAheadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        readerCalls = 0;
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

    ReadRequest displayRequest(const std::string& path)
    {
        ReadRequest request;
        request.path = path;
        return request;
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
        EXPECT_EQ(ReadAhead::start(file(name, bytes), false, registry), nullptr) << name;
    EXPECT_EQ(ReadAhead::start(dir.file("missing.jpg"), false, registry), nullptr);
    EXPECT_FALSE(ReadAhead::formatQualifies(ImageFormat::Icon));
    EXPECT_FALSE(ReadAhead::formatQualifies(ImageFormat::PhotoCd));
    EXPECT_FALSE(ReadAhead::formatQualifies(ImageFormat::Media));
    EXPECT_FALSE(ReadAhead::formatQualifies(ImageFormat::Metafile));
    EXPECT_EQ(readerCalls, 0);
}

TEST_F(ReadAheadTest, WithoutAReaderNothingStarts)
{
    CodecRegistry empty;
    EXPECT_EQ(ReadAhead::start(jpeg(), false, empty), nullptr);
}

TEST_F(ReadAheadTest, MatchingRequestGetsTheResultOnce)
{
    const std::string path = jpeg();
    std::unique_ptr<ReadAhead> ahead = ReadAhead::start(path, true, registry);
    ASSERT_NE(ahead, nullptr);
    ReadRequest request = displayRequest(path);
    request.greyscale = true;
    std::optional<ReadAhead::Result> result = ahead->take(ImageFormat::Jpeg, request);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->decoded.block);
    EXPECT_EQ(result->decoded.block.width(), 1);
    EXPECT_EQ(result->decoded.compression, "grey");
    EXPECT_GE(result->milliseconds, 0);
    EXPECT_FALSE(ahead->take(ImageFormat::Jpeg, request)) << "a second load reads the file as it is then";
    EXPECT_EQ(readerCalls, 1);
}

// (A load of another file leaves the picture to its own file's load.)
TEST_F(ReadAheadTest, AnyOtherRequestReadsAnewAndSpendsTheReadAhead)
{
    const std::string path = jpeg();
    struct Case {
        const char* what;
        void (*change)(ReadRequest&, ImageFormat&);
    };
    const Case cases[] = {
        {"palette display", [](ReadRequest& r, ImageFormat&) { r.paletteDisplay = true; }},
        {"greyscale", [](ReadRequest& r, ImageFormat&) { r.greyscale = true; }},
        {"preview width", [](ReadRequest& r, ImageFormat&) { r.previewWidth = 100; }},
        {"other format", [](ReadRequest&, ImageFormat& f) { f = ImageFormat::Bmp; }},
    };
    for (const Case& c : cases) {
        std::unique_ptr<ReadAhead> ahead = ReadAhead::start(path, false, registry);
        ASSERT_NE(ahead, nullptr);
        ReadRequest request = displayRequest(path);
        ImageFormat format = ImageFormat::Jpeg;
        c.change(request, format);
        EXPECT_FALSE(ahead->take(format, request)) << c.what;
        EXPECT_FALSE(ahead->take(ImageFormat::Jpeg, displayRequest(path))) << c.what << ": spent by the first ask";
    }
}

TEST_F(ReadAheadTest, DisplayLoadTakesTheReadInsteadOfReading)
{
    std::string path = jpeg();
    HostWithReadAhead host;
    host.ahead = ReadAhead::start(path, false, registry);
    ASSERT_NE(host.ahead, nullptr);
    ImageBlock block = LoadForDisplay(host, path, false, false, 0, registry);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.width(), 1) << "the block of the read ahead";
    EXPECT_EQ(readerCalls, 1);
    EXPECT_EQ(host.current.compression, "JPEG/JFIF");
    EXPECT_EQ(host.current.originalWidth, 1);
    EXPECT_EQ(host.ui.waitCursorDepth, 0);

    // The next load of the same file reads it again.
    block = LoadForDisplay(host, path, false, false, 0, registry);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.width(), 2);
    EXPECT_EQ(readerCalls, 2);
}

TEST_F(ReadAheadTest, ReadyOnlyForItsFileAndUntilTaken)
{
    const std::string path = jpeg();
    std::unique_ptr<ReadAhead> ahead = ReadAhead::start(path, false, registry);
    ASSERT_NE(ahead, nullptr);
    ASSERT_TRUE(waitUntilReady(*ahead, path));
    EXPECT_FALSE(ahead->ready(path + "x"));
    EXPECT_TRUE(ahead->take(ImageFormat::Jpeg, displayRequest(path)));
    EXPECT_FALSE(ahead->ready(path));
}

TEST_F(ReadAheadTest, PictureReadyShowsNoWaitCursor)
{
    std::string path = jpeg();
    HostWithReadAhead host;
    host.ahead = ReadAhead::start(path, false, registry);
    ASSERT_NE(host.ahead, nullptr);
    ASSERT_TRUE(waitUntilReady(*host.ahead, path));
    ASSERT_TRUE(LoadForDisplay(host, path, false, false, 0, registry));
    EXPECT_EQ(host.ui.waitCursorChanges, 0);
    // The next load of the file is long work again.
    ASSERT_TRUE(LoadForDisplay(host, path, false, false, 0, registry));
    EXPECT_EQ(host.ui.waitCursorChanges, 2);
    EXPECT_EQ(host.ui.waitCursorDepth, 0);
}

TEST_F(ReadAheadTest, PictureStillBeingReadShowsTheWaitCursor)
{
    std::string path = jpeg();
    readerDelayMs = 300;
    HostWithReadAhead host;
    host.ahead = ReadAhead::start(path, false, registry);
    ASSERT_NE(host.ahead, nullptr);
    ASSERT_TRUE(LoadForDisplay(host, path, false, false, 0, registry));
    EXPECT_EQ(host.ui.waitCursorChanges, 2);
    EXPECT_EQ(host.ui.waitCursorDepth, 0);
    EXPECT_EQ(readerCalls, 1);
}

TEST_F(ReadAheadTest, PaletteDisplayReadsAnew)
{
    std::string path = jpeg();
    HostWithReadAhead host;
    host.palette = true;
    host.ahead = ReadAhead::start(path, false, registry);
    ImageBlock block = LoadForDisplay(host, path, false, false, 0, registry);
    ASSERT_TRUE(block);
    EXPECT_EQ(readerCalls, 2);
}

TEST_F(ReadAheadTest, PreviewLeavesTheReadAheadForTheDisplayLoad)
{
    std::string path = jpeg();
    HostWithReadAhead host;
    host.ahead = ReadAhead::start(path, false, registry);
    ImageBlock preview = LoadForDisplay(host, path, false, false, 120, registry);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview.width(), 2) << "the preview reads for itself";
    ImageBlock block = LoadForDisplay(host, path, false, false, 0, registry);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.width(), 1);
    EXPECT_EQ(readerCalls, 2);
}

TEST_F(ReadAheadTest, FailedReadAheadReportsAsTheDisplayLoadWould)
{
    std::string path = jpeg();
    readerFails = true;
    HostWithReadAhead host;
    host.ahead = ReadAhead::start(path, false, registry);
    EXPECT_FALSE(LoadForDisplay(host, path, false, false, 0, registry));
    EXPECT_EQ(readerCalls, 1);
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, path + " : JPEG Decode error !\n\nNot a valid file");
    EXPECT_EQ(host.windowResets, 1);
}

TEST_F(ReadAheadTest, UnusedReadAheadEndsCleanly)
{
    std::unique_ptr<ReadAhead> ahead = ReadAhead::start(jpeg(), false, registry);
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
    ahead.request({a, b}, false);
    ASSERT_TRUE(waitUntilReady(ahead, a));
    for (int i = 0; i < 5000 && readerCalls < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ahead.ready(b)) << "over the budget";
    EXPECT_EQ(ahead.keptBytes(), blockBytes);
    ahead.request({b}, false); // a is no longer wanted: let go
    ASSERT_TRUE(waitUntilReady(ahead, b));
    EXPECT_FALSE(ahead.ready(a));
    EXPECT_EQ(ahead.keptBytes(), blockBytes);
}

TEST_F(ReadAheadTest, FileChangedOnDiskIsReadAnew)
{
    const std::string path = jpeg();
    ReadAhead ahead(1 << 20, registry);
    ahead.request({path}, false);
    ASSERT_TRUE(waitUntilReady(ahead, path));
    std::vector<uint8_t> bytes = testing::readFile(path);
    bytes.push_back(0);
    writeFile(path, bytes);
    EXPECT_FALSE(ahead.take(ImageFormat::Jpeg, displayRequest(path)));
}

TEST_F(ReadAheadTest, NewestRequestWinsAndNothingQueuesUp)
{
    readerDelayMs = 100;
    std::vector<std::string> paths;
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"})
        paths.push_back(file(name, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}));
    ReadAhead ahead(1 << 20, registry);
    for (const std::string& path : paths) // a key held down
        ahead.request({path}, false);
    ASSERT_TRUE(waitUntilReady(ahead, paths.back()));
    EXPECT_LE(readerCalls, 2) << "at most the read under way, then the newest";
    EXPECT_FALSE(ahead.ready(paths.front()));
    // A load of the file being read waits for that read instead of reading too.
    ahead.request({paths[2]}, false);
    std::optional<ReadAhead::Result> taken = ahead.take(ImageFormat::Jpeg, displayRequest(paths[2]));
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->decoded.block.width(), 1);
}

} // namespace
} // namespace pictorand
