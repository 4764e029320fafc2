#pragma once
// Run-length decoders of the older picture formats.
//
// Three byte-oriented schemes share this module because they are easy to
// confuse and each has a quirk that real files depend on:
//
// - PCX (ZSoft): a byte with both top bits set (0xC0..0xFF) is a count
//   (low six bits, 0..63) and the next byte is repeated that often; any other
//   byte stands for itself. Every scan line is decoded on its own: a run that
//   would cross the end of the line is cut there and its rest is dropped, so
//   the next line always starts with a fresh code byte. At the end of the data
//   the source yields -1, which as a code byte reads as 0xFF (a run of 63) of
//   the value -1, again 0xFF: a truncated file fills the rest of the picture
//   with 0xFF bytes.
//   The encoder writes runs of at most 63 and escapes single bytes of 0xC0 or
//   more as a run of one (0xC0 alone becomes C1 C0).
// - Targa (Truevision): packets of whole pixels (1 to 4 bytes). A header byte
//   with bit 7 set repeats the one pixel that follows (h & 0x7F) + 1 times;
//   otherwise (h + 1) literal pixels follow. Packets run on across rows, so
//   the decoder keeps the unfinished packet between calls. A header byte
//   missing at the end of the data fails the decode; a pixel byte missing
//   reads as 0xFF.
// - Sun raster (type 2, "byte-encoded"): 0x80 is the only escape. 0x80 0x00
//   is a literal 0x80; 0x80 n v with n from 1 to 255 gives n + 1 copies of v;
//   every other byte is a literal. Runs continue from one row into the next,
//   and the end of the data simply ends the output early.
//
// ILBM's ByteRun1 (PackBits) joins here when the IFF reader is written.
//
// Every decoder reads from a Source: anything with `int nextByte()` returning
// the next byte, or -1 at the end (BufferedByteReader is one, over a file or
// bytes in memory). The decoders never write outside the
// buffer they are given, whatever the data says.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace pictorand {

