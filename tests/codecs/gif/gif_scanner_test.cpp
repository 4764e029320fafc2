// The frame scanner and the image counter, on hand-built files and on
// animations ImageMagick writes.

#include "codecs/gif/gif.h"
#include "core/codec_registry.h"
#include "tests/codecs/gif/gif_builder.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace pictorand::testing {
namespace {

struct ScanResult {
    int count = 0;
    std::vector<uint32_t> controls;
    std::vector<uint32_t> images;
    int canvasWidth = -1;
    int canvasHeight = -1;
};

ScanResult scanPath(const std::string& path, int capacity = kGifFrameCapacity)
{
    ScanResult result;
    // One spare entry past the capacity shows whether anything was written
    // beyond it.
    result.controls.assign(static_cast<size_t>(capacity) + 1, 0);
    result.images.assign(static_cast<size_t>(capacity) + 1, 0);
    result.count = scanGifFile(path, result.controls.data(), result.images.data(), capacity, result.canvasWidth,
                               result.canvasHeight)
                       .takeOr(0);
    return result;
}

ScanResult scanBytes(const std::vector<uint8_t>& bytes, int capacity = kGifFrameCapacity)
{
    ScratchDir dir;
    writeFile(dir.file("a.gif"), bytes);
    return scanPath(dir.file("a.gif"), capacity);
}

TEST(GifScanner, RecordsOffsetsAndCanvasOverImages)
{
    GifBuilder file;
    file.header(1, 1, 0x81).colors({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
    const auto control0 = static_cast<uint32_t>(file.bytes.size());
    file.graphicControl(0, 5, 0);
    const auto image0 = static_cast<uint32_t>(file.bytes.size());
    file.descriptor(2, 3, 10, 4, 0).uncompressedData(std::vector<uint8_t>(40, 1), 2);
    file.comment("not recorded");
    const auto image1 = static_cast<uint32_t>(file.bytes.size());
    file.descriptor(7, 0, 4, 9, 0x81).colors({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
    file.uncompressedData(std::vector<uint8_t>(36, 2), 2);
    const auto control1 = static_cast<uint32_t>(file.bytes.size());
    file.graphicControl(0, 5, 0);
    file.trailer();

    auto result = scanBytes(file.bytes);
    EXPECT_EQ(result.count, 2);
    EXPECT_EQ(result.images[0], image0);
    EXPECT_EQ(result.images[1], image1);
    EXPECT_EQ(result.controls[0], control0);
    EXPECT_EQ(result.controls[1], control1);
    EXPECT_EQ(result.controls[2], 0u);
    EXPECT_EQ(result.canvasWidth, 12);  // 2 + 10 (the screen size 1 x 1 is not used)
    EXPECT_EQ(result.canvasHeight, 9);  // 0 + 9
}

TEST(GifScanner, TwelveHundredImagesScanToOneThousand)
{
    GifBuilder file;
    file.header(1, 1, 0);
    for (int i = 0; i < 1200; ++i) {
        file.graphicControl(0, 1, 0);
        // Images past the thousandth reach further: they must not count.
        const uint16_t size = i < 1000 ? 3 : 50;
        file.descriptor(static_cast<uint16_t>(i % 7), 0, size, size, 0).uncompressedData({1}, 2);
    }
    file.trailer();
    auto result = scanBytes(file.bytes);
    EXPECT_EQ(result.count, 1000);
    EXPECT_EQ(result.canvasWidth, 6 + 3);
    EXPECT_EQ(result.canvasHeight, 3);
    EXPECT_NE(result.controls[999], 0u);
    EXPECT_EQ(result.controls[1000], 0u);
    EXPECT_EQ(result.images[1000], 0u);
}

TEST(GifScanner, ExtensionsBeyondCapacityAreDropped)
{
    GifBuilder file;
    file.header(1, 1, 0);
    for (int i = 0; i < 30; ++i)
        file.graphicControl(0, 1, 0);
    file.descriptor(0, 0, 2, 2, 0).uncompressedData({1, 1, 1, 1}, 2);
    file.descriptor(0, 0, 2, 2, 0).uncompressedData({1, 1, 1, 1}, 2).trailer();
    auto result = scanBytes(file.bytes, 5);
    EXPECT_EQ(result.count, 2);
    EXPECT_EQ(result.controls[4], 13u + 8 * 4);
    EXPECT_EQ(result.controls[5], 0u);
}

TEST(GifScanner, UnopenableFileFailsToOpen)
{
    std::vector<uint32_t> offsets(kGifFrameCapacity);
    int width = 0;
    int height = 0;
    Result<int> scanned = scanGifFile("/nonexistent/a.gif", offsets.data(), offsets.data(), kGifFrameCapacity, width,
                                      height);
    ASSERT_FALSE(scanned);
    EXPECT_EQ(scanned.failure().reason, Reason::CantOpenFile);
}

TEST(GifScanner, TruncatedAndOddFilesEndTheScan)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int count;
    };
    auto image = GifBuilder().descriptor(0, 0, 2, 1, 0).uncompressedData({1, 0}, 2).bytes;
    std::vector<uint8_t> twoImages = GifBuilder().header(2, 1, 0).raw(image).raw(image).trailer().bytes;
    std::vector<uint8_t> cutInData(twoImages.begin(), twoImages.end() - 4);
    std::vector<uint8_t> cutInDescriptor(twoImages.begin(), twoImages.begin() + 13 + static_cast<long>(image.size()) + 4);
    const Case cases[] = {
        {"empty", {}, 0},
        {"header only", GifBuilder().header(1, 1, 0).bytes, 0},
        {"global table cut", GifBuilder().header(1, 1, 0x87).raw({1, 2, 3}).bytes, 0},
        {"two images", twoImages, 2},
        {"second image cut in its data", cutInData, 2},
        {"second image cut in its descriptor", cutInDescriptor, 2},
        {"garbage after first image", GifBuilder().header(2, 1, 0).raw(image).raw({0x99}).raw(image).bytes, 1},
        {"no trailer", GifBuilder().header(2, 1, 0).raw(image).bytes, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scanBytes(c.bytes).count, c.count) << c.name;
}

TEST(GifScanner, ImageListIsRegistered)
{
    ImageListFunction scanner = CodecRegistry::instance().imageList(ImageFormat::Gif);
    ASSERT_NE(scanner, nullptr);
    ScratchDir dir;
    auto image = GifBuilder().descriptor(0, 0, 2, 1, 0).uncompressedData({1, 0}, 2).bytes;
    writeFile(dir.file("a.gif"), GifBuilder().header(2, 1, 0).raw(image).raw(image).raw(image).trailer().bytes);
    Result<ImageList> list = scanner(dir.file("a.gif"));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count, 3);
    ASSERT_EQ(list->imageOffsets.size(), 3u);
    EXPECT_EQ(list->imageOffsets[0], 13u);
    EXPECT_EQ(list->imageOffsets[1], 13u + image.size());
    EXPECT_FALSE(scanner(dir.file("missing.gif")));
}

// An animation of three frames with their own delays, disposals and places.
TEST(GifScanner, MagickAnimationGivesFramesOffsetsCanvasAndRecords)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    const std::string path = dir.file("anim.gif");
    const std::string animation = "convert -delay 7 -dispose Background -size 20x10 xc:red -page +0+0 "
                                  "\\( -delay 25 -dispose Previous -size 12x6 xc:blue -repage +5+3 \\) "
                                  "\\( -delay 110 -dispose None -size 4x4 xc:green -repage +30+1 \\) "
                                  + shellQuote(path);
    ASSERT_EQ(runCommand(animation + " 2>/dev/null"), 0);

    auto result = scanPath(path);
    ASSERT_EQ(result.count, 3);
    EXPECT_EQ(result.canvasWidth, 34);
    EXPECT_EQ(result.canvasHeight, 10);

    const auto bytes = readFile(path);
    const struct {
        int delay;
        int disposal;
        int left;
        int top;
        int width;
        int height;
        uint8_t red, green, blue;
    } expected[] = {{7, 2, 0, 0, 20, 10, 255, 0, 0}, {25, 3, 5, 3, 12, 6, 0, 0, 255}, {110, 1, 30, 1, 4, 4, 0, 128, 0}};
    for (int i = 0; i < 3; ++i) {
        ASSERT_LT(result.images[i], bytes.size());
        EXPECT_EQ(bytes[result.images[i]], 0x2C);
        EXPECT_EQ(bytes[result.controls[i]], 0x21);
        EXPECT_EQ(bytes[result.controls[i] + 1], 0xF9);
        EXPECT_LT(result.controls[i], result.images[i]);
        Result<DecodedImage> read = readGif(path, {result.controls[i], result.images[i]});
        ASSERT_TRUE(read) << read.text();
        const ImageBlock& frame = read->block;
        const GifFrameInfo& info = read->gifFrame;
        EXPECT_EQ(info.delay, expected[i].delay) << i;
        EXPECT_EQ(info.disposalMethod, expected[i].disposal) << i;
        EXPECT_EQ(info.left, expected[i].left) << i;
        EXPECT_EQ(info.top, expected[i].top) << i;
        EXPECT_EQ(frame.width(), expected[i].width);
        EXPECT_EQ(frame.height(), expected[i].height);
        RgbImage rgb = blockToRgb(frame);
        EXPECT_EQ(rgb.at(1, 1)[0], expected[i].red) << i;
        EXPECT_EQ(rgb.at(1, 1)[1], expected[i].green) << i;
        EXPECT_EQ(rgb.at(1, 1)[2], expected[i].blue) << i;
    }
    std::string identify;
    runCommand("identify " + shellQuote(path) + " | wc -l", &identify);
    EXPECT_EQ(std::stoi(identify), result.count);
}

TEST(GifScanner, MagickTransparencyReachesTheRecord)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    const std::string path = dir.file("t.gif");
    ASSERT_EQ(runCommand("convert -delay 33 -dispose Background -size 8x8 xc:none -fill black "
                         "-draw 'rectangle 4,4 7,7' " + shellQuote(path) + " 2>/dev/null"),
              0);
    Result<DecodedImage> read = readGif(path);
    ASSERT_TRUE(read) << read.text();
    const ImageBlock& block = read->block;
    const GifFrameInfo& info = read->gifFrame;
    EXPECT_EQ(info.transparentFlag, 1);
    EXPECT_EQ(info.delay, 33);
    EXPECT_EQ(info.disposalMethod, 2);
    // The transparent index is the one at the cleared corner.
    const uint8_t* top = block.topRow(0);
    unsigned corner = block.bitCount() == 8 ? top[0] : block.bitCount() == 4 ? top[0] >> 4 : top[0] >> 7;
    EXPECT_EQ(info.transparentIndex, corner);
}

} // namespace
} // namespace pictorand::testing

