#include "core/large_buffer.h"

#include <cstdlib>
#include <sys/mman.h>
#include <utility>

namespace pictorand {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
// Below this a plain calloc is cheaper than a mapping of its own: a mapping
// smaller than one huge page gets no huge page, and every fresh mapping
// faults in 4 KiB pages anew, where the heap reuses memory already touched
// (photo-sized pictures converted one after another spent a fifth of their
// time in page faults).
constexpr size_t kMappingThreshold = kHugePage;
}

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_mappedSize(std::exchange(other.m_mappedSize, 0))
{
}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mappedSize = std::exchange(other.m_mappedSize, 0);
    }
    return *this;
}

LargeBuffer::~LargeBuffer() { release(); }

void LargeBuffer::release() noexcept
{
    if (!m_data)
        return;
    if (m_mappedSize)
        munmap(m_data, m_mappedSize);
    else
        std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_mappedSize = 0;
}

LargeBuffer LargeBuffer::allocate(size_t bytes)
{
    LargeBuffer buffer;
    if (bytes == 0)
        return buffer;
    if (bytes < kMappingThreshold) {
        buffer.m_data = static_cast<uint8_t*>(std::calloc(bytes, 1));
        if (buffer.m_data)
            buffer.m_size = bytes;
        return buffer;
    }
    // Over-map by one huge page so the start can be moved to a 2 MiB boundary;
    // the kernel then backs the region with huge pages on first touch.
    size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    if (rounded < bytes || rounded + kHugePage < rounded)
        return buffer;
    size_t mapped = rounded + kHugePage;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return buffer;
    auto address = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (address + kHugePage - 1) & ~(uintptr_t(kHugePage) - 1);
    size_t head = aligned - address;
    if (head)
        munmap(raw, head);
    size_t tail = mapped - head - rounded;
    if (tail)
        munmap(reinterpret_cast<void*>(aligned + rounded), tail);
    // Huge pages for the whole 2 MiB stretches only: advising the tail too
    // would make the first touch of its last bytes bring in a full huge
    // page, up to 2 MiB of resident memory nobody asked for.
    size_t advised = bytes & ~(kHugePage - 1);
    if (advised)
        madvise(reinterpret_cast<void*>(aligned), advised, MADV_HUGEPAGE);
    buffer.m_data = reinterpret_cast<uint8_t*>(aligned);
    buffer.m_size = bytes;
    buffer.m_mappedSize = rounded;
    return buffer;
}

} // namespace pictorand
