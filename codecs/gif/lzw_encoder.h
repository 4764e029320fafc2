#pragma once
// The LZW encoder of GIF image data, the counterpart of LzwDecoder.
//
// It codes a buffer of pixel indices greedily (the longest string already in
// the table, then a new entry for that string plus the next index), writes
// the codes least significant bit first in data sub-blocks of up to 255
// bytes, and follows these rules, which the decoder relies on:
//  - a clear code first; widths start at s + 1 bits;
//  - after entry n is stored the width becomes bits(n), the number of
//    significant bits of n (at least 3, at most 12): the decoder, one entry
//    behind, widens when it stores that entry on reading the next code;
//  - when all 4096 entries are taken, the open string is sent at 12 bits, then
//    a clear code at 12 bits, and coding restarts at s + 1 bits.
//
// Strings are found through a child cache: for every code the first 12 codes
// that extend it by one byte, in order of creation. A code with more than 12
// extensions falls back to a linear search of the table, which can start
// after the 12th cached child because children are created in increasing
// order. Roots, which in photographs gain far more than 12 extensions per
// table, are looked up in a direct row of 256 children each instead (128 KiB
// for 8-bit pictures). Whatever finds a string, the codes written are the same.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pictorand {

// Where the encoder puts its bytes (sub-blocks with their length bytes, then
// the terminating zero-length sub-block).
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const uint8_t* bytes, size_t count) = 0;
};

class LzwEncoder {
public:
    static constexpr unsigned kTableSize = 4096;
    static constexpr unsigned kCacheSlots = 12;
    static constexpr size_t kCacheBytes = size_t(kTableSize) * kCacheSlots * sizeof(uint32_t);

    // Codes `count` indices (each below 2^minimumCodeSize, minimumCodeSize 2
    // to 8) into `sink`. False when the child cache cannot be allocated.
    static bool encode(const uint8_t* indices, size_t count, int minimumCodeSize, ByteSink& sink);
};

} // namespace pictorand
