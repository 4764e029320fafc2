#pragma once
// ByteRun1, the run-length scheme of IFF pictures (the same byte code as
// Apple's PackBits). A control byte n from 0 to 127 is followed by n + 1
// literal bytes; n from 129 to 255 by one byte repeated 257 - n times; 128
// does nothing. Writers compress each plane row (or chunky row) on its own,
// so decoding works a row at a time: a run or literal that would pass the end
// of the row is cut there, its surplus bytes consumed and dropped, and the
// next row starts at the next control byte. The data itself is bounded (the
// BODY chunk's size), and decoding stops where it ends.

#include "codecs/common/buffered_byte_reader.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace pictorand {

// A buffered reader that hands out at most `limit` bytes: a chunk's data.
class BoundedByteReader {
public:
    BoundedByteReader(BufferedByteReader& reader, uint64_t limit)
        : m_reader(reader)
        , m_remaining(limit)
    {
    }

    // The next byte, or -1 when the chunk or the file has ended.
    int nextByte()
    {
        if (m_remaining == 0)
            return -1;
        int value = m_reader.nextByte();
        if (value < 0) {
            m_remaining = 0;
            return -1;
        }
        --m_remaining;
        return value;
    }
    // Copies up to `count` bytes; returns how many there were.
    size_t read(uint8_t* out, size_t count);
    // Steps over up to `count` bytes; returns how many there were.
    size_t skip(size_t count);

private:
    BufferedByteReader& m_reader;
    uint64_t m_remaining;
};

// Decodes until `row` is full or the data ends; returns the bytes written.
size_t decodeByteRun1Row(BoundedByteReader& source, std::span<uint8_t> row);

} // namespace pictorand
