// The image menu's dialog rules without Qt: colour-depth choices, the size
// dialog's aspect lock and presets, the preview dialogs' steps and values,
// the palette grid and the icon preview placement.

#include "ops/adjust.h"
#include "shell/core/image_menu_rules.h"
#include "tests/shell/shell_test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

TEST(DecreaseDepthChoices, FollowTheCurrentDepth)
{
    struct Case {
        int bits;
        bool enable256;
        bool enable16;
        int preset;
    };
    for (const Case& c : {Case{24, true, true, 256}, Case{8, false, true, 16}, Case{4, false, false, 2},
                          Case{1, true, true, 0}}) {
        const ColorDepthChoices choices = decreaseDepthChoices(c.bits);
        EXPECT_EQ(choices.enable256, c.enable256) << c.bits;
        EXPECT_EQ(choices.enable16, c.enable16) << c.bits;
        EXPECT_EQ(choices.preset, c.preset) << c.bits;
    }
}

TEST(DecreaseDepthChoices, OkGives256UnlessAnotherButtonIsChecked)
{
    EXPECT_EQ(decreaseDepthColors(false, false), 256);
    EXPECT_EQ(decreaseDepthColors(true, false), 16);
    EXPECT_EQ(decreaseDepthColors(false, true), 2);
}

TEST(SizeDialogModel, CurrentSizeText)
{
    EXPECT_EQ(SizeDialogModel(1000, 500, true).currentSizeText(), "Current size:\t1000  x  500\t");
}

TEST(SizeDialogModel, PresetWidthKeepsTheAspectWithTheLockOn)
{
    SizeDialogModel model(1000, 500, true);
    model.applyPreset(SizePreset::Width640, testing::desktop1024());
    EXPECT_EQ(model.workingWidth, 640);
    EXPECT_EQ(model.workingHeight, 320);
    model.applyPreset(SizePreset::Width1024, testing::desktop1024());
    EXPECT_EQ(model.workingHeight, 512);
}

TEST(SizeDialogModel, PresetWidthTakesThePresetHeightWithTheLockOff)
{
    SizeDialogModel model(1000, 500, false);
    model.applyPreset(SizePreset::Width800, testing::desktop1024());
    EXPECT_EQ(model.workingWidth, 800);
    EXPECT_EQ(model.workingHeight, 600);
}

TEST(SizeDialogModel, HalfAndDoubleWorkOnTheWorkingSize)
{
    SizeDialogModel model(301, 201, true);
    model.applyPreset(SizePreset::Half, testing::desktop1024());
    EXPECT_EQ(model.workingWidth, 150);
    EXPECT_EQ(model.workingHeight, 100); // 150 x 201 / 301 = 100.17
    model.applyPreset(SizePreset::Double, testing::desktop1024());
    EXPECT_EQ(model.workingWidth, 300);
    EXPECT_EQ(model.workingHeight, 200); // 199.67 rounded
}

TEST(SizeDialogModel, BestFitOfASquareTakesTheAvailableHeight)
{
    DisplayMetrics m = testing::desktop1024();
    m.fullScreenWidth = 1024; // 1018 available
    m.fullScreenHeight = 725; // 725 - (19 + 6) = 700 available
    SizeDialogModel model(50, 50, true);
    model.applyPreset(SizePreset::BestFit, m);
    EXPECT_EQ(model.workingWidth, 700);
    EXPECT_EQ(model.workingHeight, 700);
}

TEST(SizeDialogModel, FocusRecomputationRoundsHalfUp)
{
    SizeDialogModel model(3, 2, true);
    EXPECT_EQ(model.heightForWidth(5), 3); // 3.333
    EXPECT_EQ(model.heightForWidth(3), 2);
    EXPECT_EQ(model.widthForHeight(1), 2); // 1.5 rounds up
    EXPECT_EQ(model.widthForHeight(5), 8); // 7.5
}

