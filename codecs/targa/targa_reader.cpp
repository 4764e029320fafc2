#include "codecs/common/alpha_composite.h"
#include "codecs/common/buffered_byte_reader.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/run_length.h"
#include "codecs/common/span_reader.h"
#include "codecs/common/whole_file.h"
#include "codecs/targa/targa.h"
#include "core/codec_registry.h"
#include "core/sample_scale.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace pictorand {

namespace {

constexpr size_t kTargaHeaderSize = 18;

uint8_t widenFive(unsigned value) { return toEightBits(value & 0x1F, 31); }

// A colour as the file stores it (map entries and true-colour pixels alike):
// 15 or 16 bits (5-5-5, the top bit alpha), 24 bits blue, green, red, or 32
// with alpha last.
struct Colour {
    uint8_t blue = 0, green = 0, red = 0, alpha = 255;
};

Colour colourAt(const uint8_t* at, unsigned bits)
{
    if (bits == 15 || bits == 16) {
        const unsigned c = loadLE16(at);
        return {widenFive(c), widenFive(c >> 5), widenFive(c >> 10), static_cast<uint8_t>(c & 0x8000 ? 255 : 0)};
    }
    return {at[0], at[1], at[2], bits == 32 ? at[3] : uint8_t(255)};
}

unsigned bytesFor(unsigned bits) { return bits == 15 ? 2 : bits / 8; }

// The colour map as the pixels index it (entry 0 is the file's first entry).
std::vector<Colour> readColourMap(const TargaHeader& header, std::span<const uint8_t> file)
{
    std::vector<Colour> map;
    if (!header.colorMapped())
        return map;
    SpanReader in(file);
    in.skip(kTargaHeaderSize + header.idLength);
    const unsigned entryBytes = bytesFor(header.entrySize);
    // A short map leaves the missing entries black.
    map.resize(size_t(header.firstEntry) + header.colorMapLength);
    for (uint32_t i = 0; i < header.colorMapLength; ++i) {
        auto entry = in.bytes(entryBytes);
        if (entry.empty())
            break;
        map[header.firstEntry + i] = colourAt(entry.data(), header.entrySize);
        // Only 32-bit entries carry a real alpha; the top bit of 16-bit ones
        // is left to chance by writers.
        if (header.entrySize != 32)
            map[header.firstEntry + i].alpha = 255;
    }
    return map;
}

uint64_t pixelDataOffset(const TargaHeader& header)
{
    uint64_t offset = kTargaHeaderSize + header.idLength;
    if (header.colorMapType != 0)
        offset += uint64_t(bytesFor(header.entrySize)) * header.colorMapLength;
    return offset;
}

// The fourth byte of 32-bit pixels and the second of 16-bit greys are alpha
// whatever the descriptor's attribute-bit count says: many writers leave the
// count at 0, and ImageMagick, Pillow and netpbm all blend by those bytes.
// The top bit of a 16-bit colour is alpha only when the count says so, as
// writers leave it to chance otherwise. Either way alpha counts only when
// some pixel has any: writers that leave every alpha at 0 mean an opaque
// picture.
bool mayHaveAlpha(const TargaHeader& header)
{
    const unsigned attributeBits = header.descriptor & 0x0F;
    if (header.greyscale())
        return header.pixelDepth == 16;
    if (header.colorMapped())
        return false; // the map's alpha is applied to the map
    return header.pixelDepth == 32 || (attributeBits > 0 && header.pixelDepth == 16);
}

// Turns the file pixels of a row into block samples: indexes and greys for
// 8-bit blocks, blue, green, red for 24-bit ones, and the alpha of each
// pixel into `alpha` when the file has one.
class RowConverter {
public:
    RowConverter(const TargaHeader& header, const std::vector<Colour>& map)
        : m_header(header), m_map(map)
    {
    }

