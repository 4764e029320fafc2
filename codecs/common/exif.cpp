#include "codecs/common/exif.h"

#include "codecs/common/span_reader.h"

#include <cstring>

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

} // namespace

int exifOrientation(std::span<const uint8_t> tiffData)
{
    if (tiffData.size() < 8)
        return 1;
    const bool bigEndian = tiffData[0] == 'M' && tiffData[1] == 'M';
    if (!bigEndian && !(tiffData[0] == 'I' && tiffData[1] == 'I'))
        return 1;
    TiffReader tiff(tiffData, bigEndian);
    tiff.reader().skip(2);
    if (tiff.u16() != 42)
        return 1;
    if (!tiff.reader().seek(tiff.u32()))
        return 1;
    const uint16_t entries = tiff.u16();
    for (uint16_t i = 0; i < entries && tiff.reader().ok(); ++i) {
        const uint16_t tag = tiff.u16();
        const uint16_t type = tiff.u16();
        const uint32_t count = tiff.u32();
        // A short's value sits in the first two bytes of the value field.
        const uint16_t value = tiff.u16();
        tiff.reader().skip(2);
        if (tiff.reader().ok() && tag == kOrientationTag && type == kShortType && count >= 1)
            return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

int exifOrientationOfApp1(std::span<const uint8_t> segment)
{
    static constexpr uint8_t kExifName[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (segment.size() < sizeof kExifName || std::memcmp(segment.data(), kExifName, sizeof kExifName) != 0)
        return 1;
    return exifOrientation(segment.subspan(sizeof kExifName));
}

} // namespace pictorand