namespace pictorand::testing {
namespace {

TEST(GifConvertInfo, ReportsTheImagesOfAMultiImageFile)
{
    const std::string tool = std::string(PICTORAND_BINARY_DIR) + "/tools/convert/pictorand32-convert";
    ASSERT_TRUE(fileExists(tool)) << "the tests are built with the converter";
    ScratchDir dir;
    auto image = GifBuilder().descriptor(0, 0, 2, 1, 0).uncompressedData({1, 0}, 2).bytes;
    writeFile(dir.file("three.gif"), GifBuilder().header(2, 1, 0).raw(image).raw(image).raw(image).trailer().bytes);
    writeFile(dir.file("one.gif"), GifBuilder().header(2, 1, 0).raw(image).trailer().bytes);
    std::string output;
    ASSERT_EQ(runCommand(shellQuote(tool) + " --info " + shellQuote(dir.file("three.gif")) + " "
                         + shellQuote(dir.file("one.gif")), &output),
              0);
    // The compression text between the bits and the count is the dispatcher's.
    std::istringstream lines(output);
    std::string three;
    std::string one;
    std::getline(lines, three);
    std::getline(lines, one);
    EXPECT_NE(three.find("three.gif: GIF, 2 x 1, 1 bits, "), std::string::npos) << output;
    EXPECT_TRUE(three.ends_with(", 3 images")) << output;
    EXPECT_NE(one.find("one.gif: GIF, 2 x 1, 1 bits, "), std::string::npos) << output;
    EXPECT_EQ(one.find("images"), std::string::npos) << output;
}

} // namespace
} // namespace pictorand::testing
