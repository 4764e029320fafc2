// When the Open command may take the preview's picture instead of reading the
// file again, on files made by ImageMagick and read by the program's codecs.

#include "dispatch/open_preview.h"
#include "tests/support/magick_test.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::shellQuote;

LoadRequest openRequest(const std::string& path)
{
    return {LoadSource{path}, LoadPurpose::View, {}};
}

class OpenPreviewTest : public testing::MagickTest {
protected:
    PreviewLoad preview(const std::string& path) { return loadForPreview(openRequest(path), 208); }
};

// Files whose preview is read as the Open command reads them, each with
// something that load does to it: 16-bit samples brought to 24 bits, a
// 4-bit palette kept, a TIFF turned upright by its orientation.
TEST_F(OpenPreviewTest, TakenPreviewIsTheOutcomeAFreshOpenGives)
{
    const std::string files[] = {
        magick("-size 7x5 gradient:red-blue -depth 16", "deep.png"),
        magick("-size 9x4 plasma:fractal -seed 3 -colors 16 -type palette", "four.bmp", "BMP3:"),
        magick("-size 6x3 gradient:white-green -depth 8 -orient RightTop", "turned.tif"),
    };
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const PreviewLoad previewed = preview(path);
        ASSERT_TRUE(previewStandsForOpen(previewed, path));

        const LoadOutcome b = load(openRequest(path));
        const LoadOutcome& a = previewed.outcome;
        ASSERT_TRUE(b.block);
        ASSERT_EQ(a.block.size(), b.block.size());
        EXPECT_TRUE(std::equal(b.block.data(), b.block.data() + b.block.size(), a.block.data()));
        EXPECT_EQ(a.path, path);
        EXPECT_EQ(a.format, b.format);
        EXPECT_EQ(a.compression, b.compression);
        EXPECT_EQ(std::tie(a.originalWidth, a.originalHeight, a.originalBitCount),
                  std::tie(b.originalWidth, b.originalHeight, b.originalBitCount));
        EXPECT_EQ(std::tie(a.pageOffsets, a.page, a.overviewSheet, a.overviewStart, a.kind),
                  std::tie(b.pageOffsets, b.page, b.overviewSheet, b.overviewStart, b.kind));
    }
}

TEST_F(OpenPreviewTest, OnlyTheSameUnchangedFileReadAsOpenIsTaken)
{
    const std::string png = magick("-size 4x4 xc:red", "a.png");
    const std::string other = magick("-size 4x4 xc:blue", "b.png");
    std::filesystem::create_symlink(png, dir.file("link.png"));
    const PreviewLoad previewed = preview(png);
    EXPECT_TRUE(previewStandsForOpen(previewed, dir.path() + "/./link.png")) << "the same file by another name";
    EXPECT_FALSE(previewStandsForOpen(previewed, other)) << "a name typed after previewing another file";
    EXPECT_FALSE(previewStandsForOpen(previewed, dir.file("gone.png")));

    struct Case {
        const char* name;
        const char* arguments;
        const char* prefix;
        bool taken;
    };
    const Case cases[] = {
        {"one.tif", "-size 4x4 xc:red -depth 8", "", true},
        {"two.tif", "-size 4x4 xc:red xc:blue -depth 8", "", false}, // the Open command lists its pages
        {"photo.jpg", "-size 4x4 xc:red", "", false},                // decoded small for the preview
        {"still.gif", "-size 4x4 xc:red", "", false},
        {"small.ico", "-size 4x4 xc:red", "", false},
        {"misnamed.bmp", "-size 4x4 xc:red", "PNG:", false}, // the Open command asks to rename it
    };
    for (const Case& c : cases) {
        const std::string path = magick(c.arguments, c.name, c.prefix);
        EXPECT_EQ(previewStandsForOpen(preview(path), path), c.taken) << c.name;
    }
}

TEST_F(OpenPreviewTest, FileChangedSincePreviewIsReadAgain)
{
    const std::string path = magick("-size 4x4 xc:red", "a.bmp");
    const auto grown = [&] { std::ofstream(path, std::ios::app) << "more"; };
    const auto touched = [&] {
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    };
    for (const auto& change : {std::function<void()>(grown), std::function<void()>(touched)}) {
        const PreviewLoad previewed = preview(path);
        ASSERT_TRUE(previewStandsForOpen(previewed, path));
        change();
        EXPECT_FALSE(previewStandsForOpen(previewed, path));
    }
}

} // namespace
} // namespace pictorand
