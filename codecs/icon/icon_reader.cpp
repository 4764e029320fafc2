#include "codecs/bmp/bmp.h"
#include "codecs/common/alpha_composite.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/file_reader.h"
#include "codecs/common/span_reader.h"
#include "codecs/icon/icon.h"
#include "codecs/png/png.h"
#include "core/byte_order.h"
#include "core/checked_size.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>

namespace pictorand {

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kFileHeaderSize = 14;
constexpr size_t kDirectoryEntrySize = 16;
constexpr std::array<uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool startsWithPngSignature(std::span<const uint8_t> data)
{
    return data.size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), data.begin());
}

// A PNG image: its size and depth come from the IHDR chunk, which must come
// first.
Status locatePngImage(IconImage& image)
{
    SpanReader reader(image.data);
    reader.skip(kPngSignature.size());
    uint32_t length = reader.u32be();
    auto type = reader.bytes(4);
    uint32_t width = reader.u32be();
    uint32_t height = reader.u32be();
    uint8_t bitDepth = reader.u8();
    uint8_t colourType = reader.u8();
    if (!reader.ok() || length != 13 || std::memcmp(type.data(), "IHDR", 4) != 0)
        return kIconTexts.failure(Reason::CorruptData, IconFault::BadPng);
    if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        return kIconTexts.failure(Reason::BadDimensions, IconFault::NoPixels);
    uint32_t channels = 1;
    switch (colourType) {
    case 2: channels = 3; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: channels = 1; break;
    }
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.bitCount = channels * bitDepth;
    image.isPng = true;
    return {};
}

// A bitmap image: the colour table follows the 40-byte info header, the
// colour rows the table and the mask rows the colour rows. The directory's
// own sizes are not trusted; everything comes from the info header and must
// fit inside the image's data.
Status locateBitmapImage(IconImage& image)
{
    SpanReader reader(image.data);
    reader.skip(4); // header size
    int32_t width = reader.i32le();
    int32_t doubledHeight = reader.i32le();
    reader.skip(2); // planes: the bitmap handed on says one, whatever is here
    uint16_t bitCount = reader.u16le();
    reader.seek(32);
    uint32_t colorsUsed = reader.u32le();
    if (!reader.ok() || image.data.size() < kInfoHeaderSize)
        return kIconTexts.failure(Reason::CorruptData, IconFault::ImageTooSmall);
    if (width <= 0 || doubledHeight / 2 <= 0)
        return kIconTexts.failure(Reason::BadDimensions, IconFault::NoPixels);
    image.width = width;
    image.height = doubledHeight / 2;
    image.bitCount = bitCount;

    uint64_t entries = colorsUsed;
    if (entries == 0)
        entries = bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
    // Rows as wide as the bit count alone makes them, as in the bitmap handed
    // on (a hostile planes field of 0 made rows of no bytes and a loop over a
    // billion of them).
    auto colorStride = dibRowSize(static_cast<uint64_t>(width), bitCount);
    auto maskStride = dibRowSize(static_cast<uint64_t>(width), 1);
    if (!colorStride || *colorStride == 0 || !maskStride)
        return kIconTexts.failure(Reason::CorruptData, IconFault::ImageTooSmall);
    auto tableEnd = checkedMulAdd(entries, 4, kInfoHeaderSize);
    auto rowsBytes = checkedMul(*colorStride + *maskStride, static_cast<uint64_t>(image.height));
    if (!tableEnd || !rowsBytes)
        return kIconTexts.failure(Reason::CorruptData, IconFault::ImageTooSmall);
    auto needed = checkedAdd(*tableEnd, *rowsBytes);
    // Some writers (Pillow among them) leave the mask out of 32-bit images,
    // whose fourth bytes say all; ImageMagick reads those too.
    auto colourEnd = checkedMulAdd(*colorStride, static_cast<uint64_t>(image.height), *tableEnd);
    if ((!needed || *needed > image.data.size()) && bitCount == 32 && colourEnd && *colourEnd <= image.data.size()) {
        image.hasMask = false;
        needed = colourEnd;
    }
    if (!needed || *needed > image.data.size())
        return kIconTexts.failure(Reason::CorruptData, IconFault::ImageTooSmall);
    image.colorTableEntries = entries;
    image.colorStride = *colorStride;
    image.maskStride = *maskStride;
    image.colorRowsOffset = *tableEnd;
    image.maskRowsOffset = *tableEnd + *colorStride * static_cast<uint64_t>(image.height);
    return {};
}

