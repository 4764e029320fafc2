#include "codecs/common/codec_result.h"
#include "codecs/png/png.h"
#include "codecs/png/png_glue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace pictorand {

namespace {

constexpr const char* kNotValidPng = "This is not a valid PNG File !";
constexpr const char* kTooBig = "Sorry!\nThis File is toooo big for me.";

// libpng reads IDAT in pieces of this size; the default of 8 KiB costs a
// call per piece on big pictures.
constexpr size_t kIdatReadSize = 256 * 1024;

// Where the compressed bytes come from: a file or a span in memory.
struct Source {
    std::FILE* file = nullptr;
    std::span<const uint8_t> memory;
    size_t position = 0;
};

void readFromSource(png_structp png, png_bytep data, size_t length)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (source->file) {
        if (std::fread(data, 1, length, source->file) != length)
            png_error(png, "Read Error");
        return;
    }
    if (length > source->memory.size() - source->position)
        png_error(png, "Read Error");
    std::memcpy(data, source->memory.data() + source->position, length);
    source->position += length;
}

enum class Failure { Library, Memory, TooBig };

struct Decoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    Source source;
    ImageBlock block;
    std::unique_ptr<png_bytep[]> rows;
    Failure failure = Failure::Library;

    ~Decoder() { png_destroy_read_struct(&png, &info, &endInfo); }
};

// The block a file's header asks for, after the transforms set up in decode().
struct BlockShape {
    uint16_t bitCount = 0;
    uint32_t colours = 0;
};

BlockShape shapeFor(int colourType, int bitDepth)
{
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        // 2-bit files are unpacked to a byte per pixel (blocks have no 2-bit
        // depth); 16-bit ones are stripped to 8-bit grey.
        if (bitDepth == 2)
            return {8, 256};
        if (bitDepth == 16)
            return {8, 256};
        return {static_cast<uint16_t>(bitDepth), 1u << bitDepth};
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        // Alpha is dropped: a grey picture, not grey-and-alpha pairs that
        // would later read as 5-5-5 colour.
        return {8, 256};
    case PNG_COLOR_TYPE_PALETTE:
        return {static_cast<uint16_t>(bitDepth == 2 ? 8 : bitDepth), 0}; // colours: the palette's length
    case PNG_COLOR_TYPE_RGB:
        return {static_cast<uint16_t>(bitDepth == 16 ? 48 : 24), 0};
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return {static_cast<uint16_t>(bitDepth == 16 ? 64 : 32), 0};
    default:
        return {};
    }
}

