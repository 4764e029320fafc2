// The viewer driven by command ids and keys, headless, on a fixed display.

#include "core/codec_registry.h"
#include "dispatch/save_dispatch.h"
#include "ops/color_table.h"
#include "tools/painting/block_image.h"
#include "shell/full_screen_window.h"
#include "shell/main_window.h"
#include "shell/picture_view.h"
#include "shell/startup.h"
#include "platform/settings_keys.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

namespace pictorand {
namespace {

using testing::desktop1024;
using testing::ScratchDir;
using testing::ScriptedFileDialogs;
using testing::ScriptedUserInterface;

// A block of the given depth whose pixel (x, y), counted from the top, has
// colour index (or, for 24 bits, the colour) given by `pixel`.
ImageBlock makeBlock(int width, int height, int bits, const std::vector<ColorEntry>& table,
                     const std::function<uint32_t(int, int)>& pixel)
{
    const uint32_t colours = bits == 24 ? 0u : (1u << bits);
    ImageBlock block = ImageBlock::create(width, height, static_cast<uint16_t>(bits), colours);
    for (uint32_t i = 0; i < colours && i < table.size(); ++i)
        block.colorTable()[i] = table[i];
    for (int y = 0; y < height; ++y) {
        uint8_t* row = block.topRow(y);
        for (int x = 0; x < width; ++x) {
            uint32_t value = pixel(x, y);
            switch (bits) {
            case 1:
                if (value)
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<uint8_t>((x % 2) ? value : value << 4);
                break;
            case 8:
                row[x] = static_cast<uint8_t>(value);
                break;
            default:
                row[x * 3] = static_cast<uint8_t>(value);          // blue
                row[x * 3 + 1] = static_cast<uint8_t>(value >> 8);  // green
                row[x * 3 + 2] = static_cast<uint8_t>(value >> 16); // red
            }
        }
    }
    return block;
}

ImageBlock solidBlock(int width, int height, uint32_t rgb)
{
    return makeBlock(width, height, 24, {}, [rgb](int, int) { return rgb; });
}

class Viewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedDirectory = std::filesystem::current_path();
        metrics.set(desktop1024());
    }
    void TearDown() override
    {
        window.reset();
        std::filesystem::current_path(m_savedDirectory);
    }

    std::string settingsPath() const { return dir.file("P_RAND32.INI"); }
    SettingsFile settings() const { return SettingsFile(settingsPath()); }

    MainWindow& start(ViewerOptions options = {})
    {
        ViewerServices services;
        services.metrics = &metrics;
        services.ui = &ui;
        services.dialogs = &dialogs;
        services.settingsPath = settingsPath();
        window = std::make_unique<MainWindow>(services, options);
        window->show();
        return *window;
    }

    std::string writeBmp(const std::string& name, const ImageBlock& block)
    {
        std::string path = dir.file(name);
        SilentUserInterface silent;
        EXPECT_TRUE(SaveImage(block, silent, path, false)) << path;
        return path;
    }

    QImage grabPicture()
    {
        return window->view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // Pixels of row y whose colour is `rgb`.
    static int countInRow(const QImage& image, int y, QRgb rgb)
    {
        int count = 0;
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
        return count;
    }

    static void press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        testing::pressKey(target, key, modifiers);
    }

    ScratchDir dir;
    FixedSystemMetrics metrics{DisplayMetrics{}};
    ScriptedUserInterface ui;
    ScriptedFileDialogs dialogs;
    std::unique_ptr<MainWindow> window;

private:
    std::filesystem::path m_savedDirectory;
};

TEST_F(Viewer, StartsAsAnEmptyWindowOfSixThirteenthsOfTheScreen)
{
    MainWindow& w = start();
    EXPECT_EQ(w.windowTitle(), "Pictorand32");
    // Outer 468 x 354 less the decorations fx + fx / 2 and cap + fy + fy / 2.
    EXPECT_EQ(w.width(), 468 - 6);
    EXPECT_EQ(w.height(), 354 - 24);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_NE(w.minimumSize(), w.maximumSize()) << "the user may size it";
}

TEST_F(Viewer, WindowPositionComesFromTheSettingsClampedToTheWorkArea)
{
    settings().writeInt(settings::XKoord, -50);
    settings().writeInt(settings::YKoord, 40);
    MainWindow& w = start();
    EXPECT_EQ(w.storedWindowPosition(), QPoint(0, 40));
}

TEST_F(Viewer, WindowIsSizedToThePictureByTheFormulas)
{
    MainWindow& w = start();
    const QPoint at = w.pos();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(600, 400, 0xFF0000))));
    WindowLayout expected = sizeWindowToPicture(desktop1024(), 600, 400, at.x(), at.y(), 468);
    EXPECT_EQ(w.lastLayout().width, expected.width);
    EXPECT_EQ(w.lastLayout().height, expected.height);
    EXPECT_EQ(w.width(), 600); // the picture exactly, no scroll bar
    EXPECT_EQ(w.view()->viewport()->width(), 600);
}

TEST_F(Viewer, BigPicturesScrollInBothDirections)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("big.bmp", solidBlock(1100, 800, 0x00FF00))));
    EXPECT_TRUE(w.lastLayout().horizontalScroll);
    EXPECT_TRUE(w.lastLayout().verticalScroll);
    EXPECT_EQ(w.view()->horizontalScrollBar()->maximum(), w.lastLayout().horizontalRange);
    EXPECT_EQ(w.view()->verticalScrollBar()->maximum(), w.lastLayout().verticalRange);
    // Down by a line: a thirtieth of the client height.
    const int extent = w.view()->viewport()->height();
    press(&w, Qt::Key_Down);
    EXPECT_EQ(w.view()->scrollPosition().y(), std::min(extent / 30, w.lastLayout().verticalRange));
    press(&w, Qt::Key_End); // a page right: half the client width
    EXPECT_EQ(w.view()->scrollPosition().x(),
              std::min(w.view()->viewport()->width() / 2, w.lastLayout().horizontalRange));
}

