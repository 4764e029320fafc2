// Metafiles through the converter, which draws them with the viewer's
// painter, checked against libwmf's own renderer on files Inkscape wrote,
// and against other renderers' pictures of enhanced records written by hand
// (tests/fixtures/metafile/README.txt).

#include "codecs/bmp/bmp.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::shellQuote;

std::string fixture(const std::string& name)
{
    return std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile/" + name;
}

class MetafileConvert : public ::testing::Test {
protected:
    void SetUp() override { setenv("PICTORAND_WINDIR", dir.path().c_str(), 1); }
    int convert(const std::string& arguments, std::string* output)
    {
        return testing::runCommand("cd " + shellQuote(dir.path()) + " && " + PICTORAND_CONVERTER + " " + arguments
                                       + " 2>&1",
                                   output);
    }
    // ImageMagick's mean absolute error of two pictures brought to one size,
    // grey and blurred, so antialiasing and font hinting do not count.
    double distance(const std::string& a, const std::string& b)
    {
        const std::string prepare = " -resize 240x180! -colorspace gray -blur 0x2 ";
        const std::string first = dir.file("a.png");
        const std::string second = dir.file("b.png");
        if (!testing::toolWrotePicture("convert " + shellQuote(a) + prepare + shellQuote(first), first)
            || !testing::toolWrotePicture("convert " + shellQuote(b) + prepare + shellQuote(second), second))
            return 1.0;
        std::string output;
        testing::runCommand("compare -metric MAE " + shellQuote(first) + " " + shellQuote(second) + " null: 2>&1",
                            &output);
        const size_t open = output.find('(');
        if (open == std::string::npos)
            ADD_FAILURE() << "compare gave no distance: " << output;
        return open == std::string::npos ? 1.0 : std::atof(output.c_str() + open + 1);
    }
    ScratchDir dir;
};

TEST_F(MetafileConvert, RendersAtTheNaturalSizeOrTheResizeSize)
{
    std::string output;
    ASSERT_EQ(convert("-t bmp -o natural " + shellQuote(fixture("shapes.emf")), &output), 0) << output;
    Result<DecodedImage> natural = readBmp(dir.file("natural/shapes.BMP"));
    ASSERT_TRUE(natural) << output;
    EXPECT_EQ(natural->block.width(), 321);
    EXPECT_EQ(natural->block.bitCount(), 24);
    // A placeable box of 1000 units at 1000 units an inch, wherever it starts.
    ASSERT_EQ(convert("-t bmp -o natural " + shellQuote(fixture("offset_box.wmf")), &output), 0) << output;
    Result<DecodedImage> box = readBmp(dir.file("natural/offset_box.BMP"));
    ASSERT_TRUE(box) << output;
    EXPECT_EQ(box->block.width(), 96);
    EXPECT_EQ(box->block.height(), 96);

    ASSERT_EQ(convert("-t bmp -o big --resize 642x484 " + shellQuote(fixture("shapes.wmf")), &output), 0) << output;
    Result<DecodedImage> big = readBmp(dir.file("big/shapes.BMP"));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->block.width(), 642);
    EXPECT_EQ(big->block.height(), 484);
}

TEST_F(MetafileConvert, InfoSaysWhatAMetafileIs)
{
    // 102 records: what Inkscape wrote in the header, its end record counted.
    std::string output;
    const std::string emf = fixture("shapes.emf");
    const std::string wmf = fixture("offset_box.wmf");
    ASSERT_EQ(convert("--info " + shellQuote(emf) + " " + shellQuote(wmf), &output), 0) << output;
    EXPECT_EQ(output, emf + ": WMF/EMF, enhanced metafile, 321 x 242, 102 records (6 not drawn)\n" + wmf
                          + ": WMF/EMF, placeable Windows metafile, 96 x 96, 14 records\n");
}

TEST_F(MetafileConvert, WindowsMetafilesLookAsLibwmfDrawsThem)
{
    REQUIRE_TOOLS("wmf2gd", "convert", "compare");
    // offset_box: a placeable file whose box does not start at 0,0.
    for (const char* name : {"shapes", "text", "clip", "bitmap", "offset_box"}) {
        const std::string wmf = fixture(std::string(name) + ".wmf");
        std::string output;
        ASSERT_EQ(convert("-t png -o ours " + shellQuote(wmf), &output), 0) << output;
        const std::string theirs = dir.file(std::string(name) + "-libwmf.png");
        // libwmf draws text only with its Type 1 fonts; without them it writes an
        // empty file.
        ASSERT_TRUE(testing::toolWrotePicture("wmf2gd -t png -o " + shellQuote(theirs) + " " + shellQuote(wmf), theirs));
        ASSERT_TRUE(testing::toolWrotePicture(
            "convert " + shellQuote(theirs) + " -fill white -colorize 100 " + shellQuote(dir.file("blank.png")),
            dir.file("blank.png")));
        const double ours = distance(dir.file("ours/" + std::string(name) + ".PNG"), theirs);
        const double blank = distance(dir.file("blank.png"), theirs);
        std::printf("%s: %.4f against libwmf, a blank page %.4f\n", name, ours, blank);
        EXPECT_LT(ours, blank * 0.3) << name << ": " << ours << " against a blank page's " << blank;
    }
}

TEST_F(MetafileConvert, EnhancedBlitsBlendsAndGradientsLookAsTheReferencesDrawThem)
{
    REQUIRE_TOOLS("convert", "compare");
    // Colour counts here: a gradient the wrong way round is as grey as the right one.
    auto colourDistance = [this](const std::string& a, const std::string& b) {
        std::string output;
        testing::runCommand("convert " + shellQuote(a) + " -blur 0x1 " + shellQuote(dir.file("a.png")) + " && convert "
                                + shellQuote(b) + " -blur 0x1 " + shellQuote(dir.file("b.png")) + " && compare -metric MAE "
                                + shellQuote(dir.file("a.png")) + " " + shellQuote(dir.file("b.png")) + " null: 2>&1",
                            &output);
        const size_t open = output.find('(');
        return open == std::string::npos ? 1.0 : std::atof(output.c_str() + open + 1);
    };
    for (const char* name : {"gradients", "maskblt", "plgblt", "alphablend", "transparentblt"}) {
        std::string output;
        ASSERT_EQ(convert("-t png -o ours " + shellQuote(fixture(std::string(name) + ".emf")), &output), 0) << output;
        const std::string theirs = fixture(std::string(name) + ".reference.png");
        testing::runCommand("convert " + shellQuote(theirs) + " -fill white -colorize 100 " + shellQuote(dir.file("blank.png")));
        const double ours = colourDistance(dir.file("ours/" + std::string(name) + ".PNG"), theirs);
        const double blank = colourDistance(dir.file("blank.png"), theirs);
        std::printf("%s: %.4f against the reference, a blank page %.4f\n", name, ours, blank);
        EXPECT_LT(ours, 0.01) << name << ": " << ours << " against a blank page's " << blank;
    }
}

} // namespace
} // namespace pictorand
