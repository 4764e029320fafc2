// The BMP writer: the file is the 14-byte file header and the block as it
// stands, whatever file the block came from.

#include "tests/codecs/bmp/bmp_test_files.h"

#include "core/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pictorand::testing {
namespace {

ImageBlock sixteenColourBlock()
{
    // An 8-bit block whose reader kept a 16-entry table: rows at 40 + 64.
    ImageBlock block = ImageBlock::create(3, 2, 8, 16);
    for (uint32_t i = 0; i < 16; ++i)
        block.setColor(i, static_cast<uint8_t>(i * 16), 0, static_cast<uint8_t>(255 - i));
    block.row(0)[0] = 15;
    block.row(1)[2] = 7;
    return block;
}

TEST(BmpWriter, WritesTheFileHeaderThenTheBlockAsItStands)
{
    ScratchDir dir;
    ImageBlock block = sixteenColourBlock();
    Status written = writeBmp(dir.file("out.bmp"), block);
    ASSERT_TRUE(written) << written.text();
    auto file = readFile(dir.file("out.bmp"));
    ASSERT_EQ(file.size(), 14 + block.size());
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(loadLE32(&file[2]), 14 + block.size());
    EXPECT_EQ(loadLE32(&file[6]), 0u); // both reserved fields
    EXPECT_EQ(loadLE32(&file[10]), 54u + 4 * 16);
    EXPECT_EQ(std::memcmp(&file[14], block.data(), block.size()), 0);

    // And it reads back to the same block.
    Result<DecodedImage> back = readBmp(dir.file("out.bmp"));
    ASSERT_TRUE(back) << back.text();
    EXPECT_EQ(back->compression, "None");
    EXPECT_EQ(storedRows(back->block), storedRows(block));
    EXPECT_EQ(back->block.colorTable()[15], block.colorTable()[15]);
}

// The header of the source does not survive: a 124-byte header with a gap
// before the rows comes back as 14 + block bytes with the rows at
// 54 + 4 x colours.
TEST(BmpWriter, WritesBackAFileWithALongHeaderAndAGapAsAPlainOne)
{
    BmpRecipe recipe;
    recipe.infoSize = 124;
    recipe.width = 5;
    recipe.height = 2;
    recipe.colorsUsed = 100;
    recipe.table.assign(400, 0x33);
    recipe.pixelOffset = 14 + 124 + 400 + 37;
    recipe.pixels = {1, 2, 3, 4, 5, 0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0};
    BmpReadResult source = readBothWays(buildBmp(recipe));
    ASSERT_TRUE(source.block) << source.message;

    ScratchDir dir;
    Status written = writeBmp(dir.file("back.bmp"), source.block);
    ASSERT_TRUE(written) << written.text();
    auto file = readFile(dir.file("back.bmp"));
    EXPECT_EQ(file.size(), 14 + source.block.size());
    EXPECT_EQ(file.size(), 14u + 40 + 1024 + 16);
    EXPECT_EQ(loadLE32(&file[10]), 54u + 4 * 256);
    EXPECT_EQ(loadLE32(&file[14]), 40u);
    EXPECT_EQ(std::vector<uint8_t>(file.end() - 16, file.end()), recipe.pixels);
}

TEST(BmpWriter, TrueColourHasNoTable)
{
    ImageBlock block = ImageBlock::create(5, 1, 24, 0);
    ScratchDir dir;
    Status written = writeBmp(dir.file("t.bmp"), block);
    ASSERT_TRUE(written) << written.text();
    auto file = readFile(dir.file("t.bmp"));
    EXPECT_EQ(file.size(), 14u + 40 + 16);
    EXPECT_EQ(loadLE32(&file[10]), 54u);
}

TEST(BmpWriter, CannotCreateAFileInAMissingFolder)
{
    ImageBlock block = sixteenColourBlock();
    Status written = writeBmp("/nonexistent/folder/out.bmp", block);
    EXPECT_FALSE(written);
    EXPECT_EQ(written.failure().detail, "Can't create file: /nonexistent/folder/out.bmp");
}

TEST(BmpWriter, ReportsAFullDisk)
{
    if (!fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    ImageBlock block = sixteenColourBlock();
    Status written = writeBmp("/dev/full", block);
    EXPECT_FALSE(written);
    EXPECT_EQ(written.failure().detail, "Can't write file header");
}

TEST(BmpWriter, OverwritesALongerFileAndCutsItToLength)
{
    ScratchDir dir;
    writeFile(dir.file("old.bmp"), std::vector<uint8_t>(5000, 0xEE));
    ImageBlock block = sixteenColourBlock();
    Status written = writeBmp(dir.file("old.bmp"), block);
    ASSERT_TRUE(written) << written.text();
    auto file = readFile(dir.file("old.bmp"));
    ASSERT_EQ(file.size(), 14 + block.size());
    EXPECT_EQ(std::memcmp(&file[14], block.data(), block.size()), 0);
}

// An 8-bit block that left its colours-used at 0 has no room for the 256
// entries the file header would promise; writing it would copy memory from
// past the block.
TEST(BmpWriter, RefusesABlockThatPromisesMoreThanItHolds)
{
    ScratchDir dir;
    ImageBlock block = ImageBlock::create(4, 4, 8, 0);
    Status written = writeBmp(dir.file("bad.bmp"), block);
    EXPECT_FALSE(written);
    EXPECT_EQ(written.failure().detail, "Can't write file");
    EXPECT_FALSE(fileExists(dir.file("bad.bmp")));

    written = writeBmp(dir.file("null.bmp"), ImageBlock());
    EXPECT_FALSE(written);
    EXPECT_EQ(written.failure().detail, "Can't write file");
}

} // namespace
} // namespace pictorand::testing
