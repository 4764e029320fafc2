#include "shell/core/image_info.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

TEST(ImageInfo, TextsOfAFileInADirectory)
{
    CurrentImage image;
    image.path = "/pictures/photo.bmp";
    image.compression = "None";
    image.originalWidth = image.currentWidth = 100;
    image.originalHeight = image.currentHeight = 10;
    image.originalBitCount = 24;
    image.currentBitCount = 8;
    ImageInfoInput input{&image, false, uint64_t(3) << 30, 2, 12};
    const auto texts = imageInfoTexts(input);
    EXPECT_EQ(texts[0], "photo.bmp");
    EXPECT_EQ(texts[2], "100 x 10  Pixels");
    EXPECT_EQ(texts[4], "16,7 Million   (24 BitsPerPixel)");
    EXPECT_EQ(texts[5], "256   (8 BitsPerPixel)");
    EXPECT_EQ(texts[6], "3221225472  Bytes");
    EXPECT_EQ(texts[7], "2024  Bytes"); // 100-byte rows x 10 + 1024 of colour table
    EXPECT_EQ(texts[8], "3  of  12  Pictorand32 Files");
}

TEST(ImageInfo, PastedPictureIsNotAFile)
{
    CurrentImage image;
    image.path = kClipboardPath;
    image.compression = "whatever";
    const auto texts = imageInfoTexts({&image, false, std::nullopt, -1, 0});
    EXPECT_EQ(texts[0], "<Clipboard>");
    EXPECT_EQ(texts[1], "None");
    EXPECT_EQ(texts[6], "Not a file");
    EXPECT_EQ(texts[8], "Not available if <Clipboard>");
}

TEST(ImageInfo, MemorySizes)
{
    struct Case {
        int width, height, bits;
        bool animation;
        int originalBits;
        uint64_t bytes;
    };
    const Case cases[] = {
        {100, 10, 1, false, 1, 168},          // 16-byte rows x 10 + 8
        {3, 2, 24, false, 24, 24},            // 9 bytes padded to 12, no table
        {100, 10, 8, true, 4, 520 + 64 + 1024}, // rows at the original 4 bits, both tables
        {70000, 70000, 24, false, 24, 210000ull * 70000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(memorySize(c.width, c.height, c.bits, c.animation, c.originalBits), c.bytes) << c.width;
}

} // namespace
} // namespace pictorand
