#pragma once
// Byte-at-a-time reading for the run-length decoders (BMP, Targa, IFF) and
// for the GIF reader and frame scanner, which walk a file block by block.
// Reading a file one byte per call would cost a library call per pixel, so
// the reader fills a 16,384-byte buffer with one read and hands bytes out of
// it; the same decoders also run over a file already in memory. Every read
// is checked: past the end, nextByte() gives -1 and read() a short count.

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
    // A bigger buffer suits readers that go through whole big files.
    explicit BufferedByteReader(OpenFile& file, size_t bufferSize = kBufferSize);
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
    // Steps over `count` bytes; false when the data ends first.
    bool skipExactly(size_t count) { return skip(count) == count; }
    // Moves to an offset counted from the start of the file (or span).
    // Reading from beyond the end just fails. False when the file cannot
    // seek there.
    bool seek(uint64_t offset);
    // The offset of the byte nextByte() would give, counted as for seek().
    uint64_t offset() const { return m_base + m_position; }
    // True when no byte is left.
    bool atEnd() { return m_position == m_count && !refill(); }

private:
    // One read of up to a buffer's worth; false when it yields nothing.
    bool refill();

    std::FILE* m_file = nullptr;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_bufferSize = 0;
    const uint8_t* m_data = nullptr;
    size_t m_position = 0;
    size_t m_count = 0;
    uint64_t m_base = 0; // offset of m_data[0]
};

} // namespace pictorand
