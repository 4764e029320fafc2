#include "codecs/common/codec_result.h"
#include "codecs/common/composed_frames.h"
#include "codecs/common/library_pixels.h"
#include "codecs/common/whole_file.h"
#include "codecs/webp/webp.h"
#include "core/large_buffer.h"
#include "platform/file_access.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/mux_types.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

namespace pictorand {

namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};
struct AnimationDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

std::vector<uint8_t> iccProfileOf(const WebPData& data)
{
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemux(&data));
    std::vector<uint8_t> profile;
    if (!demuxer || !(WebPDemuxGetI(demuxer.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG))
        return profile;
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demuxer.get(), "ICCP", 1, &chunk)) {
        profile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    return profile;
}

using AnimationDecoder = std::unique_ptr<WebPAnimDecoder, AnimationDeleter>;

// The library's decoder of an animation, composing RGBA frames on one
// thread; null when it refuses the file.
AnimationDecoder openAnimation(const WebPData& data)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return nullptr;
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    return AnimationDecoder(WebPAnimDecoderNew(&data, &options));
}

// Animations go through the animation decoder, which lays the first frame on
// the canvas (a frame may be smaller than the canvas); the canvas is RGBA.
Result<DecodedImage> decodeFirstFrame(const WebPData& data, const WebPBitstreamFeatures& features, bool keepAlpha)
{
    const SampleLayout layout{4, 8};
    ImageBlock block = createBlockForLayout(static_cast<uint32_t>(features.width),
                                            static_cast<uint32_t>(features.height), layout);
    ImageBlock alpha = alphaPlaneFor(block, layout, keepAlpha);
    if (!block || (keepAlpha && !alpha))
        return tooBigForBlock();
    const AnimationDecoder decoder = openAnimation(data);
    WebPAnimInfo info;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) || info.canvas_width != uint32_t(block.width())
        || info.canvas_height != uint32_t(block.height())
        || !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
        return kWebpTexts.failure(Reason::CorruptData, WebpFault::NotValid);
    const size_t rowBytes = size_t(info.canvas_width) * 4;
    for (int32_t y = 0; y < block.height(); ++y)
        storeTopRow(block, y, canvas + rowBytes * size_t(y), layout, &alpha);
    DecodedImage decoded;
    decoded.block = std::move(block);
    decoded.alpha = std::move(alpha);
    decoded.compression = "WebP - animated";
    return decoded;
}

// A still picture without alpha is decoded straight into the block's rows:
// blue first, and flipped, since block rows run bottom-up.
Result<DecodedImage> decodeStill(const WebPData& data, const WebPBitstreamFeatures& features, bool keepAlpha)
{
    const SampleLayout layout{features.has_alpha ? 4 : 3, 8};
    ImageBlock block = createBlockForLayout(static_cast<uint32_t>(features.width),
                                            static_cast<uint32_t>(features.height), layout);
    ImageBlock alpha = alphaPlaneFor(block, layout, keepAlpha);
    if (!block || (keepAlpha && features.has_alpha && !alpha))
        return tooBigForBlock();
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return kWebpTexts.failure(Reason::CorruptData, WebpFault::NotValid);
    LargeBuffer rgba;
    config.output.is_external_memory = 1;
    if (features.has_alpha) {
        rgba = LargeBuffer::allocate(size_t(features.width) * size_t(features.height) * 4);
        if (!rgba)
            return tooBigForBlock();
        config.output.colorspace = MODE_RGBA;
        config.output.u.RGBA.rgba = rgba.data();
        config.output.u.RGBA.stride = features.width * 4;
        config.output.u.RGBA.size = rgba.size();
    } else {
        config.output.colorspace = MODE_BGR;
        config.options.flip = 1;
        config.output.u.RGBA.rgba = block.pixels();
        config.output.u.RGBA.stride = static_cast<int>(block.rowSize());
        config.output.u.RGBA.size = block.rowSize() * size_t(block.height());
    }
    const VP8StatusCode status = WebPDecode(data.bytes, data.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status == VP8_STATUS_OUT_OF_MEMORY)
        return tooBigForBlock();
    if (status != VP8_STATUS_OK)
        return kWebpTexts.failure(Reason::CorruptData, WebpFault::NotValid);
    if (features.has_alpha)
        for (int32_t y = 0; y < block.height(); ++y)
            storeTopRow(block, y, rgba.data() + size_t(features.width) * 4 * size_t(y), layout, &alpha);
    DecodedImage decoded;
    decoded.block = std::move(block);
    decoded.alpha = std::move(alpha);
    decoded.compression = features.format == 2 ? "WebP - lossless" : "WebP - lossy";
    return decoded;
}

} // namespace

