#include "codecs/gif/lzw_encoder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>

namespace pictorand {

namespace {

constexpr uint32_t kNone = LzwEncoder::kTableSize;

// Codes least significant bit first into 255-byte sub-blocks.
class CodeWriter {
public:
    explicit CodeWriter(ByteSink& sink)
        : m_sink(sink)
    {
    }

    void emit(uint32_t code, uint32_t width)
    {
        m_accumulator |= static_cast<uint64_t>(code) << m_bitCount;
        m_bitCount += width;
        while (m_bitCount >= 8) {
            m_block[m_index++] = static_cast<uint8_t>(m_accumulator);
            m_accumulator >>= 8;
            m_bitCount -= 8;
            if (m_index == sizeof(m_block)) {
                m_block[0] = 255;
                m_sink.write(m_block, sizeof(m_block));
                m_index = 1;
            }
        }
    }

    // Writes the last, partly filled sub-block and the zero-length one that
    // ends the data. A stream that ends exactly on a sub-block boundary gets
    // no empty sub-block of its own before the terminator: a second zero byte
    // would stand where the next block's introducer belongs.
    void finish()
    {
        if (m_bitCount > 0)
            m_block[m_index++] = static_cast<uint8_t>(m_accumulator);
        if (m_index > 1) {
            m_block[0] = static_cast<uint8_t>(m_index - 1);
            m_sink.write(m_block, m_index);
        }
        const uint8_t terminator = 0;
        m_sink.write(&terminator, 1);
        m_index = 1;
        m_bitCount = 0;
        m_accumulator = 0;
    }

private:
    ByteSink& m_sink;
    uint8_t m_block[256] = {};
    size_t m_index = 1;
    uint64_t m_accumulator = 0;
    uint32_t m_bitCount = 0;
};

struct CacheDeleter {
    void operator()(uint32_t* p) const { std::free(p); }
};

} // namespace

bool LzwEncoder::encode(const uint8_t* indices, size_t count, int minimumCodeSize, ByteSink& sink)
{
    std::unique_ptr<uint32_t, CacheDeleter> cacheMemory(static_cast<uint32_t*>(std::calloc(kTableSize * kCacheSlots, sizeof(uint32_t))));
    if (!cacheMemory)
        return false;
    uint32_t* const cache = cacheMemory.get();

    const uint32_t clear = 1u << minimumCodeSize;
    const uint32_t end = clear + 1;
    const uint32_t firstWidth = static_cast<uint32_t>(minimumCodeSize) + 1;
    // Prefix and suffix of every entry as one key, prefix << 8 | suffix, for
    // the linear search; suffix alone for the cache probes.
    static_assert(kTableSize <= (1u << 24));
    auto keys = std::make_unique<uint32_t[]>(kTableSize);
    auto suffixes = std::make_unique<uint8_t[]>(kTableSize);

    // A slot list ends at its first empty slot, and a new child always goes
    // there and empties the slot after it, so a reset only has to empty the
    // first slot of every code.
    auto resetTable = [&] {
        for (uint32_t code = 0; code < kTableSize; ++code)
            cache[code * kCacheSlots] = kNone;
    };
    resetTable();

    CodeWriter writer(sink);
    uint32_t next = clear + 2;
    uint32_t width = firstWidth;
    writer.emit(clear, width);

    uint32_t current = kNone;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t pixel = indices[i];
        if (current == kNone) {
            current = pixel;
            continue;
        }

        uint32_t* slots = cache + current * kCacheSlots;
        uint32_t match = kNone;
        unsigned slot = 0;
        for (; slot < kCacheSlots; ++slot) {
            uint32_t child = slots[slot];
            if (child == kNone)
                break;
            if (suffixes[child] == pixel) {
                match = child;
                break;
            }
        }
        if (match == kNone && slot == kCacheSlots) {
            const uint32_t key = current << 8 | pixel;
            for (uint32_t code = slots[kCacheSlots - 1] + 1; code < next; ++code)
                if (keys[code] == key) {
                    match = code;
                    break;
                }
        }
        if (match != kNone) {
            current = match;
            continue;
        }

        if (next == kTableSize) {
            writer.emit(current, width);
            resetTable();
            next = clear + 2;
            writer.emit(clear, width);
            width = firstWidth;
            current = pixel;
            continue;
        }

        keys[next] = current << 8 | pixel;
        suffixes[next] = pixel;
        if (slot < kCacheSlots) {
            slots[slot] = next;
            if (slot + 1 < kCacheSlots)
                slots[slot + 1] = kNone;
        }
        writer.emit(current, width);
        width = std::max<uint32_t>(3, static_cast<uint32_t>(std::bit_width(next)));
        ++next;
        current = pixel;
    }
    if (current != kNone)
        writer.emit(current, width);
    writer.emit(end, width);
    writer.finish();
    return true;
}

} // namespace pictorand
