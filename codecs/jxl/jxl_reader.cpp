#include "codecs/common/codec_result.h"
#include "codecs/common/lazy_library.h"
#include "codecs/common/library_pixels.h"
#include "codecs/common/whole_file.h"
#include "codecs/jxl/jxl.h"
#include "core/checked_size.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <memory>

namespace pictorand {

namespace {

#define JXL_FUNCTIONS(X)                                                                                          \
    X(JxlDecoderCreate) X(JxlDecoderDestroy) X(JxlDecoderSubscribeEvents) X(JxlDecoderSetParallelRunner)          \
    X(JxlDecoderSetInput) X(JxlDecoderCloseInput) X(JxlDecoderProcessInput) X(JxlDecoderGetBasicInfo)             \
    X(JxlDecoderSetImageOutCallback) X(JxlDecoderGetColorAsEncodedProfile) X(JxlDecoderGetICCProfileSize)         \
    X(JxlDecoderGetColorAsICCProfile)
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

// The profile of the pixels libjxl hands over, unless they are plain sRGB.
std::vector<uint8_t> iccProfileOf(const JxlDecoder* decoder)
{
    std::vector<uint8_t> profile;
    JxlColorEncoding encoding;
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding)
            == JXL_DEC_SUCCESS
        && isSrgb(encoding))
        return profile;
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
bool libraryPlanesFit(const JxlBasicInfo& info)
{
    const uint64_t channels = uint64_t(info.num_color_channels) + info.num_extra_channels;
    const auto area = checkedMul(info.xsize, info.ysize);
    return area && checkedMulAdd(*area, channels * 4, 0).has_value();
}

} // namespace

Result<DecodedImage> readJpegXlFromMemory(std::span<const uint8_t> file, bool keepAlpha)
{
    static const LibraryBinding jxl = bindLibrary(PICTORAND_SONAME_JXL, [](SharedLibrary& library) {
        return true JXL_FUNCTIONS(PICTORAND_BIND_LIBRARY_FUNCTION);
    });
    static const LibraryBinding threads = bindLibrary(PICTORAND_SONAME_JXL_THREADS, [](SharedLibrary& library) {
        return true JXL_THREADS_FUNCTIONS(PICTORAND_BIND_LIBRARY_FUNCTION);
    });
    if (jxl || threads)
        return jxl ? *jxl : *threads;
    std::unique_ptr<JxlDecoder, DecoderDeleter> decoder(JxlDecoderCreate(nullptr));
    std::unique_ptr<void, RunnerDeleter> runner(
        JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads()));
    if (!decoder || !runner)
        return tooBigForBlock();
    if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE)
            != JXL_DEC_SUCCESS
        || JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(decoder.get(), file.data(), file.size()) != JXL_DEC_SUCCESS)
        return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
    JxlDecoderCloseInput(decoder.get());

    Output output;
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    DecodedImage decoded;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo info;
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return kJxlTexts.failure(Reason::CorruptData, JxlFault::NotValid);
            const bool grey = info.num_color_channels == 1;
            const bool alpha = info.alpha_bits > 0;
            output.layout = SampleLayout{(grey ? 1 : 3) + (alpha ? 1 : 0), 8};
            format.num_channels = static_cast<uint32_t>(output.layout.channels);
            // Orientations 5 to 8 exchange width and height.
            const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
            const uint32_t width = turned ? info.ysize : info.xsize;
            const uint32_t height = turned ? info.xsize : info.ysize;
            if (!libraryPlanesFit(info))
                return tooBigForBlock();
            output.block = createBlockForLayout(width, height, output.layout);
            output.alpha = alphaPlaneFor(output.block, output.layout, keepAlpha);
            if (!output.block || (alpha && keepAlpha && !output.alpha))
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

Result<DecodedImage> readJpegXl(const std::string& path, bool keepAlpha)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readJpegXlFromMemory(file.bytes(), keepAlpha);
}

} // namespace pictorand