Result<DecodedImage> readWebpFromMemory(std::span<const uint8_t> file, bool keepAlpha)
{
    const WebPData data{file.data(), file.size()};
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data.bytes, data.size, &features) != VP8_STATUS_OK)
        return kWebpTexts.failure(Reason::CorruptData, WebpFault::NotValid);
    // The declared canvas decides before libwebp allocates anything for it.
    if (!declaredSizeFits(uint64_t(features.width), uint64_t(features.height), SampleLayout{4, 8}))
        return tooBigForBlock();
    Result<DecodedImage> decoded =
        features.has_animation ? decodeFirstFrame(data, features, keepAlpha) : decodeStill(data, features, keepAlpha);
    if (decoded)
        decoded->iccProfile = iccProfileOf(data);
    return decoded;
}

Result<ComposedAnimation> readWebpAnimationFromMemory(std::span<const uint8_t> file, const AnimationLimits& limits)
{
    const WebPData data{file.data(), file.size()};
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data.bytes, data.size, &features) != VP8_STATUS_OK)
        return kWebpTexts.failure(Reason::CorruptData, WebpFault::NotValid);
    if (!features.has_animation)
        return ComposedAnimation{};
    if (!declaredSizeFits(uint64_t(features.width), uint64_t(features.height), SampleLayout{4, 8}))
        return tooBigForBlock();
    const AnimationDecoder decoder = openAnimation(data);
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
        return kWebpTexts.failure(Reason::CorruptData, WebpFault::NotValid);
    ComposedFrames frames(limits);
    // Each timestamp is when its frame ends.
    int ended = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get()) && !frames.full()) {
        uint8_t* canvas = nullptr;
        int timestamp = 0;
        // A damaged frame ends the animation; the frames before it stand.
        if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)
            || !frames.addRgba(info.canvas_width, info.canvas_height, canvas, timestamp - ended))
            break;
        ended = timestamp;
    }
    if (frames.count() == 0)
        return kWebpTexts.failure(Reason::CorruptData, WebpFault::NotValid);
    ComposedAnimation animation = frames.take(static_cast<int>(std::min<uint32_t>(info.loop_count, INT32_MAX)));
    animation.iccProfile = iccProfileOf(data);
    return animation;
}

Result<ComposedAnimation> readWebpAnimation(const std::string& path, const AnimationLimits& limits)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readWebpAnimationFromMemory(file.bytes(), limits);
}

bool webpDeclaresAnimation(const std::string& path)
{
    // The RIFF header, then the VP8X chunk's header and its flags: only an
    // extended file animates, and its flags say so before any frame.
    std::FILE* file = openStreamForReading(path);
    if (!file)
        return false;
    std::array<uint8_t, 21> head{};
    const bool whole = std::fread(head.data(), 1, head.size(), file) == head.size();
    std::fclose(file);
    return whole && std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WEBPVP8X", 8) == 0
        && (head[20] & ANIMATION_FLAG) != 0;
}

Result<DecodedImage> readWebp(const std::string& path, bool keepAlpha)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readWebpFromMemory(file.bytes(), keepAlpha);
}

} // namespace pictorand
