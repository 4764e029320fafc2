#pragma once
// The image block: one zero-filled allocation holding a packed
// device-independent bitmap (40-byte header, colour table of `biClrUsed`
// entries of blue, green, red, 0, then bottom-up rows padded to 4 bytes).
// Every reader produces one, every writer and operation consumes one. Header
// fields are stored little-endian whatever the host, so a block can be written
// to a BMP file or handed to a display unchanged.

#include "core/large_buffer.h"
#include "core/messages.h" // the words for a block that cannot be had

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pictorand {

struct ColorEntry {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;
    friend bool operator==(const ColorEntry&, const ColorEntry&) = default;
};
static_assert(sizeof(ColorEntry) == 4);

class ImageBlock {
public:
    static constexpr uint32_t kHeaderSize = 40;

    ImageBlock() noexcept = default; // the null block: "no image"
    ImageBlock(ImageBlock&&) noexcept = default;
    ImageBlock& operator=(ImageBlock&&) noexcept = default;
    ImageBlock(const ImageBlock&) = delete;
    ImageBlock& operator=(const ImageBlock&) = delete;

    // `bytes` zero-filled bytes with no header written. Null when bytes is 0,
    // above kMaxBlockBytes, or memory runs out.
    static ImageBlock allocate(uint64_t bytes);
    // The same for a caller that writes all `bytes` before reading any.
    static ImageBlock allocateForOverwrite(uint64_t bytes);

    // A block with its header written (size 40, planes 1, compression 0) and
    // room for `colorsUsed` table entries and height rows of the row size for
    // width and bitCount. Negative sizes, overflow or a total above
    // kMaxBlockBytes give null.
    static ImageBlock create(int32_t width, int32_t height, uint16_t bitCount, uint32_t colorsUsed);
    // The same for a reader that writes every pixel of every row (or clears
    // the rows it could not, clearRowsFrom): the header, the colour table
    // and each row's padding (from its last byte not wholly pixels) are zero, the pixels are whatever a picture
    // freed lately left there. Decoding into pages already touched saves the
    // kernel zeroing fresh ones, which costs as much as the decode itself on
    // some machines.
    static ImageBlock createForRows(int32_t width, int32_t height, uint16_t bitCount, uint32_t colorsUsed);
    // Zeroes the rows from `topRow` (counted from the top) to the bottom.
    void clearRowsFrom(int32_t topRow);

    // 40 + 4 * colorsUsed + rowSize * height, or nothing when it overflows or
    // exceeds kMaxBlockBytes.
    static std::optional<uint64_t> sizeFor(int64_t width, int64_t height, uint32_t bitCount, uint64_t colorsUsed);
    // ((width * bitCount + 31) / 32) * 4 for in-range values.
    static uint64_t rowSizeFor(uint32_t width, uint32_t bitCount);

    bool isNull() const { return !m_buffer; }
    explicit operator bool() const { return static_cast<bool>(m_buffer); }

    uint8_t* data() { return m_buffer.data(); }
    const uint8_t* data() const { return m_buffer.data(); }
    uint64_t size() const { return m_buffer.size(); }

    // Header fields (offsets of BITMAPINFOHEADER).
    uint32_t headerSize() const { return u32(0); }
    int32_t width() const { return static_cast<int32_t>(u32(4)); }
    int32_t height() const { return static_cast<int32_t>(u32(8)); }
    uint16_t planes() const { return u16(12); }
    uint16_t bitCount() const { return u16(14); }
    uint32_t compression() const { return u32(16); }
    uint32_t sizeImage() const { return u32(20); }
    int32_t xPelsPerMeter() const { return static_cast<int32_t>(u32(24)); }
    int32_t yPelsPerMeter() const { return static_cast<int32_t>(u32(28)); }
    uint32_t colorsUsed() const { return u32(32); }
    uint32_t colorsImportant() const { return u32(36); }

    void setHeaderSize(uint32_t v) { setU32(0, v); }
    void setWidth(int32_t v) { setU32(4, static_cast<uint32_t>(v)); }
    void setHeight(int32_t v) { setU32(8, static_cast<uint32_t>(v)); }
    void setPlanes(uint16_t v) { setU16(12, v); }
    void setBitCount(uint16_t v) { setU16(14, v); }
    void setCompression(uint32_t v) { setU32(16, v); }
    void setSizeImage(uint32_t v) { setU32(20, v); }
    void setXPelsPerMeter(int32_t v) { setU32(24, static_cast<uint32_t>(v)); }
    void setYPelsPerMeter(int32_t v) { setU32(28, static_cast<uint32_t>(v)); }
    void setColorsUsed(uint32_t v) { setU32(32, v); }
    void setColorsImportant(uint32_t v) { setU32(36, v); }

    // A hash of the whole block, header and table included: equal blocks
    // give equal values, and a change anywhere almost surely another.
    uint64_t fingerprint() const;

    // Row size from the header's width and bit count.
    uint64_t rowSize() const;
    // Offset of the pixel rows: 40 + 4 * biClrUsed.
    uint64_t pixelOffset() const { return kHeaderSize + uint64_t(4) * colorsUsed(); }
    // True when the header's table and rows lie inside the allocation. Every
    // block made through create() is; code that rewrites header fields of a
    // block must keep it so.
    bool isConsistent() const;

    ColorEntry* colorTable() { return reinterpret_cast<ColorEntry*>(data() + kHeaderSize); }
    const ColorEntry* colorTable() const { return reinterpret_cast<const ColorEntry*>(data() + kHeaderSize); }
    void setColor(uint32_t index, uint8_t red, uint8_t green, uint8_t blue);

    uint8_t* pixels() { return data() + pixelOffset(); }
    const uint8_t* pixels() const { return data() + pixelOffset(); }
    // Stored row y, counted from the first row in memory (the bottom row of
    // the picture).
    uint8_t* row(int32_t y) { return pixels() + rowSize() * static_cast<uint64_t>(y); }
    const uint8_t* row(int32_t y) const { return pixels() + rowSize() * static_cast<uint64_t>(y); }
    // Picture row y counted from the top.
    uint8_t* topRow(int32_t y) { return row(height() - 1 - y); }
    const uint8_t* topRow(int32_t y) const { return row(height() - 1 - y); }

private:
    uint32_t u32(size_t offset) const;
    uint16_t u16(size_t offset) const;
    void setU32(size_t offset, uint32_t v);
    void setU16(size_t offset, uint16_t v);

    LargeBuffer m_buffer;
};

} // namespace pictorand
