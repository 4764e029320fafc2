#include "codecs/bmp/bmp.h"

#include "codecs/bmp/bmp_rle.h"
#include "codecs/common/alpha_composite.h"
#include "codecs/common/buffered_byte_reader.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/file_reader.h"
#include "codecs/common/span_reader.h"
#include "codecs/common/whole_file.h"
#include "core/byte_order.h"
#include "core/checked_size.h"
#include "core/large_buffer.h"
#include "core/sample_scale.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace pictorand {

namespace {

constexpr uint16_t kBmpType = 0x4D42; // "BM"
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kLargestInfoHeader = 124;
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitFields = 3;
constexpr uint32_t kCompressionAlphaBitFields = 6;

// Headers and colour table never reach past this: a 124-byte info header and
// 256 four-byte entries after the 14-byte file header.
constexpr size_t kHeadBytes = kFileHeaderSize + kLargestInfoHeader + 256 * 4;

bool acceptedInfoSize(uint32_t size)
{
    if (size == kCoreHeaderSize)
        return true;
    // The Windows header and the OS/2 2.x extensions of it, cut wherever a
    // field ends.
    if (size >= 16 && size <= 64)
        return size % 4 == 0 || size == 42 || size == 46;
    // The version 4 and 5 headers that most of today's writers emit by
    // default; their extra fields (masks, colour space, profile) are not
    // needed for the compressions read here.
    return size == 108 || size == 124;
}

const char* compressionText(const BmpHeader& layout)
{
    if (layout.os2)
        return "None - OS/2 BMP";
    switch (layout.compression) {
    case kCompressionNone:
        return "None";
    case kCompressionRle8:
        return "Run Length Encoding, RLE8";
    case kCompressionRle4:
        return "Run Length Encoding, RLE4";
    case kCompressionBitFields:
    case kCompressionAlphaBitFields:
        return "Bit fields";
    default:
        return nullptr;
    }
}

bool isUncompressed(const BmpHeader& layout) { return layout.os2 || layout.compression == kCompressionNone; }

// Bit fields at 16 and 32 bits; at other depths they are refused.
bool isBitFields(const BmpHeader& layout)
{
    return !layout.os2 && (layout.bitCount == 16 || layout.bitCount == 32)
           && (layout.compression == kCompressionBitFields || layout.compression == kCompressionAlphaBitFields);
}

// Everything up to the pixel rows: headers, the block with its header and
// colour table. `head` holds the first bytes of the file (all of them when
// the file is shorter than kHeadBytes); `fileSize` is the whole file's size.
// The block and the compression's name go into `decoded`.
Status prepareBlock(std::span<const uint8_t> head, uint64_t fileSize, BmpHeader& layout, DecodedImage& decoded)
{
    Result<BmpHeader> checked = checkBmpHeader(head);
    if (!checked)
        return checked.failure();
    layout = *checked;
    if (const char* text = compressionText(layout))
        decoded.compression = text;

    int64_t height = layout.heightField < 0 ? -int64_t(layout.heightField) : layout.heightField;
    uint32_t colors = layout.bitCount <= 8 ? uint32_t(1) << layout.bitCount : 0;
    const uint16_t blockBits = isBitFields(layout) ? 24 : layout.bitCount;
    // Stored without compression, the rows take a known number of bytes; a
    // file holding a tiny part of them is a header that lies about its size,
    // refused before a block that big is allocated.
    const bool fits = height <= std::numeric_limits<int32_t>::max()
                      && ImageBlock::sizeFor(layout.width, height, blockBits, colors).has_value();
    if (fits && (isUncompressed(layout) || isBitFields(layout))) {
        const uint64_t declared = ImageBlock::rowSizeFor(static_cast<uint32_t>(layout.width), layout.bitCount)
                                  * static_cast<uint64_t>(height);
        const uint64_t held = fileSize > layout.pixelOffset ? fileSize - layout.pixelOffset : 0;
        if (!holdsEnoughOf(declared, held))
            return kBmpTexts.failure(Reason::Truncated, BmpFault::NotValid);
    }
    ImageBlock block;
    if (fits)
        block = ImageBlock::create(layout.width, static_cast<int32_t>(height), blockBits, colors);
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};

