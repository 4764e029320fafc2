#include "shell/core/image_menu_rules.h"

#include "ops/adjust.h"
#include "ops/resize.h"
#include "shell/core/display_geometry.h"

#include <cstdio>

namespace pictorand {

ColorDepthChoices decreaseDepthChoices(int bitCount)
{
    ColorDepthChoices choices;
    switch (bitCount) {
    case 24:
        choices.preset = 256;
        break;
    case 8:
        choices.enable256 = false;
        choices.preset = 16;
        break;
    case 4:
        choices.enable256 = choices.enable16 = false;
        choices.preset = 2;
        break;
    default:
        break; // 1 bit: the command is disabled anyway; nothing preset
    }
    return choices;
}

int decreaseDepthColors(bool checked16, bool checked2)
{
    int colors = 256;
    if (checked16)
        colors = 16;
    if (checked2)
        colors = 2;
    return colors;
}

SizeDialogModel::SizeDialogModel(int width, int height, bool lock)
    : aspectLock(lock), workingWidth(width), workingHeight(height), m_width(width), m_height(height)
{
}

std::string SizeDialogModel::currentSizeText() const
{
    char text[96];
    std::snprintf(text, sizeof text, "%s:\t%d  x  %d\t", "Current size", m_width, m_height);
    return text;
}

int SizeDialogModel::widthForHeight(int heightField) const
{
    return lockedWidthForHeight(heightField, m_width, m_height);
}

int SizeDialogModel::heightForWidth(int widthField) const
{
    return lockedHeightForWidth(widthField, m_width, m_height);
}

std::pair<int, int> SizeDialogModel::sizeOnOk(int widthField, int heightField) const
{
    if (aspectLock && lastEdited == SizeField::Width)
        return {widthField, heightForWidth(widthField)};
    if (aspectLock && lastEdited == SizeField::Height)
        return {widthForHeight(heightField), heightField};
    return {widthField, heightField};
}

void SizeDialogModel::applyPreset(SizePreset preset, const DisplayMetrics& metrics)
{
    lastEdited = SizeField::None;
    auto setWidth = [this](int width, int unlockedHeight) {
        workingWidth = width;
        workingHeight = aspectLock ? heightForWidth(width) : unlockedHeight;
    };
    switch (preset) {
    case SizePreset::Width640:
        setWidth(640, 480);
        break;
    case SizePreset::Width800:
        setWidth(800, 600);
        break;
    case SizePreset::Width1024:
        setWidth(1024, 768);
        break;
    case SizePreset::Half:
        setWidth(workingWidth / 2, workingHeight / 2);
        break;
    case SizePreset::Double:
        setWidth(workingWidth * 2, workingHeight * 2);
        break;
    case SizePreset::BestFit: {
        const DisplaySize fit = bestFitToDesktop(metrics, workingWidth, workingHeight);
        workingWidth = fit.width;
        workingHeight = fit.height;
        break;
    }
    }
}

const AdjustmentDialogLayout& adjustmentLayout(Adjustment adjustment)
{
    static const AdjustmentDialogLayout brightness{
        "BrightnessDlg", "Brightness", {"-255", "0", "255"}, -kMaxBrightness, kMaxBrightness, 0, 1, 5};
    static const AdjustmentDialogLayout contrast{
        "ContrastDlg", "Contrast", {"-128", "0", "128"}, -kMaxContrast, kMaxContrast, 0, 1, 5};
    static const AdjustmentDialogLayout gamma{
        "GammaCorrectionDlg", "Gamma Correction", {"0.01", "1.00", "6.99"}, 1, 699, 100, 1, 5};
    switch (adjustment) {
    case Adjustment::Brightness:
        return brightness;
    case Adjustment::Contrast:
        return contrast;
    case Adjustment::Gamma:
        break;
    }
    return gamma;
}

int steppedPosition(const AdjustmentDialogLayout& layout, int position, int delta)
{
    const long long next = static_cast<long long>(position) + delta;
    if (next < layout.minimum || next > layout.maximum)
        return position;
    return static_cast<int>(next);
}

std::string adjustmentValueText(Adjustment adjustment, int position)
{
    char text[32];
    if (adjustment == Adjustment::Gamma)
        std::snprintf(text, sizeof text, "%.2f", position * 0.01);
    else
        std::snprintf(text, sizeof text, "%d", position);
    return text;
}

Result<ImageBlock> adjustedCopy(Adjustment adjustment, const ImageBlock& start, int position)
{
    switch (adjustment) {
    case Adjustment::Brightness:
        return adjustBrightness(start, position);
    case Adjustment::Contrast:
        return adjustContrast(start, position);
    case Adjustment::Gamma:
        break;
    }
    return adjustGamma(start, position * 0.01);
}

PaletteGrid::PaletteGrid(int clientWidth, int clientHeight)
    : m_cellWidth(roundHalfUp((clientWidth - 17.0 * kGap) / kColumns)),
      m_cellHeight(roundHalfUp((clientHeight - 17.0 * kGap) / kColumns))
{
}

GridCell PaletteGrid::cell(int index) const
{
    const int column = index % kColumns;
    const int row = index / kColumns;
    return {kGap + column * (m_cellWidth + kGap), kGap + row * (m_cellHeight + kGap), m_cellWidth, m_cellHeight};
}

int PaletteGrid::entryAt(int x, int y, int entryCount) const
{
    if (m_cellWidth <= 0 || m_cellHeight <= 0 || x < 0 || y < 0)
        return -1;
    // A cell takes the clicks on itself and on the gap to its right and
    // below it. (Estimating the gaps as x / cell width instead drifts by a
    // cell towards the right end of the grid.)
    const int column = x < kGap ? 0 : (x - kGap) / (m_cellWidth + kGap);
    const int row = y < kGap ? 0 : (y - kGap) / (m_cellHeight + kGap);
    if (column >= kColumns)
        return -1; // right of the last column, not the next row's first cell
    const long long index = column + static_cast<long long>(kColumns) * row;
    return index < entryCount ? static_cast<int>(index) : -1;
}

std::string paletteIndexText(int index)
{
    char text[32];
    std::snprintf(text, sizeof text, "Index: %d", index);
    return text;
}

std::string paletteValueText(int red, int green, int blue)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s: RGB (%3d,%3d,%3d)", "Value", red, green, blue);
    return text;
}

PreviewPlacement fitIconPreview(int areaWidth, int areaHeight, int width, int height)
{
    const int aw = areaWidth - 2;
    const int ah = areaHeight - 2;
    if (width <= 0 || height <= 0 || aw <= 0 || ah <= 0)
        return {};
    const double aspect = static_cast<double>(width) / height;
    PreviewPlacement placement;
    placement.width = ah < height ? roundHalfUp(ah * aspect) : width;
    if (placement.width > aw) {
        placement.width = aw;
        placement.height = roundHalfUp(aw / aspect);
    } else {
        placement.height = ah < height ? ah : height;
    }
    placement.x = (aw - placement.width) / 2;
    placement.y = (ah - placement.height) / 2;
    return placement;
}

} // namespace pictorand
