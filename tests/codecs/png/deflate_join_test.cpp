// Raw deflate streams from libdeflate, opened and joined, must inflate (in
// zlib, an independent decoder) to the joined inputs, whatever kind of block
// each stream ends with.
#include "codecs/png/deflate_join.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <vector>

namespace pictorand {
namespace {

std::vector<uint8_t> sample(size_t size, unsigned kind, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        // Noise (stored blocks), a few letters (fixed codes), or text-like
        // runs with repeats (dynamic codes over several blocks).
        bytes[i] = kind == 0 ? uint8_t(state >> 24) : kind == 1 ? uint8_t('a' + (state >> 30)) : uint8_t((i / 7 + (state >> 29)) % 40);
    }
    return bytes;
}

struct JoinCase {
    int level;
    unsigned kind;
    size_t size;
};

TEST(DeflateJoin, JoinedPiecesInflateToTheJoinedInput)
{
    const JoinCase cases[] = {{1, 0, 3000}, {6, 1, 40}, {6, 1, 1}, {6, 2, 700000}, {12, 2, 90000}, {0, 2, 100000}, {6, 0, 70000}};
    deflate_join::FinalBlockOpener opener;
    for (const JoinCase& c : cases) {
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(c.level);
        ASSERT_TRUE(compressor);
        std::vector<uint8_t> input;
        std::vector<uint8_t> stream;
        for (uint32_t piece = 0; piece < 3; ++piece) {
            std::vector<uint8_t> part = sample(c.size + piece, c.kind, piece + 1);
            std::vector<uint8_t> out(libdeflate_deflate_compress_bound(compressor, part.size()) + deflate_join::kMaxGrowth);
            size_t size = libdeflate_deflate_compress(compressor, part.data(), part.size(), out.data(), out.size());
            ASSERT_GT(size, 0u);
            if (piece < 2)
                size = opener.open(out, size);
            ASSERT_GT(size, 0u) << c.level << " " << c.kind;
            input.insert(input.end(), part.begin(), part.end());
            stream.insert(stream.end(), out.begin(), out.begin() + size);
        }
        libdeflate_free_compressor(compressor);
        std::vector<uint8_t> inflated(input.size() + 1);
        z_stream z{};
        ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
        z.next_in = stream.data();
        z.avail_in = uInt(stream.size());
        z.next_out = inflated.data();
        z.avail_out = uInt(inflated.size());
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << c.level << " " << c.kind;
        EXPECT_EQ(z.avail_in, 0u);
        inflated.resize(z.total_out);
        inflateEnd(&z);
        EXPECT_EQ(inflated, input) << c.level << " " << c.kind;
    }
}

TEST(DeflateJoin, RefusesWhatIsNotOneWholeStream)
{
    deflate_join::FinalBlockOpener opener;
    // A final stored block with a bad length check; a reserved block type; a
    // stream cut short; a stream with a byte after its end.
    std::vector<uint8_t> badStored = {0x01, 0x01, 0x00, 0x00, 0x00, 0x41, 0, 0, 0, 0, 0};
    std::vector<uint8_t> reserved = {0x07, 0, 0, 0, 0, 0};
    std::vector<uint8_t> cut = {0x01, 0x05, 0x00, 0xFA, 0xFF, 0x41, 0, 0, 0, 0, 0};
    std::vector<uint8_t> trailing = {0x03, 0x00, 0x00, 0, 0, 0, 0, 0};
    EXPECT_EQ(opener.open(badStored, 6), 0u);
    EXPECT_EQ(opener.open(reserved, 1), 0u);
    EXPECT_EQ(opener.open(cut, 6), 0u);
    EXPECT_EQ(opener.open(trailing, 3), 0u);
    EXPECT_EQ(opener.open(trailing, 2), 4u + 2u);
}

} // namespace
} // namespace pictorand
