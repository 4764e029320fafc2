#pragma once
// The steps load() is made of, for the few callers that take a picture from
// elsewhere (a scan, the animation's frames) through the same corrections,
// and the words the load's callers frame its outcomes with.

#include "core/codec_registry.h"
#include "core/image_block.h"
#include "core/image_format.h"
#include "core/result.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// Message texts of the loads.
inline constexpr const char* kCantReadHeader = "Can't read file header !\n\nUnsupported file type !";
inline constexpr const char* kDecodeError = "Decode error !";
inline constexpr const char* kCantQuantize256 = "Can't quantize to 256 colors !";
inline constexpr const char* kMediaIncorrectExtension = "This file has a incorrect extension !";
inline constexpr const char* kMediaNotAvailable = "Sound and video files can't be played in this version";
inline constexpr const char* kPhotoCdOverviewNotice =
    "This file contains 100 pictures.\nYou see now the first 25 Pictures.\n\nPress N for next 25 pictures !";
// The reader's words when the codec for a format is not part of this build.
inline constexpr const char* kReaderNotAvailable = "No reader for this file type in this build";
// Appended to a report of a picture read only in part.
inline constexpr const char* kFileTruncated = "file is truncated";
// Shown by the viewer after the reader's words about such a picture.
inline constexpr const char* kTruncatedNotice = "The file is truncated: only part of the picture could be read.";

// What a load does with what a reader found out about a picture besides its
// pixels. Quarter turns (Photo CD) are always made.
struct PictureCorrections {
    bool orientation = true;   // "AutoRotate": apply the EXIF/TIFF orientation
    bool colourProfile = true; // "ColorManagement": convert an ICC profile to sRGB
    // With colourProfile: the display's profile, which pictures are
    // converted to instead of sRGB, untagged ones taken as sRGB; empty for
    // none (untagged pictures are then left as they are). The caller checks
    // it first (isDestinationProfile).
    std::span<const uint8_t> displayProfile;
};

// What applyReaderFindings did.
struct AppliedCorrections {
    int orientation = 1;  // the orientation turned upright, 1 for none
    bool profile = false; // the colours were converted from the embedded profile
};

// The registered reader's result, or a failure in kReaderNotAvailable's words
// when the format's codec is not part of this build.
Result<DecodedImage> callReader(const CodecRegistry& registry, ImageFormat format, const ReadRequest& request);
Result<DecodedImage> callOverviewReader(const CodecRegistry& registry, const std::string& path, int firstPicture);

// Turns a block upright by the quarter turns a reader reported.
Status turnUpright(ImageBlock& block, int quarterTurnsClockwise);

// Turns `block` (the picture `findings` came with) upright and converts it
// to sRGB as the reader's findings and `corrections` say. Depths the
// operations do not take (the transient ones) are left as they are. Fails
// only when memory runs out, with the block as it was.
Status applyReaderFindings(ImageBlock& block, const DecodedImage& findings, const PictureCorrections& corrections,
                           AppliedCorrections* applied = nullptr);

// Depths some readers return that neither the display nor the writers
// take; every load turns them into 24 bits.
bool isTransientDepth(int bits);

// What every picture goes through before the viewer shows it: a depth the
// display draws (1, 4, 8 or 24 bits), upright and in sRGB as
// applyReaderFindings makes it, and 256 colours on a palette display. Fails
// with Reason::Unsupported for a depth no conversion reaches, else with the
// words the viewer shows after the path.
Result<ImageBlock> prepareForDisplay(DecodedImage decoded, const PictureCorrections& corrections, bool paletteDisplay,
                                     AppliedCorrections* applied = nullptr);

// The question asked when a file's extension does not match its signature:
// "Warning !\nThe file: '<path>' is a JPEG File with incorrect extension !\nRename ?"
std::string renameQuestion(const std::string& path, ImageFormat format);

// Renames the file so that its extension is the format's rename extension
// ("photo.gif" holding a JPEG becomes "photo.jpg") and rewrites `path`. An
// existing file of the new name is never replaced; false (and `path` as it
// was) when the file could not be renamed.
bool renameToFormatExtension(std::string& path, ImageFormat format);

} // namespace pictorand
