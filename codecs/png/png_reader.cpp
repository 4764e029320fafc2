#include "codecs/common/alpha_composite.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/png/png.h"
#include "codecs/png/png_glue.h"
#include "codecs/png/png_image_data.h"
#include "core/checked_size.h"
#include "core/large_buffer.h"
#include "platform/file_access.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <sys/stat.h>

namespace pictorand {

namespace {

// Where the compressed bytes come from: a file or a span in memory.
struct Source {
    std::FILE* file = nullptr;
    std::span<const uint8_t> memory;
    size_t position = 0;
    // The last 8 bytes libpng read in one go: a chunk's length and type.
    // When png_read_info returns, they are the first IDAT chunk's.
    uint8_t lastChunkHeader[8] = {};

    bool read(uint8_t* data, size_t length)
    {
        if (file)
            return std::fread(data, 1, length, file) == length;
        if (length > memory.size() - position)
            return false;
        std::memcpy(data, memory.data() + position, length);
        position += length;
        return true;
    }
    bool skip(uint64_t length)
    {
        uint8_t scratch[4096];
        while (length > 0) {
            const auto part = static_cast<size_t>(std::min<uint64_t>(length, sizeof scratch));
            if (!read(scratch, part))
                return false;
            length -= part;
        }
        return true;
    }
    // The bytes left to read; an upper bound on the image data still to come.
    uint64_t remaining() const
    {
        if (!file)
            return memory.size() - position;
        struct stat status{};
        const long at = std::ftell(file);
        if (at < 0 || fstat(fileno(file), &status) != 0 || status.st_size < at)
            return 0;
        return uint64_t(status.st_size) - uint64_t(at);
    }
};

void readFromSource(png_structp png, png_bytep data, size_t length)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (!source->read(data, length))
        png_error(png, "Read Error");
    if (length == 8)
        std::memcpy(source->lastChunkHeader, data, 8);
}

uint32_t bigEndian32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool isIdat(const uint8_t* header) { return std::memcmp(header + 4, "IDAT", 4) == 0; }

// Chunk names are four ASCII letters; the first is upper case for chunks a
// reader must understand.
bool isChunkName(const uint8_t* name)
{
    return std::all_of(name, name + 4, [](uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

enum class Gathered { Whole, Damaged, OutOfMemory };

// Joins the IDAT chunks' contents from the first one, whose header libpng
// has read, and reads on to the end of IEND, as png_read_end would: a file
// cut short, a bad chunk name or a critical chunk libpng would refuse after
// the image data spoils it. The header chunks had their CRCs checked by
// libpng; for the image data a viewer shows what it can, as browsers do, and
// a damaged stream still fails to inflate. (Checking them with
// libdeflate_crc32 would cost little: about 5 ms for the 48 MB of a
// 6000 x 4000 photo.) IDAT chunks after other chunks are ignored, as libpng does.
Gathered gatherImageData(Source& source, LargeBuffer& stream, size_t& streamSize)
{
    const uint64_t capacity = std::min<uint64_t>(source.remaining(), kMaxBlockBytes);
    // Only the bytes read are used: pages a picture freed lately will do.
    stream = LargeBuffer::allocateForOverwrite(static_cast<size_t>(std::max<uint64_t>(capacity, 1)));
    if (!stream)
        return Gathered::OutOfMemory;
    streamSize = 0;
    uint8_t header[8];
    std::memcpy(header, source.lastChunkHeader, 8);
    bool inImageData = true;
    for (;;) {
        const uint32_t length = bigEndian32(header);
        if (length > 0x7FFFFFFFu || !isChunkName(header + 4))
            return Gathered::Damaged;
        if (inImageData && isIdat(header)) {
            if (length > capacity - streamSize)
                return capacity == kMaxBlockBytes ? Gathered::OutOfMemory : Gathered::Damaged;
            if (!source.read(stream.data() + streamSize, length) || !source.skip(4))
                return Gathered::Damaged;
            streamSize += length;
        } else {
            inImageData = false;
            const bool critical = header[4] >= 'A' && header[4] <= 'Z';
            const bool end = std::memcmp(header + 4, "IEND", 4) == 0;
            if (critical && !end && !isIdat(header))
                return Gathered::Damaged;
            if (!source.skip(uint64_t(length) + 4))
                return Gathered::Damaged;
            if (end)
                return Gathered::Whole;
        }
        if (!source.read(header, 8))
            return Gathered::Damaged;
    }
}

// Deflate turns a byte into at most 1,032 (a 258-byte match in two bits).
constexpr uint64_t kBestDeflateRatio = 1032;

// The bytes of the filtered rows the header declares, filter bytes included.
uint64_t declaredImageData(uint64_t width, uint64_t height, int bitDepth, int colourType)
{
    const uint64_t channels = colourType == PNG_COLOR_TYPE_RGB ? 3
                              : colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                              : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                        : 1;
    return ((width * channels * uint64_t(bitDepth) + 7) / 8 + 1) * height;
}

struct Decoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    Source source;
    PngReadOptions options;
    int colourType = 0; // the header's
    ImageBlock block;
    std::vector<uint8_t> iccProfile;
    LargeBuffer stream; // the IDAT contents joined
    // Set where the decode stops; what libpng refuses stays not valid.
    Failure failure = kPngTexts.failure(Reason::CorruptData, PngFault::NotValid);

    ~Decoder() { png_destroy_read_struct(&png, &info, &endInfo); }
};

// The block a file's header asks for, after the transforms set up in decode().
struct BlockShape {
    uint16_t bitCount = 0;
    uint32_t colours = 0;
};

BlockShape shapeFor(int colourType, int bitDepth)
{
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        // 2-bit files are unpacked to a byte per pixel (blocks have no 2-bit
        // depth); 16-bit ones are stripped to 8-bit grey.
        if (bitDepth == 2)
            return {8, 256};
        if (bitDepth == 16)
            return {8, 256};
        return {static_cast<uint16_t>(bitDepth), 1u << bitDepth};
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        // Alpha is dropped: a grey picture, not grey-and-alpha pairs that
        // would later read as 5-5-5 colour.
        return {8, 256};
    case PNG_COLOR_TYPE_PALETTE:
        return {static_cast<uint16_t>(bitDepth == 2 ? 8 : bitDepth), 0}; // colours: the palette's length
    // 16-bit samples come rounded to 8 bits (or kept, in a block of 48).
    case PNG_COLOR_TYPE_RGB:
        return {24, 0};
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return {32, 0};
    default:
        return {};
    }
}

// Runs under the armed error return: everything it makes lives in the Decoder.
bool decode(Decoder& decoder)
{
    png_structp png = decoder.png;
    png_infop info = decoder.info;
    png_set_read_fn(png, &decoder.source, readFromSource);
    // Debian's libpng allocates (and clears) whatever a text chunk's length
    // asks for, up to 2 GiB, before finding the file too short: the chunks
    // this reader never uses are skipped unread instead.
    static constexpr png_byte kUnusedChunks[] = {'t', 'E', 'X', 't', 0, 'z', 'T', 'X', 't', 0, 'i', 'T', 'X', 't', 0,
                                                 's', 'P', 'L', 'T', 0, 'e', 'X', 'I', 'f', 0};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks, 5);
    // The one chunk of those read, iCCP, gets no more than a profile needs;
    // a bigger one is dropped with a warning, as libpng drops damaged
    // ancillary chunks.
    png_set_chunk_malloc_max(png, png_glue::kMaxProfileBytes);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    decoder.colourType = colourType;
    png_charp profileName = nullptr;
    int profileCompression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, info, &profileName, &profileCompression, &profile, &profileLength) && profile)
        decoder.iccProfile.assign(profile, profile + profileLength);

    if (bitDepth == 16)
        png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_RGB || colourType == PNG_COLOR_TYPE_RGB_ALPHA)
        png_set_bgr(png);
    if (colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_strip_alpha(png);
    if (bitDepth == 2)
        png_set_packing(png);
    bool interlaced = interlace != PNG_INTERLACE_NONE;
    png_read_update_info(png, info);

    BlockShape shape = shapeFor(colourType, bitDepth);
    if (shape.bitCount == 0)
        png_error(png, "unknown colour type");
    // png_image_data keeps the samples; a picture whose 48-bit block would
    // pass the block limit is rounded, as for a file.
    const bool deep = decoder.options.sixteenBitSamples && bitDepth == 16
        && !(decoder.options.keepAlpha && (colourType & PNG_COLOR_MASK_ALPHA))
        && ImageBlock::sizeFor(int64_t(width), int64_t(height), 48, 0);
    if (deep)
        shape = {48, 0};
    png_colorp palette = nullptr;
    int paletteSize = 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_get_PLTE(png, info, &palette, &paletteSize);
        paletteSize = std::clamp(paletteSize, 0, 256);
        shape.colours = bitDepth == 2 ? 256 : static_cast<uint32_t>(paletteSize);
    }
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) {
        decoder.failure = {Reason::OutOfMemory, kCantAllocateMemory};
        return false;
    }
    if (!couldFillEnoughOf(declaredImageData(width, height, bitDepth, colourType), decoder.source.remaining(),
                           kBestDeflateRatio)) {
        decoder.failure = {Reason::CorruptData, farTooSmall(kPngTexts[PngFault::NotValid])};
        return false;
    }
    // A picture is shown only whole, every row written: pages a picture
    // freed lately will do.
    decoder.block = ImageBlock::createForRows(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                              shape.bitCount, shape.colours);
    if (!decoder.block) {
        decoder.failure = {Reason::OutOfMemory, kCantAllocateMemory};
        return false;
    }
    ImageBlock& block = decoder.block;
    // The library writes its rows straight into the block's rows.
    if (png_get_rowbytes(png, info) > block.rowSize())
        png_error(png, "row size");

    // tRNS: alpha values for palette entries, or the one transparent colour.
    png_bytep paletteAlpha = nullptr;
    int alphaCount = 0;
    png_color_16p transparent = nullptr;
    if (!png_get_tRNS(png, info, &paletteAlpha, &alphaCount, &transparent)) {
        paletteAlpha = nullptr;
        alphaCount = 0;
        transparent = nullptr;
    }
    if (palette) {
        for (int i = 0; i < paletteSize && static_cast<uint32_t>(i) < shape.colours; ++i) {
            const uint8_t alpha = paletteAlpha && i < alphaCount ? paletteAlpha[i] : 255;
            block.setColor(static_cast<uint32_t>(i), overWhite(palette[i].red, alpha), overWhite(palette[i].green, alpha),
                           overWhite(palette[i].blue, alpha));
        }
    } else if ((colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) && !deep) {
        // The ramp by depth spans black to white: i * 255 / (2^depth - 1).
        int rampDepth = colourType == PNG_COLOR_TYPE_GRAY ? std::min(bitDepth, 8) : 8;
        uint32_t entries = 1u << rampDepth;
        for (uint32_t i = 0; i < entries; ++i) {
            auto grey = static_cast<uint8_t>(i * 255 / (entries - 1));
            block.setColor(i, grey, grey, grey);
        }
        // The transparent grey of a shallow file is one entry of the ramp.
        if (transparent && colourType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8 && transparent->gray < entries)
            block.setColor(transparent->gray, 255, 255, 255);
    }

    if (interlaced && height > kPngMaxInterlacedRows) {
        decoder.failure = kPngTexts.failure(Reason::BadDimensions, PngFault::TooBig);
        return false;
    }
    // The image data is ours from here: libpng inflates with zlib, at over
    // twice libdeflate's time.
    size_t streamSize = 0;
    switch (gatherImageData(decoder.source, decoder.stream, streamSize)) {
    case Gathered::OutOfMemory:
        decoder.failure = {Reason::OutOfMemory, kCantAllocateMemory};
        return false;
    case Gathered::Damaged:
        return false;
    case Gathered::Whole:
        break;
    }
    png_image_data::Header header{width, height, bitDepth, colourType, interlaced, std::nullopt, deep};
    if (transparent && colourType == PNG_COLOR_TYPE_RGB)
        header.transparentColour = std::array<uint16_t, 3>{transparent->red, transparent->green, transparent->blue};
    else if (transparent && colourType == PNG_COLOR_TYPE_GRAY && bitDepth == 16)
        header.transparentColour = std::array<uint16_t, 3>{transparent->gray, 0, 0};
    switch (png_image_data::decode(header, std::span<const uint8_t>(decoder.stream.data(), streamSize), block)) {
    case png_image_data::Outcome::OutOfMemory:
        decoder.failure = {Reason::OutOfMemory, kCantAllocateMemory};
        return false;
    case png_image_data::Outcome::Damaged:
        return false;
    case png_image_data::Outcome::Decoded:
        break;
    }
    return true;
}