int testMaskBit(const uint8_t* row, int32_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

uint32_t pixelIndex(const uint8_t* row, uint64_t x, uint32_t bitCount)
{
    switch (bitCount) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    default: return row[x];
    }
}

void setPixelIndex(uint8_t* row, uint64_t x, uint32_t bitCount, uint32_t index)
{
    switch (bitCount) {
    case 1:
        row[x / 8] = static_cast<uint8_t>((row[x / 8] & ~(0x80 >> (x % 8))) | ((index & 1) << (7 - x % 8)));
        break;
    case 4:
        row[x / 2] = x % 2 == 0 ? static_cast<uint8_t>((row[x / 2] & 0x0F) | (index << 4))
                                : static_cast<uint8_t>((row[x / 2] & 0xF0) | (index & 0x0F));
        break;
    default:
        row[x] = static_cast<uint8_t>(index);
        break;
    }
}

bool isWhite(const uint8_t* entry) { return entry[0] == 255 && entry[1] == 255 && entry[2] == 255; }

// The pixels the bitmap is built from: the colour rows and the colour table,
// with the transparent pixels painted white.
struct PaintedBitmap {
    std::vector<uint8_t> rows;
    std::vector<uint8_t> table; // 4 bytes an entry
    uint32_t bitCount = 0;
    uint64_t stride = 0;
};

// Rebuilds a paletted image as 24-bit rows, its transparent pixels white:
// for an image that uses every index and has no white entry to spare.
void widenToTrueColor(const IconImage& image, const uint8_t* maskRows, PaintedBitmap& out)
{
    const uint32_t bits = image.bitCount;
    const uint64_t entries = out.table.size() / 4;
    const uint64_t stride = ((uint64_t(image.width) * 24 + 31) / 32) * 4;
    std::vector<uint8_t> rows(stride * static_cast<uint64_t>(image.height), 0);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* mask = maskRows + image.maskStride * static_cast<uint64_t>(y);
        const uint8_t* source = out.rows.data() + image.colorStride * static_cast<uint64_t>(y);
        uint8_t* row = rows.data() + stride * static_cast<uint64_t>(y);
        for (uint64_t x = 0; x < static_cast<uint64_t>(image.width); ++x) {
            uint8_t* pixel = row + x * 3;
            if (testMaskBit(mask, static_cast<int32_t>(x))) {
                std::memset(pixel, 0xFF, 3);
                continue;
            }
            const uint32_t index = pixelIndex(source, x, bits);
            if (index < entries)
                std::memcpy(pixel, &out.table[size_t(index) * 4], 3);
        }
    }
    out.rows = std::move(rows);
    out.table.clear();
    out.bitCount = 24;
    out.stride = stride;
}

