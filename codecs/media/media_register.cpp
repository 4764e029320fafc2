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
                              "audio/x-midi"},
                // Each box points a class of the system's own at the program.
                .associationBoxes = {
                    {.position = 13, .text = "AVI", .controlId = 1061, .key = "AVI",
                     .mimeTypes = {"video/x-msvideo", "video/vnd.avi"}, .ownClass = "AVIFile", .playVerb = true},
                    {.position = 14, .text = "WAV", .controlId = 1174, .key = "WAV",
                     .mimeTypes = {"audio/x-wav", "audio/vnd.wave"}, .ownClass = "SoundRec", .playVerb = true},
                    {.position = 15, .text = "MID/RMI", .controlId = 1175, .key = "MID",
                     .mimeTypes = {"audio/midi", "audio/x-midi"}, .ownClass = "midfile", .playVerb = true}}},
    });
}

} // namespace pictorand
