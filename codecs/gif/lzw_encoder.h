#pragma once
// The LZW encoder of GIF image data, the counterpart of LzwDecoder.
//
// It codes pixel indices greedily (the longest string already in the table,
// then a new entry for that string plus the next index), writes the codes
// least significant bit first in data sub-blocks of up to 255 bytes, and
// follows these rules, which the decoder relies on:
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
//
// The indices may arrive in pieces (one picture row at a time, say): a string
// runs on across pieces, so the codes do not depend on how the picture was
// cut.

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

    // An encoder for indices below 2^minimumCodeSize (minimumCodeSize 2 to
    // 8) that has already sent its clear code; null when its tables cannot
    // be allocated.
    static std::unique_ptr<LzwEncoder> create(int minimumCodeSize, ByteSink& sink);
    ~LzwEncoder();
    LzwEncoder(const LzwEncoder&) = delete;
    LzwEncoder& operator=(const LzwEncoder&) = delete;

    // Codes the next `count` indices.
    void add(const uint8_t* indices, size_t count);
    // Sends the open string, the end code, the last sub-block and the
    // terminator. Nothing may be added afterwards.
    void finish();

    // Codes one buffer from start to end. False when the tables cannot be
    // allocated.
    static bool encode(const uint8_t* indices, size_t count, int minimumCodeSize, ByteSink& sink);

private:
    struct Tables;
    struct TablesDeleter {
        void operator()(Tables* tables) const;
    };

    // Codes not yet in whole bytes, and the bytes of the run so far.
    struct BitState {
        uint64_t accumulator = 0;
        uint32_t count = 0;
        size_t used = 0;
    };

    LzwEncoder(std::unique_ptr<Tables, TablesDeleter> tables, int minimumCodeSize, ByteSink& sink);
    static bool putCode(uint64_t& accumulator, uint32_t& count, size_t& used, uint8_t* bytes, uint32_t code,
                        uint32_t width);
    void emit(uint32_t code, uint32_t width);
    void handOn(bool last);

    static constexpr size_t kSubBlock = 255;
    // Codes are gathered into this many plain bytes before they are cut into
    // sub-blocks.
    static constexpr size_t kRunSize = kSubBlock * 256;

    std::unique_ptr<Tables, TablesDeleter> m_tables;
    ByteSink& m_sink;
    const uint32_t m_clear;
    const uint32_t m_firstWidth;
    uint32_t m_next;
    uint32_t m_width;
    uint32_t m_current;
    BitState m_bits;
    std::unique_ptr<uint8_t[]> m_bytes;
};

} // namespace pictorand