// Paletted images paint transparent pixels with the last index (1, 15 or
// 255), whose entry becomes white. When that index is also used by opaque
// pixels of another colour, they would turn white too, so an entry that is
// already white or one no pixel uses is taken instead; when every index is
// in use and none is white, the image is rebuilt as true colour.
void paintPaletted(const IconImage& image, const uint8_t* maskRows, PaintedBitmap& out)
{
    const uint32_t bits = image.bitCount;
    const uint32_t limit = 1u << bits;
    const uint64_t pixels = std::min<uint64_t>(static_cast<uint64_t>(image.width), image.colorStride * 8 / bits);
    std::vector<bool> usedByOpaque(limit, false);
    bool anyTransparent = false;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* mask = maskRows + image.maskStride * static_cast<uint64_t>(y);
        const uint8_t* row = out.rows.data() + image.colorStride * static_cast<uint64_t>(y);
        for (uint64_t x = 0; x < pixels; ++x) {
            if (testMaskBit(mask, static_cast<int32_t>(x)))
                anyTransparent = true;
            else
                usedByOpaque[pixelIndex(row, x, bits)] = true;
        }
    }
    if (!anyTransparent)
        return;

    const uint64_t entries = out.table.size() / 4;
    auto entryWhite = [&](uint32_t i) { return i < entries && isWhite(&out.table[size_t(i) * 4]); };
    const uint32_t last = limit - 1;
    uint32_t choice = last;
    bool whitenEntry = true;
    if (usedByOpaque[last] && !entryWhite(last)) {
        bool found = false;
        for (uint32_t i = 0; i < limit && !found; ++i)
            if (entryWhite(i)) {
                choice = i;
                found = true;
            }
        for (uint32_t i = 0; i < limit && !found; ++i)
            if (!usedByOpaque[i]) {
                choice = i;
                found = true;
            }
        if (!found) {
            widenToTrueColor(image, maskRows, out);
            return;
        }
    }
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* mask = maskRows + image.maskStride * static_cast<uint64_t>(y);
        uint8_t* row = out.rows.data() + image.colorStride * static_cast<uint64_t>(y);
        for (uint64_t x = 0; x < pixels; ++x)
            if (testMaskBit(mask, static_cast<int32_t>(x)))
                setPixelIndex(row, x, bits, choice);
    }
    if (whitenEntry) {
        if (choice >= entries)
            out.table.resize(size_t(choice + 1) * 4, 0); // entries the file left out are black
        std::memset(&out.table[size_t(choice) * 4], 0xFF, 3);
        out.table[size_t(choice) * 4 + 3] = 0;
    }
}

// 32-bit images keep their opacity in each pixel's fourth byte; when any
// pixel has some, that byte rules and the mask is ignored, as Windows draws
// them (the mask is only the fallback for old displays). Older 32-bit icons
// leave every fourth byte 0 and rely on the mask alone. True: the colours
// have been composited over white and made opaque.
bool compositeAlphaOverWhite(const IconImage& image, PaintedBitmap& out)
{
    const uint64_t pixels = std::min<uint64_t>(static_cast<uint64_t>(image.width), image.colorStride / 4);
    bool anyAlpha = false;
    for (int32_t y = 0; y < image.height && !anyAlpha; ++y) {
        const uint8_t* row = out.rows.data() + image.colorStride * static_cast<uint64_t>(y);
        for (uint64_t x = 0; x < pixels && !anyAlpha; ++x)
            anyAlpha = row[x * 4 + 3] != 0;
    }
    if (!anyAlpha)
        return false;
    for (int32_t y = 0; y < image.height; ++y) {
        uint8_t* pixel = out.rows.data() + image.colorStride * static_cast<uint64_t>(y);
        for (uint64_t x = 0; x < pixels; ++x, pixel += 4) {
            for (int c = 0; c < 3; ++c)
                pixel[c] = overWhite(pixel[c], pixel[3]);
            pixel[3] = 255;
        }
    }
    return true;
}

// True colour images: every byte of a transparent pixel becomes 255.
void paintTrueColor(const IconImage& image, const uint8_t* maskRows, PaintedBitmap& out)
{
    if ((image.bitCount == 32 && compositeAlphaOverWhite(image, out)) || !image.hasMask)
        return;
    const uint64_t bytesPerPixel = image.bitCount / 8;
    const uint64_t pixels = std::min<uint64_t>(static_cast<uint64_t>(image.width), image.colorStride / bytesPerPixel);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* mask = maskRows + image.maskStride * static_cast<uint64_t>(y);
        uint8_t* row = out.rows.data() + image.colorStride * static_cast<uint64_t>(y);
        for (uint64_t x = 0; x < pixels; ++x)
            if (testMaskBit(mask, static_cast<int32_t>(x)))
                std::memset(row + x * bytesPerPixel, 0xFF, bytesPerPixel);
    }
}

