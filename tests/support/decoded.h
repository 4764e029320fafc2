#pragma once
// What the in-memory decoders of the tests give back, and row bytes to
// compare with what a hand-built file holds.

#include "core/image_block.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pictorand::testing {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    ImageBlock block;
    std::string message;
    std::string compression;
};

// Runs a decoder of the form `ImageBlock decode(span, message, compression)`.
template <typename Decoder>
Decoded decodeWith(Decoder decoder, const Bytes& file)
{
    Decoded d;
    d.block = decoder(std::span<const uint8_t>(file), d.message, d.compression);
    return d;
}

// The first `count` bytes of picture row y, counted from the top.
inline Bytes topRowBytes(const ImageBlock& block, int y, size_t count)
{
    const uint8_t* row = block.topRow(y);
    return Bytes(row, row + count);
}

} // namespace pictorand::testing
