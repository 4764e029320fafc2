// Animated PNG. Debian's libpng reads only the default image (the IDAT
// chunks), so the animation chunks are read here: acTL (frame and play
// counts), fcTL (each frame's rectangle, delay and operations) and fdAT (its
// data, behind a sequence number that fcTL and fdAT chunks share). Each
// frame's data goes to libpng as a PNG of its own: the file's IHDR at the
// frame's size, its PLTE and tRNS, the data as one IDAT, and for the first
// frame the file's iCCP, whose profile libpng reads as it does a still
// picture's. The frames are composed on an RGBA canvas as their dispose and
// blend operations say.
//
// Every field is checked instead of the chunks' CRCs (which the still
// reader does not check for image data either): a sequence number out of
// turn, a rectangle outside the canvas, an unknown operation or a chunk cut
// short ends the animation, and the frames before it stand.

#include "codecs/common/codec_result.h"
#include "codecs/common/composed_frames.h"
#include "codecs/common/library_pixels.h"
#include "codecs/common/span_reader.h"
#include "codecs/common/whole_file.h"
#include "codecs/png/png.h"
#include "codecs/png/png_glue.h"
#include "core/large_buffer.h"
#include "platform/file_access.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace pictorand {

namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

enum class Dispose : uint8_t { None, Background, Previous };
enum class Blend : uint8_t { Source, Over };

struct FrameControl {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t left = 0;
    uint32_t top = 0;
    uint16_t delayNumerator = 0;
    uint16_t delayDenominator = 0;
    Dispose dispose = Dispose::None;
    Blend blend = Blend::Source;
};

struct Frame {
    FrameControl control;
    std::vector<std::span<const uint8_t>> data; // IDAT contents, or fdAT contents after their numbers
    uint64_t dataBytes = 0;
    bool defaultImage = false; // the IDAT chunks are its data
};

struct Animation {
    std::span<const uint8_t> header; // IHDR's 13 bytes
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<std::pair<std::array<char, 4>, std::span<const uint8_t>>> paletteChunks; // PLTE, tRNS
    std::span<const uint8_t> profileChunk; // the iCCP before the image data, if any
    uint32_t plays = 0;
    std::vector<Frame> frames;
};

bool isType(const std::array<char, 4>& type, const char* name) { return std::memcmp(type.data(), name, 4) == 0; }

// The rectangle and operations, checked against the canvas; nothing when
// they break a rule. The first frame covers the canvas, and its Previous
// disposal means Background (there is no picture before it).
std::optional<FrameControl> frameControlOf(std::span<const uint8_t> data, const Animation& animation, bool first)
{
    SpanReader in(data);
    FrameControl control;
    control.width = in.u32be();
    control.height = in.u32be();
    control.left = in.u32be();
    control.top = in.u32be();
    control.delayNumerator = in.u16be();
    control.delayDenominator = in.u16be();
    const uint8_t dispose = in.u8();
    const uint8_t blend = in.u8();
    if (!in.ok() || data.size() != 22 || dispose > 2 || blend > 1 || control.width == 0 || control.height == 0
        || uint64_t(control.left) + control.width > animation.width
        || uint64_t(control.top) + control.height > animation.height)
        return std::nullopt;
    if (first && (control.left != 0 || control.top != 0 || control.width != animation.width
                  || control.height != animation.height))
        return std::nullopt;
    control.dispose = first && dispose == 2 ? Dispose::Background : static_cast<Dispose>(dispose);
    control.blend = static_cast<Blend>(blend);
    return control;
}

