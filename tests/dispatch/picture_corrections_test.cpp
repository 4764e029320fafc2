// What the loads do with a reader's findings: the EXIF orientation, the
// embedded profile and a partly read picture, on files made by Pillow,
// jpgicc and tificc (tests/fixtures/make-fixtures.sh).

#include "dispatch/load.h"
#include "dispatch/load_dispatch.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace pictorand {
namespace {

using namespace pictorand::testing;

std::string fixture(const std::string& name) { return std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/" + name; }

// The JPEG reader's picture as the file stores it.
Result<DecodedImage> readAsStored(const std::string& path)
{
    ReadRequest request;
    request.path = path;
    return callReader(CodecRegistry::instance(), ImageFormat::Jpeg, request);
}

class PictureCorrectionsTest : public ::testing::Test {
protected:
    LoadOutcome load(const std::string& path) { return pictorand::load(batchRequest(path, settings)); }

    ScratchDir dir;
    SettingsFile settings{dir.file("P_RAND32.INI")};
};

TEST_F(PictureCorrectionsTest, EveryExifOrientationLoadsAsTheUprightPicture)
{
    const RgbImage upright = blockToRgb(load(fixture("orientation/1.jpg")).block);
    ASSERT_EQ(upright.width, 32);
    for (int orientation = 2; orientation <= 8; ++orientation) {
        LoadOutcome turned = load(fixture("orientation/" + std::to_string(orientation) + ".jpg"));
        ASSERT_TRUE(turned.block) << loadFailureWords(turned);
        EXPECT_EQ(turned.orientationApplied, orientation);
        // Flat squares on whole blocks: the encoder's error is the same
        // whichever way round they were stored.
        EXPECT_LE(maxDifference(blockToRgb(turned.block), upright), 2) << orientation;
    }
}

TEST_F(PictureCorrectionsTest, SettingsTurnOrientationAndProfileOff)
{
    settings.writeText(settings::AutoRotate, "0");
    settings.writeText(settings::ColorManagement, "0");
    EXPECT_EQ(load(fixture("orientation/6.jpg")).block.width(), 48);
    Result<DecodedImage> plain = readAsStored(fixture("colour/rose-a98.jpg"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(maxDifference(blockToRgb(load(fixture("colour/rose-a98.jpg")).block), blockToRgb(plain->block)), 0);
}

TEST_F(PictureCorrectionsTest, DisplaySizesAreThoseOfTheUprightPicture)
{
    const LoadOutcome shown = pictorand::load({LoadSource{fixture("orientation/6.jpg")}, LoadPurpose::View, {}});
    ASSERT_TRUE(shown.block);
    EXPECT_EQ(shown.originalWidth, 32);
    EXPECT_EQ(shown.originalHeight, 48);
    EXPECT_EQ(shown.block.width(), 32);
}

// The picture as stored (Adobe RGB numbers) through tificc to sRGB, against
// the load's own conversion.
TEST_F(PictureCorrectionsTest, EmbeddedProfileConvertsAsLittleCmsToolsDo)
{
    const std::string profile = std::string(testing::kGhostscriptProfiles) + "a98.icc";
    REQUIRE_TOOLS("tificc", "pnmtotiff", "convert");
    REQUIRE_FILE(profile, "libgs-common");
    const std::string photo = fixture("colour/rose-a98.jpg");
    Result<DecodedImage> stored = readAsStored(photo);
    ASSERT_TRUE(stored);
    writePpm(dir.file("stored.ppm"), blockToRgb(stored->block));
    // netpbm writes no chromaticity tags, which tificc would take over -i.
    ASSERT_EQ(runCommand("pnmtotiff " + shellQuote(dir.file("stored.ppm")) + " > " + shellQuote(dir.file("stored.tif"))
                         + " && tificc -i" + profile + " " + shellQuote(dir.file("stored.tif")) + " "
                         + shellQuote(dir.file("srgb.tif")) + " >/dev/null 2>&1"),
              0);
    std::optional<RgbImage> expected = magickDecode(dir.file("srgb.tif"));
    ASSERT_TRUE(expected);

    const LoadOutcome outcome = load(photo);
    EXPECT_TRUE(outcome.profileApplied);
    const RgbImage converted = blockToRgb(outcome.block);
    EXPECT_GT(maxDifference(converted, blockToRgb(stored->block)), 8); // it did change
    EXPECT_LE(maxDifference(converted, *expected), 1);
}

// What tificc makes of `stored` from `input` to `output` (a profile file,
// or "*sRGB", Little CMS's built-in one).
std::optional<RgbImage> throughTificc(const ScratchDir& dir, const RgbImage& stored, const std::string& input,
                                      const std::string& output)
{
    writePpm(dir.file("in.ppm"), stored);
    // netpbm writes no chromaticity tags, which tificc would take over -i.
    if (runCommand("pnmtotiff -truecolor " + shellQuote(dir.file("in.ppm")) + " > " + shellQuote(dir.file("in.tif"))
                   + " && tificc -i" + shellQuote(input) + " -o" + shellQuote(output) + " "
                   + shellQuote(dir.file("in.tif")) + " " + shellQuote(dir.file("out.tif")) + " >/dev/null 2>&1")
        != 0)
        return std::nullopt;
    return magickDecode(dir.file("out.tif"));
}

// Pictures shown on a display with a profile are converted to it, untagged
// ones as sRGB; loads for files and a profile colours cannot be converted
// to keep sRGB, and with ColorManagement=0 nothing is converted.
TEST_F(PictureCorrectionsTest, ShownPicturesConvertToTheDisplayProfileAsTificcDoes)
{
    const std::string profiles = testing::kGhostscriptProfiles;
    REQUIRE_TOOLS("tificc", "pnmtotiff", "convert");
    REQUIRE_FILE(profiles + "rommrgb.icc", "libgs-common");
    const std::string tagged = fixture("colour/rose-a98.jpg");
    const std::string untagged = fixture("orientation/1.jpg");
    std::vector<uint8_t> damaged = readFile(profiles + "rommrgb.icc");
    damaged.resize(200);
    const struct {
        std::string file;
        LoadPurpose purpose;
        std::vector<uint8_t> display;
        bool colourManagement;
        std::string from; // the picture's profile for tificc; empty: the load leaves it in sRGB
        std::string to;
    } cases[] = {
        {tagged, LoadPurpose::View, readFile(profiles + "rommrgb.icc"), true, profiles + "a98.icc", profiles + "rommrgb.icc"},
        {untagged, LoadPurpose::Slide, readFile(profiles + "a98.icc"), true, "*sRGB", profiles + "a98.icc"},
        {tagged, LoadPurpose::View, damaged, true, profiles + "a98.icc", "*sRGB"},
        {tagged, LoadPurpose::Batch, readFile(profiles + "rommrgb.icc"), true, profiles + "a98.icc", "*sRGB"},
        {untagged, LoadPurpose::Batch, readFile(profiles + "a98.icc"), true, "", ""},
        {untagged, LoadPurpose::View, damaged, true, "", ""},
        {untagged, LoadPurpose::View, readFile(profiles + "a98.icc"), false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " to " + c.to);
        Result<DecodedImage> stored = readAsStored(c.file);
        ASSERT_TRUE(stored);
        const RgbImage asStored = blockToRgb(stored->block);
        std::optional<RgbImage> expected = c.from.empty() ? asStored : throughTificc(dir, asStored, c.from, c.to);
        ASSERT_TRUE(expected);
        LoadRequest request{{c.file}, c.purpose, {}};
        request.options.colourManagement = c.colourManagement;
        request.options.displayProfile = c.display;
        const LoadOutcome outcome = pictorand::load(request);
        ASSERT_TRUE(outcome.block) << loadFailureWords(outcome);
        EXPECT_LE(maxDifference(blockToRgb(outcome.block), *expected), 1);
    }
}

// A drawing's colours for the display are what tificc makes of its sRGB
// ones: those of its shapes and gradients in one row, each bitmap alone.
TEST_F(PictureCorrectionsTest, DrawingsAreShownInTheDisplayProfilesColours)
{
    const std::string adobe = std::string(testing::kGhostscriptProfiles) + "a98.icc";
    REQUIRE_TOOLS("tificc", "pnmtotiff", "convert");
    REQUIRE_FILE(adobe, "libgs-common");
    auto colours = [](const metafile::Drawing& drawing) {
        std::vector<uint8_t> row;
        auto add = [&](const metafile::Colour& c) { row.insert(row.end(), {c.red, c.green, c.blue}); };
        for (const metafile::Command& command : drawing.commands) {
            if (const auto* shape = std::get_if<metafile::Shape>(&command)) {
                add(shape->pen.colour);
                add(shape->brush.colour);
            } else if (const auto* gradient = std::get_if<metafile::Gradient>(&command)) {
                for (const auto& triangle : gradient->triangles)
                    for (const metafile::GradientVertex& vertex : triangle)
                        add(vertex.colour);
            }
        }
        return RgbImage{static_cast<int>(row.size() / 3), 1, row};
    };
    auto bitmaps = [](const metafile::Drawing& drawing) {
        std::vector<RgbImage> images;
        for (const metafile::Command& command : drawing.commands)
            // (Masks of one bit are black and white, which tificc does not take for RGB.)
            if (const auto* bitmap = std::get_if<metafile::Bitmap>(&command); bitmap && bitmap->image
                && bitmap->image->bitCount() > 1)
                images.push_back(blockToRgb(*bitmap->image));
        return images;
    };
    for (const char* name : {"shapes.emf", "gradients.emf", "bitmap.wmf"}) {
        SCOPED_TRACE(name);
        LoadRequest request{{fixture(std::string("metafile/") + name)}, LoadPurpose::View, {}};
        const LoadOutcome plain = pictorand::load(request);
        request.options.displayProfile = readFile(adobe);
        const LoadOutcome shown = pictorand::load(request);
        ASSERT_TRUE(plain.drawing && shown.drawing) << loadFailureWords(shown);
        const RgbImage before = colours(*plain.drawing);
        ASSERT_GT(before.width, 0);
        std::optional<RgbImage> expected = throughTificc(dir, before, "*sRGB", adobe);
        ASSERT_TRUE(expected) << before.width;
        EXPECT_LE(maxDifference(colours(*shown.drawing), *expected), 1);
        const std::vector<RgbImage> original = bitmaps(*plain.drawing), converted = bitmaps(*shown.drawing);
        ASSERT_EQ(original.size(), converted.size());
        for (size_t i = 0; i < original.size(); ++i) {
            std::optional<RgbImage> reference = throughTificc(dir, original[i], "*sRGB", adobe);
            ASSERT_TRUE(reference) << original[i].width << "x" << original[i].height;
            EXPECT_LE(maxDifference(converted[i], *reference), 1);
        }
    }
}

// The longest run of equal values along any row of one channel.
int longestRun(const RgbImage& image, int channel)
{
    int longest = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0, run = 0; x < image.width; ++x) {
            run = x > 0 && image.at(x, y)[channel] == image.at(x - 1, y)[channel] ? run + 1 : 1;
            longest = std::max(longest, run);
        }
    return longest;
}

// A 16-bit gradient over sixteen 8-bit levels (ImageMagick's), in colour
// and in grey: shown, it is dithered from its 16 bits and keeps its mean
// without the 64-pixel bands that rounding to 8 bits makes, on a display
// with a profile too (its mean as transicc converts the 16-bit samples, in
// floating point); read for a file it is rounded.
TEST_F(PictureCorrectionsTest, SixteenBitPicturesAreDitheredWhenShown)
{
    const std::string adobe = std::string(testing::kGhostscriptProfiles) + "a98.icc";
    REQUIRE_TOOLS("convert", "transicc");
    REQUIRE_FILE(adobe, "libgs-common");
    const struct {
        const char* name;
        const char* options;
    } cases[] = {
        {"gradient.png", "-define png:color-type=2"},
        {"gradient.pgm", "-colorspace gray"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(c.name);
        ASSERT_EQ(runCommand("convert -size 16x1024 gradient:'#102030'-'#203040' -rotate 270 -depth 16 " + std::string(c.options)
                             + " " + shellQuote(file) + " && convert " + shellQuote(file) + " -depth 16 -endian LSB rgb:"
                             + shellQuote(dir.file("samples.raw"))),
                  0);
        const std::vector<uint8_t> raw = readFile(dir.file("samples.raw"));
        ASSERT_EQ(raw.size(), size_t(1024) * 16 * 6);
        // One row's samples in 0-255, as transicc reads them.
        std::string row;
        for (size_t i = 0; i < 1024 * 3; ++i)
            row += std::to_string((raw[2 * i] | raw[2 * i + 1] << 8) / 257.0) + (i % 3 == 2 ? "\n" : " ");
        writeFile(dir.file("row.txt"), std::vector<uint8_t>(row.begin(), row.end()));
        const RgbImage rounded = blockToRgb(load(file).block);
        for (const std::string& display : {std::string(), adobe}) {
            SCOPED_TRACE(display);
            std::string converted = display.empty() ? row : std::string();
            if (!display.empty()) {
                ASSERT_EQ(runCommand("transicc -n -i'*sRGB' -o" + shellQuote(display) + " < " + shellQuote(dir.file("row.txt"))
                                         + " 2>/dev/null",
                                     &converted),
                          0);
            }
            std::istringstream values(converted);
            double expected[3] = {}, value = 0;
            for (int i = 0; i < 1024 * 3 && values >> value; ++i)
                expected[i % 3] += value / 1024;
            LoadRequest request{{file}, LoadPurpose::View, {}};
            request.options.displayProfile = display.empty() ? std::vector<uint8_t>() : readFile(display);
            const RgbImage shown = blockToRgb(pictorand::load(request).block);
            ASSERT_EQ(shown.width, 1024);
            for (int channel = 0; channel < 3; ++channel) {
                double mean = 0;
                for (size_t i = size_t(channel); i < shown.rgb.size(); i += 3)
                    mean += shown.rgb[i];
                EXPECT_NEAR(mean / double(shown.rgb.size() / 3), expected[channel], 0.5) << channel;
                // Rounded, each level is a band 64 pixels wide (73 in Adobe
                // RGB's fewer levels); dithered, a level stands alone only where
                // the gradient passes right through it.
                EXPECT_GE(longestRun(rounded, channel), 60) << channel;
                EXPECT_LE(longestRun(shown, channel), 40) << channel;
            }
        }
    }
}

TEST_F(PictureCorrectionsTest, TruncatedFileIsReportedWithItsPicture)
{
    std::vector<uint8_t> bytes = readFile(fixture("colour/rose-a98.jpg"));
    bytes.resize(bytes.size() * 2 / 3);
    const std::string path = dir.file("cut.jpg");
    writeFile(path, bytes);
    LoadOutcome cut = load(path);
    ASSERT_TRUE(cut.block);
    EXPECT_FALSE(cut.truncation.empty());
    EXPECT_NE(truncationNotice(cut).find(kTruncatedNotice), std::string::npos);
}

} // namespace
} // namespace pictorand