// A Source over bytes in memory.
class SpanByteSource {
public:
    explicit SpanByteSource(std::span<const uint8_t> bytes)
        : m_data(bytes.data())
        , m_size(bytes.size())
    {
    }
    int nextByte() { return m_position < m_size ? m_data[m_position++] : -1; }
    size_t position() const { return m_position; }
    size_t remaining() const { return m_size - m_position; }
    const uint8_t* here() const { return m_data + m_position; }
    void advance(size_t count) { m_position += count < remaining() ? count : remaining(); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

// ---------------------------------------------------------------------------
// PCX

// Decodes exactly one scan line into `line`.
template <class Source>
void decodePcxScanLine(Source& source, std::span<uint8_t> line)
{
    size_t filled = 0;
    const size_t size = line.size();
    while (filled < size) {
        int code = source.nextByte();
        if (code < 0) {
            // End of data: every further code and value reads as 0xFF.
            std::memset(line.data() + filled, 0xFF, size - filled);
            return;
        }
        if ((code & 0xC0) != 0xC0) {
            line[filled++] = static_cast<uint8_t>(code);
            continue;
        }
        size_t count = static_cast<size_t>(code & 0x3F);
        int value = source.nextByte();
        if (count > size - filled)
            count = size - filled;
        std::memset(line.data() + filled, value & 0xFF, count);
        filled += count;
    }
}

// The same over bytes in memory, without a call per byte: the literal bytes
// of a photograph-like PCX file make up most of it.
inline void decodePcxScanLine(SpanByteSource& source, std::span<uint8_t> line)
{
    const uint8_t* in = source.here();
    const uint8_t* const end = in + source.remaining();
    uint8_t* out = line.data();
    size_t left = line.size();
    while (left > 0) {
        if (in == end) {
            std::memset(out, 0xFF, left);
            break;
        }
        uint8_t code = *in++;
        if ((code & 0xC0) != 0xC0) {
            *out++ = code;
            --left;
            continue;
        }
        size_t count = code & 0x3Fu;
        uint8_t value = in < end ? *in++ : uint8_t(0xFF);
        if (count > left)
            count = left;
        std::memset(out, value, count);
        out += count;
        left -= count;
    }
    source.advance(static_cast<size_t>(in - source.here()));
}

// Worst case of encodePcxLine: two bytes per input byte.
inline size_t pcxEncodedBound(size_t length) { return 2 * length; }

// Encodes one plane line; `out` has room for pcxEncodedBound(line.size())
// bytes. Returns the number of bytes written.
size_t encodePcxLine(std::span<const uint8_t> line, uint8_t* out);

// ---------------------------------------------------------------------------
// Targa

class TargaPacketDecoder {
public:
    // pixelBytes: 1 to 4.
    explicit TargaPacketDecoder(unsigned pixelBytes)
        : m_pixelBytes(pixelBytes)
    {
    }

    // Decodes `pixels` pixels into `out` (pixels * pixelBytes bytes), going on
    // with a packet left unfinished by the previous call. False when a packet
    // header is missing at the end of the data (what was decoded stays).
    template <class Source>
    bool decode(Source& source, uint8_t* out, size_t pixels)
    {
        while (pixels > 0) {
            if (m_left == 0) {
                int header = source.nextByte();
                if (header < 0)
                    return false;
                m_left = static_cast<size_t>(header & 0x7F) + 1;
                m_repeat = (header & 0x80) != 0;
                if (m_repeat)
                    readBytes(source, m_value, m_pixelBytes);
            }
            size_t count = m_left < pixels ? m_left : pixels;
            if (m_repeat)
                repeatValue(out, count);
            else
                readBytes(source, out, count * m_pixelBytes);
            out += count * m_pixelBytes;
            m_left -= count;
            pixels -= count;
        }
        return true;
    }

private:
    // Bytes missing at the end of the data read as 0xFF.
    template <class Source>
    static void readBytes(Source& source, uint8_t* out, size_t count)
    {
        size_t got = 0;
        if constexpr (requires { source.read(out, count); }) {
            got = source.read(out, count);
        } else {
            for (int byte; got < count && (byte = source.nextByte()) >= 0; ++got)
                out[got] = static_cast<uint8_t>(byte);
        }
        if (got < count)
            std::memset(out + got, 0xFF, count - got);
    }

    void repeatValue(uint8_t* out, size_t count) const
    {
        switch (m_pixelBytes) {
        case 1:
            std::memset(out, m_value[0], count);
            break;
        case 2:
            for (size_t i = 0; i < count; ++i, out += 2)
                std::memcpy(out, m_value, 2);
            break;
        case 3:
            for (size_t i = 0; i < count; ++i, out += 3)
                std::memcpy(out, m_value, 3);
            break;
        default:
            for (size_t i = 0; i < count; ++i, out += 4)
                std::memcpy(out, m_value, 4);
            break;
        }
    }

    unsigned m_pixelBytes;
    size_t m_left = 0; // pixels of the current packet still to come
    bool m_repeat = false;
    uint8_t m_value[4] = {};
};

// ---------------------------------------------------------------------------
// Sun raster

class SunByteRunDecoder {
public:
    // Fills up to `count` bytes of `out`, going on with a run left unfinished
    // by the previous call. Returns the number of bytes written, less than
    // `count` only when the data ended.
    template <class Source>
    size_t decode(Source& source, uint8_t* out, size_t count)
    {
        size_t filled = 0;
        while (filled < count) {
            if (m_left > 0) {
                size_t n = m_left < count - filled ? m_left : count - filled;
                std::memset(out + filled, m_value, n);
                filled += n;
                m_left -= n;
                continue;
            }
            int byte = source.nextByte();
            if (byte < 0)
                return filled;
            if (byte != 0x80) {
                out[filled++] = static_cast<uint8_t>(byte);
                continue;
            }
            int length = source.nextByte();
            if (length < 0)
                return filled;
            if (length == 0) {
                out[filled++] = 0x80;
                continue;
            }
            int value = source.nextByte();
            if (value < 0)
                return filled;
            m_value = static_cast<uint8_t>(value);
            m_left = static_cast<size_t>(length) + 1;
        }
        return filled;
    }

private:
    size_t m_left = 0;
    uint8_t m_value = 0;
};

} // namespace pictorand