TEST(SizeDialogModel, OkFirstRecomputesTheFieldNotTypedInLast)
{
    struct Case {
        bool lock;
        SizeField edited;
        int widthField, heightField;
        std::pair<int, int> returned;
    };
    for (const Case& c : {Case{true, SizeField::Width, 400, 512, {400, 267}},
                          Case{true, SizeField::Height, 768, 100, {150, 100}},
                          Case{true, SizeField::None, 400, 512, {400, 512}},
                          Case{false, SizeField::Width, 400, 512, {400, 512}}}) {
        SizeDialogModel model(768, 512, c.lock);
        model.lastEdited = c.edited;
        EXPECT_EQ(model.sizeOnOk(c.widthField, c.heightField), c.returned) << c.widthField << " " << c.heightField;
    }
    // A preset makes the fields agree again.
    SizeDialogModel model(768, 512, true);
    model.lastEdited = SizeField::Height;
    model.applyPreset(SizePreset::Width640, testing::desktop1024());
    EXPECT_EQ(model.sizeOnOk(640, 427), std::make_pair(640, 427));
}

TEST(AdjustmentSpec, RangesStepsAndStarts)
{
    const AdjustmentDialogLayout& b = adjustmentLayout(Adjustment::Brightness);
    EXPECT_STREQ(b.templateName, "BrightnessDlg");
    EXPECT_STREQ(b.title, "Brightness");
    EXPECT_EQ(b.minimum, -255);
    EXPECT_EQ(b.maximum, 255);
    EXPECT_EQ(b.start, 0);
    EXPECT_EQ(b.lineStep, 1);
    EXPECT_EQ(b.pageStep, 5);
    const AdjustmentDialogLayout& c = adjustmentLayout(Adjustment::Contrast);
    EXPECT_STREQ(c.templateName, "ContrastDlg");
    EXPECT_EQ(c.minimum, -128);
    EXPECT_EQ(c.maximum, 128);
    EXPECT_STREQ(c.labels[0], "-128");
    const AdjustmentDialogLayout& g = adjustmentLayout(Adjustment::Gamma);
    EXPECT_STREQ(g.templateName, "GammaCorrectionDlg");
    EXPECT_STREQ(g.title, "Gamma Correction");
    EXPECT_EQ(g.minimum, 1);
    EXPECT_EQ(g.maximum, 699);
    EXPECT_EQ(g.start, 100);
    EXPECT_STREQ(g.labels[2], "6.99");
}

TEST(AdjustmentSpec, AStepThatWouldLeaveTheRangeIsIgnored)
{
    const AdjustmentDialogLayout& b = adjustmentLayout(Adjustment::Brightness);
    EXPECT_EQ(steppedPosition(b, 250, 5), 255);
    EXPECT_EQ(steppedPosition(b, 253, 5), 253); // would be 258
    EXPECT_EQ(steppedPosition(b, 255, 1), 255);
    EXPECT_EQ(steppedPosition(b, -252, -5), -252);
    EXPECT_EQ(steppedPosition(b, -254, -1), -255);
    const AdjustmentDialogLayout& g = adjustmentLayout(Adjustment::Gamma);
    EXPECT_EQ(steppedPosition(g, 3, -5), 3);
    EXPECT_EQ(steppedPosition(g, 2, -1), 1);
}

TEST(AdjustmentSpec, ShownValues)
{
    EXPECT_EQ(adjustmentValueText(Adjustment::Brightness, -17), "-17");
    EXPECT_EQ(adjustmentValueText(Adjustment::Contrast, 128), "128");
    EXPECT_EQ(adjustmentValueText(Adjustment::Gamma, 100), "1.00");
    EXPECT_EQ(adjustmentValueText(Adjustment::Gamma, 1), "0.01");
    EXPECT_EQ(adjustmentValueText(Adjustment::Gamma, 699), "6.99");
    EXPECT_EQ(adjustmentValueText(Adjustment::Gamma, 205), "2.05");
}

TEST(AdjustmentSpec, GammaPositionTwoHundredMapsSixtyFourToOneTwentyEight)
{
    ImageBlock block = ImageBlock::create(1, 1, 24, 0);
    block.row(0)[0] = block.row(0)[1] = block.row(0)[2] = 64;
    Result<ImageBlock> adjusted = adjustedCopy(Adjustment::Gamma, block, 200);
    ASSERT_TRUE(adjusted);
    EXPECT_EQ(adjusted->row(0)[0], 128);
    EXPECT_EQ(block.row(0)[0], 64); // the start stays
}

