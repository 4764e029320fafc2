#pragma once
// Where a picture lands on the printed page: the four placements of the
// Print Options dialog, computed in device pixels of the printable area, and
// the run over the pages of a multi-page file.

#include "core/image_block.h"
#include "core/result.h"

#include <functional>
#include <string>
#include <vector>

namespace pictorand {

enum class PrintPlacement {
    HorizontalFit = 0, // the page width, aspect kept
    VerticalFit = 1,   // the page height, aspect kept
    Scale = 2,         // picture pixels times the factors, in printer pixels
    Stretch = 3,       // the whole page
};

struct PrintOptions {
    PrintPlacement placement = PrintPlacement::HorizontalFit;
    double scaleX = 1.0;
    double scaleY = 1.0;
};

// The printable area in device pixels and the device's resolution.
struct PrintableArea {
    int width = 0;
    int height = 0;
    double dpiX = 0;
    double dpiY = 0;
};

struct PrintRect {
    int width = 0;
    int height = 0;
    friend bool operator==(const PrintRect&, const PrintRect&) = default;
};

// The target size for a w x h picture, anchored at the printable area's
// top-left corner. The fitting placements keep 10 pixels clear of the right
// and bottom edges; a fitted side may run past the page, where it is cut off.
PrintRect printTarget(int pictureWidth, int pictureHeight, const PrintableArea& area, const PrintOptions& options);

// A scale factor as typed: leading blanks skipped, the number read up to the
// first character that is not part of it; no number reads as 0.
double parseScale(const std::string& text);

// One job's pages, printed one per sheet.
class PageSink {
public:
    virtual ~PageSink() = default;
    // Starts the next sheet (not before the first) and draws the picture.
    virtual bool printPage(const ImageBlock& block) = 0;
};

struct PagesPrinted {
    int printed = 0;
    bool pageFailed = false; // a sheet could not be printed: the job stopped there
    // Pages (from 0) that could not be read, with the reader's words.
    std::vector<std::pair<int, std::string>> unreadable;
};

// Reads each page in turn and prints it; a page that cannot be read is noted
// and the run goes on, a sheet that cannot be printed ends it.
PagesPrinted printPages(int pageCount, const std::function<Result<ImageBlock>(int)>& readPage, PageSink& sink);

// What Print all pages says of a run: "Printer spooling ready !" when every
// page reached the printer, else "Print error !" followed by the pages that
// could not be read.
// A job that never started (the printer dialog cancelled) or printed no page
// failed as well.
struct PrintReport {
    bool failed = false;
    std::string text;
};
PrintReport printAllPagesReport(const PagesPrinted& run, bool jobStarted);

} // namespace pictorand
