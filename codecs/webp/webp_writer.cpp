#include "codecs/common/codec_result.h"
#include "codecs/webp/webp.h"
#include "core/large_buffer.h"

#include <webp/encode.h>

#include <cstdio>

namespace pictorand {

namespace {

struct PictureGuard {
    WebPPicture picture;
    ~PictureGuard() { WebPPictureFree(&picture); }
};
struct MemoryWriterGuard {
    WebPMemoryWriter writer;
    ~MemoryWriterGuard() { WebPMemoryWriterClear(&writer); }
};

// The block's pixels, top row first, blue first: true-colour rows as they
// are, palette indexes looked up in the colour table.
LargeBuffer topDownBgr(const ImageBlock& block)
{
    const auto width = static_cast<size_t>(block.width());
    LargeBuffer pixels = LargeBuffer::allocate(width * 3 * size_t(block.height()));
    if (!pixels)
        return pixels;
    const int bits = block.bitCount();
    const ColorEntry* table = block.colorTable();
    const uint32_t colours = block.colorsUsed();
    for (int32_t y = 0; y < block.height(); ++y) {
        const uint8_t* row = block.topRow(y);
        uint8_t* out = pixels.data() + width * 3 * size_t(y);
        for (size_t x = 0; x < width; ++x, out += 3) {
            if (bits == 24) {
                out[0] = row[3 * x];
                out[1] = row[3 * x + 1];
                out[2] = row[3 * x + 2];
                continue;
            }
            const unsigned perByte = 8u / unsigned(bits);
            const unsigned shift = 8u - unsigned(bits) * (1u + unsigned(x % perByte));
            const unsigned index = (row[x / perByte] >> shift) & ((1u << bits) - 1u);
            // An index past a short table reads as black, as the display shows it.
            const ColorEntry colour = index < colours ? table[index] : ColorEntry{};
            out[0] = colour.blue;
            out[1] = colour.green;
            out[2] = colour.red;
        }
    }
    return pixels;
}

Status encode(const std::string& path, const ImageBlock& block, const WebpWriteOptions& options)
{
    const int bits = block.bitCount();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return kWebpTexts.failure(Reason::Unsupported, WebpFault::UnsupportedDepth);
    if (block.width() < 1 || block.height() < 1 || block.width() > kWebpMaxDimension
        || block.height() > kWebpMaxDimension)
        return kWebpTexts.failure(Reason::BadDimensions, WebpFault::TooLarge);

    WebPConfig config;
    if (!WebPConfigInit(&config))
        return kWebpTexts.failure(Reason::WriteFailed, WebpFault::LibraryMismatch);
    const int quality = options.quality < 0 ? 0 : options.quality > 100 ? 100 : options.quality;
    if (quality == 100) {
        config.lossless = 1;
        config.quality = 75; // for lossless files: the effort, as cwebp -lossless uses
    } else {
        config.quality = static_cast<float>(quality);
    }

    LargeBuffer pixels = topDownBgr(block);
    if (!pixels)
        return outOfMemory();
    PictureGuard guard;
    if (!WebPPictureInit(&guard.picture))
        return kWebpTexts.failure(Reason::WriteFailed, WebpFault::LibraryMismatch);
    WebPPicture& picture = guard.picture;
    picture.use_argb = config.lossless;
    picture.width = block.width();
    picture.height = block.height();
    if (!WebPPictureImportBGR(&picture, pixels.data(), block.width() * 3))
        return outOfMemory();
    pixels = LargeBuffer();

    MemoryWriterGuard output;
    WebPMemoryWriterInit(&output.writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &output.writer;
    if (!WebPEncode(&config, &picture)) {
        if (picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY)
            return outOfMemory();
        return kWebpTexts.failure(Reason::WriteFailed, WebpFault::EncodingFailed);
    }

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return Failure{Reason::CantOpenFile, cantCreateFileText(path)};
    const bool wrote = std::fwrite(output.writer.mem, 1, output.writer.size, file) == output.writer.size;
    const bool closed = std::fclose(file) == 0;
    if (!wrote || !closed)
        return Failure{Reason::WriteFailed, std::string(kCantWriteFile) + ": " + path};
    return {};
}

} // namespace

Status writeWebp(const std::string& path, const ImageBlock& block, const WebpWriteOptions& options)
{
    return encode(path, block, options);
}

} // namespace pictorand
