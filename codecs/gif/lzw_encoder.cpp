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
constexpr uint32_t kRootGenerations = 16;

// The suffix bytes of the cached children of one code, 16 of them so one
// vector compare probes all 12 slots. Kept apart from the child codes: most
// lookups in a photograph find no child, and then only these dense 16 bytes
// are read.
struct alignas(16) ChildSuffixes {
    uint8_t suffixes[16];
};

// Position of the cached child whose suffix is `pixel` among the first
// `taken`, or -1.
inline int findCachedChild(const ChildSuffixes& record, unsigned taken, uint8_t pixel)
{
#if defined(__SSE2__)
    const __m128i suffixes = _mm_load_si128(reinterpret_cast<const __m128i*>(record.suffixes));
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(pixel));
    const unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(suffixes, wanted))) & ((1u << taken) - 1);
    return hits ? std::countr_zero(hits) : -1;
#else
    for (unsigned slot = 0; slot < taken; ++slot)
        if (record.suffixes[slot] == pixel)
            return static_cast<int>(slot);
    return -1;
#endif
}

} // namespace

// Adds a code to the bit accumulator and moves its whole bytes out: one
// 8-byte store per code instead of a test for a full word. True when the run
// of bytes is full and must be handed on.
inline bool LzwEncoder::putCode(uint64_t& accumulator, uint32_t& count, size_t& used, uint8_t* bytes, uint32_t code,
                                uint32_t width)
{
    accumulator |= static_cast<uint64_t>(code) << count;
    count += width;
    storeLE64(bytes + used, accumulator);
    used += count >> 3;
    accumulator >>= count & ~7u;
    count &= 7;
    return used >= kRunSize;
}

// Everything the encoder looks strings up in, in one zeroed allocation.
struct LzwEncoder::Tables {
    // The child cache: the first 12 children of every code (196,608 bytes)
    // and their suffixes.
    uint32_t children[kTableSize][kCacheSlots];
    ChildSuffixes childSuffixes[kTableSize];
    // How many slots of each code are taken; apart, so clearing the cache
    // is one short memset.
    uint8_t childCount[kTableSize];
    // prefix << 8 | suffix of every entry, for the linear search.
    uint32_t keys[kTableSize];
    // Roots are looked up in a direct row of 256 children each instead: in
    // photographs a root gains far more than 12 extensions per table, and
    // the linear search would then dominate the coding time. A cell holds
    // the table's generation (1 to 15) above its 12-bit code, so a full
    // table makes the old cells stale by counting up instead of clearing
    // 128 KiB each time; only every 15th clear wipes the rows.
    uint16_t rootChildren[256 * 256];
    uint32_t rootGeneration;
};

void LzwEncoder::TablesDeleter::operator()(Tables* tables) const { std::free(tables); }

std::unique_ptr<LzwEncoder> LzwEncoder::create(int minimumCodeSize, ByteSink& sink)
{
    std::unique_ptr<Tables, TablesDeleter> tables(static_cast<Tables*>(std::aligned_alloc(alignof(Tables), sizeof(Tables))));
    if (!tables)
        return nullptr;
    std::memset(static_cast<void*>(tables.get()), 0, sizeof(Tables));
    tables->rootGeneration = 1;
    std::unique_ptr<LzwEncoder> encoder(new (std::nothrow) LzwEncoder(std::move(tables), minimumCodeSize, sink));
    if (!encoder || !encoder->m_bytes)
        return nullptr;
    encoder->emit(encoder->m_clear, encoder->m_width);
    return encoder;
}

LzwEncoder::LzwEncoder(std::unique_ptr<Tables, TablesDeleter> tables, int minimumCodeSize, ByteSink& sink)
    : m_tables(std::move(tables))
    , m_sink(sink)
    , m_clear(1u << minimumCodeSize)
    , m_firstWidth(static_cast<uint32_t>(minimumCodeSize) + 1)
    , m_next(m_clear + 2)
    , m_width(m_firstWidth)
    , m_current(kNone)
    , m_bytes(new (std::nothrow) uint8_t[kRunSize + 8])
{
}

LzwEncoder::~LzwEncoder() = default;

void LzwEncoder::emit(uint32_t code, uint32_t width)
{
    if (putCode(m_bits.accumulator, m_bits.count, m_bits.used, m_bytes.get(), code, width))
        handOn(false);
}

// Passes on every complete sub-block (and with `last` the partial one too); a
// partial one stays at the start of the run.
void LzwEncoder::handOn(bool last)
{
    uint8_t* bytes = m_bytes.get();
    size_t start = 0;
    while (m_bits.used - start >= kSubBlock || (last && m_bits.used > start)) {
        const size_t length = std::min(kSubBlock, m_bits.used - start);
        const uint8_t lengthByte = static_cast<uint8_t>(length);
        m_sink.write(&lengthByte, 1);
        m_sink.write(bytes + start, length);
        start += length;
    }
    std::memmove(bytes, bytes + start, m_bits.used - start);
    m_bits.used -= start;
}

