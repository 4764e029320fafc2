// Scanning: the frame rules on hand-made data, then SANE's own test device
// (enabled through a private SANE_CONFIG_DIR) against scanimage's output of
// the same scans.
#include "shell/core/scanner.h"

#include "codecs/pnm/pnm.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <sane/saneopts.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

namespace pictorand {
namespace {

using namespace pictorand::testing;
using Format = ScanFrameLayout::Format;

ScanFrame frame(Format format, int depth, int64_t pixels, int64_t bytesPerLine, int64_t lines,
                std::vector<uint8_t> data)
{
    return {{format, depth, pixels, bytesPerLine, lines}, std::move(data)};
}

TEST(ScanFrames, BuildTheBlockTheirLayoutDescribes)
{
    const uint16_t sixteen[] = {0, 65535, 32896}; // host order: 0, 255, 128
    std::vector<uint8_t> sixteenBytes(6);
    std::memcpy(sixteenBytes.data(), sixteen, 6);
    struct Case {
        const char* name;
        std::vector<ScanFrame> frames;
        int width, height, bits;
        std::vector<uint8_t> topLeftRgb; // of the first pixel(s), red first
    };
    const Case cases[] = {
        {"line art, 1 is black", {frame(Format::Grey, 1, 9, 2, 1, {0x80, 0x00})}, 9, 1, 1, {0, 0, 0, 255, 255, 255}},
        {"grey 16 in host order", {frame(Format::Grey, 16, 3, 6, 1, sixteenBytes)}, 3, 1, 8, {0, 0, 0, 255, 255, 255, 128, 128, 128}},
        {"colour 8", {frame(Format::Rgb, 8, 1, 4, 2, {10, 20, 30, 0, 40, 50, 60, 0})}, 1, 2, 24, {10, 20, 30}},
        {"three passes in any order",
         {frame(Format::Blue, 8, 1, 1, 1, {3}), frame(Format::Red, 8, 1, 1, 1, {1}), frame(Format::Green, 8, 1, 1, 1, {2})},
         1, 1, 24, {1, 2, 3}},
        {"unknown length keeps complete rows", {frame(Format::Grey, 8, 2, 2, -1, {7, 7, 7, 7, 7})}, 2, 2, 8, {7, 7, 7}},
        {"declared rows cap the data", {frame(Format::Grey, 8, 1, 1, 2, {5, 5, 5, 5})}, 1, 2, 8, {5, 5, 5}},
        {"a frame ending early shortens the picture", {frame(Format::Grey, 8, 1, 1, 9, {5, 5, 5})}, 1, 3, 8, {5, 5, 5}},
    };
    for (const Case& c : cases) {
        ImageBlock block = blockFromFrames(c.frames);
        ASSERT_TRUE(block) << c.name;
        EXPECT_EQ(block.width(), c.width) << c.name;
        EXPECT_EQ(block.height(), c.height) << c.name;
        EXPECT_EQ(block.bitCount(), c.bits) << c.name;
        RgbImage rgb = blockToRgb(block);
        EXPECT_EQ(std::vector<uint8_t>(rgb.rgb.begin(), rgb.rgb.begin() + ptrdiff_t(c.topLeftRgb.size())), c.topLeftRgb)
            << c.name;
    }
}

TEST(ScanFrames, RefuseWhatTheyCannotHold)
{
    const std::vector<ScanFrame> refused[] = {
        {},
        {frame(Format::Grey, 4, 2, 1, 1, {0})},                 // no such depth
        {frame(Format::Rgb, 8, 2, 5, 1, {0, 0, 0, 0, 0})},      // rows shorter than their pixels
        {frame(Format::Grey, 8, 2, 2, 1, {0})},                 // not one complete row
        {frame(Format::Red, 8, 1, 1, 1, {0}), frame(Format::Red, 8, 1, 1, 1, {0}), frame(Format::Blue, 8, 1, 1, 1, {0})},
        {frame(Format::Red, 8, 1, 1, 1, {0}), frame(Format::Green, 8, 2, 2, 1, {0, 0}), frame(Format::Blue, 8, 1, 1, 1, {0})},
    };
    for (size_t i = 0; i < std::size(refused); ++i)
        EXPECT_FALSE(blockFromFrames(refused[i])) << "case " << i;
}

TEST(ScanOptions, SnapToWhatTheDeviceAllows)
{
    ScanOptionChoices list;
    list.numbers = {75, 150, 300, 600};
    ScanOptionChoices range;
    range.minimum = 50;
    range.maximum = 1200;
    range.step = 25;
    const struct {
        const ScanOptionChoices& choices;
        int wanted, expected;
    } cases[] = {{list, 200, 150}, {list, 226, 300}, {list, 5000, 600}, {range, 10, 50},
                 {range, 112, 100}, {range, 113, 125}, {range, 9999, 1200}};
    for (const auto& c : cases)
        EXPECT_EQ(snapToChoices(c.choices, c.wanted), c.expected) << c.wanted;
}

// The test device, enabled for this process only.
class SaneTestDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useSaneTestDevice(); }

