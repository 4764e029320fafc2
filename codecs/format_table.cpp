// The format table's look-ups, over the rows the built codecs registered.
// They live with the generated codec list, as CodecRegistry::instance()
// does, so that whatever asks the table links the codecs that fill it.
#include "core/codec_registry.h"
#include "core/image_format.h"
#include "platform/file_access.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <unistd.h>

namespace pictorand {

namespace {

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

} // namespace

const std::vector<FormatInfo>& formatTable() { return CodecRegistry::instance().formats(); }

const FormatInfo& formatInfo(ImageFormat format)
{
    for (const FormatInfo& info : formatTable())
        if (info.format == format)
            return info;
    return formatTable().front(); // unreachable for a registered format
}

std::optional<ImageFormat> formatNumbered(int number)
{
    for (const FormatInfo& info : formatTable())
        if (static_cast<int>(info.format) == number)
            return info.format;
    return std::nullopt;
}

const std::vector<const FormatInfo*>& savableFormats()
{
    static const std::vector<const FormatInfo*> rows = [] {
        std::vector<const FormatInfo*> found;
        for (const FormatInfo& info : formatTable())
            if (info.save)
                found.push_back(&info);
        std::sort(found.begin(), found.end(),
                  [](const FormatInfo* a, const FormatInfo* b) { return a->save->typeNumber < b->save->typeNumber; });
        return found;
    }();
    return rows;
}

const FormatInfo* savableFormatByNumber(int typeNumber)
{
    for (const FormatInfo* info : savableFormats())
        if (info->save->typeNumber == typeNumber)
            return info;
    return nullptr;
}

const FormatInfo* savableFormatByKey(std::string_view key)
{
    const std::string wanted = upper(key);
    for (const FormatInfo* info : savableFormats())
        if (wanted == info->save->key)
            return info;
    return nullptr;
}

const FormatInfo* savableFormatForPath(std::string_view path)
{
    // The extension after the file name's last dot, any case, as the format
    // lists it (".tiff" as well as ".tif"); failing that, as saving always
    // did, the last three characters.
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (const size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        const std::string extension = upper(name.substr(dot + 1));
        for (const FormatInfo* info : savableFormats())
            if (std::find(info->extensions.begin(), info->extensions.end(), extension) != info->extensions.end())
                return info;
    }
    return savableFormatByKey(path.size() >= 3 ? path.substr(path.size() - 3) : std::string_view());
}

std::optional<ImageFormat> detectFormatFromBytes(std::span<const uint8_t> head)
{
    if (head.size() < kSignatureBytes)
        return std::nullopt;
    const SignatureHead first = head.first<kSignatureBytes>();
    for (const FormatInfo& info : formatTable())
        if (info.matches(first))
            return info.format;
    return std::nullopt;
}

Result<ImageFormat> detectFileFormat(const std::string& path)
{
    FileDescriptor file = openForReading(path);
    if (file.get() < 0)
        return fileFailure(errno, Reason::CantOpenFile);
    uint8_t head[kSignatureBytes];
    const ssize_t got = ::pread(file.get(), head, sizeof head, 0);
    if (got < 0)
        return fileFailure(errno, Reason::CantOpenFile);
    const std::optional<ImageFormat> format = detectFormatFromBytes(std::span<const uint8_t>(head, static_cast<size_t>(got)));
    if (!format)
        return Failure{Reason::NotAPicture, {}};
    return *format;
}

std::optional<ImageFormat> DetectFormat(const std::string& path)
{
    const Result<ImageFormat> format = detectFileFormat(path);
    return format ? std::optional<ImageFormat>(*format) : std::nullopt;
}

bool extensionMatchesFormat(const std::string& path, ImageFormat format)
{
    const FormatInfo& info = formatInfo(format);
    auto endsWith = [&](size_t count) -> std::string {
        if (path.size() < count)
            return {};
        return upper(std::string_view(path).substr(path.size() - count));
    };
    for (std::string_view extension : info.extensions)
        if (endsWith(extension.size()) == extension)
            return true;
    return false;
}

} // namespace pictorand
