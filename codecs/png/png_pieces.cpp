#include "codecs/png/png_pieces.h"

#include "codecs/common/ordered_pipeline.h"
#include "codecs/common/pixel_order.h"

#include "codecs/png/deflate_join.h"
#include "codecs/png/png_filter.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pictorand::png_pieces {

namespace {

constexpr unsigned kMaxThreads = 2;
constexpr unsigned kAllFilters = 0x1F;

// libpng's measure of a filtered byte: its magnitude read as a signed number.
inline unsigned magnitude(uint8_t value) { return value < 128 ? value : 256u - value; }

#if defined(__SSE2__)
inline __m128i magnitudes(__m128i bytes) { return _mm_min_epu8(bytes, _mm_sub_epi8(_mm_setzero_si128(), bytes)); }

inline uint64_t lanesTotal(__m128i sums)
{
    alignas(16) uint64_t lanes[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sums);
    return lanes[0] + lanes[1];
}

// Paeth's prediction for eight bytes widened to 16 bits.
inline __m128i paethPredictor8(__m128i left, __m128i above, __m128i aboveLeft)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i fromAbove = _mm_sub_epi16(above, aboveLeft);
    __m128i fromLeft = _mm_sub_epi16(left, aboveLeft);
    __m128i toLeft = _mm_max_epi16(fromAbove, _mm_sub_epi16(zero, fromAbove));
    __m128i toAbove = _mm_max_epi16(fromLeft, _mm_sub_epi16(zero, fromLeft));
    __m128i both = _mm_add_epi16(fromAbove, fromLeft);
    __m128i toAboveLeft = _mm_max_epi16(both, _mm_sub_epi16(zero, both));
    __m128i notLeft = _mm_or_si128(_mm_cmpgt_epi16(toLeft, toAbove), _mm_cmpgt_epi16(toLeft, toAboveLeft));
    __m128i notAbove = _mm_cmpgt_epi16(toAbove, toAboveLeft);
    __m128i aboveOrCorner = _mm_or_si128(_mm_andnot_si128(notAbove, above), _mm_and_si128(notAbove, aboveLeft));
    return _mm_or_si128(_mm_andnot_si128(notLeft, left), _mm_and_si128(notLeft, aboveOrCorner));
}
#endif

#if defined(__SSE2__)
// Stores 16 filtered bytes and adds their magnitudes to the running sums.
inline __m128i keepFiltered(uint8_t* out, __m128i filtered, __m128i sums)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), filtered);
    return _mm_add_epi64(sums, _mm_sad_epu8(magnitudes(filtered), _mm_setzero_si128()));
}
#endif

// Each filter below writes row - prediction into `out` and returns the sum
// of the magnitudes of what it wrote.

uint64_t filterNoneSum(const uint8_t* row, size_t size)
{
    uint64_t sum = 0;
    size_t i = 0;
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(magnitudes(value), _mm_setzero_si128()));
    }
    sum = lanesTotal(sums);
#endif
    for (; i < size; ++i)
        sum += magnitude(row[i]);
    return sum;
}

uint64_t filterSub(const uint8_t* row, uint8_t* out, size_t size, size_t bpp)
{
    uint64_t sum = 0;
    size_t i = 0;
    for (; i < std::min(bpp, size); ++i)
        sum += magnitude(out[i] = row[i]);
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - bpp));
        __m128i filtered = _mm_sub_epi8(value, left);
        sums = keepFiltered(out + i, filtered, sums);
    }
    sum += lanesTotal(sums);
#endif
    for (; i < size; ++i)
        sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - row[i - bpp]));
    return sum;
}

uint64_t filterUp(const uint8_t* row, const uint8_t* previous, uint8_t* out, size_t size)
{
    uint64_t sum = 0;
    size_t i = 0;
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        __m128i above = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + i));
        __m128i filtered = _mm_sub_epi8(value, above);
        sums = keepFiltered(out + i, filtered, sums);
    }
    sum = lanesTotal(sums);
#endif
    for (; i < size; ++i)
        sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - previous[i]));
    return sum;
}

uint64_t filterAverage(const uint8_t* row, const uint8_t* previous, uint8_t* out, size_t size, size_t bpp)
{
    uint64_t sum = 0;
    size_t i = 0;
    for (; i < std::min(bpp, size); ++i)
        sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - (previous[i] >> 1)));
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    for (; i + 16 <= size; i += 16) {
        __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - bpp));
        __m128i above = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + i));
        // The rounded-up average less the carry of odd sums: the floor.
        __m128i average = _mm_sub_epi8(_mm_avg_epu8(left, above), _mm_and_si128(_mm_xor_si128(left, above), one));
        __m128i filtered = _mm_sub_epi8(value, average);
        sums = keepFiltered(out + i, filtered, sums);
    }
    sum += lanesTotal(sums);
