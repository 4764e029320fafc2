#pragma once
// Windows metafiles (16-bit, with or without the placeable header) and
// enhanced metafiles. They are not read into image blocks: the reader
// recognises the file and its size, and the player walks its records into a
// Drawing that the viewer paints at any size.

#include "codecs/metafile/drawing.h"
#include "core/fault_texts.h"
#include "core/result.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pictorand::metafile {

// The metafile codec's words for what it could not do (core/fault_texts.h).
enum class MetafileFault { NotValid, SetMetaFileBitsFailed, GetMetaFileFailed };

inline constexpr auto kMetafileTexts = faultTexts<MetafileFault>({
    {MetafileFault::NotValid, "Not a valid Metafile"},
    {MetafileFault::SetMetaFileBitsFailed, "SetMetaFileBits failed"},
    {MetafileFault::GetMetaFileFailed, "GetMetaFile failed.\nCopy this file to another location (directory without long names)\nand try again."},
});
static_assert(kMetafileTexts.sound());

inline constexpr const char* kWindowsMetafileText = "Windows Metafile";
inline constexpr const char* kEnhancedMetafileText = "Enhanced Windows Metafile";

// The device a picture's natural size is measured on: so many pixels
// across so many hundredths of a millimetre, each way. The screen counts as
// 96 pixels per inch.
struct ReferenceDevice {
    int64_t pixelsX = 96;
    int64_t hundredthsX = 2540;
    int64_t pixelsY = 96;
    int64_t hundredthsY = 2540;
};

// What the headers say, checked.
struct Header {
    Kind kind = Kind::Plain;
    // The frame in hundredths of a millimetre (enhanced), or the extents
    // computed from the placeable header; for plain files from their window
    // records (see readHeader).
    int32_t frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;
    // Enhanced: the recording device, pixels and millimetres.
    int32_t devicePixelsX = 0, devicePixelsY = 0, deviceMillimetresX = 0, deviceMillimetresY = 0;
    int32_t boundsLeft = 0, boundsTop = 0, boundsRight = 0, boundsBottom = 0; // device pixels
    uint32_t handleCount = 0;
    // 16-bit files: the records and the logical window they start with.
    size_t recordsOffset = 0;
    size_t recordsEnd = 0;
    uint16_t objectCount = 0;
    int32_t windowLeft = 0, windowTop = 0, windowWidth = 0, windowHeight = 0;
};

// Recognises the kind in the order enhanced (" EMF" at byte 40), placeable
// (key 0x9AC6CDD7 at byte 0), plain; checks the header and gives the frame.
// A placeable header's bounding box becomes hundredths of a millimetre by
// MulDiv(extent, 2540, units per inch); 0 units per inch is refused. A plain
// 16-bit file has no size of its own: its first SetWindowOrg and
// SetWindowExt records give the window, taken at 1440 units per inch (what
// most writers of such files use); without them 640 x 480 pixels. Failures
// carry the message the viewer shows.
Result<Header> readHeader(std::span<const uint8_t> file);

// MulDiv as the platform rounds it: extent * pixels / hundredths, to the
// nearest, halves away from zero; 0 when the divisor is 0.
int32_t scaleExtent(int64_t extent, int64_t pixels, int64_t hundredths);

// An enhanced file's recording device, as its header names it (pixels and
// millimetres), when that is a device at all: 50 to 1200 pixels per inch
// each way. Otherwise, and for 16-bit files, the 96-dpi screen.
ReferenceDevice referenceDevice(const Header& header);

// The natural size: the frame in pixels of the reference device.
int pictureWidth(const Header& header);
int pictureHeight(const Header& header);

// The palette of an enhanced file (its end record's entries); empty when it
// has none or the entries do not fit in the file.
std::vector<Colour> picturePalette(std::span<const uint8_t> file, const Header& header);

// The compression text the image information shows.
const char* compressionText(Kind kind);
// What the kind is called in a description: "enhanced metafile",
// "placeable Windows metafile", "Windows metafile".
const char* kindText(Kind kind);

// Bounds on what one file may make the player do: a file of millions of
// tiny records finishes in bounded time, its extra records skipped.
struct Limits {
    int maxRecords = 2'000'000;
    int maxCommands = 400'000;
    size_t maxPoints = 8'000'000; // in all paths together
    int maxSaveDepth = 64;
};

// Walks the records into drawing commands. Unknown and malformed records are
// skipped; a record that runs past the file ends the walk with what was
// drawn so far. Never throws.
Result<Drawing> playMetafile(std::span<const uint8_t> file, Limits limits = {});

// Reads the whole file and plays it; the message is the viewer's on failure.
Result<Drawing> readMetafile(const std::string& path, std::string& compression);

} // namespace pictorand::metafile
