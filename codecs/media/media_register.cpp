#include "core/codec_registry.h"

namespace pictorand {

namespace {

// RIFF files of AVI video, WAVE sound or RIFF MIDI, and plain MIDI files.
bool isMedia(SignatureHead head)
{
    return (signatureHas(head, 0, "RIFF")
            && (signatureHas(head, 8, "AV") || signatureHas(head, 8, "WA") || signatureHas(head, 8, "RM")))
        || signatureHas(head, 0, "MThd");
}

} // namespace

// Played by the viewer: no reader, and never renamed.
void registerMediaFormat(CodecRegistry& registry)
{
    registry.registerFormat({
        .row = {.format = ImageFormat::Media, .name = "Media", .signatureOrder = 160, .matches = isMedia,
                .extensions = {"AVI", "RMI", "WAV", "MID"}, .renameExtension = nullptr, .word = "MEDIA",
                .compressionText = "",
                .openFilters = {{13, "(*.AVI) Video for Windows", "*.avi"},
                                {14, "(*.WAV,*.MID,*.RMI) Sound Files", "*.wav;*.mid;*.rmi"}},
                .multiImage = MultiImage::Media, .save = std::nullopt,
                .mimeTypes = {"video/x-msvideo", "video/vnd.avi", "audio/x-wav", "audio/vnd.wave", "audio/midi",
                              "audio/x-midi"}},
    });
}

} // namespace pictorand
