#include "core/image_format.h"
#include "core/byte_order.h"
#include "platform/file_access.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace pictorand {

namespace {

using Head = std::span<const uint8_t, kSignatureBytes>;

bool bytesAre(Head head, size_t offset, const char* text)
{
    return std::memcmp(head.data() + offset, text, std::strlen(text)) == 0;
}

bool isJpeg(Head h) { return bytesAre(h, 6, "JFIF") || bytesAre(h, 6, "Exif") || (h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF); }
bool isGif(Head h) { return bytesAre(h, 0, "GIF8"); }
// A packed bitmap (a .dib as clipboard dumps hold one) has no file header and
// starts with its info header's size: one of the sizes writers use, followed
// by a width that is not 0.
bool isPackedBitmap(Head h)
{
    const uint32_t infoSize = loadLE32(h.data());
    const bool known = infoSize == 12 || infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 64
                       || infoSize == 108 || infoSize == 124;
    return known && (infoSize == 12 ? loadLE16(h.data() + 4) : loadLE32(h.data() + 4)) != 0;
}
bool isBmp(Head h) { return bytesAre(h, 0, "BM") || isPackedBitmap(h); }
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
// Only the first two letters of "WEBP" are within the ten bytes.
bool isWebp(Head h) { return bytesAre(h, 0, "RIFF") && bytesAre(h, 8, "WE"); }
// HEIF files open with an ftyp box whose major brand names the codec; ten
// bytes show its first two letters. A file with the generic brand "mif1" or
// "msf1" may hold HEVC or AV1: it is taken as HEIC, and the reader, which
// reads both, names what it found.
bool isIsoMedia(Head h, const char* brandStart) { return bytesAre(h, 4, "ftyp") && bytesAre(h, 8, brandStart); }
bool isHeic(Head h) { return isIsoMedia(h, "he") || isIsoMedia(h, "mi") || isIsoMedia(h, "ms"); }
bool isAvif(Head h) { return isIsoMedia(h, "av"); }
// A bare codestream, or the container's signature box.
bool isJpegXl(Head h)
{
    static constexpr uint8_t container[] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A};
    return (h[0] == 0xFF && h[1] == 0x0A) || std::memcmp(h.data(), container, sizeof container) == 0;
}

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
    using M = MultiImage;
    using D = DepthPreparation;
    static const std::vector<FormatInfo> table = {
        {ImageFormat::Jpeg, "Jpeg", isJpeg, {"JPG", "JPEG"}, ".jpg", "JPEG", "JPEG/JFIF",
         {{1, "(*.JPG) JPEG - Files", "*.jpg;*.jpeg"}}, M::Single,
         SaveInfo{1, "JPG", ".jpg", "(*.JPG) JPEG - Files", "*.jpg;*.jpeg", "JPEG Files", "JPG", false, {8, 24},
                  D::PaletteTo256},
         {"image/jpeg"}},
        {ImageFormat::Gif, "Gif", isGif, {"GIF"}, ".gif", "GIF", "GIF - LZW",
         {{2, "(*.GIF) Compuserve GIF", "*.gif"}}, M::Animation,
         SaveInfo{2, "GIF", ".gif", "(*.GIF) Compuserve GIF", "*.gif", "GIF - Compuserve GIF", "GIF", false,
                  {1, 4, 8}, D::QuantiseTo256},
         {"image/gif"}},
        {ImageFormat::Bmp, "Bmp", isBmp, {"BMP", "DIB", "RLE"}, ".bmp", "BMP", "",
         {{3, "(*.BMP) Windows or OS/2 Bitmap", "*.bmp"},
          {10, "(*.RLE) Windows RLE", "*.rle"},
          {11, "(*.DIB) Windows or OS/2 DIB", "*.dib"}},
         M::Single,
         SaveInfo{3, "BMP", ".bmp", "(*.BMP) Windows Bitmap", "*.bmp", "BMP - Windows Bitmap", "BMP", true,
                  {1, 4, 8, 24}, D::None},
         {"image/bmp", "image/x-bmp", "image/x-ms-bmp"}},
        {ImageFormat::Tiff, "Tiff", isTiff, {"TIF", "TIFF"}, ".tif", "TIF", "",
         {{4, "(*.TIF) Tagged Image File Format", "*.tif;*.tiff"}}, M::Pages,
         SaveInfo{5, "TIF", ".tif", "(*.TIF) Tagged Image File Format", "*.tif", "TIF - Tagged Image File Format",
                  "TIF", true, {1, 4, 8, 24}, D::TrueColourForJpegTiff},
         {"image/tiff"}},
        {ImageFormat::Png, "Png", isPng, {"PNG"}, ".png", "PNG", "PNG - ZIP",
         {{5, "(*.PNG) Portable Network Graphics", "*.png"}}, M::Single,
         SaveInfo{4, "PNG", ".png", "(*.PNG) Portable Network Graphics", "*.png", "PNG - Portable Network Graphics",
                  "PNG", false, {1, 4, 8, 24, 32}, D::None},
         {"image/png"}},
        // The signatures of these four are strict, so they go before the
        // loose ones below (an ftyp box of 256 bytes starts like an icon).
        {ImageFormat::Webp, "Webp", isWebp, {"WEBP"}, ".webp", "WEBP", "WebP",
         {{20, "(*.WEBP) WebP", "*.webp"}}, M::Single,
         SaveInfo{8, "WEBP", ".webp", "(*.WEBP) WebP", "*.webp", "WEBP - WebP", "WEBP", true, {1, 4, 8, 24},
                  D::None},
         {"image/webp"}},
        {ImageFormat::Heic, "Heic", isHeic, {"HEIC", "HEIF", "HIF"}, ".heic", "HEIC", "HEIC - HEVC",
         {{21, "(*.HEIC) High Efficiency Image", "*.heic;*.heif;*.hif"}}, M::Single, std::nullopt,
         {"image/heic", "image/heif"}},
        {ImageFormat::Avif, "Avif", isAvif, {"AVIF"}, ".avif", "AVIF", "AVIF - AV1",
         {{22, "(*.AVIF) AV1 Image", "*.avif"}}, M::Single, std::nullopt,
         {"image/avif"}},
        {ImageFormat::JpegXl, "JpegXl", isJpegXl, {"JXL"}, ".jxl", "JPEG XL", "JPEG XL",
         {{23, "(*.JXL) JPEG XL", "*.jxl"}}, M::Single, std::nullopt,
         {"image/jxl"}},
        // The desktop's database names every *.ras file a CMU raster by its
        // extension, so file managers ask for that type for Sun's files.
        {ImageFormat::SunRaster, "SunRaster", isSunRaster, {"RAS", "SUN"}, ".ras", "RAS", "",
         {{9, "(*.RAS) Sun Raster Files", "*.ras;*.sun"}}, M::Single, std::nullopt,
         {"image/x-sun-raster", "image/x-cmu-raster"}},
        {ImageFormat::Pcx, "Pcx", isPcx, {"PCX"}, ".pcx", "PCX", "",
         {{6, "(*.PCX) Zsoft Paintbrush", "*.pcx"}}, M::Single,
         SaveInfo{6, "PCX", ".pcx", "(*.PCX) Zsoft Paintbrush", "*.pcx", "PCX - Zsoft Paintbrush", "PCX", false,
                  {1, 4, 8, 24}, D::None},
         {"image/vnd.zbrush.pcx", "image/x-pcx"}},
        {ImageFormat::Icon, "Icon", isIcon, {"ICO"}, ".ico", "ICO", "Windows ICON - None",
         {{12, "(*.ICO) Windows Icons", "*.ico"}}, M::Choice,
         SaveInfo{7, "ICO", ".ico", "(*.ICO) Windows Icon", "*.ico", "ICO - Windows Icon", "ICO", false,
                  {1, 4, 8, 24}, D::None},
         {"image/vnd.microsoft.icon", "image/x-icon"}},
        {ImageFormat::Metafile, "Metafile", isMetafile, {"WMF", "EMF"}, ".wmf", "WMF/EMF", "",
         {{15, "(*.WMF,*.EMF) Windows Metafiles", "*.wmf;*.emf"}}, M::Metafile, std::nullopt,
         {"image/wmf", "image/x-wmf", "image/emf", "image/x-emf"}},
        {ImageFormat::Targa, "Targa", isTarga, {"TGA"}, ".tga", "TGA", "",
         {{7, "(*.TGA) Truevision Targa", "*.tga"}}, M::Single, std::nullopt,
         {"image/x-tga"}},
        {ImageFormat::PhotoCd, "PhotoCd", isPhotoCd, {"PCD"}, ".pcd", "PCD", "Photo CD - None",
         {{8, "(*.PCD) Kodak Photo CD", "*.pcd"}}, M::Overview, std::nullopt,
         {"image/x-photo-cd"}},
        {ImageFormat::Media, "Media", isMedia, {"AVI", "RMI", "WAV", "MID"}, nullptr, "MEDIA", "",
         {{13, "(*.AVI) Video for Windows", "*.avi"}, {14, "(*.WAV,*.MID,*.RMI) Sound Files", "*.wav;*.mid;*.rmi"}},
         M::Media, std::nullopt,
         {"video/x-msvideo", "video/vnd.avi", "audio/x-wav", "audio/vnd.wave", "audio/midi", "audio/x-midi"}},
        {ImageFormat::Ppm, "Ppm", isPpm, {"PPM"}, ".ppm", "PPM", "Portable Pixelmap - None",
         {{16, "(*.PPM) Portable Pixelmap", "*.ppm"}}, M::Single, std::nullopt,
         {"image/x-portable-pixmap"}},
        {ImageFormat::Pgm, "Pgm", isPgm, {"PGM"}, ".pgm", "PGM", "Portable Greymap - None",
         {{17, "(*.PGM) Portable Greymap", "*.pgm"}}, M::Single, std::nullopt,
         {"image/x-portable-graymap"}},
        {ImageFormat::Pbm, "Pbm", isPbm, {"PBM"}, ".pbm", "PBM", "Portable Bitmap - None",
         {{18, "(*.PBM) Portable Bitmap", "*.pbm"}}, M::Single, std::nullopt,
         {"image/x-portable-bitmap"}},
        {ImageFormat::Iff, "Iff", isIff, {"IFF", "LBM"}, ".iff", "IFF", "",
         {{19, "(*.IFF,*.LBM) Amiga Interchange File Format", "*.iff;*.lbm"}}, M::Single, std::nullopt,
         {"image/x-ilbm", "image/x-iff"}},
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
    Head first = head.first<kSignatureBytes>();
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
