// Packed bitmaps as the clipboard holds them, made from ImageMagick's BMP
// files by dropping the 14-byte file header: given their file header back,
// they read as the files do.

#include "codecs/bmp/bmp.h"
#include "core/byte_order.h"
#include "core/image_format.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand::testing {
namespace {

TEST(BmpFileFromDib, ImageMagickBitmapsWithoutTheirFileHeaderReadAsTheFiles)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    const char* const makers[] = {
        "-size 13x7 pattern:checkerboard -type bilevel",
        "-size 13x7 plasma:fractal -seed 4 -colors 12",
        "-size 13x7 plasma:fractal -seed 4 -colors 200",
        "-size 13x7 plasma:fractal -seed 4 -type truecolor",
    };
    for (const char* maker : makers) {
        SCOPED_TRACE(maker);
        const std::string path = dir.file("picture.bmp");
        ASSERT_EQ(runCommand(std::string("convert ") + maker + " BMP3:" + shellQuote(path)), 0);
        const std::vector<uint8_t> file = readFile(path);
        Result<std::vector<uint8_t>> rebuilt = bmpFileFromDib(std::span(file).subspan(14));
        ASSERT_TRUE(rebuilt) << rebuilt.text();
        EXPECT_EQ(loadLE32(rebuilt->data() + 10), loadLE32(file.data() + 10));
        Result<DecodedImage> fromDib = readBmpFromMemory(*rebuilt);
        ASSERT_TRUE(fromDib);
        EXPECT_EQ(maxDifference(blockToRgb(fromDib->block), *magickDecode(path)), 0);
        // Saved as a headerless .dib, the file is told by its first bytes
        // and read as the bitmap.
        const std::string dib = dir.file("picture.dib");
        writeFile(dib, std::vector<uint8_t>(file.begin() + 14, file.end()));
        EXPECT_EQ(DetectFormat(dib), ImageFormat::Bmp);
        Result<DecodedImage> read = readBmp(dib);
        ASSERT_TRUE(read) << read.text();
        EXPECT_EQ(maxDifference(blockToRgb(read->block), *magickDecode(path)), 0);
    }
}

TEST(BmpFileFromDib, RefusesWhatCannotBeABitmap)
{
    // 8 bits with colours-used 0: the table of 256 entries must be there.
    std::vector<uint8_t> shortTable(40 + 100 * 4, 0);
    storeLE32(shortTable.data(), 40);
    storeLE32(shortTable.data() + 4, 1);
    storeLE32(shortTable.data() + 8, 1);
    storeLE16(shortTable.data() + 14, 8);
    std::vector<uint8_t> oddHeader = shortTable;
    storeLE32(oddHeader.data(), 77);
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"three bytes", {40, 0, 0}},
        {"table past the end", shortTable},
        {"unknown header size", oddHeader},
    };
    for (const auto& [name, dib] : cases)
        EXPECT_FALSE(bmpFileFromDib(dib)) << name;
}

} // namespace
} // namespace pictorand::testing
