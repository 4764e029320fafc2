#include "codecs/tiff/tiff.h"
#include "core/codec_registry.h"

#include <array>

namespace pictorand {

namespace {

ImageBlock readTiffFile(const ReadRequest& request, std::string& message, std::string& compression)
{
    return readTiffPage(request.path, request.tiffDirectoryOffset, message, compression);
}

bool writeTiffFile(const std::string& path, const ImageBlock& block, const WriteOptions& options, std::string& message)
{
    return writeTiff(path, block, options.tiffCompression, options.quality, message);
}

int countPages(const std::string& path)
{
    std::array<uint32_t, kTiffPageCapacity> offsets{};
    return countTiffPages(path, offsets.data(), kTiffPageCapacity);
}

// The page table of a multi-page file: directory offsets in the image table.
int pageOffsets(const std::string& path, uint32_t* controlOffsets, uint32_t* imageOffsets, int capacity)
{
    (void)controlOffsets;
    return countTiffPages(path, imageOffsets, capacity);
}

} // namespace

void registerTiffCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Tiff, readTiffFile);
    registry.registerWriter(SaveType::Tif, writeTiffFile);
    registry.registerImageCounter(ImageFormat::Tiff, countPages);
    registry.registerImageOffsets(ImageFormat::Tiff, pageOffsets);
}

} // namespace pictorand