#endif
    for (; i < size; ++i)
        sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - ((row[i - bpp] + previous[i]) >> 1)));
    return sum;
}

uint64_t filterPaeth(const uint8_t* row, const uint8_t* previous, uint8_t* out, size_t size, size_t bpp)
{
    uint64_t sum = 0;
    size_t i = 0;
    // Nothing to the left: the prediction is the byte above.
    for (; i < std::min(bpp, size); ++i)
        sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - previous[i]));
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - bpp));
        __m128i above = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + i));
        __m128i aboveLeft = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + i - bpp));
        __m128i low = paethPredictor8(_mm_unpacklo_epi8(left, zero), _mm_unpacklo_epi8(above, zero),
                                      _mm_unpacklo_epi8(aboveLeft, zero));
        __m128i high = paethPredictor8(_mm_unpackhi_epi8(left, zero), _mm_unpackhi_epi8(above, zero),
                                       _mm_unpackhi_epi8(aboveLeft, zero));
        __m128i filtered = _mm_sub_epi8(value, _mm_packus_epi16(low, high));
        sums = keepFiltered(out + i, filtered, sums);
    }
    sum += lanesTotal(sums);
#endif
    for (; i < size; ++i)
        sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - paethPredictor(row[i - bpp], previous[i],
                                                                                previous[i - bpp])));
    return sum;
}

// What every piece needs to know; fixed by the picture and the piece size.
struct Layout {
    const ImageBlock* block = nullptr;
    uint16_t bitCount = 0;
    unsigned bytesPerPixel = 0; // at least one, as the filters count
    size_t pixels = 0;
    size_t rowBytes = 0;
    size_t lineBytes = 0; // filter type + row
    uint64_t totalBytes = 0;
    uint64_t pieceBytes = 0;
    uint64_t pieceCount = 0;
    unsigned allowedFilters = kAllFilters;
};

// A block row (blue, green, red and maybe alpha) in PNG's byte order.
void toPngOrder(const Layout& layout, const uint8_t* source, uint8_t* target)
{
    // Packed 1- and 4-bit rows already have the leftmost pixel in the high
    // bits, as PNG wants.
    if (layout.bitCount <= 8)
        std::memcpy(target, source, layout.rowBytes);
    else if (layout.bytesPerPixel == 3)
        copySwappingRedBlue(source, target, layout.pixels);
    else
        copySwappingRedBlueWithAlpha(source, target, layout.pixels);
}

struct Piece {
    std::vector<uint8_t> compressed;
    size_t used = 0;
    uint32_t adler = 1;
    uint64_t length = 0; // filtered bytes
};

struct CompressorFree {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

// One per thread: its compressor and buffers, reused for every piece the
// thread takes.
class PieceCompressor {
public:
    explicit PieceCompressor(const Layout& layout) : m_layout(layout), m_deflate(libdeflate_alloc_compressor(kLevel)) {}

    bool isOpen() const { return m_deflate != nullptr; }
    bool compress(uint64_t index, Piece& piece);

private:
    bool filter(uint64_t start, uint64_t end);

