#include "codecs/common/buffered_byte_reader.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/file_reader.h"
#include "codecs/iff/byterun1.h"
#include "codecs/iff/iff.h"
#include "core/byte_order.h"
#include "core/checked_size.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace pictorand {

namespace {

constexpr uint32_t kCamgExtraHalfBrite = 0x80;
constexpr uint32_t kCamgHoldAndModify = 0x800;
constexpr uint32_t kBitmapHeaderSize = 20;
constexpr uint64_t kMaxColorMapBytes = 256 * 3;
constexpr uint32_t kShamLinePalettes = 200;
constexpr uint32_t kShamPaletteBytes = 32;
constexpr uint8_t kMaskingHasMask = 1;

// What the chunks said, up to the point where the picture can be decoded.
struct IffPicture {
    bool chunky = false;
    bool haveHeader = false;
    IffBitmapHeader header;
    bool haveCamg = false;
    uint32_t camg = 0;
    bool haveColorMap = false;
    uint64_t colorMapSize = 0;      // as the chunk declares
    std::vector<uint8_t> colorMap; // its first 256 entries at most
    bool haveSham = false;
    std::vector<uint8_t> sham;      // the line palettes, after the version word
    bool haveBody = false;
    uint64_t bodyOffset = 0;
    uint64_t bodySize = 0;
};

enum class PictureKind { Indexed, ExtraHalfBrite, Ham6, Ham8, SlicedHam, TrueColor };

bool readExact(std::FILE* file, uint8_t* out, size_t count) { return std::fread(out, 1, count, file) == count; }

bool seekTo(std::FILE* file, uint64_t position)
{
    return position <= static_cast<uint64_t>(INT64_MAX) && fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool isId(const uint8_t* bytes, const char* id) { return std::memcmp(bytes, id, 4) == 0; }

// Planes a block can be made from: 1 to 8 (indexed) and 24 (true colour).
bool supportedPlaneCount(uint32_t planes) { return (planes >= 1 && planes <= 8) || planes == 24; }

bool allSeen(const IffPicture& picture)
{
    return picture.haveHeader && (picture.haveColorMap || picture.header.planes == 24) && picture.haveBody;
}

// Walks the chunks until the header, the colour map (unless 24 planes) and the
// body have been seen. False refuses the file.
bool parseChunks(std::FILE* file, IffPicture& picture)
{
    std::array<uint8_t, 12> form{};
    const size_t got = std::fread(form.data(), 1, form.size(), file);
    Result<IffFormHeader> formHeader = checkIffFormHeader(std::span<const uint8_t>(form.data(), got));
    if (!formHeader)
        return false;
    picture.chunky = formHeader->chunky;

    uint64_t position = form.size();
    while (!allSeen(picture)) {
        std::array<uint8_t, 8> chunk{};
        if (!seekTo(file, position) || !readExact(file, chunk.data(), chunk.size()))
            return false;
        const uint32_t size = loadBE32(chunk.data() + 4);
        const uint64_t dataStart = position + chunk.size();
        const uint8_t* id = chunk.data();

        if (isId(id, "BMHD")) {
            std::array<uint8_t, kBitmapHeaderSize> data{};
            if (picture.haveHeader || size != kBitmapHeaderSize || !readExact(file, data.data(), data.size()))
                return false;
            Result<IffBitmapHeader> header = checkIffBitmapHeader(data, picture.chunky);
            if (!header)
                return false;
            picture.header = *header;
            picture.haveHeader = true;
        } else if (isId(id, "CAMG")) {
            std::array<uint8_t, 4> data{};
            if (!picture.haveHeader || size != 4 || !readExact(file, data.data(), data.size()))
                return false;
            picture.haveCamg = true;
            picture.camg = loadBE32(data.data());
        } else if (isId(id, "CMAP")) {
            if (!picture.haveHeader)
                return false;
            // Only 256 entries can ever be used; a larger map is cut.
            picture.colorMap.assign(static_cast<size_t>(std::min<uint64_t>(size, kMaxColorMapBytes)), 0);
            if (!readExact(file, picture.colorMap.data(), picture.colorMap.size()))
                return false;
            picture.colorMapSize = size;
            picture.haveColorMap = true;
        } else if (isId(id, "SHAM")) {
            std::array<uint8_t, 2> version{};
            if (size < 2 || !readExact(file, version.data(), version.size()) || loadBE16(version.data()) != 0)
                return false;
            const uint64_t most = uint64_t(kShamLinePalettes) * kShamPaletteBytes;
            picture.sham.assign(static_cast<size_t>(std::min<uint64_t>(size - 2, most)), 0);
            // A short SHAM leaves the missing line palettes black.
            picture.sham.resize(std::fread(picture.sham.data(), 1, picture.sham.size(), file));
            picture.haveSham = true;
        } else if (isId(id, "BODY")) {
            if (!picture.haveHeader)
                return false;
            picture.haveBody = true;
            picture.bodyOffset = dataStart;
            picture.bodySize = size;
        }
        position = dataStart + size + (size & 1);
    }
    return true;
}

// The picture kind, or false when the colour map does not fit any.
bool decideKind(const IffPicture& picture, PictureKind& kind)
{
    const uint32_t planes = picture.header.planes;
    if (planes == 24) {
        kind = PictureKind::TrueColor;
        return true;
    }
    uint32_t flags = picture.haveCamg ? picture.camg : 0;
    // Old HAM pictures carry no CAMG chunk; 6 planes without one were meant
    // for the hold-and-modify mode.
    if (planes == 6 && !picture.haveCamg)
        flags |= kCamgHoldAndModify;
    const uint64_t colors = uint64_t(1) << planes;
    const uint64_t mapSize = picture.colorMapSize;
    if ((flags & kCamgExtraHalfBrite) && mapSize == 3 * colors / 2)
        kind = PictureKind::ExtraHalfBrite;
    else if (planes == 6 && picture.haveSham)
        kind = PictureKind::SlicedHam; // a SHAM chunk means its line palettes replace the CMAP's
    else if (planes == 6 && (flags & kCamgHoldAndModify))
        kind = PictureKind::Ham6;
    else if ((flags & kCamgHoldAndModify) && mapSize == 192 && planes == 8)
        kind = PictureKind::Ham8;
    else if (mapSize >= 3)
        // Writers store only the colours a picture uses (netpbm's ppmtoilbm
        // among them), which the format allows; entries the map leaves out
        // are black and entries beyond the planes' reach are ignored.
        kind = PictureKind::Indexed;
    else
        return false;
    return true;
}

uint16_t blockBitCount(PictureKind kind, uint32_t planes)
{
    switch (kind) {
    case PictureKind::Indexed:
    case PictureKind::ExtraHalfBrite:
        return planes == 1 ? 1 : planes <= 4 ? 4 : 8;
    default:
        return 24;
    }
}

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

Rgb colorMapEntry(const std::vector<uint8_t>& map, size_t index)
{
    if (index * 3 + 3 > map.size())
        return {};
    return {map[index * 3], map[index * 3 + 1], map[index * 3 + 2]};
}

void fillColorTable(const IffPicture& picture, PictureKind kind, ImageBlock& block)
{
    const uint32_t colors = 1u << picture.header.planes;
    const uint32_t stored = kind == PictureKind::ExtraHalfBrite ? colors / 2 : colors;
    for (uint32_t i = 0; i < stored; ++i) {
        Rgb c = colorMapEntry(picture.colorMap, i);
        block.setColor(i, c.red, c.green, c.blue);
        if (kind == PictureKind::ExtraHalfBrite)
            block.setColor(i + stored, c.red >> 1, c.green >> 1, c.blue >> 1);
    }
}

// Reads the body row by row and turns it into the block's pixels.
class BodyDecoder {
public:
    BodyDecoder(const IffPicture& picture, PictureKind kind, ImageBlock& block, BoundedByteReader& source)
        : m_picture(picture)
        , m_header(picture.header)
        , m_kind(kind)
        , m_block(block)
        , m_source(source)
        , m_compressed(picture.header.compression == 1)
    {
    }

    // False when the body ended before the last row.
    bool decode();

private:
    bool readPlaneRow(std::span<uint8_t> out);
    bool readIndices();
    bool readTrueColorRow(int32_t y);
    void storeIndices(int32_t y);
    void storeHam(int32_t y);
    void prepareHamPalette();
    Rgb shamEntry(uint32_t line, uint32_t index) const;

    const IffPicture& m_picture;
    const IffBitmapHeader& m_header;
    PictureKind m_kind;
    ImageBlock& m_block;
    BoundedByteReader& m_source;
    const bool m_compressed;

    size_t m_planeRowBytes = 0;
    std::vector<uint8_t> m_planeRow;
    std::vector<uint8_t> m_indices; // one per pixel of the current row
    std::vector<Rgb> m_hamPalette;
    Rgb m_hamColor; // carried from row to row
    uint32_t m_shamLine = 0;
};

bool BodyDecoder::readPlaneRow(std::span<uint8_t> out)
{
    if (m_compressed)
        return decodeByteRun1Row(m_source, out) == out.size();
    return m_source.read(out.data(), out.size()) == out.size();
}

// One picture row into one byte per pixel, from the planes or the chunky row.
bool BodyDecoder::readIndices()
{
    std::fill(m_indices.begin(), m_indices.end(), uint8_t(0));
    if (m_picture.chunky) {
        // Chunky rows hold the width rounded up to an even count of bytes.
        std::span<uint8_t> row(m_planeRow.data(), (m_header.width + 1) / 2 * 2);
        bool complete = readPlaneRow(row);
        std::copy_n(row.begin(), m_header.width, m_indices.begin());
        return complete;
    }
    std::span<uint8_t> row(m_planeRow.data(), m_planeRowBytes);
    for (uint32_t plane = 0; plane < m_header.planes; ++plane) {
        std::fill(row.begin(), row.end(), uint8_t(0));
        bool complete = readPlaneRow(row);
        const auto bit = static_cast<uint8_t>(1u << plane);
        for (uint32_t x = 0; x < m_header.width; ++x) {
            if (row[x / 8] & (0x80 >> (x % 8)))
                m_indices[x] |= bit;
        }
        if (!complete)
            return false;
    }
    // The mask plane follows the picture's planes; nothing here uses it.
    if (m_header.masking == kMaskingHasMask)
        return readPlaneRow(row);
    return true;
}

void BodyDecoder::storeIndices(int32_t y)
{
    uint8_t* out = m_block.topRow(y);
    const uint32_t width = m_header.width;
    switch (m_block.bitCount()) {
    case 1:
        for (uint32_t x = 0; x < width; ++x) {
            if (m_indices[x] & 1)
                out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        break;
    case 4:
        for (uint32_t x = 0; x < width; ++x)
            out[x / 2] |= static_cast<uint8_t>((m_indices[x] & 0x0F) << (x % 2 == 0 ? 4 : 0));
        break;
    default:
        std::copy_n(m_indices.begin(), width, out);
        break;
    }
}

Rgb BodyDecoder::shamEntry(uint32_t line, uint32_t index) const
{
    const size_t at = size_t(line) * kShamPaletteBytes + size_t(index) * 2;
    if (at + 2 > m_picture.sham.size())
        return {};
    const uint16_t c = loadBE16(&m_picture.sham[at]);
    return {static_cast<uint8_t>(((c >> 8) & 0x0F) * 16), static_cast<uint8_t>(((c >> 4) & 0x0F) * 16),
            static_cast<uint8_t>((c & 0x0F) * 16)};
}

void BodyDecoder::prepareHamPalette()
{
    if (m_kind == PictureKind::Ham8) {
        // AGA palettes hold full 8-bit components.
        m_hamPalette.resize(64);
        for (size_t i = 0; i < m_hamPalette.size(); ++i)
            m_hamPalette[i] = colorMapEntry(m_picture.colorMap, i);
    } else if (m_kind == PictureKind::Ham6) {
        m_hamPalette.resize(16);
        for (size_t i = 0; i < m_hamPalette.size(); ++i) {
            Rgb c = colorMapEntry(m_picture.colorMap, i);
            m_hamPalette[i] = {static_cast<uint8_t>(c.red & 0xF0), static_cast<uint8_t>(c.green & 0xF0),
                               static_cast<uint8_t>(c.blue & 0xF0)};
        }
    }
}

void BodyDecoder::storeHam(int32_t y)
{
    uint8_t* out = m_block.topRow(y);
    Rgb color = m_hamColor;
    const bool ham8 = m_kind == PictureKind::Ham8;
    for (uint32_t x = 0; x < m_header.width; ++x, out += 3) {
        const uint8_t p = m_indices[x];
        if (ham8) {
            // Six bits of palette index or of the component's upper bits; the
            // component's lowest two bits are held.
            const uint32_t low = p & 0x3F;
            switch (p >> 6) {
            case 0: color = m_hamPalette[low]; break;
            case 1: color.blue = static_cast<uint8_t>((low << 2) | (color.blue & 3)); break;
            case 2: color.red = static_cast<uint8_t>((low << 2) | (color.red & 3)); break;
            default: color.green = static_cast<uint8_t>((low << 2) | (color.green & 3)); break;
            }
        } else {
            const uint32_t low = p & 0x0F;
            switch ((p >> 4) & 3) {
            case 0: color = m_kind == PictureKind::SlicedHam ? shamEntry(m_shamLine, low) : m_hamPalette[low]; break;
            case 1: color.blue = static_cast<uint8_t>(low * 16); break;
            case 2: color.red = static_cast<uint8_t>(low * 16); break;
            default: color.green = static_cast<uint8_t>(low * 16); break;
            }
        }
        out[0] = color.blue;
        out[1] = color.green;
        out[2] = color.red;
    }
    m_hamColor = color;

    if (m_kind == PictureKind::SlicedHam) {
        // One line palette per row up to 200 rows; taller (interlaced)
        // pictures share each palette between two rows.
        const uint32_t lines = std::min(m_header.height, kShamLinePalettes);
        if (m_header.height <= kShamLinePalettes || (y % 2) == 1)
            ++m_shamLine;
        if (m_shamLine >= lines)
            m_shamLine = 0;
    }
}

bool BodyDecoder::readTrueColorRow(int32_t y)
{
    uint8_t* out = m_block.topRow(y);
    std::span<uint8_t> row(m_planeRow.data(), m_planeRowBytes);
    bool complete = true;
    for (uint32_t plane = 0; plane < 24 && complete; ++plane) {
        std::fill(row.begin(), row.end(), uint8_t(0));
        complete = readPlaneRow(row);
        // Planes 0-7 red, 8-15 green, 16-23 blue, least significant first;
        // the block stores blue, green, red.
        const uint32_t component = 2 - plane / 8;
        const auto bit = static_cast<uint8_t>(1u << (plane % 8));
        for (uint32_t x = 0; x < m_header.width; ++x) {
            if (row[x / 8] & (0x80 >> (x % 8)))
                out[size_t(x) * 3 + component] |= bit;
        }
    }
    if (complete && m_header.masking == kMaskingHasMask)
        complete = readPlaneRow(row);
    return complete;
}

bool BodyDecoder::decode()
{
    // Plane rows hold the width rounded up to 16 pixels.
    m_planeRowBytes = ((m_header.width + 7) / 8 + 1) / 2 * 2;
    try {
        m_planeRow.assign(std::max<size_t>(m_planeRowBytes, m_header.width + 1), 0);
        m_indices.assign(m_header.width, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    prepareHamPalette();
    const auto height = static_cast<int32_t>(m_header.height);
    for (int32_t y = 0; y < height; ++y) {
        if (m_kind == PictureKind::TrueColor) {
            if (!readTrueColorRow(y))
                return false;
            continue;
        }
        bool complete = readIndices();
        if (m_kind == PictureKind::Indexed || m_kind == PictureKind::ExtraHalfBrite)
            storeIndices(y);
        else
            storeHam(y);
        if (!complete)
            return false;
    }
    return true;
}

} // namespace

Result<IffFormHeader> checkIffFormHeader(std::span<const uint8_t> file)
{
    if (file.size() < 12)
        return kIffTexts.failure(Reason::Truncated, IffFault::NotValid);
    if (!isId(file.data(), "FORM"))
        return kIffTexts.failure(Reason::NotThisFormat, IffFault::NotValid);
    return IffFormHeader{std::memcmp(file.data() + 8, "PBM", 3) == 0};
}

Result<IffBitmapHeader> checkIffBitmapHeader(std::span<const uint8_t> chunk, bool chunky)
{
    if (chunk.size() < kBitmapHeaderSize)
        return kIffTexts.failure(Reason::Truncated, IffFault::NotValid);
    IffBitmapHeader header;
    header.width = loadBE16(chunk.data());
    header.height = loadBE16(chunk.data() + 2);
    header.planes = chunk[8];
    header.masking = chunk[9];
    header.compression = chunk[10];
    if (header.compression > 1)
        return kIffTexts.failure(Reason::Unsupported, IffFault::NotValid);
    if (header.width == 0 || header.height == 0 || header.width > kIffMaxDimension || header.height > kIffMaxDimension)
        return kIffTexts.failure(Reason::BadDimensions, IffFault::NotValid);
    if (!supportedPlaneCount(header.planes))
        return kIffTexts.failure(Reason::Unsupported, IffFault::NotValid);
    // Chunky pictures are one byte per pixel; no writer makes other depths,
    // and reading them as bitplanes would only give noise.
    if (chunky && header.planes != 8)
        return kIffTexts.failure(Reason::Unsupported, IffFault::NotValid);
    return header;
}

namespace {

// The body bytes the header declares, the mask plane left out, and the most
// ByteRun1 makes of a byte: a 2-byte run packet gives 128.
uint64_t declaredBodyBytes(const IffPicture& picture)
{
    const IffBitmapHeader& header = picture.header;
    if (picture.chunky)
        return uint64_t((header.width + 1u) & ~1u) * header.height;
    return uint64_t((header.width + 15u) / 16u * 2u) * header.planes * header.height;
}
constexpr uint64_t kBestByteRun1Ratio = 64;

} // namespace

Result<DecodedImage> readIff(const std::string& path)
{
    OpenFile file(path, "rb");
    if (!file)
        return cantOpenFile(path);
    IffPicture picture;
    PictureKind kind = PictureKind::Indexed;
    try {
        if (!parseChunks(file.get(), picture) || !decideKind(picture, kind))
            return kIffTexts.failure(Reason::CorruptData, IffFault::NotValid);
    } catch (const std::bad_alloc&) {
        return Failure{Reason::OutOfMemory, kCantReadData};
    }

    const std::optional<uint64_t> fileSize = file.size();
    const uint64_t held = fileSize && *fileSize > picture.bodyOffset
                              ? std::min(*fileSize - picture.bodyOffset, picture.bodySize)
                              : 0;
    if (fileSize && !couldFillEnoughOf(declaredBodyBytes(picture), held,
                                       picture.header.compression == 1 ? kBestByteRun1Ratio : 1))
        return Failure{Reason::CorruptData, farTooSmall(kIffTexts[IffFault::NotValid])};
    const uint16_t bitCount = blockBitCount(kind, picture.header.planes);
    DecodedImage decoded;
    decoded.block = ImageBlock::create(static_cast<int32_t>(picture.header.width),
                                       static_cast<int32_t>(picture.header.height), bitCount,
                                       bitCount < 24 ? 1u << bitCount : 0);
    ImageBlock& block = decoded.block;
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    if (bitCount < 24)
        fillColorTable(picture, kind, block);
    decoded.compression = picture.header.compression == 1 ? kRunLengthEncoding : "None";

    // A body that cannot be read to its end leaves a partial picture.
    if (!seekTo(file.get(), picture.bodyOffset)) {
        decoded.warning = kCantReadData;
        return decoded;
    }
    BufferedByteReader buffered(file);
    if (!buffered) {
        decoded.warning = kCantReadData;
        return decoded;
    }
    BoundedByteReader body(buffered, picture.bodySize);
    BodyDecoder decoder(picture, kind, block, body);
    if (!decoder.decode())
        decoded.warning = kCantReadData;
    return decoded;
}

} // namespace pictorand
