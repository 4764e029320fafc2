#pragma once
// Opening files through libtiff with its warnings and errors routed into a
// message instead of stderr, and closing them with the handle.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tiffio.h>

namespace pictorand::tiff_glue {

// How many threads the load or save of one big LZW or PackBits page uses:
// at most two (the second core takes most of what there is to gain, and
// a desktop is left room), one on a one-core machine, and never more than
// the limit set with setTiffThreadLimit.
unsigned stripThreadCount();

// A per-file handler that drops what the library says.
int discardMessages(TIFF* tiff, void* userData, const char* module, const char* format, va_list arguments);

// Owns a TIFF handle.
class TiffFile {
public:
    // `mode` as for TIFFOpen. Library warnings and errors land in `*messages`
    // (the latest one wins) when it is not null, and nowhere otherwise.
    TiffFile(const std::string& path, const char* mode, std::string* messages);
    ~TiffFile();
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    TIFF* get() const { return m_tiff; }
    explicit operator bool() const { return m_tiff != nullptr; }
    // Closes now. False when the closing flush failed.
    bool close();

private:
    TIFF* m_tiff = nullptr;
};

} // namespace pictorand::tiff_glue
