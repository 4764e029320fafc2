#include "platform/paths.h"

#include <filesystem>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace pictorand {

std::string helperProgram(const std::string& name)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string tree = PICTORAND_BINARY_TREE;
    if (!error && self.string().starts_with(tree + "/"))
        return tree + "/libexec/pictorand32/" + name;
    if (!error) {
        const std::filesystem::path beside = self.parent_path().parent_path() / "libexec" / "pictorand32" / name;
        if (::access(beside.c_str(), X_OK) == 0)
            return beside.string();
    }
    return std::string(PICTORAND_LIBEXEC_DIR) + "/" + name;
}

namespace {
std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}
}

std::string configDirectory()
{
    std::string own = environment("PICTORAND_WINDIR");
    if (!own.empty())
        return withoutTrailingSlash(own);
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty()) {
        std::string home = environment("HOME");
        config = (home.empty() ? std::string(".") : home) + "/.config";
    }
    return withoutTrailingSlash(config) + "/pictorand32";
}

std::string tempDirectory()
{
    std::string temp = environment("TMPDIR");
    if (temp.empty())
        temp = "/tmp";
    temp = withoutTrailingSlash(temp);
    return temp == "/" ? temp : temp + "/";
}

bool makeDirectories(const std::string& path)
{
    if (path.empty())
        return false;
    std::string partial;
    size_t position = 0;
    while (position <= path.size()) {
        size_t slash = path.find('/', position);
        if (slash == std::string::npos)
            slash = path.size();
        partial = path.substr(0, slash);
        if (!partial.empty() && mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        position = slash + 1;
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string directoryOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string baseNameWithoutExtension(const std::string& path)
{
    std::string name = fileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string fileUri(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        const bool plain = std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

std::string pathOfFileUri(const std::string& uri)
{
    const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0)
        return {};
    // File managers may name this machine; no other host is ours.
    size_t start = scheme.size();
    if (uri.compare(start, 10, "localhost/") == 0)
        start += 9;
    std::string path;
    for (size_t i = start; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
            path += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path.empty() || path[0] != '/' ? std::string() : path;
}

uint64_t fileVersion(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return 0;
    uint64_t version = 0xcbf29ce484222325u;
    for (uint64_t part : {uint64_t(info.st_dev), uint64_t(info.st_ino), uint64_t(info.st_size),
                          uint64_t(info.st_mtim.tv_sec), uint64_t(info.st_mtim.tv_nsec)})
        version = (version ^ part) * 0x100000001b3u;
    return version == 0 ? 1 : version;
}

} // namespace pictorand
