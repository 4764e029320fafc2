#pragma once
// The run-length schemes of Windows bitmaps, decoded into the rows of an
// image block.
//
// Both read pairs (count, value): a count above 0 is a run; a count of 0
// introduces an escape: 0 end of line, 1 end of bitmap, 2 a delta (two more
// bytes, right and up), 3 or more an absolute run of that many pixels, padded
// to an even number of bytes. Real files do odd things with these (runs that
// spill over the row end, deltas past the top, data that just stops), so the
// decoders never write outside the rows: what would land outside is dropped,
// and decoding simply ends where the data does, even mid-escape.

#include "codecs/common/buffered_byte_reader.h"

#include <cstdint>
#include <span>

namespace pictorand {

// The rows of a block seen as one run of bytes in the order the file stores
// them: offset 0 is the first byte of the first row of the file, and a row's
// bytes run on into the next row's. For a top-down file the first row of
// the file is the top row of the block, so the decoders can write straight
// into place without turning the block round afterwards.
class RleRows {
public:
    RleRows(std::span<uint8_t> rows, uint64_t stride, bool topDown)
        : m_rows(rows)
        , m_stride(stride)
        , m_rowCount(stride ? rows.size() / stride : 0)
        , m_topDown(topDown)
    {
    }

    // Bytes addressable: offsets from 0 up to this.
    uint64_t size() const { return m_rowCount * m_stride; }
    // The longest stretch of contiguous bytes from `offset`, at most `count`;
    // empty past the end.
    std::span<uint8_t> stretch(uint64_t offset, uint64_t count);
    // The byte at `offset`, or null past the end.
    uint8_t* byteAt(uint64_t offset)
    {
        auto bytes = stretch(offset, 1);
        return bytes.empty() ? nullptr : bytes.data();
    }

private:
    std::span<uint8_t> m_rows;
    uint64_t m_stride;
    uint64_t m_rowCount;
    bool m_topDown;
};

// RLE8. Rows are (width + 3) & ~3 bytes apart. A run is not cut at the row
// end: it carries on through the padding into the next row, and an end of
// line then goes to the start of the row after the one the line began in.
void decodeBmpRle8(BufferedByteReader& in, RleRows& rows, uint32_t width);

// RLE4. Pixel x of a row is the high nibble of byte x / 2 for even x, the low
// nibble for odd x; rows are `stride` bytes apart.
void decodeBmpRle4(BufferedByteReader& in, RleRows& rows, uint64_t stride);

} // namespace pictorand
