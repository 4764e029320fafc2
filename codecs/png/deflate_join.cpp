#include "codecs/png/deflate_join.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace pictorand::deflate_join {

namespace {

constexpr unsigned kMaxCodeBits = 15;

// Reads bits least significant first, as deflate packs them, through a
// 64-bit buffer refilled a word at a time; past the end it reads zeros and
// counts them, so that a walk over a cut stream stops.
class BitWalker {
public:
    explicit BitWalker(std::span<const uint8_t> data) : m_data(data) {}

    uint64_t position() const { return uint64_t(m_next) * 8 - m_count; }
    bool overrun() const { return position() > uint64_t(m_data.size()) * 8; }
    // At least 48 bits in the buffer: a length code, its extra bits, a
    // distance code and its extra bits.
    bool ensure48()
    {
        if (m_count >= 48)
            return true;
        if (m_next + 8 <= m_data.size()) {
            uint64_t word = 0;
            std::memcpy(&word, m_data.data() + m_next, 8);
            m_buffer |= word << m_count;
            m_next += (63 - m_count) / 8;
            m_count |= 56;
            return true;
        }
        while (m_count <= 56) {
            m_buffer |= uint64_t(m_next < m_data.size() ? m_data[m_next] : 0) << m_count;
            ++m_next;
            m_count += 8;
        }
        return m_next <= m_data.size() + 16;
    }
    uint64_t peek() const { return m_buffer; }
    void skip(unsigned count)
    {
        m_buffer >>= count;
        m_count -= count;
    }
    uint32_t take(unsigned count)
    {
        ensure48();
        auto value = static_cast<uint32_t>(m_buffer & ((uint64_t(1) << count) - 1));
        skip(count);
        return value;
    }
    void alignToByte() { skip(m_count % 8); }
    // Moves on by whole bytes, from a byte boundary.
    void skipBytes(uint64_t count)
    {
        const uint64_t target = position() / 8 + count;
        m_buffer = 0;
        m_count = 0;
        m_next = static_cast<size_t>(std::min<uint64_t>(target, m_data.size() + 1));
    }

private:
    std::span<const uint8_t> m_data;
    size_t m_next = 0; // the next byte to load
    uint64_t m_buffer = 0;
    unsigned m_count = 0; // bits in m_buffer
};

// Codes of up to kRootBits bits are looked up in one table indexed by the
// next input bits (small enough to stay in the first-level cache); each
// entry holds the code's length in its low 4 bits and a value above (0: no
// code). The rare longer codes are decoded a bit at a time.
class CodeTable {
public:
    // Lengths by symbol; returns false for an oversubscribed set of lengths.
    bool build(const uint8_t* lengths, size_t count, const uint16_t* values)
    {
        m_perLength.fill(0);
        unsigned longest = 0;
        for (size_t s = 0; s < count; ++s) {
            ++m_perLength[lengths[s]];
            longest = std::max<unsigned>(longest, lengths[s]);
        }
        m_perLength[0] = 0;
        int left = 1;
        for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits) {
            left = 2 * left - m_perLength[bits];
            if (left < 0)
                return false;
        }
        std::array<uint16_t, kMaxCodeBits + 2> next{};
        std::array<uint16_t, kMaxCodeBits + 2> firstIndex{};
        for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits) {
            next[bits + 1] = static_cast<uint16_t>((next[bits] + m_perLength[bits]) << 1);
            firstIndex[bits + 1] = static_cast<uint16_t>(firstIndex[bits] + m_perLength[bits]);
        }
        m_bits = std::min(longest, kRootBits);
        m_mask = (uint64_t(1) << m_bits) - 1;
        std::fill(m_entries.begin(), m_entries.begin() + (size_t(1) << m_bits), uint16_t(0));
        for (size_t s = 0; s < count; ++s) {
            const unsigned bits = lengths[s];
            if (bits == 0)
                continue;
            m_sorted[firstIndex[bits]++] = values[s];
            const unsigned code = next[bits]++;
            unsigned reversed = 0;
            for (unsigned i = 0; i < bits; ++i)
                reversed |= ((code >> i) & 1u) << (bits - 1 - i);
            if (bits > kRootBits) {
                m_entries[reversed & m_mask] = kLongCode;
                continue;
            }
            auto entry = static_cast<uint16_t>(values[s] << 4 | bits);
            for (size_t at = reversed; at < (size_t(1) << m_bits); at += size_t(1) << bits)
                m_entries[at] = entry;
        }
        return true;
    }
    // The entry of the next code; 0 when the bits spell no code.
    uint32_t decode(BitWalker& walker) const
    {
        uint32_t entry = m_entries[walker.peek() & m_mask];
        if (entry == kLongCode)
            return decodeLong(walker);
        walker.skip(entry & 0xF);
        return entry;
    }

