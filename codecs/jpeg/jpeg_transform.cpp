#include "codecs/jpeg/jpeg_transform.h"

#include "codecs/common/exif.h"
#include "codecs/common/whole_file.h"
#include "codecs/jpeg/jpeg.h"
#include "core/checked_size.h"
#include "core/image_block.h"

#include <sys/mman.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

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

// The bytes of a picture's coefficients (64 of 2 bytes a block) for every
// component, as the library holds them: a turn that moves blocks holds them
// twice, the picture read and the picture turned.
size_t coefficientBytes(int width, int height, int subsampling, int operation)
{
    const double components = subsampling == TJSAMP_GRAY ? 1
        : subsampling == TJSAMP_444                      ? 3
        : subsampling == TJSAMP_422 || subsampling == TJSAMP_440 ? 2
                                                                 : 1.5;
    const double luma = double((width + 15) / 16 * 2) * double((height + 15) / 16 * 2) * 128;
    return static_cast<size_t>(luma * components * (operation == TJXOP_HFLIP ? 1 : 2));
}

// On this kind of machine first touching fresh memory costs about what the
// turn itself does, and the turn holds the whole picture's coefficients
// twice. While the library reads and turns on this thread, another faults
// in, ahead of it, the pages its arrays will take: the heap's top, grown
// to their size and given back, is where they land when large blocks come
// from the heap (the converter and the decoder workers ask for that), and
// MADV_POPULATE_WRITE faults pages in without writing to them, so the two
// threads never race on the bytes. Where the arrays land elsewhere the
// pages are given back unused.
class PagesAhead {
public:
    explicit PagesAhead(size_t bytes)
    {
        // Beyond the heap's threshold the room would be a mapping of its own,
        // gone again at once.
        void* room = bytes >= kWorthIt && bytes <= kHeapMost ? std::malloc(bytes) : nullptr;
        const auto at = reinterpret_cast<uintptr_t>(room);
        std::free(room);
        if (!at)
            return;
        const uintptr_t begin = (at + kPage - 1) & ~(kPage - 1);
        const uintptr_t end = (at + bytes) & ~(kPage - 1);
        try {
            m_thread = std::thread([this, begin, end] {
                for (uintptr_t from = begin; from < end && !m_stop.load(std::memory_order_relaxed); from += kStep)
                    if (::madvise(reinterpret_cast<void*>(from), std::min<uintptr_t>(kStep, end - from),
                                  MADV_POPULATE_WRITE)
                        != 0)
                        return; // no longer mapped, or no kernel support: the library faults them itself
            });
        } catch (const std::system_error&) {
        }
    }
    ~PagesAhead()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;

private:
    static constexpr size_t kWorthIt = size_t(16) << 20;
    static constexpr size_t kHeapMost = size_t(512) << 20;
    static constexpr uintptr_t kPage = 4096;
    static constexpr uintptr_t kStep = uintptr_t(8) << 20;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

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
    int status = 0;
    {
        const PagesAhead pages(coefficientBytes(width, height, subsampling, transform.op));
        status = tjTransform(handle.get(), bytes, size, 1, &turned, &turnedSize, &transform,
                             TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING);
    }
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
