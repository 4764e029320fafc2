#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/pixel_order.h"
#include "codecs/common/run_length.h"
#include "codecs/common/span_reader.h"
#include "codecs/common/whole_file.h"
#include "codecs/sunraster/sunraster.h"
#include "core/codec_registry.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <vector>

namespace pictorand {

namespace {

constexpr uint32_t kSunMagic = 0x59A66A95;
constexpr size_t kSunHeaderSize = 32;
constexpr uint32_t kTypeByteEncoded = 2;
constexpr uint32_t kTypeRgb = 3; // true colour stored red first
// A run of up to 256 bytes takes three bytes of the file.
constexpr uint64_t kLargestRunExpansion = 86;
constexpr uint32_t kFirstUnsupportedType = 4;

void fillColorTable(ImageBlock& block, const SunHeader& header, std::span<const uint8_t> file)
{
    std::array<ColorEntry, 256> palette{};
    const uint16_t depth = header.fileDepth();
    bool haveTable = false;
    if (depth == 1) {
        palette[0] = {255, 255, 255, 0};
        haveTable = true;
    }
    if (header.mapType != 0 && header.mapLength >= 1 && header.mapLength <= 0x7FFFFFFFu) {
        // Planar: n red bytes, n green, n blue. Only the first 256 entries
        // are used; bytes missing at the end of the file read as 0.
        const size_t count = header.mapLength / 3;
        std::span<const uint8_t> map = file.subspan(std::min(file.size(), kSunHeaderSize));
        auto at = [&](size_t offset) -> uint8_t { return offset < map.size() ? map[offset] : 0; };
        for (size_t i = 0; i < count && i < 256; ++i)
            palette[i] = {at(2 * count + i), at(count + i), at(i), 0};
        haveTable = true;
    }
    if (!haveTable || depth >= 24)
        return;
    uint32_t colors = block.colorsUsed();
    for (uint32_t i = 0; i < colors && i < palette.size(); ++i)
        block.setColor(i, palette[i].red, palette[i].green, palette[i].blue);
}

// Bytes a decoded type 2 stream holds (stops counting past `limit`).
uint64_t decodedLength(std::span<const uint8_t> data, uint64_t limit)
{
    uint64_t total = 0;
    size_t i = 0;
    while (i < data.size() && total <= limit) {
        if (data[i] != 0x80) {
            ++total;
            ++i;
        } else if (i + 1 < data.size() && data[i + 1] == 0) {
            ++total;
            i += 2;
        } else if (i + 2 < data.size()) {
            total += uint64_t(data[i + 1]) + 1;
            i += 3;
        } else {
            break;
        }
    }
    return total;
}

// Bytes of one row in the file. Rows are padded to an even length, but
// writers disagree for 24-bit rows of odd width, so the data decides: when
// it holds one byte more per row than the pixels need, the rows are padded.
uint64_t fileRowLength(const SunHeader& header, std::span<const uint8_t> fileData, uint64_t fileSize)
{
    const uint64_t width = header.width;
    switch (header.fileDepth()) {
    case 1: {
        uint64_t bytes = (width + 7) / 8;
        return bytes + (bytes & 1);
    }
    case 8:
        return width + (width & 1);
    case 32:
        return width * 4;
    default:
        break;
    }
    const uint64_t bytes = width * 3;
    if ((bytes & 1) == 0)
        return bytes;
    const uint64_t padded = bytes + 1;
    if (header.type == kTypeByteEncoded) {
        uint64_t needed = padded * header.height;
        return decodedLength(fileData, needed) >= needed ? padded : bytes;
    }
    uint64_t dataSize = fileSize > kSunHeaderSize ? fileSize - kSunHeaderSize : 0;
    dataSize = dataSize > header.mapLength ? dataSize - header.mapLength : 0;
    return dataSize == bytes * header.height ? bytes : padded;
}

} // namespace

Result<SunHeader> checkSunRasterHeader(std::span<const uint8_t> file)
{
    SpanReader in(file);
    SunHeader header;
    const uint32_t magic = in.u32be();
    header.width = in.u32be();
    header.height = in.u32be();
    header.depth = in.u32be();
    header.dataLength = in.u32be();
    header.type = in.u32be();
    header.mapType = in.u32be();
    header.mapLength = in.u32be();
    if (!in.ok())
        return kSunRasterTexts.failure(Reason::Truncated, SunRasterFault::NotValid);
    if (magic != kSunMagic)
        return kSunRasterTexts.failure(Reason::NotThisFormat, SunRasterFault::NotValid);
    const uint32_t limit = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
    if (header.width == 0 || header.height == 0 || header.width > limit || header.height > limit)
        return kSunRasterTexts.failure(Reason::BadDimensions, SunRasterFault::NotValid);
    // 32-bit files (a pad or alpha byte before blue, green, red) are loaded
    // as 24-bit pictures.
    const uint16_t depth = header.fileDepth();
    if (depth != 1 && depth != 8 && depth != 24 && depth != 32)
        return kSunRasterTexts.failure(Reason::Unsupported, SunRasterFault::NotValid);
    return header;
}

namespace {

// The picture of a file whose header passed the check.
Result<ImageBlock> decodeSunRasterBlock(std::span<const uint8_t> file, const SunHeader* header)
{
    const uint16_t fileDepth = header->fileDepth();
    const uint16_t depth = fileDepth == 32 ? 24 : fileDepth;
    const uint32_t colors = depth < 24 ? uint32_t(1) << depth : 0;
    const auto width = static_cast<int32_t>(header->width);
    const auto height = static_cast<int32_t>(header->height);
    // The map's bytes are skipped whatever the map type says.
    const uint64_t dataOffset = kSunHeaderSize + uint64_t(header->mapLength);
    std::span<const uint8_t> data = dataOffset < file.size() ? file.subspan(static_cast<size_t>(dataOffset)) : std::span<const uint8_t>();
    const bool encoded = header->type == kTypeByteEncoded;
    if (ImageBlock::sizeFor(width, height, depth, colors)) {
        const uint64_t rowLength = fileRowLength(*header, data, file.size());
        const uint64_t held = encoded ? data.size() * kLargestRunExpansion : data.size();
        if (!holdsEnoughOf(rowLength * header->height, held))
            return kSunRasterTexts.failure(Reason::CorruptData, SunRasterFault::NotValid);
    }
    ImageBlock block = ImageBlock::create(width, height, depth, colors);
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    if (header->type >= kFirstUnsupportedType)
        return kSunRasterTexts.failure(Reason::Unsupported, SunRasterFault::UnsupportedCompression);
    fillColorTable(block, *header, file);

    const bool redFirst = header->type == kTypeRgb;
    const uint64_t rowLength = fileRowLength(*header, data, file.size());
    const uint64_t stride = block.rowSize();
    std::vector<uint8_t> line;
    try {
        line.resize(static_cast<size_t>(std::max(rowLength, stride)));
    } catch (...) {
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    }

    // Rows that the data does not reach repeat the last row read: the line
    // buffer keeps what it held. (The file is mapped, so there is no read
    // error to report part way; a short file is the only way data ends.)
    SpanReader stored(data);
    SpanByteSource encodedData(data);
    SunByteRunDecoder decoder;
    for (int32_t y = 0; y < height; ++y) {
        if (encoded)
            decoder.decode(encodedData, line.data(), static_cast<size_t>(rowLength));
        else
            stored.readSome(line.data(), static_cast<size_t>(rowLength));
        uint8_t* row = block.topRow(y);
        if (fileDepth == 32) {
            // A pad (or alpha) byte, then blue, green, red, or red first.
            const int blue = redFirst ? 3 : 1;
            const int red = redFirst ? 1 : 3;
            for (size_t x = 0; x < header->width; ++x) {
                const uint8_t* pixel = &line[x * 4];
                row[x * 3] = pixel[blue];
                row[x * 3 + 1] = pixel[2];
                row[x * 3 + 2] = pixel[red];
            }
        } else if (fileDepth == 24 && redFirst) {
            copySwappingRedBlue(line.data(), row, header->width);
        } else {
            std::memcpy(row, line.data(), static_cast<size_t>(stride));
        }
    }
    return block;
}

} // namespace

Result<DecodedImage> decodeSunRaster(std::span<const uint8_t> file)
{
    Result<SunHeader> header = checkSunRasterHeader(file);
    if (!header)
        return header.failure();
    Result<ImageBlock> block = decodeSunRasterBlock(file, &*header);
    if (!block)
        return block.failure();
    DecodedImage decoded;
    decoded.block = block.take();
    decoded.compression = header->type == kTypeByteEncoded ? "Sun Rasterfile - RLE compressed" : "Sun Rasterfile - None";
    return decoded;
}

Result<DecodedImage> readSunRaster(const std::string& path)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return decodeSunRaster(file.bytes());
}

