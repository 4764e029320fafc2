#include "codecs/common/codec_result.h"
#include "codecs/common/file_reader.h"
#include "codecs/photocd/photocd.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace pictorand {

namespace {

constexpr size_t kHeadBytes = 512;
constexpr size_t kPackSignatureBytes = 7;
constexpr uint64_t kOrientationOffset = 3586;
constexpr int32_t kThumbnailWidth = 192;
constexpr int32_t kThumbnailHeight = 128;
constexpr uint64_t kThumbnailBytes = uint64_t(kThumbnailWidth) * kThumbnailHeight * 3 / 2;
constexpr uint64_t kFirstThumbnailOffset = 10240;

uint8_t clampComponent(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

bool readAt(std::FILE* file, uint64_t offset, uint8_t* out, size_t count)
{
    if (offset > static_cast<uint64_t>(INT64_MAX) || fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(out, 1, count, file) == count;
}

// Reads a picture stored as row pairs (two luminance rows, then the two
// chroma rows they share) into `rows`, rows top first, blue-green-red, with
// `stride` bytes from one row to the next (negative to fill bottom-up).
// Data missing at the end of the file decodes as zero bytes: the reader does
// not refuse short files.
void decodeRowPairs(std::FILE* file, uint64_t offset, int32_t width, int32_t height, uint8_t* topRow,
                    std::ptrdiff_t stride, std::vector<uint8_t>& scratch)
{
    const size_t pairBytes = size_t(width) * 3;
    const size_t total = pairBytes * size_t(height / 2);
    scratch.assign(total, 0);
    readAt(file, offset, scratch.data(), total);
    for (int32_t pair = 0; pair < height / 2; ++pair) {
        const uint8_t* luminance = scratch.data() + pairBytes * size_t(pair);
        const uint8_t* chroma1 = luminance + 2 * size_t(width);
        const uint8_t* chroma2 = chroma1 + size_t(width) / 2;
        for (int row = 0; row < 2; ++row) {
            uint8_t* out = topRow + stride * (2 * pair + row);
            const uint8_t* y = luminance + size_t(row) * size_t(width);
            for (int32_t x = 0; x < width; ++x, out += 3) {
                PhotoCdRgb c = photoCdToRgb(y[x], chroma1[x / 2], chroma2[x / 2]);
                out[0] = c.blue;
                out[1] = c.green;
                out[2] = c.red;
            }
        }
    }
}

// The stored orientation as quarter turns to the right that make the picture
// upright: 3 a right turn, 1 a left turn, 2 a half turn, others none.
int quarterTurnsFor(int orientation)
{
    switch (orientation) {
    case 3:
        return 1;
    case 1:
        return 3;
    case 2:
        return 2;
    default:
        return 0;
    }
}

} // namespace

Result<PhotoCdHeader> checkPhotoCdHeader(std::span<const uint8_t> head)
{
    if (head.size() < kPackSignatureBytes)
        return kPhotoCdTexts.failure(Reason::Truncated, PhotoCdFault::NotValid);
    if (std::memcmp(head.data(), "PCD_OPA", kPackSignatureBytes) == 0)
        return PhotoCdHeader{true};
    // Image packs start with a run of FF bytes.
    if (!std::all_of(head.begin(), head.begin() + kPackSignatureBytes, [](uint8_t b) { return b == 0xFF; }))
        return kPhotoCdTexts.failure(Reason::NotThisFormat, PhotoCdFault::NotValid);
    return PhotoCdHeader{false};
}

PhotoCdRgb photoCdToRgb(uint8_t luminance, uint8_t chroma1, uint8_t chroma2)
{
    const int l = (255 * int(luminance)) / 181;
    const int blue = l + 2 * int(chroma1) - 318;
    const int red = l + 2 * int(chroma2) - 274;
    // From red and blue before they are clamped; C++ division truncates
    // toward zero, as the conversion is defined.
    const int green = (10 * l - 3 * red - blue) / 6;
    return {clampComponent(red), clampComponent(green), clampComponent(blue)};
}

PhotoCdResolution photoCdResolution(int loadingSize)
{
    switch (loadingSize) {
    case 0:
        return {192, 128, 0x2000};
    case 2:
        return {768, 512, 0x30000};
    default:
        return {384, 256, 0xB800};
    }
}

Result<DecodedImage> readPhotoCd(const std::string& path, int loadingSize)
{
    OpenFile file(path, "rb");
    if (!file)
        return Failure{Reason::CantOpenFile, kCantOpenFile};
    std::array<uint8_t, kHeadBytes> head{};
    const size_t got = std::fread(head.data(), 1, head.size(), file.get());
    Result<PhotoCdHeader> header = checkPhotoCdHeader(std::span<const uint8_t>(head.data(), got));
    if (!header)
        return header.failure();
    DecodedImage decoded;
    if (header->isOverview) {
        decoded.overviewPack = true;
        return decoded;
    }

    uint8_t orientation = 0;
    readAt(file.get(), kOrientationOffset, &orientation, 1);
    orientation &= 7;

    const PhotoCdResolution resolution = photoCdResolution(loadingSize);
    ImageBlock block = ImageBlock::create(resolution.width, resolution.height, 24, 0);
    std::vector<uint8_t> scratch;
    try {
        scratch.reserve(size_t(resolution.width) * 3 * size_t(resolution.height / 2));
    } catch (const std::bad_alloc&) {
        block = {};
    }
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    decodeRowPairs(file.get(), resolution.offset, resolution.width, resolution.height, block.topRow(0),
                   -static_cast<std::ptrdiff_t>(block.rowSize()), scratch);
    file.close();
    decoded.block = std::move(block);
    decoded.quarterTurnsClockwise = quarterTurnsFor(orientation);
    return decoded;
}

Result<DecodedImage> readPhotoCdOverview(const std::string& path, int firstPicture)
{
    OpenFile file(path, "rb");
    if (!file)
        return Failure{Reason::CantOpenFile, kCantOpenFile};
    auto fileSize = file.size();
    ImageBlock block = ImageBlock::create(kOverviewSheetWidth, kOverviewSheetHeight, 24, 0);
    std::vector<uint8_t> thumbnail;
    std::vector<uint8_t> scratch;
    try {
        thumbnail.assign(size_t(kThumbnailWidth) * kThumbnailHeight * 3, 0);
        scratch.reserve(kThumbnailBytes);
    } catch (const std::bad_alloc&) {
        block = {};
    }
    if (!block)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    const size_t thumbnailRow = size_t(kThumbnailWidth) * 3;
    for (int i = 0; i < 5; ++i) {
        for (int k = 0; k < 5; ++k) {
            const int64_t number = int64_t(firstPicture) + 5 * i + k;
            if (number < 1)
                continue;
            const uint64_t offset = uint64_t(number - 1) * kThumbnailBytes + kFirstThumbnailOffset;
            // A pack with fewer pictures leaves the places of the missing
            // ones black rather than filling them with the zero-byte colour.
            if (fileSize && offset >= *fileSize)
                continue;
            decodeRowPairs(file.get(), offset, kThumbnailWidth, kThumbnailHeight, thumbnail.data(),
                           static_cast<std::ptrdiff_t>(thumbnailRow), scratch);
            for (int32_t row = 0; row < kThumbnailHeight; ++row) {
                uint8_t* out = block.row(kOverviewSheetHeight - 1 - kThumbnailHeight * i - row)
                    + size_t(kThumbnailWidth) * 3 * size_t(k);
                std::memcpy(out, thumbnail.data() + thumbnailRow * size_t(row), thumbnailRow);
            }
        }
    }
    file.close();
    DecodedImage decoded;
    decoded.block = std::move(block);
    return decoded;
}

} // namespace pictorand
