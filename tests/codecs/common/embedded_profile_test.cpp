// The WebP, HEIC, AVIF and JPEG XL readers hand over an embedded ICC profile
// whole, and none for pictures in sRGB (a JPEG XL file in another colour
// space given by numbers gets the profile libjxl makes for it).

#include "codecs/avif/avif.h"
#include "codecs/heif/heif.h"
#include "codecs/jxl/jxl.h"
#include "codecs/webp/webp.h"
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
        {readHeif, "heif", "icc.heic", 564},     {readHeif, "heif", "lossy.heic", 0},
        {readAvif, "avif", "icc.avif", 564},     {readAvif, "avif", "lossy.avif", 0},
        {readJpegXl, "jxl", "icc.jxl", 564},     {readJpegXl, "jxl", "rotated.jxl", 0},
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

} // namespace
} // namespace pictorand
