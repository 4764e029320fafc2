#pragma once
// Image data of big true-colour PNG files, filtered and deflated in pieces on
// up to two threads. The rows get the filter libpng would choose (per row the
// filter whose output has the smallest sum of bytes read as signed
// magnitudes, ties to the lower type), and the filtered bytes are cut into
// pieces of a fixed size. Each piece is deflated on its own, primed with the
// 32 KiB of filtered bytes before it, and ends on a byte boundary (sync
// flush), so the pieces join into one zlib stream. Pieces depend on the
// picture only, never on the thread count: the file is the same whatever
// machine writes it.

#include "core/image_block.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace pictorand::png_pieces {

// Filtered bytes per piece: big enough that the pieces cost the file almost
// nothing, small enough that two threads share the work evenly.
inline constexpr size_t kPieceBytes = size_t(1) << 20;
// Below two pieces a file is written by libpng alone: the second thread
// would have nothing to do.
inline constexpr uint64_t kMinimumBytes = 2 * uint64_t(kPieceBytes);
// zlib's settings for filtered rows, as libpng uses them at the default level.
inline constexpr int kLevel = 6;
inline constexpr int kMemoryLevel = 9;

// The threads a save uses: at most two, at least the calling one.
unsigned threadCount();

// Writes the IDAT chunks of a 24- or 32-bit block and the IEND chunk at the
// current position of `file` (after the header chunks). False on a write or
// allocation failure. No exception escapes.
bool writeImageData(std::FILE* file, const ImageBlock& block, size_t pieceBytes, unsigned threads);

// A whole PNG file through the path above whatever the block's size; for
// tests that need small pieces and a chosen thread count. 24- and 32-bit
// blocks only.
bool writePngInPieces(const std::string& path, const ImageBlock& block, size_t pieceBytes, unsigned threads);

// Filters one row as libpng would. `line` holds a free byte, then the row in
// PNG byte order; `previous` is the row above (zeros above the first row);
// `allowed` holds bit 1 << type for each filter type (0 to 4) that may be
// chosen; `scratch` are four lines of 1 + rowBytes bytes for the Sub, Up,
// Average and Paeth candidates. Returns the chosen line: its filter type,
// then the filtered row (`line` itself for the None filter).
const uint8_t* filterRow(uint8_t* line, const uint8_t* previous, size_t rowBytes, unsigned bytesPerPixel,
                         unsigned allowed, uint8_t* const scratch[4]);

} // namespace pictorand::png_pieces
