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
    ASSERT_TRUE(result->block);
    EXPECT_EQ(result->block.width(), 1);
    EXPECT_EQ(result->compression, "grey");
    EXPECT_GE(result->milliseconds, 0);
    EXPECT_FALSE(ahead->take(ImageFormat::Jpeg, request)) << "a second load reads the file as it is then";
    EXPECT_EQ(readerCalls, 1);
}

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
        {"other path", [](ReadRequest& r, ImageFormat&) { r.path += "x"; }},
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
    EXPECT_EQ(readerCalls, 1);
}

} // namespace
} // namespace pictorand
