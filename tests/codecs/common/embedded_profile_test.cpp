// The WebP, HEIC, AVIF and JPEG XL readers hand over an embedded ICC profile
// whole, and none for pictures in sRGB (a JPEG XL file in another colour
// space given by numbers gets the profile libjxl makes for it, but for the
// high dynamic range curves).

#include "codecs/avif/avif.h"
#include "codecs/heif/heif.h"
#include "codecs/jxl/jxl.h"
#include "codecs/webp/webp.h"
#include "ops/colour_profile.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

Result<DecodedImage> readWebpFile(const std::string& path, const LibraryReadOptions& options)
{
    return readWebp(path, options.keepAlpha);
}

TEST(EmbeddedProfiles, ReportedWholeAndOnlyWhenThere)
{
    struct Case {
        Result<DecodedImage> (*read)(const std::string&, const LibraryReadOptions&);
        const char* folder;
        const char* fixture;
        size_t profileSize; // the fixture script embeds a 564-byte profile
    };
    const Case cases[] = {
        {readWebpFile, "webp", "icc.webp", 564}, {readWebpFile, "webp", "lossy.webp", 0},
        {readHeif, "heif", "icc.heic", 564}, {readHeif, "heif", "lossy.heic", 0},
        {readAvif, "avif", "icc.avif", 564}, {readAvif, "avif", "lossy.avif", 0},
        {readJpegXl, "jxl", "icc.jxl", 564}, {readJpegXl, "jxl", "rotated.jxl", 0},
    };
    for (const Case& c : cases) {
        Result<DecodedImage> read = c.read(testing::fixture(c.folder, c.fixture), {});
        ASSERT_TRUE(read) << c.fixture;
        const std::vector<uint8_t>& profile = read->iccProfile;
        ASSERT_EQ(profile.size(), c.profileSize) << c.fixture;
        if (profile.empty())
            continue;
        // A profile's header gives its own length and its signature.
        const size_t declared =
            size_t(profile[0]) << 24 | size_t(profile[1]) << 16 | size_t(profile[2]) << 8 | profile[3];
        EXPECT_EQ(declared, profile.size()) << c.fixture;
        EXPECT_EQ(std::string(profile.begin() + 36, profile.begin() + 40), "acsp") << c.fixture;
    }
}

// Colours given by code points instead of a profile (AVIF), or with a curve
// the profile libjxl makes cannot show (JPEG XL), are converted by them, the
// high dynamic range ones brought to the display's range.
TEST(EmbeddedProfiles, ColoursNamedByCodePointsReachSrgbAsTheirFormulasSay)
{
    // From tests/codecs/coded-colours-reference.py.
    using Colours = uint8_t[8][3];
    constexpr Colours displayP3 = {{215, 93, 31}, {0, 183, 78}, {90, 90, 207}, {128, 128, 128},
                                   {236, 199, 143}, {17, 61, 38}, {250, 250, 250}, {108, 35, 145}};
    constexpr Colours bt2020 = {{246, 94, 50}, {0, 197, 91}, {91, 103, 214}, {140, 140, 140},
                                {251, 202, 153}, {1, 78, 54}, {251, 251, 251}, {132, 40, 157}};
    constexpr Colours pq = {{224, 90, 46}, {246, 246, 246}, {255, 255, 249}, {255, 255, 255},
                            {60, 60, 60}, {108, 176, 110}, {255, 255, 255}, {0, 29, 63}};
    constexpr Colours hlg = {{159, 99, 69}, {165, 165, 165}, {229, 186, 165}, {247, 247, 247},
                             {75, 75, 75}, {109, 136, 107}, {255, 255, 255}, {0, 47, 78}};
    struct Case {
        Result<DecodedImage> (*read)(const std::string&, const LibraryReadOptions&);
        const char* folder;
        const char* fixture;
        const Colours& srgb;
    };
    const Case cases[] = {
        {readAvif, "avif", "display-p3.avif", displayP3},
        {readAvif, "avif", "bt2020.avif", bt2020},
        {readAvif, "avif", "pq.avif", pq},
        {readAvif, "avif", "hlg.avif", hlg},
        // libheif reads AVIF too, and gives the code points through its own call.
        {readHeif, "avif", "display-p3.avif", displayP3},
        {readHeif, "avif", "pq.avif", pq},
        {readJpegXl, "jxl", "pq.jxl", pq},
        {readJpegXl, "jxl", "hlg.jxl", hlg},
    };
    for (const Case& c : cases) {
        Result<DecodedImage> read = c.read(testing::fixture(c.folder, c.fixture), {});
        ASSERT_TRUE(read) << c.fixture;
        ASSERT_EQ(convertToSrgb(read->block, read->iccProfile), ProfileConversion::Converted) << c.fixture;
        const testing::RgbImage pixels = testing::blockToRgb(read->block);
        ASSERT_EQ(pixels.rgb.size(), sizeof c.srgb) << c.fixture;
        for (size_t i = 0; i < pixels.rgb.size(); ++i)
            EXPECT_NEAR(pixels.rgb[i], c.srgb[i / 3][i % 3], 2) << c.fixture << " sample " << i;
    }
}

} // namespace
} // namespace pictorand