TEST_F(Viewer, ZoomTwoHundredPaintsFifteenPixelsAsThirty)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(15, 10, 0xFF0000))));
    press(&w, Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(w.displayState().zoom, 200);
    QImage painted = grabPicture();
    EXPECT_EQ(countInRow(painted, 0, qRgb(255, 0, 0)), 30);
    EXPECT_EQ(countInRow(painted, 19, qRgb(255, 0, 0)), 30);
    EXPECT_EQ(countInRow(painted, 20, qRgb(255, 0, 0)), 0);
    EXPECT_EQ(w.windowTitle(), "a.bmp - 200 % (30 x 20)");
}

TEST_F(Viewer, ZoomTenPercentPaintsTwentyFivePixelsAsTwo)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(25, 25, 0x0000FF))));
    for (int i = 0; i < 9; ++i)
        w.runCommand(command::ZoomOut);
    EXPECT_EQ(w.displayState().zoom, 10);
    EXPECT_TRUE(ui.messages.empty());
    QImage painted = grabPicture();
    EXPECT_EQ(countInRow(painted, 0, qRgb(0, 0, 255)), 2);
    EXPECT_EQ(w.windowTitle(), "a.bmp - 10 % (2 x 2)");
    w.runCommand(command::ZoomOut);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "This is the minimum !");
    EXPECT_EQ(w.displayState().zoom, 10);
}

TEST_F(Viewer, NinthZoomStepIsAThousandPercentAndTheTenthIsRefused)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(4, 3, 0x808080))));
    for (int i = 0; i < 9; ++i)
        w.runCommand(command::ZoomIn);
    EXPECT_EQ(w.displayState().zoom, 1000);
    EXPECT_TRUE(ui.messages.empty());
    w.runCommand(command::ZoomIn);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "This is the maximum !");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    // Zooming never touches the block.
    EXPECT_EQ(w.currentImage().block.width(), 4);
}

TEST_F(Viewer, TitleAtZoomHundredNamesSizeAndDepth)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("rose.bmp", solidBlock(15, 10, 0xFF0000))));
    grabPicture();
    EXPECT_EQ(w.windowTitle(), "Pictorand32 - rose.bmp (15 x 10 x 24BPP)");
}

TEST_F(Viewer, CustomTitleReplacesTheTitle)
{
    ViewerOptions options;
    options.customTitle = true;
    options.title = "Holiday";
    MainWindow& w = start(options);
    ASSERT_TRUE(w.openFile(writeBmp("rose.bmp", solidBlock(15, 10, 0xFF0000))));
    grabPicture();
    EXPECT_EQ(w.windowTitle(), "Pictorand32 - Holiday");
}

TEST_F(Viewer, PaintsEveryDepthLikeItsColourTable)
{
    const std::vector<ColorEntry> table = {
        {0, 0, 0, 0},     {255, 255, 255, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},   {255, 0, 0, 0},  {0, 255, 255, 0},
        {255, 0, 255, 0}, {255, 255, 0, 0},   {10, 20, 30, 0},  {40, 50, 60, 0},  {70, 80, 90, 0}, {1, 2, 3, 0},
        {4, 5, 6, 0},     {7, 8, 9, 0},       {11, 12, 13, 0},  {200, 100, 50, 0},
    };
    struct DepthCase {
        int bits;
        std::function<uint32_t(int, int)> pixel;
    };
    const DepthCase cases[] = {
        {1, [](int x, int y) { return static_cast<uint32_t>((x + y) % 2); }},
        {4, [](int x, int y) { return static_cast<uint32_t>((x * 3 + y) % 16); }},
        {8, [](int x, int y) { return static_cast<uint32_t>((x + y * 2) % 16); }},
        {24, [](int x, int y) { return static_cast<uint32_t>(x * 40 << 16 | y * 30 << 8 | (x ^ y) * 9); }},
    };
    for (const DepthCase& c : cases) {
        SCOPED_TRACE(c.bits);
        ImageBlock block = makeBlock(7, 5, c.bits, table, c.pixel);
        testing::RgbImage expected = testing::blockToRgb(block);
        MainWindow& w = start();
        ASSERT_TRUE(w.openFile(writeBmp("d" + std::to_string(c.bits) + ".bmp", block)));
        EXPECT_EQ(w.currentImage().block.bitCount(), c.bits);
        QImage painted = grabPicture();
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const uint8_t* rgb = expected.at(x, y);
                ASSERT_EQ(painted.pixel(x, y) & 0xFFFFFF, qRgb(rgb[0], rgb[1], rgb[2]) & 0xFFFFFF)
                    << x << "," << y;
            }
        // Beside the picture: the light grey of the window.
        EXPECT_EQ(painted.pixel(8, 1) & 0xFFFFFF, qRgb(192, 192, 192) & 0xFFFFFF);
    }
}

TEST_F(Viewer, TwentyFourBitBlocksArePaintedWithoutACopy)
{
    ImageBlock block = solidBlock(9, 4, 0x123456);
    std::vector<uint8_t> scratch;
    QImage image = blockImage(block, {}, scratch);
    EXPECT_EQ(image.constBits(), block.pixels());
    EXPECT_TRUE(scratch.empty());
}

TEST_F(Viewer, PaletteDisplayShowsTrueColourThroughTwoHundredFiftySixColours)
{
    metrics.set(desktop1024(8));
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", makeBlock(16, 16, 24, {}, [](int x, int y) {
                                        return static_cast<uint32_t>(x * 16 << 16 | y * 16 << 8 | 0x40);
                                    }))));
    ASSERT_TRUE(w.viewer().paletteDisplay());
    EXPECT_EQ(w.currentImage().block.bitCount(), 8);
    EXPECT_EQ(w.currentImage().originalBitCount, 24);
    // What is painted is the block's logical palette, index by index.
    const QList<QRgb> palette = logicalPalette(w.currentImage().block);
    ASSERT_EQ(palette.size(), static_cast<qsizetype>(colorCount(w.currentImage().block)));
    QImage painted = grabPicture();
    const ImageBlock& block = w.currentImage().block;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(painted.pixel(x, y) & 0xFFFFFF, palette[block.topRow(y)[x]] & 0xFFFFFF);
}

