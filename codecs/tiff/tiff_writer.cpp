#include "codecs/common/codec_result.h"
#include "codecs/tiff/tiff.h"
#include "codecs/tiff/tiff_glue.h"

#include "codecs/common/ordered_pipeline.h"
#include "codecs/common/pixel_order.h"
#include "core/checked_size.h"
#include "platform/program_name.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace pictorand {

namespace {

uint16_t compressionTagFor(TiffSaveCompression setting)
{
    switch (setting) {
    case TiffSaveCompression::None: return COMPRESSION_NONE;
    case TiffSaveCompression::Lzw: return COMPRESSION_LZW;
    case TiffSaveCompression::PackBits: return COMPRESSION_PACKBITS;
    case TiffSaveCompression::Fax3: return COMPRESSION_CCITTFAX3;
    case TiffSaveCompression::Fax4: return COMPRESSION_CCITTFAX4;
    case TiffSaveCompression::HuffmanRle: return COMPRESSION_CCITTRLE;
    case TiffSaveCompression::Jpeg: return COMPRESSION_JPEG;
    }
    return COMPRESSION_NONE;
}

int brightness(const ColorEntry& entry) { return entry.red * 77 + entry.green * 150 + entry.blue * 29; }

// Turns one block row into the scanline the file gets.
void convertRow(const ImageBlock& block, const uint8_t* source, uint8_t* target, bool invertBits)
{
    const auto width = static_cast<uint32_t>(block.width());
    switch (block.bitCount()) {
    case 24:
        copySwappingRedBlue(source, target, width);
        break;
    case 32:
        copySwappingRedBlueWithAlpha(source, target, width);
        break;
    case 16:
        // 5-5-5 words written as the 8-bit RGB they stand for.
        for (uint32_t x = 0; x < width; ++x, source += 2, target += 3) {
            unsigned value = source[0] | (source[1] << 8);
            target[0] = static_cast<uint8_t>(((value >> 10) & 31) << 3);
            target[1] = static_cast<uint8_t>(((value >> 5) & 31) << 3);
            target[2] = static_cast<uint8_t>((value & 31) << 3);
        }
        break;
    default: {
        size_t bytes = static_cast<size_t>(block.rowSize());
        std::memcpy(target, source, bytes);
        if (invertBits)
            for (size_t i = 0; i < bytes; ++i)
                target[i] = static_cast<uint8_t>(~target[i]);
        break;
    }
    }
}

// The tags every file gets, in the order they are set.
struct FileTags {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t compression = COMPRESSION_NONE;
    int jpegQuality = 0; // > 0: set for JPEG compression
    uint16_t photometric = PHOTOMETRIC_RGB;
    double xResolution = 0;
    double yResolution = 0;
    uint16_t samples = 3;
    uint16_t bitsPerSample = 8;
    bool extraSample = false;
    uint16_t* red = nullptr; // colour map, or null
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
};

// Everything up to the bits per sample (the library needs those to choose
// a strip size).
bool setLeadingTags(TIFF* tiff, const FileTags& tags)
{
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, tags.width) && TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, tags.height)
        && TIFFSetField(tiff, TIFFTAG_SOFTWARE, kProgramCaption) && TIFFSetField(tiff, TIFFTAG_COMPRESSION, tags.compression);
    if (ok && tags.jpegQuality > 0)
        ok = TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, tags.jpegQuality);
    ok = ok && TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, tags.photometric)
        && TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
        && TIFFSetField(tiff, TIFFTAG_XRESOLUTION, tags.xResolution)
        && TIFFSetField(tiff, TIFFTAG_YRESOLUTION, tags.yResolution)
        && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, tags.samples)
        && TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, tags.bitsPerSample);
    if (ok && tags.extraSample) {
        uint16_t extra[] = {EXTRASAMPLE_UNSPECIFIED};
        ok = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    return ok;
}

bool setTrailingTags(TIFF* tiff, const FileTags& tags, uint32_t rowsPerStrip)
{
    bool ok = TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip)
        && TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (ok && tags.red)
        ok = TIFFSetField(tiff, TIFFTAG_COLORMAP, tags.red, tags.green, tags.blue);
    return ok;
}

// A TIFF file in memory, for compressing strips away from the real file.
struct MemoryStream {
    std::vector<uint8_t> bytes;
    uint64_t position = 0;
};

MemoryStream& streamOf(thandle_t handle) { return *static_cast<MemoryStream*>(handle); }

