#include "core/codec_registry.h"
#include "core/dispatch/load_dispatch.h"
#include "platform/settings_file.h"

namespace pictorand {

ImageBlock loadForBatchWithMessage(const std::string& path, std::string& message, std::string& compression)
{
    auto format = DetectFormat(path);
    if (!format) {
        message = "Can't read file header !\n\nUnsupported file type !";
        return {};
    }
    ReaderFunction reader = CodecRegistry::instance().reader(*format);
    if (!reader) {
        message = "Decode error !";
        return {};
    }
    SettingsFile settings;
    ReadRequest request;
    request.path = path;
    request.loadGreyscale = settings.readInt(settings::LoadGrayscale) != 0;
    request.photoCdLoadingSize = settings.readInt(settings::LoadingSize);
    GifFrameInfo frameInfo;
    request.gifFrameInfo = &frameInfo;
    bool overview = false;
    request.photoCdIsOverview = &overview;
    // FIXME: the load normalisation of unusual depths joins when the depth
    // conversions land.
    return reader(request, message, compression);
}

ImageBlock LoadForBatch(const std::string& path)
{
    std::string message;
    std::string compression;
    return loadForBatchWithMessage(path, message, compression);
}

} // namespace pictorand