// The bitmap file the BMP reader is given: file header, the image's info
// header with its height halved, the colour table and the colour rows with
// the transparent pixels painted white.
std::vector<uint8_t> buildBitmapFile(const IconImage& image)
{
    const uint64_t rowsBytes = image.colorStride * static_cast<uint64_t>(image.height);
    const uint8_t* colorRows = image.data.data() + image.colorRowsOffset;
    const uint8_t* maskRows = image.data.data() + image.maskRowsOffset;
    const uint8_t* table = image.data.data() + kInfoHeaderSize;

    PaintedBitmap painted;
    painted.rows.assign(colorRows, colorRows + rowsBytes);
    painted.table.assign(table, table + image.colorTableEntries * 4);
    painted.bitCount = image.bitCount;
    painted.stride = image.colorStride;
    switch (image.bitCount) {
    case 1:
    case 4:
    case 8:
        paintPaletted(image, maskRows, painted);
        break;
    case 16:
    case 24:
    case 32:
        paintTrueColor(image, maskRows, painted);
        break;
    default:
        break; // no rule for other depths; the BMP reader decides what they are
    }

    const uint64_t fileSize = kFileHeaderSize + kInfoHeaderSize + painted.table.size() + painted.rows.size();
    std::vector<uint8_t> file;
    file.reserve(fileSize);
    file.resize(kFileHeaderSize);
    file[0] = 'B';
    file[1] = 'M';
    storeLE32(&file[2], static_cast<uint32_t>(std::min<uint64_t>(fileSize, 0xFFFFFFFFu)));
    storeLE32(&file[10], static_cast<uint32_t>(kFileHeaderSize + kInfoHeaderSize + painted.table.size()));
    file.insert(file.end(), image.data.begin(), image.data.begin() + kInfoHeaderSize);
    storeLE32(&file[kFileHeaderSize + 8], static_cast<uint32_t>(image.height));
    if (painted.table.size() / 4 != image.colorTableEntries)
        storeLE32(&file[kFileHeaderSize + 32], static_cast<uint32_t>(painted.table.size() / 4));
    if (painted.bitCount != image.bitCount) {
        storeLE16(&file[kFileHeaderSize + 12], 1); // planes
        storeLE16(&file[kFileHeaderSize + 14], static_cast<uint16_t>(painted.bitCount));
    }
    file.insert(file.end(), painted.table.begin(), painted.table.end());
    file.insert(file.end(), painted.rows.begin(), painted.rows.end());
    return file;
}

// Palette PNG images mark transparent entries in their tRNS chunk; those
// entries become white, so every pixel that uses one is white.
void whitenTransparentEntries(std::span<const uint8_t> png, ImageBlock& block)
{
    SpanReader reader(png);
    reader.skip(kPngSignature.size());
    while (reader.ok() && reader.remaining() >= 12) {
        uint32_t length = reader.u32be();
        auto type = reader.bytes(4);
        if (!reader.ok() || length > reader.remaining())
            return;
        auto data = reader.bytes(length);
        reader.skip(4); // CRC
        if (std::memcmp(type.data(), "IDAT", 4) == 0 || std::memcmp(type.data(), "IEND", 4) == 0)
            return;
        if (std::memcmp(type.data(), "tRNS", 4) != 0)
            continue;
        for (size_t i = 0; i < data.size() && i < block.colorsUsed(); ++i) {
            if (data[i] == 0)
                block.setColor(static_cast<uint32_t>(i), 255, 255, 255);
        }
        return;
    }
}

// PNG images: pixels with no opacity at all become white, as transparent
// bitmap pixels do.
void whitenTransparentPixels(std::span<const uint8_t> png, ImageBlock& block)
{
    constexpr size_t kColourTypeOffset = 25; // in IHDR, which locatePngImage checked
    constexpr uint8_t kPaletteColourType = 3;
    if (png.size() > kColourTypeOffset && png[kColourTypeOffset] == kPaletteColourType) {
        whitenTransparentEntries(png, block);
        return;
    }
    if (block.bitCount() != 32)
        return;
    for (int32_t y = 0; y < block.height(); ++y) {
        uint8_t* pixel = block.row(y);
        for (int32_t x = 0; x < block.width(); ++x, pixel += 4) {
            if (pixel[3] == 0)
                std::memset(pixel, 0xFF, 4);
        }
    }
}

