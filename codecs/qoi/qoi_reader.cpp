#include "codecs/qoi/qoi_reader.h"

#include "codecs/common/codec_result.h"
#include "codecs/common/declared_size.h"
#include "codecs/common/library_pixels.h"
#include "codecs/common/span_reader.h"
#include "codecs/common/whole_file.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#define QOI_NO_STDIO
#define QOI_IMPLEMENTATION
#include <qoi.h>

namespace pictorand {

namespace {

constexpr size_t kHeaderBytes = 14;
constexpr uint8_t kEndMarker[8] = {0, 0, 0, 0, 0, 0, 0, 1};
// A run code stands for up to 62 pixels of 4 bytes: no QOI file expands
// further per byte.
constexpr uint64_t kBestRatio = 62 * 4;

struct FreeDeleter {
    void operator()(void* pixels) const { std::free(pixels); }
};

bool isQoi(SignatureHead head) { return signatureHas(head, 0, "qoif"); }

Result<DecodedImage> readQoiFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readQoi(request.path, request.keepAlpha); });
}

} // namespace

Result<QoiHeader> checkQoiHeader(std::span<const uint8_t> file)
{
    SpanReader in(file);
    const std::span<const uint8_t> magic = in.bytes(4);
    QoiHeader header;
    header.width = in.u32be();
    header.height = in.u32be();
    header.channels = in.u8();
    header.colourSpace = in.u8();
    if (!in.ok())
        return kQoiTexts.failure(Reason::Truncated, QoiFault::NotValid);
    if (std::memcmp(magic.data(), "qoif", 4) != 0)
        return kQoiTexts.failure(Reason::NotThisFormat, QoiFault::NotValid);
    if (header.channels != 3 && header.channels != 4)
        return kQoiTexts.failure(Reason::BadHeader, QoiFault::NotValid);
    if (header.colourSpace > 1)
        return kQoiTexts.failure(Reason::BadHeader, QoiFault::NotValid);
    if (header.width == 0 || header.height == 0)
        return kQoiTexts.failure(Reason::BadDimensions, QoiFault::NotValid);
    // The reference decoder holds width x height x channels in an int and
    // stops at 400 million pixels; the block limit is lower still.
    if (!declaredSizeFits(header.width, header.height, SampleLayout{header.channels, 8})
        || uint64_t(header.width) * header.height >= QOI_PIXELS_MAX || file.size() > size_t(INT_MAX))
        return tooBigForBlock();
    const uint64_t declared = uint64_t(header.width) * header.height * uint64_t(header.channels);
    if (!couldFillEnoughOf(declared, in.remaining(), kBestRatio))
        return Failure{Reason::CorruptData, farTooSmall(kQoiTexts[QoiFault::NotValid])};
    return header;
}

Result<DecodedImage> readQoiFromMemory(std::span<const uint8_t> file, bool keepAlpha)
{
    const Result<QoiHeader> header = checkQoiHeader(file);
    if (!header)
        return header.failure();
    const SampleLayout layout{header->channels, 8};
    ImageBlock block = createBlockForLayout(header->width, header->height, layout);
    ImageBlock opacity = alphaPlaneFor(block, layout, keepAlpha);
    if (!block || (keepAlpha && header->channels == 4 && !opacity))
        return tooBigForBlock();
    qoi_desc described{};
    const std::unique_ptr<void, FreeDeleter> pixels(
        qoi_decode(file.data(), static_cast<int>(file.size()), &described, header->channels));
    // The header passed, so only memory or a file under the decoder's
    // minimum (header and end marker) stops it.
    if (!pixels)
        return file.size() < kHeaderBytes + sizeof kEndMarker ? kQoiTexts.failure(Reason::Truncated, QoiFault::NotValid)
                                                              : tooBigForBlock();
    const auto* samples = static_cast<const uint8_t*>(pixels.get());
    const size_t rowBytes = size_t(header->width) * size_t(header->channels);
    for (int32_t y = 0; y < block.height(); ++y)
        storeTopRow(block, y, samples + rowBytes * size_t(y), layout, &opacity);
    DecodedImage decoded;
    decoded.block = std::move(block);
    decoded.alpha = std::move(opacity);
    // A file cut short loses its end marker; the reference decoder repeats
    // the last pixel it read over the rest, which is shown with a warning,
    // as other readers show the rows they have.
    if (file.size() < kHeaderBytes + sizeof kEndMarker
        || std::memcmp(file.data() + file.size() - sizeof kEndMarker, kEndMarker, sizeof kEndMarker) != 0)
        decoded.warning = kPictureDataEndsEarly;
    return decoded;
}

Result<DecodedImage> readQoi(const std::string& path, bool keepAlpha)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readQoiFromMemory(file.bytes(), keepAlpha);
}

// QOI's number and its place in the signature order (strict, so with the
// other strict signatures) and in the Open dialog are its own: no other
// format has them (formatTableProblems). Debian 12's MIME database does not
// know QOI (a file manager calls it application/octet-stream); libmagic, and
// so xdg-mime, calls it image/x-qoi; image/qoi is the name newer databases
// give it.
void registerQoiCodec(CodecRegistry& registry)
{
    registry.registerTexts(kQoiTexts.texts());
    registry.registerFormat({
        .row = {.format = kQoiFormat, .name = "Qoi", .signatureOrder = 95, .matches = isQoi,
                .extensions = {"QOI"}, .renameExtension = ".qoi", .word = "QOI", .compressionText = "QOI",
                .openFilters = {{24, "(*.QOI) Quite OK Image", "*.qoi"}}, .multiImage = MultiImage::Single,
                .save = std::nullopt, .mimeTypes = {"image/qoi", "image/x-qoi"},
                .inModernFormatsGroup = true},
        .reader = readQoiFile,
    });
}

} // namespace pictorand