tmsize_t memoryRead(thandle_t handle, void* buffer, tmsize_t size)
{
    MemoryStream& stream = streamOf(handle);
    if (size < 0 || stream.position > stream.bytes.size())
        return 0;
    size_t count = std::min<size_t>(static_cast<size_t>(size), stream.bytes.size() - stream.position);
    std::memcpy(buffer, stream.bytes.data() + stream.position, count);
    stream.position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t memoryWrite(thandle_t handle, void* buffer, tmsize_t size)
{
    MemoryStream& stream = streamOf(handle);
    if (size < 0)
        return -1;
    uint64_t end = stream.position + static_cast<uint64_t>(size);
    if (end > kMaxBlockBytes)
        return -1;
    const auto* data = static_cast<const uint8_t*>(buffer);
    try {
        if (stream.position == stream.bytes.size()) {
            // Strips are appended: no zero-filling of what is written next.
            stream.bytes.insert(stream.bytes.end(), data, data + size);
        } else {
            if (end > stream.bytes.size())
                stream.bytes.resize(static_cast<size_t>(end));
            std::memcpy(stream.bytes.data() + stream.position, data, static_cast<size_t>(size));
        }
    } catch (...) {
        return -1;
    }
    stream.position = end;
    return size;
}

toff_t memorySeek(thandle_t handle, toff_t offset, int whence)
{
    MemoryStream& stream = streamOf(handle);
    uint64_t base = whence == SEEK_CUR ? stream.position : whence == SEEK_END ? stream.bytes.size() : 0;
    stream.position = base + offset;
    return stream.position;
}

int memoryClose(thandle_t) { return 0; }
toff_t memorySize(thandle_t handle) { return streamOf(handle).bytes.size(); }
int memoryMap(thandle_t, void**, toff_t*) { return 0; }
void memoryUnmap(thandle_t, void*, toff_t) {}

// LZW and PackBits strips compress independently, and compressing is most
// of the time a big save takes. So big files have their strips compressed in
// chunks by two threads, each into a TIFF of its own in memory, while the
// calling thread, between chunks of its own, writes the finished chunks to
// the file in order as raw strips. The file is byte for byte the one that
// writing row by row makes.
constexpr uint64_t kParallelMinimumBytes = uint64_t(4) << 20;
constexpr uint64_t kChunkBytes = uint64_t(512) << 10; // rows compressed at one go (at least one strip)
constexpr uint32_t kChunksAheadPerThread = 4;         // bounds the compressed bytes held

struct StripJob {
    const ImageBlock* block = nullptr;
    const FileTags* tags = nullptr;
    bool invertBits = false;
    uint32_t rowsPerStrip = 0;
    uint32_t stripCount = 0;
    size_t scanlineSize = 0;
    size_t rowBufferSize = 0;
};

// The compressed strips of one chunk, in the memory file's bytes.
struct Chunk {
    std::vector<uint8_t> bytes;
    std::vector<std::pair<uint64_t, uint64_t>> strips; // offset and length of each
};

// One thread's memory TIFF, tagged as the real file, kept for all the chunks
// the thread compresses.
class StripCompressor {
public:
    explicit StripCompressor(const StripJob& job) : m_job(job) {}
    ~StripCompressor()
    {
        if (m_tiff)
            TIFFClose(m_tiff); // its directory goes to memory that is thrown away
    }
    StripCompressor(const StripCompressor&) = delete;
    StripCompressor& operator=(const StripCompressor&) = delete;

    // Compresses strips [first, end) into `chunk`.
    bool compress(uint32_t first, uint32_t end, Chunk& chunk) noexcept
    {
        try {
            return (m_tiff || open()) && compressStrips(first, end, chunk);
        } catch (...) {
            return false;
        }
    }

private:
    bool open()
    {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options)
            return false;
        TIFFOpenOptionsSetErrorHandlerExtR(options, tiff_glue::discardMessages, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, tiff_glue::discardMessages, nullptr);
        m_tiff = TIFFClientOpenExt("strips", "w", &m_stream, memoryRead, memoryWrite, memorySeek, memoryClose,
                                   memorySize, memoryMap, memoryUnmap, options);
        TIFFOpenOptionsFree(options);
        if (!m_tiff || !setLeadingTags(m_tiff, *m_job.tags) || !setTrailingTags(m_tiff, *m_job.tags, m_job.rowsPerStrip))
            return false;
        // Strips never start at offset 0: the library takes a strip at 0 for
        // one not yet written.
        m_headerBytes = std::max<uint64_t>(m_stream.bytes.size(), 8);
        m_rows.resize(size_t(m_job.rowsPerStrip) * m_job.scanlineSize + m_job.rowBufferSize);
        return true;
    }

    bool compressStrips(uint32_t first, uint32_t end, Chunk& chunk)
    {
        // The chunks before are the writer's by now: this one starts again
        // right after the header.
        m_stream.bytes.resize(static_cast<size_t>(m_headerBytes));
        m_stream.position = m_headerBytes;
        chunk.strips.clear();
        const uint32_t height = m_job.tags->height;
        for (uint32_t strip = first; strip < end; ++strip) {
            uint32_t top = strip * m_job.rowsPerStrip;
            uint32_t count = std::min(m_job.rowsPerStrip, height - top);
            for (uint32_t r = 0; r < count; ++r)
                convertRow(*m_job.block, m_job.block->topRow(static_cast<int32_t>(top + r)),
                           m_rows.data() + size_t(r) * m_job.scanlineSize, m_job.invertBits);
            if (TIFFWriteEncodedStrip(m_tiff, strip, m_rows.data(),
                                      static_cast<tmsize_t>(size_t(count) * m_job.scanlineSize))
                < 0)
                return false;
            uint64_t* offsets = nullptr;
            uint64_t* counts = nullptr;
            if (!TIFFGetField(m_tiff, TIFFTAG_STRIPOFFSETS, &offsets)
                || !TIFFGetField(m_tiff, TIFFTAG_STRIPBYTECOUNTS, &counts) || !offsets || !counts
                || offsets[strip] < m_headerBytes || offsets[strip] > m_stream.bytes.size()
                || counts[strip] > m_stream.bytes.size() - offsets[strip])
                return false;
            chunk.strips.emplace_back(offsets[strip], counts[strip]);
        }
        // The chunk's old bytes, written long ago, become the next chunk's
        // buffer.
        chunk.bytes.swap(m_stream.bytes);
        return true;
    }

    const StripJob& m_job;
    MemoryStream m_stream;
    TIFF* m_tiff = nullptr;
    uint64_t m_headerBytes = 0;
    std::vector<uint8_t> m_rows;
};

