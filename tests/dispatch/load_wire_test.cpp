// A worker's answer is refused whole when any part of it would not hold up,
// and taken as it was sent when it does (the fuzz target worker_answer reads
// arbitrary answers; these are the faults it must catch, by name).
#include "dispatch/load_wire.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace pictorand {
namespace {

const LoadRequest kRequest{{"picture.gif"}, LoadPurpose::View, {}};

ImageBlock paletted(uint32_t colours)
{
    ImageBlock block = ImageBlock::create(4, 2, 8, colours);
    for (uint32_t i = 0; i < colours; ++i)
        block.setColor(i, static_cast<uint8_t>(i * 10), 0, 0);
    return block;
}

// An animation of two frames whose drawing shares one pattern between two
// commands: every part the answer can have.
// A frame of a WebP, APNG, AVIF or JPEG XL animation.
AnimationFrame composed(int width, int delayMs)
{
    return {ImageBlock::create(width, 2, 24, 0), GifFrameInfo{}, delayMs};
}

// Two composed frames, the first 4 pixels wide and of 30 ms.
std::vector<AnimationFrame> composedPair(int secondWidth, int secondDelayMs)
{
    std::vector<AnimationFrame> frames;
    frames.push_back(composed(4, 30));
    frames.push_back(composed(secondWidth, secondDelayMs));
    return frames;
}

LoadOutcome everything()
{
    LoadOutcome outcome;
    outcome.kind = LoadOutcome::Kind::Animation;
    outcome.path = kRequest.file.path;
    outcome.format = ImageFormat::Gif;
    outcome.block = paletted(16);
    outcome.alpha = paletted(256);
    outcome.turnedFile = {0xFF, 0xD8, 0xFF, 0xD9};
    outcome.compression = "Animated GIF - 2 images";
    outcome.pageOffsets = {8, 900};
    outcome.imageCount = 2;
    outcome.iconChoices = {"32 x 32  -  16 colors"};
    for (int i = 0; i < 2; ++i)
        outcome.frames.push_back({paletted(4), GifFrameInfo{1, 2, 3, 4, 5, 2, 1, 10 * (i + 1), 7, false}, std::nullopt});
    auto drawing = std::make_shared<metafile::Drawing>();
    drawing->kind = metafile::Kind::Placeable;
    drawing->recordsWalked = 9;
    drawing->recordsSkipped = 2;
    drawing->width = 40;
    drawing->height = 30;
    auto pattern = std::make_shared<const ImageBlock>(paletted(2));
    for (int i = 0; i < 2; ++i) {
        metafile::Shape shape;
        shape.path.moveTo({1, 2});
        shape.path.curveTo({3, 4}, {5, 6}, {7, 8});
        shape.brush.kind = metafile::Brush::Kind::Pattern;
        shape.brush.pattern = pattern;
        drawing->commands.push_back(shape);
    }
    metafile::Text text;
    text.text = u"Hi";
    text.advances = {5, 6};
    drawing->commands.push_back(text);
    outcome.drawing = drawing;
    return outcome;
}

std::optional<LoadOutcome> roundTrip(const LoadOutcome& outcome, bool inlineBlocks)
{
    const std::vector<uint8_t> bytes = encodeLoadOutcome(outcome, inlineBlocks);
    BlockFetcher fetchHere = [](uint64_t address, std::span<uint8_t> into) {
        const auto* from = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(address));
        std::copy(from, from + into.size(), into.data());
        return true;
    };
    return decodeLoadOutcome(bytes, kRequest, inlineBlocks ? BlockFetcher() : fetchHere);
}

TEST(LoadWire, AnAnswerComesAcrossWhole)
{
    const LoadOutcome sent = everything();
    for (bool inlineBlocks : {false, true}) {
        std::optional<LoadOutcome> got = roundTrip(sent, inlineBlocks);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->kind, sent.kind);
        EXPECT_EQ(got->compression, sent.compression);
        EXPECT_EQ(got->pageOffsets, sent.pageOffsets);
        EXPECT_EQ(got->iconChoices, sent.iconChoices);
        EXPECT_EQ(got->imageCount, sent.imageCount);
        EXPECT_EQ(got->drawing->kind, sent.drawing->kind);
        EXPECT_EQ(got->drawing->recordsWalked, sent.drawing->recordsWalked);
        EXPECT_EQ(got->drawing->recordsSkipped, sent.drawing->recordsSkipped);
        ASSERT_EQ(got->frames.size(), 2u);
        EXPECT_EQ(got->frames[1].info.delay, 20);
        EXPECT_TRUE(std::equal(got->block.data(), got->block.data() + got->block.size(), sent.block.data()));
        EXPECT_EQ(got->turnedFile, sent.turnedFile);
        EXPECT_TRUE(std::equal(got->alpha.data(), got->alpha.data() + got->alpha.size(), sent.alpha.data()));
        ASSERT_EQ(got->drawing->commands.size(), 3u);
        const auto& first = std::get<metafile::Shape>(got->drawing->commands[0]);
        const auto& second = std::get<metafile::Shape>(got->drawing->commands[1]);
        EXPECT_EQ(first.brush.pattern, second.brush.pattern) << "a shared block stays one block";
        EXPECT_EQ(first.path.kinds, (std::vector<uint8_t>{metafile::Move, metafile::Curve, metafile::Curve, metafile::Curve}));
    }
    LoadOutcome played = everything();
    played.frames = composedPair(4, 5);
    played.loopCount = 3;
    std::optional<LoadOutcome> composed = roundTrip(played, false);
    ASSERT_TRUE(composed);
    EXPECT_EQ(composed->loopCount, 3);
    ASSERT_EQ(composed->frames.size(), 2u);
    EXPECT_EQ(composed->frames[1].ownDelayMs, 5);
    const LoadRequest request{{"a b.jpg"}, LoadPurpose::Preview, {true, 0, false, false, true, 96, false, 3, 26, 2, 64, true, Turn{true, 3}, true, true, false, {}, true}};
    EXPECT_EQ(decodeLoadRequest(encodeLoadRequest(request)), request);
    // The display's profile travels whole, up to its limit; a larger one
    // would be refused by the worker and is not sent: the picture comes in
    // sRGB.
    LoadRequest profiled = request;
    for (size_t size : {size_t(3), kLargestDisplayProfile, kLargestDisplayProfile + 1}) {
        profiled.options.displayProfile.assign(size, 7);
        const std::optional<LoadRequest> got = decodeLoadRequest(encodeLoadRequest(profiled));
        ASSERT_TRUE(got);
        EXPECT_EQ(got->options.displayProfile.size(), size <= kLargestDisplayProfile ? size : 0);
    }
}

