#include "shell/image_menu.h"

#include "dispatch/load.h"
#include "ops/color_table.h"
#include "shell/core/commands.h"
#include "shell/dialogs/adjustment_dialog.h"
#include "shell/dialogs/decrease_depth_dialog.h"
#include "shell/dialogs/icon_chooser_dialog.h"
#include "shell/dialogs/palette_dialog.h"
#include "shell/dialogs/size_dialog.h"

#include <QColor>

namespace pictorand {

std::function<std::optional<QColor>(QColor, QWidget*)> ImageMenu::colorChooser = &PaletteDialog::runColorDialog;

ImageMenu::ImageMenu(PictureHost& host) : m_host(host) {}

void ImageMenu::registerHandlers(CommandHandlers& handlers)
{
    using namespace command;
    // A running animation passes the picture test without a block; there is
    // nothing here to work on then.
    auto add = [&](int id, std::function<void()> work) {
        handlers[id] = [this, work = std::move(work)] {
            if (m_host.picture().block)
                work();
        };
    };
    auto operation = [&](int id, Operation op) { add(id, [this, op] { apply(op); }); };
    auto swap = [&](int id, ChannelSwap order) {
        Operation op{OperationKind::Swap};
        op.swap = order;
        operation(id, op);
    };
    auto depth = [&](int id, int bits) {
        Operation op{OperationKind::Depth};
        op.value = bits;
        operation(id, op);
    };
    add(RotateLeft, [this] { rotate(OperationKind::RotateLeft); });
    add(RotateRight, [this] { rotate(OperationKind::RotateRight); });
    operation(VerticalFlip, {OperationKind::FlipVertical});
    operation(HorizontalFlip, {OperationKind::FlipHorizontal});
    add(ResizeImage, [this] { changeSize(OperationKind::Resize); });
    add(ResampleImage, [this] { changeSize(OperationKind::Resample); });
    depth(IncreaseTo16Colors, 4);
    depth(IncreaseTo256Colors, 8);
    depth(IncreaseToTrueColor, 24);
    add(DecreaseColorDepth, [this] { decreaseDepth(); });
    operation(Greyscale, {OperationKind::Greyscale});
    operation(Negative, {OperationKind::Negative});
    swap(SwapRbg, ChannelSwap::RBG);
    swap(SwapBgr, ChannelSwap::BGR);
    swap(SwapBrg, ChannelSwap::BRG);
    swap(SwapGrb, ChannelSwap::GRB);
    swap(SwapGbr, ChannelSwap::GBR);
    add(Brightness, [this] { adjust(Adjustment::Brightness); });
    add(Contrast, [this] { adjust(Adjustment::Contrast); });
    add(GammaCorrection, [this] { adjust(Adjustment::Gamma); });
    add(EditPalette, [this] { editPalette(); });
}

bool ImageMenu::run(const Operation& operation)
{
    CurrentImage& image = m_host.picture();
    WaitCursor waitCursor(m_host.ui());
    const std::optional<Turn> turn = turnOfOperation(operation.kind);
    const bool turnedFile = turn && image.stillTurnedFile();
    const Status status = applyOperation(image.block, operation);
    if (status && turnedFile)
        image.blockTurned(*turn);
    else if (status)
        image.turnedFile.reset();
    waitCursor.release();
    if (!status) {
        m_host.ui().showMessage(status.text(), operationRow(operation.kind).failureIcon);
        return false;
    }
    image.refreshCurrentSize();
    return true;
}

void ImageMenu::apply(const Operation& operation)
{
    if (run(operation))
        m_host.repaintPicture();
}

void ImageMenu::rotate(OperationKind turn)
{
    if (!run(Operation{turn}))
        return;
    // A turned picture starts over as after a load, the block apart.
    CurrentImage& image = m_host.picture();
    image.resetAllButBlock();
    m_host.resetViewerState();
    m_host.showAtFullSize(image.currentWidth, image.currentHeight);
    m_host.repaintPicture();
}

void ImageMenu::decreaseDepth()
{
    std::optional<int> colors = DecreaseDepthDialog::ask(m_host.picture().block.bitCount(), m_host.dialogParent());
    if (!colors)
        return;
    Operation operation{OperationKind::Colors};
    operation.value = *colors;
    apply(operation);
}

void ImageMenu::changeSize(OperationKind kind)
{
    CurrentImage& image = m_host.picture();
    const bool resample = kind == OperationKind::Resample;
    const QString title = resample ? "Resample image (Smooth)" : "Resize image";
    std::optional<NewSize> size = SizeDialog::ask(title, image.block.width(), image.block.height(), m_host.settings(),
                                                  m_host.metrics(), m_host.dialogParent());
    if (!size)
        return;
    Operation operation{kind};
    operation.width = size->width;
    operation.height = size->height;
    if (!run(operation))
        return;
    // Shown at 100 %: a zoom kept from before would paint it larger than the
    // window made for it.
    m_host.showAtFullSize(image.currentWidth, image.currentHeight);
    m_host.repaintPicture();
}

void ImageMenu::adjust(Adjustment adjustment)
{
    AdjustmentDialog::Target target;
    target.replace = [this](ImageBlock block) {
        m_host.adoptPicture(std::move(block));
        m_host.repaintPicture();
    };
    target.waitCursor = [this](bool on) { m_host.ui().setWaitCursor(on); };
    AdjustmentDialog dialog(adjustment, duplicateBlock(m_host.picture().block).takeOr({}), std::move(target),
                            m_host.dialogParent());
    dialog.exec();
    m_host.repaintPicture();
}

void ImageMenu::editPalette()
{
    ImageBlock& block = m_host.picture().block;
    if (block.bitCount() > 8)
        return; // only paletted pictures have entries to edit
    m_host.picture().turnedFile.reset();
    PaletteDialog dialog(block, [this] { m_host.repaintPicture(); }, colorChooser, m_host.dialogParent());
    dialog.exec();
    m_host.repaintPicture();
}

int ImageMenu::chooseIcon(const std::string& path, const std::vector<std::string>& lines)
{
    // Each image is read as every picture is, in a decoder worker.
    auto loader = [path](int index) {
        LoadRequest request{{path}, LoadPurpose::Batch, {}};
        request.options.icon = index;
        return std::move(load(request).block);
    };
    // The wait cursor of the load would hide the arrow the user needs here.
    m_host.ui().setWaitCursor(false);
    IconChooserDialog dialog(lines, loader, m_host.metrics().paletteDisplay(), m_host.dialogParent());
    dialog.exec();
    const int chosen = dialog.chosenIndex();
    m_host.ui().setWaitCursor(true);
    return chosen;
}

} // namespace pictorand
