#pragma once
// The reader and writer calling conventions, and the registry through which
// each codec module makes itself known. The dispatchers find readers and
// writers only here, so a format whose codec is not built fails through the
// ordinary failure path.

#include "core/frame_info.h"
#include "core/image_block.h"
#include "core/image_format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictorand {

// Lets the icon reader ask which image of a multi-image file to show. The
// lines are the ones the chooser lists ("%d x %d  -  %d colors", ...).
class IconChooser {
public:
    virtual ~IconChooser() = default;
    // Index of the chosen image, from 0.
    virtual int chooseIcon(const std::string& path, const std::vector<std::string>& lines) = 0;
};

// Everything a reader may be given after the path. Each reader looks only at
// its own fields.
struct ReadRequest {
    std::string path;
    // Jpeg
    bool loadGreyscale = false;
    bool quantise256 = false; // the display shows 256 colours
    int targetWidth = 0;      // 0: full size
    // Gif
    uint32_t gifControlOffset = 0;
    uint32_t gifImageOffset = 0;
    GifFrameInfo* gifFrameInfo = nullptr; // out, zeroed by the caller
    // Tiff
    uint32_t tiffDirectoryOffset = 0; // 0: first page
    // PhotoCd
    int photoCdLoadingSize = 2;       // 0 Base/16, 1 Base/4, 2 Base
    bool* photoCdIsOverview = nullptr; // out
    // Icon
    bool allowIconChooser = false;
    IconChooser* iconChooser = nullptr;
    int iconIndex = -1; // >= 0: read that image without asking
};

// A reader returns a new block or null; on failure `message` holds the reason
// in its own words. Readers that describe their compression write
// `compression`; others leave it as the dispatcher filled it.
using ReaderFunction = ImageBlock (*)(const ReadRequest& request, std::string& message, std::string& compression);

// Photo CD overview sheets are read by a second reader.
using OverviewReaderFunction = ImageBlock (*)(const std::string& path, int firstPicture, bool quantise, std::string& message);

// Options a writer may take; each writer looks only at its own fields.
struct WriteOptions {
    // Gif
    bool interlaced = false;
    int transparentIndex = -1;
    // Jpeg (quality also goes to the TIFF writer)
    bool greyscale = false;
    int quality = 80;
    bool progressive = false;
    // Tiff
    int tiffCompression = 0;
};

// Returns true when the file was written; never frees or changes the block.
using WriterFunction = bool (*)(const std::string& path, const ImageBlock& block, const WriteOptions& options, std::string& message);

// How many images (GIF) or pages (TIFF) a file holds, for reports; -1 when
// the file cannot be read.
using ImageCounterFunction = int (*)(const std::string& path);

// Where the images of a multi-image file start, for the viewer to read them
// one by one later: the GIF frame scanner records the graphic-control
// extension offsets in `controlOffsets` and the image offsets in
// `imageOffsets`; the TIFF page counter records the page directory offsets in
// `imageOffsets` and leaves `controlOffsets` alone. Both tables hold
// `capacity` entries and arrive zeroed. Returns the number of images recorded
// (at most `capacity`), or -1 when the file cannot be read. Optional: without
// it the dispatcher counts with the image counter and leaves the tables zero.
using ImageOffsetsFunction = int (*)(const std::string& path, uint32_t* controlOffsets, uint32_t* imageOffsets,
                                     int capacity);

// The seven types a picture can be saved as, in the order of the Save-as
// dialog's type list (type numbers 1 to 7).
enum class SaveType : int { Jpg = 1, Gif = 2, Bmp = 3, Png = 4, Tif = 5, Pcx = 6, Ico = 7 };
inline constexpr int kSaveTypeCount = 7;

struct SaveTypeInfo {
    SaveType type;
    const char* key;       // "JPG": the upper-cased extension a path must carry
    const char* extension; // ".jpg"
};
const std::vector<SaveTypeInfo>& saveTypeTable();
// The save type whose key is the given text (any case), if any.
const SaveTypeInfo* saveTypeByKey(const std::string& key);

class CodecRegistry {
public:
    // The registry with every built codec registered (defined with the
    // generated codec list, so using it links every codec).
    static CodecRegistry& instance();

    void registerReader(ImageFormat format, ReaderFunction reader) { m_readers[index(format)] = reader; }
    void registerOverviewReader(OverviewReaderFunction reader) { m_overviewReader = reader; }
    void registerImageCounter(ImageFormat format, ImageCounterFunction counter) { m_counters[index(format)] = counter; }
    void registerWriter(SaveType type, WriterFunction writer) { m_writers[static_cast<size_t>(type) - 1] = writer; }
    void registerImageOffsets(ImageFormat format, ImageOffsetsFunction scanner) { m_offsets[index(format)] = scanner; }

    ReaderFunction reader(ImageFormat format) const { return m_readers[index(format)]; }
    OverviewReaderFunction overviewReader() const { return m_overviewReader; }
    ImageCounterFunction imageCounter(ImageFormat format) const { return m_counters[index(format)]; }
    WriterFunction writer(SaveType type) const { return m_writers[static_cast<size_t>(type) - 1]; }
    ImageOffsetsFunction imageOffsets(ImageFormat format) const { return m_offsets[index(format)]; }

private:
    static size_t index(ImageFormat format) { return static_cast<size_t>(format); }

    ReaderFunction m_readers[kFormatCount] = {};
    ImageCounterFunction m_counters[kFormatCount] = {};
    ImageOffsetsFunction m_offsets[kFormatCount] = {};
    OverviewReaderFunction m_overviewReader = nullptr;
    WriterFunction m_writers[kSaveTypeCount] = {};
};

// Defined by the generated codec list (library pictorand_codecs): calls every
// codec module's registration function.
void registerAllCodecs(CodecRegistry& registry);

} // namespace pictorand
