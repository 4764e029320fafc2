#pragma once
// The record of the picture on screen: what a load found out about the file
// and the block it gave. One instance, owned by the viewer; the load
// dispatcher fills it and the display, the commands and the image
// information read it. How the viewer shows it (zoom, animation, media)
// is the viewer's own state.

#include "core/frame_info.h"
#include "core/image_block.h"
#include "core/image_format.h"
#include "core/turn.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kClipboardPath = "<Clipboard>";
inline constexpr const char* kScanImagePath = "<ScanImage>";

struct CurrentImage {
    std::string path;
    ImageBlock block; // null: nothing shown, a metafile, or media playing
    ImageFormat format = ImageFormat::Bmp;

    int originalWidth = 0;
    int originalHeight = 0;
    int originalBitCount = 0;
    int currentWidth = 0;
    int currentHeight = 0;
    int currentBitCount = 0;

    std::string compression;
    int64_t decompressionMs = 0;

    // The directory offsets of a TIFF file's pages, the first page first.
    std::vector<uint32_t> pageOffsets;

    int pageCount = 0;
    int currentPage = 0;
    bool multiPage = false;

    bool overviewMode = false;
    int overviewStart = 1;

    bool metafileMode = false;

    // Set while the block is a JPEG file's picture as loaded, turned and
    // mirrored since by `turn` (the EXIF orientation's included) and changed
    // in no other way: saved as JPEG, the file's blocks can be turned instead
    // of the picture being compressed again. Whatever replaces or changes the
    // block otherwise ends it; `fingerprint`, the block's as the last turn
    // left it (0 before any), catches a change made behind the record's back,
    // and `fileVersion` a file written since it was read.
    struct TurnedFile {
        Turn turn;
        uint64_t fingerprint = 0;
        uint64_t fileVersion = 0; // the file as it was read (platform/paths.h)
    };
    std::optional<TurnedFile> turnedFile;

    // True while the record holds and the block is as the record's last turn
    // left it; ends the record otherwise.
    bool stillTurnedFile()
    {
        if (turnedFile && turnedFile->fingerprint != 0 && turnedFile->fingerprint != block.fingerprint())
            turnedFile.reset();
        return turnedFile.has_value();
    }
    // After the block was turned (it was stillTurnedFile() before).
    void blockTurned(Turn turn)
    {
        if (!turnedFile)
            return;
        turnedFile->turn = turnedFile->turn.then(turn);
        turnedFile->fingerprint = block.fingerprint();
    }

    // The display profile the block's colours were converted to when it was
    // loaded; empty: they are sRGB. Saving, copying and printing convert
    // them back, so that nothing handed on carries one display's numbers as
    // if they were sRGB. Whoever puts a new block in sets it.
    std::vector<uint8_t> displayColours;

    // Starts the record over as a load does, keeping the block: no pages,
    // metafile or overview. The display colours go with the block (a
    // turned picture is still in them). The viewer resets its own state
    // beside it.
    void resetAllButBlock()
    {
        metafileMode = false;
        multiPage = false;
        pageCount = 0;
        currentPage = 0;
        overviewMode = false;
    }

    // Copies the block's width, height and bit count into the current values.
    void refreshCurrentSize()
    {
        currentWidth = block ? block.width() : 0;
        currentHeight = block ? block.height() : 0;
        currentBitCount = block ? block.bitCount() : 0;
    }
};

} // namespace pictorand
