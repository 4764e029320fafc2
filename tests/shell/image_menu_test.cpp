// The image menu driven by command ids, its dialogs through their controls,
// headless, on a fixed display.

#include "dispatch/save_dispatch.h"
#include "platform/settings_keys.h"
#include "shell/dialogs/adjustment_dialog.h"
#include "shell/dialogs/decrease_depth_dialog.h"
#include "shell/dialogs/dialog_fitting.h"
#include "shell/dialogs/icon_chooser_dialog.h"
#include "shell/dialogs/palette_dialog.h"
#include "shell/dialogs/size_dialog.h"
#include "shell/image_menu.h"
#include "shell/main_window.h"
#include "shell/picture_view.h"
#include "tests/shell/shell_test_support.h"
#include "tests/shell/viewer_fixture.h"
#include "tests/support/test_support.h"

#include "core/codec_registry.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace pictorand {
namespace {

using testing::desktop1024;
using testing::ScratchDir;
using testing::ScriptedFileDialogs;
using testing::ScriptedUserInterface;

using Pixel = std::function<uint32_t(int, int)>;

// Pixel (x, y), counted from the top: an index, or 0xRRGGBB at 24 bits.
ImageBlock makeBlock(int width, int height, int bits, const Pixel& pixel)
{
    const uint32_t colours = bits == 24 ? 0u : (1u << bits);
    ImageBlock block = ImageBlock::create(width, height, static_cast<uint16_t>(bits), colours);
    for (uint32_t i = 0; i < colours; ++i) {
        const auto level = static_cast<uint8_t>(i * 255 / (colours - 1));
        block.colorTable()[i] = ColorEntry{level, static_cast<uint8_t>(255 - level), static_cast<uint8_t>(i), 0};
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* row = block.topRow(y);
        for (int x = 0; x < width; ++x) {
            const uint32_t value = pixel(x, y);
            switch (bits) {
            case 1:
                if (value & 1)
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<uint8_t>((x % 2) ? (value & 15) : (value & 15) << 4);
                break;
            case 8:
                row[x] = static_cast<uint8_t>(value);
                break;
            default:
                row[x * 3] = static_cast<uint8_t>(value);
                row[x * 3 + 1] = static_cast<uint8_t>(value >> 8);
                row[x * 3 + 2] = static_cast<uint8_t>(value >> 16);
            }
        }
    }
    return block;
}

uint32_t pixelAt(const ImageBlock& block, int x, int y)
{
    const uint8_t* row = block.topRow(y);
    switch (block.bitCount()) {
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 1u;
    case 4:
        return (x % 2) ? row[x / 2] & 15u : row[x / 2] >> 4;
    case 8:
        return row[x];
    default:
        return row[x * 3] | (row[x * 3 + 1] << 8) | (static_cast<uint32_t>(row[x * 3 + 2]) << 16);
    }
}

std::vector<uint8_t> bytesOf(const ImageBlock& block)
{
    return {block.data(), block.data() + block.size()};
}

// Runs `act` on the dialog of type D once the next modal dialog is up. The
// action must end the dialog.
template <class D>
void onModal(std::function<void(D&)> act)
{
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = dynamic_cast<D*>(modal);
        if (!dialog) {
            ADD_FAILURE() << "the expected dialog is not up";
            if (modal)
                modal->close();
            return;
        }
        act(*dialog);
    });
}

