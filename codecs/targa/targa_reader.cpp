#include "codecs/common/codec_result.h"
#include "codecs/common/buffered_byte_reader.h"
#include "codecs/common/whole_file.h"
#include "codecs/common/run_length.h"
#include "codecs/common/span_reader.h"
#include "codecs/targa/targa.h"
#include "core/codec_registry.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace pictorand {

namespace {

constexpr const char* kNotValidTga = "Not a valid TGA file";
constexpr const char* kCantReadData = "Can't read data !";
constexpr size_t kTargaHeaderSize = 18;

void fillColorTable(ImageBlock& block, const TargaHeader& header, std::span<const uint8_t> file)
{
    if (header.greyscale()) {
        for (uint32_t i = 0; i < 256; ++i)
            block.setColor(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
        return;
    }
    if (!header.colorMapped())
        return;
    SpanReader in(file);
    in.skip(kTargaHeaderSize + header.idLength);
    // Entries are blue, green, red. A map reaching past entry 255 keeps what
    // fits in the table; a short map leaves the rest black.
    for (uint32_t i = 0; i < header.colorMapLength; ++i) {
        uint32_t index = uint32_t(header.firstEntry) + i;
        if (index >= 256)
            break;
        auto entry = in.bytes(3);
        if (entry.empty())
            break;
        block.setColor(index, entry[2], entry[1], entry[0]);
    }
}

uint64_t pixelDataOffset(const TargaHeader& header)
{
    uint64_t offset = kTargaHeaderSize + header.idLength;
    if (header.colorMapType != 0) {
        uint64_t entryBits = header.entrySize == 15 ? 16 : header.entrySize;
        offset += entryBits * header.colorMapLength / 8;
    }
    return offset;
}

// Converts `width` file pixels into a block row (blue, green, red for true
// colour). `pixels` may be the row itself for 8- and 24-bit data.
void convertPixels(const TargaHeader& header, const uint8_t* pixels, uint8_t* row, size_t width)
{
    switch (header.pixelDepth) {
    case 8:
    case 24:
        if (pixels != row)
            std::memcpy(row, pixels, width * header.pixelBytes());
        break;
    case 15:
    case 16:
        for (size_t x = 0; x < width; ++x) {
            unsigned c = loadLE16(pixels + x * 2);
            row[x * 3] = static_cast<uint8_t>((c & 0x1F) << 3);
            row[x * 3 + 1] = static_cast<uint8_t>(((c >> 5) & 0x1F) << 3);
            row[x * 3 + 2] = static_cast<uint8_t>(((c >> 10) & 0x1F) << 3);
        }
        break;
    case 32:
        for (size_t x = 0; x < width; ++x) {
            row[x * 3] = pixels[x * 4];
            row[x * 3 + 1] = pixels[x * 4 + 1];
            row[x * 3 + 2] = pixels[x * 4 + 2];
        }
        break;
    default:
        break;
    }
}

// Row y of the file, counted in file order, in the block.
uint8_t* blockRow(ImageBlock& block, const TargaHeader& header, int32_t y)
{
    return header.topFirst() ? block.topRow(y) : block.row(y);
}

bool readUncompressed(ImageBlock& block, const TargaHeader& header, std::span<const uint8_t> data)
{
    const size_t width = header.width;
    const size_t rowBytes = width * header.pixelBytes();
    SpanReader in(data);
    for (int32_t y = 0; y < header.height; ++y) {
        auto pixels = in.bytes(rowBytes);
        if (pixels.empty())
            return false;
        convertPixels(header, pixels.data(), blockRow(block, header, y), width);
    }
    return true;
}

bool readRunLength(ImageBlock& block, const TargaHeader& header, std::span<const uint8_t> data)
{
    const size_t width = header.width;
    const bool direct = header.pixelDepth == 8 || header.pixelDepth == 24;
    std::vector<uint8_t> scratch(direct ? 0 : width * header.pixelBytes());
    BufferedByteReader source(data);
    if (!source)
        return false;
    TargaPacketDecoder decoder(header.pixelBytes());
    // Packets run on across rows; whatever follows the last row is ignored.
    for (int32_t y = 0; y < header.height; ++y) {
        uint8_t* row = blockRow(block, header, y);
        uint8_t* target = direct ? row : scratch.data();
        if (!decoder.decode(source, target, width))
            return false;
        if (!direct)
            convertPixels(header, target, row, width);
    }
    return true;
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
        return Failure{Reason::Truncated, kBadTargaHeader};
    if (header.width == 0 || header.height == 0)
        return Failure{Reason::BadDimensions, kBadTargaHeader};
    // The combinations of type, depth and colour map this reader turns into
    // a block.
    bool accepted = false;
    switch (header.imageType) {
    case 1:
    case 9:
        accepted = header.pixelDepth == 8 && header.entrySize == 24;
        break;
    case 2:
    case 10:
        accepted = header.pixelDepth == 15 || header.pixelDepth == 16 || header.pixelDepth == 24
            || header.pixelDepth == 32;
        break;
    case 3:
    case 11:
        accepted = header.pixelDepth == 8;
        break;
    default:
        break;
    }
    if (!accepted)
        return Failure{Reason::Unsupported, kBadTargaHeader};
    return header;
}

namespace {

ImageBlock decodeTargaBlock(std::span<const uint8_t> file, std::string& message, std::string& compression)
{
    compression = "None";
    message = kNotValidTga;
    Result<TargaHeader> header = checkTargaHeader(file);
    if (!header) {
        message = header.failure().detail;
        return {};
    }
    if (header->runLength())
        compression = "Run Length Encoding";

    uint16_t depth = header->blockDepth();
    ImageBlock block = ImageBlock::create(header->width, header->height, depth, depth == 8 ? 256 : 0);
    if (!block) {
        message = kCantAllocateMemory;
        return {};
    }
    fillColorTable(block, *header, file);

    uint64_t offset = pixelDataOffset(*header);
    std::span<const uint8_t> data = offset < file.size() ? file.subspan(static_cast<size_t>(offset)) : std::span<const uint8_t>();
    bool ok = header->runLength() ? readRunLength(block, *header, data) : readUncompressed(block, *header, data);
    if (!ok) {
        message = kCantReadData;
        return {};
    }
    return block;
}

} // namespace

Result<DecodedImage> decodeTarga(std::span<const uint8_t> file)
{
    // The header's refusal keeps its reason.
    if (auto header = checkTargaHeader(file); !header)
        return header.failure();
    std::string message;
    std::string compression;
    ImageBlock block = decodeTargaBlock(file, message, compression);
    return decodedOrFailure(std::move(block), std::move(message), std::move(compression));
}

Result<DecodedImage> readTarga(const std::string& path)
{
    WholeFile file;
    if (!file.open(path))
        return Failure{Reason::CantOpenFile, "Can't open file: " + path};
    return decodeTarga(file.bytes());
}

namespace {
Result<DecodedImage> readTargaFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readTarga(request.path); });
}
} // namespace

void registerTargaCodec(CodecRegistry& registry) { registry.registerReader(ImageFormat::Targa, readTargaFile); }

} // namespace pictorand