// The chunks up to IEND or the first fault, the frames with their data.
// No acTL before the image data: a still picture, no frames.
Animation listFrames(std::span<const uint8_t> file, int mostFrames)
{
    Animation animation;
    SpanReader in(file);
    const std::span<const uint8_t> signature = in.bytes(8);
    if (signature.size() != kSignature.size() || !std::equal(kSignature.begin(), kSignature.end(), signature.begin()))
        return animation;
    uint32_t declaredFrames = 0;
    uint32_t nextSequence = 0;
    bool animated = false;
    bool seenImageData = false;
    std::vector<Frame> frames;
    const auto sequenceInTurn = [&](SpanReader& body) {
        return body.u32be() == nextSequence && body.ok() && (++nextSequence, true);
    };
    while (in.remaining() >= 12) {
        const uint32_t length = in.u32be();
        std::array<char, 4> type{};
        const std::span<const uint8_t> name = in.bytes(4);
        std::copy(name.begin(), name.end(), type.begin());
        if (length > 0x7FFFFFFFu || length > in.remaining() || in.remaining() - length < 4)
            break;
        const std::span<const uint8_t> data = in.bytes(length);
        in.skip(4); // the CRC
        SpanReader body(data);
        if (isType(type, "IHDR")) {
            if (length != 13 || !animation.header.empty())
                break;
            animation.header = data;
            animation.width = body.u32be();
            animation.height = body.u32be();
        } else if (isType(type, "iCCP")) {
            if (!seenImageData && animation.profileChunk.empty())
                animation.profileChunk = data;
        } else if (isType(type, "PLTE") || isType(type, "tRNS")) {
            if (!seenImageData)
                animation.paletteChunks.push_back({type, data});
        } else if (isType(type, "acTL")) {
            if (seenImageData || animated || length != 8)
                break;
            declaredFrames = body.u32be();
            animation.plays = body.u32be();
            animated = true;
        } else if (isType(type, "fcTL")) {
            if (!animated || animation.header.empty() || frames.size() >= declaredFrames || !sequenceInTurn(body)
                || (!frames.empty() && frames.back().data.empty()))
                break;
            std::optional<FrameControl> control = frameControlOf(data.subspan(4), animation, frames.empty());
            if (!control)
                break;
            // A frame is complete once the next one starts.
            if (frames.size() >= static_cast<size_t>(mostFrames))
                break;
            frames.push_back({*control, {}, 0, !seenImageData});
        } else if (isType(type, "IDAT")) {
            // The default image is the first frame when an fcTL came before it.
            if (!frames.empty() && frames.back().defaultImage) {
                frames.back().data.push_back(data);
                frames.back().dataBytes += data.size();
            }
            seenImageData = true;
        } else if (isType(type, "fdAT")) {
            if (frames.empty() || frames.back().defaultImage || !seenImageData || !sequenceInTurn(body))
                break;
            frames.back().data.push_back(data.subspan(4));
            frames.back().dataBytes += length - 4;
        } else if (isType(type, "IEND")) {
            break;
        }
    }
    if (!animated)
        return animation;
    // A frame without data, the last one, is dropped; one whose data was cut
    // short fails in libpng.
    while (!frames.empty() && frames.back().data.empty())
        frames.pop_back();
    animation.frames = std::move(frames);
    return animation;
}

void appendChunk(std::vector<uint8_t>& out, const char* type, std::span<const uint8_t> data)
{
    const auto length = static_cast<uint32_t>(data.size());
    const uint8_t head[8] = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length),
                             uint8_t(type[0]),      uint8_t(type[1]),      uint8_t(type[2]),     uint8_t(type[3])};
    out.insert(out.end(), head, head + 8);
    const size_t start = out.size();
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, head + 4, 4);
    crc = crc32(crc, out.data() + start, static_cast<uInt>(data.size()));
    const uint8_t tail[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    out.insert(out.end(), tail, tail + 4);
}

// The frame as a PNG file of its own, with the file's profile or without.
std::vector<uint8_t> framePng(const Animation& animation, const Frame& frame, bool withProfile)
{
    std::vector<uint8_t> png(kSignature.begin(), kSignature.end());
    std::array<uint8_t, 13> header{};
    std::copy(animation.header.begin(), animation.header.end(), header.begin());
    for (int i = 0; i < 4; ++i) {
        header[size_t(i)] = uint8_t(frame.control.width >> (24 - 8 * i));
        header[size_t(4 + i)] = uint8_t(frame.control.height >> (24 - 8 * i));
    }
    appendChunk(png, "IHDR", header);
    if (withProfile && !animation.profileChunk.empty())
        appendChunk(png, "iCCP", animation.profileChunk);
    for (const auto& [type, data] : animation.paletteChunks)
        appendChunk(png, type.data(), data);
    std::vector<uint8_t> joined;
    joined.reserve(static_cast<size_t>(frame.dataBytes));
    for (std::span<const uint8_t> part : frame.data)
        joined.insert(joined.end(), part.begin(), part.end());
    appendChunk(png, "IDAT", joined);
    appendChunk(png, "IEND", {});
    return png;
}

struct MemorySource {
    std::span<const uint8_t> bytes;
    size_t position = 0;
};

void readFromMemory(png_structp png, png_bytep data, size_t length)
{
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->bytes.size() - source->position)
        png_error(png, "Read Error");
    std::memcpy(data, source->bytes.data() + source->position, length);
    source->position += length;
}