template <class W>
W* child(QWidget& parent, const char* name)
{
    W* found = parent.findChild<W*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QPushButton* buttonWithText(QWidget& parent, const QString& text)
{
    for (QPushButton* button : parent.findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    ADD_FAILURE() << text.toStdString();
    return nullptr;
}

void focusIn(QWidget* widget)
{
    QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &event);
}

class ImageMenuTest : public testing::ViewerFixture {
protected:
    void TearDown() override
    {
        ViewerFixture::TearDown();
        AdjustmentDialog::setBackgroundThreshold(4u << 20);
        ImageMenu::colorChooser = &PaletteDialog::runColorDialog;
    }

    QImage grabPicture()
    {
        return window->view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

};

// ---------------------------------------------------------------------------
// Rotate and flip

TEST_F(ImageMenuTest, RotationsTurnEveryDepthIncludingOddSizes)
{
    for (int bits : {1, 4, 8, 24}) {
        SCOPED_TRACE(bits);
        const Pixel pattern = [bits](int x, int y) {
            const uint32_t v = static_cast<uint32_t>(x * 7 + y * 3 + 1);
            return bits == 24 ? v * 0x010305u : v % (1u << bits);
        };
        MainWindow& w = startWith(makeBlock(9, 5, bits, pattern));
        const std::vector<uint8_t> before = bytesOf(current());
        w.runCommand(command::RotateRight);
        ASSERT_TRUE(current());
        EXPECT_EQ(current().width(), 5);
        EXPECT_EQ(current().height(), 9);
        // Clockwise: the former top-left pixel is now at the top right.
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(pixelAt(current(), x, y), pattern(y, 4 - x)) << x << "," << y;
        EXPECT_EQ(w.currentImage().currentWidth, 5);
        w.runCommand(command::RotateLeft);
        EXPECT_EQ(bytesOf(current()), before);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST_F(ImageMenuTest, FourRightTurnsAndTheFlipsRestoreThePicture)
{
    MainWindow& w = startWith(makeBlock(7, 3, 4, [](int x, int y) { return static_cast<uint32_t>(x + 5 * y); }));
    const std::vector<uint8_t> before = bytesOf(current());
    for (int i = 0; i < 4; ++i)
        w.runCommand(command::RotateRight);
    EXPECT_EQ(bytesOf(current()), before);
    w.runCommand(command::HorizontalFlip);
    EXPECT_EQ(pixelAt(current(), 0, 0), 6u);
    w.runCommand(command::VerticalFlip);
    EXPECT_EQ(pixelAt(current(), 0, 0), (6u + 10u) & 15u);
    w.runCommand(command::HorizontalFlip);
    w.runCommand(command::VerticalFlip);
    EXPECT_EQ(bytesOf(current()), before);
}

TEST_F(ImageMenuTest, RotationSizesTheWindowAndRepaints)
{
    MainWindow& w = startWith(makeBlock(300, 100, 24, [](int x, int) { return x < 150 ? 0xFF0000u : 0x0000FFu; }));
    w.runCommand(command::RotateRight);
    EXPECT_EQ(w.view()->viewport()->height(), 300); // the width stays at the narrowest window
    const QImage painted = grabPicture();
    EXPECT_EQ(painted.pixel(50, 10) & 0xFFFFFF, 0xFF0000u); // the left half went to the top
    EXPECT_EQ(painted.pixel(50, 290) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(ImageMenuTest, RotateErrorKeepsThePictureTheRecordAndTheWindow)
{
    MainWindow& w = start();
    // One row of 2^29 + 8 one-bit pixels is 64 MB; turned, it would be that
    // many rows of 4 bytes, beyond what a block may hold.
    ImageBlock wide = ImageBlock::create((1 << 29) + 8, 1, 1, 2);
    ASSERT_TRUE(wide);
    wide.row(0)[0] = 0xC0;
    w.currentImage().block = std::move(wide);
    w.currentImage().multiPage = true;
    const QString title = w.windowTitle();
    const QSize size = w.size();
    w.runCommand(command::RotateRight);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Rotate error !");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    ASSERT_TRUE(current());
    EXPECT_EQ(current().width(), (1 << 29) + 8);
    EXPECT_EQ(current().row(0)[0], 0xC0);
    EXPECT_EQ(current().row(0)[(1 << 26)], 0); // not flipped half way
    EXPECT_TRUE(w.currentImage().multiPage);
    EXPECT_EQ(w.windowTitle(), title);
    EXPECT_EQ(w.size(), size);
}

TEST_F(ImageMenuTest, RotateAndFlipNeedZoomHundred)
{
    MainWindow& w = startWith(makeBlock(10, 4, 8, [](int x, int) { return static_cast<uint32_t>(x); }));
    w.runCommand(command::ZoomIn);
    const std::vector<uint8_t> before = bytesOf(current());
    for (int id : {command::RotateLeft, command::RotateRight, command::VerticalFlip, command::HorizontalFlip}) {
        ui.messages.clear();
        w.runCommand(id);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Not available if ZOOM active !");
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    }
    EXPECT_EQ(bytesOf(current()), before);
}

TEST_F(ImageMenuTest, RotateAndFlipAreIgnoredWhileFullScreen)
{
    MainWindow& w = startWith(makeBlock(10, 4, 8, [](int x, int) { return static_cast<uint32_t>(x); }));
    w.runCommand(command::FullScreen);
    ASSERT_NE(w.fullScreenWindow(), nullptr);
    w.runCommand(command::RotateLeft);
    w.runCommand(command::HorizontalFlip);
    EXPECT_EQ(current().width(), 10);
    EXPECT_EQ(pixelAt(current(), 0, 0), 0u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ImageMenuTest, ImageCommandsWithoutAPictureSayNoPicture)
{
    MainWindow& w = start();
    for (int id : {command::RotateLeft, command::RotateRight, command::VerticalFlip, command::HorizontalFlip,
                   command::DecreaseColorDepth, command::ResizeImage, command::ResampleImage, command::Greyscale,
                   command::Negative, command::SwapRbg, command::SwapGbr, command::Brightness, command::Contrast,
                   command::GammaCorrection, command::EditPalette}) {
        ui.messages.clear();
        w.runCommand(id); // a dialog would hang the test here
        ASSERT_EQ(ui.messages.size(), 1u) << id;
        EXPECT_EQ(ui.messages[0].text, "No picture !");
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    }
}

TEST_F(ImageMenuTest, AnAnimationWithoutABlockGivesTheCommandsNothingToDo)
{
    MainWindow& w = start();
    w.viewer().displayState().animationRunning = true;
    for (int id : {command::RotateLeft, command::DecreaseColorDepth, command::ResizeImage, command::ResampleImage,
                   command::Greyscale, command::Negative, command::SwapBgr, command::Brightness, command::EditPalette}) {
        bool dialogShown = false;
        QTimer::singleShot(0, [&dialogShown] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                dialogShown = true;
                modal->close();
            }
        });
        w.runCommand(id);
        QApplication::processEvents();
        EXPECT_FALSE(dialogShown) << id;
        EXPECT_FALSE(current());
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ImageMenuTest, MenuEnablesTheImageCommandsByDepth)
{
    MainWindow& w = startWith(makeBlock(8, 8, 1, [](int x, int) { return static_cast<uint32_t>(x); }));
    grabPicture();
    w.updateMenuState();
    EXPECT_TRUE(w.action(command::RotateLeft)->isEnabled());
    EXPECT_TRUE(w.action(command::EditPalette)->isEnabled());
    EXPECT_FALSE(w.action(command::DecreaseColorDepth)->isEnabled());
    EXPECT_FALSE(w.action(command::Greyscale)->isEnabled());
    w.runCommand(command::IncreaseToTrueColor);
    grabPicture();
    w.updateMenuState();
    EXPECT_TRUE(w.action(command::DecreaseColorDepth)->isEnabled());
    EXPECT_TRUE(w.action(command::Greyscale)->isEnabled());
    EXPECT_FALSE(w.action(command::EditPalette)->isEnabled());
}

// ---------------------------------------------------------------------------
// Colour depth

TEST_F(ImageMenuTest, IncreaseDepthKeepsTheLookOfAWhiteOnBlackTable)
{
    // Entry 0 white, entry 1 black: the grey ramp comes out inverted.
    ImageBlock mono = makeBlock(9, 2, 1, [](int x, int) { return static_cast<uint32_t>(x % 2); });
    mono.colorTable()[0] = ColorEntry{255, 255, 255, 0};
    mono.colorTable()[1] = ColorEntry{0, 0, 0, 0};
    MainWindow& w = startWith(mono);
    const QImage before = grabPicture();
    w.runCommand(command::IncreaseTo256Colors);
    ASSERT_EQ(current().bitCount(), 8);
    EXPECT_EQ(current().colorTable()[0], (ColorEntry{255, 255, 255, 0}));
    const QImage after = grabPicture();
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(after.pixel(x, 1), before.pixel(x, 1)) << x;
}

TEST_F(ImageMenuTest, DecreaseDepthDialogOpensByDepthAndQuantises)
{
    struct Case {
        int bits;
        bool enable256;
        bool enable16;
        const char* checked;
        int resultBits;
    };
    for (const Case& c : {Case{24, true, true, "colors256", 8}, Case{8, false, true, "colors16", 4},
                          Case{4, false, false, "colors2", 1}}) {
        SCOPED_TRACE(c.bits);
        MainWindow& w = startWith(makeBlock(20, 10, c.bits, [c](int x, int y) {
            return c.bits == 24 ? static_cast<uint32_t>(x * 0x0A0B0C + y * 0x50) : static_cast<uint32_t>(x + y);
        }));
        onModal<DecreaseDepthDialog>([c](DecreaseDepthDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Decrease color depth");
            EXPECT_GE(d.width(), titleBarWidth(d.windowTitle())); // a window manager shows it whole
            EXPECT_EQ(child<QRadioButton>(d, "colors256")->text(), "2&56 Colors");
            EXPECT_EQ(child<QRadioButton>(d, "colors16")->text(), "&16 Colors");
            EXPECT_EQ(child<QRadioButton>(d, "colors2")->text(), "&2 Colors (Black/White)");
            EXPECT_EQ(child<QRadioButton>(d, "colors256")->isEnabled(), c.enable256);
            EXPECT_EQ(child<QRadioButton>(d, "colors16")->isEnabled(), c.enable16);
            EXPECT_TRUE(child<QRadioButton>(d, c.checked)->isChecked());
            d.accept();
        });
        w.runCommand(command::DecreaseColorDepth);
        ASSERT_TRUE(current());
        EXPECT_EQ(current().bitCount(), c.resultBits);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST_F(ImageMenuTest, DecreaseDepthCancelLeavesThePicture)
{
    MainWindow& w = startWith(makeBlock(20, 10, 24, [](int x, int) { return static_cast<uint32_t>(x * 999); }));
    const std::vector<uint8_t> before = bytesOf(current());
    onModal<DecreaseDepthDialog>([](DecreaseDepthDialog& d) {
        child<QRadioButton>(d, "colors2")->setChecked(true);
        d.reject();
    });
    w.runCommand(command::DecreaseColorDepth);
    EXPECT_EQ(bytesOf(current()), before);
}

TEST_F(ImageMenuTest, QuantizeErrorLeavesThePicture)
{
    // A 1-bit picture cannot be quantised (the menu item is disabled, but the
    // command may still arrive).
    MainWindow& w = startWith(makeBlock(20, 10, 1, [](int x, int) { return static_cast<uint32_t>(x); }));
    const std::vector<uint8_t> before = bytesOf(current());
    onModal<DecreaseDepthDialog>([](DecreaseDepthDialog& d) {
        EXPECT_FALSE(child<QRadioButton>(d, "colors256")->isChecked());
        EXPECT_FALSE(child<QRadioButton>(d, "colors16")->isChecked());
        EXPECT_FALSE(child<QRadioButton>(d, "colors2")->isChecked());
        d.accept();
    });
    w.runCommand(command::DecreaseColorDepth);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Quantize error !");
    EXPECT_EQ(bytesOf(current()), before);
}

// ---------------------------------------------------------------------------
// Resize and resample

TEST_F(ImageMenuTest, SizeDialogPresetKeepsTheAspectAndResizes)
{
    MainWindow& w = startWith(makeBlock(1000, 500, 8, [](int x, int) { return static_cast<uint32_t>(x % 256); }));
    onModal<SizeDialog>([](SizeDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Resize image");
        EXPECT_EQ(child<QLabel>(d, "currentSize")->text(), "Current size:   1000  x  500");
        EXPECT_EQ(child<QLineEdit>(d, "width")->text(), "1000");
        EXPECT_EQ(child<QLineEdit>(d, "height")->text(), "500");
        EXPECT_TRUE(child<QCheckBox>(d, "aspectLock")->isChecked()); // the default
        EXPECT_EQ(child<QCheckBox>(d, "aspectLock")->text(), "&Preserve aspect ratio");
        buttonWithText(d, "640 x 480 Pixels")->click();
        EXPECT_EQ(child<QLineEdit>(d, "width")->text(), "640");
        EXPECT_EQ(child<QLineEdit>(d, "height")->text(), "320");
        d.accept();
    });
    w.runCommand(command::ResizeImage);
    ASSERT_TRUE(current());
    EXPECT_EQ(current().width(), 640);
    EXPECT_EQ(current().height(), 320);
    EXPECT_EQ(current().bitCount(), 8);
    EXPECT_EQ(pixelAt(current(), 639, 0), (639u * 1000 / 640) % 256);
    EXPECT_EQ(w.view()->viewport()->width(), 640);
}

TEST_F(ImageMenuTest, SizeDialogRecomputesTheFieldThatGetsTheFocus)
{
    MainWindow& w = startWith(makeBlock(300, 200, 24, [](int, int) { return 0x808080u; }));
    onModal<SizeDialog>([](SizeDialog& d) {
        QLineEdit* width = child<QLineEdit>(d, "width");
        QLineEdit* height = child<QLineEdit>(d, "height");
        width->setText("151");
        focusIn(height);
        EXPECT_EQ(height->text(), "101"); // 100.67
        EXPECT_EQ(height->selectedText(), "101");
        height->setText("45");
        focusIn(width);
        EXPECT_EQ(width->text(), "68"); // 67.5 rounds up
        // Unlocked, focus changes nothing.
        child<QCheckBox>(d, "aspectLock")->setChecked(false);
        height->setText("7");
        focusIn(width);
        EXPECT_EQ(width->text(), "68");
        d.accept();
    });
    w.runCommand(command::ResizeImage);
    EXPECT_EQ(current().width(), 68);
    EXPECT_EQ(current().height(), 7);
    EXPECT_EQ(SettingsFile(dir.file("P_RAND32.INI")).readInt(settings::ResizeAspectRatio), 0);
}

TEST_F(ImageMenuTest, SizeDialogEnterAfterTypingAWidthKeepsTheAspect)
{
    MainWindow& w = startWith(makeBlock(768, 512, 24, [](int, int) { return 0x808080u; }));
    onModal<SizeDialog>([](SizeDialog& d) {
        QLineEdit* width = child<QLineEdit>(d, "width");
        width->selectAll();
        QTest::keyClicks(width, "400");
        QTest::keyClick(width, Qt::Key_Return);
    });
    w.runCommand(command::ResizeImage);
    EXPECT_EQ(current().width(), 400);
    EXPECT_EQ(current().height(), 267);
}

TEST_F(ImageMenuTest, SizeDialogBestFitUsesTheScreensFitArea)
{
    DisplayMetrics m = desktop1024();
    m.fullScreenHeight = 725; // a fit area of 1018 x 700
    metrics.set(m);
    MainWindow& w = startWith(makeBlock(40, 40, 24, [](int, int) { return 0x102030u; }));
    onModal<SizeDialog>([](SizeDialog& d) {
        buttonWithText(d, "Best fit to desktop")->click();
        EXPECT_EQ(child<QLineEdit>(d, "width")->text(), "700");
        EXPECT_EQ(child<QLineEdit>(d, "height")->text(), "700");
        buttonWithText(d, "50 %")->click();
        EXPECT_EQ(child<QLineEdit>(d, "width")->text(), "350");
        d.reject();
    });
    w.runCommand(command::ResizeImage);
    EXPECT_EQ(current().width(), 40); // cancelled
}

TEST_F(ImageMenuTest, ResizingAZoomedPictureShowsItAtHundredPercent)
{
    MainWindow& w = startWith(makeBlock(40, 30, 24, [](int, int) { return 0x00FF00u; }));
    w.runCommand(command::ZoomIn);
    ASSERT_EQ(w.displayState().zoom, 200);
    onModal<SizeDialog>([](SizeDialog& d) {
        buttonWithText(d, "200 %")->click();
        d.accept();
    });
    w.runCommand(command::ResizeImage);
    EXPECT_EQ(w.displayState().zoom, 100);
    EXPECT_EQ(w.viewer().zoomStep(), 0);
    EXPECT_EQ(current().width(), 80);
    EXPECT_EQ(w.view()->viewport()->height(), 60);
}

TEST_F(ImageMenuTest, ResamplingAOneBitPictureGivesSixteenColours)
{
    MainWindow& w = startWith(makeBlock(16, 16, 1, [](int x, int y) { return static_cast<uint32_t>((x + y) % 2); }));
    onModal<SizeDialog>([](SizeDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Resample image (Smooth)");
        child<QLineEdit>(d, "width")->setText("8");
        child<QLineEdit>(d, "height")->setText("8");
        d.accept();
    });
    w.runCommand(command::ResampleImage);
    ASSERT_TRUE(current());
    EXPECT_EQ(current().bitCount(), 4);
    EXPECT_EQ(current().colorsUsed(), 16u);
    EXPECT_EQ(current().width(), 8);
}

TEST_F(ImageMenuTest, ResizeAndResampleFailuresKeepThePictureAndTheWindow)
{
    for (int id : {command::ResizeImage, command::ResampleImage}) {
        MainWindow& w = startWith(makeBlock(30, 20, 24, [](int x, int y) { return 0x123456u + x + 256u * y; }));
        const std::vector<uint8_t> before = bytesOf(current());
        const std::string path = w.currentImage().path;
        const QSize size = w.size();
        ui.messages.clear();
        onModal<SizeDialog>([](SizeDialog& d) {
            child<QCheckBox>(d, "aspectLock")->setChecked(false);
            child<QLineEdit>(d, "width")->setText("999999");
            child<QLineEdit>(d, "height")->setText("999999"); // far beyond what a block may hold
            d.accept();
        });
        w.runCommand(id);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, id == command::ResizeImage ? "Resize error !" : "Resample error !");
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(bytesOf(current()), before);
        EXPECT_EQ(w.currentImage().path, path);
        EXPECT_EQ(w.currentImage().currentWidth, 30);
        EXPECT_EQ(w.size(), size);
    }
}

// ---------------------------------------------------------------------------
// Colour commands

TEST_F(ImageMenuTest, GreyscaleNegativeAndSwapsRepaint)
{
    MainWindow& w = startWith(makeBlock(4, 4, 24, [](int, int) { return 0xFF0000u; })); // pure red
    w.runCommand(command::SwapBgr);
    EXPECT_EQ(grabPicture().pixel(1, 1) & 0xFFFFFF, 0x0000FFu);
    w.runCommand(command::SwapBrg); // new red = old green (0), green = old blue (255), blue = old red (0)
    EXPECT_EQ(grabPicture().pixel(1, 1) & 0xFFFFFF, 0x00FF00u);
    w.runCommand(command::SwapGbr);
    EXPECT_EQ(grabPicture().pixel(1, 1) & 0xFFFFFF, 0x0000FFu);
    w.runCommand(command::SwapRbg);
    EXPECT_EQ(grabPicture().pixel(1, 1) & 0xFFFFFF, 0x00FF00u);
    w.runCommand(command::SwapGrb);
    EXPECT_EQ(grabPicture().pixel(1, 1) & 0xFFFFFF, 0xFF0000u);
    w.runCommand(command::Negative);
    EXPECT_EQ(grabPicture().pixel(1, 1) & 0xFFFFFF, 0x00FFFFu);
    w.runCommand(command::Negative);
    w.runCommand(command::Greyscale);
    ASSERT_EQ(current().bitCount(), 8);
    EXPECT_EQ(pixelAt(current(), 0, 0), 76u);
    EXPECT_EQ(grabPicture().pixel(1, 1) & 0xFFFFFF, 0x4C4C4Cu);
}

TEST_F(ImageMenuTest, PalettedNegativeRepaintsAFourBitPicture)
{
    MainWindow& w = startWith(makeBlock(6, 2, 4, [](int, int) { return 15u; }));
    const ColorEntry before = current().colorTable()[15];
    grabPicture(); // the 4-bit expansion is cached now
    w.runCommand(command::Negative);
    const QRgb painted = grabPicture().pixel(1, 1);
    EXPECT_EQ(qRed(painted), 255 - before.red);
    EXPECT_EQ(qBlue(painted), 255 - before.blue);
}

// ---------------------------------------------------------------------------
// Preview dialogs

TEST_F(ImageMenuTest, BrightnessPreviewReplacesThePictureAndOkKeepsIt)
{
    MainWindow& w = startWith(makeBlock(5, 5, 24, [](int, int) { return 0x646464u; }));
    onModal<AdjustmentDialog>([this](AdjustmentDialog& d) {
        EXPECT_EQ(d.objectName(), "BrightnessDlg");
        EXPECT_EQ(d.windowTitle(), "Brightness");
        QScrollBar* bar = d.scrollBar();
        EXPECT_EQ(bar->minimum(), -255);
        EXPECT_EQ(bar->maximum(), 255);
        EXPECT_EQ(bar->singleStep(), 1);
        EXPECT_EQ(bar->pageStep(), 5);
        EXPECT_EQ(d.valueText(), "0");
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(d.valueText(), "6");
        EXPECT_EQ(pixelAt(current(), 0, 0), 0x6A6A6Au); // 100 + 6, shown at once
        EXPECT_EQ(grabPicture().pixel(2, 2) & 0xFFFFFF, 0x6A6A6Au);
        d.accept();
    });
    w.runCommand(command::Brightness);
    EXPECT_EQ(pixelAt(current(), 0, 0), 0x6A6A6Au);
}

TEST_F(ImageMenuTest, StepsThatWouldLeaveTheRangeAreIgnored)
{
    MainWindow& w = startWith(makeBlock(5, 5, 8, [](int, int) { return 3u; }));
    onModal<AdjustmentDialog>([](AdjustmentDialog& d) {
        QScrollBar* bar = d.scrollBar();
        EXPECT_EQ(d.objectName(), "ContrastDlg");
        bar->setValue(126);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd); // 131 is out
        EXPECT_EQ(bar->value(), 126);
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(bar->value(), 128);
        EXPECT_EQ(d.valueText(), "128");
        bar->setValue(-126);
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        EXPECT_EQ(bar->value(), -126);
        d.reject();
    });
    w.runCommand(command::Contrast);
}

TEST_F(ImageMenuTest, DraggingShowsTheValueAndReleasingTakesIt)
{
    MainWindow& w = startWith(makeBlock(5, 5, 24, [](int, int) { return 0x404040u; }));
    onModal<AdjustmentDialog>([this](AdjustmentDialog& d) {
        EXPECT_EQ(d.objectName(), "GammaCorrectionDlg");
        QScrollBar* bar = d.scrollBar();
        EXPECT_EQ(bar->minimum(), 1);
        EXPECT_EQ(bar->maximum(), 699);
        EXPECT_EQ(d.valueText(), "1.00");
        // The scale's "1.00" stands under the thumb at 1.00, near the left end.
        int scaleLabels = 0;
        for (QLabel* label : d.findChildren<QLabel*>()) {
            if (label->text() == "1.00" && label->objectName() != "value") {
                ++scaleLabels;
                EXPECT_LT(label->mapTo(&d, label->rect().center()).x(), bar->mapTo(&d, QPoint()).x() + bar->width() / 4);
            }
        }
        EXPECT_EQ(scaleLabels, 1);
        bar->setSliderDown(true);
        bar->setSliderPosition(200);
        EXPECT_EQ(d.valueText(), "2.00");
        EXPECT_EQ(pixelAt(current(), 0, 0), 0x404040u); // not yet taken
        bar->setSliderDown(false);
        EXPECT_EQ(pixelAt(current(), 0, 0), 0x808080u); // gamma 2 maps 64 to 128
        d.accept();
    });
    w.runCommand(command::GammaCorrection);
}

TEST_F(ImageMenuTest, CancelRestoresThePictureExactly)
{
    for (int id : {command::Brightness, command::Contrast, command::GammaCorrection}) {
        for (int bits : {4, 24}) {
            SCOPED_TRACE(id * 100 + bits);
            MainWindow& w = startWith(makeBlock(13, 7, bits, [bits](int x, int y) {
                return bits == 24 ? static_cast<uint32_t>(x * 0x112233 + y * 0x0F) : static_cast<uint32_t>(x ^ y);
            }));
            const std::vector<uint8_t> before = bytesOf(current());
            onModal<AdjustmentDialog>([this, &before](AdjustmentDialog& d) {
                d.scrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
                d.scrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
                EXPECT_NE(bytesOf(current()), before);
                d.reject();
            });
            w.runCommand(id);
            EXPECT_EQ(bytesOf(current()), before);
        }
    }
}

TEST_F(ImageMenuTest, LargePicturesAreAdjustedInTheBackgroundLatestValueWins)
{
    AdjustmentDialog::setBackgroundThreshold(0);
    MainWindow& w =
        startWith(makeBlock(300, 200, 24, [](int x, int) { return static_cast<uint32_t>(x % 200) * 0x010101u; }));
    onModal<AdjustmentDialog>([this](AdjustmentDialog& d) {
        for (int i = 0; i < 10; ++i)
            d.scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        d.settle();
        EXPECT_EQ(d.valueText(), "10");
        EXPECT_EQ(pixelAt(current(), 5, 0), 0x0F0F0Fu);
        d.scrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        d.accept(); // OK takes the copy for 15 even if it is still being made
    });
    w.runCommand(command::Brightness);
    EXPECT_EQ(pixelAt(current(), 5, 0), 0x141414u);
    EXPECT_EQ(pixelAt(current(), 199, 0), 0xD6D6D6u); // 199 + 15
}

TEST_F(ImageMenuTest, BackgroundCancelRestoresThePictureExactly)
{
    AdjustmentDialog::setBackgroundThreshold(0);
    MainWindow& w = startWith(makeBlock(300, 200, 24, [](int x, int y) { return static_cast<uint32_t>(x * 77 + y); }));
    const std::vector<uint8_t> before = bytesOf(current());
    onModal<AdjustmentDialog>([](AdjustmentDialog& d) {
        for (int i = 0; i < 5; ++i)
            d.scrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        d.reject();
    });
    w.runCommand(command::Contrast);
    QTest::qWait(20); // a late result must not come back
    EXPECT_EQ(bytesOf(current()), before);
}

// ---------------------------------------------------------------------------
// Palette editor

TEST_F(ImageMenuTest, PaletteEditorSelectsByClickAndWritesTheEntry)
{
    MainWindow& w = startWith(makeBlock(4, 4, 8, [](int x, int) { return static_cast<uint32_t>(x + 16); }));
    int asked = 0;
    QColor offered;
    ImageMenu::colorChooser = [&](QColor initial, QWidget*) -> std::optional<QColor> {
        ++asked;
        offered = initial;
        return QColor(10, 20, 30);
    };
    onModal<PaletteDialog>([this](PaletteDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Palette entries");
        PaletteGridWidget* grid = d.grid();
        const PaletteGrid geometry(grid->width(), grid->height());
        const GridCell cell = geometry.cell(17);
        QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(cell.left + cell.width - 1, cell.top));
        EXPECT_EQ(d.selected(), 17);
        EXPECT_EQ(d.indexText(), "Index: 17");
        const ColorEntry entry = current().colorTable()[17];
        EXPECT_EQ(d.valueText().toStdString(), paletteValueText(entry.red, entry.green, entry.blue));
        // The red frame sits around the selected cell.
        const QImage shown = grid->grab().toImage();
        EXPECT_EQ(shown.pixel(cell.left - 1, cell.top + 5) & 0xFFFFFF, 0xFF0000u);
        QTest::mouseDClick(grid, Qt::LeftButton, {}, QPoint(cell.left, cell.top + cell.height - 1));
        d.accept();
    });
    w.runCommand(command::EditPalette);
    EXPECT_EQ(asked, 1);
    const ColorEntry written = current().colorTable()[17];
    EXPECT_EQ(written, (ColorEntry{30, 20, 10, 0}));
    EXPECT_EQ(grabPicture().pixel(1, 1) & 0xFFFFFF, 0x0A141Eu); // pixel x = 1 uses entry 17
}

TEST_F(ImageMenuTest, PaletteEditorIgnoresClicksBeyondTheTable)
{
    MainWindow& w = startWith(makeBlock(4, 4, 1, [](int x, int) { return static_cast<uint32_t>(x); }));
    onModal<PaletteDialog>([](PaletteDialog& d) {
        const PaletteGrid geometry(d.grid()->width(), d.grid()->height());
        QTest::mouseClick(d.grid(), Qt::LeftButton, {}, QPoint(geometry.cell(1).left, geometry.cell(1).top));
        EXPECT_EQ(d.selected(), 1);
        QTest::mouseClick(d.grid(), Qt::LeftButton, {}, QPoint(geometry.cell(2).left, geometry.cell(2).top));
        EXPECT_EQ(d.selected(), 1);
        d.reject();
    });
    w.runCommand(command::EditPalette);
}

TEST_F(ImageMenuTest, PaletteEditorShowsOnlyTheEntriesTheTableHolds)
{
    MainWindow& w = start();
    // An 8-bit picture with a 16-entry table: entry 16 onwards would be
    // pixel bytes, not colours.
    ImageBlock block = ImageBlock::create(4, 4, 8, 16);
    for (int i = 0; i < 16; ++i)
        block.colorTable()[i] = ColorEntry{static_cast<uint8_t>(i), 0, 0, 0};
    w.currentImage().block = std::move(block);
    w.viewer().showPicture();
    const std::vector<uint8_t> before = bytesOf(current());
    ImageMenu::colorChooser = [](QColor, QWidget*) -> std::optional<QColor> { return QColor(1, 2, 3); };
    onModal<PaletteDialog>([](PaletteDialog& d) {
        const PaletteGrid geometry(d.grid()->width(), d.grid()->height());
        QTest::mouseClick(d.grid(), Qt::LeftButton, {}, QPoint(geometry.cell(15).left, geometry.cell(15).top));
        EXPECT_EQ(d.selected(), 15);
        QTest::mouseDClick(d.grid(), Qt::LeftButton, {}, QPoint(geometry.cell(16).left, geometry.cell(16).top));
        EXPECT_EQ(d.selected(), 15);
        d.accept();
    });
    w.runCommand(command::EditPalette);
    EXPECT_EQ(bytesOf(current()), before);
}

// ---------------------------------------------------------------------------
// Icon chooser

ImageBlock squareIcon(int index)
{
    const int size = 16 << index; // 16, 32, 64, 128, 256
    return makeBlock(size, size, 24, [](int, int) { return 0xFF0000u; });
}

TEST(IconChooserDialog, ListsTheLinesAndPreviewsTheHighlightedImage)
{
    const std::vector<std::string> lines = {"16 x 16  -  16 colors", "32 x 32  -  256 colors",
                                            "256 x 256  -  True color"};
    std::vector<int> loaded;
    IconChooserDialog dialog(lines, [&](int index) {
        loaded.push_back(index);
        return index == 2 ? ImageBlock() : squareIcon(index);
    }, false, nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Mutliple Icons");
    ASSERT_EQ(dialog.list()->count(), 3);
    EXPECT_EQ(dialog.list()->item(2)->text(), "256 x 256  -  True color");
    EXPECT_EQ(dialog.list()->currentRow(), 0);
    EXPECT_EQ(loaded, std::vector<int>{0});
    EXPECT_EQ(dialog.previewTimer()->interval(), 150);
    EXPECT_TRUE(dialog.previewTimer()->isSingleShot());
    EXPECT_TRUE(dialog.previewTimer()->isActive());

    dialog.list()->setCurrentRow(1);
    EXPECT_EQ(loaded.back(), 1);
    // 32 x 32 in a 130 x 130 area: not enlarged, centred in the area less 2.
    QImage shown = dialog.previewArea()->grab().toImage();
    EXPECT_EQ(shown.pixel(48, 48) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shown.pixel(79, 79) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shown.pixel(47, 47) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(shown.pixel(80, 80) & 0xFFFFFF, 0xFFFFFFu);

    dialog.list()->setCurrentRow(2); // fails to load: white with "Error"
    shown = dialog.previewArea()->grab().toImage();
    int dark = 0;
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 40; ++x)
            dark += qGray(shown.pixel(x, y)) < 128;
    EXPECT_GT(dark, 10);
    EXPECT_EQ(shown.pixel(100, 100) & 0xFFFFFF, 0xFFFFFFu);

    const int before = dialog.previewsShown();
    QTest::qWait(200);
    EXPECT_EQ(dialog.previewsShown(), before + 1); // the timer's single tick
    QTest::qWait(200);
    EXPECT_EQ(dialog.previewsShown(), before + 1);
}

TEST(IconChooserDialog, ClosingAcceptsTheHighlightedLine)
{
    IconChooserDialog dialog({"a", "b", "c"}, [](int index) { return squareIcon(index); }, false, nullptr);
    QTimer::singleShot(0, [&dialog] {
        dialog.list()->setCurrentRow(2);
        dialog.close(); // the close box
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenIndex(), 2);
    QTimer::singleShot(0, [&dialog] {
        dialog.list()->setCurrentRow(1);
        dialog.reject(); // Escape
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenIndex(), 1);
}

TEST_F(ImageMenuTest, TheDisplayPathsIconChooserIsTheDialog)
{
    MainWindow& w = start();
    IconChooser* chooser = w.iconChooser();
    ASSERT_NE(chooser, nullptr);
    onModal<IconChooserDialog>([](IconChooserDialog& d) {
        EXPECT_EQ(d.list()->count(), 2);
        d.list()->setCurrentRow(1);
        QTest::mouseClick(d.findChild<QPushButton*>("accept"), Qt::LeftButton);
    });
    EXPECT_EQ(chooser->chooseIcon(dir.file("none.ico"), {"16 x 16  -  2 colors", "32 x 32  -  True color"}), 1);
}

Result<DecodedImage> fakeIconReader(const ReadRequest& request)
{
    const int index = request.optionsFor<IconReadOptions>().index;
    if (index < 0 || index > 2)
        return Failure{Reason::CorruptData, "no such image"};
    DecodedImage decoded;
    decoded.block = squareIcon(index);
    return decoded;
}

TEST_F(ImageMenuTest, ChooserPreviewsReadTheImageOfTheLine)
{
    CodecRegistry& registry = CodecRegistry::instance();
    const ReaderFunction saved = registry.reader(ImageFormat::Icon);
    registry.registerReader(ImageFormat::Icon, &fakeIconReader);
    MainWindow& w = start();
    onModal<IconChooserDialog>([](IconChooserDialog& d) {
        ASSERT_TRUE(d.previewArea()->picture());
        EXPECT_EQ(d.previewArea()->picture().width(), 16);
        d.list()->setCurrentRow(2);
        ASSERT_TRUE(d.previewArea()->picture());
        EXPECT_EQ(d.previewArea()->picture().width(), 64);
        d.list()->setCurrentRow(3);
        EXPECT_FALSE(d.previewArea()->picture()); // "Error"
        d.list()->setCurrentRow(1);
        d.close();
    });
    // The previews are read as any picture is: the file is an icon by its
    // first bytes.
    const std::string icon = dir.file("any.ico");
    testing::writeFile(icon, {0, 0, 1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(w.iconChooser()->chooseIcon(icon, {"a", "b", "c", "d"}), 1);
    registry.registerReader(ImageFormat::Icon, saved);
}

TEST_F(ImageMenuTest, OpeningAMultiImageIconAsksWhichImage)
{
    if (!CodecRegistry::instance().reader(ImageFormat::Icon))
        GTEST_SKIP() << "the icon reader is not in this build";
    REQUIRE_TOOLS("convert");
    const std::string path = dir.file("three.ico");
    ASSERT_EQ(testing::runCommand("convert -size 16x16 xc:red -size 32x32 xc:lime -size 48x48 xc:blue " + path), 0);
    MainWindow& w = start();
    std::vector<QString> lines;
    onModal<IconChooserDialog>([&lines](IconChooserDialog& d) {
        for (int i = 0; i < d.list()->count(); ++i)
            lines.push_back(d.list()->item(i)->text());
        d.list()->setCurrentRow(1);
        d.close(); // closing takes the highlighted image, not the first
    });
    ASSERT_TRUE(w.openFile(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].startsWith("16 x 16  -  ")) << lines[0].toStdString();
    EXPECT_EQ(current().width(), 32);
}

} // namespace
} // namespace pictorand