    uint64_t position = layout.headerEnd;
    if (position >= fileSize)
        return kBmpTexts.failure(Reason::Truncated, BmpFault::NotValid);
    if (layout.bitCount <= 8) {
        // OS/2 core files keep their table right after the 12-byte header,
        // which is where headerEnd already points.
        ColorEntry* table = block.colorTable();
        for (uint32_t i = 0; i < layout.tableEntries; ++i) {
            uint64_t at = position + uint64_t(i) * layout.entrySize;
            if (at + 3 > head.size())
                break; // entries the file does not supply stay black
            table[i].blue = head[at];
            table[i].green = head[at + 1];
            table[i].red = head[at + 2];
        }
        position += uint64_t(layout.tableEntries) * layout.entrySize;
        if (position >= fileSize)
            return kBmpTexts.failure(Reason::Truncated, BmpFault::NotValid);
    }
    decoded.block = std::move(block);
    return {};
}

// Uncompressed rows are read in file order into the block with one read;
// top-down files then have their rows turned round. Only the first
// `dataEnd` bytes of the rows can hold anything, so only that much is moved:
// a hostile header can ask for a huge block (rows of a hundred megabytes)
// that the data never fills.
void flipRows(ImageBlock& block, uint64_t dataEnd)
{
    const uint64_t stride = block.rowSize();
    const uint64_t height = static_cast<uint64_t>(block.height());
    auto filled = [&](uint64_t row) {
        uint64_t start = row * stride;
        return dataEnd > start ? std::min(stride, dataEnd - start) : 0;
    };
    uint8_t* pixels = block.pixels();
    for (uint64_t low = 0; low < height / 2; ++low) {
        uint64_t high = height - 1 - low;
        // Once a low row is empty, so are all the rows above it.
        if (filled(low) == 0)
            break;
        uint64_t length = std::max(filled(low), filled(high));
        std::swap_ranges(pixels + low * stride, pixels + low * stride + length, pixels + high * stride);
    }
}

bool isRle(const BmpHeader& layout)
{
    return !layout.os2 && (layout.compression == kCompressionRle8 || layout.compression == kCompressionRle4);
}

// One channel of a bit-field pixel, scaled from however many bits its mask
// has to 0-255 by rounding.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t maximum = 0; // 0: the channel is absent

    explicit Channel(uint32_t m) : mask(m)
    {
        if (mask == 0)
            return;
        shift = std::countr_zero(mask);
        maximum = (uint64_t(mask) >> shift);
    }
    uint8_t operator()(uint32_t pixel) const
    {
        if (maximum == 0)
            return 0;
        return toEightBits((pixel & mask) >> shift, maximum);
    }
};

// Converts bit-field rows (file order, from `data`) into the 24-bit block.
// Writers that set an alpha mask but leave every alpha at 0 mean an opaque
// picture (it would otherwise come out all white), so alpha counts only when
// some pixel has any. keepAlpha: that alpha, as an opacity plane (null when
// it does not count).
ImageBlock decodeBitFields(const BmpHeader& layout, std::span<const uint8_t> data, ImageBlock& block, bool keepAlpha)
{
    const Channel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]), alpha(layout.masks[3]);
    const uint64_t width = static_cast<uint64_t>(block.width());
    const uint64_t height = static_cast<uint64_t>(block.height());
    const uint64_t sourceStride = ImageBlock::rowSizeFor(static_cast<uint32_t>(width), layout.bitCount);
    const unsigned pixelBytes = layout.bitCount / 8;
    const uint64_t rows = std::min<uint64_t>(height, data.size() / sourceStride);
    auto pixelAt = [&](const uint8_t* at) { return pixelBytes == 2 ? uint32_t(loadLE16(at)) : loadLE32(at); };

    bool useAlpha = false;
    if (alpha.maximum != 0) {
        for (uint64_t row = 0; row < rows && !useAlpha; ++row) {
            const uint8_t* source = data.data() + row * sourceStride;
            for (uint64_t x = 0; x < width && !useAlpha; ++x)
                useAlpha = alpha(pixelAt(source + x * pixelBytes)) != 0;
        }
    }
    ImageBlock opacity = useAlpha && keepAlpha ? createAlphaPlane(block.width(), block.height()) : ImageBlock();
    for (uint64_t row = 0; row < rows; ++row) {
        const uint8_t* source = data.data() + row * sourceStride;
        const uint64_t blockRow = layout.heightField < 0 ? height - 1 - row : row;
        uint8_t* target = block.pixels() + blockRow * block.rowSize();
        uint8_t* kept = opacity ? opacity.row(static_cast<int32_t>(blockRow)) : nullptr;
        for (uint64_t x = 0; x < width; ++x, target += 3) {
            const uint32_t pixel = pixelAt(source + x * pixelBytes);
            target[0] = blue(pixel);
            target[1] = green(pixel);
            target[2] = red(pixel);
            if (useAlpha) {
                const uint8_t a = alpha(pixel);
                for (int c = 0; c < 3; ++c)
                    target[c] = overWhite(target[c], a);
                if (kept)
                    kept[x] = a;
            }
        }
    }
    return opacity;
}

