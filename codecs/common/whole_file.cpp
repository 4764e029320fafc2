#include "codecs/common/whole_file.h"
#include "core/checked_size.h"
#include "platform/file_access.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace pictorand {

namespace {

// More than any picture we can hold could need.
constexpr uint64_t kLargestFile = kMaxBlockBytes * 2;

} // namespace

bool WholeFile::open(const std::string& path)
{
    m_buffer = LargeBuffer();
    m_size = 0;
    FileDescriptor fd = openForReading(path);
    if (fd.get() < 0)
        return false;
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    // Regular files are read in one go into a buffer of their size; pipes and
    // special files grow the buffer as data comes.
    size_t capacity = S_ISREG(info.st_mode) ? static_cast<size_t>(std::min<uint64_t>(
                                                  static_cast<uint64_t>(info.st_size), kLargestFile))
                                            : size_t(1) << 20;
    if (capacity == 0 && S_ISREG(info.st_mode))
        return true; // empty: every decoder refuses it in its own words
    m_buffer = LargeBuffer::allocate(capacity);
    if (!m_buffer)
        return false;
    for (;;) {
        if (m_size == capacity) {
            if (S_ISREG(info.st_mode) || capacity >= kLargestFile)
                return true; // a file that grew while read is taken as it was
            LargeBuffer bigger = LargeBuffer::allocate(capacity * 2);
            if (!bigger)
                return false;
            std::copy(m_buffer.data(), m_buffer.data() + m_size, bigger.data());
            m_buffer = std::move(bigger);
            capacity *= 2;
        }
        ssize_t got = ::read(fd.get(), m_buffer.data() + m_size, capacity - m_size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true; // a file cut short while read is a short file
        m_size += static_cast<size_t>(got);
    }
}

} // namespace pictorand