    const Layout& m_layout;
    std::unique_ptr<libdeflate_compressor, CompressorFree> m_deflate;
    std::unique_ptr<deflate_join::FinalBlockOpener> m_opener;
    std::vector<uint8_t> m_previous; // lines: a byte for the filter type, then the row
    std::vector<uint8_t> m_current;
    std::vector<uint8_t> m_scratch;
    std::vector<uint8_t> m_filtered; // the piece's filtered bytes
};

// The two bytes in front of a zlib stream: deflate with a 32 KiB window, and
// the level class libdeflate's own zlib wrapper gives ours.
constexpr std::array<uint8_t, 2> zlibHeader()
{
    const uint8_t levelClass = kLevel < 2 ? 0 : kLevel < 6 ? 1 : kLevel == 6 ? 2 : 3;
    const uint8_t method = 0x78;
    auto flags = static_cast<uint8_t>(levelClass << 6);
    flags = static_cast<uint8_t>(flags + 31 - (method * 256u + flags) % 31);
    return {method, flags};
}

// Fills m_filtered with the filtered bytes start .. end of the picture.
bool PieceCompressor::filter(uint64_t start, uint64_t end)
{
    const Layout& layout = m_layout;
    m_previous.resize(layout.lineBytes);
    m_current.resize(layout.lineBytes);
    m_scratch.resize(4 * layout.lineBytes);
    m_filtered.resize(static_cast<size_t>(end - start));
    // The row above the piece is read again, so that no thread waits for
    // another and the whole filtered picture never exists.
    const auto firstRow = static_cast<int32_t>(start / layout.lineBytes);
    const auto lastRow = static_cast<int32_t>((end - 1) / layout.lineBytes);
    if (firstRow > 0)
        toPngOrder(layout, layout.block->topRow(firstRow - 1), m_previous.data() + 1);
    else
        std::fill(m_previous.begin(), m_previous.end(), uint8_t(0));
    uint8_t* const scratch[4] = {m_scratch.data(), m_scratch.data() + layout.lineBytes,
                                 m_scratch.data() + 2 * layout.lineBytes, m_scratch.data() + 3 * layout.lineBytes};
    for (int32_t y = firstRow; y <= lastRow; ++y) {
        toPngOrder(layout, layout.block->topRow(y), m_current.data() + 1);
        const uint8_t* line = filterRow(m_current.data(), m_previous.data() + 1, layout.rowBytes, layout.bytesPerPixel,
                                        layout.allowedFilters, scratch);
        const uint64_t lineStart = uint64_t(y) * layout.lineBytes;
        const uint64_t from = std::max(lineStart, start);
        const uint64_t to = std::min(lineStart + layout.lineBytes, end);
        std::memcpy(m_filtered.data() + (from - start), line + (from - lineStart), static_cast<size_t>(to - from));
        std::swap(m_previous, m_current);
    }
    return true;
}

bool PieceCompressor::compress(uint64_t index, Piece& piece)
{
    const Layout& layout = m_layout;
    const uint64_t start = index * layout.pieceBytes;
    const uint64_t end = std::min(start + layout.pieceBytes, layout.totalBytes);
    const bool last = end == layout.totalBytes;
    try {
        filter(start, end);
        const size_t room = libdeflate_deflate_compress_bound(m_deflate.get(), m_filtered.size()) + deflate_join::kMaxGrowth;
        if (piece.compressed.size() < room)
            piece.compressed.resize(room);
        if (!last && !m_opener)
            m_opener = std::make_unique<deflate_join::FinalBlockOpener>();
    } catch (...) {
        return false;
    }
    piece.length = end - start;
    piece.adler = libdeflate_adler32(1, m_filtered.data(), m_filtered.size());
    piece.used = libdeflate_deflate_compress(m_deflate.get(), m_filtered.data(), m_filtered.size(),
                                             piece.compressed.data(), piece.compressed.size());
    if (piece.used == 0)
        return false;
    // Every piece but the last must let the next one follow in the same stream.
    if (!last)
        piece.used = m_opener->open(piece.compressed, piece.used);
    return piece.used != 0;
}

// zlib's adler32_combine: the checksum of A then B from those of A and B.
uint32_t combineAdler(uint32_t first, uint32_t second, uint64_t secondLength)
{
    constexpr uint32_t kBase = 65521;
    const auto remainder = static_cast<uint32_t>(secondLength % kBase);
    uint32_t sum1 = first & 0xFFFF;
    uint32_t sum2 = static_cast<uint32_t>((uint64_t(remainder) * sum1) % kBase);
    sum1 += (second & 0xFFFF) + kBase - 1;
    sum2 += (first >> 16) + (second >> 16) + kBase - remainder;
    if (sum1 >= kBase)
        sum1 -= kBase;
    if (sum1 >= kBase)
        sum1 -= kBase;
    if (sum2 >= 2 * kBase)
        sum2 -= 2 * kBase;
    if (sum2 >= kBase)
        sum2 -= kBase;
    return sum1 | sum2 << 16;
}

void putBigEndian(uint8_t* out, uint32_t value)
{
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

bool writeChunk(std::FILE* file, const char* type, std::initializer_list<std::span<const uint8_t>> parts)
{
    uint64_t length = 0;
    for (auto part : parts)
        length += part.size();
    if (length > 0x7FFFFFFF)
        return false;
    uint8_t head[8];
    putBigEndian(head, static_cast<uint32_t>(length));
    std::memcpy(head + 4, type, 4);
    uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (std::fwrite(head, 1, 8, file) != 8)
        return false;
    for (auto part : parts) {
        if (part.empty())
            continue;
        crc = libdeflate_crc32(crc, part.data(), part.size());
        if (std::fwrite(part.data(), 1, part.size(), file) != part.size())
            return false;
    }
    uint8_t tail[4];
    putBigEndian(tail, crc);
    return std::fwrite(tail, 1, 4, file) == 4;
}

// One IDAT chunk per piece; the zlib header goes in front of the first, the
// Adler-32 of all filtered bytes after the last.
bool writePiece(std::FILE* file, const Piece& piece, bool first, bool last, uint32_t& adler)
{
    static constexpr std::array<uint8_t, 2> kZlibHeader = zlibHeader();
    adler = combineAdler(adler, piece.adler, piece.length);
    uint8_t trailer[4];
    putBigEndian(trailer, adler);
    return writeChunk(file, "IDAT",
                      {first ? std::span<const uint8_t>(kZlibHeader) : std::span<const uint8_t>(),
                       std::span<const uint8_t>(piece.compressed.data(), piece.used),
                       last ? std::span<const uint8_t>(trailer) : std::span<const uint8_t>()});
}

// Workers (and the calling thread while it waits) compress the pieces into a
// ring of slots; the calling thread writes them in order as they come ready.
bool compressAndWrite(std::FILE* file, const Layout& layout, unsigned threads)
{
    std::vector<Piece> ring;
    try {
        ring.resize(static_cast<size_t>(std::min<uint64_t>(2 * threads + 1, layout.pieceCount)));
    } catch (...) {
        return false;
    }
    uint32_t adler = 1;
    return runOrderedPipeline(
        layout.pieceCount, threads, std::span<Piece>(ring),
        [&] {
            auto compressor = std::make_unique<PieceCompressor>(layout);
            return compressor->isOpen() ? std::move(compressor) : nullptr;
        },
        [](std::unique_ptr<PieceCompressor>& compressor, uint64_t index, Piece& piece) {
            return compressor->compress(index, piece);
        },
        [&](uint64_t index, const Piece& piece) {
            return writePiece(file, piece, index == 0, index + 1 == layout.pieceCount, adler);
        });
}

} // namespace

unsigned threadCount()
{
    // PICTORAND_THREADS=1 keeps a save on the calling thread, to measure it
    // alone; the file is the same either way.
    if (const char* given = std::getenv("PICTORAND_THREADS"); given && std::strcmp(given, "1") == 0)
        return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
}

const uint8_t* filterRow(uint8_t* line, const uint8_t* previous, size_t rowBytes, unsigned bytesPerPixel,
                         unsigned allowed, uint8_t* const scratch[4])
{
    const uint8_t* row = line + 1;
    line[0] = 0;
    const uint8_t* best = line;
    uint64_t least = UINT64_MAX;
    if (allowed & 1) {
        if (allowed == 1)
            return line;
        least = filterNoneSum(row, rowBytes);
    }
    for (unsigned type = 1; type <= 4; ++type) {
        if (!(allowed & (1u << type)))
            continue;
        uint8_t* candidate = scratch[type - 1];
        candidate[0] = static_cast<uint8_t>(type);
        uint64_t sum = 0;
        switch (type) {
        case 1:
            sum = filterSub(row, candidate + 1, rowBytes, bytesPerPixel);
            break;
        case 2:
            sum = filterUp(row, previous, candidate + 1, rowBytes);
            break;
        case 3:
            sum = filterAverage(row, previous, candidate + 1, rowBytes, bytesPerPixel);
            break;
        default:
            sum = filterPaeth(row, previous, candidate + 1, rowBytes, bytesPerPixel);
        }
        // Strictly smaller: a tie keeps the lower type, as libpng does.
        if (sum < least) {
            least = sum;
            best = candidate;
        }
    }
    return best;
}

bool writeImageData(std::FILE* file, const ImageBlock& block, size_t pieceBytes, unsigned threads)
{
    const uint16_t bitCount = block.bitCount();
    if (!file || (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        || block.width() <= 0 || block.height() <= 0 || pieceBytes == 0)
        return false;
    Layout layout;
    layout.block = &block;
    layout.bitCount = bitCount;
    layout.bytesPerPixel = std::max(bitCount / 8u, 1u);
    layout.pixels = static_cast<size_t>(block.width());
    layout.rowBytes = (uint64_t(layout.pixels) * bitCount + 7) / 8;
    layout.lineBytes = layout.rowBytes + 1;
    layout.totalBytes = uint64_t(layout.lineBytes) * uint64_t(block.height());
    layout.pieceBytes = pieceBytes;
    layout.pieceCount = (layout.totalBytes + pieceBytes - 1) / pieceBytes;
    // As libpng: one row has nothing above it, one column nothing to its left.
    if (block.height() == 1)
        layout.allowedFilters &= ~((1u << 2) | (1u << 3) | (1u << 4));
    if (block.width() == 1)
        layout.allowedFilters &= ~((1u << 1) | (1u << 3) | (1u << 4));
    // libpng filters palette rows not at all.
    if (bitCount <= 8)
        layout.allowedFilters = 1;
    threads = static_cast<unsigned>(std::clamp<uint64_t>(threads, 1, std::min<uint64_t>(layout.pieceCount, kMaxThreads)));
    if (!compressAndWrite(file, layout, threads))
        return false;
    return writeChunk(file, "IEND", {});
}

} // namespace pictorand::png_pieces
