#pragma once
// Read-ahead over an open file for the GIF reader and frame scanner, which
// walk a file block by block and mostly one byte at a time. Every read is
// checked: past the end, next() gives -1 and read() a short count.

#include <cstdint>
#include <cstdio>
#include <memory>

namespace pictorand {

class BufferedInput {
public:
    static constexpr size_t kBufferSize = 65536;

    explicit BufferedInput(std::FILE* file);

    // The next byte, or -1 at the end of the file (or on a read error).
    int next()
    {
        if (m_position == m_end && !refill())
            return -1;
        return m_buffer[m_position++];
    }
    // Copies up to `count` bytes; returns how many there were.
    size_t read(uint8_t* out, size_t count);
    // Skips `count` bytes; false when the file ends first.
    bool skip(size_t count);
    // Moves to an absolute offset. Reading from beyond the end just fails.
    bool seek(uint64_t offset);
    // File offset of the byte next() would return.
    uint64_t offset() const { return m_base + m_position; }
    // True when no byte is left.
    bool atEnd();

private:
    bool refill();

    std::FILE* m_file;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_position = 0;
    size_t m_end = 0;
    uint64_t m_base = 0; // file offset of m_buffer[0]
};

} // namespace pictorand
