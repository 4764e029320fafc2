// The icon reader on hand-built files: what each branch makes of the
// bitmap, the transparency rules per depth, the chooser, and the refusals.

#include "codecs/icon/icon.h"
#include "core/byte_order.h"
#include "ops/depth_conversion.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <array>

namespace pictorand::testing {
namespace {

// One bitmap image of an icon: the header says width x (2 * height).
struct BitmapImage {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitCount = 0;
    uint32_t colorsUsedField = 0;
    std::vector<ColorEntry> table;
    std::vector<uint8_t> colorRows; // bottom-up, padded
    std::vector<uint8_t> maskRows;  // bottom-up, padded

    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> out(40, 0);
        storeLE32(&out[0], 40);
        storeLE32(&out[4], static_cast<uint32_t>(width));
        storeLE32(&out[8], static_cast<uint32_t>(height * 2));
        storeLE16(&out[12], 1);
        storeLE16(&out[14], bitCount);
        storeLE32(&out[32], colorsUsedField);
        for (const ColorEntry& c : table)
            out.insert(out.end(), {c.blue, c.green, c.red, 0});
        out.insert(out.end(), colorRows.begin(), colorRows.end());
        out.insert(out.end(), maskRows.begin(), maskRows.end());
        return out;
    }
};

// An icon file of the given images; the directory's own size fields are
// deliberately wrong, since the reader must ignore them.
std::vector<uint8_t> iconFile(const std::vector<std::vector<uint8_t>>& images, uint16_t type = 1)
{
    std::vector<uint8_t> out(6, 0);
    storeLE16(&out[2], type);
    storeLE16(&out[4], static_cast<uint16_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (const auto& image : images) {
        std::array<uint8_t, 16> entry{};
        entry[0] = 16;
        entry[1] = 16;
        storeLE32(&entry[8], static_cast<uint32_t>(image.size()));
        storeLE32(&entry[12], offset);
        out.insert(out.end(), entry.begin(), entry.end());
        offset += static_cast<uint32_t>(image.size());
    }
    for (const auto& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

// A 4-bit 3 x 2 image: the top row shows indexes 1, 2, 3, the bottom row
// 4, 5, 6; the mask makes the top-left and bottom-right pixels transparent.
BitmapImage fourBitImage()
{
    BitmapImage image;
    image.width = 3;
    image.height = 2;
    image.bitCount = 4;
    for (int i = 0; i < 16; ++i)
        image.table.push_back({static_cast<uint8_t>(i * 10), static_cast<uint8_t>(i), 0, 0});
    image.colorRows = {0x45, 0x60, 0, 0, 0x12, 0x30, 0, 0}; // bottom row first
    image.maskRows = {0x20, 0, 0, 0, 0x80, 0, 0, 0};
    return image;
}

struct FakeChooser : IconChooser {
    int answer = 0;
    int calls = 0;
    std::vector<std::string> lines;
    int chooseIcon(const std::string&, const std::vector<std::string>& shown) override
    {
        ++calls;
        lines = shown;
        return answer;
    }
};

class IconReader : public ::testing::Test {
protected:
    ImageBlock read(const std::vector<uint8_t>& bytes, int index = -1, FakeChooser* chooser = nullptr)
    {
        std::string path = dir.file("test.ico");
        writeFile(path, bytes);
        message.clear();
        return testing::blockOf(readIcon(path, IconReadOptions{chooser, index}), message);
    }

    ScratchDir dir;
    std::string message;
};

int nibble(const ImageBlock& block, int x, int topY)
{
    uint8_t byte = block.topRow(topY)[x / 2];
    return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

TEST_F(IconReader, FourBitTransparentPixelsUseWhiteEntryFifteen)
{
    ImageBlock block = read(iconFile({fourBitImage().bytes()}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.width(), 3); // not the directory's 16
    EXPECT_EQ(block.height(), 2);
    ASSERT_EQ(block.bitCount(), 4);
    EXPECT_EQ(block.colorTable()[15], (ColorEntry{255, 255, 255, 0}));
    EXPECT_EQ(block.colorTable()[2], (ColorEntry{20, 2, 0, 0}));
    const int expected[2][3] = {{15, 2, 3}, {4, 5, 15}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(nibble(block, x, y), expected[y][x]) << x << "," << y;
}

TEST_F(IconReader, ShortColourTableIsFilledUpSoTransparentPixelsAreWhite)
{
    BitmapImage image = fourBitImage();
    image.table.resize(7);
    image.colorsUsedField = 7;
    ImageBlock block = read(iconFile({image.bytes()}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.colorTable()[15], (ColorEntry{255, 255, 255, 0}));
    EXPECT_EQ(block.colorTable()[6], (ColorEntry{60, 6, 0, 0}));
    EXPECT_EQ(nibble(block, 0, 0), 15);
}

// A 4-bit 17 x 1 image showing the indexes 0 to 15, then a transparent
// pixel, and a table without white.
BitmapImage everyIndexImage()
{
    BitmapImage image;
    image.width = 17;
    image.height = 1;
    image.bitCount = 4;
    for (int i = 0; i < 16; ++i)
        image.table.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(100 + i), 7, 0});
    image.colorRows = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x00, 0, 0, 0};
    image.maskRows = {0, 0, 0x80, 0};
    return image;
}

TEST_F(IconReader, OpaquePixelsOfIndexFifteenKeepTheirColourWhenAnIndexIsFree)
{
    BitmapImage image = everyIndexImage();
    image.colorRows[0] = 0xF1; // index 0 no longer shows opaque; 15 does twice
    ImageBlock block = read(iconFile({image.bytes()}));
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 4);
    EXPECT_EQ(block.colorTable()[15], (ColorEntry{15, 115, 7, 0}));
    EXPECT_EQ(nibble(block, 15, 0), 15);
    const int spare = nibble(block, 16, 0);
    EXPECT_EQ(spare, 0);
    EXPECT_EQ(block.colorTable()[spare], (ColorEntry{255, 255, 255, 0}));
}

TEST_F(IconReader, FullPaletteWithoutWhiteBecomesTrueColour)
{
    ImageBlock block = read(iconFile({everyIndexImage().bytes()}));
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 24);
    RgbImage rgb = blockToRgb(block);
    EXPECT_EQ(std::vector<uint8_t>(rgb.at(16, 0), rgb.at(16, 0) + 3), (std::vector<uint8_t>{255, 255, 255}));
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(std::vector<uint8_t>(rgb.at(x, 0), rgb.at(x, 0) + 3),
                  (std::vector<uint8_t>{7, static_cast<uint8_t>(100 + x), static_cast<uint8_t>(x)}))
            << x;
}

TEST_F(IconReader, FullPaletteWithAWhiteEntryUsesIt)
{
    BitmapImage image = everyIndexImage();
    image.table[9] = {255, 255, 255, 0};
    ImageBlock block = read(iconFile({image.bytes()}));
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 4);
    EXPECT_EQ(nibble(block, 16, 0), 9);
    EXPECT_EQ(block.colorTable()[15], (ColorEntry{15, 115, 7, 0}));
}

TEST_F(IconReader, EachDepthPaintsTransparentPixelsWhite)
{
    struct Case {
        uint16_t bitCount;
        std::vector<uint8_t> rows; // one row of 2 pixels, all 0x11-ish values
    };
    const Case cases[] = {
        {1, {0x00, 0, 0, 0}},
        {8, {0x07, 0x07, 0, 0}},
        {24, {1, 2, 3, 4, 5, 6, 0, 0}},
        {32, {1, 2, 3, 0, 5, 6, 7, 0}}, // no opacity in the fourth bytes: the mask rules
    };
    for (const Case& c : cases) {
        BitmapImage image;
        image.width = 2;
        image.height = 1;
        image.bitCount = c.bitCount;
        if (c.bitCount <= 8)
            for (uint32_t i = 0; i < (1u << c.bitCount); ++i)
                image.table.push_back({static_cast<uint8_t>(i), 0, 0, 0});
        image.colorRows = c.rows;
        image.maskRows = {0x40, 0, 0, 0}; // the right pixel is transparent
        ImageBlock block = read(iconFile({image.bytes()}));
        ASSERT_TRUE(block) << c.bitCount << ": " << message;
        ASSERT_EQ(block.bitCount(), c.bitCount);
        ImageBlock shown = c.bitCount == 32 ? normaliseDepth(block).takeOr({}) : std::move(block);
        RgbImage rgb = blockToRgb(shown);
        const uint8_t* right = rgb.at(1, 0);
        if (c.bitCount == 1) {
            // Index 1, whatever entry 1 holds.
            EXPECT_EQ(shown.topRow(0)[0] & 0x40, 0x40);
        } else {
            EXPECT_EQ(right[0], 255) << c.bitCount;
            EXPECT_EQ(right[1], 255) << c.bitCount;
            EXPECT_EQ(right[2], 255) << c.bitCount;
        }
        const uint8_t* left = rgb.at(0, 0);
        EXPECT_FALSE(left[0] == 255 && left[1] == 255 && left[2] == 255) << c.bitCount;
    }
}

TEST_F(IconReader, ChooserListsEveryImageAndItsChoiceIsRead)
{
    BitmapImage a = fourBitImage();
    BitmapImage b;
    b.width = 2;
    b.height = 2;
    b.bitCount = 24;
    b.colorRows = {9, 9, 9, 9, 9, 9, 0, 0, 8, 8, 8, 8, 8, 8, 0, 0};
    b.maskRows = std::vector<uint8_t>(8, 0);
    BitmapImage c = b;
    c.width = 1;
    c.bitCount = 8;
    c.table.assign(256, {});
    c.colorRows = {1, 0, 0, 0, 2, 0, 0, 0};
    FakeChooser chooser;
    chooser.answer = 1;
    ImageBlock block = read(iconFile({a.bytes(), b.bytes(), c.bytes()}), -1, &chooser);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_EQ(chooser.lines, (std::vector<std::string>{"3 x 2  -  16 colors", "2 x 2  -  True color", "1 x 2  -  256 colors"}));
    EXPECT_EQ(block.bitCount(), 24);

    chooser.answer = 99; // out of range: the last image
    block = read(iconFile({a.bytes(), b.bytes(), c.bytes()}), -1, &chooser);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 8);
}

TEST_F(IconReader, OneImageOrNoPermissionNeverAsks)
{
    FakeChooser chooser;
    ASSERT_TRUE(read(iconFile({fourBitImage().bytes()}), -1, &chooser));
    EXPECT_EQ(chooser.calls, 0);
    // An explicit index wins over the chooser.
    ImageBlock block = read(iconFile({fourBitImage().bytes(), fourBitImage().bytes()}), 1, &chooser);
    ASSERT_TRUE(block);
    EXPECT_EQ(chooser.calls, 0);
    // No chooser: the first image, no question.
    std::string path = dir.file("two.ico");
    writeFile(path, iconFile({fourBitImage().bytes(), fourBitImage().bytes()}));
    EXPECT_TRUE(testing::blockOf(readIcon(path, IconReadOptions{}), message));
    EXPECT_EQ(chooser.calls, 0);
}

TEST_F(IconReader, PngImageIsDecodedWithTransparentPixelsWhite)
{
    REQUIRE_TOOLS("convert");
    std::string png = dir.file("image.png");
    ASSERT_EQ(runCommand("convert -size 4x3 xc:red -alpha set -channel A -fx 'i==1&&j==1?0:1' +channel -define png:color-type=6 "
                         + shellQuote(png)),
              0);
    std::vector<uint8_t> pngBytes = readFile(png);
    FakeChooser chooser;
    chooser.answer = 1;
    ImageBlock block = read(iconFile({fourBitImage().bytes(), pngBytes}), -1, &chooser);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(chooser.lines.at(1), "4 x 3  -  True color");
    ImageBlock shown = normaliseDepth(block).takeOr({});
    ASSERT_TRUE(shown);
    RgbImage rgb = blockToRgb(shown);
    EXPECT_EQ(std::vector<uint8_t>(rgb.at(1, 1), rgb.at(1, 1) + 3), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(std::vector<uint8_t>(rgb.at(0, 0), rgb.at(0, 0) + 3), (std::vector<uint8_t>{255, 0, 0}));
}

TEST_F(IconReader, PalettePngTransparentEntryIsWhite)
{
    REQUIRE_TOOLS("convert");
    std::string png = dir.file("palette.png");
    ASSERT_EQ(runCommand("convert -size 4x3 xc:blue -alpha set -channel A -fx 'i==2&&j==0?0:1' +channel PNG8:"
                         + shellQuote(png)),
              0);
    ImageBlock block = read(iconFile({readFile(png)}));
    ASSERT_TRUE(block) << message;
    ASSERT_LE(block.bitCount(), 8);
    RgbImage rgb = blockToRgb(block);
    EXPECT_EQ(std::vector<uint8_t>(rgb.at(2, 0), rgb.at(2, 0) + 3), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(std::vector<uint8_t>(rgb.at(0, 0), rgb.at(0, 0) + 3), (std::vector<uint8_t>{0, 0, 255}));
}

// Refusals, grouped by the stage where they must happen.
TEST_F(IconReader, RefusesBrokenFilesWithTheirMessages)
{
    std::vector<uint8_t> good = iconFile({fourBitImage().bytes()});
    std::vector<uint8_t> cursor = iconFile({fourBitImage().bytes()}, 2);
    std::vector<uint8_t> reservedSet = good;
    reservedSet[0] = 1;
    std::vector<uint8_t> noImages = {0, 0, 1, 0, 0, 0};
    std::vector<uint8_t> shortDirectory(good.begin(), good.begin() + 15);
    std::vector<uint8_t> offsetPastEnd = good;
    storeLE32(&offsetPastEnd[18], 5000);
    std::vector<uint8_t> sizePastEnd = good;
    storeLE32(&sizePastEnd[14], 5000);
    std::vector<uint8_t> dataTooSmall = good;
    storeLE32(&dataTooSmall[14], 40 + 64 + 4); // header and table, only one row
    std::vector<uint8_t> hugeHeight = good;
    storeLE32(&hugeHeight[22 + 8], 0x7FFFFFFE);
    std::vector<uint8_t> hugeTable = good;
    storeLE32(&hugeTable[22 + 32], 0x40000000);
    std::vector<uint8_t> zeroWidth = good;
    storeLE32(&zeroWidth[22 + 4], 0);
    std::vector<uint8_t> brokenPng = iconFile({{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}});

    const struct {
        const char* name;
        const std::vector<uint8_t>* bytes;
        const char* message;
    } cases[] = {
        {"header short", &shortDirectory, "Error reading file"},
        {"cursor", &cursor, "Error reading file header"},
        {"reserved word set", &reservedSet, "Error reading file header"},
        {"no images", &noImages, "The icon file holds no images"},
        {"offset past end", &offsetPastEnd, "Error seeking in file"},
        {"size past end", &sizePastEnd, "Error reading file"},
        {"data too small", &dataTooSmall, "Icon image data too small for the header, colour table and rows it declares"},
        {"huge height", &hugeHeight, "Icon image data too small for the header, colour table and rows it declares"},
        {"huge table", &hugeTable, "Icon image data too small for the header, colour table and rows it declares"},
        {"zero width", &zeroWidth, "Icon image has no pixels"},
        {"broken png", &brokenPng, "Icon image holds no valid PNG header"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(read(*c.bytes)) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
    }
    std::vector<uint8_t> headerOnly = {0, 0};
    EXPECT_FALSE(read(headerOnly));
    EXPECT_EQ(message, "Error reading file header");
    EXPECT_FALSE(read(good, 1));
    EXPECT_EQ(message, "The icon file holds no image with that number");

    EXPECT_FALSE(testing::blockOf(readIcon(dir.file("missing.ico"), IconReadOptions{}), message));
    EXPECT_EQ(message, "Error opening file for reading");
}

} // namespace
} // namespace pictorand::testing
