// The Photo CD reader: the colour conversion's worked examples, hand-built
// image and overview packs laid out by the format, ImageMagick's packs, and
// the refusals.

#include "codecs/photocd/photocd.h"
#include "dispatch/load.h"
#include "dispatch/load_dispatch.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace pictorand::testing {
namespace {

using Bytes = std::vector<uint8_t>;

// The conversion as defined, written out again for the checks below.
std::array<int, 3> formula(int y, int c1, int c2)
{
    int l = 255 * y / 181;
    int blue = l + 2 * c1 - 318;
    int red = l + 2 * c2 - 274;
    int green = (10 * l - 3 * red - blue) / 6;
    auto clamp = [](int v) { return std::clamp(v, 0, 255); };
    return {clamp(red), clamp(green), clamp(blue)};
}

TEST(PhotoCdColour, WorkedExamples)
{
    EXPECT_EQ(photoCdToRgb(181, 159, 137), (PhotoCdRgb{255, 255, 255}));
    // Dark pixels with extreme chroma come out green: no special cases.
    EXPECT_EQ(photoCdToRgb(0, 0, 0), (PhotoCdRgb{0, 190, 0}));
    // L = 25500 / 181 = 140; blue 134; red 140; green 846 / 6 = 141.
    EXPECT_EQ(photoCdToRgb(100, 156, 137), (PhotoCdRgb{140, 141, 134}));
    // Green from the unclamped red and blue: (0 - 708 - 192) / 6 < 0.
    EXPECT_EQ(photoCdToRgb(0, 255, 255), (PhotoCdRgb{236, 0, 192}));
}

TEST(PhotoCdColour, AgreesWithTheFormulaEverywhere)
{
    for (int y = 0; y < 256; y += 5)
        for (int c1 = 0; c1 < 256; c1 += 7)
            for (int c2 = 0; c2 < 256; c2 += 11) {
                auto expected = formula(y, c1, c2);
                PhotoCdRgb got = photoCdToRgb(static_cast<uint8_t>(y), static_cast<uint8_t>(c1), static_cast<uint8_t>(c2));
                ASSERT_EQ((std::array<int, 3>{got.red, got.green, got.blue}), expected) << y << " " << c1 << " " << c2;
            }
}

TEST(PhotoCdColour, LoadingSizes)
{
    EXPECT_EQ(photoCdResolution(0).width, 192);
    EXPECT_EQ(photoCdResolution(2).width, 768);
    for (int size : {1, 3, 7, -1})
        EXPECT_EQ(photoCdResolution(size).width, 384) << size;
}

// The luminance and chroma of a hand-built picture: Y grows along the row
// and down the picture, C1 with the chroma column and C2 with the row pair.
uint8_t lumaAt(int x, int y) { return static_cast<uint8_t>((x * 3 + y * 5) % 256); }
uint8_t chroma1At(int cx, int pair) { return static_cast<uint8_t>((100 + cx + pair) % 256); }
uint8_t chroma2At(int cx, int pair) { return static_cast<uint8_t>((180 - cx + 2 * pair) % 256); }

// Writes a picture of width x height in row pairs at `offset`.
void putPicture(Bytes& file, size_t offset, int width, int height)
{
    const size_t end = offset + size_t(width) * size_t(height) * 3 / 2;
    if (file.size() < end) {
        // Grown by a copy into a buffer of the new size: GCC 12 at -O3 takes
        // a growing resize for a read from an empty region.
        Bytes grown(end, 0);
        std::copy(file.begin(), file.end(), grown.begin());
        file.swap(grown);
    }
    size_t at = offset;
    for (int pair = 0; pair < height / 2; ++pair) {
        for (int row = 0; row < 2; ++row)
            for (int x = 0; x < width; ++x)
                file[at++] = lumaAt(x, 2 * pair + row);
        for (int cx = 0; cx < width / 2; ++cx)
            file[at++] = chroma1At(cx, pair);
        for (int cx = 0; cx < width / 2; ++cx)
            file[at++] = chroma2At(cx, pair);
    }
}

Bytes imagePack(uint8_t orientation)
{
    Bytes file(0x2000, 0);
    std::fill(file.begin(), file.begin() + 7, 0xFF);
    file[3586] = orientation;
    putPicture(file, 0x2000, 192, 128);
    return file;
}

std::array<int, 3> expectedPixel(int x, int y) { return formula(lumaAt(x, y), chroma1At(x / 2, y / 2), chroma2At(x / 2, y / 2)); }

std::array<int, 3> pixelOf(const ImageBlock& block, int x, int y)
{
    const uint8_t* p = block.topRow(y) + x * 3;
    return {p[2], p[1], p[0]};
}

class PhotoCdReader : public ::testing::Test {
protected:
    ImageBlock read(const Bytes& bytes, int loadingSize, bool* overview = nullptr)
    {
        path = dir.file("test.pcd");
        writeFile(path, bytes);
        message.clear();
        Result<DecodedImage> picture = readPhotoCd(path, loadingSize);
        if (!picture) {
            message = picture.failure().detail;
            return {};
        }
        if (overview)
            *overview = picture->overviewPack;
        // Upright, as the dispatcher shows it.
        if (!turnUpright(picture->block, picture->quarterTurnsClockwise))
            return {};
        return std::move(picture->block);
    }

