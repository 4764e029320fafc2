#include "codecs/gif/gif.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

ImageBlock readGifRequest(const ReadRequest& request, std::string& message, std::string& compression)
{
    (void)compression; // the dispatcher writes "GIF - LZW" itself
    GifFrameInfo ignored;
    GifFrameInfo& info = request.gifFrameInfo ? *request.gifFrameInfo : ignored;
    return readGif(request.path, request.gifControlOffset, request.gifImageOffset, info, message);
}

// The save dispatcher quantises true colour before it gets here and always
// asks for a global colour table; the writer has no words of its own.
bool writeGifRequest(const std::string& path, const ImageBlock& block, const WriteOptions& options,
                     std::string& message)
{
    (void)message;
    return writeGif(path, block, true, options.interlaced, options.transparentIndex);
}

} // namespace

void registerGifCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Gif, readGifRequest);
    registry.registerImageCounter(ImageFormat::Gif, countGifImages);
    registry.registerWriter(SaveType::Gif, writeGifRequest);
}

} // namespace pictorand