    void convert(const uint8_t* pixels, uint8_t* row, uint8_t* alpha, size_t width) const
    {
        const unsigned depth = m_header.pixelDepth;
        if (m_header.greyscale()) {
            for (size_t x = 0; x < width; ++x) {
                row[x] = pixels[x * bytesFor(depth)];
                if (alpha && depth == 16)
                    alpha[x] = pixels[x * 2 + 1];
            }
            return;
        }
        if (m_header.colorMapped() && m_header.blockDepth() == 8) {
            std::memmove(row, pixels, width);
            return;
        }
        for (size_t x = 0; x < width; ++x) {
            Colour colour = m_header.colorMapped() ? mapped(pixels + x * bytesFor(depth))
                                                   : colourAt(pixels + x * bytesFor(depth), depth);
            row[x * 3] = colour.blue;
            row[x * 3 + 1] = colour.green;
            row[x * 3 + 2] = colour.red;
            if (alpha)
                alpha[x] = colour.alpha;
        }
    }

private:
    Colour mapped(const uint8_t* at) const
    {
        const size_t index = m_header.pixelDepth == 16 ? loadLE16(at) : at[0];
        return index < m_map.size() ? m_map[index] : Colour{0, 0, 0, 255};
    }

    const TargaHeader& m_header;
    const std::vector<Colour>& m_map;
};

// Rows stored right to left are turned round once converted, pixels and
// alpha alike.
void mirrorRow(uint8_t* row, uint8_t* alpha, size_t width, unsigned channels)
{
    for (size_t left = 0, right = width - 1; left < right; ++left, --right) {
        std::swap_ranges(row + left * channels, row + (left + 1) * channels, row + right * channels);
        if (alpha)
            std::swap(alpha[left], alpha[right]);
    }
}

void convertRow(const TargaHeader& header, const RowConverter& converter, const uint8_t* pixels, uint8_t* row,
                uint8_t* alpha)
{
    converter.convert(pixels, row, alpha, header.width);
    if (header.rightFirst())
        mirrorRow(row, alpha, header.width, header.blockDepth() / 8u);
}

// Row y of the file, counted in file order, in the block.
uint8_t* blockRow(ImageBlock& block, const TargaHeader& header, int32_t y)
{
    return header.topFirst() ? block.topRow(y) : block.row(y);
}

struct AlphaPlane {
    std::vector<uint8_t> values; // empty: the file has no alpha
    size_t width = 0;
    uint8_t* rowFor(const TargaHeader& header, int32_t y)
    {
        if (values.empty())
            return nullptr;
        // Kept in block order, like the rows.
        const size_t blockY = header.topFirst() ? size_t(header.height) - 1 - size_t(y) : size_t(y);
        return values.data() + blockY * width;
    }
};

bool readUncompressed(ImageBlock& block, const TargaHeader& header, const RowConverter& converter,
                      AlphaPlane& alpha, std::span<const uint8_t> data)
{
    const size_t width = header.width;
    const size_t rowBytes = width * header.pixelBytes();
    SpanReader in(data);
    for (int32_t y = 0; y < header.height; ++y) {
        auto pixels = in.bytes(rowBytes);
        if (pixels.empty())
            return false;
        convertRow(header, converter, pixels.data(), blockRow(block, header, y), alpha.rowFor(header, y));
    }
    return true;
}

bool readRunLength(ImageBlock& block, const TargaHeader& header, const RowConverter& converter, AlphaPlane& alpha,
                   std::span<const uint8_t> data)
{
    const size_t width = header.width;
    std::vector<uint8_t> scratch(width * header.pixelBytes());
    BufferedByteReader source(data);
    if (!source)
        return false;
    TargaPacketDecoder decoder(header.pixelBytes());
    // Packets run on across rows; whatever follows the last row is ignored.
    for (int32_t y = 0; y < header.height; ++y) {
        if (!decoder.decode(source, scratch.data(), width))
            return false;
        convertRow(header, converter, scratch.data(), blockRow(block, header, y), alpha.rowFor(header, y));
    }
    return true;
}

// Blends the picture over white by its alpha, unless no pixel has any.
void applyAlpha(ImageBlock& block, const AlphaPlane& alpha)
{
    if (std::all_of(alpha.values.begin(), alpha.values.end(), [](uint8_t a) { return a == 0; }))
        return;
    const int channels = block.bitCount() == 24 ? 3 : 1;
    for (int32_t y = 0; y < block.height(); ++y) {
        uint8_t* row = block.row(y);
        const uint8_t* a = alpha.values.data() + size_t(y) * alpha.width;
        for (size_t x = 0; x < alpha.width; ++x)
            for (int c = 0; c < channels; ++c)
                row[x * channels + c] = overWhite(row[x * channels + c], a[x]);
    }
}

void fillColorTable(ImageBlock& block, const TargaHeader& header, const std::vector<Colour>& map)
{
    if (header.greyscale()) {
        for (uint32_t i = 0; i < 256; ++i)
            block.setColor(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
        return;
    }
    if (block.bitCount() != 8)
        return;
    // Entries with alpha are blended over white, unless none has any.
    const bool useAlpha = std::any_of(map.begin(), map.end(), [](const Colour& c) { return c.alpha != 0; });
    for (size_t i = 0; i < map.size() && i < 256; ++i) {
        const uint8_t a = useAlpha ? map[i].alpha : uint8_t(255);
        block.setColor(static_cast<uint32_t>(i), overWhite(map[i].red, a), overWhite(map[i].green, a),
                       overWhite(map[i].blue, a));
    }
}

} // namespace

Result<TargaHeader> checkTargaHeader(std::span<const uint8_t> file)
{
    SpanReader in(file);
    TargaHeader header;
    header.idLength = in.u8();
    header.colorMapType = in.u8();
    header.imageType = in.u8();
    header.firstEntry = in.u16le();
    header.colorMapLength = in.u16le();
    header.entrySize = in.u8();
    in.skip(4); // origin
    header.width = in.u16le();
    header.height = in.u16le();
    header.pixelDepth = in.u8();
    header.descriptor = in.u8();
    if (!in.ok())
        return kTargaTexts.failure(Reason::Truncated, TargaFault::BadHeader);
    if (header.width == 0 || header.height == 0)
        return kTargaTexts.failure(Reason::BadDimensions, TargaFault::BadHeader);
    // The combinations of type, depth and colour map the format describes.
    const bool mapEntry = header.entrySize == 15 || header.entrySize == 16 || header.entrySize == 24
                          || header.entrySize == 32;
    bool accepted = false;
    switch (header.imageType) {
    case 1:
    case 9:
        accepted = (header.pixelDepth == 8 || header.pixelDepth == 16) && mapEntry && header.colorMapLength > 0;
        break;
    case 2:
    case 10:
        accepted = header.pixelDepth == 15 || header.pixelDepth == 16 || header.pixelDepth == 24
            || header.pixelDepth == 32;
        break;
    case 3:
    case 11:
        accepted = header.pixelDepth == 8 || header.pixelDepth == 16; // grey, or grey and alpha
        break;
    default:
        break;
    }
    if (!accepted)
        return kTargaTexts.failure(Reason::Unsupported, TargaFault::BadHeader);
    return header;
}

namespace {

// The picture of a file whose header passed the check.
// `opacity`, when given, receives the alpha plane of a picture that has one.
Result<ImageBlock> decodeTargaBlock(std::span<const uint8_t> file, const TargaHeader& header, ImageBlock* opacity)
{
    const uint16_t depth = header.blockDepth();
    const uint32_t colors = depth == 8 ? 256 : 0;
    const uint64_t offset = pixelDataOffset(header);
    std::span<const uint8_t> data = offset < file.size() ? file.subspan(static_cast<size_t>(offset)) : std::span<const uint8_t>();
    // A packet stretches at most 1 + pixel bytes to 128 pixels.
    const uint64_t held = header.runLength() ? data.size() * 128 : data.size();
    if (ImageBlock::sizeFor(header.width, header.height, depth, colors)
        && !holdsEnoughOf(uint64_t(header.width) * header.height * header.pixelBytes(), held))
        return Failure{Reason::CorruptData, farTooSmall(kTargaTexts[TargaFault::NotValid])};
    ImageBlock block = ImageBlock::create(header.width, header.height, depth, colors);
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    const std::vector<Colour> map = readColourMap(header, file);
    fillColorTable(block, header, map);

    AlphaPlane alpha;
    alpha.width = header.width;
    if (mayHaveAlpha(header))
        alpha.values.resize(size_t(header.width) * header.height);
    const RowConverter converter(header, map);
    const bool ok = header.runLength() ? readRunLength(block, header, converter, alpha, data)
                                       : readUncompressed(block, header, converter, alpha, data);
    if (!ok)
        return Failure{Reason::CorruptData, kCantReadData};
    if (!alpha.values.empty())
        applyAlpha(block, alpha);
    const bool anyAlpha = std::any_of(alpha.values.begin(), alpha.values.end(), [](uint8_t a) { return a != 0; });
    if (opacity && anyAlpha) {
        *opacity = createAlphaPlane(block.width(), block.height());
        for (int32_t y = 0; opacity && *opacity && y < block.height(); ++y)
            std::copy_n(alpha.values.data() + size_t(y) * alpha.width, alpha.width, opacity->row(y));
    }
    return block;
}

} // namespace

namespace {

Result<DecodedImage> decode(std::span<const uint8_t> file, bool keepAlpha)
{
    Result<TargaHeader> header = checkTargaHeader(file);
    if (!header)
        return header.failure();
    ImageBlock opacity;
    Result<ImageBlock> block = decodeTargaBlock(file, *header, keepAlpha ? &opacity : nullptr);
    if (!block)
        return block.failure();
    DecodedImage decoded;
    decoded.block = block.take();
    decoded.alpha = std::move(opacity);
    decoded.compression = header->runLength() ? kRunLengthEncoding : "None";
    return decoded;
}

} // namespace

Result<DecodedImage> decodeTarga(std::span<const uint8_t> file) { return decode(file, false); }

Result<DecodedImage> readTarga(const std::string& path)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return decodeTarga(file.bytes());
}

