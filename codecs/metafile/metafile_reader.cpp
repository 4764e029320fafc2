#include "codecs/metafile/metafile.h"

#include "codecs/common/span_reader.h"
#include "codecs/common/whole_file.h"
#include "codecs/metafile/walkers.h"
#include "core/image_block.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pictorand::metafile {

namespace {

constexpr uint32_t kEnhancedSignature = 0x464D4520; // " EMF"
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableHeaderSize = 22;
constexpr size_t kWindowsHeaderSize = 18;
constexpr uint32_t EMR_EOF = 14;

// Natural sizes above this are refused as nonsense rather than handed on.
constexpr int kMaxPictureSide = 1 << 20;

Failure invalid(MetafileFault fault = MetafileFault::NotValid)
{
    return kMetafileTexts.failure(Reason::NotThisFormat, fault);
}

// The standard 16-bit header at `offset`: type 1 (memory) or 2 (disk),
// nine words long. Its size field counts words; writers that get it wrong
// are common, so the records end at the file's end when it says more.
bool readWindowsHeader(std::span<const uint8_t> file, size_t offset, Header& header)
{
    SpanReader reader(file);
    if (!reader.seek(offset))
        return false;
    const uint16_t type = reader.u16le();
    const uint16_t headerWords = reader.u16le();
    reader.u16le(); // version
    const uint32_t sizeWords = reader.u32le();
    header.objectCount = reader.u16le();
    reader.u32le(); // largest record
    reader.u16le(); // unused
    if (!reader.ok() || (type != 1 && type != 2) || headerWords != 9)
        return false;
    header.recordsOffset = offset + kWindowsHeaderSize;
    const uint64_t declaredEnd = offset + uint64_t(sizeWords) * 2;
    header.recordsEnd = static_cast<size_t>(
        declaredEnd > header.recordsOffset ? std::min<uint64_t>(declaredEnd, file.size()) : file.size());
    return true;
}

// The first SetWindowOrg and SetWindowExt of a plain file's records, which
// stand for the size it does not otherwise state.
void findWindow(std::span<const uint8_t> file, Header& header)
{
    SpanReader reader(file.subspan(0, header.recordsEnd));
    reader.seek(header.recordsOffset);
    bool haveOrigin = false;
    bool haveExtent = false;
    for (int walked = 0; walked < 100000 && !(haveOrigin && haveExtent); ++walked) {
        const size_t start = reader.position();
        const uint32_t words = reader.u32le();
        const uint16_t function = reader.u16le();
        if (!reader.ok() || words < 3 || function == 0)
            break;
        const uint64_t end = start + uint64_t(words) * 2;
        if (end > reader.size())
            break;
        if ((function == 0x020B || function == 0x020C) && words >= 5) {
            const int16_t y = reader.i16le();
            const int16_t x = reader.i16le();
            if (function == 0x020B && !haveOrigin) {
                header.windowLeft = x;
                header.windowTop = y;
                haveOrigin = true;
            } else if (function == 0x020C && !haveExtent) {
                header.windowWidth = x;
                header.windowHeight = y;
                haveExtent = true;
            }
        }
        reader.seek(static_cast<size_t>(end));
    }
}

} // namespace

int32_t scaleExtent(int64_t extent, int64_t pixels, int64_t hundredths)
{
    if (hundredths == 0)
        return 0;
    const long double exact = static_cast<long double>(extent) * static_cast<long double>(pixels)
        / static_cast<long double>(hundredths);
    const long double rounded = std::round(exact);
    return static_cast<int32_t>(std::clamp<long double>(rounded, -2147483647.0L, 2147483647.0L));
}

