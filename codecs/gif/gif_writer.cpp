#include "codecs/common/codec_result.h"
#include "codecs/common/file_reader.h"
#include "codecs/gif/gif.h"
#include "codecs/gif/gif_format.h"
#include "codecs/gif/lzw_encoder.h"
#include "core/byte_order.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace pictorand {

namespace {

// Collects the encoder's sub-blocks and hands them to the file in large
// pieces.
class FileSink final : public ByteSink {
public:
    explicit FileSink(std::FILE* file)
        : m_file(file)
    {
    }
    ~FileSink() override { flush(); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void write(const uint8_t* bytes, size_t count) override
    {
        if (m_used + count > sizeof(m_buffer))
            flush();
        std::memcpy(m_buffer + m_used, bytes, count);
        m_used += count;
    }
    void flush()
    {
        if (m_used && std::fwrite(m_buffer, 1, m_used, m_file) != m_used)
            m_failed = true;
        m_used = 0;
    }
    // True once any write to the file fell short.
    bool failed() const { return m_failed; }

private:
    std::FILE* m_file;
    bool m_failed = false;
    uint8_t m_buffer[65536];
    size_t m_used = 0;
};

// The block's colours as red, green, blue, padded with black to 2^depth so
// the table always matches its size field.
struct ColorTableBytes {
    std::array<uint8_t, 768> bytes{};
    size_t size = 0;
};

// A block that claims more colours than its depth holds gets only as many as
// the size field can announce.
ColorTableBytes colorTableBytes(const ImageBlock& block, int depth)
{
    const uint32_t size = 1u << depth;
    uint32_t used = block.colorsUsed() == 0 ? size : std::min(block.colorsUsed(), size);
    ColorTableBytes table;
    table.size = 3 * size;
    auto& bytes = table.bytes;
    const ColorEntry* colors = block.colorTable();
    for (uint32_t i = 0; i < used; ++i) {
        bytes[3 * i] = colors[i].red;
        bytes[3 * i + 1] = colors[i].green;
        bytes[3 * i + 2] = colors[i].blue;
    }
    return table;
}

// One 1- or 4-bit picture row as one index per byte.
void unpackRow(const uint8_t* row, uint32_t width, int depth, uint8_t* out)
{
    switch (depth) {
    case 4:
        for (uint32_t x = 0; x < width; ++x)
            out[x] = (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
        break;
    default:
        for (uint32_t x = 0; x < width; ++x)
            out[x] = (row[x / 8] >> (7 - (x & 7))) & 1;
        break;
    }
}

bool writeAll(std::FILE* file, const uint8_t* bytes, size_t count)
{
    return std::fwrite(bytes, 1, count, file) == count;
}

} // namespace

namespace {

Status writeGifFile(const std::string& path, const ImageBlock& block, bool globalTable, bool interlaced,
              int transparentIndex)
{
    if (!block)
        return writeFailed();
    const int depth = block.bitCount();
    if ((depth != 1 && depth != 4 && depth != 8) || !block.isConsistent() || block.width() <= 0
        || block.height() <= 0 || block.width() > 0xFFFF || block.height() > 0xFFFF)
        return writeFailed();
    OpenFile file(path, "wb");
    if (!file)
        return writeFailed();
    // Every write counts: a full disk must not end in a reported success.
    bool written = true;
    const uint32_t width = static_cast<uint32_t>(block.width());
    const uint32_t height = static_cast<uint32_t>(block.height());
    const auto depthBits = static_cast<uint8_t>(depth - 1);
    const ColorTableBytes colorTable = colorTableBytes(block, depth);

    uint8_t screen[gif::kHeaderSize] = {'G', 'I', 'F', '8', '9', 'a'};
    storeLE16(screen + 6, static_cast<uint16_t>(width));
    storeLE16(screen + 8, static_cast<uint16_t>(height));
    screen[10] = static_cast<uint8_t>((globalTable ? gif::kColorTableFlag : 0) | depthBits << 4 | depthBits);
    written = writeAll(file.get(), screen, sizeof(screen));
    if (globalTable)
        written = written && writeAll(file.get(), colorTable.bytes.data(), colorTable.size);

    const bool transparent = transparentIndex >= 0;
    const uint8_t control[8] = {gif::kExtensionIntroducer, gif::kGraphicControlLabel, 4,
                                static_cast<uint8_t>(transparent ? 1 : 0), 0, 0,
                                static_cast<uint8_t>(transparent ? std::min(transparentIndex, 255) : 0), 0};
    written = written && writeAll(file.get(), control, sizeof(control));

    uint8_t descriptor[10] = {gif::kImageSeparator};
    storeLE16(descriptor + 5, static_cast<uint16_t>(width));
    storeLE16(descriptor + 7, static_cast<uint16_t>(height));
    descriptor[9] = static_cast<uint8_t>((globalTable ? 0 : gif::kColorTableFlag) | (interlaced ? gif::kInterlaceFlag : 0)
                                         | depthBits);
    written = written && writeAll(file.get(), descriptor, sizeof(descriptor));
    if (!globalTable)
        written = written && writeAll(file.get(), colorTable.bytes.data(), colorTable.size);

    const int minimumCodeSize = depth == 1 ? 2 : depth;
    const uint8_t codeSize = static_cast<uint8_t>(minimumCodeSize);
    written = written && writeAll(file.get(), &codeSize, 1);
    bool encoded = false;
    {
        FileSink sink(file.get());
        // Rows go to the encoder straight from the block (8-bit) or through
        // one unpacked row, never through a copy of the whole picture.
        std::unique_ptr<uint8_t[]> unpacked(depth == 8 ? nullptr : new (std::nothrow) uint8_t[width]);
        std::unique_ptr<LzwEncoder> encoder = LzwEncoder::create(minimumCodeSize, sink);
        if (encoder && (depth == 8 || unpacked)) {
            auto addRow = [&](uint32_t y) {
                const uint8_t* row = block.topRow(static_cast<int32_t>(y));
                if (depth != 8) {
                    unpackRow(row, width, depth, unpacked.get());
                    row = unpacked.get();
                }
                encoder->add(row, width);
            };
            if (interlaced) {
                for (const gif::InterlacePass& pass : gif::kInterlacePasses)
                    for (uint32_t y = static_cast<uint32_t>(pass.firstRow); y < height; y += static_cast<uint32_t>(pass.step))
                        addRow(y);
            } else {
                for (uint32_t y = 0; y < height; ++y)
                    addRow(y);
            }
            encoder->finish();
            sink.flush();
            encoded = !sink.failed();
        }
    }
    const uint8_t trailer = gif::kTrailer;
    const bool trailerWritten = writeAll(file.get(), &trailer, 1);
    const bool closed = file.close();
    if (!(written && encoded && trailerWritten && closed))
        return writeFailed();
    return {};
}

} // namespace

Status writeGif(const std::string& path, const ImageBlock& block, bool globalTable, bool interlaced,
                int transparentIndex)
{
    return writeGifFile(path, block, globalTable, interlaced, transparentIndex);
}

} // namespace pictorand
