#include "ops/colour_profile.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdlib>
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

// Adobe RGB (1998) and ProPhoto (ROMM) RGB: the fast path's tables against
// Little CMS's own transform of the same pixels.
TEST(ColourProfile, MatrixShaperPathAgreesWithLittleCms)
{
    for (auto [name, width] : {std::pair{"a98.icc", 33 * 33}, std::pair{"rommrgb.icc", 33 * 33},
                               std::pair{"a98.icc", 63}}) {
        const std::vector<uint8_t> profile = profileBytes(name);
        REQUIRE_FILE(kProfiles + std::string(name), "libgs-common");
        ImageBlock ours = colourGrid(width);
        ImageBlock expected = colourGrid(width);
        ASSERT_EQ(convertToSrgb(ours, profile), ProfileConversion::Converted);
        cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
        ASSERT_TRUE(transform);
        for (int32_t y = 0; y < expected.height(); ++y)
            cmsDoTransform(transform, expected.row(y), expected.row(y), static_cast<cmsUInt32Number>(expected.width()));
        cmsDeleteTransform(transform);
        cmsCloseProfile(srgb);
        cmsCloseProfile(source);
        EXPECT_LE(maxDifference(blockToRgb(ours), blockToRgb(expected)), 1) << name << " in rows of " << width;
    }
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

} // namespace
} // namespace pictorand
