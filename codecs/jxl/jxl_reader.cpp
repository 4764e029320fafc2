#include "codecs/common/box_header.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/coded_colours.h"
#include "codecs/common/composed_frames.h"
#include "codecs/common/lazy_library.h"
#include "codecs/common/library_pixels.h"
#include "codecs/common/whole_file.h"
#include "codecs/jxl/jxl.h"
#include "core/checked_size.h"
#include "core/large_buffer.h"
#include "platform/file_access.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>

namespace pictorand {

namespace {

#define JXL_FUNCTIONS(X)                                                                                          \
    X(JxlDecoderCreate) X(JxlDecoderDestroy) X(JxlDecoderSubscribeEvents) X(JxlDecoderSetParallelRunner)          \
    X(JxlDecoderSetInput) X(JxlDecoderCloseInput) X(JxlDecoderProcessInput) X(JxlDecoderGetBasicInfo)             \
    X(JxlDecoderSetImageOutCallback) X(JxlDecoderGetColorAsEncodedProfile) X(JxlDecoderGetICCProfileSize)         \
    X(JxlDecoderGetColorAsICCProfile) X(JxlDecoderSetCoalescing) X(JxlDecoderGetFrameHeader)                      \
    X(JxlDecoderSetImageOutBuffer) X(JxlDecoderReleaseInput)
#define JXL_THREADS_FUNCTIONS(X)                                                                                  \
    X(JxlThreadParallelRunner) X(JxlThreadParallelRunnerCreate) X(JxlThreadParallelRunnerDestroy)                 \
    X(JxlThreadParallelRunnerDefaultNumWorkerThreads)

JXL_FUNCTIONS(PICTORAND_LIBRARY_FUNCTION_POINTER)
JXL_THREADS_FUNCTIONS(PICTORAND_LIBRARY_FUNCTION_POINTER)

struct DecoderDeleter {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};
struct RunnerDeleter {
    void operator()(void* runner) const { JxlThreadParallelRunnerDestroy(runner); }
};

struct Output {
    ImageBlock block;
    ImageBlock alpha;
    SampleLayout layout;
};

// libjxl hands over pieces of rows, from several threads at once, each to
// its own pixels.
void storePixels(void* opaque, size_t x, size_t y, size_t count, const void* pixels)
{
    auto* output = static_cast<Output*>(opaque);
    const auto width = static_cast<size_t>(output->block.width());
    if (y >= static_cast<size_t>(output->block.height()) || x > width || count > width - x)
        return;
    storeTopRowPart(output->block, static_cast<int32_t>(y), static_cast<int32_t>(x), static_cast<int32_t>(count),
                    static_cast<const uint8_t*>(pixels), output->layout, &output->alpha);
}

bool isSrgb(const JxlColorEncoding& encoding)
{
    const bool srgbTransfer = encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB
        && encoding.white_point == JXL_WHITE_POINT_D65;
    if (encoding.color_space == JXL_COLOR_SPACE_GRAY)
        return srgbTransfer;
    return srgbTransfer && encoding.color_space == JXL_COLOR_SPACE_RGB && encoding.primaries == JXL_PRIMARIES_SRGB;
}

// A PQ or HLG picture in primaries the code points name: the profile that
// brings it to the display's range. libjxl's own profile for it keeps the
// light absolute (10000 nits as white), which shows a picture all but black.
std::vector<uint8_t> highDynamicRangeProfileOf(const JxlColorEncoding& encoding)
{
    const bool highRange = encoding.transfer_function == JXL_TRANSFER_FUNCTION_PQ
        || encoding.transfer_function == JXL_TRANSFER_FUNCTION_HLG;
    if (!highRange || encoding.color_space != JXL_COLOR_SPACE_RGB)
        return {};
    const bool d65 = encoding.white_point == JXL_WHITE_POINT_D65;
    int primaries = 0;
    if (encoding.primaries == JXL_PRIMARIES_SRGB || encoding.primaries == JXL_PRIMARIES_2100)
        primaries = d65 ? encoding.primaries : 0;
    else if (encoding.primaries == JXL_PRIMARIES_P3)
        primaries = d65 ? 12 : encoding.white_point == JXL_WHITE_POINT_DCI ? 11 : 0;
    return primaries ? profileForCodedColours(primaries, encoding.transfer_function) : std::vector<uint8_t>();
}

// The profile of the pixels libjxl hands over, unless they are plain sRGB.
std::vector<uint8_t> iccProfileOf(const JxlDecoder* decoder)
{
    std::vector<uint8_t> profile;
    JxlColorEncoding encoding;
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding)
        == JXL_DEC_SUCCESS) {
        if (isSrgb(encoding))
            return profile;
        if (profile = highDynamicRangeProfileOf(encoding); !profile.empty())
            return profile;
    }
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS
        || size == 0 || size > kMaxBlockBytes)
        return profile;
    profile.resize(size);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, profile.data(), size)
        != JXL_DEC_SUCCESS)
        profile.clear();
    return profile;
}

