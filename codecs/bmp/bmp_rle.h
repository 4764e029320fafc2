#pragma once
// The run-length schemes of Windows bitmaps, decoded into the rows of an
// image block.
//
// Both read pairs (count, value): a count above 0 is a run; a count of 0
// introduces an escape: 0 end of line, 1 end of bitmap, 2 a delta (two more
// bytes, right and up), 3 or more an absolute run of that many pixels, padded
// to an even number of bytes. Real files do odd things with these (runs that
// spill over the row end, deltas past the top, data that just stops), so the
// decoders never write outside `rows`: what would land outside is dropped,
// and decoding simply ends where the data does, even mid-escape.

#include "codecs/common/buffered_byte_reader.h"

#include <cstdint>
#include <span>

namespace pictorand {

// RLE8. Rows are (width + 3) & ~3 bytes apart. A run is not cut at the row
// end: it carries on through the padding into the next row, and an end of
// line then goes to the start of the row after the one the line began in.
// Returns one past the highest offset written (0 when nothing was).
uint64_t decodeBmpRle8(BufferedByteReader& in, std::span<uint8_t> rows, uint32_t width);

// RLE4. Pixel x of a row is the high nibble of byte x / 2 for even x, the low
// nibble for odd x; rows are `stride` bytes apart. Returns as decodeBmpRle8.
uint64_t decodeBmpRle4(BufferedByteReader& in, std::span<uint8_t> rows, uint64_t stride);

} // namespace pictorand
