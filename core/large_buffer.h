#pragma once
// A zero-filled byte buffer for picture-sized data. Large buffers come straight
// from the kernel (already zero, so they are touched only once, by whoever
// fills them) on 2 MiB boundaries with transparent huge pages requested: first
// touch of fresh memory dominates the time of most whole-picture operations.
//
// A freed mapping is kept back (at most six, 1 GiB in all, lazily freed, so the kernel
// takes them back under memory pressure) for allocateForOverwrite: a picture
// copied in whole from a decoder worker, or decoded row by row, then lands in
// pages already touched, instead of paying the kernel to zero pages it
// overwrites at once.

#include <cstddef>
#include <cstdint>

namespace pictorand {

class LargeBuffer {
public:
    LargeBuffer() noexcept = default;
    LargeBuffer(LargeBuffer&& other) noexcept;
    LargeBuffer& operator=(LargeBuffer&& other) noexcept;
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;
    ~LargeBuffer();

    // Null when bytes is 0 or memory runs out.
    static LargeBuffer allocate(size_t bytes);
    // The same, but the contents are unspecified: for a caller that writes
    // every byte before it reads any.
    static LargeBuffer allocateForOverwrite(size_t bytes);
    // The freed mappings kept back, and giving them to the kernel (a
    // failing mapping does so itself before it gives up).
    static size_t keptBytes();
    static void releaseKept();

    explicit operator bool() const { return m_data != nullptr; }
    uint8_t* data() { return m_data; }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    void release() noexcept;

    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_mappedSize = 0; // non-zero when the memory is a private mapping
};

} // namespace pictorand