// What libjxl holds while decoding: a float plane per channel.
// An animation's frames are blended with the four reference frames libjxl
// may keep and the picture shown so far: six sets of planes.
bool libraryPlanesFit(const JxlBasicInfo& info, uint64_t sets = 1)
{
    const uint64_t channels = uint64_t(info.num_color_channels) + info.num_extra_channels;
    const auto area = checkedMul(info.xsize, info.ysize);
    return area && checkedMulAdd(*area, channels * 4 * sets, 0).has_value();
}

using Decoder = std::unique_ptr<JxlDecoder, DecoderDeleter>;
using Runner = std::unique_ptr<void, RunnerDeleter>;

// libjxl's functions and its threads', bound on first use; the failure when
// either is not to be had.
LibraryBinding jxlLibrary()
{
    static const LibraryBinding jxl = bindLibrary(PICTORAND_SONAME_JXL, [](SharedLibrary& library) {
        return true JXL_FUNCTIONS(PICTORAND_BIND_LIBRARY_FUNCTION);
    });
    static const LibraryBinding threads = bindLibrary(PICTORAND_SONAME_JXL_THREADS, [](SharedLibrary& library) {
        return true JXL_THREADS_FUNCTIONS(PICTORAND_BIND_LIBRARY_FUNCTION);
    });
    return jxl ? jxl : threads;
}

// A decoder on its threads over the whole file, told of the events given;
// a failure when the library or the memory for it is not to be had.
std::optional<Failure> openDecoder(std::span<const uint8_t> file, int events, Decoder& decoder, Runner& runner)
{
    if (LibraryBinding missing = jxlLibrary())
        return missing;
    decoder.reset(JxlDecoderCreate(nullptr));
    runner.reset(JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads()));
    if (!decoder || !runner)
        return tooBigForBlock();
    if (JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS
        || JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(decoder.get(), file.data(), file.size()) != JXL_DEC_SUCCESS)
        return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
    JxlDecoderCloseInput(decoder.get());
    return std::nullopt;
}

// The animation check reads as little of the file as libjxl needs for the
// basic information, which follows the codestream's signature within a few
// hundred bytes: in pieces of kHeadChunk, no more than kLongestHead in all.
constexpr size_t kHeadChunk = 64 * 1024;
constexpr size_t kLongestHead = 1024 * 1024;

// The bytes of a file libjxl needs to find its codestream's head. A bare
// codestream is read as it stands. Of a container, only the boxes libjxl
// reads before the codestream's head (the signature, file type and level
// boxes) and the codestream's own are handed over; the others are passed by
// their sizes unread, since writers put Exif and XMP, padded for editing in
// place, or JPEG reconstruction data of any size ahead of the codestream.
class HeadOfCodestream {
public:
    explicit HeadOfCodestream(std::FILE* file) : m_file(file)
    {
        uint8_t signature[2];
        if (std::fread(signature, 1, 2, m_file) != 2 || std::fseek(m_file, 0, SEEK_SET) != 0)
            m_ended = true;
        else if (signature[0] == 0xFF && signature[1] == 0x0A)
            m_boxLeft = std::numeric_limits<uint64_t>::max(); // the whole file, as if one box
    }
    ~HeadOfCodestream() { std::fclose(m_file); }
    HeadOfCodestream(const HeadOfCodestream&) = delete;
    HeadOfCodestream& operator=(const HeadOfCodestream&) = delete;

