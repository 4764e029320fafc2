#pragma once
// Readers take a path, so each input is put in an anonymous in-memory file
// and handed over by its /proc path.

#include "core/codec_registry.h"
#include "dispatch/load_dispatch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace pictorand::fuzzing {

// What a load does next with a reader's findings: the orientation and the
// embedded profile (hostile bytes for Little CMS) applied.
inline void applyFindings(Result<DecodedImage> read)
{
    if (read)
        (void)applyReaderFindings(read->block, *read, PictureCorrections{});
}

// What a load for the screen does: a picture read with its 16-bit samples
// kept is converted at that precision and dithered.
inline void showFindings(Result<DecodedImage> read)
{
    if (read)
        (void)prepareForDisplay(read.take(), PictureCorrections{}, false);
}

class MemoryFile {
public:
    MemoryFile(const uint8_t* data, size_t size)
    {
        m_fd = memfd_create("fuzz-input", MFD_CLOEXEC);
        if (m_fd < 0)
            return;
        size_t written = 0;
        while (written < size) {
            ssize_t n = write(m_fd, data + written, size - written);
            if (n <= 0)
                break;
            written += static_cast<size_t>(n);
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~MemoryFile()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};

// A reader over a file and its twin over the same bytes in memory must agree
// to the byte, failures and all; anything else ends the run.
inline void requireSameResult(const Result<DecodedImage>& fromFile, const Result<DecodedImage>& fromMemory)
{
    if (fromFile.ok() != fromMemory.ok())
        std::abort();
    if (!fromFile) {
        if (fromFile.failure() != fromMemory.failure())
            std::abort();
        return;
    }
    const ImageBlock& a = fromFile->block;
    const ImageBlock& b = fromMemory->block;
    if (fromFile->compression != fromMemory->compression || a.size() != b.size()
        || std::memcmp(a.data(), b.data(), a.size()) != 0)
        std::abort();
}

// The WebP, HEIF, AVIF, JPEG XL and TIFF readers refuse pictures of more
// than 16 million pixels while fuzzing: a few bytes may declare a canvas of 268
// million, which is legitimate but takes seconds to fill under the sanitizers.
inline constexpr uint64_t kFuzzMaxPixels = uint64_t(1) << 24;
// Animations: a few frames, within the time a run is given.
inline constexpr AnimationLimits kFuzzAnimationLimits{4, uint64_t(64) << 20};

// The largest frame any SOF marker in the input declares, in pixels. A frame
// of billions of pixels whose data has run out is decoded from made-up zero
// coefficients (with arithmetic coding that costs no warning the reader
// could stop on): correct, just slow, so such inputs are not fuzzed, as in
// libjpeg-turbo's own fuzz targets.
inline uint64_t largestJpegFrame(const uint8_t* data, size_t size)
{
    uint64_t largest = 0;
    for (size_t i = 0; i + 9 < size; ++i) {
        if (data[i] != 0xFF || data[i + 1] < 0xC0 || data[i + 1] > 0xCF || data[i + 1] == 0xC4 || data[i + 1] == 0xC8
            || data[i + 1] == 0xCC)
            continue;
        uint64_t height = uint64_t(data[i + 5]) << 8 | data[i + 6];
        uint64_t width = uint64_t(data[i + 7]) << 8 | data[i + 8];
        if (width * height > largest)
            largest = width * height;
    }
    return largest;
}

inline constexpr uint64_t kMaxFuzzedJpegPixels = uint64_t(1) << 22;

} // namespace pictorand::fuzzing