    ScratchDir dir;
    std::string path;
    std::string message;
};

TEST_F(PhotoCdReader, RowPairsShareTheirChroma)
{
    ImageBlock block = read(imagePack(0), 0);
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.width(), 192);
    ASSERT_EQ(block.height(), 128);
    EXPECT_EQ(block.bitCount(), 24);
    EXPECT_EQ(block.colorsUsed(), 0u);
    for (int y : {0, 1, 2, 3, 64, 127})
        for (int x : {0, 1, 2, 3, 100, 191})
            EXPECT_EQ(pixelOf(block, x, y), expectedPixel(x, y)) << x << "," << y;
}

TEST_F(PhotoCdReader, OrientationTurnsThePictureUpright)
{
    // Right turn: the stored top-left pixel ends at the top right.
    ImageBlock right = read(imagePack(3), 0);
    ASSERT_TRUE(right) << message;
    EXPECT_EQ(right.width(), 128);
    EXPECT_EQ(right.height(), 192);
    EXPECT_EQ(pixelOf(right, 127, 0), expectedPixel(0, 0));
    EXPECT_EQ(pixelOf(right, 0, 0), expectedPixel(0, 127));
    // Left turn: it ends at the bottom left. Only the low 3 bits count.
    ImageBlock left = read(imagePack(0xF9), 0);
    ASSERT_TRUE(left);
    EXPECT_EQ(left.width(), 128);
    EXPECT_EQ(pixelOf(left, 0, 191), expectedPixel(0, 0));
    // Half turn: at the bottom right.
    ImageBlock half = read(imagePack(2), 0);
    ASSERT_TRUE(half);
    EXPECT_EQ(half.width(), 192);
    EXPECT_EQ(pixelOf(half, 191, 127), expectedPixel(0, 0));
    // Other values: as stored.
    ImageBlock none = read(imagePack(4), 0);
    ASSERT_TRUE(none);
    EXPECT_EQ(pixelOf(none, 0, 0), expectedPixel(0, 0));
}

TEST_F(PhotoCdReader, SizesAndShortFiles)
{
    // Only the header: the picture decodes from zero bytes, every pixel the
    // zero colour.
    Bytes header = imagePack(3);
    header.resize(4096);
    ImageBlock base = read(header, 2);
    ASSERT_TRUE(base) << message;
    EXPECT_EQ(base.width(), 512);
    EXPECT_EQ(base.height(), 768);
    EXPECT_EQ(pixelOf(base, 10, 10), (std::array<int, 3>{0, 190, 0}));
    ImageBlock quarter = read(header, 7);
    ASSERT_TRUE(quarter);
    EXPECT_EQ(quarter.width(), 256);
    EXPECT_EQ(quarter.height(), 384);
}

TEST_F(PhotoCdReader, OverviewSignatureSetsTheFlag)
{
    bool overview = false;
    Bytes file = {'P', 'C', 'D', '_', 'O', 'P', 'A', 0};
    EXPECT_FALSE(read(file, 2, &overview));
    EXPECT_TRUE(overview);
    EXPECT_FALSE(read(file, 2, nullptr)); // no flag to set: still no picture
}

