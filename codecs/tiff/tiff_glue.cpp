#include "codecs/tiff/tiff_glue.h"

#include "core/checked_size.h"

#include "codecs/tiff/tiff.h"
#include "platform/file_access.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pictorand::tiff_glue {

namespace {

constexpr unsigned kMaxStripThreads = 2;

std::atomic<unsigned> threadLimit{0}; // 0: no limit set

int routeToMessage(TIFF*, void* userData, const char* module, const char* format, va_list arguments)
{
    if (auto* message = static_cast<std::string*>(userData)) {
        char text[256];
        int used = 0;
        if (module && *module)
            used = std::snprintf(text, sizeof text, "%s: ", module);
        if (used < 0 || static_cast<size_t>(used) >= sizeof text)
            used = 0;
        std::vsnprintf(text + used, sizeof text - static_cast<size_t>(used), format, arguments);
        *message = text;
    }
    return 1; // handled: the process-wide handlers stay quiet
}

// Errors raised before a file has its own handlers (or without a file at
// all) go to the process-wide handlers, which print to stderr by default.
void silenceProcessWideHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// As TIFFOpen's "w", except that an empty file (the save dispatcher's fresh
// temporary one) is not truncated: on ext4 truncating marks the file for a
// flush to disk on close, which makes the close of a big new file write it
// out at once instead of in the background.
TIFF* openForWriting(const std::string& path, TIFFOpenOptions* options)
{
    int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return TIFFOpenExt(path.c_str(), "w", options); // lets the library say why
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || (status.st_size != 0 && ftruncate(descriptor, 0) != 0)) {
        close(descriptor);
        return nullptr;
    }
    TIFF* tiff = TIFFFdOpenExt(descriptor, path.c_str(), "w", options);
    if (!tiff)
        close(descriptor);
    return tiff;
}

} // namespace

int discardMessages(TIFF*, void*, const char*, const char*, va_list) { return 1; }

unsigned stripThreadCount()
{
    unsigned hardware = std::thread::hardware_concurrency();
    unsigned threads = std::clamp(hardware, 1u, kMaxStripThreads);
    unsigned limit = threadLimit.load(std::memory_order_relaxed);
    return limit ? std::min(threads, limit) : threads;
}

TiffFile::TiffFile(const std::string& path, const char* mode, std::string* messages)
{
    silenceProcessWideHandlers();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return;
    TIFFOpenOptionsSetErrorHandlerExtR(options, routeToMessage, messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, routeToMessage, messages);
    // No single library allocation larger than an image block may be.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxBlockBytes));
    if (std::string_view(mode) == "w")
        m_tiff = openForWriting(path, options);
    else if (FileDescriptor descriptor = openForReading(path); descriptor.get() >= 0) {
        // The library owns the descriptor from here and closes it.
        m_tiff = TIFFFdOpenExt(descriptor.get(), path.c_str(), mode, options);
        if (m_tiff)
            descriptor.release();
    } else
        m_tiff = TIFFOpenExt(path.c_str(), mode, options); // lets the library say why
    TIFFOpenOptionsFree(options);
}

TiffFile::~TiffFile() { close(); }

bool TiffFile::close()
{
    if (!m_tiff)
        return true;
    bool flushed = TIFFGetMode(m_tiff) == O_RDONLY || TIFFFlush(m_tiff) != 0;
    TIFFClose(m_tiff);
    m_tiff = nullptr;
    return flushed;
}

} // namespace pictorand::tiff_glue

namespace pictorand {

void setTiffThreadLimit(unsigned limit) { tiff_glue::threadLimit.store(limit, std::memory_order_relaxed); }

} // namespace pictorand
