#include "codecs/common/mapped_file.h"

#include "core/checked_size.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace pictorand {

namespace {

// Closes a descriptor when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Reads to the end; false on a read error.
bool readAll(int fd, std::vector<uint8_t>& out)
{
    uint8_t chunk[65536];
    for (;;) {
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (out.size() + static_cast<size_t>(got) > kMaxBlockBytes * 2)
            return true; // more than any picture we can hold could need
        out.insert(out.end(), chunk, chunk + got);
    }
}

} // namespace

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_mappedSize(std::exchange(other.m_mappedSize, 0))
    , m_copy(std::move(other.m_copy))
{
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mappedSize = std::exchange(other.m_mappedSize, 0);
        m_copy = std::move(other.m_copy);
    }
    return *this;
}

MappedFile::~MappedFile() { release(); }

void MappedFile::release() noexcept
{
    if (m_mappedSize)
        munmap(const_cast<uint8_t*>(m_data), m_mappedSize);
    m_data = nullptr;
    m_size = 0;
    m_mappedSize = 0;
    m_copy = LargeBuffer();
}

bool MappedFile::open(const std::string& path)
{
    release();
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    struct stat info {};
    if (fstat(fd.get(), &info) != 0)
        return false;
    if (S_ISDIR(info.st_mode))
        return false;
    if (S_ISREG(info.st_mode)) {
        if (info.st_size == 0)
            return true; // an empty file: no bytes, which every decoder refuses in its own words
        if (static_cast<uint64_t>(info.st_size) <= SIZE_MAX) {
            size_t length = static_cast<size_t>(info.st_size);
            void* mapping = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd.get(), 0);
            if (mapping != MAP_FAILED) {
                madvise(mapping, length, MADV_SEQUENTIAL);
                m_data = static_cast<const uint8_t*>(mapping);
                m_size = length;
                m_mappedSize = length;
                return true;
            }
        }
    }
    std::vector<uint8_t> bytes;
    if (!readAll(fd.get(), bytes))
        return false;
    if (bytes.empty())
        return true;
    m_copy = LargeBuffer::allocate(bytes.size());
    if (!m_copy)
        return false;
    std::copy(bytes.begin(), bytes.end(), m_copy.data());
    m_data = m_copy.data();
    m_size = bytes.size();
    return true;
}

} // namespace pictorand