    std::unique_ptr<ScannerConnection> open()
    {
        std::string error;
        auto connection = ScannerConnection::open("test:0", error);
        EXPECT_TRUE(connection) << error;
        return connection;
    }

    ScratchDir dir;
};

TEST_F(SaneTestDevice, IsFoundAndRemembersNothingItWasNotAskedFor)
{
    const std::vector<ScannerDevice> devices = findScanners();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0].name.rfind("test:", 0), 0u);
    std::string error;
    EXPECT_FALSE(ScannerConnection::open("no-such-backend:0", error));
    EXPECT_FALSE(error.empty());
}

// Each mode and depth of the colour pattern, pixel for pixel against
// scanimage's PNM of the same scan (16-bit samples within a level).
TEST_F(SaneTestDevice, EveryModeAndDepthLooksLikeScanimagesScan)
{
    REQUIRE_TOOLS("scanimage");
    for (auto [mode, depth] : {std::pair{"Gray", 1}, std::pair{"Gray", 8}, std::pair{"Gray", 16},
                               std::pair{"Color", 8}, std::pair{"Color", 16}}) {
        const std::string label = std::string(mode) + " " + std::to_string(depth);
        auto connection = open();
        ASSERT_TRUE(connection);
        std::string error;
        ASSERT_TRUE(connection->apply({mode, depth, 30, ""}, error)) << error;
        ASSERT_TRUE(connection->setOption("test-picture", "Color pattern", error)) << error;
        ImageBlock page;
        ASSERT_EQ(connection->scanPage(page, error), PageEnd::Page) << label << ": " << error;
        connection->finish();

        const std::string expected = dir.file("expected.pnm");
        const std::string command = "SANE_CONFIG_DIR='" + std::string(std::getenv("SANE_CONFIG_DIR"))
                                    + "' scanimage -d test:0 --mode " + mode + " --depth " + std::to_string(depth)
                                    + " --resolution 30 --test-picture 'Color pattern' --format=pnm > '" + expected + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << label;
        Result<DecodedImage> reference = readPortable(
            depth == 1 ? PortableKind::Bitmap : std::string(mode) == "Gray" ? PortableKind::Greymap : PortableKind::Pixmap,
            expected);
        ASSERT_TRUE(reference) << label;
        EXPECT_EQ(page.width(), reference->block.width()) << label;
        EXPECT_EQ(page.height(), reference->block.height()) << label;
        EXPECT_LE(maxDifference(blockToRgb(page), blockToRgb(reference->block)), depth == 16 ? 1 : 0) << label;
    }
}

TEST_F(SaneTestDevice, FeederPagesComeUntilItIsEmpty)
{
    auto connection = open();
    ASSERT_TRUE(connection);
    std::string error;
    ASSERT_TRUE(connection->apply({"Gray", 8, 10, "Automatic Document Feeder"}, error)) << error;
    EXPECT_TRUE(connection->feederSelected());
    int pages = 0;
    ImageBlock page;
    PageEnd end;
    while ((end = connection->scanPage(page, error)) == PageEnd::Page && pages < 50)
        ++pages;
    EXPECT_EQ(end, PageEnd::NoMoreDocuments) << error;
    EXPECT_EQ(pages, 10); // the test device's feeder holds ten
    connection->setOption(SANE_NAME_SCAN_SOURCE, "Flatbed", error); // kept for the process's later opens
}

TEST_F(SaneTestDevice, CancelStopsASlowScanWithinASecond)
{
    auto connection = open();
    ASSERT_TRUE(connection);
    std::string error;
    ASSERT_TRUE(connection->apply({"Color", 8, 300, ""}, error)) << error;
    for (auto [option, value] : {std::pair{"read-limit", "yes"}, std::pair{"read-limit-size", "64"},
                                 std::pair{"read-delay", "yes"}, std::pair{"read-delay-duration", "100000"}})
        ASSERT_TRUE(connection->setOption(option, value, error)) << option << ": " << error;
    auto scan = std::async(std::launch::async, [&] {
        ImageBlock page;
        std::string scanError;
        return connection->scanPage(page, scanError);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto cancelled = std::chrono::steady_clock::now();
    connection->cancel();
    ASSERT_EQ(scan.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_EQ(scan.get(), PageEnd::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(1));
    connection->finish();
    EXPECT_TRUE(connection->setOption("read-delay", "no", error)) << error; // kept for the process's later opens
    EXPECT_TRUE(connection->setOption("read-limit", "no", error)) << error;
}

TEST_F(SaneTestDevice, AFailingTransferEndsWithItsReason)
{
    auto connection = open();
    ASSERT_TRUE(connection);
    std::string error;
    ASSERT_TRUE(connection->apply({"Gray", 8, 10, ""}, error)) << error;
    ASSERT_TRUE(connection->setOption("read-return-value", "SANE_STATUS_IO_ERROR", error)) << error;
    ImageBlock page;
    EXPECT_EQ(connection->scanPage(page, error), PageEnd::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(page);
    // The test device keeps its settings for the process's later opens.
    connection->finish();
    EXPECT_TRUE(connection->setOption("read-return-value", "Default", error)) << error;
}

} // namespace
} // namespace pictorand
