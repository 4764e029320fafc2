// Writes a HEIC file with rotation and mirror properties, or a JPEG XL file
// with an orientation in its header, from a binary PPM: the encoders' tools
// cannot write either. Built and run by make-library-fixtures.sh:
//   make_oriented_fixture heic|jxl ORIENTATION IN.ppm OUT
#include <jxl/encode.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

Picture readPpm(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    Picture picture;
    in >> magic >> picture.width >> picture.height >> maximum;
    in.get();
    picture.rgb.assign(std::istreambuf_iterator<char>(in), {});
    if (magic != "P6" || maximum != 255 || picture.rgb.size() != size_t(picture.width) * picture.height * 3)
        std::exit(2);
    return picture;
}

bool writeHeic(const Picture& picture, int orientation, const char* out)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossless(encoder, 1);
    heif_image* image = nullptr;
    heif_image_create(picture.width, picture.height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, picture.width, picture.height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < picture.height; ++y)
        std::copy_n(&picture.rgb[size_t(y) * picture.width * 3], picture.width * 3, plane + size_t(y) * stride);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(orientation);
    bool ok = heif_context_encode_image(context, image, encoder, options, nullptr).code == heif_error_Ok
        && heif_context_write_to_file(context, out).code == heif_error_Ok;
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return ok;
}

bool writeJxl(const Picture& picture, int orientation, const char* out)
{
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(picture.width);
    info.ysize = uint32_t(picture.height);
    info.bits_per_sample = 8;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = static_cast<JxlOrientation>(orientation);
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    bool ok = JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS
        && JxlEncoderSetColorEncoding(encoder, &colour) == JXL_ENC_SUCCESS
        && JxlEncoderAddImageFrame(settings, &format, picture.rgb.data(), picture.rgb.size()) == JXL_ENC_SUCCESS;
    JxlEncoderCloseInput(encoder);
    std::vector<uint8_t> bytes(1 << 16);
    uint8_t* next = bytes.data();
    size_t room = bytes.size();
    ok = ok && JxlEncoderProcessOutput(encoder, &next, &room) == JXL_ENC_SUCCESS;
    JxlEncoderDestroy(encoder);
    if (!ok)
        return false;
    std::FILE* file = std::fopen(out, "wb");
    ok = file && std::fwrite(bytes.data(), 1, bytes.size() - room, file) == bytes.size() - room;
    return file && std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    const std::string kind = argv[1];
    const Picture picture = readPpm(argv[3]);
    const int orientation = std::atoi(argv[2]);
    return (kind == "heic" ? writeHeic(picture, orientation, argv[4]) : writeJxl(picture, orientation, argv[4])) ? 0 : 1;
}