TEST_F(Viewer, LogicalPaletteFollowsTheColourCountRule)
{
    ImageBlock block = ImageBlock::create(2, 2, 8, 3);
    block.setColor(2, 9, 8, 7);
    QList<QRgb> palette = logicalPalette(block);
    ASSERT_EQ(palette.size(), 3);
    EXPECT_EQ(palette[2], qRgb(9, 8, 7));
    EXPECT_TRUE(logicalPalette(solidBlock(2, 2, 0)).isEmpty());
    // An index past a short table paints black.
    block.topRow(0)[0] = 200;
    std::vector<uint8_t> scratch;
    QImage image = blockImage(block, palette, scratch);
    EXPECT_EQ(image.color(200), qRgb(0, 0, 0));
}

TEST_F(Viewer, StartupShowsThePictureReadAheadAndLetsItGo)
{
    const std::string path = writeBmp("start.bmp", solidBlock(40, 30, 0x0000FF));
    std::unique_ptr<ReadAhead> ahead =
        ReadAhead::start({LoadSource{path}, LoadPurpose::View, loadOptionsFromSettings(settings())});
    ASSERT_NE(ahead, nullptr);
    ViewerServices services;
    services.metrics = &metrics;
    services.ui = &ui;
    services.dialogs = &dialogs;
    services.settingsPath = settingsPath();
    StartupResult result = startViewer({path}, services, std::move(ahead));
    ASSERT_TRUE(result.window);
    MainWindow& w = *result.window;
    ASSERT_TRUE(w.currentImage().block);
    EXPECT_EQ(w.currentImage().block.width(), 40);
    EXPECT_EQ(w.currentImage().block.height(), 30);
    EXPECT_EQ(w.currentImage().path, path);
    EXPECT_FALSE(w.readAhead() && w.readAhead()->ready(path)) << "the first load spends it";
    EXPECT_TRUE(ui.messages.empty());
    QImage painted = w.view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted.pixel(0, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(painted.pixel(39, 29) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(Viewer, ReadAheadStartsOnlyForAFileToShow)
{
    const std::string path = writeBmp("ahead.bmp", solidBlock(4, 4, 0));
    EXPECT_NE(startReadAhead(parseCommandLine({path})), nullptr);
    EXPECT_NE(startReadAhead(parseCommandLine({path, "/fs"})), nullptr);
    EXPECT_EQ(startReadAhead(parseCommandLine({})), nullptr);
    EXPECT_EQ(startReadAhead(parseCommandLine({dir.file("")})), nullptr) << "a directory";
    EXPECT_EQ(startReadAhead(parseCommandLine({dir.file("missing.bmp")})), nullptr);
    EXPECT_EQ(startReadAhead(parseCommandLine({path, "--help"})), nullptr);
    EXPECT_EQ(startReadAhead(parseCommandLine({"--version"})), nullptr);
}

TEST_F(Viewer, SixteenColourDisplayIsRefused)
{
    metrics.set(desktop1024(4));
    ViewerServices services;
    services.metrics = &metrics;
    services.ui = &ui;
    services.settingsPath = settingsPath();
    StartupResult result = startViewer({}, services);
    EXPECT_FALSE(result.window);
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Sorry!\nThis software required more than 16 colors.\nExit.");
}

TEST_F(Viewer, FullScreenShowsSmallPicturesCentredAndUnscaled)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("vga.bmp", solidBlock(640, 480, 0xFF8000))));
    w.runCommand(command::FullScreen);
    FullScreenWindow* full = w.fullScreenWindow();
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->geometry(), QRect(0, 0, 1024, 768));
    EXPECT_EQ(full->pictureRect(), QRect(192, 144, 640, 480));
    QImage painted = full->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted.pixel(192, 144) & 0xFFFFFF, 0xFF8000u);
    EXPECT_EQ(painted.pixel(831, 623) & 0xFFFFFF, 0xFF8000u);
    EXPECT_EQ(painted.pixel(191, 300) & 0xFFFFFF, 0u);
    EXPECT_EQ(painted.pixel(832, 300) & 0xFFFFFF, 0u);
    // The name at the top left, in green.
    int green = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 100; ++x)
            green += (painted.pixel(x, y) & 0xFFFFFF) == 0x00FF00u;
    EXPECT_GT(green, 5);
    // Zoom arrives through the main window's accelerator.
    press(full, Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(full->zoom(), 200);
    EXPECT_EQ(full->pictureRect(), QRect(-0, -0, 1280, 960).translated(0, 0));
    // Any other key leaves; the main window is at zoom 100 again.
    press(full, Qt::Key_Q);
    QApplication::processEvents();
    EXPECT_EQ(w.fullScreenWindow(), nullptr);
    EXPECT_EQ(w.displayState().zoom, 100);
}