    // Up to `capacity` further bytes into `out`; 0 at the end or on a fault.
    size_t read(uint8_t* out, size_t capacity)
    {
        size_t count = 0;
        while (count < capacity && !m_ended) {
            if (m_boxLeft == 0) {
                if (capacity - count < kLongestBoxHeader)
                    break; // the header goes first next time
                count += nextNeededBoxHeader(out + count);
                continue;
            }
            const size_t want = static_cast<size_t>(std::min<uint64_t>(m_boxLeft, capacity - count));
            const size_t got = std::fread(out + count, 1, want, m_file);
            count += got;
            m_boxLeft -= got;
            m_position += got;
            m_ended = got < want;
        }
        return count;
    }

private:
    static constexpr size_t kLongestBoxHeader = 16;
    static constexpr int kMostBoxesPassed = 4096;

    // Passes over the boxes libjxl does not need up to one it does, whose
    // header goes to `out`; its size, or 0 at the end or a damaged box.
    size_t nextNeededBoxHeader(uint8_t* out)
    {
        for (; m_passed < kMostBoxesPassed; ++m_passed) {
            uint8_t header[kLongestBoxHeader];
            size_t headerSize = std::fread(header, 1, 8, m_file);
            if (headerSize == 8 && loadBE32(header) == 1) // a 64-bit size follows the type
                headerSize += std::fread(header + 8, 1, 8, m_file);
            const std::optional<BoxHeader> box = readBoxHeader({header, headerSize});
            if (!box)
                break;
            m_position += headerSize;
            // A size of 0 runs to the end of the file.
            const uint64_t content = box->size == 0 ? std::numeric_limits<uint64_t>::max() : box->size - headerSize;
            if (isNeededBox(box->type)) {
                std::memcpy(out, header, headerSize);
                m_boxLeft = content;
                return headerSize;
            }
            if (content > uint64_t(std::numeric_limits<off_t>::max()) - m_position
                || fseeko(m_file, static_cast<off_t>(content), SEEK_CUR) != 0)
                break;
            m_position += content;
        }
        m_ended = true;
        return 0;
    }

    static bool isNeededBox(uint32_t type)
    {
        for (const char* needed : {"JXL ", "ftyp", "jxll", "jxlc", "jxlp"})
            if (type == loadBE32(reinterpret_cast<const uint8_t*>(needed)))
                return true;
        return false;
    }

    std::FILE* m_file;
    uint64_t m_position = 0; // in the file
    uint64_t m_boxLeft = 0;  // of the box being handed over
    int m_passed = 0;        // boxes passed over, in all
    bool m_ended = false;
};

} // namespace

Result<DecodedImage> readJpegXlFromMemory(std::span<const uint8_t> file, const LibraryReadOptions& options)
{
    Decoder decoder;
    Runner runner;
    if (std::optional<Failure> failed =
            openDecoder(file, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE, decoder, runner))
        return *failed;

    Output output;
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_LITTLE_ENDIAN, 0}; // as storeTopRowPart reads deeper samples
    DecodedImage decoded;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo info;
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
            const bool grey = info.num_color_channels == 1;
            const bool alpha = info.alpha_bits > 0;
            // Orientations 5 to 8 exchange width and height.
            const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
            const uint32_t width = turned ? info.ysize : info.xsize;
            const uint32_t height = turned ? info.xsize : info.ysize;
            // Deeper samples come scaled to 16 bits.
            output.layout = withWholeSamples({(grey ? 1 : 3) + (alpha ? 1 : 0), 16},
                                             options.sixteenBitSamples && info.bits_per_sample > 8, width, height);
            if (!output.layout.wholeSamples)
                output.layout.significantBits = 8;
            format.num_channels = static_cast<uint32_t>(output.layout.channels);
            format.data_type = output.layout.wholeSamples ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
            if (!libraryPlanesFit(info))
                return tooBigForBlock();
            output.block = createBlockForLayout(width, height, output.layout);
            output.alpha = alphaPlaneFor(output.block, output.layout, options.keepAlpha);
            if (!output.block || (alpha && options.keepAlpha && !output.alpha))
                return tooBigForBlock();
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            decoded.iccProfile = iccProfileOf(decoder.get());
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
            if (!output.block
                || JxlDecoderSetImageOutCallback(decoder.get(), &format, storePixels, &output) != JXL_DEC_SUCCESS)
                return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
            break;
        case JXL_DEC_FULL_IMAGE:
            // The first frame is the picture; the rest of an animation is
            // never decoded.
            decoded.block = std::move(output.block);
            decoded.alpha = std::move(output.alpha);
            decoded.sixteenBitSamples = output.layout.wholeSamples;
            decoded.greySamples = output.layout.channels <= 2;
            decoded.compression = "JPEG XL";
            return decoded;
        case JXL_DEC_SUCCESS:       // ended without a picture
        case JXL_DEC_NEED_MORE_INPUT: // cut short
        case JXL_DEC_ERROR:
        default:
            return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
        }
    }
}

