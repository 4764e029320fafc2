#pragma once
// Joins independently compressed raw deflate streams into one. libdeflate
// compresses a whole buffer at a time and always marks its last block final,
// and it has no flush: to let a later piece follow, we find where the final
// block starts (walking the blocks' codes, which is far cheaper than
// compressing), clear its final bit, and end the piece on a byte boundary
// with an empty stored block, as zlib's sync flush does.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace pictorand::deflate_join {

// Bytes a piece may grow by in openFinalBlock.
inline constexpr size_t kMaxGrowth = 5;

struct Tables;

// Keeps its code tables from one stream to the next.
class FinalBlockOpener {
public:
    FinalBlockOpener();
    ~FinalBlockOpener();
    FinalBlockOpener(const FinalBlockOpener&) = delete;
    FinalBlockOpener& operator=(const FinalBlockOpener&) = delete;

    // Turns the complete raw deflate stream in stream[0 .. size) into one
    // that continues: the final bit is cleared and an empty stored block
    // ends it on a byte boundary. `stream` must have room for size +
    // kMaxGrowth bytes. Returns the new size, or 0 when the stream is not
    // one valid deflate stream ending on its last byte.
    size_t open(std::span<uint8_t> stream, size_t size);

private:
    std::unique_ptr<Tables> m_tables;
};

} // namespace pictorand::deflate_join
