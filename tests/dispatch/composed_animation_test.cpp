// The animations whose frames come composed (WebP, APNG, AVIF, JPEG XL), as
// the viewer's load gives them, against each format's own tools frame by
// frame; the converter's load gives the first frame. Their colours convert
// as a still picture's, checked against Pillow's ImageCms.

#include "dispatch/load.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

// Pillow composes an APNG's frames itself; djxl writes a JPEG XL
// animation's frames as an APNG.
// Pillow counts an APNG's default image as frame 0 even when it stands outside
// the animation.
#define PILLOW_FRAME(file, index)                                                                                   \
    "/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "                       \
    "im.seek(int(sys.argv[3])); im.convert('RGBA').save(sys.argv[2])\" " file " {out} " index

struct AnimationCase {
    const char* fixture; // tests/dispatch/animations/, README.md says how each was made
    std::vector<int> delaysMs;
    int loopCount;
    // The frame {n} (from 0) of {in} as an independent decoder shows it,
    // written to {out} ({n1}: counted from 1).
    const char* frameCommand;
};

std::string withFrame(std::string command, size_t index)
{
    for (auto [name, value] : {std::pair<std::string, size_t>{"{n1}", index + 1}, {"{n}", index}})
        for (size_t at = command.find(name); at != std::string::npos; at = command.find(name))
            command.replace(at, name.size(), std::to_string(value));
    return command;
}

const AnimationCase kAnimations[] = {
        {"three_frames.webp", {30, 5, 250}, 2, "webpmux -get frame {n1} {in} -o {out}.webp && dwebp {out}.webp -o {out}"},
        {"three_frames.png", {30, 5, 250}, 3, PILLOW_FRAME("{in}", "{n}")},
        {"hidden_default.png", {40, 40}, 0, PILLOW_FRAME("{in}", "{n1}")},
        {"three_frames.avif", {30, 5, 250}, 0, "avifdec --index {n} {in} {out}"},
        {"three_frames.jxl", {30, 5, 250}, 0, "djxl {in} {out}.apng.png && " PILLOW_FRAME("{out}.apng.png", "{n}")},
};

std::string animationPath(const std::string& fixture)
{
    return std::string(PICTORAND_SOURCE_DIR) + "/tests/dispatch/animations/" + fixture;
}

TEST(ComposedAnimation, FramesDelaysAndPlaysAreTheFilesOwn)
{
    REQUIRE_TOOLS("webpmux", "dwebp", "avifdec", "djxl", "convert");
    REQUIRE_PILLOW();
    for (const AnimationCase& c : kAnimations) {
        SCOPED_TRACE(c.fixture);
        const std::string path = animationPath(c.fixture);
        const LoadOutcome played = loadInThisProcess({{path}, LoadPurpose::View, {}});
        ASSERT_EQ(played.kind, LoadOutcome::Kind::Animation) << loadFailureMessage(played);
        ASSERT_EQ(played.frames.size(), c.delaysMs.size());
        EXPECT_EQ(played.loopCount, c.loopCount);
        for (size_t i = 0; i < played.frames.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(played.frames[i].ownDelayMs, c.delaysMs[i]);
            const std::optional<testing::RgbImage> expected = testing::toolDecode(withFrame(c.frameCommand, i), path);
            ASSERT_TRUE(expected);
            EXPECT_EQ(testing::maxDifference(testing::blockToRgb(played.frames[i].block), *expected), 0);
        }
        const LoadOutcome converted = loadInThisProcess({{path}, LoadPurpose::Batch, {}});
        ASSERT_TRUE(converted.block) << loadFailureMessage(converted);
        EXPECT_EQ(testing::maxDifference(testing::anyBlockToRgb(converted.block),
                                         testing::blockToRgb(played.frames.front().block)),
                  0)
            << "the converter takes the first frame";
    }
}

// `stored` from the profile file `from` to `to` through Pillow's ImageCms
// (empty: Little CMS's sRGB), perceptual as the load converts.
std::optional<testing::RgbImage> throughImageCms(const testing::RgbImage& stored, const std::string& from,
                                                 const std::string& to)
{
    testing::ScratchDir dir;
    testing::writePpm(dir.file("in.ppm"), stored);
    const std::string script =
        "import sys; from PIL import Image, ImageCms; "
        "p = lambda n: ImageCms.getOpenProfile(n) if n else ImageCms.createProfile('sRGB'); "
        "ImageCms.profileToProfile(Image.open(sys.argv[1]), p(sys.argv[3]), p(sys.argv[4])).save(sys.argv[2])";
    if (testing::runCommand("/usr/bin/python3 -c " + testing::shellQuote(script) + " "
                            + testing::shellQuote(dir.file("in.ppm")) + " " + testing::shellQuote(dir.file("out.ppm"))
                            + " " + testing::shellQuote(from) + " " + testing::shellQuote(to))
        != 0)
        return std::nullopt;
    return testing::readPnm(dir.file("out.ppm"));
}

// Each frame as a still picture of the file would be: from the embedded
// profile to sRGB or the display's, or from sRGB to the display's without
// one.
TEST(ComposedAnimation, FramesConvertByTheFilesProfileAsStillPicturesDo)
{
    const std::string profiles = testing::kGhostscriptProfiles;
    REQUIRE_TOOLS("webpmux", "dwebp", "avifdec", "djxl", "convert");
    REQUIRE_PILLOW();
    REQUIRE_FILE(profiles + "rommrgb.icc", "libgs-common");
    const struct {
        bool tagged; // the *_a98 twin, in Adobe RGB
        std::string display;
    } cases[] = {{true, ""}, {true, profiles + "rommrgb.icc"}, {false, profiles + "rommrgb.icc"}};
    for (const AnimationCase& animation : kAnimations) {
        const std::string name = animation.fixture;
        const size_t dot = name.find('.');
        for (const auto& c : cases) {
            const std::string path = animationPath(c.tagged ? name.substr(0, dot) + "_a98" + name.substr(dot) : name);
            SCOPED_TRACE(path + " to " + c.display);
            LoadRequest request{{path}, LoadPurpose::View, {}};
            if (!c.display.empty())
                request.options.displayProfile = testing::readFile(c.display);
            const LoadOutcome played = loadInThisProcess(request);
            ASSERT_EQ(played.kind, LoadOutcome::Kind::Animation) << loadFailureMessage(played);
            EXPECT_EQ(played.profileApplied, c.tagged);
            for (size_t i = 0; i < played.frames.size(); ++i) {
                SCOPED_TRACE(i);
                const std::optional<testing::RgbImage> stored =
                    testing::toolDecode(withFrame(animation.frameCommand, i), path);
                ASSERT_TRUE(stored);
                const std::optional<testing::RgbImage> expected =
                    throughImageCms(*stored, c.tagged ? profiles + "a98.icc" : "", c.display);
                ASSERT_TRUE(expected);
                const testing::RgbImage shown = testing::blockToRgb(played.frames[i].block);
                EXPECT_GT(testing::maxDifference(shown, *stored), 8) << "converted";
                EXPECT_LE(testing::maxDifference(shown, *expected), 1);
            }
            if (c.display.empty()) {
                const LoadOutcome still = loadInThisProcess({{path}, LoadPurpose::Batch, {}});
                ASSERT_TRUE(still.block) << loadFailureMessage(still);
                EXPECT_EQ(testing::maxDifference(testing::anyBlockToRgb(still.block),
                                                 testing::blockToRgb(played.frames.front().block)),
                          0)
                    << "the first frame as the converter reads it";
            }
        }
    }
}

} // namespace
} // namespace pictorand