Result<Header> readHeader(std::span<const uint8_t> file)
{
    Header header;
    SpanReader reader(file);
    // The enhanced signature sits at byte 40, inside the first record.
    if (file.size() >= 88) {
        reader.seek(40);
        if (reader.u32le() == kEnhancedSignature) {
            reader.seek(0);
            const uint32_t type = reader.u32le();
            const uint32_t size = reader.u32le();
            header.kind = Kind::Enhanced;
            header.boundsLeft = reader.i32le();
            header.boundsTop = reader.i32le();
            header.boundsRight = reader.i32le();
            header.boundsBottom = reader.i32le();
            header.frameLeft = reader.i32le();
            header.frameTop = reader.i32le();
            header.frameRight = reader.i32le();
            header.frameBottom = reader.i32le();
            reader.u32le(); // signature
            reader.u32le(); // version
            reader.u32le(); // bytes
            reader.u32le(); // records
            header.handleCount = reader.u16le();
            reader.u16le(); // reserved
            reader.u32le(); // description length
            reader.u32le(); // description offset
            reader.u32le(); // palette entries
            header.devicePixelsX = reader.i32le();
            header.devicePixelsY = reader.i32le();
            header.deviceMillimetresX = reader.i32le();
            header.deviceMillimetresY = reader.i32le();
            if (!reader.ok() || type != 1 || size < 88 || size > file.size() || size % 4 != 0)
                return invalid();
            // Writers that leave the frame empty still say where they drew.
            if (header.frameRight <= header.frameLeft || header.frameBottom <= header.frameTop) {
                const double mmX = header.devicePixelsX > 0 && header.deviceMillimetresX > 0
                    ? 100.0 * header.deviceMillimetresX / header.devicePixelsX
                    : 2540.0 / 96;
                const double mmY = header.devicePixelsY > 0 && header.deviceMillimetresY > 0
                    ? 100.0 * header.deviceMillimetresY / header.devicePixelsY
                    : 2540.0 / 96;
                // A hostile device size can make these any size at all.
                auto hundredths = [](double value) { return static_cast<int32_t>(std::clamp(value, -2e9, 2e9)); };
                header.frameLeft = hundredths(header.boundsLeft * mmX);
                header.frameTop = hundredths(header.boundsTop * mmY);
                header.frameRight = hundredths((header.boundsRight + 1.0) * mmX);
                header.frameBottom = hundredths((header.boundsBottom + 1.0) * mmY);
            }
            return header;
        }
    }
    reader.seek(0);
    if (reader.u32le() == kPlaceableKey) {
        header.kind = Kind::Placeable;
        reader.u16le(); // handle
        const int16_t left = reader.i16le();
        const int16_t top = reader.i16le();
        const int16_t right = reader.i16le();
        const int16_t bottom = reader.i16le();
        const uint16_t unitsPerInch = reader.u16le();
        if (!reader.ok() || unitsPerInch == 0)
            return invalid();
        if (!readWindowsHeader(file, kPlaceableHeaderSize, header))
            return invalid(MetafileFault::SetMetaFileBitsFailed);
        header.frameRight = scaleExtent(int64_t(right) - left, 2540, unitsPerInch);
        header.frameBottom = scaleExtent(int64_t(bottom) - top, 2540, unitsPerInch);
        header.windowLeft = left;
        header.windowTop = top;
        header.windowWidth = right - left;
        header.windowHeight = bottom - top;
        return header;
    }
    header.kind = Kind::Plain;
    if (!readWindowsHeader(file, 0, header))
        return invalid(MetafileFault::GetMetaFileFailed);
    findWindow(file, header);
    if (header.windowWidth == 0 || header.windowHeight == 0) {
        header.windowLeft = header.windowTop = 0;
        header.windowWidth = 640;
        header.windowHeight = 480;
        header.frameRight = scaleExtent(640, 2540, 96);
        header.frameBottom = scaleExtent(480, 2540, 96);
    } else {
        header.frameRight = scaleExtent(std::abs(header.windowWidth), 2540, 1440);
        header.frameBottom = scaleExtent(std::abs(header.windowHeight), 2540, 1440);
    }
    return header;
}

