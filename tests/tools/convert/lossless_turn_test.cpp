// A JPEG only turned and flipped into a JPEG has its blocks turned, not
// recompressed: checked against jpegtran for the blocks and against
// ImageMagick's -auto-orient and turns of the decoded pixels for how the
// EXIF orientation and the operations combine, on files Pillow wrote.

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace pictorand {
namespace {

using testing::runCommand;
using testing::shellQuote;

class LosslessTurn : public ::testing::Test {
protected:
    void SetUp() override { setenv("PICTORAND_WINDIR", dir.path().c_str(), 1); }

    // A 64 x 48 picture (whole blocks at any subsampling) at quality 95
    // with that EXIF orientation, or `size` pixels.
    std::string source(int orientation, const std::string& size = "64x48")
    {
        const std::string name = dir.file("o" + std::to_string(orientation) + "-" + size + ".jpg");
        runCommand("convert -size " + size + " plasma:fractal -seed 7 " + shellQuote(dir.file("plasma.png")));
        const std::string script = "from PIL import Image; import sys; e = Image.Exif(); e[0x0112] = int(sys.argv[2]); "
                                   "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[3], quality=95, exif=e.tobytes())";
        EXPECT_EQ(runCommand("/usr/bin/python3 -c " + shellQuote(script) + " " + shellQuote(dir.file("plasma.png")) + " "
                             + std::to_string(orientation) + " " + shellQuote(name)),
                  0);
        return name;
    }
    // The one output of converting `input` with `arguments` into a folder of its own.
    std::string converted(const std::string& input, const std::string& arguments)
    {
        const std::string folder = dir.file("out" + std::to_string(++m_runs));
        std::string said;
        EXPECT_EQ(runCommand(std::string(PICTORAND_CONVERTER) + " -q -t jpg -o " + shellQuote(folder) + " " + arguments
                                 + " " + shellQuote(input) + " 2>&1",
                             &said),
                  0)
            << said;
        std::string name;
        runCommand("ls " + shellQuote(folder), &name);
        return folder + "/" + name.substr(0, name.find('\n'));
    }
    std::string said(const std::string& command)
    {
        std::string out;
        runCommand(command, &out);
        return out;
    }
    // djpeg's pixels of both are the same.
    bool samePixels(const std::string& a, const std::string& b)
    {
        const std::string pa = shellQuote(dir.file("a.ppm"));
        const std::string pb = shellQuote(dir.file("b.ppm"));
        return runCommand("djpeg -ppm " + shellQuote(a) + " > " + pa + " && djpeg -ppm " + shellQuote(b) + " > " + pb
                          + " && cmp -s " + pa + " " + pb)
            == 0;
    }

    testing::ScratchDir dir;
    int m_runs = 0;
};

TEST_F(LosslessTurn, TheBlocksAreTurnedAsTheOrientationAndTheOperationsSay)
{
    REQUIRE_PILLOW();
    REQUIRE_TOOLS("convert", "compare", "identify", "jpegtran", "djpeg");
    const struct {
        int orientation;
        const char* operations;
        const char* magick; // the same on decoded pixels
        const char* jpegtran; // the same on the blocks of an upright file, when it is one jpegtran step
    } cases[] = {
        {1, "--rotate-right", "-rotate 90", "-rotate 90"},
        {1, "--rotate-left", "-rotate -90", "-rotate 270"},
        {1, "--flip-horizontal", "-flop", "-flip horizontal"},
        {1, "--rotate-right --flip-vertical", "-rotate 90 -flip", "-transverse"},
        {1, "--rotate-left --flip-vertical", "-rotate -90 -flip", "-transpose"},
        {6, "--flip-horizontal", "-flop", nullptr},
        {3, "--rotate-right --rotate-right", "-rotate 180", nullptr},
        {5, "--rotate-left", "-rotate -90", nullptr},
        {7, "--flip-vertical", "-flip", nullptr},
        {8, "--rotate-right --flip-horizontal", "-rotate 90 -flop", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.orientation) + " " + c.operations);
        const std::string input = source(c.orientation);
        const std::string output = converted(input, c.operations);
        // Not recompressed (at the settings' quality 80), and upright as stored.
        EXPECT_EQ(said("identify -format '%Q %[EXIF:Orientation]' " + shellQuote(output)), "95 1");
        const std::string reference = dir.file("reference.png");
        runCommand("convert " + shellQuote(input) + " -auto-orient " + c.magick + " " + shellQuote(reference));
        const std::string error = said("compare -metric RMSE " + shellQuote(output) + " " + shellQuote(reference)
                                       + " null: 2>&1 | sed 's/.*(//; s/)//'");
        EXPECT_LT(std::stod(error.empty() ? "1" : error), 0.01) << error;
        if (c.jpegtran) {
            const std::string turned = dir.file("jpegtran.jpg");
            runCommand("jpegtran " + std::string(c.jpegtran) + " " + shellQuote(input) + " > " + shellQuote(turned));
            EXPECT_TRUE(samePixels(output, turned));
        }
    }
}

TEST_F(LosslessTurn, PartialEdgeBlocksGoOnlyWhenAllowed)
{
    REQUIRE_PILLOW();
    REQUIRE_TOOLS("convert", "identify", "jpegtran", "djpeg");
    const std::string input = source(1, "61x45");
    const std::string trimmed = dir.file("trimmed.jpg");
    runCommand("jpegtran -rotate 90 -trim " + shellQuote(input) + " > " + shellQuote(trimmed));
    // Recompressed whole, trimmed as jpegtran trims, recompressed on request.
    EXPECT_EQ(said("identify -format '%Q %wx%h' " + shellQuote(converted(input, "--rotate-right"))), "80 45x61");
    EXPECT_TRUE(samePixels(converted(input, "--rotate-right --trim"), trimmed));
    EXPECT_EQ(said("identify -format '%Q' " + shellQuote(converted(source(1), "--reencode --rotate-right"))), "80");
}

} // namespace
} // namespace pictorand
