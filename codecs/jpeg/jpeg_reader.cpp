#include "codecs/common/codec_result.h"
#include "codecs/common/exif.h"
#include "codecs/common/pixel_order.h"
#include "codecs/common/whole_file.h"
#include "codecs/jpeg/jpeg.h"
#include "codecs/jpeg/jpeg_error.h"

#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace pictorand {

int jpegScaleDenominator(int imageWidth, int targetWidth)
{
    if (targetWidth <= 0)
        return 1;
    int denominator = 4;
    if (imageWidth / 8 >= targetWidth - 10)
        denominator = 8;
    if (imageWidth <= targetWidth + 10)
        denominator = 1;
    return denominator;
}

int jpegThumbnailDenominator(int imageWidth, int imageHeight, int side)
{
    const int longer = std::max(imageWidth, imageHeight);
    int denominator = 8;
    // The library rounds a scaled size up.
    while (denominator > 1 && (longer + denominator - 1) / denominator < side)
        denominator /= 2;
    return denominator;
}

namespace {

// Progressive files and two-pass quantisation keep whole-image buffers inside
// the library; a hostile header could otherwise ask it for many gigabytes
// before a single row is decoded. 1 GiB covers progressive pictures of well
// over 100 megapixels.
constexpr long kLibraryMemoryLimit = 1L << 30;

// How decoded rows reach the block. "Direct" rows are already in the block's
// layout (blue-green-red, grey or colour-map indexes) and are decoded straight
// into the block; the others go through one scratch row.
enum class Conversion { Direct, RgbToBgr, RgbToGrey, CmykToBgr, CmykToGrey };

struct Decoder {
    jpeg_glue::ErrorManager errors{};
    jpeg_decompress_struct info{};
    // The whole file in memory: the library's Huffman decoder takes its fast
    // path only while a few kilobytes of data are buffered ahead, which a
    // 4 KiB stdio source grants for a quarter of the picture at best.
    WholeFile file;
    ImageBlock block;
    std::vector<uint8_t> scratch;
    Conversion conversion = Conversion::Direct;
    int orientation = 1;
    std::vector<uint8_t> iccProfile;
    bool truncated = false;
    // A CMYK file's own profile, from its samples straight to sRGB or the
    // display's colours (the profile describes ink, which no RGB made of it
    // would match).
    cmsHTRANSFORM cmykToSrgb = nullptr;

    ~Decoder()
    {
        jpeg_destroy_decompress(&info); // safe on a zeroed or half-made record
        if (cmykToSrgb)
            cmsDeleteTransform(cmykToSrgb);
    }
};

inline uint8_t divideBy255(unsigned value) { return static_cast<uint8_t>((value + 128 + ((value + 128) >> 8)) >> 8); }
inline uint8_t luminance(unsigned red, unsigned green, unsigned blue)
{
    return static_cast<uint8_t>((red * 77 + green * 150 + blue * 29 + 128) >> 8);
}

// Adobe applications write CMYK (and YCCK) JPEGs with every sample inverted
// (255 is no ink) and mark them with an APP14 "Adobe" segment, and so does
// the JPEG library for every other writer. The rare file without the mark is
// read the same way, as ImageMagick and Pillow read it: no writer is known
// to store plain ink amounts. A channel's light is (1 - ink) * (1 - black),
// which on inverted samples is their product.
void convertRow(const Decoder& decoder, const uint8_t* source, uint8_t* target, uint32_t width)
{
    switch (decoder.conversion) {
    case Conversion::Direct:
        break;
    case Conversion::RgbToBgr:
        copySwappingRedBlue(source, target, width);
        break;
    case Conversion::RgbToGrey:
        for (uint32_t x = 0; x < width; ++x, source += 3)
            *target++ = luminance(source[0], source[1], source[2]);
        break;
    case Conversion::CmykToBgr:
        if (decoder.cmykToSrgb) {
            cmsDoTransform(decoder.cmykToSrgb, source, target, width);
            break;
        }
        [[fallthrough]];
    case Conversion::CmykToGrey:
        for (uint32_t x = 0; x < width; ++x, source += 4) {
            const unsigned cyan = source[0], magenta = source[1], yellow = source[2], black = source[3];
            uint8_t red = divideBy255(cyan * black);
            uint8_t green = divideBy255(magenta * black);
            uint8_t blue = divideBy255(yellow * black);
            if (decoder.conversion == Conversion::CmykToGrey) {
                *target++ = luminance(red, green, blue);
            } else {
                target[0] = blue;
                target[1] = green;
                target[2] = red;
                target += 3;
            }
        }
        break;
    }
}

// Null when the profile is not a usable CMYK profile: then the file's ink
// amounts are turned into light by the formula above. `display` empty, or
// one Little CMS cannot read (the load checks it first): to sRGB.
cmsHTRANSFORM cmykTransform(const std::vector<uint8_t>& profileBytes, std::span<const uint8_t> display)
{
    cmsHPROFILE profile = cmsOpenProfileFromMem(profileBytes.data(), static_cast<cmsUInt32Number>(profileBytes.size()));
    if (!profile)
        return nullptr;
    cmsHTRANSFORM transform = nullptr;
    if (cmsGetColorSpace(profile) == cmsSigCmykData) {
        cmsHPROFILE output = display.empty()
            ? nullptr
            : cmsOpenProfileFromMem(display.data(), static_cast<cmsUInt32Number>(display.size()));
        if (!output)
            output = cmsCreate_sRGBProfile();
        if (output) {
            transform = cmsCreateTransform(profile, TYPE_CMYK_8_REV, output, TYPE_BGR_8,
                                           INTENT_PERCEPTUAL, 0);
            cmsCloseProfile(output);
        }
    }
    cmsCloseProfile(profile);
    return transform;
}

void readMetadata(Decoder& decoder)
{
    for (jpeg_saved_marker_ptr marker = decoder.info.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && decoder.orientation == 1)
            decoder.orientation = exifOrientationOfApp1(std::span<const uint8_t>(marker->data, marker->data_length));
    }
    JOCTET* profile = nullptr;
    unsigned int length = 0;
    // The library joins the chunks and checks their numbering.
    if (jpeg_read_icc_profile(&decoder.info, &profile, &length) && profile) {
        decoder.iccProfile.assign(profile, profile + length);
        std::free(profile);
    }
}

