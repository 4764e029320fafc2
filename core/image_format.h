#pragma once
// The table of file formats: identifiers, the signature test over a file's
// first ten bytes, the extensions each format accepts without a warning, the
// extension a rename gives and the word messages use. Adding a format adds a
// row here and a codec folder that registers its reader and writer.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pictorand {

enum class ImageFormat : int {
    Jpeg = 0,
    Gif = 1,
    Bmp = 2,
    Png = 3,
    Pcx = 4,
    SunRaster = 5,
    Tiff = 6,
    PhotoCd = 7,
    Targa = 8,
    Icon = 9,
    Media = 10,
    Metafile = 11,
    Ppm = 12,
    Pgm = 13,
    Pbm = 14,
    Iff = 15,
};
inline constexpr int kFormatCount = 16;

// Bytes the signature test looks at; shorter files are unsupported.
inline constexpr size_t kSignatureBytes = 10;

struct FormatInfo {
    ImageFormat format;
    const char* name;                 // identifier as written in code, "Jpeg"
    bool (*matches)(std::span<const uint8_t, kSignatureBytes> head);
    std::vector<std::string_view> extensions; // accepted without a warning, upper case
    const char* renameExtension;      // ".jpg"; nullptr when a rename is never offered
    const char* word;                 // "JPEG", used in messages
};

// Rows in the order the signature test tries them.
const std::vector<FormatInfo>& formatTable();
const FormatInfo& formatInfo(ImageFormat format);

// The signature test over the first ten bytes of a file.
std::optional<ImageFormat> detectFormatFromBytes(std::span<const uint8_t> head);
// Opens the file and tests its first ten bytes. Nothing when the file cannot
// be opened, is shorter than ten bytes or matches no row.
std::optional<ImageFormat> DetectFormat(const std::string& path);

// True when the path's extension is one the format accepts: the last three
// characters, for Jpeg and Tiff also the last four, compared upper-cased.
bool extensionMatchesFormat(const std::string& path, ImageFormat format);

} // namespace pictorand
