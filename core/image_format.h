#pragma once
// The table of file formats, one row each: the signature test over a file's
// first ten bytes, the extensions accepted without a warning, the rename
// extension, the word messages use, the Open dialog's entries, how several
// pictures in one file are shown and how the format is saved. Everything
// that lists formats (dialogs, batch types, the converter, the dispatchers,
// the desktop's lists) reads it from here. The rows are not written here:
// each codec folder describes its own formats (core/codec_registry.h,
// FormatDescriptor), and the table is what the built codecs registered.
// Adding a format adds a codec folder and nothing else.

#include "core/result.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pictorand {

// A format's number, which travels between processes as one byte. The
// formats named here keep the numbers they always had; a format added since
// takes a free number in its own folder (`ImageFormat{20}`), and the table's
// check (formatTableProblems) refuses two formats with one number.
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
    Webp = 16,
    Heic = 17,
    Avif = 18,
    JpegXl = 19,
};
inline constexpr int kFormatNumberLimit = 256;

// Bytes the signature test looks at; shorter files are unsupported.
inline constexpr size_t kSignatureBytes = 10;
using SignatureHead = std::span<const uint8_t, kSignatureBytes>;

// True when the head holds `text` at `offset` (which the caller keeps
// within the ten bytes).
inline bool signatureHas(SignatureHead head, size_t offset, std::string_view text)
{
    return offset + text.size() <= head.size()
        && std::equal(text.begin(), text.end(), head.begin() + static_cast<std::ptrdiff_t>(offset),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// How the display treats a file that may hold more than one picture.
enum class MultiImage {
    Single,    // one picture
    Animation, // GIF: several images play as an animation
    Pages,     // TIFF: pages, the first shown, the others on request
    Overview,  // Photo CD: an overview pack shows a sheet of thumbnails
    Choice,    // icons: the user picks one image of several
    Media,     // sound and video: played, never read into a block
    Metafile,  // drawn by the viewer, never read into a block
};

// Block depths as a set, 1 to 32 bits per pixel.
struct DepthSet {
    uint64_t mask = 0;
    constexpr DepthSet(std::initializer_list<int> depths)
    {
        for (int depth : depths)
            mask |= uint64_t(1) << depth;
    }
    constexpr bool has(int depth) const { return depth >= 0 && depth < 64 && ((mask >> depth) & 1) != 0; }
};

// How a block whose depth the writer does not take is brought to one it does.
enum class DepthPreparation {
    None,
    PaletteTo256,          // 1 bit to 256 greys, 4 bits to 256 colours (JPEG)
    TrueColourForJpegTiff, // below 24 bits to 24 when the compression setting is JPEG, whatever the writer takes
    QuantiseTo256,         // true colour to 256 colours, the transparent index clamped (GIF)
};

// An entry of the Open dialog's type list.
struct OpenFilter {
    int position;            // place in the Open dialog's list, from 1
    const char* description; // "(*.GIF) Compuserve GIF"
    const char* patterns;    // "*.gif", several separated by ';'
};

// What saving a format involves, for the formats that can be written.
struct SaveInfo {
    int typeNumber;          // 1, 2, ...: the place in the Save-as list, as stored in "SaveIndex"
    const char* key;         // "JPG": the upper-cased extension a path must carry (its first
                             // three characters, or all of a longer key)
    const char* extension;   // ".jpg": appended to a name without one
    const char* description; // Save-as list entry
    const char* patterns;
    const char* batchEntry;     // the batch dialog's type box entry
    const char* batchExtension; // "JPG": the extension of batch output, as written
    bool failureShowsWriterMessage; // "BMP Save error ! - <writer's words>"
    DepthSet writerDepths;          // the depths the writer takes
    DepthPreparation preparation;   // for the others
};

// A box of the Extensions page's older list, one per extension or pair the
// page has always offered: a format may have several (BMP, DIB and RLE). Its
// settings key and registry writes are what other tools that read them
// expect, so they stay as they are.
struct AssociationBox {
    int position;       // place on the page and in the order boxes are applied, from 1
    const char* text;   // the check box's text, "JPG/JPEG"
    int controlId;      // the dialog's control id
    const char* key;    // in the settings file's Extensions section, "JPG"
    // Empty: the format's.
    std::vector<const char*> mimeTypes = {};
    // The registry store's extension keys it takes, without the dot ("JPG"):
    // each names our program class, or the box's class when it has one.
    // Empty: the format's, unless the box has a class of its own.
    std::vector<std::string_view> extensions = {};
    // A class of the system's own ("AVIFile") whose verbs the box points at
    // the program instead of taking extensions: its open verb, its play verb
    // too when `playVerb`, and each file shown as its own icon when
    // `fileIsIcon`.
    const char* ownClass = nullptr;
    bool playVerb = false;
    bool fileIsIcon = false;
    // With "Use Thumbnail for BMPs" ticked, the extensions name this class,
    // which opens with the program and shows each file as its own icon.
    const char* thumbnailClass = nullptr;
};

struct FormatInfo {
    ImageFormat format;
    const char* name;                 // identifier as written in code, "Jpeg"
    // The signature test tries the formats in the order of this number,
    // lowest first: loose signatures (Targa's three bytes) must come after
    // the strict ones they could be mistaken for.
    int signatureOrder;
    bool (*matches)(SignatureHead head);
    std::vector<std::string_view> extensions; // accepted without a warning, upper case
    const char* renameExtension;      // ".jpg"; nullptr when a rename is never offered
    const char* word;                 // "JPEG", used in messages
    // Shown as the compression of formats whose reader does not describe
    // its own; empty for the others.
    const char* compressionText;
    std::vector<OpenFilter> openFilters;
    MultiImage multiImage;
    std::optional<SaveInfo> save;     // nothing: never written
    // The desktop's names for the format (shared-mime-info's), the canonical
    // one first; what the desktop entry and the thumbnailer declare.
    std::vector<const char*> mimeTypes;
    // Associated through the Extensions page's "Modern formats" group.
    bool inModernFormatsGroup = false;
    // The page's older boxes for the format's extensions, if any.
    std::vector<AssociationBox> associationBoxes = {};
    // The large library the reader needs ("heic"), which a decoder worker
    // loads only when it is started for it; nullptr when the reader needs
    // none.
    const char* readerLibrary = nullptr;
};

// The look-ups below are defined with the generated codec list (library
// pictorand_codecs, codecs/format_table.cpp), over the rows of
// CodecRegistry::instance().

// Rows in the order the signature test tries them.
const std::vector<FormatInfo>& formatTable();
const FormatInfo& formatInfo(ImageFormat format);
// The format with that number, if one is registered.
std::optional<ImageFormat> formatNumbered(int number);

// What is wrong with a table the codecs registered, one line each: numbers
// outside 0 to kFormatNumberLimit - 1, two rows with one number, name or
// signature order, two Open entries at one position, Save-as type numbers
// that are not 1, 2, ..., two savable rows with one key, or two association
// boxes (of any rows) at one position or with one key. Empty when the table
// is sound.
std::vector<std::string> formatTableProblems(std::span<const FormatInfo> rows);

// The rows that can be saved, in Save-as order (type numbers 1, 2, ...).
const std::vector<const FormatInfo*>& savableFormats();
// The savable row with the given type number, or the one whose key is the
// given text (any case); null when there is none.
const FormatInfo* savableFormatByNumber(int typeNumber);
const FormatInfo* savableFormatByKey(std::string_view key);
// The savable format a file name asks for by its extension.
const FormatInfo* savableFormatForPath(std::string_view path);

// The patterns of the Open dialog's first entry, which offers every picture
// at once. Kept as users know it: its order is not that of the entries. The
// patterns of formats not named here follow it by themselves.
inline constexpr const char* kAllPicturesPatterns =
    "*.jpg;*.jpeg;*.gif;*.bmp;*.tif;*.tiff;*.png;*.pcx;*.tga;*.pcd;*.ras;*.sun;*.rle;*.dib;*.ico;*.avi;*.wav;"
    "*.rmi;*.mid;*.wmf;*.emf;*.pbm;*.pgm;*.ppm;*.iff;*.lbm";

// The signature test over the first ten bytes of a file.
std::optional<ImageFormat> detectFormatFromBytes(std::span<const uint8_t> head);
// Opens the file and tests its first ten bytes. Nothing when the file cannot
// be opened, is shorter than ten bytes or matches no row.
std::optional<ImageFormat> DetectFormat(const std::string& path);
// The same with why there is none: what the system said of the file (no
// such file, a folder, ...), or bytes of no format this program reads.
Result<ImageFormat> detectFileFormat(const std::string& path);

// True when the path ends in one of the extensions the format accepts,
// compared upper-cased (so "x.jpeg" is a JPEG name, and "x.ajpg" too).
bool extensionMatchesFormat(const std::string& path, ImageFormat format);

} // namespace pictorand
