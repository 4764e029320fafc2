#include "codecs/common/codec_result.h"
#include "codecs/png/png.h"
#include "codecs/png/png_glue.h"
#include "codecs/png/png_pieces.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <utility>

namespace pictorand {

namespace {

struct Encoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE* file = nullptr;

    ~Encoder()
    {
        png_destroy_write_struct(&png, &info);
        if (file)
            std::fclose(file);
    }
};

// Runs under the armed error return: nothing here owns resources.
void writeHeader(Encoder& encoder, const ImageBlock& block)
{
    png_structp png = encoder.png;
    png_infop info = encoder.info;
    png_init_io(png, encoder.file);

    const uint16_t bitCount = block.bitCount();
    int colourType = bitCount == 24 ? PNG_COLOR_TYPE_RGB : bitCount == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_PALETTE;
    int bitDepth = bitCount <= 8 ? bitCount : 8;
    png_set_IHDR(png, info, static_cast<png_uint_32>(block.width()), static_cast<png_uint_32>(block.height()), bitDepth,
                 colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        // Exactly the block's entries; a palette longer than the depth can
        // index is cut (libpng refuses it), and a block without a table gets
        // an all-black one, as missing entries are black.
        const uint32_t capacity = 1u << bitDepth;
        uint32_t entries = block.colorsUsed() == 0 ? capacity : std::min(block.colorsUsed(), capacity);
        std::array<png_color, 256> palette{};
        for (uint32_t i = 0; i < std::min(block.colorsUsed(), entries); ++i) {
            const ColorEntry& entry = block.colorTable()[i];
            palette[i] = {entry.red, entry.green, entry.blue};
        }
        png_set_PLTE(png, info, palette.data(), static_cast<int>(entries));
    }
    png_write_info(png, info);
}

// The header through libpng, the image data by png_pieces.
Status writePngFile(const std::string& path, const ImageBlock& block, size_t pieceBytes, unsigned threads)
{
    if (!block || !block.isConsistent() || block.width() <= 0 || block.height() <= 0)
        return writeFailed();
    uint16_t bitCount = block.bitCount();
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return writeFailed();
    auto encoder = std::make_unique<Encoder>();
    encoder->file = std::fopen(path.c_str(), "wb");
    if (!encoder->file)
        return writeFailed();
    encoder->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_glue::errorHook, png_glue::warningHook);
    if (!encoder->png)
        return writeFailed();
    encoder->info = png_create_info_struct(encoder->png);
    if (!encoder->info)
        return writeFailed();
    if (setjmp(png_jmpbuf(encoder->png)))
        return writeFailed();
    writeHeader(*encoder, block);
    // No library call from here on: nothing can jump past the threads below.
    if (!png_pieces::writeImageData(encoder->file, block, pieceBytes, threads))
        return writeFailed();
    std::FILE* file = std::exchange(encoder->file, nullptr);
    if (std::fclose(file) != 0)
        return writeFailed();
    return {};
}

} // namespace

namespace png_pieces {

Status writePngInPieces(const std::string& path, const ImageBlock& block, size_t pieceBytes, unsigned threads)
{
    return writePngFile(path, block, pieceBytes, threads);
}

} // namespace png_pieces

namespace {

Status writePngBlock(const std::string& path, const ImageBlock& block)
{
    return writePngFile(path, block, png_pieces::kPieceBytes, png_pieces::threadCount());
}

} // namespace

Status writePng(const std::string& path, const ImageBlock& block)
{
    return writePngBlock(path, block);
}

} // namespace pictorand
