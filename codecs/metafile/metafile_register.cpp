#include "codecs/metafile/metafile.h"
#include "core/codec_registry.h"

#include <cstring>

namespace pictorand {

namespace {

// Enhanced metafiles open with record type 1; placeable Windows metafiles
// with their key, plain ones with a memory-metafile header of nine words.
bool isMetafile(SignatureHead head)
{
    static constexpr uint8_t enhanced[] = {0x01, 0x00, 0x00, 0x00};
    static constexpr uint8_t placeable[] = {0xD7, 0xCD, 0xC6, 0x9A};
    static constexpr uint8_t windows[] = {0x01, 0x00, 0x09, 0x00};
    return std::memcmp(head.data(), enhanced, 4) == 0 || std::memcmp(head.data(), placeable, 4) == 0
        || std::memcmp(head.data(), windows, 4) == 0;
}

} // namespace

// No reader: metafiles are drawn by the viewer, not read into blocks.
void registerMetafileFormat(CodecRegistry& registry)
{
    registry.registerTexts(metafile::kMetafileTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Metafile, .name = "Metafile", .signatureOrder = 130, .matches = isMetafile,
                .extensions = {"WMF", "EMF"}, .renameExtension = ".wmf", .word = "WMF/EMF", .compressionText = "",
                .openFilters = {{15, "(*.WMF,*.EMF) Windows Metafiles", "*.wmf;*.emf"}},
                .multiImage = MultiImage::Metafile, .save = std::nullopt,
                .mimeTypes = {"image/wmf", "image/x-wmf", "image/emf", "image/x-emf"},
                .associationBoxes = {
                    {.position = 16, .text = "WMF", .controlId = 1070, .key = "WMF",
                     .mimeTypes = {"image/wmf", "image/x-wmf"}, .extensions = {"WMF"}},
                    {.position = 17, .text = "EMF", .controlId = 1071, .key = "EMF",
                     .mimeTypes = {"image/emf", "image/x-emf"}, .extensions = {"EMF"}}}},
    });
}

} // namespace pictorand