// Decodes the run-length data the reader yields; the rows end up bottom-up
// whatever the file's order.
void decodeRle(const BmpHeader& layout, ImageBlock& block, BufferedByteReader& reader)
{
    std::span<uint8_t> pixels(block.pixels(), block.rowSize() * static_cast<uint64_t>(block.height()));
    RleRows rows(pixels, block.rowSize(), layout.heightField < 0);
    if (layout.compression == kCompressionRle8)
        decodeBmpRle8(reader, rows, static_cast<uint32_t>(layout.width));
    else
        decodeBmpRle4(reader, rows, block.rowSize());
}

void finishUncompressed(const BmpHeader& layout, ImageBlock& block, uint64_t bytesRead)
{
    if (layout.heightField < 0)
        flipRows(block, bytesRead);
}

uint64_t pixelBytes(const ImageBlock& block) { return block.rowSize() * static_cast<uint64_t>(block.height()); }

// Reads up to `count` bytes at `offset`; a regular file gives them all in one
// call unless it ends first. Returns how many were read.
uint64_t readAt(int fd, uint64_t offset, uint8_t* out, uint64_t count)
{
    uint64_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd, out + done, static_cast<size_t>(std::min<uint64_t>(count - done, uint64_t(1) << 30)),
                            static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    return done;
}

