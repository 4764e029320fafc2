#include "codecs/common/buffered_byte_reader.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/file_reader.h"
#include "codecs/gif/gif.h"
#include "codecs/gif/gif_format.h"
#include "codecs/gif/lzw_decoder.h"
#include "core/byte_order.h"
#include "core/checked_size.h"
#include "core/large_buffer.h"
#include "core/sample_scale.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace pictorand {

namespace {

struct WorkingPalette {
    uint8_t rgb[768] = {};
};

// Moves the decoded indices (one byte each, in decoding order) into the
// block's bottom-up rows. Rows the data never reached stay 0.
void packRows(ImageBlock& block, const uint8_t* decoded, size_t produced, const uint32_t* decodingOrder)
{
    const uint32_t width = static_cast<uint32_t>(block.width());
    const int32_t height = block.height();
    const uint16_t depth = block.bitCount();
    for (int32_t y = 0; y < height; ++y) {
        const uint64_t decodedRow = decodingOrder ? decodingOrder[y] : static_cast<uint64_t>(y);
        const uint64_t start = decodedRow * width;
        if (start >= produced)
            continue;
        const uint8_t* source = decoded + start;
        uint8_t* target = block.topRow(y);
        switch (depth) {
        case 8:
            std::memcpy(target, source, width);
            break;
        case 4:
            for (uint32_t x = 0; x + 1 < width; x += 2)
                target[x / 2] = static_cast<uint8_t>((source[x] & 0x0F) << 4 | (source[x + 1] & 0x0F));
            if (width & 1)
                target[width / 2] = static_cast<uint8_t>((source[width - 1] & 0x0F) << 4);
            break;
        default:
            for (uint32_t x = 0; x < width; x += 8) {
                uint32_t count = std::min<uint32_t>(8, width - x);
                uint8_t bits = 0;
                for (uint32_t k = 0; k < count; ++k)
                    bits = static_cast<uint8_t>(bits | (source[x + k] & 1) << (7 - k));
                target[x / 8] = bits;
            }
            break;
        }
    }
}

// Turns rows decoded top row first in the block into bottom-up rows. Rows
// the data never reached are zero and stay so; only the decoded ones move,
// so a huge picture with little data costs little.
void putRowsBottomUp(ImageBlock& block, size_t produced)
{
    const size_t rowSize = block.rowSize();
    const int32_t height = block.height();
    const size_t decodedRows = (produced + rowSize - 1) / rowSize;
    uint8_t* pixels = block.pixels();
    for (int32_t y = 0; y < height / 2 && static_cast<size_t>(y) < decodedRows; ++y)
        std::swap_ranges(pixels + size_t(y) * rowSize, pixels + size_t(y + 1) * rowSize,
                         pixels + size_t(height - 1 - y) * rowSize);
}

// For each picture row, its place in the decoding order of an interlaced
// image: rows 0, 8, 16, ... first, then 4, 12, ..., then 2, 6, ..., then the
// odd rows.
std::unique_ptr<uint32_t[]> interlaceOrder(int32_t height)
{
    std::unique_ptr<uint32_t[]> order(new (std::nothrow) uint32_t[static_cast<size_t>(height)]);
    if (!order)
        return order;
    uint32_t place = 0;
    for (const gif::InterlacePass& pass : gif::kInterlacePasses)
        for (int32_t y = pass.firstRow; y < height; y += pass.step)
            order[static_cast<size_t>(y)] = place++;
    return order;
}

// Reads the data sub-blocks of one image through the decoder.
void decodeImageData(BufferedByteReader& input, LzwDecoder& decoder)
{
    uint8_t subBlock[255];
    for (;;) {
        int length = input.nextByte();
        if (length <= 0)
            return;
        size_t got = input.read(subBlock, static_cast<size_t>(length));
        if (!decoder.decode(std::span<const uint8_t>(subBlock, got)) || got < static_cast<size_t>(length))
            return;
    }
}

// One LZW code of at most 12 bits gives at most 4,096 pixels (the longest
// string the table holds), so a byte of image data yields at most 2,731.
constexpr uint64_t kBestLzwRatio = 2731;

Failure notValidGif() { return kGifTexts.failure(Reason::CorruptData, GifFault::NotValid); }

Result<ImageBlock> decodeImage(BufferedByteReader& input, uint64_t fileSize, WorkingPalette& palette, int headerDepth,
                               GifFrameInfo& info)
{
    uint8_t descriptor[9];
    if (input.read(descriptor, sizeof(descriptor)) != sizeof(descriptor))
        return notValidGif();
    info.left = loadLE16(descriptor);
    info.top = loadLE16(descriptor + 2);
    const uint16_t width = loadLE16(descriptor + 4);
    const uint16_t height = loadLE16(descriptor + 6);
    const uint8_t packed = descriptor[8];

    int depth = headerDepth;
    uint32_t entries = 1u << headerDepth;
    if (packed & gif::kColorTableFlag) {
        unsigned sizeField = packed & gif::kColorTableSizeMask;
        entries = 2u << sizeField;
        input.read(palette.rgb, 3 * entries); // a short table leaves black entries
        depth = gif::depthForTableSize(sizeField);
    }
    // A picture without pixels is no picture (and no valid block).
    if (width == 0 || height == 0)
        return kGifTexts.failure(Reason::BadDimensions, GifFault::NotValid);

    const uint64_t remaining = fileSize > input.offset() ? fileSize - input.offset() : 0;
    const uint32_t colors = 1u << depth;
    if (ImageBlock::sizeFor(width, height, static_cast<uint16_t>(depth), colors)
        && !couldFillEnoughOf(uint64_t(width) * height, remaining, kBestLzwRatio))
        return Failure{Reason::CorruptData, farTooSmall(kGifTexts[GifFault::NotValid])};
    ImageBlock block = ImageBlock::create(width, height, static_cast<uint16_t>(depth), colors);
    if (!block) return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    for (uint32_t i = 0; i < entries && i < colors; ++i)
        block.setColor(i, palette.rgb[3 * i], palette.rgb[3 * i + 1], palette.rgb[3 * i + 2]);

    const int minimumCodeSize = input.nextByte();
    if (minimumCodeSize > LzwDecoder::kMaxMinimumCodeSize)
        return notValidGif();
    if (minimumCodeSize < 0)
        return block; // no data at all: every pixel 0

    const size_t pixelCount = size_t(width) * height;
    // An 8-bit picture without interlace whose rows need no padding is
    // decoded straight into the block, top row first, and the rows are put
    // bottom-up afterwards: no second picture-sized buffer.
    const bool inPlace = depth == 8 && !(packed & gif::kInterlaceFlag) && block.rowSize() == width;
    LargeBuffer decoded;
    uint8_t* output = block.pixels();
    size_t writable = pixelCount;
    if (!inPlace) {
        auto bufferSize = checkedMulAdd(width, height, LzwDecoder::kOutputSlack);
        decoded = bufferSize ? LargeBuffer::allocate(static_cast<size_t>(*bufferSize)) : LargeBuffer();
        if (!decoded) return Failure{Reason::OutOfMemory, kCantAllocateMemory};
        output = decoded.data();
        writable = decoded.size();
    }
    std::unique_ptr<LzwDecoder> decoder(new (std::nothrow) LzwDecoder(minimumCodeSize, output, pixelCount, writable));
    if (!decoder) return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    decodeImageData(input, *decoder);
    const size_t produced = decoder->produced();
    if (produced < pixelCount)
        info.dataEndedEarly = true;
    // The decoder's 8-byte copies may have run a few bytes past its output;
    // pixels the data did not reach must read as index 0.
    std::memset(output + produced, 0, std::min<size_t>(8, writable - produced));

    if (inPlace) {
        putRowsBottomUp(block, produced);
        return block;
    }
    std::unique_ptr<uint32_t[]> order;
    if (packed & gif::kInterlaceFlag) {
        order = interlaceOrder(height);
        if (!order) return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    }
    packRows(block, output, produced, order.get());
    return block;
}

} // namespace

