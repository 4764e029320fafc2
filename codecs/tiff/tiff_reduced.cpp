#include "codecs/tiff/tiff.h"
#include "codecs/tiff/tiff_glue.h"

#include <algorithm>
#include <vector>

namespace pictorand {

namespace {

// Pyramids and previews keep their smaller pictures either as later
// directories of the main chain marked as reduced images (libvips' pyramids,
// scanners and cameras) or as SubIFDs of the first page (DNG, libvips with
// --subifd); both are looked at, and a directory that will not read is passed
// over. ImageMagick's PTIF marks its levels as pages, so they stay pages.
constexpr int kMostDirectories = 64;

struct Candidate {
    uint64_t offset = 0;
    uint32_t longer = 0;
};

void considerCurrent(TIFF* tiff, std::vector<Candidate>& found)
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t kind = 0;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) && TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height)
        && TIFFGetFieldDefaulted(tiff, TIFFTAG_SUBFILETYPE, &kind) && (kind & FILETYPE_REDUCEDIMAGE) != 0)
        found.push_back({TIFFCurrentDirOffset(tiff), std::max(width, height)});
}

} // namespace

uint32_t reducedTiffDirectory(const std::string& path, int side)
{
    if (side <= 0)
        return 0;
    tiff_glue::TiffFile file(path, "r", nullptr);
    if (!file)
        return 0;
    TIFF* tiff = file.get();
    uint32_t fullLonger = 0;
    {
        uint32_t width = 0;
        uint32_t height = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        fullLonger = std::max(width, height);
    }
    std::vector<Candidate> found;
    std::vector<uint64_t> subDirectories;
    uint16_t subCount = 0;
    uint64_t* subOffsets = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_SUBIFD, &subCount, &subOffsets) && subOffsets)
        subDirectories.assign(subOffsets, subOffsets + std::min<int>(subCount, kMostDirectories));
    for (int i = 1; i < kMostDirectories && TIFFReadDirectory(tiff); ++i)
        considerCurrent(tiff, found);
    for (uint64_t offset : subDirectories)
        if (TIFFSetSubDirectory(tiff, offset))
            considerCurrent(tiff, found);
    // The smallest that still reaches the side, and is smaller than the page.
    const Candidate* best = nullptr;
    for (const Candidate& candidate : found)
        if (candidate.longer >= static_cast<uint32_t>(side) && candidate.longer < fullLonger
            && candidate.offset <= UINT32_MAX && (!best || candidate.longer < best->longer))
            best = &candidate;
    return best ? static_cast<uint32_t>(best->offset) : 0;
}

} // namespace pictorand
