#include "codecs/common/codec_result.h"
#include "codecs/jpeg/jpeg.h"
#include "codecs/jpeg/jpeg_error.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

namespace pictorand {

namespace {

struct Encoder {
    jpeg_glue::ErrorManager errors{};
    jpeg_compress_struct info{};
    std::FILE* file = nullptr;
    std::vector<uint8_t> row; // 8-bit rows expanded through the colour map

    ~Encoder()
    {
        jpeg_destroy_compress(&info);
        if (file)
            std::fclose(file);
    }
};

// Runs under the armed error return: no resources owned in this frame.
void encode(Encoder& encoder, const ImageBlock& block, const JpegWriteOptions& options)
{
    jpeg_compress_struct& info = encoder.info;
    info.image_width = static_cast<JDIMENSION>(block.width());
    info.image_height = static_cast<JDIMENSION>(block.height());
    info.input_components = 3;
    // 24-bit rows are blue-green-red already; the library takes them as they
    // stand instead of us exchanging red and blue first.
    bool trueColour = block.bitCount() == 24;
    info.in_color_space = trueColour ? JCS_EXT_BGR : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_default_colorspace(&info);
    if (options.greyscale)
        jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    if (options.progressive)
        jpeg_simple_progression(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    jpeg_stdio_dest(&info, encoder.file);
    jpeg_start_compress(&info, TRUE);

    // Entries past the block's colours-used count are black.
    std::array<uint8_t, 3 * 256> colourMap{};
    if (!trueColour) {
        uint32_t colours = std::min<uint32_t>(block.colorsUsed(), 256);
        for (uint32_t i = 0; i < colours; ++i) {
            const ColorEntry& entry = block.colorTable()[i];
            colourMap[i * 3] = entry.red;
            colourMap[i * 3 + 1] = entry.green;
            colourMap[i * 3 + 2] = entry.blue;
        }
    }
    const uint32_t width = info.image_width;
    while (info.next_scanline < info.image_height) {
        const uint8_t* source = block.topRow(static_cast<int32_t>(info.next_scanline));
        JSAMPROW rows[1];
        if (trueColour) {
            rows[0] = const_cast<uint8_t*>(source); // the library only reads input rows
        } else {
            uint8_t* target = encoder.row.data();
            for (uint32_t x = 0; x < width; ++x, target += 3) {
                const uint8_t* colour = &colourMap[source[x] * 3u];
                target[0] = colour[0];
                target[1] = colour[1];
                target[2] = colour[2];
            }
            rows[0] = encoder.row.data();
        }
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
}

} // namespace

namespace {

Status writeJpegBlock(const std::string& path, const ImageBlock& block, const JpegWriteOptions& options)
{
    if (!block || !block.isConsistent() || (block.bitCount() != 8 && block.bitCount() != 24) || block.width() <= 0
        || block.height() <= 0 || block.width() > JPEG_MAX_DIMENSION || block.height() > JPEG_MAX_DIMENSION)
        return writeFailed();
    auto encoder = std::make_unique<Encoder>();
    encoder->info.err = jpeg_glue::install(encoder->errors);
    if (setjmp(encoder->errors.jump))
        return writeFailed();
    jpeg_create_compress(&encoder->info);
    encoder->file = std::fopen(path.c_str(), "wb");
    if (!encoder->file)
        return writeFailed();
    if (block.bitCount() == 8)
        encoder->row.assign(static_cast<size_t>(block.width()) * 3, 0);
    encode(*encoder, block, options);
    // A full disk shows up when the last buffered bytes are written.
    std::FILE* file = std::exchange(encoder->file, nullptr);
    if (std::fclose(file) != 0)
        return writeFailed();
    return {};
}

} // namespace

Status writeJpeg(const std::string& path, const ImageBlock& block, const JpegWriteOptions& options)
{
    return writeJpegBlock(path, block, options);
}

} // namespace pictorand
