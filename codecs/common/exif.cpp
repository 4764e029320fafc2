#include "codecs/common/exif.h"

#include "codecs/common/span_reader.h"

#include <cstring>
#include <optional>

namespace pictorand {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;

class TiffReader {
public:
    TiffReader(std::span<const uint8_t> bytes, bool bigEndian)
        : m_reader(bytes)
        , m_bigEndian(bigEndian)
    {
    }
    SpanReader& reader() { return m_reader; }
    uint16_t u16() { return m_bigEndian ? m_reader.u16be() : m_reader.u16le(); }
    uint32_t u32() { return m_bigEndian ? m_reader.u32be() : m_reader.u32le(); }

private:
    SpanReader m_reader;
    bool m_bigEndian;
};

// Where IFD0's Orientation value (a short, in the value field's first two
// bytes) sits in the TIFF data; nothing when there is no such entry.
std::optional<size_t> orientationValueOffset(std::span<const uint8_t> tiffData, bool& bigEndian)
{
    if (tiffData.size() < 8)
        return std::nullopt;
    bigEndian = tiffData[0] == 'M' && tiffData[1] == 'M';
    if (!bigEndian && !(tiffData[0] == 'I' && tiffData[1] == 'I'))
        return std::nullopt;
    TiffReader tiff(tiffData, bigEndian);
    tiff.reader().skip(2);
    if (tiff.u16() != 42)
        return std::nullopt;
    if (!tiff.reader().seek(tiff.u32()))
        return std::nullopt;
    const uint16_t entries = tiff.u16();
    for (uint16_t i = 0; i < entries && tiff.reader().ok(); ++i) {
        const uint16_t tag = tiff.u16();
        const uint16_t type = tiff.u16();
        const uint32_t count = tiff.u32();
        const size_t valueAt = tiff.reader().position();
        tiff.reader().skip(4);
        if (tiff.reader().ok() && tag == kOrientationTag && type == kShortType && count >= 1)
            return valueAt;
    }
    return std::nullopt;
}

constexpr uint8_t kExifName[6] = {'E', 'x', 'i', 'f', 0, 0};

bool isExifSegment(std::span<const uint8_t> segment)
{
    return segment.size() >= sizeof kExifName && std::memcmp(segment.data(), kExifName, sizeof kExifName) == 0;
}

} // namespace

int exifOrientation(std::span<const uint8_t> tiffData)
{
    bool bigEndian = false;
    const std::optional<size_t> at = orientationValueOffset(tiffData, bigEndian);
    if (!at)
        return 1;
    const uint8_t* v = tiffData.data() + *at;
    const int value = bigEndian ? v[0] << 8 | v[1] : v[1] << 8 | v[0];
    return value >= 1 && value <= 8 ? value : 1;
}

bool setExifOrientationUpright(std::span<uint8_t> tiffData)
{
    bool bigEndian = false;
    const std::optional<size_t> at = orientationValueOffset(tiffData, bigEndian);
    if (!at)
        return false;
    tiffData[*at] = bigEndian ? 0 : 1;
    tiffData[*at + 1] = bigEndian ? 1 : 0;
    return true;
}

bool setExifOrientationUprightInApp1(std::span<uint8_t> segment)
{
    return isExifSegment(segment) && setExifOrientationUpright(segment.subspan(sizeof kExifName));
}

int exifOrientationOfApp1(std::span<const uint8_t> segment)
{
    return isExifSegment(segment) ? exifOrientation(segment.subspan(sizeof kExifName)) : 1;
}

} // namespace pictorand
