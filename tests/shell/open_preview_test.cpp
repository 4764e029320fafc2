// The Open dialog's preview in the viewer, through the real dialog: the
// previewed picture taken on OK, a typed name opened itself, metafiles drawn
// and sound played in the preview area.

#include "shell/main_window.h"
#include "shell/media_window.h"
#include "shell/open_preview.h"
#include "tests/shell/shell_test_support.h"
#include "tests/shell/viewer_fixture.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace pictorand {
namespace {

using testing::shellQuote;

class OpenPreviewTest : public testing::ViewerFixture {
protected:
    // The Open command moves into the folder of the file opened.
    void SetUp() override { m_savedDirectory = std::filesystem::current_path(); }
    void TearDown() override
    {
        ViewerFixture::TearDown();
        std::filesystem::current_path(m_savedDirectory);
    }
    // Qt's own file dialog, with the preview in it.
    MainWindow& start() { return ViewerFixture::start(true); }
    std::string magick(const std::string& arguments, const std::string& name)
    {
        const std::string path = dir.file(name);
        EXPECT_EQ(testing::runCommand("convert " + arguments + " " + shellQuote("BMP3:" + path)), 0);
        return path;
    }
    // Runs the Open command; `inside` acts on its dialog once it is up.
    void open(const std::function<void(QFileDialog&, QLabel& area)>& inside)
    {
        QTimer::singleShot(0, [inside] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* area = dialog->findChild<QLabel*>("preview1108");
            ASSERT_NE(area, nullptr);
            inside(*dialog, *area);
            if (dialog->isVisible())
                dialog->reject();
        });
        window->runCommand(command::Open);
    }
    static void accept(QFileDialog& dialog, const std::string& typed)
    {
        dialog.findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(typed));
        static_cast<QDialog&>(dialog).accept(); // the file dialog's own checks run
    }

    std::filesystem::path m_savedDirectory;
};

struct Opened {
    std::vector<uint8_t> block;
    std::string path, compression, title;
    ImageFormat format;
    int width, height, bits, originalBits;
    friend bool operator==(const Opened&, const Opened&) = default;
    friend void PrintTo(const Opened& o, std::ostream* out)
    {
        *out << o.path << " (" << o.title << "), " << o.width << " x " << o.height << " x " << o.bits << ", "
             << o.compression << ", " << o.block.size() << " bytes";
    }
};

Opened opened(MainWindow& window, const testing::ScriptedUserInterface& ui)
{
    const CurrentImage& image = window.currentImage();
    Opened o{{}, image.path, image.compression, ui.titles.empty() ? "" : ui.titles.back(), image.format,
             image.currentWidth, image.currentHeight, image.currentBitCount, image.originalBitCount};
    if (image.block)
        o.block.assign(image.block.data(), image.block.data() + image.block.size());
    return o;
}

TEST_F(OpenPreviewTest, OkTakesThePreviewedPictureAndATypedNameIsOpenedItself)
{
    REQUIRE_TOOLS("convert");
    MainWindow& w = start();
    const std::string red = magick("-size 4x3 xc:red", "a.bmp");
    const std::string blue = magick("-size 4x3 xc:blue", "blue.bmp");
    const std::string green = magick("-size 5x5 xc:lime", "b.bmp");
    ASSERT_TRUE(w.openFile(red));
    const Opened fresh = opened(w, ui);

    // Rewritten after the preview, keeping its size and time: only a taken
    // preview still shows red.
    open([&](QFileDialog& dialog, QLabel& area) {
        emit dialog.currentChanged(QString::fromStdString(red));
        EXPECT_FALSE(area.pixmap().isNull());
        const auto time = std::filesystem::last_write_time(red);
        std::filesystem::copy_file(blue, red, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::last_write_time(red, time);
        accept(dialog, red);
    });
    EXPECT_EQ(opened(w, ui), fresh);

    open([&](QFileDialog& dialog, QLabel&) {
        emit dialog.currentChanged(QString::fromStdString(red));
        accept(dialog, green);
    });
    EXPECT_EQ(w.currentImage().path, green);
    EXPECT_EQ(w.currentImage().currentWidth, 5);
}

TEST_F(OpenPreviewTest, MetafilesAreDrawnOnWhiteAndAnUnreadableOneSaysOldMetafile)
{
    OpenPreview preview(start().viewer());
    const QSize area(208, 172);
    const PreviewContent drawn =
        preview.show(std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile/shapes.wmf", area);
    ASSERT_FALSE(drawn.picture.isNull());
    EXPECT_TRUE(drawn.picture.width() == area.width() || drawn.picture.height() == area.height())
        << "fitted: " << drawn.picture.width() << " x " << drawn.picture.height();
    const QImage image = drawn.picture.toImage();
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            coloured += (image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_GT(coloured, 100);

    const std::string broken = dir.file("broken.wmf");
    testing::writeFile(broken, {0x01, 0x00, 0x09, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00});
    const PreviewContent unread = preview.show(broken, area);
    EXPECT_TRUE(unread.picture.isNull());
    EXPECT_EQ(unread.text, "Old Metafile");
}

std::string le32(uint32_t v)
{
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

TEST_F(OpenPreviewTest, SoundPlaysInThePreviewAreaUntilTheSelectionChanges)
{
    start();
    // A second of 8-bit silence at 8000 samples a second.
    const std::string wav = dir.file("silence.wav");
    std::ofstream(wav, std::ios::binary) << "RIFF" + le32(36 + 8000) + "WAVEfmt " + le32(16)
            + std::string("\x01\x00\x01\x00", 4) + le32(8000) + le32(8000) + std::string("\x01\x00\x08\x00", 4)
            + "data" + le32(8000) + std::string(8000, char(0x80));
    const std::string text = dir.file("notes.txt");
    std::ofstream(text) << "not a picture at all";
    open([&](QFileDialog& dialog, QLabel& area) {
        emit dialog.currentChanged(QString::fromStdString(wav));
        auto* media = area.findChild<MediaWindow*>();
        ASSERT_NE(media, nullptr);
        EXPECT_TRUE(area.contentsRect().contains(media->geometry()));
        emit dialog.currentChanged(QString::fromStdString(text));
        EXPECT_EQ(area.findChild<MediaWindow*>(), nullptr);
        EXPECT_EQ(area.text(), "No picture !");

        emit dialog.currentChanged(QString::fromStdString(wav));
        ASSERT_NE(area.findChild<MediaWindow*>(), nullptr);
        dialog.findChild<QCheckBox*>()->setChecked(false);
        EXPECT_EQ(area.findChild<MediaWindow*>(), nullptr);
    });
}

} // namespace
} // namespace pictorand
