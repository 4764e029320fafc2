#include "codecs/common/codec_result.h"
#include "codecs/common/coded_colours.h"
#include "codecs/common/lazy_library.h"
#include "codecs/common/library_pixels.h"
#include "codecs/common/whole_file.h"
#include "codecs/heif/heif.h"

#include <libheif/heif.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace pictorand {

namespace {

#define HEIF_FUNCTIONS(X)                                                                                         \
    X(heif_init) X(heif_main_brand) X(heif_has_compatible_brand) X(heif_context_alloc) X(heif_context_free)      \
    X(heif_context_read_from_memory_without_copy) X(heif_context_get_primary_image_handle)                        \
    X(heif_context_set_maximum_image_size_limit) X(heif_image_handle_release) X(heif_image_handle_get_width)      \
    X(heif_image_handle_get_height) X(heif_image_handle_get_ispe_width) X(heif_image_handle_get_ispe_height)      \
    X(heif_image_handle_get_luma_bits_per_pixel) X(heif_image_handle_has_alpha_channel)                           \
    X(heif_image_handle_get_color_profile_type) X(heif_image_handle_get_raw_color_profile_size)                   \
    X(heif_image_handle_get_raw_color_profile) X(heif_decoding_options_alloc) X(heif_decoding_options_free)       \
    X(heif_decode_image) X(heif_image_release) X(heif_image_get_plane_readonly) X(heif_image_get_width)           \
    X(heif_image_get_height) X(heif_image_get_bits_per_pixel_range) X(heif_image_handle_get_nclx_color_profile)       \
    X(heif_nclx_color_profile_free)

HEIF_FUNCTIONS(PICTORAND_LIBRARY_FUNCTION_POINTER)

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

Failure failureFrom(const heif_error& error)
{
    if (error.code == heif_error_Memory_allocation_error || error.subcode == heif_suberror_Security_limit_exceeded)
        return tooBigForBlock();
    return kHeifTexts.failure(Reason::CorruptData, HeifFault::NotValid);
}

std::vector<uint8_t> iccProfileOf(const heif_image_handle* handle)
{
    std::vector<uint8_t> profile;
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_nclx) {
        heif_color_profile_nclx* coded = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &coded).code == heif_error_Ok && coded)
            profile = profileForCodedColours(coded->color_primaries, coded->transfer_characteristics);
        heif_nclx_color_profile_free(coded);
        return profile;
    }
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return profile;
    profile.resize(heif_image_handle_get_raw_color_profile_size(handle));
    if (profile.empty() || heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
        profile.clear();
    return profile;
}

// The brand says which codec the picture is in, for the compression text.
const char* compressionOf(std::span<const uint8_t> file)
{
    const int length = static_cast<int>(std::min<size_t>(file.size(), INT_MAX));
    const heif_brand brand = heif_main_brand(file.data(), length);
    const bool av1 = brand == heif_avif || brand == heif_avis
        || ((brand == heif_mif1 || brand == heif_msf1) && heif_has_compatible_brand(file.data(), length, "avif") == 1);
    return av1 ? "AVIF - AV1" : "HEIC - HEVC";
}

} // namespace

Result<DecodedImage> readHeifFromMemory(std::span<const uint8_t> file, const LibraryReadOptions& options)
{
    static const LibraryBinding heif = bindLibrary(PICTORAND_SONAME_HEIF, [](SharedLibrary& library) {
        return true HEIF_FUNCTIONS(PICTORAND_BIND_LIBRARY_FUNCTION);
    });
    if (heif)
        return *heif;
    // Loads the decoder plugins; heif_init counts its callers, and this one
    // never leaves.
    static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
    (void)initialised;
    std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context)
        return tooBigForBlock();
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr);
    if (error.code != heif_error_Ok)
        return failureFrom(error);
    heif_image_handle* primary = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &primary);
    std::unique_ptr<heif_image_handle, HandleDeleter> handle(primary);
    if (error.code != heif_error_Ok || !handle)
        return failureFrom(error);

    // The handle's size is the picture's after rotation and cropping.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const bool deep = bits > 8;
    if (width <= 0 || height <= 0 || bits > 16)
        return kHeifTexts.failure(Reason::CorruptData, HeifFault::NotValid);
    // The coded picture, before cropping, is declared too.
    const int codedWidth = std::max(width, heif_image_handle_get_ispe_width(handle.get()));
    const int codedHeight = std::max(height, heif_image_handle_get_ispe_height(handle.get()));
    SampleLayout layout = withWholeSamples({alpha ? 4 : 3, deep ? bits : 8}, options.sixteenBitSamples,
                                           uint64_t(codedWidth), uint64_t(codedHeight));
    if (!declaredSizeFits(uint64_t(width), uint64_t(height), layout)
        || !declaredSizeFits(uint64_t(codedWidth), uint64_t(codedHeight), layout))
        return tooBigForBlock();
    // libheif decodes at the size the HEVC or AV1 stream itself gives, which
    // a hostile file makes far larger than the declared one (a 5 KB file
    // once took 43 s and 3.7 GB this way): the stream is held to the
    // declared size, padded to whole coding blocks (at most 64 pixels for
    // HEVC, 128 for AV1).
    heif_context_set_maximum_image_size_limit(context.get(), std::max(codedWidth, codedHeight) + 128);
    ImageBlock block = createBlockForLayout(uint32_t(width), uint32_t(height), layout);
    ImageBlock opacity = alphaPlaneFor(block, layout, options.keepAlpha);
    if (!block || (alpha && options.keepAlpha && !opacity))
        return tooBigForBlock();

    std::unique_ptr<heif_decoding_options, OptionsDeleter> decoding(heif_decoding_options_alloc());
    if (!decoding)
        return tooBigForBlock();
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* decodedImage = nullptr;
    error = heif_decode_image(handle.get(), &decodedImage, heif_colorspace_RGB, chroma, decoding.get());
    std::unique_ptr<heif_image, ImageDeleter> image(decodedImage);
    if (error.subcode == heif_suberror_Security_limit_exceeded)
        return kHeifTexts.failure(Reason::CorruptData, HeifFault::NotValid); // the stream is not the picture declared
    if (error.code != heif_error_Ok || !image)
        return failureFrom(error);
    int stride = 0;
    const uint8_t* samples = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!samples || heif_image_get_width(image.get(), heif_channel_interleaved) != width
        || heif_image_get_height(image.get(), heif_channel_interleaved) != height
        || stride < width * layout.channels * (deep ? 2 : 1))
        return kHeifTexts.failure(Reason::CorruptData, HeifFault::NotValid);
    if (deep)
        layout.significantBits = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
    if (deep && (layout.significantBits <= 8 || layout.significantBits > 16))
        return kHeifTexts.failure(Reason::CorruptData, HeifFault::NotValid);
    for (int32_t y = 0; y < height; ++y)
        storeTopRow(block, y, samples + size_t(stride) * size_t(y), layout, &opacity);

    DecodedImage decoded;
    decoded.block = std::move(block);
    decoded.alpha = std::move(opacity);
    decoded.sixteenBitSamples = layout.wholeSamples;
    decoded.compression = compressionOf(file);
    decoded.iccProfile = iccProfileOf(handle.get());
    return decoded;
}

Result<DecodedImage> readHeif(const std::string& path, const LibraryReadOptions& options)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readHeifFromMemory(file.bytes(), options);
}

} // namespace pictorand