bool writeChunk(TIFF* tiff, uint32_t firstStrip, const Chunk& chunk)
{
    uint32_t strip = firstStrip;
    for (const auto& [offset, length] : chunk.strips) {
        auto* data = const_cast<uint8_t*>(chunk.bytes.data() + offset); // the library does not change raw data
        if (TIFFWriteRawStrip(tiff, strip++, data, static_cast<tmsize_t>(length)) < 0)
            return false;
    }
    return true;
}

// Compresses the strips in chunks on `threads` threads (the calling one
// included) and writes them in order. False when anything failed.
bool writeStripsInChunks(TIFF* tiff, const StripJob& job, unsigned threads)
{
    const uint64_t stripBytes = uint64_t(job.rowsPerStrip) * job.scanlineSize;
    const uint32_t stripsPerChunk = static_cast<uint32_t>(std::clamp<uint64_t>(kChunkBytes / stripBytes, 1, job.stripCount));
    const uint32_t chunkCount = (job.stripCount - 1) / stripsPerChunk + 1;
    std::vector<Chunk> ring;
    try {
        ring.resize(std::min<size_t>(size_t(kChunksAheadPerThread) * threads, chunkCount));
    } catch (...) {
        return false;
    }
    return runOrderedPipeline(
        chunkCount, threads, std::span<Chunk>(ring), [&] { return std::make_unique<StripCompressor>(job); },
        [&](std::unique_ptr<StripCompressor>& compressor, uint64_t index, Chunk& chunk) {
            const uint32_t first = static_cast<uint32_t>(index) * stripsPerChunk;
            return compressor->compress(first, std::min(first + stripsPerChunk, job.stripCount), chunk);
        },
        [&](uint64_t index, const Chunk& chunk) { return writeChunk(tiff, static_cast<uint32_t>(index) * stripsPerChunk, chunk); });
}

} // namespace

