#include "dispatch/save_as.h"

#include "core/current_image.h"
#include "core/messages.h"
#include "platform/paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace pictorand {

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The first entry's patterns: every picture, in the order users know, then
// those of formats added since, in the order of their entries.
std::string allPicturePatterns(const std::vector<const OpenFilter*>& entries)
{
    std::string all = kAllPicturesPatterns;
    auto has = [&](std::string_view pattern) {
        for (size_t start = 0; start <= all.size();) {
            size_t end = std::min(all.find(';', start), all.size());
            if (std::string_view(all).substr(start, end - start) == pattern)
                return true;
            start = end + 1;
        }
        return false;
    };
    for (const OpenFilter* filter : entries) {
        std::string_view patterns = filter->patterns;
        for (size_t start = 0; start <= patterns.size();) {
            size_t end = std::min(patterns.find(';', start), patterns.size());
            std::string_view pattern = patterns.substr(start, end - start);
            if (!pattern.empty() && !has(pattern))
                all += ";" + std::string(pattern);
            start = end + 1;
        }
    }
    return all;
}

} // namespace

const std::vector<FileTypeFilter>& openDialogTypes()
{
    static const std::vector<FileTypeFilter> types = [] {
        std::vector<const OpenFilter*> entries;
        for (const FormatInfo& info : formatTable())
            for (const OpenFilter& filter : info.openFilters)
                entries.push_back(&filter);
        std::sort(entries.begin(), entries.end(),
                  [](const OpenFilter* a, const OpenFilter* b) { return a->position < b->position; });
        std::vector<FileTypeFilter> list = {{"Pictorand - Files", allPicturePatterns(entries)}};
        for (const OpenFilter* filter : entries)
            list.push_back({filter->description, filter->patterns});
        list.push_back({"All files (*.*)", "*.*"});
        return list;
    }();
    return types;
}

const std::vector<FileTypeFilter>& saveDialogTypes()
{
    static const std::vector<FileTypeFilter> types = [] {
        std::vector<FileTypeFilter> list;
        for (const FormatInfo* info : savableFormats())
            list.push_back({info->save->description, info->save->patterns});
        return list;
    }();
    return types;
}

std::string proposedSaveAsName(const std::string& currentPath)
{
    if (currentPath == kClipboardPath)
        return "Clipboard";
    if (currentPath == kScanImagePath)
        return "ScanImage";
    return baseNameWithoutExtension(currentPath);
}

bool CheckSaveExtension(std::string& path, int type)
{
    const FormatInfo* row = savableFormatByNumber(type);
    const SaveInfo& info = *(row ? row : savableFormatByNumber(1))->save;
    // Only the file name counts: a dot in a directory name (a common thing
    // here) says nothing about the extension.
    const std::string name = fileNameOf(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        path += info.extension;
        return true;
    }
    // The first three characters count ("x.jpeg" is not a JPG name), or all
    // of a longer key ("x.webp").
    return upper(name.substr(dot + 1, std::max<size_t>(3, std::strlen(info.key)))) == info.key;
}

std::string replaceFileQuestion(const std::string& path) { return std::string(kReplaceFile) + ": " + path + " ?\n"; }

std::string savedDirectory(const SettingsFile& settings) { return settings.readText(settings::SaveDir); }

int savedType(const SettingsFile& settings)
{
    const int index = settings.readInt(settings::SaveIndex);
    return savableFormatByNumber(index) ? index : 1;
}

void rememberSaveChoice(SettingsFile& settings, const std::string& chosenPath, int type)
{
    settings.writeText(settings::SaveDir, directoryOf(chosenPath));
    settings.writeInt(settings::SaveIndex, type);
}

std::string extractedFileName(const std::string& directory, const std::string& sourcePath, int index)
{
    std::string folder = directory;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    char number[16];
    std::snprintf(number, sizeof number, "%.3d", index);
    return folder + baseNameWithoutExtension(sourcePath) + "_pictorand_extract_" + number + ".bmp";
}

} // namespace pictorand