// The full-screen key table: its keys act and keep full screen up; any
// other key leaves it, and never runs the main window's command behind it.
TEST_F(Viewer, FullScreenTakesTheKeysOfItsTableAndAnyOtherKeyLeaves)
{
    MainWindow& w = start();
    writeBmp("b.bmp", solidBlock(20, 10, 0x00FF00));
    w.dropFiles({QString::fromStdString(writeBmp("a.bmp", solidBlock(640, 480, 0xFF0000)))});
    grabPicture();
    bool dialogShown = false;
    QTimer closeDialogs;
    QObject::connect(&closeDialogs, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialogShown = true;
            modal->close();
        }
    });
    closeDialogs.start(50);
    for (Qt::Key key : {Qt::Key_A, Qt::Key_B, Qt::Key_Z, Qt::Key_I, Qt::Key_G, Qt::Key_Return, Qt::Key_Escape}) {
        w.runCommand(command::FullScreen);
        ASSERT_NE(w.fullScreenWindow(), nullptr);
        press(w.fullScreenWindow(), key);
        QTest::qWait(60);
        EXPECT_EQ(w.fullScreenWindow(), nullptr) << QKeySequence(key).toString().toStdString();
        EXPECT_FALSE(dialogShown) << QKeySequence(key).toString().toStdString();
    }

    w.runCommand(command::FullScreen);
    FullScreenWindow* full = w.fullScreenWindow();
    press(full, Qt::Key_Shift); // on its way to '+'
    press(full, Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(full->zoom(), 200);
    press(full, Qt::Key_Down);
    EXPECT_GT(full->scrollPosition().y(), 0);
    press(full, Qt::Key_Minus);
    EXPECT_EQ(full->zoom(), 100);
    press(full, Qt::Key_Space);
    EXPECT_EQ(w.currentImage().block.width(), 20);
    press(full, Qt::Key_Backspace);
    EXPECT_EQ(w.currentImage().block.width(), 640);
    press(full, Qt::Key_I, Qt::AltModifier); // the desktop's, not a key that leaves
    EXPECT_EQ(w.fullScreenWindow(), full);
    EXPECT_FALSE(dialogShown);
    full->close();
}

TEST_F(Viewer, FullScreenShrinksBigPicturesToTheScreen)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("wide.bmp", solidBlock(3000, 1000, 0x0000FF))));
    w.runCommand(command::FullScreen);
    ASSERT_NE(w.fullScreenWindow(), nullptr);
    EXPECT_EQ(w.fullScreenWindow()->pictureRect(), QRect(0, 213, 1024, 341));
    w.fullScreenWindow()->close();
}

TEST_F(Viewer, DoubleClickAndEnterGoFullScreen)
{
    MainWindow& w = start();
    QTest::mouseDClick(w.view()->viewport(), Qt::LeftButton);
    EXPECT_EQ(w.fullScreenWindow(), nullptr); // nothing to show
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(20, 20, 0xFF0000))));
    QTest::mouseDClick(w.view()->viewport(), Qt::LeftButton);
    ASSERT_NE(w.fullScreenWindow(), nullptr);
    press(w.fullScreenWindow(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(w.fullScreenWindow(), nullptr);
    press(&w, Qt::Key_Return);
    EXPECT_NE(w.fullScreenWindow(), nullptr);
}

TEST_F(Viewer, AlwaysFitFitsEvenSmallPictures)
{
    settings().writeText(settings::AlwaysFit, "1");
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(100, 50, 0xFF0000))));
    // As wide as the fit area (1018), half as high, window at the work area.
    EXPECT_EQ(w.lastLayout().width, 1018 + 6);
    EXPECT_EQ(w.lastLayout().height, 509 + 19 + 18 + 6);
    EXPECT_EQ(w.lastLayout().x, 0);
    EXPECT_EQ(w.lastLayout().y, 0);
    // The block itself becomes the fitted copy.
    EXPECT_EQ(w.currentImage().block.width(), 1018);
    EXPECT_EQ(w.currentImage().block.height(), 509);
}

TEST_F(Viewer, FitForBigImagesFitsOnlyWhatDoesNotFit)
{
    settings().writeText(settings::FitForBigImages, "1");
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(1017, 100, 0xFF0000))));
    EXPECT_EQ(w.lastLayout().width, 1017 + 6); // its own size: ow = w + fx + fx / 2
    ASSERT_TRUE(w.openFile(writeBmp("b.bmp", solidBlock(1018, 100, 0xFF0000))));
    // Fitted: 1018 wide, round(1018 / 10.18) = 100 high.
    EXPECT_EQ(w.lastLayout().width, 1018 + 6);
    EXPECT_EQ(w.lastLayout().height, 100 + 19 + 18 + 6);
}

TEST_F(Viewer, BestFitTogglesTheSettingAndReloads)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(100, 50, 0xFF0000))));
    press(&w, Qt::Key_F);
    EXPECT_EQ(settings().readInt(settings::AlwaysFit), 1);
    EXPECT_TRUE(w.action(command::BestFit)->isChecked());
    EXPECT_EQ(w.lastLayout().width, 1024);
    w.runCommand(command::BestFit);
    EXPECT_EQ(settings().readInt(settings::AlwaysFit), 0);
}

// Acquire from SANE's test device through the scan dialog: the page shows
// as "<ScanImage>".
TEST_F(Viewer, AcquireShowsTheScannedPage)
{
    testing::useSaneTestDevice();
    settings().writeText(settings::ScanDevice, "test:0");
    settings().writeText(settings::ScanResolution, "10");
    MainWindow& w = start();
    QTimer pressScan;
    QObject::connect(&pressScan, &QTimer::timeout, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                if (button->text() == "&Scan" && button->isEnabled()) {
                    pressScan.stop();
                    button->click();
                }
    });
    pressScan.start(20);
    w.runCommand(command::Acquire);
    EXPECT_EQ(w.currentImage().path, kScanImagePath);
    ASSERT_TRUE(w.currentImage().block);
    EXPECT_EQ(w.currentImage().originalBitCount, w.currentImage().block.bitCount());
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;
}

TEST_F(Viewer, BestFitIsNotAvailableForThePastedPicture)
{
    MainWindow& w = start();
    w.currentImage().path = "<Clipboard>";
    w.runCommand(command::BestFit);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Not available if <Clipboard>");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
}

struct MenuDepthCase {
    int bits;
    bool to16, to256, toTrue;
};