Status writeTiff(const std::string& path, const ImageBlock& block, int compressionSetting, int jpegQuality)
{
    // Whatever else stops the save, the user is told "Can't save !".
    const Failure cantSave = kTiffTexts.failure(Reason::WriteFailed, TiffFault::CantSave);
    if (!block || !block.isConsistent() || block.width() <= 0 || block.height() <= 0)
        return cantSave;
    if (compressionSetting < 0 || compressionSetting > 6)
        return cantSave;
    const auto setting = static_cast<TiffSaveCompression>(compressionSetting);
    const uint16_t bitCount = block.bitCount();
    if (setting == TiffSaveCompression::Jpeg && bitCount != 24)
        return kTiffTexts.failure(Reason::Unsupported, TiffFault::JpegNeedsTrueColour);
    bool faxSetting = setting == TiffSaveCompression::Fax3 || setting == TiffSaveCompression::Fax4
        || setting == TiffSaveCompression::HuffmanRle;
    if (faxSetting && bitCount != 1)
        return kTiffTexts.failure(Reason::Unsupported, TiffFault::FaxNeedsOneBit);
    // Other depths cannot be written; saying so beats reporting a file that
    // was never written as saved.
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return cantSave;

    const bool paletted = bitCount <= 8;
    const uint32_t mapEntries = paletted ? 1u << bitCount : 0;
    std::vector<uint16_t> red(mapEntries), green(mapEntries), blue(mapEntries);
    for (uint32_t i = 0; i < std::min(mapEntries, block.colorsUsed()); ++i) {
        const ColorEntry& entry = block.colorTable()[i];
        red[i] = static_cast<uint16_t>(entry.red * 257);
        green[i] = static_cast<uint16_t>(entry.green * 257);
        blue[i] = static_cast<uint16_t>(entry.blue * 257);
    }
    // A 1-bit file is tagged min-is-black; a block whose entry 0 is the
    // lighter one has its bits inverted so the picture still looks the same.
    bool invertBits = bitCount == 1 && block.colorsUsed() >= 2
        && brightness(block.colorTable()[0]) > brightness(block.colorTable()[1]);

    std::string libraryMessages; // library failures leave "Can't save !"
    tiff_glue::TiffFile file(path, "w", &libraryMessages);
    if (!file)
        return cantSave;
    TIFF* tiff = file.get();
    const auto width = static_cast<uint32_t>(block.width());
    const auto height = static_cast<uint32_t>(block.height());
    const bool rgb = bitCount >= 16;
    uint16_t samples = bitCount == 32 ? 4 : rgb ? 3 : 1;
    uint16_t bitsPerSample = rgb ? 8 : bitCount;
    uint16_t photometric = rgb ? PHOTOMETRIC_RGB : bitCount == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;

    FileTags tags;
    tags.width = width;
    tags.height = height;
    tags.compression = compressionTagFor(setting);
    tags.jpegQuality = setting == TiffSaveCompression::Jpeg ? std::clamp(jpegQuality, 1, 100) : 0;
    tags.photometric = photometric;
    tags.xResolution = static_cast<double>(block.xPelsPerMeter());
    tags.yResolution = static_cast<double>(block.yPelsPerMeter());
    tags.samples = samples;
    tags.bitsPerSample = bitsPerSample;
    tags.extraSample = bitCount == 32;
    if (paletted) {
        tags.red = red.data();
        tags.green = green.data();
        tags.blue = blue.data();
    }
    if (!setLeadingTags(tiff, tags))
        return cantSave;
    bool wholeImageStrip = setting == TiffSaveCompression::Fax3 || setting == TiffSaveCompression::Fax4;
    uint32_t rowsPerStrip = wholeImageStrip ? height : TIFFDefaultStripSize(tiff, 0);
    if (!setTrailingTags(tiff, tags, rowsPerStrip))
        return cantSave;

    tmsize_t scanlineSize = TIFFScanlineSize(tiff);
    if (scanlineSize <= 0)
        return cantSave;
    const size_t rowBufferSize = std::max<size_t>(block.rowSize(), size_t(width) * 3);
    StripJob job;
    job.block = &block;
    job.tags = &tags;
    job.invertBits = invertBits;
    job.rowsPerStrip = std::min(rowsPerStrip, height);
    job.stripCount = TIFFNumberOfStrips(tiff);
    job.scanlineSize = static_cast<size_t>(scanlineSize);
    job.rowBufferSize = rowBufferSize;
    const bool chunked = (tags.compression == COMPRESSION_LZW || tags.compression == COMPRESSION_PACKBITS)
        && job.rowsPerStrip > 0 && job.stripCount >= 2 && uint64_t(job.stripCount) * job.rowsPerStrip >= height
        && uint64_t(job.scanlineSize) * height >= kParallelMinimumBytes;
    const unsigned threads = chunked ? tiff_glue::stripThreadCount() : 1;
    if (threads >= 2)
        return writeStripsInChunks(tiff, job, threads) && file.close() ? Status() : cantSave;

    std::vector<uint8_t> scanline(std::max<size_t>(static_cast<size_t>(scanlineSize), rowBufferSize));
    for (uint32_t row = 0; row < height; ++row) {
        convertRow(block, block.topRow(static_cast<int32_t>(row)), scanline.data(), invertBits);
        if (TIFFWriteScanline(tiff, scanline.data(), row, 0) < 0)
            return cantSave;
    }
    if (!file.close())
        return cantSave;
    return {};
}

} // namespace pictorand
