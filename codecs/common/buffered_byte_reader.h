#pragma once
// Byte-at-a-time reading for the run-length decoders (BMP, Targa, IFF).
// Reading a file one byte per call would cost a library call per pixel, so
// the reader fills a 16,384-byte buffer with one read and hands bytes out of
// it; the same decoders also run over a file already in memory.

#include "codecs/common/file_reader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace pictorand {

class BufferedByteReader {
public:
    static constexpr size_t kBufferSize = 16384;

    // Reads from the file's current position on. The file position then runs
    // ahead of what was handed out (by up to one buffer), so the file is
    // left to this reader until decoding ends. Check the reader with
    // operator bool: it fails only when its buffer cannot be had.
    explicit BufferedByteReader(OpenFile& file);
    // Reads the bytes of the span; no copy is made.
    explicit BufferedByteReader(std::span<const uint8_t> bytes);

    BufferedByteReader(const BufferedByteReader&) = delete;
    BufferedByteReader& operator=(const BufferedByteReader&) = delete;

    explicit operator bool() const { return m_data != nullptr || !m_file; }

    // The next byte (0..255), stepping past it when `advance` is set; -1 when
    // the data has ended.
    int nextByte(bool advance = true)
    {
        if (m_position == m_count && !refill())
            return -1;
        int value = m_data[m_position];
        if (advance)
            ++m_position;
        return value;
    }

    // Copies up to `count` bytes; returns how many there were before the end.
    size_t read(uint8_t* out, size_t count);
    // Steps over up to `count` bytes; returns how many there were.
    size_t skip(size_t count);

private:
    // One read of up to a buffer's worth; false when it yields nothing.
    bool refill();

    std::FILE* m_file = nullptr;
    std::unique_ptr<uint8_t[]> m_buffer;
    const uint8_t* m_data = nullptr;
    size_t m_position = 0;
    size_t m_count = 0;
};

} // namespace pictorand