namespace {
Result<DecodedImage> readTargaFile(const ReadRequest& request)
{
    return withoutExceptions([&]() -> Result<DecodedImage> {
        WholeFile file;
        if (!file.open(request.path))
            return cantOpenFile(request.path);
        return decode(file.bytes(), request.keepAlpha);
    });
}
} // namespace

namespace {

// Three loose bytes (colour-map type, image type): tried after the formats
// whose signatures they could take.
bool isTarga(SignatureHead head)
{
    return (head[1] == 0 || head[1] == 1)
        && (head[2] == 1 || head[2] == 2 || head[2] == 3 || head[2] == 9 || head[2] == 10 || head[2] == 11);
}

} // namespace

void registerTargaCodec(CodecRegistry& registry)
{
    registry.registerTexts(kTargaTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Targa, .name = "Targa", .signatureOrder = 140, .matches = isTarga,
                .extensions = {"TGA"}, .renameExtension = ".tga", .word = "TGA", .compressionText = "",
                .openFilters = {{7, "(*.TGA) Truevision Targa", "*.tga"}}, .multiImage = MultiImage::Single,
                .save = std::nullopt, .mimeTypes = {"image/x-tga"},
                .associationBoxes = {{.position = 10, .text = "TGA", .controlId = 1035, .key = "TGA"}}},
        .reader = readTargaFile,
    });
}

} // namespace pictorand
