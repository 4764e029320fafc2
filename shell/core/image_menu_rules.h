#pragma once
// The GUI-free rules of the image menu's dialogs: which colour counts the
// decrease-depth dialog offers, the size dialog's aspect lock and presets,
// the preview dialogs' ranges, steps and shown values, the palette editor's
// grid geometry and the icon chooser's preview placement. The Qt dialogs are
// thin layers over these.

#include "core/image_block.h"
#include "core/result.h"
#include "shell/core/system_metrics.h"

#include <string>
#include <utility>

namespace pictorand {

// ---------------------------------------------------------------------------
// "Decrease color depth"

struct ColorDepthChoices {
    bool enable256 = true;
    bool enable16 = true;
    int preset = 0; // 256, 16 or 2 checked on opening; 0 for none
};
// The opening state for a picture of that many bits per pixel.
ColorDepthChoices decreaseDepthChoices(int bitCount);
// What OK returns: 256, replaced by 16 when that button is checked, replaced
// by 2 when that one is.
int decreaseDepthColors(bool checked16, bool checked2);

// ---------------------------------------------------------------------------
// The size dialog ("Resize image", "Resample image (Smooth)")

enum class SizePreset { Width640, Width800, Width1024, Half, Double, BestFit };
enum class SizeField { None, Width, Height };

class SizeDialogModel {
public:
    SizeDialogModel(int width, int height, bool aspectLock);

    // "Current size:\t%d  x  %d\t"
    std::string currentSizeText() const;

    // With the lock on, the width that the width field takes when it gets
    // the focus, from the height field's value (and the height likewise);
    // nothing to do with the lock off.
    int widthForHeight(int heightField) const;
    int heightForWidth(int widthField) const;

    // Sets the working size from a preset button; both fields then agree.
    void applyPreset(SizePreset preset, const DisplayMetrics& metrics);

    // What OK returns for the fields' values. With the lock on, the field
    // the user did not type in last follows the one typed in, as it would
    // have on getting the focus: typing a width and pressing Enter must
    // not distort the picture.
    std::pair<int, int> sizeOnOk(int widthField, int heightField) const;

    bool aspectLock = true;
    SizeField lastEdited = SizeField::None; // typed in by the user since the fields last agreed
    int workingWidth = 0;
    int workingHeight = 0;

private:
    int m_width;
    int m_height;
};

// ---------------------------------------------------------------------------
// The preview dialogs ("BrightnessDlg", "ContrastDlg", "GammaCorrectionDlg")

enum class Adjustment { Brightness, Contrast, Gamma };

struct AdjustmentDialogLayout {
    const char* templateName;
    const char* title;
    const char* labels[3]; // naming the minimum, the start and the maximum
    int minimum;           // scroll positions
    int maximum;
    int start;
    int lineStep;
    int pageStep;
};
const AdjustmentDialogLayout& adjustmentLayout(Adjustment adjustment);

// The position an arrow or page step of `delta` leads to; a step that would
// leave the range leaves the position where it was.
int steppedPosition(const AdjustmentDialogLayout& layout, int position, int delta);
// The value shown for a scroll position: "%d", or "%.2f" of position x 0.01
// for gamma.
std::string adjustmentValueText(Adjustment adjustment, int position);
// A freshly adjusted copy of `start` for the scroll position; null when the
// copy cannot be had.
Result<ImageBlock> adjustedCopy(Adjustment adjustment, const ImageBlock& start, int position);

// ---------------------------------------------------------------------------
// The palette editor ("PALETTEENTRYDLG")

struct GridCell {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class PaletteGrid {
public:
    static constexpr int kColumns = 16;
    static constexpr int kGap = 3;
    // The grid filling a control's client area of that size.
    PaletteGrid(int clientWidth, int clientHeight);

    int cellWidth() const { return m_cellWidth; }
    int cellHeight() const { return m_cellHeight; }
    GridCell cell(int index) const;
    // The entry a click at (x, y) selects, or -1: outside every column, or an
    // index beyond the table's `entryCount` entries.
    int entryAt(int x, int y, int entryCount) const;

private:
    int m_cellWidth;
    int m_cellHeight;
};

// "Index: %d"
std::string paletteIndexText(int index);
// "%s: RGB (%3d,%3d,%3d)" with "Value"
std::string paletteValueText(int red, int green, int blue);

// ---------------------------------------------------------------------------
// The icon chooser's preview

struct PreviewPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PreviewPlacement&, const PreviewPlacement&) = default;
};
// Where an image of width x height is drawn in a preview area of that size:
// fitted into the area less 2 pixels each way, never enlarged, centred.
PreviewPlacement fitIconPreview(int areaWidth, int areaHeight, int width, int height);

} // namespace pictorand