Result<GifHeader> checkGifHeader(std::span<const uint8_t> file)
{
    if (file.size() < gif::kHeaderSize)
        return kGifTexts.failure(Reason::Truncated, GifFault::NotValid);
    // 87a and 89a alike; the version letters are not looked at.
    if (std::memcmp(file.data(), "GIF8", 4) != 0)
        return kGifTexts.failure(Reason::NotThisFormat, GifFault::NotValid);
    GifHeader header;
    header.screenWidth = loadLE16(file.data() + 6);
    header.screenHeight = loadLE16(file.data() + 8);
    const uint8_t packed = file[10];
    header.globalTable = (packed & gif::kColorTableFlag) != 0;
    header.tableSizeField = packed & gif::kColorTableSizeMask;
    header.backgroundIndex = file[11];
    return header;
}

namespace {

Result<ImageBlock> readGifBlock(const std::string& path, uint32_t controlOffset, uint32_t imageOffset, GifFrameInfo& info)
{
    OpenFile file(path, "rb");
    if (!file)
        return Failure{Reason::CantOpenFile, kCantOpenForReading};
    BufferedByteReader input(file, gif::kReadAhead);
    if (!input)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};

    uint8_t bytes[gif::kHeaderSize];
    const size_t got = input.read(bytes, sizeof(bytes));
    Result<GifHeader> header = checkGifHeader(std::span<const uint8_t>(bytes, got));
    if (!header)
        return header.failure();
    const uint8_t backgroundIndex = header->backgroundIndex;
    const unsigned sizeField = header->tableSizeField;
    const int depth = gif::depthForTableSize(sizeField);
    WorkingPalette palette;
    if (header->globalTable) {
        input.read(palette.rgb, 3 * (2u << sizeField));
    } else {
        // No global table: a grey ramp from black to white that a local
        // table may replace.
        const unsigned last = (1u << depth) - 1;
        for (unsigned i = 0; i <= last; ++i)
            std::memset(palette.rgb + 3 * i, toEightBits(i, last), 3);
    }
    info.backgroundRed = palette.rgb[3 * backgroundIndex];
    info.backgroundGreen = palette.rgb[3 * backgroundIndex + 1];
    info.backgroundBlue = palette.rgb[3 * backgroundIndex + 2];