struct FrameDecoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    MemorySource source;
    std::vector<png_bytep> rows;
    std::vector<uint8_t>* profile = nullptr; // where the iCCP's profile goes, if asked for
    ~FrameDecoder() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Runs under the armed error return; every colour type comes out as 8-bit
// RGBA rows.
bool decodeRows(FrameDecoder& decoder, uint32_t width)
{
    png_structp png = decoder.png;
    png_infop info = decoder.info;
    png_set_read_fn(png, &decoder.source, readFromMemory);
    // A profile gets no more than the still reader gives one; a bigger one is
    // dropped with a warning, and the frame's colours are left as they are.
    png_set_chunk_malloc_max(png, png_glue::kMaxProfileBytes);
    png_read_info(png, info);
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (decoder.profile && png_get_iCCP(png, info, &name, &compression, &profile, &profileLength) && profile)
        decoder.profile->assign(profile, profile + profileLength);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_image_width(png, info) != width || png_get_image_height(png, info) != decoder.rows.size()
        || png_get_rowbytes(png, info) != size_t(width) * 4)
        return false;
    png_read_image(png, decoder.rows.data());
    return true;
}

// The frame's pixels, width x height RGBA; nothing when libpng refuses them.
// Given `profile`, the file's embedded profile goes there.
std::optional<LargeBuffer> decodeFrame(const Animation& animation, const Frame& frame,
                                       std::vector<uint8_t>* profile = nullptr)
{
    const std::vector<uint8_t> file = framePng(animation, frame, profile != nullptr);
    const uint32_t width = frame.control.width;
    const uint32_t height = frame.control.height;
    LargeBuffer pixels = LargeBuffer::allocate(size_t(width) * height * 4);
    if (!pixels)
        return std::nullopt;
    FrameDecoder decoder;
    decoder.profile = profile;
    decoder.source.bytes = file;
    decoder.rows.resize(height);
    for (uint32_t y = 0; y < height; ++y)
        decoder.rows[y] = pixels.data() + size_t(width) * 4 * y;
    decoder.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_glue::errorHook, png_glue::warningHook);
    if (!decoder.png)
        return std::nullopt;
    decoder.info = png_create_info_struct(decoder.png);
    if (!decoder.info)
        return std::nullopt;
    if (setjmp(png_jmpbuf(decoder.png)))
        return std::nullopt;
    if (!decodeRows(decoder, width))
        return std::nullopt;
    return pixels;
}

uint8_t divide255(unsigned value) { return static_cast<uint8_t>((value + 127u) / 255u); }

// Lays the frame's pixels on the canvas, replacing or over what is there.
void drawFrame(LargeBuffer& canvas, uint32_t canvasWidth, const FrameControl& control, const uint8_t* pixels)
{
    for (uint32_t y = 0; y < control.height; ++y) {
        const uint8_t* source = pixels + size_t(control.width) * 4 * y;
        uint8_t* target = canvas.data() + (size_t(control.top + y) * canvasWidth + control.left) * 4;
        if (control.blend == Blend::Source) {
            std::memcpy(target, source, size_t(control.width) * 4);
            continue;
        }
        for (uint32_t x = 0; x < control.width; ++x, source += 4, target += 4) {
            const unsigned alpha = source[3];
            if (alpha == 255) {
                std::memcpy(target, source, 4);
            } else if (alpha != 0) {
                // Straight alpha: the colours weighted by what each pixel contributes.
                const unsigned under = divide255(target[3] * (255u - alpha));
                const unsigned total = alpha + under;
                for (int c = 0; c < 3; ++c)
                    target[c] = static_cast<uint8_t>((source[c] * alpha + target[c] * under + total / 2) / total);
                target[3] = static_cast<uint8_t>(total);
            }
        }
    }
}

void clearRectangle(LargeBuffer& canvas, uint32_t canvasWidth, const FrameControl& control)
{
    for (uint32_t y = 0; y < control.height; ++y)
        std::memset(canvas.data() + (size_t(control.top + y) * canvasWidth + control.left) * 4, 0,
                    size_t(control.width) * 4);
}

} // namespace

