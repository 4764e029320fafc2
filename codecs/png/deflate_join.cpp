#include "codecs/png/deflate_join.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace pictorand::deflate_join {

namespace {

constexpr unsigned kMaxCodeBits = 15;

// Reads bits least significant first, as deflate packs them; past the end it
// reads zeros and says so through overrun().
class BitWalker {
public:
    explicit BitWalker(std::span<const uint8_t> data) : m_data(data) {}

    uint64_t position() const { return m_position; }
    bool overrun() const { return m_position > uint64_t(m_data.size()) * 8; }

    // The next up to 57 bits without moving.
    uint64_t peek() const
    {
        const uint64_t byte = m_position / 8;
        uint64_t word = 0;
        if (byte + 8 <= m_data.size()) {
            std::memcpy(&word, m_data.data() + byte, 8);
        } else {
            for (uint64_t i = byte; i < m_data.size() && i < byte + 8; ++i)
                word |= uint64_t(m_data[i]) << (8 * (i - byte));
        }
        return word >> (m_position % 8);
    }
    uint32_t take(unsigned count)
    {
        auto value = static_cast<uint32_t>(peek() & ((uint64_t(1) << count) - 1));
        m_position += count;
        return value;
    }
    void skip(uint64_t count) { m_position += count; }
    void alignToByte() { m_position = (m_position + 7) / 8 * 8; }

private:
    std::span<const uint8_t> m_data;
    uint64_t m_position = 0;
};

// A table indexed by the next maxBits input bits; each entry holds the code's
// length in its low 4 bits and a value in the bits above (0 for no code).
class CodeTable {
public:
    // Lengths by symbol; returns false for an oversubscribed set of lengths.
    bool build(const uint8_t* lengths, size_t count, const uint16_t* values)
    {
        std::array<uint16_t, kMaxCodeBits + 1> perLength{};
        m_bits = 0;
        for (size_t s = 0; s < count; ++s) {
            ++perLength[lengths[s]];
            m_bits = std::max<unsigned>(m_bits, lengths[s]);
        }
        perLength[0] = 0;
        int left = 1;
        for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits) {
            left = 2 * left - perLength[bits];
            if (left < 0)
                return false;
        }
        std::array<uint16_t, kMaxCodeBits + 2> next{};
        for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits)
            next[bits + 1] = static_cast<uint16_t>((next[bits] + perLength[bits]) << 1);
        std::fill(m_entries.begin(), m_entries.begin() + (size_t(1) << m_bits), uint16_t(0));
        for (size_t s = 0; s < count; ++s) {
            unsigned bits = lengths[s];
            if (bits == 0)
                continue;
            unsigned code = next[bits]++;
            unsigned reversed = 0;
            for (unsigned i = 0; i < bits; ++i)
                reversed |= ((code >> i) & 1u) << (bits - 1 - i);
            auto entry = static_cast<uint16_t>(values[s] << 4 | bits);
            for (size_t at = reversed; at < (size_t(1) << m_bits); at += size_t(1) << bits)
                m_entries[at] = entry;
        }
        return true;
    }
    // The entry of the next code; 0 when the bits spell no code.
    uint32_t decode(BitWalker& walker) const
    {
        uint32_t entry = m_entries[walker.peek() & ((uint64_t(1) << m_bits) - 1)];
        walker.skip(entry & 0xF);
        return entry;
    }

private:
    std::array<uint16_t, size_t(1) << kMaxCodeBits> m_entries{};
    unsigned m_bits = 0;
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
        uint32_t entry = tables.lengthCodes.decode(walker);
        if (entry == 0 || walker.overrun())
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
        uint32_t entry = tables.literals.decode(walker);
        if (walker.overrun())
            return false;
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
            walker.skip(uint64_t(length) * 8);
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
