#include "codecs/common/exif.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pictorand {
namespace {

// EXIF TIFF data with one IFD0 entry, built in either byte order.
std::vector<uint8_t> exifWith(bool bigEndian, uint16_t tag, uint16_t type, uint32_t count, uint16_t value,
                              uint32_t ifdOffset = 8)
{
    std::vector<uint8_t> bytes;
    auto put16 = [&](uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(bigEndian ? v >> 8 : v));
        bytes.push_back(static_cast<uint8_t>(bigEndian ? v : v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(static_cast<uint16_t>(bigEndian ? v >> 16 : v));
        put16(static_cast<uint16_t>(bigEndian ? v : v >> 16));
    };
    bytes.push_back(bigEndian ? 'M' : 'I');
    bytes.push_back(bigEndian ? 'M' : 'I');
    put16(42);
    put32(ifdOffset);
    put16(1);
    put16(tag);
    put16(type);
    put32(count);
    put16(value);
    put16(0);
    put32(0);
    return bytes;
}

struct ExifCase {
    const char* name;
    std::vector<uint8_t> data;
    int orientation;
};

TEST(Exif, OrientationOfIfdZero)
{
    const ExifCase cases[] = {
        {"little-endian", exifWith(false, 0x0112, 3, 1, 6), 6},
        {"big-endian", exifWith(true, 0x0112, 3, 1, 8), 8},
        {"other tag only", exifWith(false, 0x0110, 3, 1, 6), 1},
        {"value out of range", exifWith(false, 0x0112, 3, 1, 9), 1},
        {"not a short", exifWith(false, 0x0112, 4, 1, 6), 1},
        {"directory past the end", exifWith(false, 0x0112, 3, 1, 6, 4000), 1},
        {"cut inside the entry", [] { auto d = exifWith(false, 0x0112, 3, 1, 6); d.resize(16); return d; }(), 1},
        {"no byte order", [] { auto d = exifWith(false, 0x0112, 3, 1, 6); d[0] = 'X'; return d; }(), 1},
    };
    for (const ExifCase& c : cases)
        EXPECT_EQ(exifOrientation(c.data), c.orientation) << c.name;
}

TEST(Exif, App1SegmentsOtherThanExifAreUpright)
{
    const std::vector<uint8_t> tiff = exifWith(false, 0x0112, 3, 1, 3);
    std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
    exif.insert(exif.end(), tiff.begin(), tiff.end());
    EXPECT_EQ(exifOrientationOfApp1(exif), 3);
    const std::string xmp = "http://ns.adobe.com/xap/1.0/";
    EXPECT_EQ(exifOrientationOfApp1(std::vector<uint8_t>(xmp.begin(), xmp.end())), 1);
}

} // namespace
} // namespace pictorand
