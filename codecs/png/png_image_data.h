#pragma once
// The image data of a PNG file without libpng: the IDAT chunks' zlib stream
// inflated by libdeflate in one call (about 40 % of zlib's time) into a
// buffer of exactly the size the header implies, unfiltered in place, and
// turned into block rows: 16-bit samples rounded to 8 bits (or kept when
// asked), red and blue
// exchanged, alpha and the tRNS colour composited over white (RGBA rows
// keep their alpha byte), 2-bit pixels spread to a byte each, interlaced
// passes put in place. The Adler-32 is not checked, as libpng was told not to; a stream
// that inflates to more or fewer bytes than the header implies is refused,
// as libpng refuses too few (and a stream must be whole to be shown).

#include "core/image_block.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace pictorand::png_image_data {

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colourType = 0;
    bool interlaced = false;
    // The tRNS colour of a 16-bit grey or an RGB file (grey in [0]), at the
    // file's depth: its pixels come out white. Palettes and shallower greys
    // are made transparent through their colour table instead.
    std::optional<std::array<uint16_t, 3>> transparentColour;
    // A 16-bit file's rows keep their samples: blue, green, red (grey in all
    // three, colour over white), 16 bits each in this machine's order (a
    // 48-bit block).
    bool sixteenBitSamples = false;
};

// The bytes the zlib stream must inflate to: filter-type bytes and rows of
// every pass. Nothing above the block limit.
std::optional<uint64_t> filteredSize(const Header& header);

enum class Outcome { Decoded, Damaged, OutOfMemory };

// Inflates `stream` (the IDAT contents joined) and writes every row of
// `block`, which has the reader's shape for this header.
Outcome decode(const Header& header, std::span<const uint8_t> stream, ImageBlock& block);

} // namespace pictorand::png_image_data