Result<ComposedAnimation> readApngFromMemory(std::span<const uint8_t> file, const AnimationLimits& limits)
{
    const Animation animation = listFrames(file, limits.frames);
    if (animation.frames.size() < 2)
        return ComposedAnimation{};
    const SampleLayout layout{4, 8};
    if (!declaredSizeFits(animation.width, animation.height, layout))
        return tooBigForBlock();
    LargeBuffer canvas = LargeBuffer::allocate(size_t(animation.width) * animation.height * 4);
    LargeBuffer saved;
    if (!canvas)
        return tooBigForBlock();
    std::memset(canvas.data(), 0, canvas.size()); // fully transparent black
    ComposedFrames frames(limits);
    std::vector<uint8_t> profile;
    for (const Frame& frame : animation.frames) {
        const FrameControl& control = frame.control;
        std::optional<LargeBuffer> pixels = decodeFrame(animation, frame, frames.count() == 0 ? &profile : nullptr);
        if (!pixels)
            break;
        if (control.dispose == Dispose::Previous) {
            if (!saved)
                saved = LargeBuffer::allocate(canvas.size());
            if (!saved)
                break;
            std::memcpy(saved.data(), canvas.data(), canvas.size());
        }
        drawFrame(canvas, animation.width, control, pixels->data());
        // A delay's denominator of 0 means hundredths.
        const int delayMs =
            delayMilliseconds(control.delayNumerator, control.delayDenominator == 0 ? 100 : control.delayDenominator);
        if (!frames.addRgba(animation.width, animation.height, canvas.data(), delayMs))
            break;
        if (control.dispose == Dispose::Background)
            clearRectangle(canvas, animation.width, control);
        else if (control.dispose == Dispose::Previous)
            std::memcpy(canvas.data(), saved.data(), canvas.size());
    }
    if (frames.count() == 0)
        return kPngTexts.failure(Reason::CorruptData, PngFault::NotValid);
    ComposedAnimation composed = frames.take(static_cast<int>(std::min<uint32_t>(animation.plays, INT32_MAX)));
    composed.iccProfile = std::move(profile);
    return composed;
}

// The animation readers read the whole file only when it does.
bool apngDeclaresAnimation(const std::string& path)
{
    std::FILE* file = openStreamForReading(path);
    if (!file)
        return false;
    uint8_t head[8];
    bool animated = false;
    if (std::fread(head, 1, 8, file) == 8 && std::equal(kSignature.begin(), kSignature.end(), head))
        while (std::fread(head, 1, 8, file) == 8) {
            const uint32_t length = uint32_t(head[0]) << 24 | uint32_t(head[1]) << 16 | uint32_t(head[2]) << 8 | head[3];
            if (std::memcmp(head + 4, "acTL", 4) == 0)
                animated = true;
            if (animated || std::memcmp(head + 4, "IDAT", 4) == 0 || std::memcmp(head + 4, "IEND", 4) == 0
                || length > 0x7FFFFFFFu || std::fseek(file, long(length) + 4, SEEK_CUR) != 0)
                break;
        }
    std::fclose(file);
    return animated;
}

std::optional<Result<DecodedImage>> readApngFirstFrame(const std::string& path, bool keepAlpha)
{
    if (!apngDeclaresAnimation(path))
        return std::nullopt;
    WholeFile file;
    if (!file.open(path))
        return std::nullopt;
    const Animation animation = listFrames(file.bytes(), 1);
    if (animation.frames.empty() || animation.frames.front().defaultImage)
        return std::nullopt;
    // The first frame covers the canvas (listFrames holds it to that).
    const SampleLayout layout{4, 8};
    ImageBlock block = createBlockForLayout(animation.width, animation.height, layout);
    ImageBlock alpha = alphaPlaneFor(block, layout, keepAlpha);
    if (!block || (keepAlpha && !alpha))
        return Result<DecodedImage>(tooBigForBlock());
    DecodedImage decoded;
    std::optional<LargeBuffer> pixels = decodeFrame(animation, animation.frames.front(), &decoded.iccProfile);
    if (!pixels)
        return Result<DecodedImage>(kPngTexts.failure(Reason::CorruptData, PngFault::NotValid));
    for (uint32_t y = 0; y < animation.height; ++y)
        storeTopRow(block, static_cast<int32_t>(y), pixels->data() + size_t(animation.width) * 4 * y, layout, &alpha);
    decoded.block = std::move(block);
    decoded.alpha = std::move(alpha);
    return Result<DecodedImage>(std::move(decoded));
}

Result<ComposedAnimation> readApng(const std::string& path, const AnimationLimits& limits)
{
    if (!apngDeclaresAnimation(path))
        return ComposedAnimation{};
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readApngFromMemory(file.bytes(), limits);
}

} // namespace pictorand
