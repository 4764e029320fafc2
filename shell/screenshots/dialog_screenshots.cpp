// Pictures of the dialogs for a person to look at, written as
// PNG files into the folder named on the command line. Run it under Xvfb for
// real fonts, with a window manager to see the title bars:
// scripts/dialog-screenshots.sh.

#include "platform/settings_keys.h"
#include "shell/core/file_dialogs.h"
#include "shell/dialogs/adjustment_dialog.h"
#include "shell/dialogs/batch_dialog.h"
#include "shell/dialogs/copy_move_dialog.h"
#include "shell/dialogs/decrease_depth_dialog.h"
#include "shell/dialogs/file_list_builder.h"
#include "shell/dialogs/icon_chooser_dialog.h"
#include "shell/dialogs/image_info_dialog.h"
#include "shell/dialogs/palette_dialog.h"
#include "shell/dialogs/print_options_dialog.h"
#include "shell/dialogs/property_sheets.h"
#include "shell/dialogs/size_dialog.h"
#include "shell/dialogs/slideshow_dialog.h"
#include "shell/file_menu.h"
#include "shell/qt_user_interface.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace pictorand {
namespace {

QString g_folder;
int g_failures = 0;

// Under a window manager the picture takes in the frame and its title bar,
// as the screen shows them; without one, the window alone.
void grabShown(QWidget& widget, const char* name)
{
    // A window manager frames and places a window a while after it is shown.
    if (!QTest::qWaitForWindowExposed(&widget))
        std::fprintf(stderr, "dialog_screenshots: %s did not come up\n", name);
    const bool framed = qEnvironmentVariableIsSet("DIALOG_SCREENSHOTS_FRAMED");
    auto settled = [&] {
        const QRect frame = widget.frameGeometry();
        return frame.contains(widget.geometry()) && frame.height() > widget.height();
    };
    QTest::qWait(400);
    // Now and then the frame is never reported: showing the window again
    // brings it.
    for (int attempt = 0; framed && !QTest::qWaitFor(settled, 2000); ++attempt) {
        if (attempt == 3) {
            std::fprintf(stderr, "dialog_screenshots: %s got no frame\n", name);
            break;
        }
        widget.hide();
        widget.show();
    }
    const QString path = QString("%1/%2.png").arg(g_folder, name);
    const QRect frame = widget.frameGeometry();
    QPixmap picture = widget.grab();
    if (frame != widget.geometry() && widget.screen()) {
        // The frame from the screen, the window itself drawn into it as it
        // draws itself (the screen may not show it yet).
        const QPixmap inside = picture;
        picture = widget.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        QPainter painter(&picture);
        painter.drawPixmap(widget.geometry().topLeft() - frame.topLeft(), inside);
    }
    if (picture.save(path)) {
        std::printf("%s\n", qPrintable(path));
    } else {
        std::fprintf(stderr, "dialog_screenshots: can't write %s\n", qPrintable(path));
        ++g_failures;
    }
}

void save(QWidget& widget, const char* name)
{
    widget.show();
    grabShown(widget, name);
    widget.hide();
}

// A modal dialog that `run` opens and waits for: `look` is called once it
// is up, then the dialog is cancelled.
void whileModal(const std::function<void()>& run, const std::function<void(QDialog&)>& look)
{
    QTimer::singleShot(500, [look] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            look(*dialog);
            dialog->reject();
        } else {
            std::fprintf(stderr, "dialog_screenshots: no dialog came up\n");
            ++g_failures;
        }
    });
    run();
}