private:
    static constexpr unsigned kRootBits = 11;
    static constexpr uint16_t kLongCode = 0x8000;

    // Canonical decoding, a bit at a time, as in zlib's puff.
    uint32_t decodeLong(BitWalker& walker) const
    {
        const uint64_t bits = walker.peek();
        int code = 0;
        int first = 0;
        int index = 0;
        for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
            code |= int((bits >> (length - 1)) & 1);
            const int count = m_perLength[length];
            if (code - first < count) {
                walker.skip(length);
                return uint32_t(m_sorted[size_t(index + code - first)]) << 4 | length;
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return 0;
    }

    std::array<uint16_t, size_t(1) << kRootBits> m_entries{};
    std::array<uint16_t, kMaxCodeBits + 1> m_perLength{};
    std::array<uint16_t, 288> m_sorted{};
    unsigned m_bits = 0;
    uint64_t m_mask = 0;
};

// Literal/length values: extra bits in bits 0-3 of the value, then a kind.
constexpr uint16_t kLiteral = 1u << 4;
constexpr uint16_t kLength = 2u << 4;
constexpr uint16_t kEndOfBlock = 3u << 4;
constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtraBits[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

} // namespace

struct Tables {
    std::array<uint16_t, 288> literalValues{};
    std::array<uint16_t, 32> distanceValues{};
    std::array<uint16_t, 19> plainValues{};
    CodeTable literals;
    CodeTable distances;
    CodeTable lengthCodes;

    Tables()
    {
        for (unsigned s = 0; s < 288; ++s)
            literalValues[s] = s < 256 ? kLiteral : s == 256 ? kEndOfBlock : s < 286 ? uint16_t(kLength | kLengthExtraBits[s - 257]) : 0;
        // Distance values hold extra bits + 1, so that 0 still means "no code".
        for (unsigned s = 0; s < 32; ++s)
            distanceValues[s] = s < 30 ? uint16_t(kDistanceExtraBits[s] + 1) : 0;
        for (unsigned s = 0; s < 19; ++s)
            plainValues[s] = static_cast<uint16_t>(s + 1);
    }
};

