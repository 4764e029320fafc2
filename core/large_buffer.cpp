#include "core/large_buffer.h"

#include <array>
#include <cstdlib>
#include <malloc.h>
#include <mutex>
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

// Mappings freed lately, for allocateForOverwrite: a viewer stepping through
// photos frees one picture as it reads the next; a conversion frees a
// file's compressed data, inflated rows and picture (two at once with -j 2).
// At most six, and 1 GiB in all.
class Reserve {
public:
    struct Mapping {
        uint8_t* data = nullptr;
        size_t size = 0;
    };

    // False when the caller should unmap it itself.
    bool keep(uint8_t* data, size_t size)
    {
        if (size > kMostKept)
            return false;
        // Lazily freed: the pages stay until the kernel needs them, and a
        // write to one it took simply finds a fresh zero page.
        if (madvise(data, size, MADV_FREE) != 0)
            return false;
        Kept evicted;
        {
            std::lock_guard guard(m_lock);
            // The latest first; the oldest go beyond the count or the total.
            evicted.add(std::exchange(m_kept.at[kMostMappings - 1], Mapping{}));
            for (size_t i = kMostMappings - 1; i > 0; --i)
                m_kept.at[i] = m_kept.at[i - 1];
            m_kept.at[0] = {data, size};
            while (m_kept.total() > kMostKept)
                evicted.add(m_kept.last());
        }
        evicted.unmapAll();
        return true;
    }

    // The latest kept mapping of `size` bytes up to a quarter more (the rest
    // would lie idle beside the picture); null when none fits.
    Mapping take(size_t size)
    {
        std::lock_guard guard(m_lock);
        for (Mapping& m : m_kept.at)
            if (m.data && m.size >= size && m.size - size <= size / 4)
                return std::exchange(m, Mapping{});
        return {};
    }

    size_t keptBytes()
    {
        std::lock_guard guard(m_lock);
        return m_kept.total();
    }

    // Gives every kept mapping back; false when there was none.
    bool release()
    {
        Kept kept;
        {
            std::lock_guard guard(m_lock);
            kept = std::exchange(m_kept, Kept{});
        }
        return kept.unmapAll();
    }

private:
    static constexpr size_t kMostMappings = 6;
    static constexpr size_t kMostKept = size_t(1) << 30;

    // Fixed slots, so that freeing a buffer never allocates.
    struct Kept {
        std::array<Mapping, kMostMappings + 1> at{};
        size_t total() const
        {
            size_t sum = 0;
            for (const Mapping& m : at)
                sum += m.size;
            return sum;
        }
        // Takes out the oldest mapping kept; null when none is.
        Mapping last()
        {
            for (size_t i = at.size(); i-- > 0;)
                if (at[i].data)
                    return std::exchange(at[i], Mapping{});
            return {};
        }
        void add(Mapping m)
        {
            for (Mapping& slot : at)
                if (!slot.data && m.data) {
                    slot = m;
                    return;
                }
        }
        bool unmapAll()
        {
            bool any = false;
            for (Mapping& m : at)
                if (m.data) {
                    munmap(m.data, m.size);
                    m = {};
                    any = true;
                }
            return any;
        }
    };

    std::mutex m_lock;
    Kept m_kept; // the latest first, in the first kMostMappings slots
};

// Never destroyed: a buffer that a static object frees during exit still
// finds it; what it keeps goes with the process.
Reserve& reserve()
{
    static Reserve* const kept = new Reserve;
    return *kept;
}

size_t roundedToHugePages(size_t bytes)
{
    const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    return rounded < bytes || rounded + kHugePage < rounded ? 0 : rounded;
}
} // namespace

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
    if (m_mappedSize) {
        if (!reserve().keep(m_data, m_mappedSize))
            munmap(m_data, m_mappedSize);
    }
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
    const size_t rounded = roundedToHugePages(bytes);
    if (rounded == 0)
        return buffer;
    size_t mapped = rounded + kHugePage;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    // The kept mappings count against an address-space limit (a decoder
    // worker's): a picture of another size must not be refused for them, nor
    // for what the heap keeps free at its top.
    if (raw == MAP_FAILED) {
        const bool given = reserve().release();
        if (malloc_trim(0) == 1 || given)
            raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
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

size_t LargeBuffer::keptBytes() { return reserve().keptBytes(); }

void LargeBuffer::releaseKept() { (void)reserve().release(); }

LargeBuffer LargeBuffer::allocateForOverwrite(size_t bytes)
{
    if (bytes >= kMappingThreshold) {
        if (Reserve::Mapping kept = reserve().take(roundedToHugePages(bytes)); kept.data) {
            LargeBuffer buffer;
            buffer.m_data = kept.data;
            buffer.m_size = bytes;
            buffer.m_mappedSize = kept.size;
            return buffer;
        }
    }
    return allocate(bytes);
}

} // namespace pictorand
