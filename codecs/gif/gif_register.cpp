#include "codecs/common/alpha_composite.h"
#include "codecs/common/codec_result.h"
#include "codecs/gif/gif.h"
#include "core/codec_registry.h"

#include <vector>

namespace pictorand {

namespace {

Result<DecodedImage> readGifRequest(const ReadRequest& request)
{
    // The dispatcher writes "GIF - LZW" itself.
    return withoutExceptions([&] {
        Result<DecodedImage> read = readGif(request.path, request.optionsFor<GifReadOptions>());
        const GifFrameInfo* frame = read ? &read->gifFrame : nullptr;
        if (request.keepAlpha && frame && frame->transparentFlag) {
            std::vector<uint8_t> opacity(256, 255);
            opacity[frame->transparentIndex] = 0;
            read->alpha = alphaOfPalettedBlock(read->block, opacity);
        }
        return read;
    });
}

// The save dispatcher quantises true colour before it gets here and always
// asks for a global colour table; the writer has no words of its own.
Status writeGifRequest(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    return withoutExceptions([&]() -> Status {
        const GifWriteOptions gif = writeOptionsFor<GifWriteOptions>(options);
        return writeGif(path, block, true, gif.interlaced, gif.transparentIndex);
    });
}

// The offsets let the animation read the frames one by one.
Result<ImageList> scanGifImages(const std::string& path)
{
    return withoutExceptions([&]() -> Result<ImageList> {
        ImageList list;
        list.controlOffsets.assign(kMaxFrames, 0);
        list.imageOffsets.assign(kMaxFrames, 0);
        int canvasWidth = 0;
        int canvasHeight = 0;
        const Result<int> scanned = scanGifFile(path, list.controlOffsets.data(), list.imageOffsets.data(),
                                                kMaxFrames, canvasWidth, canvasHeight);
        if (!scanned)
            return scanned.failure();
        const int count = *scanned;
        list.count = count;
        list.controlOffsets.resize(static_cast<size_t>(count));
        list.imageOffsets.resize(static_cast<size_t>(count));
        return list;
    });
}

bool isGif(SignatureHead head) { return signatureHas(head, 0, "GIF8"); }

} // namespace

void registerGifCodec(CodecRegistry& registry)
{
    registry.registerTexts(kGifTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Gif, .name = "Gif", .signatureOrder = 20, .matches = isGif,
                .extensions = {"GIF"}, .renameExtension = ".gif", .word = "GIF", .compressionText = "GIF - LZW",
                .openFilters = {{2, "(*.GIF) Compuserve GIF", "*.gif"}}, .multiImage = MultiImage::Animation,
                .save = SaveInfo{2, "GIF", ".gif", "(*.GIF) Compuserve GIF", "*.gif", "GIF - Compuserve GIF", "GIF",
                                 false, {1, 4, 8}, DepthPreparation::QuantiseTo256},
                .mimeTypes = {"image/gif"},
                .associationBoxes = {{.position = 2, .text = "GIF", .controlId = 1018, .key = "GIF"}}},
        .reader = readGifRequest,
        .writer = writeGifRequest,
        .imageList = scanGifImages,
    });
}

} // namespace pictorand
