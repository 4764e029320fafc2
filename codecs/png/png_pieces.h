#pragma once
// Image data of PNG files, filtered and deflated in pieces on up to two
// threads. The rows get the filter libpng would choose (for true colour per
// row the filter whose output has the smallest sum of bytes read as signed
// magnitudes, ties to the lower type; none for palette rows), and the
// filtered bytes are cut into pieces of a fixed size. Each piece is deflated
// on its own by libdeflate, which needs half of zlib's time, and ends on a
// byte boundary, so the pieces join into one zlib stream; starting without
// the 32 KiB before it costs a piece next to nothing (under 0.01 % of a
// photo's file at 1 MiB pieces). Pieces depend on the picture only, never on the thread count: the
// file is the same whatever machine writes it.

#include "core/image_block.h"
#include "core/result.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace pictorand::png_pieces {

// Filtered bytes per piece: big enough that the pieces cost the file almost
// nothing, small enough that two threads share the work evenly.
inline constexpr size_t kPieceBytes = size_t(1) << 20;
// libdeflate's level. Levels 6 to 9 give the same size on grainy photos at
// about 40 % of zlib's processor time, but files 0.5-2 % larger than zlib's
// filtered strategy (libpng's, and the peers') gives; only levels 10 to 12
// come out smaller, at zlib's time or more.
// FIXME: libdeflate 1.14 takes short matches that cost more than the
// literals they replace in filtered noise; revisit with a newer libdeflate.
inline constexpr int kLevel = 6;

// The threads a save uses: at most two, at least the calling one.
unsigned threadCount();

// Writes the IDAT chunks of a 1-, 4-, 8-, 24- or 32-bit block and the IEND
// chunk at the current position of `file` (after the header chunks). False
// on a write or allocation failure. No exception escapes.
bool writeImageData(std::FILE* file, const ImageBlock& block, size_t pieceBytes, unsigned threads);

// A whole PNG file with a chosen piece size and thread count, for tests.
Status writePngInPieces(const std::string& path, const ImageBlock& block, size_t pieceBytes, unsigned threads);

// Filters one row as libpng would. `line` holds a free byte, then the row in
// PNG byte order; `previous` is the row above (zeros above the first row);
// `allowed` holds bit 1 << type for each filter type (0 to 4) that may be
// chosen; `scratch` are four lines of 1 + rowBytes bytes for the Sub, Up,
// Average and Paeth candidates. Returns the chosen line: its filter type,
// then the filtered row (`line` itself for the None filter).
const uint8_t* filterRow(uint8_t* line, const uint8_t* previous, size_t rowBytes, unsigned bytesPerPixel,
                         unsigned allowed, uint8_t* const scratch[4]);

} // namespace pictorand::png_pieces
