#pragma once
// TIFF through libtiff: a page counter that follows the directory chain with
// plain file reads, a reader for one page (directory) and a writer with seven
// compression settings.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"

#include <cstdint>
#include <string>

namespace pictorand {

// The TIFF codec's words for what it could not do (core/fault_texts.h).
enum class TiffFault { NotValid, CantRead, BadBitsPerSample, CantSave, JpegNeedsTrueColour, FaxNeedsOneBit };

inline constexpr auto kTiffTexts = faultTexts<TiffFault>({
    {TiffFault::NotValid, "This is not a valid TIFF File."},
    {TiffFault::CantRead, "Can't read from file"},
    {TiffFault::BadBitsPerSample, "Invalid 'BitsPerSample'"},
    {TiffFault::CantSave, "Can't save !"},
    {TiffFault::JpegNeedsTrueColour, "Only 24-BPP images can you save as TIFF-JPEG."},
    {TiffFault::FaxNeedsOneBit, "Incorrect Compression !\nThis in not a 1-BPP Image."},
});
static_assert(kTiffTexts.sound());

// The page table holds at most this many directory offsets.
inline constexpr int kTiffPageCapacity = 1000;

// Follows the chain of image directories, storing up to `capacity` offsets
// (the first directory's, then each next-directory offset). Returns the page
// count; a chain that reaches the capacity (a cycle, say) counts as one page.
// -1 when the file cannot be opened.
int countTiffPages(const std::string& path, uint32_t* offsets, int capacity);

// Reads the page whose directory is at `directoryOffset` (0: the file's first
// directory), with the text for the file's compression. keepAlpha: a page
// with an alpha sample also gives its opacity (DecodedImage::alpha). With
// `sixteenBitSamples`, a page of 16-bit grey or RGB samples, in strips,
// tiles or separate planes, comes as a 48-bit block of them (grey in all
// three, colour over white; DecodedImage::sixteenBitSamples), unless its
// opacity is to be kept too.
Result<DecodedImage> readTiffPage(const std::string& path, uint32_t directoryOffset = 0, bool keepAlpha = false,
                                  bool sixteenBitSamples = false);

// The directory of the file's smallest reduced-resolution picture (a
// pyramid level or a preview) whose longer side still reaches `side` and
// is shorter than the first page's; 0 when there is none.
uint32_t reducedTiffDirectory(const std::string& path, int side);

// The text shown for a compression tag value ("LZW", "None", ...).
const char* tiffCompressionText(uint32_t compressionTag);

// The "Save Compression" settings, 0 to 6.
enum class TiffSaveCompression : int {
    None = 0,
    Lzw = 1,
    PackBits = 2,
    Fax3 = 3,
    Fax4 = 4,
    HuffmanRle = 5,
    Jpeg = 6,
};

// Writes the block with the given setting (0 to 6) and JPEG quality (used by
// setting 6); a failure carries the writer's or libtiff's words.
Status writeTiff(const std::string& path, const ImageBlock& block, int compressionSetting, int jpegQuality);

// At most this many threads for the load or save of one page (0: the
// default, two where there are two cores). Files and pictures come out the
// same whatever the count; this is for comparing counts.
void setTiffThreadLimit(unsigned limit);

} // namespace pictorand
