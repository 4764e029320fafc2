#include "codecs/common/codec_result.h"
#include "codecs/tiff/tiff.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readTiffFile(const ReadRequest& request)
{
    const uint32_t directory = request.optionsFor<TiffReadOptions>().directoryOffset;
    return withoutExceptions([&] {
        // A thumbnail of the first page may come from its smaller copy.
        if (directory == 0 && request.thumbnailSide > 0)
            if (const uint32_t reduced = reducedTiffDirectory(request.path, request.thumbnailSide); reduced != 0)
                if (Result<DecodedImage> small = readTiffPage(request.path, reduced, request.keepAlpha))
                    return small;
        return readTiffPage(request.path, directory, request.keepAlpha, request.sixteenBitSamples);
    });
}

Status writeTiffFile(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    const TiffWriteOptions tiff = writeOptionsFor<TiffWriteOptions>(options);
    return withoutExceptions([&] { return writeTiff(path, block, tiff.compression, tiff.quality); });
}

// The page table of a multi-page file: directory offsets, the first page's
// first.
Result<ImageList> listPages(const std::string& path)
{
    return withoutExceptions([&]() -> Result<ImageList> {
        ImageList list;
        list.imageOffsets.assign(kMaxFrames, 0);
        const int count = countTiffPages(path, list.imageOffsets.data(), kMaxFrames);
        if (count < 0)
            return Failure{Reason::CantOpenFile, {}};
        list.count = count;
        list.imageOffsets.resize(static_cast<size_t>(count));
        return list;
    });
}

bool isTiff(SignatureHead head) { return signatureHas(head, 0, "II") || signatureHas(head, 0, "MM"); }

} // namespace

void registerTiffCodec(CodecRegistry& registry)
{
    registry.registerTexts(kTiffTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Tiff, .name = "Tiff", .signatureOrder = 40, .matches = isTiff,
                .extensions = {"TIF", "TIFF"}, .renameExtension = ".tif", .word = "TIF", .compressionText = "",
                .openFilters = {{4, "(*.TIF) Tagged Image File Format", "*.tif;*.tiff"}},
                .multiImage = MultiImage::Pages,
                .save = SaveInfo{5, "TIF", ".tif", "(*.TIF) Tagged Image File Format", "*.tif",
                                 "TIF - Tagged Image File Format", "TIF", true, {1, 4, 8, 24},
                                 DepthPreparation::TrueColourForJpegTiff},
                .mimeTypes = {"image/tiff"},
                .associationBoxes = {{.position = 8, .text = "TIF/TIFF", .controlId = 1032, .key = "TIF"}}},
        .reader = readTiffFile,
        .writer = writeTiffFile,
        .imageList = listPages,
    });
}

} // namespace pictorand