Result<std::vector<uint8_t>> readFileBytes(const std::string& path)
{
    OpenFile file(path, "rb");
    if (!file)
        return kIconTexts.failure(Reason::CantOpenFile, IconFault::CantOpen);
    auto size = file.size();
    if (!size || *size > kMaxBlockBytes)
        return kIconTexts.failure(Reason::CorruptData, IconFault::ShortRead);
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(*size);
    } catch (const std::bad_alloc&) {
        return kIconTexts.failure(Reason::OutOfMemory, IconFault::NoMemory);
    }
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return kIconTexts.failure(Reason::CorruptData, IconFault::ShortRead);
    return bytes;
}

} // namespace

std::vector<std::string> iconChooserLines(const IconList& list)
{
    std::vector<std::string> lines;
    char line[96];
    for (const IconImage& image : list.images) {
        if (image.bitCount < 16)
            std::snprintf(line, sizeof line, "%d x %d  -  %d colors", image.width, image.height, 1 << image.bitCount);
        else
            std::snprintf(line, sizeof line, "%d x %d  -  True color", image.width, image.height);
        lines.emplace_back(line);
    }
    return lines;
}

Result<IconHeader> checkIconHeader(std::span<const uint8_t> file)
{
    SpanReader reader(file);
    uint16_t reserved = reader.u16le();
    uint16_t type = reader.u16le();
    IconHeader header;
    header.imageCount = reader.u16le();
    if (!reader.ok())
        return kIconTexts.failure(Reason::Truncated, IconFault::BadHeader);
    // Type 2 would be a cursor file.
    if (reserved != 0 || type != 1)
        return kIconTexts.failure(Reason::NotThisFormat, IconFault::BadHeader);
    if (header.imageCount == 0)
        return kIconTexts.failure(Reason::BadHeader, IconFault::NoImages);
    if (reader.remaining() < size_t(header.imageCount) * kDirectoryEntrySize)
        return kIconTexts.failure(Reason::Truncated, IconFault::ShortRead);
    return header;
}

Result<IconList> parseIconFile(std::vector<uint8_t> bytes)
{
    IconList list;
    list.bytes = std::move(bytes);
    std::span<const uint8_t> file(list.bytes);
    Result<IconHeader> header = checkIconHeader(file);
    if (!header)
        return header.failure();
    SpanReader reader(file);
    reader.skip(6);
    list.images.resize(header->imageCount);
    for (IconImage& image : list.images) {
        reader.skip(8); // width, height, colours, reserved, planes, bits: the image's own header says
        uint32_t size = reader.u32le();
        uint32_t offset = reader.u32le();
        if (offset > file.size())
            return kIconTexts.failure(Reason::CorruptData, IconFault::BadSeek);
        if (size > file.size() - offset)
            return kIconTexts.failure(Reason::CorruptData, IconFault::ShortRead);
        image.data = file.subspan(offset, size);
        // Newer icons store their large images as complete PNG files, which
        // would otherwise be taken for a bitmap header.
        if (Status located = startsWithPngSignature(image.data) ? locatePngImage(image) : locateBitmapImage(image);
            !located)
            return located.failure();
    }
    return list;
}

Result<ImageBlock> decodeIconImage(const IconList& list, size_t index)
{
    if (index >= list.images.size())
        return kIconTexts.failure(Reason::BadArgument, IconFault::NoSuchImage);
    const IconImage& image = list.images[index];
    if (image.isPng) {
        Result<DecodedImage> read = readPngFromMemory(image.data);
        if (!read)
            return read.failure();
        whitenTransparentPixels(image.data, read->block);
        return std::move(read->block);
    }
    std::vector<uint8_t> bitmap;
    try {
        bitmap = buildBitmapFile(image);
    } catch (const std::bad_alloc&) {
        return kIconTexts.failure(Reason::OutOfMemory, IconFault::NoMemory);
    }
    Result<DecodedImage> decoded = readBmpFromMemory(bitmap);
    if (!decoded)
        return decoded.failure();
    return std::move(decoded->block);
}