bool writeAll(int fd, const uint8_t* data, uint64_t count)
{
    while (count > 0) {
        ssize_t n = ::write(fd, data, static_cast<size_t>(std::min<uint64_t>(count, uint64_t(1) << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        count -= static_cast<uint64_t>(n);
    }
    return true;
}

} // namespace

Result<BmpHeader> checkBmpHeader(std::span<const uint8_t> head)
{
    BmpHeader layout;
    SpanReader reader(head);
    const uint16_t type = reader.u16le();
    if (!reader.ok())
        return kBmpTexts.failure(Reason::Truncated, BmpFault::CantReadHeader);
    if (type != kBmpType)
        return kBmpTexts.failure(Reason::NotThisFormat, BmpFault::CantReadHeader);
    reader.skip(8); // file size, two reserved fields: writers get them wrong too often to trust
    layout.pixelOffset = reader.u32le();
    layout.infoSize = reader.u32le();
    if (!reader.ok())
        return kBmpTexts.failure(Reason::Truncated, BmpFault::NotValid);
    if (!acceptedInfoSize(layout.infoSize))
        return kBmpTexts.failure(Reason::Unsupported, BmpFault::CantReadHeader);
    layout.headerEnd = kFileHeaderSize + uint64_t(layout.infoSize);

    uint32_t colorsUsed = 0;
    if (layout.infoSize == kCoreHeaderSize) {
        layout.os2 = true;
        layout.width = reader.u16le();
        layout.heightField = reader.u16le();
        reader.u16le(); // planes
        layout.bitCount = reader.u16le();
        layout.entrySize = 3;
    } else {
        layout.width = reader.i32le();
        layout.heightField = reader.i32le();
        reader.u16le(); // planes
        layout.bitCount = reader.u16le();
        if (layout.infoSize > 16)
            layout.compression = reader.u32le();
        if (layout.infoSize > 32) {
            reader.seek(kFileHeaderSize + 32);
            colorsUsed = reader.u32le();
        }
        if (layout.compression == kCompressionBitFields || layout.compression == kCompressionAlphaBitFields) {
            // The masks follow the 40-byte fields, inside the longer headers
            // or right after a 40-byte one; alpha is there for headers of 56
            // bytes and more, or when the compression says so.
            const bool withAlpha = layout.infoSize >= 56 || layout.compression == kCompressionAlphaBitFields;
            reader.seek(kFileHeaderSize + 40);
            for (int i = 0; i < (withAlpha ? 4 : 3); ++i)
                layout.masks[i] = reader.u32le();
            if (layout.infoSize == 40 && (layout.bitCount == 16 || layout.bitCount == 32))
                layout.headerEnd += withAlpha ? 16 : 12;
        }
    }
    if (!reader.ok())
        return kBmpTexts.failure(Reason::Truncated, BmpFault::NotValid);
    // An image block always has at least one pixel; a file that says it has
    // none holds no picture.
    if (layout.width == 0 || layout.heightField == 0)
        return kBmpTexts.failure(Reason::BadDimensions, BmpFault::CantReadHeader);

    if (layout.bitCount <= 8) {
        uint32_t tableCapacity = uint32_t(1) << layout.bitCount;
        uint32_t fileColors = tableCapacity;
        if (!layout.os2 && layout.infoSize > 32 && colorsUsed != 0)
            fileColors = colorsUsed;
        // A count above what the depth can index would overrun the block's
        // table; the surplus entries could never be used anyway.
        layout.tableEntries = std::min(fileColors, tableCapacity);
    }
    return layout;
}

namespace {

Result<DecodedImage> readBmpFile(const std::string& path, bool keepAlpha)
{
    OpenFile file(path, "rb");
    if (!file)
        return cantOpenFile(path);
    auto fileSize = file.size();
    if (!fileSize)
        return kBmpTexts.failure(Reason::CorruptData, BmpFault::NotValid);

    std::array<uint8_t, kHeadBytes> head{};
    size_t headBytes = std::fread(head.data(), 1, head.size(), file.get());
    BmpHeader layout;
    DecodedImage decoded;
    if (Status prepared = prepareBlock(std::span(head.data(), headBytes), *fileSize, layout, decoded); !prepared)
        return prepared.failure();
    ImageBlock& block = decoded.block;

    if (!isUncompressed(layout) && !isRle(layout) && !isBitFields(layout))
        return kBmpTexts.failure(Reason::Unsupported, BmpFault::UnsupportedCompression);
    if (isBitFields(layout)) {
        const uint64_t stored = ImageBlock::rowSizeFor(static_cast<uint32_t>(layout.width), layout.bitCount)
                                * static_cast<uint64_t>(block.height());
        const uint64_t available = *fileSize > layout.pixelOffset ? *fileSize - layout.pixelOffset : 0;
        // A file whose rows start past its end has no data to read (and
        // nothing to allocate for it).
        LargeBuffer data;
        if (std::min(stored, available) > 0) {
            data = LargeBuffer::allocate(std::min(stored, available));
            if (!data)
                return Failure{Reason::OutOfMemory, kCantAllocateMemory};
        }
        const uint64_t bytesRead =
            data ? readAt(fileno(file.get()), layout.pixelOffset, data.data(), data.size()) : 0;
        decoded.alpha = decodeBitFields(layout, std::span<const uint8_t>(data.data(), bytesRead), block, keepAlpha);
        if (bytesRead < stored)
            decoded.warning = kPictureDataEndsEarly;
        return decoded;
    }
    if (isUncompressed(layout)) {
        // One read straight into the block, past the stream's buffer; a short
        // file leaves the rows it does not supply zero.
        uint64_t bytesRead = readAt(fileno(file.get()), layout.pixelOffset, block.pixels(), pixelBytes(block));
        finishUncompressed(layout, block, bytesRead);
        if (bytesRead < pixelBytes(block))
            decoded.warning = kPictureDataEndsEarly;
        return decoded;
    }
    if (std::fseek(file.get(), static_cast<long>(layout.pixelOffset), SEEK_SET) != 0)
        return decoded;
    BufferedByteReader reader(file);
    if (!reader)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    decodeRle(layout, block, reader);
    return decoded;
}

Result<DecodedImage> decodeBmpFile(std::span<const uint8_t> file, bool keepAlpha)
{
    BmpHeader layout;
    DecodedImage decoded;
    if (Status prepared = prepareBlock(file.first(std::min(file.size(), kHeadBytes)), file.size(), layout, decoded);
        !prepared)
        return prepared.failure();
    ImageBlock& block = decoded.block;
    if (!isUncompressed(layout) && !isRle(layout) && !isBitFields(layout))
        return kBmpTexts.failure(Reason::Unsupported, BmpFault::UnsupportedCompression);
    std::span<const uint8_t> data = layout.pixelOffset < file.size() ? file.subspan(layout.pixelOffset)
                                                                     : std::span<const uint8_t>();
    if (isBitFields(layout)) {
        decoded.alpha = decodeBitFields(layout, data, block, keepAlpha);
        if (data.size() < ImageBlock::rowSizeFor(static_cast<uint32_t>(layout.width), layout.bitCount)
                              * static_cast<uint64_t>(block.height()))
            decoded.warning = kPictureDataEndsEarly;
        return decoded;
    }
    if (isUncompressed(layout)) {
        SpanReader reader(data);
        uint64_t bytesRead = reader.readSome(block.pixels(), pixelBytes(block));
        finishUncompressed(layout, block, bytesRead);
        if (bytesRead < pixelBytes(block))
            decoded.warning = kPictureDataEndsEarly;
        return decoded;
    }
    BufferedByteReader reader(data);
    decodeRle(layout, block, reader);
    return decoded;
}

// A file that does not start with "BM" may be a packed bitmap, as clipboard
// dumps save them: read whole and given its file header. Nothing when the
// file does start with "BM" (or can't be opened), for the ordinary path.
std::optional<Result<DecodedImage>> readPackedBitmap(const std::string& path, bool keepAlpha)
{
    std::array<uint8_t, 2> type{};
    {
        OpenFile file(path, "rb");
        if (!file || std::fread(type.data(), 1, type.size(), file.get()) != type.size()
            || loadLE16(type.data()) == kBmpType)
            return std::nullopt;
    }
    WholeFile whole;
    if (!whole.open(path))
        return std::nullopt;
    return readBmpFromMemory(whole.bytes(), keepAlpha);
}

} // namespace

Result<DecodedImage> readBmp(const std::string& path, bool keepAlpha)
{
    if (auto packed = readPackedBitmap(path, keepAlpha))
        return std::move(*packed);
    return readBmpFile(path, keepAlpha);
}

Result<DecodedImage> readBmpFromMemory(std::span<const uint8_t> file, bool keepAlpha)
{
    if (file.size() >= 2 && loadLE16(file.data()) != kBmpType) {
        Result<std::vector<uint8_t>> withHeader = bmpFileFromDib(file);
        if (!withHeader)
            return withHeader.failure();
        return readBmpFromMemory(*withHeader, keepAlpha);
    }
    return decodeBmpFile(file, keepAlpha);
}

Status writeBmp(const std::string& path, const ImageBlock& block)
{
    uint32_t colors = 0;
    std::optional<uint64_t> blockBytes;
    if (block && block.size() >= ImageBlock::kHeaderSize) {
        colors = block.colorsUsed();
        if (colors == 0)
            colors = block.bitCount() == 1 ? 2 : block.bitCount() == 4 ? 16 : block.bitCount() == 8 ? 256 : 0;
        blockBytes = ImageBlock::sizeFor(block.width(), block.height(), block.bitCount(), colors);
    }
    // A block whose header promises more than it holds (an 8-bit block that
    // left its colours-used at 0) would have memory past its end written to
    // the file; refuse it before the target is touched.
    if (!blockBytes || *blockBytes > block.size())
        return Failure{Reason::WriteFailed, kCantWriteFile};
    const uint16_t bits = block.bitCount();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Failure{Reason::Unsupported, kUnsupportedBitDepth};

    // The file is rewritten in place and cut to length at the end rather
    // than truncated first: truncating a file whose pages are still being
    // written back waits for the disk, which made overwriting a big picture
    // several times slower than writing it.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return Failure{Reason::WriteFailed, cantCreateFileText(path)};
    std::array<uint8_t, kFileHeaderSize> header{};
    storeLE16(header.data(), kBmpType);
    storeLE32(header.data() + 2, static_cast<uint32_t>(kFileHeaderSize + *blockBytes));
    storeLE32(header.data() + 10, kFileHeaderSize + ImageBlock::kHeaderSize + 4 * colors);
    Status written;
    if (!writeAll(fd, header.data(), header.size()))
        written = kBmpTexts.failure(Reason::WriteFailed, BmpFault::CantWriteHeader);
    else if (!writeAll(fd, block.data(), *blockBytes))
        written = Failure{Reason::WriteFailed, kCantWriteFile};
    struct stat info {};
    if (written && fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
        && ftruncate(fd, static_cast<off_t>(kFileHeaderSize + *blockBytes)) != 0)
        written = Failure{Reason::WriteFailed, kCantWriteFile};
    if (::close(fd) != 0 && written)
        written = Failure{Reason::WriteFailed, kCantWriteFile};
    return written;
}

Result<std::vector<uint8_t>> bmpFileFromDib(std::span<const uint8_t> dib)
{
    if (dib.size() < 4)
        return kBmpTexts.failure(Reason::Truncated, BmpFault::NotValid);
    if (dib.size() > std::numeric_limits<uint32_t>::max() - kFileHeaderSize)
        return outOfMemory();
    std::vector<uint8_t> file;
    try {
        file.resize(kFileHeaderSize + dib.size());
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    }
    storeLE16(file.data(), kBmpType);
    storeLE32(file.data() + 2, static_cast<uint32_t>(file.size()));
    std::copy(dib.begin(), dib.end(), file.begin() + kFileHeaderSize);
    Result<BmpHeader> header = checkBmpHeader(std::span<const uint8_t>(file).first(std::min(file.size(), kHeadBytes)));
    if (!header)
        return header.failure();
    const uint32_t colorsUsed = !header->os2 && header->infoSize >= 36 ? loadLE32(dib.data() + 32) : 0;
    uint64_t entries = colorsUsed;
    if (header->bitCount <= 8 && colorsUsed == 0)
        entries = uint64_t(1) << header->bitCount;
    const uint64_t pixelOffset = header->headerEnd + entries * header->entrySize;
    if (pixelOffset > file.size())
        return kBmpTexts.failure(Reason::Truncated, BmpFault::NotValid);
    storeLE32(file.data() + 10, static_cast<uint32_t>(pixelOffset));
    return file;
}

namespace {

// A packed bitmap (a .dib as clipboard dumps hold one) has no file header and
// starts with its info header's size: one of the sizes writers use, followed
// by a width that is not 0.
bool isPackedBitmap(SignatureHead head)
{
    const uint32_t infoSize = loadLE32(head.data());
    const bool known = infoSize == 12 || infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 64
                       || infoSize == 108 || infoSize == 124;
    return known && (infoSize == 12 ? loadLE16(head.data() + 4) : loadLE32(head.data() + 4)) != 0;
}
bool isBmp(SignatureHead head) { return signatureHas(head, 0, "BM") || isPackedBitmap(head); }

} // namespace

void registerBmpCodec(CodecRegistry& registry)
{
    registry.registerTexts(kBmpTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Bmp, .name = "Bmp", .signatureOrder = 30, .matches = isBmp,
                .extensions = {"BMP", "DIB", "RLE"}, .renameExtension = ".bmp", .word = "BMP", .compressionText = "",
                .openFilters = {{3, "(*.BMP) Windows or OS/2 Bitmap", "*.bmp"},
                                {10, "(*.RLE) Windows RLE", "*.rle"},
                                {11, "(*.DIB) Windows or OS/2 DIB", "*.dib"}},
                .multiImage = MultiImage::Single,
                .save = SaveInfo{3, "BMP", ".bmp", "(*.BMP) Windows Bitmap", "*.bmp", "BMP - Windows Bitmap", "BMP",
                                 true, {1, 4, 8, 24}, DepthPreparation::None},
                .mimeTypes = {"image/bmp", "image/x-bmp", "image/x-ms-bmp"},
                .associationBoxes = {
                    {.position = 3, .text = "BMP", .controlId = 1020, .key = "BMP",
                     .mimeTypes = {"image/bmp", "image/x-bmp"}, .extensions = {"BMP"}, .thumbnailClass = "Paint.Picture"},
                    {.position = 4, .text = "DIB", .controlId = 1022, .key = "DIB", .mimeTypes = {"image/bmp"},
                     .extensions = {"DIB"}},
                    {.position = 5, .text = "RLE", .controlId = 1024, .key = "RLE", .mimeTypes = {"image/rle"},
                     .extensions = {"RLE"}}}},
        .reader = [](const ReadRequest& request) {
            return withoutExceptions([&] { return readBmp(request.path, request.keepAlpha); });
        },
        .writer = [](const std::string& path, const ImageBlock& block, const WriteOptions&) {
            return withoutExceptions([&] { return writeBmp(path, block); });
        },
    });
}

} // namespace pictorand
