#include "tools/files/file_operations.h"

#include "platform/file_descriptor.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pictorand {

namespace {

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Copies the open source into `temporary`, syncs it and checks its size.
bool copyContents(int sourceFd, const struct stat& sourceInfo, const std::string& temporary)
{
    FileDescriptor target(::open(temporary.c_str(), O_WRONLY | O_CLOEXEC));
    if (target.get() < 0)
        return false;
    std::vector<char> buffer(1 << 20);
    uint64_t copied = 0;
    for (;;) {
        const ssize_t got = ::read(sourceFd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            break;
        if (!writeAll(target.get(), buffer.data(), static_cast<size_t>(got)))
            return false;
        copied += static_cast<uint64_t>(got);
    }
    struct stat written {};
    if (fchmod(target.get(), sourceInfo.st_mode & 07777) != 0 || fsync(target.get()) != 0
        || fstat(target.get(), &written) != 0)
        return false;
    if (copied != static_cast<uint64_t>(sourceInfo.st_size) || written.st_size != sourceInfo.st_size)
        return false;
    return target.close();
}

void syncDirectoryOf(const std::string& path)
{
    std::string directory = directoryOf(path);
    if (directory.empty())
        directory = ".";
    FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        fsync(fd.get());
}

std::string absolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return path;
        buffer.resize(buffer.size() * 2);
    }
    std::string directory = buffer.data();
    if (directory.back() != '/')
        directory += '/';
    return directory + path;
}

bool isDirectoryNoLink(const std::string& path, struct stat* info = nullptr)
{
    struct stat local {};
    struct stat& s = info ? *info : local;
    return lstat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

// The directory and its files/ and info/ exist (made with mode 0700).
bool prepareTrash(const std::string& trash)
{
    for (const std::string& directory : {trash, trash + "/files", trash + "/info"}) {
        if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (!isDirectoryNoLink(directory) || access(directory.c_str(), W_OK | X_OK) != 0)
            return false;
    }
    return true;
}

// The mount point of the file system holding `path` (an absolute path).
std::string topDirectoryOf(const std::string& path, dev_t device)
{
    std::string top = directoryOf(path);
    while (top.size() > 1) {
        std::string parent = top.substr(0, top.size() - 1);
        parent = parent.substr(0, parent.rfind('/') + 1);
        if (parent.empty())
            parent = "/";
        struct stat info {};
        if (stat(parent.c_str(), &info) != 0 || info.st_dev != device)
            break;
        top = parent;
    }
    if (top.size() > 1 && top.back() == '/')
        top.pop_back();
    return top;
}

std::string homeTrash()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/')
        return std::string(dataHome) + "/Trash";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/')
        return {};
    return std::string(home) + "/.local/share/Trash";
}

std::string deletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// Claims a name in info/ (created exclusively, which is what makes two
// deletes of equal names safe), then moves the file into files/.
TrashOutcome trashInto(const std::string& trash, const std::string& path, const std::string& recordedPath)
{
    TrashOutcome outcome;
    const std::string name = fileNameOf(path);
    const std::string base = baseNameWithoutExtension(path);
    const std::string extension = name.substr(base.size());
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const std::string trashName = attempt == 0 ? name : base + "." + std::to_string(attempt + 1) + extension;
        const std::string info = trash + "/info/" + trashName + ".trashinfo";
        FileDescriptor fd(::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            if (errno == EEXIST)
                continue;
            return outcome;
        }
        const std::string text =
            "[Trash Info]\nPath=" + trashInfoEscape(recordedPath) + "\nDeletionDate=" + deletionDate() + "\n";
        const std::string files = trash + "/files/" + trashName;
        struct stat existing {};
        const bool written = writeAll(fd.get(), text.data(), text.size()) && fsync(fd.get()) == 0 && fd.close();
        if (!written || lstat(files.c_str(), &existing) == 0 || std::rename(path.c_str(), files.c_str()) != 0) {
            unlink(info.c_str());
            if (written && lstat(files.c_str(), &existing) == 0)
                continue; // a stray file without its info holds the name
            return outcome;
        }
        outcome.status = TrashStatus::Trashed;
        outcome.trashedPath = files;
        outcome.infoPath = info;
        return outcome;
    }
    return outcome;
}

} // namespace