TEST_F(PhotoCdReader, Refusals)
{
    bool overview = false;
    Bytes file(600, 0xFF);
    file[6] = 0xFE;
    EXPECT_FALSE(read(file, 2, &overview));
    EXPECT_FALSE(overview);
    EXPECT_EQ(message, "Not a valid PCD-File");
    EXPECT_FALSE(read(Bytes{}, 0, &overview));
    EXPECT_EQ(message, "Not a valid PCD-File");
    EXPECT_EQ(readPhotoCd(dir.file("missing.pcd"), 0).failure().detail, "Can't open file");
    EXPECT_EQ(readPhotoCdOverview(dir.file("missing.pcd"), 1).failure().detail, "Can't open file");
}

// Overview packs: thumbnail j (from 1) is uniform, Y = j, C1 = 128 + j % 7,
// C2 = 120.
Bytes overviewPack(int thumbnails)
{
    Bytes file(10240, 0);
    std::copy_n("PCD_OPA", 7, file.begin());
    for (int j = 1; j <= thumbnails; ++j) {
        size_t offset = size_t(j - 1) * 36864 + 10240;
        file.resize(offset + 36864, 0);
        for (size_t pair = 0; pair < 64; ++pair) {
            size_t at = offset + pair * 576;
            std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(at), 384, static_cast<uint8_t>(j));
            std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(at + 384), 96, static_cast<uint8_t>(128 + j % 7));
            std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(at + 480), 96, static_cast<uint8_t>(120));
        }
    }
    return file;
}

std::array<int, 3> thumbnailColour(int j) { return formula(j, 128 + j % 7, 120); }

TEST_F(PhotoCdReader, OverviewSheetsOfTwentyFive)
{
    path = dir.file("overview.pcd");
    writeFile(path, overviewPack(100));
    for (int first : {1, 26, 51, 76}) {
        ImageBlock sheet = testing::blockOf(readPhotoCdOverview(path, first), message);
        ASSERT_TRUE(sheet) << message;
        ASSERT_EQ(sheet.width(), 960);
        ASSERT_EQ(sheet.height(), 649);
        ASSERT_EQ(sheet.bitCount(), 24);
        for (int i = 0; i < 5; ++i)
            for (int k = 0; k < 5; ++k) {
                const int j = first + 5 * i + k;
                for (auto [dx, dy] : {std::pair{0, 0}, std::pair{191, 127}, std::pair{77, 64}})
                    EXPECT_EQ(pixelOf(sheet, 192 * k + dx, 128 * i + dy), thumbnailColour(j)) << first << " " << j;
            }
        for (int y = 640; y < 649; ++y)
            for (int x : {0, 500, 959})
                EXPECT_EQ(pixelOf(sheet, x, y), (std::array<int, 3>{0, 0, 0})) << y;
    }
}

TEST_F(PhotoCdReader, OverviewWithFewerPicturesLeavesTheirPlacesBlack)
{
    path = dir.file("short.pcd");
    writeFile(path, overviewPack(7));
    ImageBlock sheet = testing::blockOf(readPhotoCdOverview(path, 1), message);
    ASSERT_TRUE(sheet) << message;
    EXPECT_EQ(pixelOf(sheet, 192 * 1 + 5, 128 + 5), thumbnailColour(7));
    EXPECT_EQ(pixelOf(sheet, 192 * 2 + 5, 128 + 5), (std::array<int, 3>{0, 0, 0}));
}

TEST_F(PhotoCdReader, OverviewOnAPaletteDisplayIsQuantised)
{
    path = dir.file("overview.pcd");
    writeFile(path, overviewPack(25));
    LoadOptions palette;
    palette.paletteDisplay = true;
    const LoadOutcome outcome = load({LoadSource{path}, LoadPurpose::View, palette});
    const ImageBlock& sheet = outcome.block;
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet.bitCount(), 8);
    EXPECT_EQ(sheet.width(), 960);
    RgbImage rgb = blockToRgb(sheet);
    auto expected = thumbnailColour(13);
    const uint8_t* p = rgb.at(192 * 2 + 50, 128 * 2 + 50);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(p[c], expected[static_cast<size_t>(c)], 8);
}

// ImageMagick writes image packs (with its own conversion, which is why the
// decoded colours are compared with the formula over the stored bytes, and
// only loosely with the source).
class PhotoCdMagick : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("convert");
    }
    ScratchDir dir;
};

