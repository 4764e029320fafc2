#include "codecs/gif/lzw_encoder.h"

#include "core/byte_order.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pictorand {

namespace {

constexpr uint32_t kNone = LzwEncoder::kTableSize;

// Codes least significant bit first, cut into sub-blocks of up to 255
// bytes. Codes are gathered 32 bits at a time into a run of plain bytes that
// is cut into sub-blocks when it is handed on.
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
        if (m_bitCount >= 32) {
            storeLE32(m_bytes + m_used, static_cast<uint32_t>(m_accumulator));
            m_used += 4;
            m_accumulator >>= 32;
            m_bitCount -= 32;
            if (m_used >= kRunSize)
                handOn(false);
        }
    }

    // Writes the last bits, the last sub-block and the zero-length one that
    // ends the data. A stream that ends exactly on a sub-block boundary gets
    // no empty sub-block of its own before the terminator: a second zero byte
    // would stand where the next block's introducer belongs.
    void finish()
    {
        while (m_bitCount > 0) {
            m_bytes[m_used++] = static_cast<uint8_t>(m_accumulator);
            m_accumulator >>= 8;
            m_bitCount = m_bitCount > 8 ? m_bitCount - 8 : 0;
        }
        handOn(true);
        const uint8_t terminator = 0;
        m_sink.write(&terminator, 1);
    }

private:
    static constexpr size_t kSubBlock = 255;
    static constexpr size_t kRunSize = kSubBlock * 256;

    // Passes on every complete sub-block (and with `last` the partial one
    // too); a partial one stays at the start of the run.
    void handOn(bool last)
    {
        size_t start = 0;
        while (m_used - start >= kSubBlock || (last && m_used > start)) {
            const size_t length = std::min(kSubBlock, m_used - start);
            const uint8_t lengthByte = static_cast<uint8_t>(length);
            m_sink.write(&lengthByte, 1);
            m_sink.write(m_bytes + start, length);
            start += length;
        }
        std::memmove(m_bytes, m_bytes + start, m_used - start);
        m_used -= start;
    }

    ByteSink& m_sink;
    uint8_t m_bytes[kRunSize + 8] = {};
    size_t m_used = 0;
    uint64_t m_accumulator = 0;
    uint32_t m_bitCount = 0;
};

// Everything the encoder looks strings up in, in one zeroed allocation.
struct EncoderTables {
    // The child cache: for every code, the first 12 codes extending it by
    // one byte, in order of creation (196,608 bytes).
    uint32_t children[LzwEncoder::kTableSize][LzwEncoder::kCacheSlots];
    // Their suffix bytes, 16 per code so one vector compare probes all 12
    // slots, and how many slots are taken.
    uint8_t childSuffixes[LzwEncoder::kTableSize][16];
    uint8_t childCount[LzwEncoder::kTableSize];
    // prefix << 8 | suffix of every entry, for the linear search.
    uint32_t keys[LzwEncoder::kTableSize];
    // Roots are looked up in a direct row of 256 children each instead: in
    // photographs a root gains far more than 12 extensions per table, and
    // the linear search would then dominate the coding time.
    uint16_t rootChildren[256 * 256];
};

struct FreeDeleter {
    void operator()(EncoderTables* p) const { std::free(p); }
};

// Position of the cached child of `code` whose suffix is `pixel`, or -1.
inline int findCachedChild(const EncoderTables& tables, uint32_t code, uint8_t pixel)
{
    const unsigned taken = tables.childCount[code];
#if defined(__SSE2__)
    const __m128i suffixes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.childSuffixes[code]));
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(pixel));
    const unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(suffixes, wanted))) & ((1u << taken) - 1);
    return hits ? std::countr_zero(hits) : -1;
#else
    for (unsigned slot = 0; slot < taken; ++slot)
        if (tables.childSuffixes[code][slot] == pixel)
            return static_cast<int>(slot);
    return -1;
#endif
}

} // namespace

bool LzwEncoder::encode(const uint8_t* indices, size_t count, int minimumCodeSize, ByteSink& sink)
{
    std::unique_ptr<EncoderTables, FreeDeleter> tablesMemory(static_cast<EncoderTables*>(std::calloc(1, sizeof(EncoderTables))));
    if (!tablesMemory)
        return false;
    EncoderTables& tables = *tablesMemory;

    const uint32_t clear = 1u << minimumCodeSize;
    const uint32_t end = clear + 1;
    const uint32_t firstWidth = static_cast<uint32_t>(minimumCodeSize) + 1;
    auto resetTable = [&] {
        std::memset(tables.childCount, 0, sizeof(tables.childCount));
        std::memset(tables.rootChildren, 0, size_t(clear) * 256 * sizeof(uint16_t));
    };

    std::unique_ptr<CodeWriter> writerMemory(new (std::nothrow) CodeWriter(sink));
    if (!writerMemory)
        return false;
    CodeWriter& writer = *writerMemory;
    uint32_t next = clear + 2;
    uint32_t width = firstWidth;
    writer.emit(clear, width);

    // No string current + pixel in the table: send the current code and add
    // that string, or clear a full table.
    auto endString = [&](uint32_t current, uint8_t pixel) {
        if (next == kTableSize) {
            writer.emit(current, width);
            resetTable();
            next = clear + 2;
            writer.emit(clear, width);
            width = firstWidth;
            return;
        }
        tables.keys[next] = current << 8 | pixel;
        if (current < clear) {
            tables.rootChildren[current << 8 | pixel] = static_cast<uint16_t>(next);
        } else if (const unsigned taken = tables.childCount[current]; taken < kCacheSlots) {
            tables.children[current][taken] = next;
            tables.childSuffixes[current][taken] = pixel;
            tables.childCount[current] = static_cast<uint8_t>(taken + 1);
        }
        writer.emit(current, width);
        width = std::max<uint32_t>(3, static_cast<uint32_t>(std::bit_width(next)));
        ++next;
    };

    // The loop runs as two states: the open string is a root (looked up in
    // the root rows), or a longer string (looked up in the child cache).
    // Every string starts as a root, so the state follows from the last
    // lookup and needs no test of its own.
    uint32_t current = count > 0 ? indices[0] : kNone;
    size_t i = 1;
    while (i < count) {
        uint8_t pixel = indices[i++];
        const uint16_t rootChild = tables.rootChildren[current << 8 | pixel];
        if (rootChild == 0) {
            endString(current, pixel);
            current = pixel;
            continue;
        }
        current = rootChild;
        while (i < count) {
            pixel = indices[i++];
            uint32_t match = kNone;
            const int slot = findCachedChild(tables, current, pixel);
            if (slot >= 0) {
                match = tables.children[current][slot];
            } else if (tables.childCount[current] == kCacheSlots) {
                // Children beyond the 12th were created after it.
                const uint32_t key = current << 8 | pixel;
                for (uint32_t code = tables.children[current][kCacheSlots - 1] + 1; code < next; ++code)
                    if (tables.keys[code] == key) {
                        match = code;
                        break;
                    }
            }
            if (match == kNone) {
                endString(current, pixel);
                current = pixel;
                break;
            }
            current = match;
        }
    }
    if (current != kNone)
        writer.emit(current, width);
    writer.emit(end, width);
    writer.finish();
    return true;
}

} // namespace pictorand