TEST_F(Viewer, MenuStatesFollowTheDepthOfThePicture)
{
    const MenuDepthCase cases[] = {
        {1, true, true, true}, {4, false, true, true}, {8, false, false, true}, {24, false, false, false}};
    const std::vector<ColorEntry> table(256, ColorEntry{1, 2, 3, 0});
    for (const MenuDepthCase& c : cases) {
        SCOPED_TRACE(c.bits);
        MainWindow& w = start();
        ASSERT_TRUE(w.openFile(writeBmp("m.bmp", makeBlock(8, 8, c.bits, table, [](int, int) { return 1u; }))));
        grabPicture();
        w.updateMenuState();
        EXPECT_EQ(w.action(command::IncreaseTo16Colors)->isEnabled(), c.to16);
        EXPECT_EQ(w.action(command::IncreaseTo256Colors)->isEnabled(), c.to256);
        EXPECT_EQ(w.action(command::IncreaseToTrueColor)->isEnabled(), c.toTrue);
        EXPECT_TRUE(w.action(command::SaveAs)->isEnabled());
        EXPECT_TRUE(w.action(command::Reopen)->isEnabled());
        EXPECT_TRUE(w.action(command::RotateLeft)->isEnabled());
    }
}

TEST_F(Viewer, IncreaseDepthReplacesTheBlock)
{
    MainWindow& w = start();
    const std::vector<ColorEntry> table = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    ASSERT_TRUE(w.openFile(writeBmp("m.bmp", makeBlock(9, 3, 1, table, [](int x, int) { return x % 2u; }))));
    w.runCommand(command::IncreaseTo16Colors);
    EXPECT_EQ(w.currentImage().block.bitCount(), 4);
    w.runCommand(command::IncreaseTo16Colors); // nothing for 4 bits, and silent
    EXPECT_EQ(w.currentImage().block.bitCount(), 4);
    w.runCommand(command::IncreaseToTrueColor);
    EXPECT_EQ(w.currentImage().block.bitCount(), 24);
    EXPECT_TRUE(ui.messages.empty());
    grabPicture();
    EXPECT_EQ(w.windowTitle(), "Pictorand32 - m.bmp (9 x 3 x 24BPP)");
}

TEST_F(Viewer, CommandsNeedingAPictureSayNoPicture)
{
    MainWindow& w = start();
    for (int id : {command::IncreaseTo16Colors, command::IncreaseTo256Colors, command::IncreaseToTrueColor,
                   command::SaveAs}) {
        ui.messages.clear();
        w.runCommand(id);
        ASSERT_EQ(ui.messages.size(), 1u) << id;
        EXPECT_EQ(ui.messages[0].text, "No picture !");
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    }
    EXPECT_TRUE(dialogs.requests.empty());
}

TEST_F(Viewer, DisabledAcceleratorsDoNothing)
{
    MainWindow& w = start();
    press(&w, Qt::Key_S); // Save as, disabled without a picture
    press(&w, Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(dialogs.requests.empty());
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(10, 10, 0xFF0000))));
    press(&w, Qt::Key_S); // now it opens the Save-as dialog (cancelled)
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Save Picture As ...");
    EXPECT_EQ(dialogs.requests[0].proposedName, "a");
}

TEST_F(Viewer, SaveAsWritesTheChosenType)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(10, 10, 0xFF0000))));
    dialogs.results.push_back(FileDialogResult{dir.file("copy"), 3});
    w.runCommand(command::SaveAs);
    EXPECT_TRUE(testing::fileExists(dir.file("copy.bmp")));
    EXPECT_EQ(settings().readInt(settings::SaveIndex), 3);
}

TEST_F(Viewer, SaveAsRefusesAWrongExtensionThenAsksBeforeReplacing)
{
    MainWindow& w = start();
    const std::string original = writeBmp("a.bmp", solidBlock(10, 10, 0xFF0000));
    ASSERT_TRUE(w.openFile(original));
    dialogs.results.push_back(FileDialogResult{dir.file("a.png"), 3});
    dialogs.results.push_back(FileDialogResult{original, 3});
    ui.answers.push_back(false);
    w.runCommand(command::SaveAs);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Sorry, incorrect extension !");
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "Replace file: " + original + " ?\n");
    EXPECT_TRUE(ui.questionDefaultNo[0]);
    EXPECT_FALSE(testing::fileExists(dir.file("a.png")));
}

TEST_F(Viewer, OpenLoadsTheChosenFile)
{
    MainWindow& w = start();
    const std::string path = writeBmp("pick.bmp", solidBlock(30, 20, 0x00FF00));
    dialogs.results.push_back(FileDialogResult{path, 4});
    press(&w, Qt::Key_O);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Open");
    EXPECT_EQ(dialogs.requests[0].types.size(), openDialogTypes().size());
    ASSERT_TRUE(w.currentImage().block);
    EXPECT_EQ(w.currentImage().block.width(), 30);
    w.runCommand(command::Open); // the type chosen last is preselected
    EXPECT_EQ(dialogs.requests[1].selectedType, 4);
}

TEST_F(Viewer, DroppedFilesAreShown)
{
    MainWindow& w = start();
    const std::string path = writeBmp("drop.bmp", solidBlock(30, 20, 0x00FF00));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    w.dropFiles({QString::fromStdString(path), "/nowhere/else.bmp"});
    ASSERT_TRUE(w.currentImage().block);
    EXPECT_EQ(w.currentImage().path, path);
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(dir.path()));
}

TEST_F(Viewer, EditDeleteDiscardsThePicture)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(600, 400, 0xFF0000))));
    w.runCommand(command::EditDelete);
    EXPECT_FALSE(w.currentImage().block);
    EXPECT_EQ(w.windowTitle(), "Pictorand32");
    EXPECT_EQ(w.width(), 468 - 6);
}