Result<DecodedImage> readFromSource(const Source& source, const PngReadOptions& options)
{
    auto decoder = std::make_unique<Decoder>();
    decoder->source = source;
    decoder->options = options;
    decoder->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_glue::errorHook, png_glue::warningHook);
    if (!decoder->png)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    decoder->info = png_create_info_struct(decoder->png);
    decoder->endInfo = png_create_info_struct(decoder->png);
    if (!decoder->info || !decoder->endInfo)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    if (setjmp(png_jmpbuf(decoder->png)))
        return kPngTexts.failure(Reason::CorruptData, PngFault::NotValid);
    if (!decode(*decoder))
        return std::move(decoder->failure);
    DecodedImage decoded;
    decoded.block = std::move(decoder->block);
    decoded.iccProfile = std::move(decoder->iccProfile);
    decoded.sixteenBitSamples = decoder->options.sixteenBitSamples && decoded.block.bitCount() == 48;
    decoded.greySamples = !(decoder->colourType & PNG_COLOR_MASK_COLOR);
    return decoded;
}

} // namespace

Result<DecodedImage> readPng(const std::string& path, const PngReadOptions& options)
{
    std::FILE* file = openStreamForReading(path);
    if (!file)
        return cantOpenFile(path);
    Source source;
    source.file = file;
    Result<DecodedImage> decoded = readFromSource(source, options);
    std::fclose(file);
    return decoded;
}

Result<DecodedImage> readPngFromMemory(std::span<const uint8_t> file)
{
    Source source;
    source.memory = file;
    return readFromSource(source, {});
}

} // namespace pictorand
