#pragma once
// The one EXIF field the viewer uses: the orientation cameras and phones
// record instead of turning the pixels. EXIF data is a small TIFF file
// (header, then image file directories) carried in a JPEG APP1 segment.

#include <cstdint>
#include <span>

namespace pictorand {

// The Orientation (tag 274) of IFD0 of an EXIF block whose first bytes are
// the TIFF header ("II" or "MM"), 1 to 8; 1 (upright) when the block is
// damaged, has no such entry or holds another value.
int exifOrientation(std::span<const uint8_t> tiffData);

// The same for a JPEG APP1 segment's contents ("Exif\0\0" and the TIFF
// data); 1 for other APP1 segments (XMP).
int exifOrientationOfApp1(std::span<const uint8_t> segment);

// Rewrites an Orientation entry of IFD0 to 1 (upright) in place, in either
// byte order; false when there is none. For a picture whose pixels have
// been turned upright while its other metadata is kept.
bool setExifOrientationUpright(std::span<uint8_t> tiffData);
bool setExifOrientationUprightInApp1(std::span<uint8_t> segment);

} // namespace pictorand