// Runs under the armed error return: everything it makes lives in the Decoder.
bool decode(Decoder& decoder)
{
    png_structp png = decoder.png;
    png_infop info = decoder.info;
    png_set_read_fn(png, &decoder.source, readFromSource);
    png_set_compression_buffer_size(png, kIdatReadSize);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);

    if (bitDepth == 16)
        png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_RGB || colourType == PNG_COLOR_TYPE_RGB_ALPHA)
        png_set_bgr(png);
    if (colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_strip_alpha(png);
    if (bitDepth == 2)
        png_set_packing(png);
    bool interlaced = interlace != PNG_INTERLACE_NONE;
    if (interlaced)
        png_set_interlace_handling(png);
    // The header chunks read so far had their CRCs checked. For the image data a
    // viewer shows what it can, as browsers do: skipping the IDAT CRCs and
    // zlib's Adler-32 saves a pass over the compressed and one over the
    // decompressed bytes; a damaged stream still fails in inflate.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON); // before inflate is set up
#endif
    png_read_update_info(png, info);

    BlockShape shape = shapeFor(colourType, bitDepth);
    if (shape.bitCount == 0)
        png_error(png, "unknown colour type");
    png_colorp palette = nullptr;
    int paletteSize = 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_get_PLTE(png, info, &palette, &paletteSize);
        paletteSize = std::clamp(paletteSize, 0, 256);
        shape.colours = bitDepth == 2 ? 256 : static_cast<uint32_t>(paletteSize);
    }
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) {
        decoder.failure = Failure::Memory;
        return false;
    }
    decoder.block = ImageBlock::create(static_cast<int32_t>(width), static_cast<int32_t>(height), shape.bitCount,
                                       shape.colours);
    if (!decoder.block) {
        decoder.failure = Failure::Memory;
        return false;
    }
    ImageBlock& block = decoder.block;
    // The library writes its rows straight into the block's rows.
    if (png_get_rowbytes(png, info) > block.rowSize())
        png_error(png, "row size");

    if (palette) {
        for (int i = 0; i < paletteSize && static_cast<uint32_t>(i) < shape.colours; ++i)
            block.setColor(static_cast<uint32_t>(i), palette[i].red, palette[i].green, palette[i].blue);
    } else if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        // The ramp by depth: 255 for the brightest 1-bit value, but 240 for
        // 4-bit and 192 for 2-bit files (steps of 16 and 64).
        int rampDepth = colourType == PNG_COLOR_TYPE_GRAY ? std::min(bitDepth, 8) : 8;
        uint32_t entries = 1u << rampDepth;
        for (uint32_t i = 0; i < entries; ++i) {
            uint32_t value = rampDepth == 1 ? i * 255 : i << (8 - rampDepth);
            auto grey = static_cast<uint8_t>(value);
            block.setColor(i, grey, grey, grey);
        }
    }

    const auto rowCount = static_cast<int32_t>(height);
    if (interlaced) {
        if (height > kPngMaxInterlacedRows) {
            decoder.failure = Failure::TooBig;
            return false;
        }
        decoder.rows.reset(new (std::nothrow) png_bytep[height]);
        if (!decoder.rows) {
            decoder.failure = Failure::Memory;
            return false;
        }
        for (int32_t y = 0; y < rowCount; ++y)
            decoder.rows[static_cast<size_t>(y)] = block.topRow(y);
        png_read_image(png, decoder.rows.get());
    } else {
        for (int32_t y = 0; y < rowCount; ++y)
            png_read_row(png, block.topRow(y), nullptr);
    }
    png_read_end(png, decoder.endInfo);
    return true;
}

ImageBlock readFromSource(const Source& source, std::string& message)
{
    auto decoder = std::make_unique<Decoder>();
    decoder->source = source;
    decoder->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_glue::errorHook, png_glue::warningHook);
    if (!decoder->png)
        return {};
    decoder->info = png_create_info_struct(decoder->png);
    decoder->endInfo = png_create_info_struct(decoder->png);
    if (!decoder->info || !decoder->endInfo)
        return {};
    if (setjmp(png_jmpbuf(decoder->png)))
        return {}; // the message of the first step stands
    if (!decode(*decoder)) {
        if (decoder->failure == Failure::TooBig)
            message = kTooBig;
        else if (decoder->failure == Failure::Memory)
            message = kCantAllocateMemory;
        return {};
    }
    return std::move(decoder->block);
}

} // namespace

namespace {

ImageBlock readPngBlock(const std::string& path, std::string& message)
{
    message = kNotValidPng;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        message = "Can't open file: " + path;
        return {};
    }
    Source source;
    source.file = file;
    ImageBlock block = readFromSource(source, message);
    std::fclose(file);
    return block;
}

} // namespace

Result<DecodedImage> readPng(const std::string& path)
{
    std::string message;
    ImageBlock block = readPngBlock(path, message);
    return decodedOrFailure(std::move(block), std::move(message));
}

namespace {

ImageBlock decodePngBlock(std::span<const uint8_t> file, std::string& message)
{
    message = kNotValidPng;
    Source source;
    source.memory = file;
    return readFromSource(source, message);
}

} // namespace

Result<DecodedImage> readPngFromMemory(std::span<const uint8_t> file)
{
    std::string message;
    ImageBlock block = decodePngBlock(file, message);
    return decodedOrFailure(std::move(block), std::move(message));
}

} // namespace pictorand