// Everything between the armed error return and the end of decoding. A
// library error longjmps out of here, so nothing in this frame may own
// resources: all of it lives in the Decoder. False: the block could not be
// allocated.
bool decode(Decoder& decoder, const JpegReadOptions& options)
{
    jpeg_decompress_struct& info = decoder.info;
    info.mem->max_memory_to_use = kLibraryMemoryLimit;
    jpeg_mem_src(&info, decoder.file.bytes().data(), static_cast<unsigned long>(decoder.file.size()));
    // EXIF (APP1) for the orientation, ICC (APP2, in chunks) for the colours.
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    readMetadata(decoder);

    info.do_fancy_upsampling = FALSE;
    info.two_pass_quantize = FALSE;
    info.quantize_colors = FALSE;
    info.dct_method = JDCT_IFAST;
    info.dither_mode = JDITHER_FS;

    bool quantise = options.quantise256;
    bool greyscale = options.loadGreyscale;
    if (greyscale)
        quantise = false;
    bool fileIsGrey = info.jpeg_color_space == JCS_GRAYSCALE
        || (info.jpeg_color_space == JCS_UNKNOWN && info.num_components == 1);
    bool fileIsCmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK
        || (info.jpeg_color_space == JCS_UNKNOWN && info.num_components == 4);
    bool fileIsRawRgb = info.jpeg_color_space == JCS_UNKNOWN && info.num_components == 3;
    if (info.jpeg_color_space == JCS_UNKNOWN && !fileIsGrey && !fileIsCmyk && !fileIsRawRgb)
        jpeg_glue::fail(decoder.errors, kJpegTexts[JpegFault::UnsupportedColourConversion]);

    if (fileIsCmyk) {
        // The library converts YCCK to CMYK but no further; the rest is ours,
        // and so is quantisation (the load dispatcher quantises a 24-bit block
        // for a 256-colour display itself).
        if (info.jpeg_color_space != JCS_UNKNOWN)
            info.out_color_space = JCS_CMYK;
        decoder.conversion = greyscale ? Conversion::CmykToGrey : Conversion::CmykToBgr;
        if (!greyscale && options.colourProfile && !decoder.iccProfile.empty())
            decoder.cmykToSrgb = cmykTransform(decoder.iccProfile, options.displayProfile);
    } else if (fileIsRawRgb) {
        decoder.conversion = greyscale ? Conversion::RgbToGrey : Conversion::RgbToBgr;
    } else if (greyscale || fileIsGrey) {
        if (!fileIsGrey || info.jpeg_color_space != JCS_UNKNOWN)
            info.out_color_space = JCS_GRAYSCALE;
    } else if (quantise) {
        info.quantize_colors = TRUE;
        info.two_pass_quantize = TRUE;
        info.desired_number_of_colors = 256;
        info.out_color_space = JCS_RGB;
    } else {
        // The library writes blue-green-red itself, so rows go straight into
        // the block with no per-pixel pass of ours.
        info.out_color_space = JCS_EXT_BGR;
    }
    quantise = info.quantize_colors != 0;

    if (options.targetWidth > 0) {
        info.scale_num = 1;
        info.scale_denom = static_cast<unsigned>(jpegScaleDenominator(static_cast<int>(info.image_width), options.targetWidth));
    } else if (options.thumbnailSide > 0) {
        info.scale_num = 1;
        info.scale_denom = static_cast<unsigned>(jpegThumbnailDenominator(
            static_cast<int>(info.image_width), static_cast<int>(info.image_height), options.thumbnailSide));
    }

    jpeg_calc_output_dimensions(&info);
    bool trueColour = decoder.conversion == Conversion::RgbToBgr || decoder.conversion == Conversion::CmykToBgr
        || (decoder.conversion == Conversion::Direct && !quantise && info.out_color_space == JCS_EXT_BGR);
    uint16_t bitCount = trueColour ? 24 : 8;
    if (info.output_width > 0x7FFFFFFFu || info.output_height > 0x7FFFFFFFu)
        return false;
    // Every row is written below, or cleared where the data ends.
    decoder.block = ImageBlock::createForRows(static_cast<int32_t>(info.output_width),
                                              static_cast<int32_t>(info.output_height), bitCount, bitCount == 8 ? 256 : 0);
    if (!decoder.block)
        return false;
    if (decoder.conversion != Conversion::Direct) {
        decoder.scratch.assign(static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components), 0);
    }

    decoder.errors.failOnDataEnd = quantise;
    jpeg_start_decompress(&info);
    decoder.errors.failOnDataEnd = false;
    // A multi-scan (progressive) file has been read whole by now; whatever
    // its scans held is shown, however early the data ended.
    if (jpeg_has_multiple_scans(&info)) {
        decoder.truncated = decoder.errors.dataEnded;
        decoder.errors.dataEnded = false;
    }
    ImageBlock& block = decoder.block;
    if (bitCount == 8) {
        if (!quantise) {
            for (uint32_t i = 0; i < 256; ++i)
                block.setColor(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
        } else {
            int colours = std::clamp(info.actual_number_of_colors, 0, 256);
            for (int i = 0; i < colours; ++i)
                block.setColor(static_cast<uint32_t>(i), info.colormap[0][i], info.colormap[1][i], info.colormap[2][i]);
        }
    }

    // The first scanline is the top of the picture, which is the block's
    // last row.
    const int32_t height = block.height();
    constexpr JDIMENSION kBatch = 8;
    JSAMPROW rows[kBatch];
    while (info.output_scanline < info.output_height) {
        JDIMENSION line = info.output_scanline;
        if (decoder.conversion == Conversion::Direct) {
            JDIMENSION count = std::min(kBatch, info.output_height - line);
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = block.topRow(static_cast<int32_t>(line + i));
            jpeg_read_scanlines(&info, rows, count);
        } else {
            rows[0] = decoder.scratch.data();
            if (jpeg_read_scanlines(&info, rows, 1) == 1 && static_cast<int32_t>(line) < height)
                convertRow(decoder, decoder.scratch.data(), block.topRow(static_cast<int32_t>(line)), info.output_width);
        }
        if (decoder.errors.dataEnded) {
            decoder.truncated = true;
            block.clearRowsFrom(static_cast<int32_t>(info.output_scanline));
            return true; // a truncated file: the rows decoded so far, the rest black
        }
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

namespace {

// The decoder with its block.
Result<std::unique_ptr<Decoder>> readJpegDecoder(const std::string& path, const JpegReadOptions& options)
{
    // On the heap, so that what longjmp returns to is memory rather than
    // locals of this frame that setjmp would leave indeterminate.
    auto decoder = std::make_unique<Decoder>();
    if (!decoder->file.open(path))
        return Failure{Reason::CantOpenFile, kCantOpenForReading};
    decoder->info.err = jpeg_glue::install(decoder->errors);
    if (setjmp(decoder->errors.jump)) {
        const bool memory = decoder->errors.library.msg_code == JERR_OUT_OF_MEMORY;
        return Failure{memory ? Reason::OutOfMemory : Reason::CorruptData, decoder->errors.text};
    }
    jpeg_create_decompress(&decoder->info);
    if (!decode(*decoder, options))
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    return decoder;
}

} // namespace

Result<DecodedImage> readJpeg(const std::string& path, const JpegReadOptions& options)
{
    Result<std::unique_ptr<Decoder>> read = readJpegDecoder(path, options);
    if (!read)
        return read.failure();
    std::unique_ptr<Decoder> decoder = read.take();
    DecodedImage decoded;
    decoded.block = std::move(decoder->block);
    decoded.orientation = decoder->orientation;
    // A CMYK profile has been applied already, or does not fit the RGB the
    // file became.
    if (decoder->conversion != Conversion::CmykToBgr && decoder->conversion != Conversion::CmykToGrey)
        decoded.iccProfile = std::move(decoder->iccProfile);
    decoded.coloursConverted = decoder->cmykToSrgb != nullptr;
    if (decoder->truncated)
        decoded.warning = kJpegTexts[JpegFault::DataEnded];
    return decoded;
}

} // namespace pictorand
