// The animations whose frames come composed (WebP, APNG, AVIF, JPEG XL), as
// the viewer's load gives them, against each format's own tools frame by
// frame; the converter's load gives the first frame.

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

TEST(ComposedAnimation, FramesDelaysAndPlaysAreTheFilesOwn)
{
    REQUIRE_TOOLS("webpmux", "dwebp", "avifdec", "djxl", "convert");
    REQUIRE_PILLOW();
    const AnimationCase cases[] = {
        {"three_frames.webp", {30, 5, 250}, 2, "webpmux -get frame {n1} {in} -o {out}.webp && dwebp {out}.webp -o {out}"},
        {"three_frames.png", {30, 5, 250}, 3, PILLOW_FRAME("{in}", "{n}")},
        {"hidden_default.png", {40, 40}, 0, PILLOW_FRAME("{in}", "{n1}")},
        {"three_frames.avif", {30, 5, 250}, 0, "avifdec --index {n} {in} {out}"},
        {"three_frames.jxl", {30, 5, 250}, 0, "djxl {in} {out}.apng.png && " PILLOW_FRAME("{out}.apng.png", "{n}")},
    };
    for (const AnimationCase& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::string path = std::string(PICTORAND_SOURCE_DIR) + "/tests/dispatch/animations/" + c.fixture;
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

} // namespace
} // namespace pictorand
