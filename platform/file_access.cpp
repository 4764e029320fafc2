#include "platform/file_access.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <unistd.h>

namespace pictorand {

namespace {

struct Handed {
    std::mutex lock;
    bool only = false;
    std::map<std::string, FileDescriptor> files;
};

Handed& handed()
{
    static Handed files;
    return files;
}

} // namespace

FileDescriptor openForReading(const std::string& path)
{
    Handed& files = handed();
    {
        std::lock_guard guard(files.lock);
        const auto found = files.files.find(path);
        if (found != files.files.end()) {
            // Copies share their position: each reader starts at the start.
            FileDescriptor copy(::fcntl(found->second.get(), F_DUPFD_CLOEXEC, 0));
            if (copy.get() >= 0)
                ::lseek(copy.get(), 0, SEEK_SET);
            return copy;
        }
        if (files.only) {
            errno = EACCES;
            return FileDescriptor(-1);
        }
    }
    return FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
}

std::FILE* openStreamForReading(const std::string& path)
{
    FileDescriptor descriptor = openForReading(path);
    if (descriptor.get() < 0)
        return nullptr;
    std::FILE* stream = ::fdopen(descriptor.get(), "rb");
    if (stream)
        descriptor.release();
    return stream;
}

void serveOnlyHandedFiles()
{
    std::lock_guard guard(handed().lock);
    handed().only = true;
}

void handFile(const std::string& path, FileDescriptor descriptor)
{
    std::lock_guard guard(handed().lock);
    handed().files.insert_or_assign(path, std::move(descriptor));
}

void forgetHandedFiles()
{
    std::lock_guard guard(handed().lock);
    handed().files.clear();
}

} // namespace pictorand