Result<ComposedAnimation> readJpegXlAnimationFromMemory(std::span<const uint8_t> file, const AnimationLimits& limits)
{
    Decoder decoder;
    Runner runner;
    if (std::optional<Failure> failed =
            openDecoder(file, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME | JXL_DEC_FULL_IMAGE,
                        decoder, runner))
        return *failed;
    // Each frame as it shows, blended with the ones before it by libjxl.
    if (JxlDecoderSetCoalescing(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS)
        return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlBasicInfo info{};
    uint32_t width = 0;
    uint32_t height = 0;
    LargeBuffer canvas;
    ComposedFrames frames(limits);
    std::vector<uint8_t> profile;
    const auto animation = [&] {
        ComposedAnimation composed =
            frames.take(static_cast<int>(std::min<uint32_t>(info.animation.num_loops, INT32_MAX)));
        composed.iccProfile = std::move(profile);
        return composed;
    };
    int delayMs = 0;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
            if (!info.have_animation)
                return ComposedAnimation{};
            const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
            width = turned ? info.ysize : info.xsize;
            height = turned ? info.xsize : info.ysize;
            if (!libraryPlanesFit(info, 6) || !declaredSizeFits(width, height, SampleLayout{4, 8}))
                return tooBigForBlock();
            canvas = LargeBuffer::allocate(size_t(width) * height * 4);
            if (!canvas)
                return tooBigForBlock();
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            profile = iccProfileOf(decoder.get());
            break;
        case JXL_DEC_FRAME: {
            JxlFrameHeader header;
            if (JxlDecoderGetFrameHeader(decoder.get(), &header) != JXL_DEC_SUCCESS)
                return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
            delayMs = delayMilliseconds(uint64_t(header.duration) * info.animation.tps_denominator,
                                        info.animation.tps_numerator);
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
            if (!canvas
                || JxlDecoderSetImageOutBuffer(decoder.get(), &format, canvas.data(), canvas.size()) != JXL_DEC_SUCCESS)
                return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
            break;
        case JXL_DEC_FULL_IMAGE:
            if (!frames.addRgba(width, height, canvas.data(), delayMs) || frames.full())
                return animation();
            break;
        case JXL_DEC_SUCCESS:
        case JXL_DEC_NEED_MORE_INPUT: // cut short: the frames before stand
        case JXL_DEC_ERROR:
        default:
            if (frames.count() == 0)
                return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
            return animation();
        }
    }
}

bool jpegXlDeclaresAnimation(const std::string& path)
{
    if (jxlLibrary())
        return false;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kHeadChunk]);
    std::FILE* file = buffer ? openStreamForReading(path) : nullptr;
    if (!file)
        return false;
    HeadOfCodestream head(file);
    const Decoder decoder(JxlDecoderCreate(nullptr));
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS)
        return false;
    // libjxl keeps what it has not used yet for the next call, which gets it
    // back ahead of the bytes read since.
    size_t held = 0;
    for (size_t handed = 0; handed < kLongestHead;) {
        const size_t read = head.read(buffer.get() + held, kHeadChunk - held);
        if (read == 0)
            return false;
        handed += read;
        held += read;
        if (JxlDecoderSetInput(decoder.get(), buffer.get(), held) != JXL_DEC_SUCCESS)
            return false;
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        const size_t unused = std::min(JxlDecoderReleaseInput(decoder.get()), held);
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo info;
            return JxlDecoderGetBasicInfo(decoder.get(), &info) == JXL_DEC_SUCCESS && info.have_animation;
        }
        if (status != JXL_DEC_NEED_MORE_INPUT || unused == kHeadChunk)
            return false;
        std::memmove(buffer.get(), buffer.get() + (held - unused), unused);
        held = unused;
    }
    return false;
}

Result<ComposedAnimation> readJpegXlAnimation(const std::string& path, const AnimationLimits& limits)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readJpegXlAnimationFromMemory(file.bytes(), limits);
}

Result<DecodedImage> readJpegXl(const std::string& path, const LibraryReadOptions& options)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readJpegXlFromMemory(file.bytes(), options);
}

} // namespace pictorand