namespace {

// An image's opacity as its bitmap shows it: a 32-bit image's fourth bytes
// when any has some, else its mask; a PNG image's alpha. Null when nothing
// is transparent.
ImageBlock iconOpacity(const IconImage& image)
{
    if (image.isPng) {
        Result<DecodedImage> read = readPngFromMemory(image.data);
        return read ? alphaOfFourthBytes(read->block) : ImageBlock();
    }
    const uint64_t rows = uint64_t(image.height);
    const uint8_t* colour = image.data.data() + image.colorRowsOffset;
    const uint8_t* mask = image.data.data() + image.maskRowsOffset;
    const uint64_t pixels32 = std::min<uint64_t>(uint64_t(image.width), image.colorStride / 4);
    bool fourthBytes = false;
    if (image.bitCount == 32)
        for (uint64_t y = 0; y < rows && !fourthBytes; ++y)
            for (uint64_t x = 0; x < pixels32 && !fourthBytes; ++x)
                fourthBytes = colour[image.colorStride * y + 4 * x + 3] != 0;
    if (!fourthBytes && !image.hasMask)
        return {};
    ImageBlock plane = createAlphaPlane(image.width, image.height);
    bool anyTransparent = false;
    for (int32_t y = 0; plane && y < image.height; ++y) {
        uint8_t* out = plane.row(y);
        for (int32_t x = 0; x < image.width; ++x) {
            if (fourthBytes)
                out[x] = uint64_t(x) < pixels32 ? colour[image.colorStride * uint64_t(y) + 4 * uint64_t(x) + 3] : 255;
            else
                out[x] = testMaskBit(mask + image.maskStride * uint64_t(y), x) ? 0 : 255;
            anyTransparent = anyTransparent || out[x] != 255;
        }
    }
    return anyTransparent ? std::move(plane) : ImageBlock();
}

Result<ImageBlock> readIconBlock(const std::string& path, const IconReadOptions& options, ImageBlock* opacity)
{
    Result<std::vector<uint8_t>> bytes = readFileBytes(path);
    if (!bytes)
        return bytes.failure();
    Result<IconList> list = parseIconFile(bytes.take());
    if (!list)
        return list.failure();

    size_t selected = 0;
    if (options.index >= 0) {
        selected = static_cast<size_t>(options.index);
    } else if (options.largest) {
        const auto pixels = [](const IconImage& image) { return int64_t(image.width) * image.height; };
        for (size_t i = 1; i < list->images.size(); ++i) {
            const IconImage& image = list->images[i];
            const IconImage& best = list->images[selected];
            if (pixels(image) > pixels(best) || (pixels(image) == pixels(best) && image.bitCount > best.bitCount))
                selected = i;
        }
    } else if (options.chooser && list->images.size() > 1) {
        int chosen = options.chooser->chooseIcon(path, iconChooserLines(*list));
        selected = static_cast<size_t>(std::clamp(chosen, 0, static_cast<int>(list->images.size()) - 1));
    }
    Result<ImageBlock> block = decodeIconImage(*list, selected);
    if (block && opacity && selected < list->images.size()) {
        *opacity = iconOpacity(list->images[selected]);
        // The bitmap reader may have made another size of a damaged image.
        if (*opacity && (opacity->width() != block->width() || opacity->height() != block->height()))
            *opacity = ImageBlock();
    }
    return block;
}

} // namespace

Result<DecodedImage> readIcon(const std::string& path, const IconReadOptions& options, bool keepAlpha)
{
    ImageBlock opacity;
    Result<ImageBlock> block = readIconBlock(path, options, keepAlpha ? &opacity : nullptr);
    if (!block)
        return block.failure();
    DecodedImage decoded;
    decoded.block = block.take();
    decoded.alpha = std::move(opacity);
    return decoded;
}

} // namespace pictorand
