// The LZW encoder against a plain greedy coder written here with a map: the
// same codes must come out whatever finds the strings (child cache, linear
// search past twelve children, root rows) and however the indices are cut
// into pieces.

#include "codecs/gif/lzw_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <vector>

namespace pictorand::testing {
namespace {

class VectorSink final : public ByteSink {
public:
    void write(const uint8_t* bytes, size_t count) override { data.insert(data.end(), bytes, bytes + count); }
    std::vector<uint8_t> data;
};

// The textbook coder: longest known string, new entry for string + next
// index, widths by bits(entry), clear at 4096 entries; output packed least
// significant bit first into 255-byte sub-blocks.
std::vector<uint8_t> referenceCode(const std::vector<uint8_t>& indices, int minimumCodeSize)
{
    const uint32_t clear = 1u << minimumCodeSize;
    std::vector<uint32_t> codes;
    std::vector<uint32_t> widths;
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
    uint32_t next = clear + 2;
    uint32_t width = static_cast<uint32_t>(minimumCodeSize) + 1;
    auto put = [&](uint32_t code) {
        codes.push_back(code);
        widths.push_back(width);
    };
    put(clear);
    if (!indices.empty()) {
        uint32_t current = indices[0];
        for (size_t i = 1; i < indices.size(); ++i) {
            const uint8_t pixel = indices[i];
            if (auto found = table.find({current, pixel}); found != table.end()) {
                current = found->second;
                continue;
            }
            put(current);
            if (next == 4096) {
                put(clear);
                table.clear();
                next = clear + 2;
                width = static_cast<uint32_t>(minimumCodeSize) + 1;
            } else {
                table[{current, pixel}] = next;
                width = std::max<uint32_t>(3, static_cast<uint32_t>(std::bit_width(next)));
                ++next;
            }
            current = pixel;
        }
        put(current);
    }
    put(clear + 1);

    std::vector<uint8_t> packed;
    uint64_t accumulator = 0;
    uint32_t bits = 0;
    for (size_t i = 0; i < codes.size(); ++i) {
        accumulator |= static_cast<uint64_t>(codes[i]) << bits;
        bits += widths[i];
        while (bits >= 8) {
            packed.push_back(static_cast<uint8_t>(accumulator));
            accumulator >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        packed.push_back(static_cast<uint8_t>(accumulator));
    std::vector<uint8_t> blocks;
    for (size_t at = 0; at < packed.size(); at += 255) {
        const size_t length = std::min<size_t>(255, packed.size() - at);
        blocks.push_back(static_cast<uint8_t>(length));
        blocks.insert(blocks.end(), packed.begin() + static_cast<long>(at), packed.begin() + static_cast<long>(at + length));
    }
    blocks.push_back(0);
    return blocks;
}

std::vector<uint8_t> codeInPieces(const std::vector<uint8_t>& indices, int minimumCodeSize, size_t piece)
{
    VectorSink sink;
    auto encoder = LzwEncoder::create(minimumCodeSize, sink);
    EXPECT_TRUE(encoder);
    for (size_t at = 0; at < indices.size(); at += piece)
        encoder->add(indices.data() + at, std::min(piece, indices.size() - at));
    encoder->finish();
    return sink.data;
}

struct Input {
    const char* name;
    int minimumCodeSize;
    std::vector<uint8_t> indices;
};

std::vector<Input> inputs()
{
    std::vector<Input> all;
    uint32_t seed = 7;
    auto random = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    std::vector<uint8_t> noise(300000);
    for (auto& value : noise)
        value = static_cast<uint8_t>(random());
    all.push_back({"noise, many table clears", 8, noise});

    // Runs and repeats give long strings that cross piece boundaries.
    std::vector<uint8_t> runs;
    while (runs.size() < 200000) {
        const uint8_t value = static_cast<uint8_t>(random() % 5);
        runs.insert(runs.end(), 1 + random() % 40, value);
    }
    all.push_back({"runs of five values", 8, runs});

    // "1 2 x" for 40 different x, again and again: the string "1 2" gains far
    // more than twelve children, so most are found by the linear search.
    std::vector<uint8_t> manyChildren;
    for (int round = 0; round < 30; ++round)
        for (uint8_t x = 0; x < 40; ++x)
            manyChildren.insert(manyChildren.end(), {1, 2, static_cast<uint8_t>(100 + x)});
    all.push_back({"a string with forty children", 8, manyChildren});

    std::vector<uint8_t> fourBit(100000);
    for (auto& value : fourBit)
        value = static_cast<uint8_t>(random() % 3 == 0 ? random() % 16 : 5);
    all.push_back({"four-bit indices", 4, fourBit});

    std::vector<uint8_t> oneBit(100000);
    for (size_t i = 0; i < oneBit.size(); ++i)
        oneBit[i] = static_cast<uint8_t>((i / 7 + random() % 2) & 1);
    all.push_back({"one-bit indices at code size 2", 2, oneBit});

    all.push_back({"a single index", 8, {42}});
    all.push_back({"nothing", 8, {}});
    return all;
}

TEST(LzwEncoder, CodesLikeAPlainGreedyCoderInOnePieceOrMany)
{
    for (const Input& input : inputs()) {
        const std::vector<uint8_t> expected = referenceCode(input.indices, input.minimumCodeSize);
        VectorSink whole;
        ASSERT_TRUE(LzwEncoder::encode(input.indices.data(), input.indices.size(), input.minimumCodeSize, whole));
        EXPECT_EQ(whole.data, expected) << input.name;
        for (size_t piece : {size_t(1), size_t(2), size_t(13), size_t(6000)})
            EXPECT_EQ(codeInPieces(input.indices, input.minimumCodeSize, piece), expected) << input.name << ", pieces of " << piece;
    }
}

} // namespace
} // namespace pictorand::testing