TEST_F(Viewer, UnreadableFileLeavesTheEmptyWindow)
{
    MainWindow& w = start();
    testing::writeFile(dir.file("junk.bmp"), {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_FALSE(w.openFile(dir.file("junk.bmp")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(dir.file("junk.bmp")), std::string::npos);
    EXPECT_EQ(w.windowTitle(), "Pictorand32");
}

TEST_F(Viewer, TimeMeasurementReportsOncePerLoad)
{
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(300, 300, 0xFF0000))));
    w.runCommand(command::TimeMeasurement);
    EXPECT_TRUE(w.action(command::TimeMeasurement)->isChecked());
    w.currentImage().decompressionMs = 12;
    grabPicture();
    grabPicture();
    QApplication::processEvents();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, w.currentImage().path + "\n\nDecompression time: 12 ms\n");
}

TEST_F(Viewer, RecentDirectoriesMenuFollowsTheSettings)
{
    settings().writeText(settings::RecentDirs[0], "/no/such/directory");
    settings().writeText(settings::RecentDirs[2], dir.path());
    MainWindow& w = start();
    w.prepareMenus();
    QMenu* file = w.menuBar()->actions().front()->menu();
    ASSERT_NE(file, nullptr);
    // 22 entries, then the separator and the pop-up at positions 22 and 23.
    ASSERT_EQ(file->actions().size(), 24);
    EXPECT_TRUE(file->actions()[22]->isSeparator());
    QMenu* recent = file->actions()[23]->menu();
    ASSERT_NE(recent, nullptr);
    EXPECT_EQ(recent->title(), "MRUDs");
    ASSERT_EQ(recent->actions().size(), 2);
    EXPECT_EQ(recent->actions()[1]->data().toInt(), 10077);

    w.runCommand(10075);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can't change to directory: '/no/such/directory'");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(settings().readText(settings::RecentDirs[0]), "");

    w.runCommand(10077);
    EXPECT_EQ(settings().readText(settings::OpenDir), dir.path());
    EXPECT_EQ(ui.commands, std::vector<int>{command::Open});
    w.prepareMenus();
    EXPECT_EQ(file->actions().size(), 24); // rebuilt, not added again
}

TEST_F(Viewer, FullScreenSwitchActsAfterTheFirstPaint)
{
    ViewerOptions options;
    options.fullScreenRequest = true;
    MainWindow& w = start(options);
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(20, 20, 0xFF0000))));
    EXPECT_EQ(w.fullScreenWindow(), nullptr);
    grabPicture();
    QApplication::processEvents();
    ASSERT_NE(w.fullScreenWindow(), nullptr);
    w.fullScreenWindow()->close();
    grabPicture();
    QApplication::processEvents();
    EXPECT_EQ(w.fullScreenWindow(), nullptr); // once only
}

TEST_F(Viewer, PositionSwitchPlacesTheWindow)
{
    ViewerOptions options;
    options.position = true;
    options.x = 70;
    options.y = 80;
    MainWindow& w = start(options);
    ASSERT_TRUE(w.openFile(writeBmp("a.bmp", solidBlock(600, 400, 0xFF0000))));
    EXPECT_EQ(w.lastLayout().x, 70);
    EXPECT_EQ(w.lastLayout().y, 80);
}

