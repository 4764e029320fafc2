#include "ops/colour_profile.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace pictorand {
namespace {

using namespace pictorand::testing;

const std::string kProfiles = testing::kGhostscriptProfiles;

std::vector<uint8_t> profileBytes(const std::string& name)
{
    const std::string path = kProfiles + name;
    return fileExists(path) ? readFile(path) : std::vector<uint8_t>();
}

// Every 8th level of every channel, and 255, as blue-green-red pixels in
// rows of `width` (wide rows go 64 pixels at a time where the processor
// allows, narrow ones and the rest of a row one by one).
ImageBlock colourGrid(int32_t width = 33 * 33)
{
    std::vector<int> levels;
    for (int v = 0; v < 256; v += 8)
        levels.push_back(v);
    levels.push_back(255);
    const auto n = static_cast<int32_t>(levels.size());
    ImageBlock block = ImageBlock::create(width, (n * n * n + width - 1) / width, 24, 0);
    for (int32_t i = 0; i < n * n * n; ++i) {
        uint8_t* pixel = block.row(i / width) + size_t(i % width) * 3;
        pixel[0] = static_cast<uint8_t>(levels[size_t(i / (n * n))]);
        pixel[1] = static_cast<uint8_t>(levels[size_t(i / n % n)]);
        pixel[2] = static_cast<uint8_t>(levels[size_t(i % n)]);
    }
    return block;
}

// `block` through Little CMS's own pipeline, unoptimised at 16 bits (its
// optimised transforms interpolate in a grid or round to 1/16384), from
// `source` to `destination` (empty: its built-in sRGB).
void convertByLittleCms(ImageBlock& block, const std::vector<uint8_t>& source, const std::vector<uint8_t>& destination)
{
    auto open = [](const std::vector<uint8_t>& bytes) {
        return bytes.empty() ? cmsCreate_sRGBProfile()
                             : cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    };
    cmsHPROFILE from = open(source);
    cmsHPROFILE to = open(destination);
    cmsHTRANSFORM transform =
        cmsCreateTransform(from, TYPE_BGR_16, to, TYPE_BGR_16, INTENT_PERCEPTUAL, cmsFLAGS_NOOPTIMIZE);
    ASSERT_TRUE(transform);
    std::vector<uint16_t> row(size_t(block.width()) * 3);
    for (int32_t y = 0; y < block.height(); ++y) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<uint16_t>(block.row(y)[i] * 257);
        cmsDoTransform(transform, row.data(), row.data(), static_cast<cmsUInt32Number>(block.width()));
        for (size_t i = 0; i < row.size(); ++i)
            block.row(y)[i] = static_cast<uint8_t>((row[i] + 128) / 257);
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(to);
    cmsCloseProfile(from);
}

// Adobe RGB (1998) and ProPhoto (ROMM) RGB to sRGB, and pictures to a
// display's profile (untagged ones as sRGB): the fast path's tables against
// Little CMS's own transform of the same pixels. The pairs alternate, as a
// viewer's loads and read-ahead do, each kept apart from the others.
TEST(ColourProfile, ConversionsAgreeWithLittleCms)
{
    const struct {
        const char* source;      // "": untagged
        const char* destination; // "": sRGB
        int32_t width;
    } cases[] = {
        {"a98.icc", "", 33 * 33}, {"rommrgb.icc", "", 33 * 33}, {"a98.icc", "", 63},
        {"", "a98.icc", 33 * 33}, {"rommrgb.icc", "a98.icc", 63}, {"srgb.icc", "rommrgb.icc", 33 * 33},
        {"", "a98.icc", 63},
    };
    for (const auto& c : cases) {
        for (const char* name : {c.source, c.destination})
            if (*name)
                REQUIRE_FILE(kProfiles + std::string(name), "libgs-common");
        const std::vector<uint8_t> source = *c.source ? profileBytes(c.source) : std::vector<uint8_t>();
        const std::vector<uint8_t> destination = *c.destination ? profileBytes(c.destination) : std::vector<uint8_t>();
        ImageBlock ours = colourGrid(c.width);
        ImageBlock expected = colourGrid(c.width);
        ASSERT_EQ(convertColours(ours, source, destination), ProfileConversion::Converted);
        convertByLittleCms(expected, source, destination);
        EXPECT_LE(maxDifference(blockToRgb(ours), blockToRgb(expected)), 1)
            << c.source << " to " << c.destination << " in rows of " << c.width;
    }
}

TEST(ColourProfile, OnlyRgbProfilesLittleCmsCanWriteAreDestinations)
{
    REQUIRE_FILE(kProfiles + std::string("a98.icc"), "libgs-common");
    std::vector<uint8_t> damaged = profileBytes("a98.icc");
    damaged.resize(100);
    const struct {
        const char* name;
        std::vector<uint8_t> profile;
        bool destination;
    } cases[] = {
        {"Adobe RGB", profileBytes("a98.icc"), true},  {"sRGB", profileBytes("srgb.icc"), true},
        {"CMYK", profileBytes("default_cmyk.icc"), false}, {"grey", profileBytes("sgray.icc"), false},
        {"damaged", damaged, false},                   {"none", {}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isDestinationProfile(c.profile), c.destination) << c.name;
}

TEST(ColourProfile, SrgbProfileLeavesEveryByteAsItWas)
{
    REQUIRE_FILE(kProfiles + std::string("srgb.icc"), "libgs-common");
    const std::vector<uint8_t> profile = profileBytes("srgb.icc");
    ImageBlock block = colourGrid();
    const RgbImage before = blockToRgb(block);
    EXPECT_EQ(convertToSrgb(block, profile), ProfileConversion::Converted);
    EXPECT_EQ(maxDifference(blockToRgb(block), before), 0);
}

TEST(ColourProfile, ColourTableConvertsAsItsPixelsWould)
{
    REQUIRE_FILE(kProfiles + std::string("a98.icc"), "libgs-common");
    const std::vector<uint8_t> profile = profileBytes("a98.icc");
    ImageBlock pixels = ImageBlock::create(256, 1, 24, 0);
    ImageBlock indexed = ImageBlock::create(256, 1, 8, 256);
    for (uint32_t i = 0; i < 256; ++i) {
        const auto red = static_cast<uint8_t>(i), green = static_cast<uint8_t>(255 - i), blue = static_cast<uint8_t>(i * 7);
        indexed.setColor(i, red, green, blue);
        indexed.row(0)[i] = static_cast<uint8_t>(i);
        uint8_t* pixel = pixels.row(0) + size_t(i) * 3;
        pixel[0] = blue;
        pixel[1] = green;
        pixel[2] = red;
    }
    ASSERT_EQ(convertToSrgb(pixels, profile), ProfileConversion::Converted);
    ASSERT_EQ(convertToSrgb(indexed, profile), ProfileConversion::Converted);
    EXPECT_LE(maxDifference(blockToRgb(indexed), blockToRgb(pixels)), 1);
}

TEST(ColourProfile, ProfilesThatDoNotFitLeaveThePictureAlone)
{
    REQUIRE_FILE(kProfiles + std::string("a98.icc"), "libgs-common");
    std::vector<uint8_t> damaged = profileBytes("a98.icc");
    damaged.resize(100);
    const struct {
        const char* name;
        std::vector<uint8_t> profile;
    } cases[] = {
        {"damaged", damaged},
        {"CMYK (the reader already made BGR of the inks)", profileBytes("default_cmyk.icc")},
        {"grey, for colour pixels", profileBytes("sgray.icc")},
        {"none", {}},
    };
    for (const auto& c : cases) {
        ImageBlock block = colourGrid();
        const RgbImage before = blockToRgb(block);
        EXPECT_EQ(convertToSrgb(block, c.profile), ProfileConversion::LeftAsIs) << c.name;
        EXPECT_EQ(maxDifference(blockToRgb(block), before), 0) << c.name;
    }
}

// A grey picture's 16-bit samples, carried as three alike, convert through
// a grey profile as its 8-bit grey ramp does; a colour block is left alone.
TEST(ColourProfile, GreyProfileConvertsSixteenBitGreyOnly)
{
    REQUIRE_FILE(kProfiles + std::string("sgray.icc"), "libgs-common");
    const std::vector<uint8_t> profile = profileBytes("sgray.icc");
    ImageBlock ramp = ImageBlock::create(256, 1, 8, 256);
    ImageBlock deep = ImageBlock::create(256, 1, 48, 0);
    for (uint32_t i = 0; i < 256; ++i) {
        const auto level = static_cast<uint8_t>(i);
        ramp.setColor(i, level, level, level);
        ramp.row(0)[i] = level;
        const uint16_t samples[3] = {uint16_t(i * 257), uint16_t(i * 257), uint16_t(i * 257)};
        std::memcpy(deep.row(0) + size_t(i) * 6, samples, 6);
    }
    ImageBlock colour = ImageBlock::create(1, 1, 48, 0);
    const uint16_t bluish[3] = {40000, 20000, 10000};
    std::memcpy(colour.row(0), bluish, 6);
    ASSERT_EQ(convertToSrgb(ramp, profile), ProfileConversion::Converted);
    ASSERT_EQ(convertSixteenBitColours(deep, profile, {}), ProfileConversion::Converted);
    const RgbImage expected = blockToRgb(ramp);
    for (size_t i = 0; i < 256 * 3; ++i) {
        uint16_t sample;
        std::memcpy(&sample, deep.row(0) + 2 * i, 2);
        EXPECT_NEAR((sample + 128) / 257, expected.rgb[i], 1) << i / 3;
    }
    EXPECT_EQ(convertSixteenBitColours(colour, profile, {}), ProfileConversion::LeftAsIs);
    EXPECT_EQ(std::memcmp(colour.row(0), bluish, 6), 0);
}

// An animation's frames, through one conversion: each as it would convert
// alone, and a block of another depth as it was.
TEST(ColourProfile, SeveralBlocksConvertAsEachWouldAlone)
{
    REQUIRE_FILE(kProfiles + std::string("rommrgb.icc"), "libgs-common");
    const std::vector<uint8_t> source = profileBytes("a98.icc");
    const std::vector<uint8_t> display = profileBytes("rommrgb.icc");
    ImageBlock wide = colourGrid(), narrow = colourGrid(7), deep = ImageBlock::create(2, 2, 48, 0);
    std::fill_n(deep.row(0), 12, uint8_t(90));
    ImageBlock* const blocks[] = {&wide, &deep, &narrow};
    EXPECT_EQ(convertColoursOfEach(blocks, source, display), ProfileConversion::Converted);
    for (const auto& [width, converted] : {std::pair{33 * 33, &wide}, std::pair{7, &narrow}}) {
        ImageBlock alone = colourGrid(width);
        ASSERT_EQ(convertColours(alone, source, display), ProfileConversion::Converted);
        EXPECT_EQ(maxDifference(blockToRgb(*converted), blockToRgb(alone)), 0) << width;
    }
    EXPECT_EQ(deep.row(0)[0], 90);
    ImageBlock* const none[] = {&deep};
    EXPECT_EQ(convertColoursOfEach(none, source, display), ProfileConversion::LeftAsIs);
}

} // namespace
} // namespace pictorand
