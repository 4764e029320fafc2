#include "codecs/common/codec_result.h"
#include "codecs/heif/heif.h"

namespace pictorand {

namespace {

Result<DecodedImage> readHeifFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readHeif(request.path, libraryReadOptions(request)); });
}

// HEIF files open with an ftyp box whose major brand names the codec; ten
// bytes show its first two letters. A file with the generic brand "mif1" or
// "msf1" may hold HEVC or AV1: it is taken as HEIC, and the reader, which
// reads both, names what it found. Strict, so tried before the loose
// signatures (an ftyp box of 256 bytes starts like an icon).
bool isHeic(SignatureHead head)
{
    return signatureHas(head, 4, "ftyp")
        && (signatureHas(head, 8, "he") || signatureHas(head, 8, "mi") || signatureHas(head, 8, "ms"));
}

} // namespace

void registerHeifCodec(CodecRegistry& registry)
{
    registry.registerTexts(kHeifTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Heic, .name = "Heic", .signatureOrder = 70, .matches = isHeic,
                .extensions = {"HEIC", "HEIF", "HIF"}, .renameExtension = ".heic", .word = "HEIC",
                .compressionText = "HEIC - HEVC",
                .openFilters = {{21, "(*.HEIC) High Efficiency Image", "*.heic;*.heif;*.hif"}},
                .multiImage = MultiImage::Single, .save = std::nullopt,
                .mimeTypes = {"image/heic", "image/heif"},
                .inModernFormatsGroup = true, .readerLibrary = "heic"},
        .reader = readHeifFile,
    });
}

} // namespace pictorand
