#include "codecs/gif/lzw_decoder.h"

#include <cstring>

namespace pictorand {

LzwDecoder::LzwDecoder(int minimumCodeSize, uint8_t* output, size_t capacity, size_t writable)
    : m_output(output)
    , m_capacity(capacity)
    , m_writable(writable < capacity ? capacity : writable)
    , m_clear(1u << minimumCodeSize)
    , m_end((1u << minimumCodeSize) + 1)
    , m_minimumCodeSize(minimumCodeSize)
{
    for (uint32_t code = 0; code < m_clear; ++code)
        m_suffix[code] = static_cast<uint8_t>(code);
    resetTable();
}

void LzwDecoder::resetTable()
{
    m_next = m_clear + 2;
    m_width = static_cast<uint32_t>(m_minimumCodeSize) + 1;
    m_mask = (1u << m_width) - 1;
    m_previous = kNone;
}

bool LzwDecoder::decode(std::span<const uint8_t> data)
{
    if (m_finished)
        return false;

    uint8_t* const out = m_output;
    const size_t capacity = m_capacity;
    // Past this position an 8-byte step could write beyond the buffer.
    const size_t fastLimit = m_writable >= 8 ? m_writable - 8 : 0;
    const uint32_t clear = m_clear;
    uint32_t accumulator = m_accumulator;
    uint32_t bitCount = m_bitCount;
    uint32_t width = m_width;
    uint32_t mask = m_mask;
    uint32_t next = m_next;
    uint32_t previous = m_previous;
    size_t previousPosition = m_previousPosition;
    uint32_t previousLength = m_previousLength;
    size_t position = m_position;
    bool finished = false;

    for (size_t i = 0; i < data.size() && !finished; ++i) {
        accumulator |= static_cast<uint32_t>(data[i]) << bitCount;
        bitCount += 8;
        while (bitCount >= width) {
            uint32_t code = accumulator & mask;
            accumulator >>= width;
            bitCount -= width;

            if (code >= clear) {
                if (code == clear) {
                    next = clear + 2;
                    width = static_cast<uint32_t>(m_minimumCodeSize) + 1;
                    mask = (1u << width) - 1;
                    previous = kNone;
                    continue;
                }
                if (code == m_end || code > next) {
                    finished = true;
                    break;
                }
            }

            if (previous == kNone) {
                // The first code after a clear should be a root; an encoder
                // that names something else gets that entry's last byte.
                if (position >= capacity) {
                    finished = true;
                    break;
                }
                out[position] = code < clear ? static_cast<uint8_t>(code) : m_suffix[code];
                previousPosition = position;
                previousLength = 1;
                previous = code;
                ++position;
                continue;
            }

            // Add the entry "previous string + first byte of this one". Its
            // string is already in the output (the previous string followed
            // by this code's first byte), or, for code == next, is about to
            // be written by the copy below.
            if (next < kTableSize) {
                uint8_t first;
                if (code < clear)
                    first = static_cast<uint8_t>(code);
                else if (code == next)
                    first = out[previousPosition];
                else
                    first = out[m_offset[code]];
                m_offset[next] = static_cast<uint32_t>(previousPosition);
                m_length[next] = static_cast<uint16_t>(previousLength + 1);
                m_suffix[next] = first;
                ++next;
                if (next > mask && width < 12) {
                    ++width;
                    mask = (1u << width) - 1;
                }
            } else if (code == next) {
                // Not reachable: a 12-bit code cannot exceed 4095.
                finished = true;
                break;
            }

            previousPosition = position;
            previous = code;
            if (code < clear) {
                if (position >= capacity) {
                    finished = true;
                    break;
                }
                out[position++] = static_cast<uint8_t>(code);
                previousLength = 1;
                continue;
            }

            uint32_t length = m_length[code];
            const size_t source = m_offset[code];
            previousLength = length;
            if (length > capacity - position) {
                // More than the picture holds: keep what fits, drop the rest.
                size_t room = capacity - position;
                for (size_t k = 0; k < room; ++k)
                    out[position + k] = out[source + k];
                position = capacity;
                finished = true;
                break;
            }
            size_t distance = position - source;
            if (distance >= 8 && position + length <= fastLimit) {
                // 8-byte steps may run up to 7 bytes past the string, into
                // bytes the next codes overwrite or into the slack; a
                // distance of at least 8 keeps every step reading bytes
                // already final.
                for (uint32_t k = 0; k < length; k += 8)
                    std::memcpy(out + position + k, out + source + k, 8);
            } else {
                for (uint32_t k = 0; k < length; ++k)
                    out[position + k] = out[source + k];
            }
            position += length;
        }
    }

    m_accumulator = accumulator;
    m_bitCount = bitCount;
    m_width = width;
    m_mask = mask;
    m_next = next;
    m_previous = previous;
    m_previousPosition = previousPosition;
    m_previousLength = previousLength;
    m_position = position;
    m_finished = finished;
    return !finished;
}

} // namespace pictorand
