#pragma once
// A bounds-checked cursor over bytes from a file. Every read past the end
// fails (the value read is 0 and ok() turns false) instead of touching memory
// outside the span, so a decoder can read a whole header and check once.

#include "core/byte_order.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace pictorand {

class SpanReader {
public:
    explicit SpanReader(std::span<const uint8_t> bytes)
        : m_bytes(bytes)
    {
    }

    bool ok() const { return m_ok; }
    size_t position() const { return m_position; }
    size_t size() const { return m_bytes.size(); }
    size_t remaining() const { return m_position < m_bytes.size() ? m_bytes.size() - m_position : 0; }
    bool atEnd() const { return remaining() == 0; }

    bool seek(size_t position)
    {
        if (position > m_bytes.size())
            return fail();
        m_position = position;
        return true;
    }
    bool skip(size_t count) { return count <= remaining() ? (m_position += count, true) : fail(); }

    uint8_t u8() { return have(1) ? m_bytes[m_position++] : 0; }
    uint16_t u16le() { return have(2) ? advance(loadLE16(here()), 2) : 0; }
    uint32_t u32le() { return have(4) ? advance(loadLE32(here()), 4) : 0; }
    uint16_t u16be() { return have(2) ? advance(loadBE16(here()), 2) : 0; }
    uint32_t u32be() { return have(4) ? advance(loadBE32(here()), 4) : 0; }
    int16_t i16le() { return static_cast<int16_t>(u16le()); }
    int32_t i32le() { return static_cast<int32_t>(u32le()); }

    // `count` bytes from the position, or an empty span (and ok() false).
    std::span<const uint8_t> bytes(size_t count)
    {
        if (!have(count))
            return {};
        auto result = m_bytes.subspan(m_position, count);
        m_position += count;
        return result;
    }
    // Copies up to `count` bytes; returns how many there were.
    size_t readSome(uint8_t* out, size_t count)
    {
        size_t n = count < remaining() ? count : remaining();
        if (n)
            std::memcpy(out, m_bytes.data() + m_position, n);
        m_position += n;
        return n;
    }
    std::span<const uint8_t> rest() const { return m_bytes.subspan(m_position < m_bytes.size() ? m_position : m_bytes.size()); }

private:
    bool have(size_t count)
    {
        if (count <= remaining())
            return true;
        m_position = m_bytes.size();
        return fail();
    }
    bool fail()
    {
        m_ok = false;
        return false;
    }
    const uint8_t* here() const { return m_bytes.data() + m_position; }
    template <typename T>
    T advance(T value, size_t count)
    {
        m_position += count;
        return value;
    }

    std::span<const uint8_t> m_bytes;
    size_t m_position = 0;
    bool m_ok = true;
};

} // namespace pictorand