bool isSameFile(const std::string& a, const std::string& b)
{
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

std::optional<uint64_t> fileSize(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

TransferStatus copyFileSafely(const std::string& source, const std::string& destination)
{
    // On Linux, opening the only copy for writing would truncate it.
    if (isSameFile(source, destination))
        return TransferStatus::SameFile;
    FileDescriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat sourceInfo {};
    if (input.get() < 0 || fstat(input.get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode))
        return TransferStatus::CopyFailed;

    std::string directory = directoryOf(destination);
    std::string temporary = directory + "." + fileNameOf(destination) + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0)
        return TransferStatus::CopyFailed;
    ::close(fd);
    if (!copyContents(input.get(), sourceInfo, temporary) || std::rename(temporary.c_str(), destination.c_str()) != 0) {
        unlink(temporary.c_str());
        return TransferStatus::CopyFailed;
    }
    syncDirectoryOf(destination);
    return TransferStatus::Done;
}

TransferStatus moveFileSafely(const std::string& source, const std::string& destination)
{
    // rename() between two names of one file succeeds and does nothing; the
    // caller would then delete the only copy.
    if (isSameFile(source, destination))
        return TransferStatus::SameFile;
    if (std::rename(source.c_str(), destination.c_str()) == 0) {
        syncDirectoryOf(destination);
        return TransferStatus::Done;
    }
    if (errno != EXDEV)
        return TransferStatus::CopyFailed;
    const TransferStatus copied = copyFileSafely(source, destination);
    if (copied != TransferStatus::Done)
        return copied;
    return unlink(source.c_str()) == 0 ? TransferStatus::Done : TransferStatus::SourceNotDeleted;
}

std::string trashInfoEscape(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string escaped;
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || std::string_view("/-_.!~*'()").find(static_cast<char>(c)) != std::string_view::npos;
        if (plain) {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += hex[c >> 4];
            escaped += hex[c & 15];
        }
    }
    return escaped;
}

TrashOutcome moveToTrash(const std::string& path)
{
    TrashOutcome outcome;
    const std::string absolute = absolutePath(path);
    struct stat info {};
    if (lstat(absolute.c_str(), &info) != 0)
        return outcome;

    const std::string home = homeTrash();
    if (!home.empty()) {
        // The home trash may not exist yet: its file system is that of its
        // nearest existing parent.
        std::string probe = home;
        struct stat homeInfo {};
        while (stat(probe.c_str(), &homeInfo) != 0 && probe.size() > 1)
            probe = probe.substr(0, std::max<size_t>(probe.rfind('/'), 1));
        if (homeInfo.st_dev == info.st_dev) {
            if (!makeDirectories(directoryOf(home)) || !prepareTrash(home))
                return outcome;
            return trashInto(home, absolute, absolute);
        }
    }

    const std::string top = topDirectoryOf(absolute, info.st_dev);
    const std::string relative = absolute.substr(top == "/" ? 1 : top.size() + 1);
    const std::string uid = std::to_string(getuid());
    struct stat shared {};
    const std::string topPrefix = top == "/" ? std::string() : top;
    const std::string sharedTrash = topPrefix + "/.Trash";
    if (isDirectoryNoLink(sharedTrash, &shared) && (shared.st_mode & S_ISVTX) && prepareTrash(sharedTrash + "/" + uid)) {
        outcome = trashInto(sharedTrash + "/" + uid, absolute, relative);
        if (outcome.status == TrashStatus::Trashed)
            return outcome;
    }
    const std::string ownTrash = topPrefix + "/.Trash-" + uid;
    if (prepareTrash(ownTrash))
        return trashInto(ownTrash, absolute, relative);
    outcome.status = TrashStatus::NoTrash;
    return outcome;
}

} // namespace pictorand
