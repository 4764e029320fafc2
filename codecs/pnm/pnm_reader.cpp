#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/span_reader.h"
#include "codecs/common/whole_file.h"
#include "codecs/pnm/pnm.h"
#include "core/codec_registry.h"
#include "core/sample_scale.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace pictorand {

namespace {

struct KindInfo {
    char magicDigit;
    bool hasMaximum;
    uint16_t bits;
    PortableFault notValid;
    PortableFault badHeader;
};

const KindInfo& infoFor(PortableKind kind)
{
    static const KindInfo bitmap{'4', false, 1, PortableFault::BitmapNotValid, PortableFault::BitmapBadHeader};
    static const KindInfo greymap{'5', true, 8, PortableFault::GreymapNotValid, PortableFault::GreymapBadHeader};
    static const KindInfo pixmap{'6', true, 24, PortableFault::PixmapNotValid, PortableFault::PixmapBadHeader};
    switch (kind) {
    case PortableKind::Bitmap:
        return bitmap;
    case PortableKind::Greymap:
        return greymap;
    case PortableKind::Pixmap:
        break;
    }
    return pixmap;
}

// Reads the header bytes with comments taken out: "#" up to and including
// the next line feed is skipped wherever it stands, even inside a number.
// The end of the file anywhere in the header (also inside a comment) is an
// error, never a wait for more bytes.
class HeaderScanner {
public:
    explicit HeaderScanner(std::span<const uint8_t> file)
        : m_file(file)
    {
    }

    int rawByte() { return m_position < m_file.size() ? m_file[m_position++] : -1; }

    int byte()
    {
        int b = rawByte();
        while (b == '#') {
            do
                b = rawByte();
            while (b >= 0 && b != '\n');
            if (b < 0)
                return -1;
            b = rawByte();
        }
        return b;
    }

    // A decimal number after optional whitespace; the byte that ends it is
    // consumed. A number that does not start with a digit reads as 0, which
    // every range check refuses. Values above the int32 range are clamped.
    std::optional<uint32_t> number()
    {
        int b;
        do {
            b = byte();
            if (b < 0)
                return std::nullopt;
        } while (isWhitespace(b));
        uint64_t value = 0;
        while (b >= '0' && b <= '9') {
            value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(b - '0'), kClamp);
            b = byte();
            if (b < 0)
                return std::nullopt;
        }
        return static_cast<uint32_t>(value);
    }

    size_t position() const { return m_position; }

private:
    static constexpr uint64_t kClamp = uint64_t(std::numeric_limits<int32_t>::max()) + 1;
    static bool isWhitespace(int b) { return b == ' ' || b == '\t' || b == '\n' || b == '\v' || b == '\f' || b == '\r'; }

    std::span<const uint8_t> m_file;
    size_t m_position = 0;
};

} // namespace

Result<PortableHeader> checkPortableHeader(PortableKind kind, std::span<const uint8_t> file)
{
    const KindInfo& info = infoFor(kind);
    HeaderScanner scanner(file);
    if (scanner.rawByte() != 'P' || scanner.rawByte() != info.magicDigit)
        return kPortableTexts.failure(Reason::NotThisFormat, info.badHeader);
    const uint32_t limit = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
    auto width = scanner.number();
    if (!width)
        return kPortableTexts.failure(Reason::Truncated, info.badHeader);
    if (*width == 0 || *width > limit)
        return kPortableTexts.failure(Reason::BadDimensions, info.badHeader);
    auto height = scanner.number();
    if (!height)
        return kPortableTexts.failure(Reason::Truncated, info.badHeader);
    if (*height == 0 || *height > limit)
        return kPortableTexts.failure(Reason::BadDimensions, info.badHeader);
    uint32_t maximum = 1;
    if (info.hasMaximum) {
        auto given = scanner.number();
        if (!given)
            return kPortableTexts.failure(Reason::Truncated, info.badHeader);
        if (*given < 1 || *given > 65535)
            return kPortableTexts.failure(Reason::BadHeader, info.badHeader);
        maximum = *given;
    }
    return PortableHeader{static_cast<int32_t>(*width), static_cast<int32_t>(*height), scanner.position(), maximum};
}