TEST(LoadWire, AnAnswerThatDoesNotHoldUpIsRefused)
{
    const struct {
        const char* fault;
        std::function<void(LoadOutcome&)> make;
    } cases[] = {
        {"another file's", [](LoadOutcome& o) { o.path = "other.gif"; }},
        {"a picture without a block", [](LoadOutcome& o) { o.kind = LoadOutcome::Kind::Picture, o.block = {}; }},
        {"a block whose header claims more than it holds", [](LoadOutcome& o) { o.block.setHeight(4000); }},
        {"a paletted block without a table", [](LoadOutcome& o) { o.block.setColorsUsed(0); }},
        {"a picture at a depth no display draws", [](LoadOutcome& o) { o.block = ImageBlock::create(2, 2, 32, 0); }},
        {"an opacity plane of another size", [](LoadOutcome& o) { o.alpha = ImageBlock::create(2, 2, 8, 256); }},
        {"a frame in true colour", [](LoadOutcome& o) { o.frames[0].block = ImageBlock::create(2, 2, 24, 0); }},
        {"more images than any file may hold", [](LoadOutcome& o) { o.imageCount = kMaxFrames + 1; }},
        {"a composed frame among GIF images", [](LoadOutcome& o) { o.frames[1] = composed(4, 30); }},
        {"composed frames of other sizes", [](LoadOutcome& o) { o.frames = composedPair(5, 30); }},
        {"a composed frame of a negative delay", [](LoadOutcome& o) { o.frames = composedPair(4, -1); }},
        {"a negative loop count", [](LoadOutcome& o) { o.loopCount = -1; }},
        {"a metafile kind past the last",
         [](LoadOutcome& o) {
             auto drawing = std::make_shared<metafile::Drawing>(*o.drawing);
             drawing->kind = static_cast<metafile::Kind>(static_cast<int>(metafile::Kind::Plain) + 1);
             o.drawing = drawing;
         }},
        {"a coordinate that is no number",
         [](LoadOutcome& o) {
             auto drawing = std::make_shared<metafile::Drawing>(*o.drawing);
             std::get<metafile::Shape>(drawing->commands[0]).path.points[1].x = std::nan("");
             o.drawing = drawing;
         }},
        {"advances that do not match the text",
         [](LoadOutcome& o) {
             auto drawing = std::make_shared<metafile::Drawing>(*o.drawing);
             std::get<metafile::Text>(drawing->commands[2]).advances.push_back(7);
             o.drawing = drawing;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        LoadOutcome outcome = everything();
        c.make(outcome);
        EXPECT_FALSE(roundTrip(outcome, true));
    }
    LoadOutcome failed;
    failed.path = kRequest.file.path;
    failed.failure.reason = kLastReason;
    EXPECT_TRUE(roundTrip(failed, true)) << "the last reason passes";
    failed.failure.reason = static_cast<Reason>(static_cast<int>(kLastReason) + 1);
    EXPECT_FALSE(roundTrip(failed, true)) << "a reason past the last";
    std::vector<uint8_t> bytes = encodeLoadOutcome(everything(), true);
    bytes.pop_back();
    EXPECT_FALSE(decodeLoadOutcome(bytes, kRequest, nullptr)) << "cut short";
}

// Pixels that name colours past a short table would be looked up beyond it:
// they take the first colour.
TEST(LoadWire, PixelsPastTheirTableTakeItsFirstColour)
{
    LoadOutcome outcome = everything();
    outcome.block.row(0)[1] = 200;
    outcome.block.row(1)[3] = 15;
    std::optional<LoadOutcome> got = roundTrip(outcome, true);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->block.row(0)[1], 0);
    EXPECT_EQ(got->block.row(1)[3], 15);
}

} // namespace
} // namespace pictorand
