#include "codecs/common/codec_result.h"
#include "codecs/common/file_reader.h"
#include "codecs/common/run_length.h"
#include "codecs/pcx/pcx.h"
#include "core/byte_order.h"

#include <array>
#include <vector>

namespace pictorand {

namespace {

constexpr size_t kPcxHeaderSize = 128;

// Luminance-like weight, enough to tell the dark entry of a pair.
unsigned brightness(const ColorEntry& entry) { return 30u * entry.red + 59u * entry.green + 11u * entry.blue; }

ColorEntry tableEntry(const ImageBlock& block, uint32_t index)
{
    return index < block.colorsUsed() ? block.colorTable()[index] : ColorEntry{}; // missing entries are black
}

bool writeAll(std::FILE* file, const uint8_t* bytes, size_t count)
{
    return count == 0 || std::fwrite(bytes, 1, count, file) == count;
}

} // namespace

namespace {

Status writePcxFile(const std::string& path, const ImageBlock& block)
{
    if (!block || !block.isConsistent() || block.width() <= 0 || block.height() <= 0)
        return writeFailed();
    const uint16_t depth = block.bitCount();
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24)
        return writeFailed();
    const uint32_t width = static_cast<uint32_t>(block.width());
    const uint32_t height = static_cast<uint32_t>(block.height());
    const unsigned bitsPerPlane = depth == 24 ? 8 : depth;
    const unsigned planes = depth == 24 ? 3 : 1;
    uint64_t bytesPerLine = (uint64_t(bitsPerPlane) * width + 7) / 8;
    bytesPerLine += bytesPerLine & 1;
    // The header keeps sizes in 16 bits; a bigger picture cannot be a PCX file.
    if (width > 0x10000 || height > 0x10000 || bytesPerLine > 0xFFFF)
        return writeFailed();

    OpenFile file(path, "wb");
    if (!file)
        return writeFailed();

    std::array<uint8_t, kPcxHeaderSize> header{};
    header[0] = 10;
    header[1] = 5;
    header[2] = 1;
    header[3] = static_cast<uint8_t>(bitsPerPlane);
    storeLE16(&header[8], static_cast<uint16_t>(width - 1));
    storeLE16(&header[10], static_cast<uint16_t>(height - 1));
    // Readers disagree on 1-bit files: some take 0 as black whatever the map
    // says, ImageMagick takes 1 as black whatever the map says, netpbm follows
    // the map. Writing the darker colour as 1 with the map holding the lighter
    // colour first (as ImageMagick does) reads the same in all of them and in
    // our own reader.
    const bool invertBits = depth == 1 && brightness(tableEntry(block, 0)) < brightness(tableEntry(block, 1));
    if (depth == 1 || depth == 4) {
        for (uint32_t i = 0; i < (depth == 1 ? 2u : 16u); ++i) {
            ColorEntry entry = tableEntry(block, invertBits ? 1 - i : i);
            header[16 + i * 3] = entry.red;
            header[16 + i * 3 + 1] = entry.green;
            header[16 + i * 3 + 2] = entry.blue;
        }
    }
    header[65] = static_cast<uint8_t>(planes);
    storeLE16(&header[66], static_cast<uint16_t>(bytesPerLine));
    storeLE16(&header[68], 1);
    if (!writeAll(file.get(), header.data(), header.size()))
        return writeFailed();

    std::vector<uint8_t> plane(bytesPerLine);
    std::vector<uint8_t> encoded(pcxEncodedBound(bytesPerLine) * planes);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = block.topRow(static_cast<int32_t>(y));
        size_t length = 0;
        if (depth == 24) {
            // Red, green and blue planes; the byte that makes a plane even is 0.
            for (int channel = 2; channel >= 0; --channel) {
                for (uint32_t x = 0; x < width; ++x)
                    plane[x] = row[x * 3 + static_cast<uint32_t>(channel)];
                length += encodePcxLine(plane, encoded.data() + length);
            }
        } else {
            std::memcpy(plane.data(), row, bytesPerLine);
            if (invertBits)
                for (uint8_t& byte : plane)
                    byte = static_cast<uint8_t>(~byte);
            length = encodePcxLine(plane, encoded.data());
        }
        if (!writeAll(file.get(), encoded.data(), length))
            return writeFailed();
    }

    if (depth == 8) {
        std::array<uint8_t, 769> trailer{};
        trailer[0] = 12;
        for (uint32_t i = 0; i < 256; ++i) {
            ColorEntry entry = tableEntry(block, i);
            trailer[1 + i * 3] = entry.red;
            trailer[1 + i * 3 + 1] = entry.green;
            trailer[1 + i * 3 + 2] = entry.blue;
        }
        if (!writeAll(file.get(), trailer.data(), trailer.size()))
            return writeFailed();
    }
    if (!file.close())
        return writeFailed();
    return {};
}

} // namespace

Status writePcx(const std::string& path, const ImageBlock& block)
{
    return writePcxFile(path, block);
}

} // namespace pictorand
