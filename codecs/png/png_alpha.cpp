#include "codecs/png/png.h"

#include "codecs/common/alpha_composite.h"
#include "platform/file_access.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace pictorand {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

uint32_t bigEndian32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

// Chunks before the image data that a well-formed file could have; a file
// of more is not walked to the end.
constexpr int kMostChunksBeforeData = 4096;

// The opacity of each palette entry (or, for a grey file of 8 bits or fewer,
// of each grey value) that the tRNS chunk gives; empty when there is none.
std::vector<uint8_t> entryOpacity(std::FILE* file)
{
    uint8_t signature[8];
    if (std::fread(signature, 1, 8, file) != 8)
        return {};
    int colourType = -1;
    int bitDepth = 0;
    for (int chunk = 0; chunk < kMostChunksBeforeData; ++chunk) {
        uint8_t head[8];
        if (std::fread(head, 1, 8, file) != 8)
            return {};
        const uint32_t length = bigEndian32(head);
        const std::string_view type(reinterpret_cast<const char*>(head + 4), 4);
        if (length > 0x7FFFFFFFu || type == "IDAT" || type == "IEND")
            return {};
        if (type == "IHDR" && length == 13) {
            uint8_t header[13];
            if (std::fread(header, 1, 13, file) != 13)
                return {};
            bitDepth = header[8];
            colourType = header[9];
        } else if (type == "tRNS") {
            std::array<uint8_t, 256> bytes{};
            const size_t wanted = std::min<size_t>(length, bytes.size());
            if (std::fread(bytes.data(), 1, wanted, file) != wanted)
                return {};
            if (colourType == 3)
                return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(wanted)};
            // A grey file's one transparent value, an entry of the block's ramp.
            if (colourType == 0 && bitDepth <= 8 && wanted >= 2 && bytes[0] == 0) {
                std::vector<uint8_t> opacity(256, 255);
                opacity[bytes[1]] = 0;
                return opacity;
            }
            return {};
        } else if (std::fseek(file, static_cast<long>(length), SEEK_CUR) != 0) {
            return {};
        }
        if (std::fseek(file, 4, SEEK_CUR) != 0) // the CRC
            return {};
    }
    return {};
}

} // namespace

ImageBlock pngAlphaPlane(const std::string& path, const ImageBlock& block)
{
    if (block.bitCount() == 32 || block.bitCount() == 64)
        return alphaOfFourthBytes(block);
    if (block.bitCount() > 8)
        return {};
    std::unique_ptr<std::FILE, FileCloser> file(openStreamForReading(path));
    if (!file)
        return {};
    const std::vector<uint8_t> opacity = entryOpacity(file.get());
    return alphaOfPalettedBlock(block, opacity);
}

} // namespace pictorand