namespace {

// The picture of a file whose header passed the check, with a warning when
// its data ends early.
Result<DecodedImage> decodePortableImage(PortableKind kind, std::span<const uint8_t> file, const PortableHeader* header,
                                        bool sixteenBitSamples)
{
    const KindInfo& info = infoFor(kind);
    const size_t width = static_cast<size_t>(header->width);
    const size_t samplesPerPixel = kind == PortableKind::Pixmap ? 3 : 1;
    const size_t sampleBytes = header->maximum > 255 ? 2 : 1;
    // A picture whose 48-bit block would pass the block limit is rounded.
    const bool deep = sixteenBitSamples && kind != PortableKind::Bitmap && sampleBytes == 2
        && ImageBlock::sizeFor(header->width, header->height, 48, 0);
    const uint16_t bits = deep ? 48 : info.bits;
    const size_t rowLength = kind == PortableKind::Bitmap ? (width + 7) / 8 : width * samplesPerPixel * sampleBytes;
    std::span<const uint8_t> samples = file.subspan(header->dataOffset);
    const uint32_t colors = kind == PortableKind::Bitmap ? 2 : kind == PortableKind::Greymap && !deep ? 256 : 0;
    if (ImageBlock::sizeFor(header->width, header->height, bits, colors)
        && !holdsEnoughOf(uint64_t(rowLength) * static_cast<uint64_t>(header->height), samples.size()))
        return kPortableTexts.failure(Reason::CorruptData, info.notValid);
    DecodedImage decoded;
    decoded.block = ImageBlock::create(header->width, header->height, bits, colors);
    decoded.sixteenBitSamples = deep;
    decoded.greySamples = kind == PortableKind::Greymap;
    ImageBlock& block = decoded.block;
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    if (kind == PortableKind::Bitmap) {
        block.setColor(0, 255, 255, 255);
        block.setColor(1, 0, 0, 0);
    } else if (colors == 256) {
        for (uint32_t i = 0; i < 256; ++i)
            block.setColor(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
    }

    SpanReader data(samples);
    if (kind == PortableKind::Bitmap) {
        for (int32_t y = 0; y < header->height; ++y) {
            // Data shorter than the header promises leaves the rest zero.
            uint8_t* row = block.topRow(y);
            const size_t got = data.readSome(row, rowLength);
            if (got == rowLength && (width & 7) != 0)
                row[rowLength - 1] = static_cast<uint8_t>(row[rowLength - 1] & (0xFF00 >> (width & 7)));
            if (got < rowLength) {
                decoded.warning = kPictureDataEndsEarly;
                break;
            }
        }
        return decoded;
    }

    // Samples above the maximum are out of range: they show as the maximum.
    auto scaled = [maximum = header->maximum](uint32_t value) {
        return toEightBits(std::min(value, maximum), maximum);
    };
    std::vector<uint8_t> line(rowLength);
    const size_t samplesPerRow = width * samplesPerPixel;
    for (int32_t y = 0; y < header->height; ++y) {
        const size_t got = data.readSome(line.data(), rowLength);
        const size_t whole = got / sampleBytes;
        uint8_t* row = block.topRow(y);
        for (size_t i = 0; i < whole && i < samplesPerRow; ++i) {
            const uint32_t value = sampleBytes == 2 ? uint32_t(line[2 * i]) << 8 | line[2 * i + 1] : line[i];
            // Pixmaps store red first; blocks blue first.
            const size_t at = samplesPerPixel == 3 ? i - i % 3 + (2 - i % 3) : i;
            if (deep) {
                const auto sample = static_cast<uint16_t>(
                    (uint64_t(std::min(value, header->maximum)) * 65535 + header->maximum / 2) / header->maximum);
                // A greymap's grey stands for all three samples.
                const size_t copies = samplesPerPixel == 3 ? 1 : 3;
                for (size_t copy = 0; copy < copies; ++copy)
                    std::memcpy(row + 2 * (at * copies + copy), &sample, 2);
            } else {
                row[at] = scaled(value);
            }
        }
        if (got < rowLength) {
            decoded.warning = kPictureDataEndsEarly;
            break;
        }
    }
    return decoded;
}

} // namespace

Result<DecodedImage> decodePortable(PortableKind kind, std::span<const uint8_t> file, bool sixteenBitSamples)
{
    Result<PortableHeader> header = checkPortableHeader(kind, file);
    if (!header)
        return header.failure();
    return decodePortableImage(kind, file, &*header, sixteenBitSamples);
}

Result<DecodedImage> readPortable(PortableKind kind, const std::string& path, bool sixteenBitSamples)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return decodePortable(kind, file.bytes(), sixteenBitSamples);
}