// A folder of picture files with sizes of every order, for the file lists.
QString pictureFolder()
{
    const QString folder = g_folder + "/pictures";
    QDir().mkpath(folder);
    const std::pair<const char*, qint64> files[] = {
        {"beach.png", 694'321}, {"holiday.jpg", 3'221'225}, {"scan_0001.tif", 48'000'000}, {"logo.gif", 912}};
    for (const auto& [name, size] : files) {
        QFile file(folder + "/" + name);
        if (file.open(QIODevice::WriteOnly))
            file.resize(size);
    }
    return folder;
}

ImageBlock rainbowPalette()
{
    ImageBlock block = ImageBlock::create(16, 16, 8, 256);
    for (int i = 0; i < 256; ++i) {
        const QColor color = QColor::fromHsv((i * 360 / 256) % 360, 255, 64 + (i % 16) * 12);
        block.colorTable()[i] = ColorEntry{static_cast<uint8_t>(color.blue()), static_cast<uint8_t>(color.green()),
                                           static_cast<uint8_t>(color.red()), 0};
    }
    return block;
}

ImageBlock iconPicture(int size)
{
    ImageBlock block = ImageBlock::create(size, size, 24, 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            uint8_t* pixel = block.topRow(y) + x * 3;
            const bool inside = (x - size / 2) * (x - size / 2) + (y - size / 2) * (y - size / 2) < size * size / 5;
            pixel[0] = inside ? 40 : 255;
            pixel[1] = inside ? static_cast<uint8_t>(x * 255 / size) : 255;
            pixel[2] = inside ? 220 : 255;
        }
    return block;
}

// Every page of both property sheets, over a scratch settings file.
void writeEachSheetPage()
{
    SettingsFile settings(g_folder.toStdString() + "/settings.ini");
    SilentUserInterface ui;
    for (bool properties : {true, false}) {
        std::unique_ptr<PropertySheet> sheet(properties ? makePropertiesSheet({settings, ui, {}, {}}, nullptr)
                                                        : makeSaveOptionsSheet(settings, nullptr));
        sheet->show();
        for (int page = 0; page < sheet->tabs()->count(); ++page) {
            sheet->tabs()->setCurrentIndex(page);
            const std::string name = std::string(properties ? "properties_" : "save_properties_") + std::to_string(page);
            grabShown(*sheet, name.c_str());
        }
        sheet->hide();
    }
}

void writeEachDialog()
{
    DecreaseDepthDialog depth(8, nullptr);
    save(depth, "decrease_depth_8bit");

    DisplayMetrics metrics;
    metrics.fullScreenWidth = 1024;
    metrics.fullScreenHeight = 722;
    metrics.menuHeight = 19;
    SizeDialog size("Resample image (Smooth)", 1000, 500, true, metrics, nullptr);
    save(size, "size_dialog");

    for (auto [adjustment, name] : {std::pair{Adjustment::Brightness, "brightness"},
                                    std::pair{Adjustment::Contrast, "contrast"},
                                    std::pair{Adjustment::Gamma, "gamma"}}) {
        AdjustmentDialog dialog(adjustment, ImageBlock::create(4, 4, 24, 0), {[](ImageBlock) {}, nullptr}, nullptr);
        dialog.scrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        save(dialog, name);
    }

    ImageBlock palette = rainbowPalette();
    PaletteDialog editor(palette, nullptr, nullptr, nullptr);
    editor.select(37);
    save(editor, "palette_editor");

    IconChooserDialog chooser({"16 x 16  -  16 colors", "32 x 32  -  256 colors", "48 x 48  -  True color",
                               "256 x 256  -  True color"},
                              [](int index) { return index == 1 ? ImageBlock() : iconPicture(index == 3 ? 256 : 48); },
                              false, nullptr);
    save(chooser, "icon_chooser_48");
    chooser.list()->setCurrentRow(3);
    save(chooser, "icon_chooser_256");
    chooser.list()->setCurrentRow(1);
    save(chooser, "icon_chooser_error");

    CurrentImage photo;
    photo.path = "/home/user/Pictures/holiday.jpg";
    photo.compression = "JPEG/JFIF";
    photo.originalWidth = photo.currentWidth = 6000;
    photo.originalHeight = photo.currentHeight = 4000;
    photo.originalBitCount = 24;
    photo.currentBitCount = 8;
    ImageInfoDialog info([&photo] { return ImageInfoInput{&photo, false, uint64_t(3221225472), 2, 12}; }, nullptr);
    save(info, "image_info");

    PrintOptionsDialog print(nullptr);
    save(print, "print_options");
    print.findChild<QRadioButton*>("scale")->click();
    save(print, "print_options_scale");
    // The file tools' dialogs, over a settings file of their own.
    SettingsFile settings(QDir::temp().filePath("dialog_screenshots.ini").toStdString());
    SilentUserInterface silent;
    CopyMoveDialog copyMove(false, "/home/user/Pictures/holiday.jpg", settings,
                            [](const std::string&, QWidget*) { return std::optional<std::string>(); }, nullptr);
    save(copyMove, "copy_move");
    const QString pictures = pictureFolder();
    settings.writeText(settings::OpenDir, pictures.toStdString());
    BatchDialog batch(settings, silent, [](const std::string&, QWidget*) { return std::optional<std::string>(); },
                      nullptr);
    batch.files()->addEntry("/home/user/Pictures/holiday.jpg");
    batch.files()->addEntry("/home/user/Pictures/beach.png");
    save(batch, "batch_conversion");
    SlideshowDialog slideshow(settings, silent, nullptr);
    slideshow.files()->addEntry("/home/user/Pictures/holiday.jpg");
    save(slideshow, "slideshow");
    BatchProgressWindow progress(nullptr);
    for (const char* line : {"Converting: /home/user/Pictures/beach.png", "... Ok",
                             "Converting: /home/user/Pictures/holiday.jpg", "Error! Can't load: /home/user/Pictures/holiday.jpg",
                             "1 errors"})
        progress.lines()->addItem(line);
    progress.setWindowTitle(kBatchDone);
    save(progress, "batch_progress");
    writeEachSheetPage();

    whileModal([] { FileMenu::renamePrompt("holiday.jpg", nullptr); },
               [](QDialog& dialog) { grabShown(dialog, "rename"); });
    QtUserInterface dialogs(nullptr);
    dialogs.previewSink = [](const std::string&, QSize) { return PreviewContent{}; };
    int type = 1;
    whileModal([&] { ChooseOpenFile(dialogs, settings, type); },
               [&](QDialog& dialog) {
                   grabShown(dialog, "open");
                   // As a user enters it: its name typed into the file-name field.
                   QDir(pictures).mkpath("empty");
                   if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit")) {
                       name->setFocus();
                       QTest::keyClicks(name, "empty");
                       QTest::keyClick(name, Qt::Key_Return);
                   }
                   grabShown(dialog, "open_empty_folder");
               });
}

} // namespace
} // namespace pictorand

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_screenshots FOLDER\n");
        return 2;
    }
    pictorand::g_folder = QString::fromLocal8Bit(argv[1]);
    pictorand::writeEachDialog();
    return pictorand::g_failures == 0 ? 0 : 1;
}
