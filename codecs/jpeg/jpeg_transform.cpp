#include "codecs/jpeg/jpeg_transform.h"

#include "codecs/common/exif.h"
#include "codecs/common/whole_file.h"
#include "codecs/jpeg/jpeg.h"
#include "core/checked_size.h"
#include "core/image_block.h"

#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>

namespace pictorand {

namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
struct BufferFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

// The library's operation for a turn.
int operationFor(Turn turn)
{
    static constexpr int kTurned[4] = {TJXOP_NONE, TJXOP_ROT90, TJXOP_ROT180, TJXOP_ROT270};
    static constexpr int kMirrored[4] = {TJXOP_HFLIP, TJXOP_TRANSVERSE, TJXOP_VFLIP, TJXOP_TRANSPOSE};
    return (turn.mirrored ? kMirrored : kTurned)[turn.quarterTurns & 3];
}

// Calls `visit` with each APP1 segment's contents before the first scan;
// stops at anything that is not a well-formed segment.
template <class Byte, class Visit>
void forEachApp1(std::span<Byte> file, Visit visit)
{
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return;
    size_t at = 2;
    while (at + 4 <= file.size()) {
        if (file[at] != 0xFF)
            return;
        const uint8_t marker = file[at + 1];
        if (marker == 0xFF) { // a fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return;
        const size_t length = size_t(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || length > file.size() - at - 2)
            return;
        if (marker == 0xE1)
            visit(file.subspan(at + 4, length - 2));
        at += 2 + length;
    }
}

} // namespace

Result<std::vector<uint8_t>> turnJpeg(std::span<const uint8_t> file, const JpegTurnRequest& request)
{
    if (file.size() > kMaxBlockBytes)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    Turn total = request.turn;
    if (request.applyOrientation) {
        int orientation = 1;
        forEachApp1(file, [&](std::span<const uint8_t> segment) {
            if (orientation == 1)
                orientation = exifOrientationOfApp1(segment);
        });
        total = Turn::upright(orientation).then(request.turn);
    }
    std::unique_ptr<void, HandleCloser> handle(tjInitTransform());
    if (!handle)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    auto* bytes = const_cast<unsigned char*>(file.data());
    const auto size = static_cast<unsigned long>(file.size());
    if (tjDecompressHeader3(handle.get(), bytes, size, &width, &height, &subsampling, &colourspace) != 0)
        return Failure{Reason::CorruptData, tjGetErrorStr2(handle.get())};
    // The coefficients of every component are held at once: at most what a
    // decoded picture of that size may take.
    if (width <= 0 || height <= 0 || !checkedMulAdd(uint64_t(width) * uint64_t(height), 8, 0))
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};

    tjtransform transform{};
    transform.op = operationFor(total);
    transform.options = (request.trimEdges ? TJXOPT_TRIM : TJXOPT_PERFECT) | (request.greyscale ? TJXOPT_GRAY : 0)
        | (request.progressive ? TJXOPT_PROGRESSIVE : 0);
    // The turned file holds the same coefficients in the same tables: it
    // comes out about the size of the original. Room for that up front
    // spares the library's growing the buffer by doubling, a copy and fresh
    // pages each time (it still grows it should the guess fall short).
    unsigned long turnedSize = std::min<unsigned long>(size + size / 16 + 65536, INT_MAX);
    unsigned char* turned = tjAlloc(static_cast<int>(turnedSize));
    if (!turned)
        return Failure{Reason::OutOfMemory, kCantAllocateMemory};
    // LIMITSCANS: a progressive file of thousands of scans is a known way to
    // make a decoder spin.
    const int status = tjTransform(handle.get(), bytes, size, 1, &turned, &turnedSize, &transform,
                                   TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING);
    std::unique_ptr<unsigned char, BufferFree> owned(turned);
    if (status != 0) {
        const std::string words = tjGetErrorStr2(handle.get());
        // Refused as imperfect, or damaged? The trimming turn tells: it
        // parses the same file and only gives up on damage.
        transform.options = TJXOPT_TRIM | TJXOPT_NOOUTPUT;
        unsigned char* none = nullptr;
        unsigned long noneSize = 0;
        const bool trimmable = !request.trimEdges
            && tjTransform(handle.get(), bytes, size, 1, &none, &noneSize, &transform,
                           TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING)
                == 0;
        tjFree(none);
        if (trimmable)
            return kJpegTexts.failure(Reason::Unsupported, JpegFault::PartialEdgeBlocks);
        return Failure{Reason::CorruptData, words};
    }
    std::vector<uint8_t> out(turned, turned + turnedSize);
    forEachApp1(std::span<uint8_t>(out), [](std::span<uint8_t> segment) { setExifOrientationUprightInApp1(segment); });
    return out;
}

Result<std::vector<uint8_t>> turnJpegFile(const std::string& path, const JpegTurnRequest& request)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return turnJpeg(file.bytes(), request);
}

} // namespace pictorand