TEST_F(Viewer, ExitWritesTheWindowPosition)
{
    MainWindow& w = start();
    w.move(33, 44);
    press(&w, Qt::Key_Escape);
    EXPECT_EQ(settings().readInt(settings::XKoord), 33);
    EXPECT_EQ(settings().readInt(settings::YKoord), 44);
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

TEST_F(Viewer, FullScreenWithUseResampleDrawsASmoothCopy)
{
    settings().writeText(settings::UseResample, "1");
    MainWindow& w = start();
    // Black and white columns, 2048 wide: halved, each output pixel averages
    // one black and one white pixel into grey; a plain stretch keeps pure
    // black or white.
    ASSERT_TRUE(w.openFile(writeBmp("stripes.bmp", makeBlock(2048, 100, 24, {}, [](int x, int) {
                                        return x % 2 ? 0xFFFFFFu : 0u;
                                    }))));
    w.runCommand(command::FullScreen);
    FullScreenWindow* full = w.fullScreenWindow();
    ASSERT_NE(full, nullptr);
    const QRect target = full->pictureRect();
    EXPECT_EQ(target.width(), 1024);
    QImage painted = full->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb middle = painted.pixel(target.center());
    EXPECT_NEAR(qRed(middle), 128, 2);
    full->close();
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

class StartUp : public Viewer {
protected:
    void SetUp() override
    {
        Viewer::SetUp();
        // Keep away from viewers the user may be running.
        setenv("PICTORAND_RUNTIME_DIR", runtime.path().c_str(), 1);
    }
    StartupResult run(const std::vector<std::string>& arguments)
    {
        ViewerServices services;
        services.metrics = &metrics;
        services.ui = &ui;
        services.dialogs = &dialogs;
        services.settingsPath = settingsPath();
        return startViewer(arguments, services);
    }
    ScratchDir runtime;
};

TEST_F(StartUp, FileWithBestFitSwitchOpensFittedAndKeepsTheSetting)
{
    const std::string path = writeBmp("a b.bmp", solidBlock(100, 50, 0xFF0000));
    std::filesystem::current_path(dir.path());
    // An unquoted name with a blank arrives as two arguments.
    StartupResult started = run({"a", "b.bmp", "/bf"});
    ASSERT_TRUE(started.window);
    EXPECT_EQ(started.window->currentImage().path, path);
    EXPECT_TRUE(started.window->currentImage().block);
    EXPECT_EQ(settings().readInt(settings::AlwaysFit), 1);
    EXPECT_EQ(started.window->lastLayout().width, 1024);
}

TEST_F(StartUp, DirectoryArgumentBecomesTheWorkingDirectory)
{
    StartupResult started = run({dir.path()});
    ASSERT_TRUE(started.window);
    EXPECT_FALSE(started.window->currentImage().block);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(dir.path()));
}

TEST_F(StartUp, UnreadableFileKeepsTheProgramRunning)
{
    StartupResult started = run({dir.file("missing.jpg")});
    ASSERT_TRUE(started.window);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(started.window->windowTitle(), "Pictorand32");
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

TEST_F(Viewer, FittingShrinksByResamplingOnlyWithUseResample)
{
    const auto stripes = [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; };
    for (bool resample : {false, true}) {
        SCOPED_TRACE(resample);
        settings().writeText(settings::AlwaysFit, "1");
        settings().writeText(settings::UseResample, resample ? "1" : "0");
        MainWindow& w = start();
        ASSERT_TRUE(w.openFile(writeBmp("s.bmp", makeBlock(2036, 1018, 24, {}, stripes))));
        const ImageBlock& block = w.currentImage().block;
        ASSERT_EQ(block.width(), 1018);
        ASSERT_EQ(block.height(), 509);
        const uint8_t grey = block.topRow(100)[3 * 500];
        if (resample)
            EXPECT_NEAR(grey, 128, 2);
        else
            EXPECT_TRUE(grey == 0 || grey == 255);
    }
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

TEST_F(Viewer, PageCommandsStepThroughAMultiPageTiff)
{
    REQUIRE_TOOLS("convert");
    const std::string path = dir.file("pages.tif");
    ASSERT_EQ(testing::runCommand("convert -size 20x10 xc:red xc:lime xc:blue -type TrueColor " +
                                  testing::shellQuote(path) + " 2>/dev/null"),
              0);
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(path));
    auto shown = [this] { return grabPicture().pixel(5, 5) & 0xFFFFFF; };
    EXPECT_EQ(shown(), 0xFF0000u);
    EXPECT_EQ(w.windowTitle(), "pages.tif - page 1 of 3");
    w.updateMenuState();
    EXPECT_TRUE(w.action(command::NextPage)->isEnabled());
    EXPECT_TRUE(w.action(command::PrintAllPages)->isEnabled());

    press(&w, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(shown(), 0x00FF00u);
    EXPECT_EQ(w.windowTitle(), "pages.tif - page 2 of 3");
    press(&w, Qt::Key_N, Qt::ControlModifier);
    press(&w, Qt::Key_N, Qt::ControlModifier); // past the last page: stays
    EXPECT_EQ(shown(), 0x0000FFu);
    EXPECT_EQ(w.windowTitle(), "pages.tif - page 3 of 3");
    w.runCommand(command::FirstPage);
    EXPECT_EQ(shown(), 0xFF0000u);
    press(&w, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(shown(), 0xFF0000u);
    w.runCommand(command::LastPage);
    press(&w, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(shown(), 0x00FF00u);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;
}

TEST_F(Viewer, NShowsTheNextOverviewSheetUntilThereIsNone)
{
    if (!CodecRegistry::instance().overviewReader())
        GTEST_SKIP() << "the Photo CD reader is not in this build";
    // An overview pack of one black thumbnail: the signature, then zeros.
    std::vector<uint8_t> pack(10240 + 36864, 0);
    std::copy_n("PCD_OPA", 7, pack.begin());
    const std::string path = dir.file("overview.pcd");
    testing::writeFile(path, pack);
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(path));
    ASSERT_TRUE(w.currentImage().overviewMode);
    ui.messages.clear(); // the notice
    for (int start : {26, 51, 76}) {
        press(&w, Qt::Key_N);
        EXPECT_EQ(w.currentImage().overviewStart, start);
        EXPECT_EQ(w.currentImage().block.width(), 960);
    }
    EXPECT_TRUE(ui.messages.empty());
    press(&w, Qt::Key_N);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "No more pictures in file !");
    EXPECT_EQ(w.currentImage().overviewStart, 76);
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

TEST_F(Viewer, SpaceAndBackspaceStepThroughTheDirectoryInItsOrder)
{
    MainWindow& w = start();
    writeBmp("b.bmp", solidBlock(20, 10, 0x00FF00));
    writeBmp("c.bmp", solidBlock(30, 10, 0x0000FF));
    testing::writeFile(dir.file("d.png"), {1, 2, 3});
    w.dropFiles({QString::fromStdString(writeBmp("a.bmp", solidBlock(10, 10, 0xFF0000)))});
    grabPicture(); // the title and the directory list follow the paint
    EXPECT_EQ(w.directoryList().count(), 4);
    EXPECT_EQ(w.directoryList().index(), 0);
    EXPECT_TRUE(w.action(command::NextFile)->isEnabled());

    // The next file is read ahead: stepping to it shows it without a wait.
    const std::string next = w.directoryList().pathOf(1);
    for (int i = 0; i < 500 && !(w.readAhead() && w.readAhead()->ready(next)); ++i)
        QTest::qWait(10);
    ASSERT_TRUE(w.readAhead() && w.readAhead()->ready(next));
    const int waits = ui.waitCursorChanges;
    press(&w, Qt::Key_Space);
    EXPECT_EQ(w.currentImage().block.width(), 20);
    EXPECT_EQ(ui.waitCursorChanges, waits);
    press(&w, Qt::Key_Space);
    press(&w, Qt::Key_Space); // broken.png: its message, and c stays on screen
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(w.currentImage().block.width(), 30);
    EXPECT_EQ(std::filesystem::path(w.currentImage().path).filename(), "c.bmp");
    press(&w, Qt::Key_Space); // past the last: the question, Cancel stays
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, kNoMoreNext);
    EXPECT_EQ(w.directoryList().index(), 3);
    press(&w, Qt::Key_Backspace);
    EXPECT_EQ(w.currentImage().block.width(), 30);

    // By size, descending: c (30 wide) is first, and Next goes on from it.
    w.runCommand(command::SortBySizeDescending);
    EXPECT_TRUE(w.action(command::SortBySizeDescending)->isChecked());
    EXPECT_EQ(settings().readInt(settings::FileSortOrder), 6);
    EXPECT_EQ(w.directoryList().index(), 0);
    press(&w, Qt::Key_Backspace); // before the first: OK goes to the last
    ui.answers.push_back(true);
    press(&w, Qt::Key_Backspace);
    EXPECT_EQ(w.directoryList().index(), 3);
    EXPECT_EQ(std::filesystem::path(w.directoryList().pathOf(3)).filename(), "d.png");

    // Full screen takes Space and the right button too.
    w.runCommand(command::FirstFile);
    w.runCommand(command::FullScreen);
    ASSERT_NE(w.fullScreenWindow(), nullptr);
    press(w.fullScreenWindow(), Qt::Key_Space);
    EXPECT_EQ(w.currentImage().block.width(), 20);
    QTest::mouseClick(w.fullScreenWindow(), Qt::RightButton);
    EXPECT_EQ(w.currentImage().block.width(), 10);
    ASSERT_NE(w.fullScreenWindow(), nullptr) << "the full-screen window stays";

    // The directory in use joins the recently used ones.
    w.prepareMenus();
    EXPECT_EQ(std::filesystem::path(settings().readText(settings::RecentDirs[0])),
              std::filesystem::canonical(dir.path()));
}

TEST_F(Viewer, AnimatedGifPlaysStopsShowsItsFirstImageOrIsExtracted)
{
    const std::string gif = std::string(PICTORAND_SOURCE_DIR) + "/tests/dispatch/animations/every_method.gif";
    MainWindow& w = start();
    ASSERT_TRUE(w.openFile(gif));
    EXPECT_TRUE(w.displayState().animationRunning);
    EXPECT_FALSE(w.currentImage().block);
    EXPECT_EQ(w.currentImage().compression, "Animated GIF - 6 images");
    grabPicture();
    EXPECT_EQ(w.windowTitle(), "every_method.gif - 6 frames");
    EXPECT_TRUE(w.commandEnabled(command::ImageInfo));
    QTest::qWait(250); // 100 ms frames
    EXPECT_GT(w.displayState().animation->current(), 0);
    press(&w, Qt::Key_G);
    EXPECT_FALSE(w.displayState().animationRunning);
    ASSERT_TRUE(w.currentImage().block);
    EXPECT_EQ(w.currentImage().block.width(), 16) << "frame 0 stays";

    settings().writeText(settings::MultiGifNone, "1");
    ASSERT_TRUE(w.openFile(gif));
    EXPECT_FALSE(w.displayState().animationRunning);
    EXPECT_EQ(w.currentImage().block.width(), 16);

    settings().writeText(settings::MultiGifNone, "0");
    settings().writeText(settings::MultiGifAnimate, "0");
    settings().writeText(settings::ExtractGif, dir.file("frames"));
    ASSERT_TRUE(w.openFile(gif));
    EXPECT_TRUE(std::filesystem::exists(dir.file("frames/every_method_pictorand_extract_005.bmp")));
    EXPECT_EQ(w.currentImage().block.width(), 2) << "the last frame on screen";
}

} // namespace
} // namespace pictorand

namespace pictorand {
namespace {

// Saved as JPEG, a JPEG only turned since it was opened has its blocks turned
// (as jpegtran turns them); any other change, or a No to trimming the edges
// of a picture of partial blocks, compresses it again (quality 80).
TEST_F(Viewer, SavingATurnedJpegTurnsItsBlocks)
{
    REQUIRE_TOOLS("convert", "jpegtran", "djpeg", "identify");
    const struct {
        const char* size;
        std::vector<int> commands;
        std::optional<bool> trimAnswer; // the question asked, and answered so
        const char* jpegtran;           // the blocks as saved; nullptr: compressed again
        bool rewritten = false;         // the file is written anew after it was opened
    } cases[] = {
        {"64x48", {command::RotateRight}, std::nullopt, "-rotate 90"},
        {"64x48", {command::RotateLeft, command::HorizontalFlip}, std::nullopt, "-transverse"},
        {"64x48", {command::Negative, command::RotateRight}, std::nullopt, nullptr},
        {"61x45", {command::RotateRight}, true, "-rotate 90 -trim"},
        {"61x45", {command::RotateRight}, false, nullptr},
        {"64x48", {command::RotateRight}, std::nullopt, nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.size) + " " + std::to_string(c.commands.size()));
        const std::string original = dir.file("photo.jpg");
        ASSERT_EQ(testing::runCommand(std::string("convert -size ") + c.size + " plasma:fractal -quality 95 "
                                      + testing::shellQuote(original)),
                  0);
        MainWindow& w = start();
        ASSERT_TRUE(w.openFile(original));
        for (int id : c.commands)
            w.runCommand(id);
        if (c.rewritten) {
            ASSERT_EQ(testing::runCommand("convert -size 64x48 xc:red -quality 95 " + testing::shellQuote(original)), 0);
        }
        ui.questions.clear();
        if (c.trimAnswer)
            ui.answers.push_back(*c.trimAnswer);
        const std::string saved = dir.file("saved.jpg");
        std::remove(saved.c_str());
        dialogs.results.push_back(FileDialogResult{saved, 1});
        w.runCommand(command::SaveAs);
        EXPECT_EQ(ui.questions.size(), c.trimAnswer ? 1u : 0u);
        std::string quality;
        testing::runCommand("identify -format %Q " + testing::shellQuote(saved), &quality);
        EXPECT_EQ(quality, c.jpegtran ? "95" : "80");
        if (c.jpegtran) {
            const std::string expected = dir.file("expected.ppm");
            const std::string got = dir.file("got.ppm");
            testing::runCommand("jpegtran " + std::string(c.jpegtran) + " " + testing::shellQuote(original)
                                + " | djpeg -ppm > " + testing::shellQuote(expected));
            testing::runCommand("djpeg -ppm " + testing::shellQuote(saved) + " > " + testing::shellQuote(got));
            EXPECT_EQ(testing::readFile(got), testing::readFile(expected));
        }
    }
}

} // namespace
} // namespace pictorand