void LzwEncoder::add(const uint8_t* indices, size_t count)
{
    if (count == 0)
        return;
    Tables& tables = *m_tables;
    const uint8_t* in = indices;
    const uint8_t* const stop = indices + count;
    uint32_t current = m_current == kNone ? *in++ : m_current;
    const uint32_t clear = m_clear;
    uint32_t rootBase = tables.rootGeneration << 12;
    // The coder's state lives in locals while it runs: as members it would
    // be reloaded after every byte store, which may alias anything.
    uint32_t next = m_next;
    uint32_t width = m_width;
    uint64_t accumulator = m_bits.accumulator;
    uint32_t bitCount = m_bits.count;
    size_t used = m_bits.used;
    uint8_t* const bytes = m_bytes.get();
    auto emit = [&](uint32_t code, uint32_t codeWidth) {
        if (putCode(accumulator, bitCount, used, bytes, code, codeWidth)) {
            m_bits = BitState{accumulator, bitCount, used};
            handOn(false);
            used = m_bits.used;
        }
    };

    // No string current + pixel in the table: send the current code and add
    // that string, or clear a full table. Only the entries the table set are
    // cleared, which is far less than the root rows hold.
    auto endString = [&](uint32_t code, uint8_t pixel) {
        if (next == kTableSize) {
            emit(code, width);
            std::memset(tables.childCount, 0, sizeof(tables.childCount));
            if (++tables.rootGeneration == kRootGenerations) {
                std::memset(tables.rootChildren, 0, size_t(clear) * 256 * sizeof(uint16_t));
                tables.rootGeneration = 1;
            }
            rootBase = tables.rootGeneration << 12;
            next = clear + 2;
            emit(clear, width);
            width = m_firstWidth;
            return;
        }
        tables.keys[next] = code << 8 | pixel;
        if (code < clear) {
            tables.rootChildren[code << 8 | pixel] = static_cast<uint16_t>(rootBase | next);
        } else if (const unsigned taken = tables.childCount[code]; taken < kCacheSlots) {
            tables.children[code][taken] = next;
            tables.childSuffixes[code].suffixes[taken] = pixel;
            tables.childCount[code] = static_cast<uint8_t>(taken + 1);
        }
        emit(code, width);
        width = std::max<uint32_t>(3, static_cast<uint32_t>(std::bit_width(next)));
        ++next;
    };

    // Two states: the open string is a root (looked up in the root rows) or a
    // longer string (looked up in the child cache). The state follows from
    // the last lookup, so the test at the top is well predicted.
    for (;;) {
        if (current >= clear) {
            for (;;) {
                if (in == stop)
                    goto done;
                const uint8_t pixel = *in++;
                const unsigned taken = tables.childCount[current];
                uint32_t match = kNone;
                if (const int slot = findCachedChild(tables.childSuffixes[current], taken, pixel); slot >= 0) {
                    match = tables.children[current][slot];
                } else if (taken == kCacheSlots) {
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
        if (in == stop)
            break;
        const uint8_t pixel = *in++;
        // Stale and empty cells wrap round to far above any code.
        const uint32_t rootChild = uint32_t(tables.rootChildren[current << 8 | pixel]) - rootBase;
        if (rootChild >= kTableSize) {
            endString(current, pixel);
            current = pixel;
        } else {
            current = rootChild;
        }
    }
done:
    m_current = current;
    m_next = next;
    m_width = width;
    m_bits = BitState{accumulator, bitCount, used};
}

void LzwEncoder::finish()
{
    if (m_current != kNone)
        emit(m_current, m_width);
    emit(m_clear + 1, m_width);
    // Only the partly filled last byte is still in the accumulator.
    if (m_bits.count > 0)
        m_bytes[m_bits.used++] = static_cast<uint8_t>(m_bits.accumulator);
    m_bits = BitState{.accumulator = 0, .count = 0, .used = m_bits.used};
    // A stream that ends exactly on a sub-block boundary gets no empty
    // sub-block of its own before the terminator: a second zero byte would
    // stand where the next block's introducer belongs.
    handOn(true);
    const uint8_t terminator = 0;
    m_sink.write(&terminator, 1);
}

bool LzwEncoder::encode(const uint8_t* indices, size_t count, int minimumCodeSize, ByteSink& sink)
{
    std::unique_ptr<LzwEncoder> encoder = create(minimumCodeSize, sink);
    if (!encoder)
        return false;
    encoder->add(indices, count);
    encoder->finish();
    return true;
}

} // namespace pictorand
