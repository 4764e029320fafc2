#include "core/image_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace pictorand {

namespace {

using Head = std::span<const uint8_t, kSignatureBytes>;

bool bytesAre(Head head, size_t offset, const char* text)
{
    return std::memcmp(head.data() + offset, text, std::strlen(text)) == 0;
}

bool isJpeg(Head h) { return bytesAre(h, 6, "JFIF") || bytesAre(h, 6, "Exif") || (h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF); }
bool isGif(Head h) { return bytesAre(h, 0, "GIF8"); }
bool isBmp(Head h) { return bytesAre(h, 0, "BM"); }
bool isTiff(Head h) { return bytesAre(h, 0, "II") || bytesAre(h, 0, "MM"); }
bool isPng(Head h) { return bytesAre(h, 1, "PNG"); }
bool isSunRaster(Head h) { return h[0] == 0x59 && h[1] == 0xA6 && h[2] == 0x6A && h[3] == 0x95; }
bool isPcx(Head h) { return h[0] == 0x0A && (h[1] == 0 || h[1] == 2 || h[1] == 3 || h[1] == 5); }
bool isIcon(Head h) { return h[0] == 0 && h[1] == 0 && h[2] == 1 && h[3] == 0; }
bool isMetafile(Head h)
{
    static constexpr uint8_t enhanced[] = {0x01, 0x00, 0x00, 0x00};
    static constexpr uint8_t placeable[] = {0xD7, 0xCD, 0xC6, 0x9A};
    static constexpr uint8_t windows[] = {0x01, 0x00, 0x09, 0x00};
    return std::memcmp(h.data(), enhanced, 4) == 0 || std::memcmp(h.data(), placeable, 4) == 0
        || std::memcmp(h.data(), windows, 4) == 0;
}
bool isTarga(Head h) { return (h[1] == 0 || h[1] == 1) && (h[2] == 1 || h[2] == 2 || h[2] == 3 || h[2] == 9 || h[2] == 10 || h[2] == 11); }
bool isPhotoCd(Head h)
{
    return bytesAre(h, 0, "PCD_OPA") || std::all_of(h.begin(), h.begin() + 7, [](uint8_t b) { return b == 0xFF; });
}
bool isMedia(Head h)
{
    return (bytesAre(h, 0, "RIFF") && (bytesAre(h, 8, "AV") || bytesAre(h, 8, "WA") || bytesAre(h, 8, "RM")))
        || bytesAre(h, 0, "MThd");
}
bool isPpm(Head h) { return bytesAre(h, 0, "P6"); }
bool isPgm(Head h) { return bytesAre(h, 0, "P5"); }
bool isPbm(Head h) { return bytesAre(h, 0, "P4"); }
bool isIff(Head h) { return bytesAre(h, 0, "FORM"); }

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

} // namespace

const std::vector<FormatInfo>& formatTable()
{
    static const std::vector<FormatInfo> table = {
        {ImageFormat::Jpeg, "Jpeg", isJpeg, {"JPG", "JPEG"}, ".jpg", "JPEG"},
        {ImageFormat::Gif, "Gif", isGif, {"GIF"}, ".gif", "GIF"},
        {ImageFormat::Bmp, "Bmp", isBmp, {"BMP", "DIB", "RLE"}, ".bmp", "BMP"},
        {ImageFormat::Tiff, "Tiff", isTiff, {"TIF", "TIFF"}, ".tif", "TIF"},
        {ImageFormat::Png, "Png", isPng, {"PNG"}, ".png", "PNG"},
        {ImageFormat::SunRaster, "SunRaster", isSunRaster, {"RAS", "SUN"}, ".ras", "RAS"},
        {ImageFormat::Pcx, "Pcx", isPcx, {"PCX"}, ".pcx", "PCX"},
        {ImageFormat::Icon, "Icon", isIcon, {"ICO"}, ".ico", "ICO"},
        {ImageFormat::Metafile, "Metafile", isMetafile, {"WMF", "EMF"}, ".wmf", "WMF/EMF"},
        {ImageFormat::Targa, "Targa", isTarga, {"TGA"}, ".tga", "TGA"},
        {ImageFormat::PhotoCd, "PhotoCd", isPhotoCd, {"PCD"}, ".pcd", "PCD"},
        {ImageFormat::Media, "Media", isMedia, {"AVI", "RMI", "WAV", "MID"}, nullptr, "MEDIA"},
        {ImageFormat::Ppm, "Ppm", isPpm, {"PPM"}, ".ppm", "PPM"},
        {ImageFormat::Pgm, "Pgm", isPgm, {"PGM"}, ".pgm", "PGM"},
        {ImageFormat::Pbm, "Pbm", isPbm, {"PBM"}, ".pbm", "PBM"},
        {ImageFormat::Iff, "Iff", isIff, {"IFF", "LBM"}, ".iff", "IFF"},
    };
    return table;
}

const FormatInfo& formatInfo(ImageFormat format)
{
    for (const FormatInfo& info : formatTable())
        if (info.format == format)
            return info;
    return formatTable().front(); // unreachable for a valid enumerator
}

std::optional<ImageFormat> detectFormatFromBytes(std::span<const uint8_t> head)
{
    if (head.size() < kSignatureBytes)
        return std::nullopt;
    Head first = head.first<kSignatureBytes>();
    for (const FormatInfo& info : formatTable())
        if (info.matches(first))
            return info.format;
    return std::nullopt;
}

std::optional<ImageFormat> DetectFormat(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    uint8_t head[kSignatureBytes];
    size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return detectFormatFromBytes(std::span<const uint8_t>(head, got));
}

bool extensionMatchesFormat(const std::string& path, ImageFormat format)
{
    const FormatInfo& info = formatInfo(format);
    auto endsWith = [&](size_t count) -> std::string {
        if (path.size() < count)
            return {};
        return upper(std::string_view(path).substr(path.size() - count));
    };
    std::string last3 = endsWith(3);
    std::string last4 = endsWith(4);
    bool allowFour = format == ImageFormat::Jpeg || format == ImageFormat::Tiff;
    for (std::string_view extension : info.extensions) {
        if (extension.size() == 3 && last3 == extension)
            return true;
        if (allowFour && extension.size() == 4 && last4 == extension)
            return true;
    }
    return false;
}

} // namespace pictorand
