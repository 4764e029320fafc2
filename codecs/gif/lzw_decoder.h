#pragma once
// The LZW decoder of GIF image data.
//
// GIF's LZW packs variable-width codes least significant bit first. With a
// minimum code size s, codes below 2^s stand for themselves, 2^s clears the
// table and 2^s + 1 ends the data; codes start s + 1 bits wide and grow by one
// bit each time the next free table entry reaches 2^width, up to 12 bits and
// 4096 entries. The decoder handles the variants found in real files:
//  - no clear code at the start, or one clear code after another: both start
//    from the same state;
//  - a code equal to the next free entry (the string just decoded plus its own
//    first byte);
//  - a full table without a following clear code ("deferred clear"): the width
//    stays 12, no entry is added and codes keep their meaning;
//  - an end code in the middle of a sub-block ends the data at once; data
//    without an end code simply runs out (zero-length sub-block or end of
//    file), and whatever was decoded is kept;
//  - a code above the next free entry is corrupt: decoding stops quietly and
//    the rest of the picture keeps index 0;
//  - a stream that yields more indices than the picture holds: the surplus is
//    dropped;
//  - minimum code sizes 0 and 1 (no conforming encoder writes them) decode by
//    the same rules. Sizes above 11 leave no room for the roots in the
//    4096-entry table; callers refuse them before decoding.
//
// Each table entry is kept as the place in the output where its string was
// already written, so a code is decoded by copying earlier output instead of
// walking a chain of prefixes one byte at a time.

#include <cstddef>
#include <cstdint>
#include <span>

namespace pictorand {

class LzwDecoder {
public:
    static constexpr int kMaxMinimumCodeSize = 11;
    static constexpr unsigned kTableSize = 4096;
    // Room past the output that lets the decoder copy in 8-byte steps to the
    // very end; decode buffers are allocated with it.
    static constexpr size_t kOutputSlack = 256;

    // `minimumCodeSize` must be 0 to kMaxMinimumCodeSize. Decoded indices go
    // to output[0, capacity); the decoder may scribble on bytes up to
    // output[writable - 1] (it copies in 8-byte steps where there is room),
    // writable >= capacity. Without extra room the copies go byte by byte
    // near the end.
    LzwDecoder(int minimumCodeSize, uint8_t* output, size_t capacity, size_t writable);

    // Decodes the codes held in the bytes of one data sub-block, continuing
    // from the bits left over by the previous one. Returns false once decoding
    // is over (end code, corrupt code or a full output); later calls do nothing.
    bool decode(std::span<const uint8_t> data);

    bool finished() const { return m_finished; }
    // Indices written so far.
    size_t produced() const { return m_position; }

private:
    static constexpr uint32_t kNone = kTableSize;

    void resetTable();

    uint8_t* m_output;
    size_t m_capacity;
    size_t m_writable;
    size_t m_position = 0;

    uint32_t m_clear;
    uint32_t m_end;
    uint32_t m_next = 0;
    uint32_t m_width = 0;
    uint32_t m_mask = 0;
    uint32_t m_previous = kNone;
    size_t m_previousPosition = 0; // where the previous code's string starts
    uint32_t m_previousLength = 0;

    uint32_t m_accumulator = 0;
    uint32_t m_bitCount = 0;
    int m_minimumCodeSize;
    bool m_finished = false;

    // Entry e's string is output[m_offset[e], m_offset[e] + m_length[e]).
    uint32_t m_offset[kTableSize] = {};
    uint16_t m_length[kTableSize] = {};
    // Last byte of each entry's string; only read for a first code after a
    // clear that names an entry not (yet) defined.
    uint8_t m_suffix[kTableSize] = {};
};

} // namespace pictorand