TEST(PaletteGrid, CellGeometry)
{
    const PaletteGrid grid(339, 339); // (339 - 51) / 16 = 18
    EXPECT_EQ(grid.cellWidth(), 18);
    EXPECT_EQ(grid.cellHeight(), 18);
    const GridCell c17 = grid.cell(17); // column 1, row 1
    EXPECT_EQ(c17.left, 3 + 21);
    EXPECT_EQ(c17.top, 3 + 21);
    EXPECT_EQ(grid.cell(255).left, 3 + 15 * 21);
    const PaletteGrid rounded(100, 80); // 3.0625 -> 3, 1.8125 -> 2
    EXPECT_EQ(rounded.cellWidth(), 3);
    EXPECT_EQ(rounded.cellHeight(), 2);
}

TEST(PaletteGrid, ClicksAtCellEdgesSelectThatCell)
{
    const PaletteGrid grid(339, 339);
    for (int index : {0, 1, 15, 16, 100, 240, 255}) {
        const GridCell cell = grid.cell(index);
        const int right = cell.left + cell.width - 1;
        const int bottom = cell.top + cell.height - 1;
        EXPECT_EQ(grid.entryAt(cell.left, cell.top, 256), index);
        EXPECT_EQ(grid.entryAt(right, cell.top, 256), index);
        EXPECT_EQ(grid.entryAt(cell.left, bottom, 256), index);
        EXPECT_EQ(grid.entryAt(right, bottom, 256), index);
    }
}

TEST(PaletteGrid, ClicksBeyondTheTableOrRightOfTheGridAreIgnored)
{
    const PaletteGrid grid(339, 339);
    EXPECT_EQ(grid.entryAt(grid.cell(16).left, grid.cell(16).top, 16), -1); // a 4-bit table has one row
    EXPECT_EQ(grid.entryAt(grid.cell(1).left, grid.cell(1).top, 2), 1);
    EXPECT_EQ(grid.entryAt(grid.cell(2).left, grid.cell(2).top, 2), -1);
    // Past the last column is not the first cell of the next row.
    EXPECT_EQ(grid.entryAt(3 + 16 * 21 + 1, 3, 256), -1);
    EXPECT_EQ(grid.entryAt(-1, 5, 256), -1);
    EXPECT_EQ(PaletteGrid(40, 40).entryAt(5, 5, 256), -1); // cells of no size
}

TEST(PaletteTexts, IndexAndValue)
{
    EXPECT_EQ(paletteIndexText(37), "Index: 37");
    EXPECT_EQ(paletteValueText(255, 7, 42), "Value: RGB (255,  7, 42)");
}

TEST(IconPreview, SmallImagesAreCentredUnscaled)
{
    EXPECT_EQ(fitIconPreview(130, 130, 32, 32), (PreviewPlacement{48, 48, 32, 32}));
    EXPECT_EQ(fitIconPreview(130, 130, 128, 128), (PreviewPlacement{0, 0, 128, 128}));
}

TEST(IconPreview, LargeImagesFitTheAreaLessTwoPixels)
{
    // Taller than the area: the height decides.
    EXPECT_EQ(fitIconPreview(130, 130, 128, 256), (PreviewPlacement{32, 0, 64, 128}));
    // Wider than the area: the width decides.
    EXPECT_EQ(fitIconPreview(130, 130, 256, 64), (PreviewPlacement{0, 48, 128, 32}));
    // Both larger, square: the full area.
    EXPECT_EQ(fitIconPreview(130, 130, 256, 256), (PreviewPlacement{0, 0, 128, 128}));
    // Wider only, by aspect: width 200 of 100 high in a 130 x 130 area.
    EXPECT_EQ(fitIconPreview(130, 130, 200, 100), (PreviewPlacement{0, 32, 128, 64}));
}

} // namespace
} // namespace pictorand
