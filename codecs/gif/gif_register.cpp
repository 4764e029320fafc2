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

// The display load keeps the offsets for the animation, which reads the
// frames one by one.
int scanGifOffsets(const std::string& path, uint32_t* controlOffsets, uint32_t* imageOffsets, int capacity)
{
    int canvasWidth = 0;
    int canvasHeight = 0;
    return scanGifFile(path, controlOffsets, imageOffsets, capacity, canvasWidth, canvasHeight);
}

} // namespace

void registerGifCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Gif, readGifRequest);
    registry.registerImageCounter(ImageFormat::Gif, countGifImages);
    registry.registerImageOffsets(ImageFormat::Gif, scanGifOffsets);
    registry.registerWriter(SaveType::Gif, writeGifRequest);
}

} // namespace pictorand