TEST_F(PhotoCdMagick, ImagePacksAtEverySize)
{
    std::string source = dir.file("source.ppm");
    ASSERT_EQ(runCommand("convert -seed 5 -size 768x512 plasma:fractal -blur 0x3 -depth 8 " + shellQuote(source)), 0);
    std::string pack = dir.file("magick.pcd");
    if (runCommand("convert " + shellQuote(source) + " PCD:" + shellQuote(pack) + " 2>/dev/null") != 0)
        REQUIRE_THAT(testing::toolCannot("convert", "write Photo CD"));
    Bytes bytes = readFile(pack);
    RgbImage original = *magickDecode(source);
    const struct {
        int loadingSize, width, height;
        size_t offset;
    } sizes[] = {{0, 192, 128, 0x2000}, {1, 384, 256, 0xB800}, {2, 768, 512, 0x30000}};
    for (const auto& s : sizes) {
        std::string message;
        ImageBlock block = testing::blockOf(readPhotoCd(pack, s.loadingSize), message);
        ASSERT_TRUE(block) << message;
        ASSERT_EQ(block.width(), s.width);
        ASSERT_EQ(block.height(), s.height);
        // Exactly the formula over the stored row pairs.
        const size_t pairBytes = size_t(s.width) * 3;
        for (int y = 0; y < s.height; y += 7)
            for (int x = 0; x < s.width; x += 5) {
                const size_t pair = s.offset + pairBytes * size_t(y / 2);
                const int luma = bytes.at(pair + size_t(y % 2) * size_t(s.width) + size_t(x));
                const int c1 = bytes.at(pair + 2 * size_t(s.width) + size_t(x / 2));
                const int c2 = bytes.at(pair + 2 * size_t(s.width) + size_t(s.width / 2) + size_t(x / 2));
                ASSERT_EQ(pixelOf(block, x, y), formula(luma, c1, c2)) << s.loadingSize << ": " << x << "," << y;
            }
        if (s.loadingSize == 2) {
            // Loosely the source: the colour arithmetic differs, but the
            // picture lies the right way round: it is much closer to the
            // source than to the source turned upside down or mirrored.
            RgbImage ours = blockToRgb(block);
            auto meanDifference = [&](bool flipRows, bool mirror) {
                double total = 0;
                for (int y = 0; y < s.height; ++y)
                    for (int x = 0; x < s.width; ++x) {
                        const uint8_t* a = ours.at(x, y);
                        const uint8_t* b = original.at(mirror ? s.width - 1 - x : x, flipRows ? s.height - 1 - y : y);
                        for (int c = 0; c < 3; ++c)
                            total += std::abs(int(a[c]) - int(b[c]));
                    }
                return total / double(ours.rgb.size());
            };
            const double straight = meanDifference(false, false);
            EXPECT_LT(straight * 1.5, meanDifference(true, false));
            EXPECT_LT(straight * 1.5, meanDifference(false, true));
        }
    }
}

TEST_F(PhotoCdMagick, PortraitPackIsTurnedUpright)
{
    std::string source = dir.file("portrait.ppm");
    // Red at the top, blue at the bottom.
    ASSERT_EQ(runCommand("convert -size 512x768 gradient:red-blue -depth 8 " + shellQuote(source)), 0);
    std::string pack = dir.file("portrait.pcd");
    if (runCommand("convert " + shellQuote(source) + " PCD:" + shellQuote(pack) + " 2>/dev/null") != 0)
        REQUIRE_THAT(testing::toolCannot("convert", "write Photo CD"));
    std::string message;
    Result<DecodedImage> picture = readPhotoCd(pack, 2);
    ASSERT_TRUE(picture) << picture.text();
    ASSERT_TRUE(turnUpright(picture->block, picture->quarterTurnsClockwise));
    ImageBlock block = std::move(picture->block);
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.width(), 512);
    ASSERT_EQ(block.height(), 768);
    auto top = pixelOf(block, 256, 20);
    auto bottom = pixelOf(block, 256, 747);
    EXPECT_GT(top[0], top[2] + 100) << "red at the top";
    EXPECT_GT(bottom[2], bottom[0] + 100) << "blue at the bottom";
}

} // namespace
} // namespace pictorand::testing