namespace {

bool readDynamicCodes(BitWalker& walker, Tables& tables)
{
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const unsigned literalCount = walker.take(5) + 257;
    const unsigned distanceCount = walker.take(5) + 1;
    const unsigned lengthCodeCount = walker.take(4) + 4;
    if (literalCount > 286 || distanceCount > 30)
        return false;
    std::array<uint8_t, 19> lengthCodeLengths{};
    for (unsigned i = 0; i < lengthCodeCount; ++i)
        lengthCodeLengths[kOrder[i]] = static_cast<uint8_t>(walker.take(3));
    if (!tables.lengthCodes.build(lengthCodeLengths.data(), 19, tables.plainValues.data()))
        return false;
    std::array<uint8_t, 286 + 30> lengths{};
    unsigned filled = 0;
    while (filled < literalCount + distanceCount) {
        if (!walker.ensure48())
            return false;
        uint32_t entry = tables.lengthCodes.decode(walker);
        if (entry == 0)
            return false;
        unsigned symbol = (entry >> 4) - 1;
        unsigned repeat = 1;
        uint8_t value = 0;
        if (symbol < 16) {
            value = static_cast<uint8_t>(symbol);
        } else if (symbol == 16) {
            if (filled == 0)
                return false;
            value = lengths[filled - 1];
            repeat = 3 + walker.take(2);
        } else {
            repeat = symbol == 17 ? 3 + walker.take(3) : 11 + walker.take(7);
        }
        if (filled + repeat > literalCount + distanceCount)
            return false;
        std::fill_n(lengths.begin() + filled, repeat, value);
        filled += repeat;
    }
    return tables.literals.build(lengths.data(), literalCount, tables.literalValues.data())
        && tables.distances.build(lengths.data() + literalCount, distanceCount, tables.distanceValues.data());
}

void useFixedCodes(Tables& tables)
{
    std::array<uint8_t, 288> literalLengths{};
    std::fill(literalLengths.begin(), literalLengths.begin() + 144, uint8_t(8));
    std::fill(literalLengths.begin() + 144, literalLengths.begin() + 256, uint8_t(9));
    std::fill(literalLengths.begin() + 256, literalLengths.begin() + 280, uint8_t(7));
    std::fill(literalLengths.begin() + 280, literalLengths.end(), uint8_t(8));
    std::array<uint8_t, 30> distanceLengths{};
    distanceLengths.fill(5);
    tables.literals.build(literalLengths.data(), 288, tables.literalValues.data());
    tables.distances.build(distanceLengths.data(), 30, tables.distanceValues.data());
}

// Walks one block's codes up to and including its end-of-block code.
bool skipCodes(BitWalker& walker, const Tables& tables)
{
    for (;;) {
        if (!walker.ensure48())
            return false;
        uint32_t entry = tables.literals.decode(walker);
        const uint32_t kind = (entry >> 4) & 0x30;
        if (kind == kLiteral)
            continue;
        if (kind == kEndOfBlock)
            return true;
        if (kind != kLength)
            return false;
        walker.skip((entry >> 4) & 0xF);
        uint32_t distance = tables.distances.decode(walker);
        if (distance == 0)
            return false;
        walker.skip((distance >> 4) - 1);
    }
}

} // namespace

FinalBlockOpener::FinalBlockOpener() : m_tables(std::make_unique<Tables>()) {}
FinalBlockOpener::~FinalBlockOpener() = default;

size_t FinalBlockOpener::open(std::span<uint8_t> stream, size_t size)
{
    if (size == 0 || stream.size() < size + kMaxGrowth)
        return 0;
    Tables* tables = m_tables.get();
    BitWalker walker(stream.first(size));
    for (;;) {
        const uint64_t blockStart = walker.position();
        const bool final = walker.take(1) != 0;
        const uint32_t type = walker.take(2);
        if (type == 0) {
            walker.alignToByte();
            uint32_t length = walker.take(16);
            if (walker.take(16) != (~length & 0xFFFF))
                return 0;
            walker.skipBytes(length);
        } else if (type == 1) {
            useFixedCodes(*tables);
            if (!skipCodes(walker, *tables))
                return 0;
        } else if (type == 2) {
            if (!readDynamicCodes(walker, *tables) || !skipCodes(walker, *tables))
                return 0;
        } else {
            return 0;
        }
        if (walker.overrun())
            return 0;
        if (!final)
            continue;
        const uint64_t end = walker.position();
        if ((end + 7) / 8 != size)
            return 0;
        stream[blockStart / 8] &= static_cast<uint8_t>(~(1u << (blockStart % 8)));
        // The stored block's three header bits (all zero) go in the unused
        // bits of the last byte when they fit, else in a new zero byte.
        const uint64_t unusedBits = uint64_t(size) * 8 - end;
        for (uint8_t bit = static_cast<uint8_t>(end % 8); bit < 8 && end % 8 != 0; ++bit)
            stream[size - 1] &= static_cast<uint8_t>(~(1u << bit));
        if (unusedBits < 3)
            stream[size++] = 0;
        static constexpr uint8_t kEmptyStoredLength[4] = {0x00, 0x00, 0xFF, 0xFF};
        std::memcpy(stream.data() + size, kEmptyStoredLength, 4);
        return size + 4;
    }
}

} // namespace pictorand::deflate_join
