#include "shell/image_menu.h"

#include "ops/adjust.h"
#include "ops/color_table.h"
#include "ops/quantise.h"
#include "ops/resample_command.h"
#include "ops/resize.h"
#include "ops/rotate.h"
#include "shell/dialogs/adjustment_dialog.h"
#include "shell/dialogs/decrease_depth_dialog.h"
#include "shell/dialogs/icon_chooser_dialog.h"
#include "shell/dialogs/palette_dialog.h"
#include "shell/dialogs/size_dialog.h"
#include "shell/full_screen_window.h"
#include "shell/main_window.h"
#include "shell/picture_view.h"

#include <QColor>

namespace pictorand {

std::function<std::optional<QColor>(QColor, QWidget*)> ImageMenu::colorChooser = &PaletteDialog::runColorDialog;

ImageMenu::ImageMenu(MainWindow& window) : m_window(window) {}

bool ImageMenu::handles(int id) { return isImageMenuCommand(id); }

void ImageMenu::run(int id)
{
    // A running animation passes the picture test without a block; there is
    // nothing here to work on then.
    if (!m_window.m_image.block)
        return;
    using namespace command;
    switch (id) {
    case RotateLeft:
    case RotateRight:
        rotate(id == RotateRight);
        break;
    case VerticalFlip:
    case HorizontalFlip:
        flip(id == VerticalFlip);
        break;
    case DecreaseColorDepth:
        decreaseDepth();
        break;
    case ResizeImage:
    case ResampleImage:
        changeSize(id == ResampleImage);
        break;
    case Greyscale:
        greyscale();
        break;
    case Negative:
    case SwapRbg:
    case SwapBgr:
    case SwapBrg:
    case SwapGrb:
    case SwapGbr:
        inPlace(id);
        break;
    case Brightness:
        adjust(Adjustment::Brightness);
        break;
    case Contrast:
        adjust(Adjustment::Contrast);
        break;
    case GammaCorrection:
        adjust(Adjustment::Gamma);
        break;
    case EditPalette:
        editPalette();
        break;
    default:
        break;
    }
}

void ImageMenu::repaint()
{
    m_window.pictureChanged();
    m_window.m_view->viewport()->repaint();
    if (FullScreenWindow* fullScreen = m_window.fullScreenWindow())
        fullScreen->update();
}

void ImageMenu::rotate(bool right)
{
    MainWindow& w = m_window;
    CurrentImage& image = w.m_image;
    w.m_ui->setWaitCursor(true);
    // The record starts over as after a load, the block apart.
    image.resetAllButBlock();
    w.resetViewerState();

    ImageBlock turned = right ? rotateRight(image.block) : rotateLeft(image.block);
    if (!turned) {
        w.adoptBlock(ImageBlock());
        w.m_ui->setWaitCursor(false);
        w.m_ui->showMessage("Rotate error !", MessageIcon::Warning);
        w.resetWindow();
        return;
    }
    w.adoptBlock(std::move(turned));
    w.sizeWindowToPicture(image.currentWidth, image.currentHeight);
    w.m_ui->setWaitCursor(false);
    repaint();
}

void ImageMenu::flip(bool vertical)
{
    ImageBlock& block = m_window.m_image.block;
    if ((vertical ? flipVertical(block) : flipHorizontal(block)) != 0)
        return; // the block is as it was
    repaint();
}

void ImageMenu::decreaseDepth()
{
    MainWindow& w = m_window;
    std::optional<int> colors = DecreaseDepthDialog::ask(w.m_image.block.bitCount(), &w);
    if (!colors)
        return;
    w.m_ui->setWaitCursor(true);
    ImageBlock reduced = quantise(w.m_image.block, *colors);
    w.m_ui->setWaitCursor(false);
    if (!reduced) {
        w.m_ui->showMessage("Quantize error !", MessageIcon::Information); // the picture stays
        return;
    }
    w.adoptBlock(std::move(reduced));
    repaint();
}

void ImageMenu::changeSize(bool resample)
{
    MainWindow& w = m_window;
    CurrentImage& image = w.m_image;
    const QString title = resample ? "Resample image (Smooth)" : "Resize image";
    std::optional<NewSize> size = SizeDialog::ask(title, image.block.width(), image.block.height(), w.m_settings,
                                                  w.metrics(), &w);
    if (!size)
        return;
    w.m_view->hideScrollBars();
    w.m_ui->setWaitCursor(true);
    // The window takes the size the picture will have, shown at 100 % (a
    // zoom kept from before would paint it larger than the window made for
    // it); a size below 1 is made 1 by the operations.
    w.m_display.zoom = 100;
    w.m_zoomStep = 0;
    w.sizeWindowToPicture(std::max(1, size->width), std::max(1, size->height));
    ImageBlock result = resample ? resampleCommand(image.block, size->width, size->height)
                                 : resizeBlock(image.block, size->width, size->height);
    w.adoptBlock(ImageBlock()); // the old picture goes whatever the outcome
    w.m_ui->setWaitCursor(false);
    if (!result) {
        w.m_ui->showMessage(resample ? "Resample error !" : "Resize error !", MessageIcon::Information);
        w.resetWindow();
        return;
    }
    w.adoptBlock(std::move(result));
    repaint();
}

void ImageMenu::greyscale()
{
    MainWindow& w = m_window;
    ImageBlock grey = pictorand::greyscale(w.m_image.block);
    if (!grey)
        return; // the picture stays as it was
    w.adoptBlock(std::move(grey));
    repaint();
}

void ImageMenu::inPlace(int id)
{
    ImageBlock& block = m_window.m_image.block;
    bool done = false;
    switch (id) {
    case command::Negative:
        done = negative(block);
        break;
    case command::SwapRbg:
        done = swapChannels(block, ChannelSwap::RBG);
        break;
    case command::SwapBgr:
        done = swapChannels(block, ChannelSwap::BGR);
        break;
    case command::SwapBrg:
        done = swapChannels(block, ChannelSwap::BRG);
        break;
    case command::SwapGrb:
        done = swapChannels(block, ChannelSwap::GRB);
        break;
    default:
        done = swapChannels(block, ChannelSwap::GBR);
        break;
    }
    if (done)
        repaint();
}

void ImageMenu::adjust(Adjustment adjustment)
{
    MainWindow& w = m_window;
    AdjustmentDialog::Target target;
    target.replace = [this](ImageBlock block) {
        m_window.adoptBlock(std::move(block));
        repaint();
    };
    target.waitCursor = [this](bool on) { m_window.m_ui->setWaitCursor(on); };
    AdjustmentDialog dialog(adjustment, duplicateBlock(w.m_image.block), std::move(target), &w);
    dialog.exec();
    repaint();
}

void ImageMenu::editPalette()
{
    MainWindow& w = m_window;
    if (w.m_image.block.bitCount() > 8)
        return; // only paletted pictures have entries to edit
    PaletteDialog dialog(w.m_image.block, [this] { repaint(); }, colorChooser, &w);
    dialog.exec();
    repaint();
}

int ImageMenu::chooseIcon(const std::string& path, const std::vector<std::string>& lines)
{
    MainWindow& w = m_window;
    auto loader = [path](int index) {
        ReaderFunction reader = CodecRegistry::instance().reader(ImageFormat::Icon);
        if (!reader)
            return ImageBlock();
        ReadRequest request;
        request.path = path;
        request.options = IconReadOptions{nullptr, index};
        Result<DecodedImage> read = reader(request);
        return read ? std::move(read->block) : ImageBlock();
    };
    // The wait cursor of the load would hide the arrow the user needs here.
    w.m_ui->setWaitCursor(false);
    IconChooserDialog dialog(lines, loader, w.metrics().paletteDisplay(), &w);
    dialog.exec();
    const int chosen = dialog.chosenIndex();
    w.m_ui->setWaitCursor(true);
    return chosen;
}

} // namespace pictorand