namespace {
Result<DecodedImage> readSunRasterFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readSunRaster(request.path); });
}

bool isSunRaster(SignatureHead head)
{
    return head[0] == 0x59 && head[1] == 0xA6 && head[2] == 0x6A && head[3] == 0x95;
}

} // namespace

void registerSunRasterCodec(CodecRegistry& registry)
{
    registry.registerTexts(kSunRasterTexts.texts());
    // The desktop's database names every *.ras file a CMU raster by its
    // extension, so file managers ask for that type for Sun's files.
    registry.registerFormat({
        .row = {.format = ImageFormat::SunRaster, .name = "SunRaster", .signatureOrder = 100,
                .matches = isSunRaster, .extensions = {"RAS", "SUN"}, .renameExtension = ".ras", .word = "RAS", .compressionText = "",
                .openFilters = {{9, "(*.RAS) Sun Raster Files", "*.ras;*.sun"}}, .multiImage = MultiImage::Single,
                .save = std::nullopt, .mimeTypes = {"image/x-sun-raster", "image/x-cmu-raster"},
                .associationBoxes = {{.position = 11, .text = "RAS/SUN", .controlId = 1049, .key = "RAS", .mimeTypes = {"image/x-sun-raster"}}}},
        .reader = readSunRasterFile,
    });
}

} // namespace pictorand