ReferenceDevice referenceDevice(const Header& header)
{
    auto plausible = [](int64_t pixels, int64_t millimetres) {
        // 50 <= pixels / (millimetres / 25.4) <= 1200
        return pixels > 0 && millimetres > 0 && pixels * 254 >= 500 * millimetres && pixels * 254 <= 12000 * millimetres;
    };
    if (header.kind != Kind::Enhanced || !plausible(header.devicePixelsX, header.deviceMillimetresX)
        || !plausible(header.devicePixelsY, header.deviceMillimetresY))
        return {};
    return {header.devicePixelsX, int64_t(header.deviceMillimetresX) * 100, header.devicePixelsY,
            int64_t(header.deviceMillimetresY) * 100};
}

int pictureWidth(const Header& header)
{
    const ReferenceDevice device = referenceDevice(header);
    return scaleExtent(int64_t(header.frameRight) - header.frameLeft, device.pixelsX, device.hundredthsX);
}

int pictureHeight(const Header& header)
{
    const ReferenceDevice device = referenceDevice(header);
    return scaleExtent(int64_t(header.frameBottom) - header.frameTop, device.pixelsY, device.hundredthsY);
}

std::vector<Colour> picturePalette(std::span<const uint8_t> file, const Header& header)
{
    std::vector<Colour> palette;
    if (header.kind != Kind::Enhanced)
        return palette;
    // The palette is at the end record, the last in the file; walk to it.
    SpanReader reader(file);
    for (int walked = 0; walked < 10'000'000; ++walked) {
        const size_t start = reader.position();
        const uint32_t type = reader.u32le();
        const uint32_t size = reader.u32le();
        if (!reader.ok() || size < 8 || size % 4 != 0 || size > reader.size() - start)
            return palette;
        if (type == EMR_EOF) {
            const uint32_t count = reader.u32le();
            const uint32_t offset = reader.u32le();
            if (!reader.ok() || count == 0 || count > 65536 || offset > size || (size - offset) / 4 < count)
                return palette;
            SpanReader entries(file.subspan(start + offset, uint64_t(count) * 4));
            for (uint32_t i = 0; i < count; ++i) {
                Colour c;
                c.red = entries.u8();
                c.green = entries.u8();
                c.blue = entries.u8();
                entries.u8();
                palette.push_back(c);
            }
            return palette;
        }
        reader.seek(start + size);
    }
    return palette;
}

const char* compressionText(Kind kind)
{
    return kind == Kind::Enhanced ? kEnhancedMetafileText : kWindowsMetafileText;
}

const char* kindText(Kind kind)
{
    switch (kind) {
    case Kind::Enhanced:
        return "enhanced metafile";
    case Kind::Placeable:
        return "placeable Windows metafile";
    case Kind::Plain:
        break;
    }
    return "Windows metafile";
}

Result<Drawing> playMetafile(std::span<const uint8_t> file, Limits limits)
{
    Result<Header> header = readHeader(file);
    if (!header)
        return header.failure();
    const int width = pictureWidth(*header);
    const int height = pictureHeight(*header);
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return invalid();
    try {
        Drawing drawing;
        drawing.kind = header->kind;
        drawing.width = width;
        drawing.height = height;
        drawing.palette = picturePalette(file, *header);
        if (header->kind == Kind::Enhanced)
            walkEnhanced(file, *header, drawing, limits);
        else
            walkWindows(file, *header, drawing, limits);
        return drawing;
    } catch (const std::bad_alloc&) {
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    } catch (...) {
        return invalid();
    }
}

Result<Drawing> readMetafile(const std::string& path, std::string& compression)
{
    compression = kWindowsMetafileText;
    WholeFile file;
    if (!file.open(path))
        return Failure{Reason::CantOpenFile, kCantOpenFile};
    Result<Header> header = readHeader(file.bytes());
    if (header)
        compression = compressionText(header->kind);
    return playMetafile(file.bytes());
}

} // namespace pictorand::metafile