    if (controlOffset > 0)
        input.seek(controlOffset);
    else if (imageOffset > 0)
        input.seek(imageOffset);

    for (;;) {
        const int byte = input.nextByte();
        if (byte < 0 || byte == gif::kTrailer)
            return notValidGif();
        if (byte == gif::kImageSeparator)
            return decodeImage(input, file.size().value_or(UINT64_MAX), palette, depth, info);
        if (byte != gif::kExtensionIntroducer)
            continue; // stray bytes between blocks are passed over
        const int label = input.nextByte();
        if (label == gif::kGraphicControlLabel) {
            // Block size (not checked), packed byte, delay, transparent index.
            // The terminator is left to the loop, which passes over it.
            uint8_t control[5];
            if (input.read(control, sizeof(control)) != sizeof(control))
                return notValidGif();
            info.transparentFlag = control[1] & 1;
            info.disposalMethod = (control[1] >> 2) & 7;
            info.delay = loadLE16(control + 2);
            info.transparentIndex = control[4];
            continue;
        }
        for (;;) {
            const int length = input.nextByte();
            if (length <= 0 || !input.skipExactly(static_cast<size_t>(length)))
                break;
        }
    }
}

} // namespace

Result<DecodedImage> readGif(const std::string& path, const GifReadOptions& options)
{
    DecodedImage decoded;
    Result<ImageBlock> block = readGifBlock(path, options.controlOffset, options.imageOffset, decoded.gifFrame);
    if (!block)
        return block.failure();
    decoded.block = block.take();
    if (decoded.gifFrame.dataEndedEarly)
        decoded.warning = kPictureDataEndsEarly;
    // The transparent colour shows white, as if the picture lay on a page. A
    // transparent index beyond the table means nothing.
    const GifFrameInfo& frame = decoded.gifFrame;
    if (frame.transparentFlag && frame.transparentIndex < decoded.block.colorsUsed())
        decoded.block.setColor(frame.transparentIndex, 255, 255, 255);
    return decoded;
}

} // namespace pictorand