namespace {

template <PortableKind kind>
Result<DecodedImage> readPortableFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readPortable(kind, request.path, request.sixteenBitSamples); });
}

// Only the binary forms (P4 to P6) are read; the text forms match nothing.
bool isPpm(SignatureHead head) { return signatureHas(head, 0, "P6"); }
bool isPgm(SignatureHead head) { return signatureHas(head, 0, "P5"); }
bool isPbm(SignatureHead head) { return signatureHas(head, 0, "P4"); }

} // namespace

void registerPortableCodecs(CodecRegistry& registry)
{
    registry.registerTexts(kPortableTexts.texts());
    using M = MultiImage;
    registry.registerFormat({
        .row = {.format = ImageFormat::Ppm, .name = "Ppm", .signatureOrder = 170, .matches = isPpm,
                .extensions = {"PPM"}, .renameExtension = ".ppm", .word = "PPM",
                .compressionText = "Portable Pixelmap - None",
                .openFilters = {{16, "(*.PPM) Portable Pixelmap", "*.ppm"}}, .multiImage = M::Single,
                .save = std::nullopt, .mimeTypes = {"image/x-portable-pixmap"},
                .associationBoxes = {{.position = 20, .text = "PPM", .controlId = 1042, .key = "PPM"}}},
        .reader = readPortableFile<PortableKind::Pixmap>,
    });
    registry.registerFormat({
        .row = {.format = ImageFormat::Pgm, .name = "Pgm", .signatureOrder = 180, .matches = isPgm,
                .extensions = {"PGM"}, .renameExtension = ".pgm", .word = "PGM",
                .compressionText = "Portable Greymap - None",
                .openFilters = {{17, "(*.PGM) Portable Greymap", "*.pgm"}}, .multiImage = M::Single,
                .save = std::nullopt, .mimeTypes = {"image/x-portable-graymap"},
                .associationBoxes = {{.position = 19, .text = "PGM", .controlId = 1040, .key = "PGM"}}},
        .reader = readPortableFile<PortableKind::Greymap>,
    });
    registry.registerFormat({
        .row = {.format = ImageFormat::Pbm, .name = "Pbm", .signatureOrder = 190, .matches = isPbm,
                .extensions = {"PBM"}, .renameExtension = ".pbm", .word = "PBM",
                .compressionText = "Portable Bitmap - None",
                .openFilters = {{18, "(*.PBM) Portable Bitmap", "*.pbm"}}, .multiImage = M::Single,
                .save = std::nullopt, .mimeTypes = {"image/x-portable-bitmap"},
                .associationBoxes = {{.position = 18, .text = "PBM", .controlId = 1038, .key = "PBM"}}},
        .reader = readPortableFile<PortableKind::Bitmap>,
    });
}

} // namespace pictorand
