// A metafile in the viewer: shown at its frame's size with a rendering as
// the block, painted from the drawing at every zoom without reading the
// file again, kept in its window when the picture is discarded, and given
// up when an operation changes the block.

#include "dispatch/confined_load.h"
#include "dispatch/load.h"
#include "shell/main_window.h"
#include "tools/painting/metafile_painter.h"
#include "shell/picture_canvas.h"
#include "shell/picture_view.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QKeyEvent>
#include <filesystem>
#include <gtest/gtest.h>

namespace pictorand {
namespace {

// Everything a drawing holds crosses from the decoder's worker: what the
// viewer paints from a confined load is what it paints from one here.
TEST(MetafileView, AConfinedLoadPaintsAsALoadHere)
{
    for (const auto& entry : std::filesystem::directory_iterator(std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile")) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".emf" && extension != ".wmf")
            continue;
        SCOPED_TRACE(entry.path().string());
        const LoadRequest request{{entry.path().string()}, LoadPurpose::View, {}};
        decodeInWorkers({});
        const LoadOutcome confined = load(request);
        decodeInThisProcess();
        const LoadOutcome here = loadInThisProcess(request);
        ASSERT_TRUE(here.drawing && confined.drawing);
        const int width = static_cast<int>(here.drawing->width + 0.5);
        const int height = static_cast<int>(here.drawing->height + 0.5);
        const ImageBlock a = renderDrawingToBlock(*confined.drawing, width, height);
        const ImageBlock b = renderDrawingToBlock(*here.drawing, width, height);
        ASSERT_TRUE(a && b);
        EXPECT_TRUE(a.size() == b.size() && std::equal(a.data(), a.data() + a.size(), b.data()));
    }
}

TEST(MetafileView, ZoomRepaintsFromTheDrawingAndAnOperationGivesItUp)
{
    testing::ScratchDir dir;
    FixedSystemMetrics metrics{testing::desktop1024()};
    testing::ScriptedUserInterface ui;
    testing::ScriptedFileDialogs dialogs;
    ViewerServices services;
    services.metrics = &metrics;
    services.ui = &ui;
    services.dialogs = &dialogs;
    services.settingsPath = dir.file("P_RAND32.INI");
    MainWindow window(services, {});
    window.show();

    ASSERT_TRUE(window.openFile(std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile/shapes.emf"));
    const CurrentImage& image = window.currentImage();
    EXPECT_EQ(image.format, ImageFormat::Metafile);
    EXPECT_EQ(image.compression, "Enhanced Windows Metafile");
    EXPECT_EQ(image.block.width(), 321);
    EXPECT_EQ(image.block.bitCount(), 24);
    ASSERT_TRUE(window.displayState().drawing);

    // The red rectangle's inside, as drawn at 100 % and at 200 %.
    QImage shown = window.view()->viewport()->grab().toImage();
    const MetafilePicture* picture = window.canvas().metafiles().picture();
    ASSERT_TRUE(picture);
    EXPECT_EQ(shown.pixel(60, 60) & 0xFFFFFF, 0xFF0000u);
    const int rendersAtHundred = picture->renderCount();
    window.view()->viewport()->grab(); // a repaint at the same size copies the rendering
    EXPECT_EQ(picture->renderCount(), rendersAtHundred);

    testing::pressKey(&window, Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(window.displayState().zoom, 200);
    shown = window.view()->viewport()->grab().toImage();
    EXPECT_EQ(shown.pixel(120, 120) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(picture->renderCount(), rendersAtHundred + 1);

    window.runCommand(command::ZoomOut);
    const QSize drawingWindow = window.size();
    // Discarding the picture leaves a drawing's window as it is.
    window.runCommand(command::EditDelete);
    EXPECT_EQ(window.size(), drawingWindow);

    ASSERT_TRUE(window.openFile(std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile/shapes.emf"));
    window.runCommand(command::Negative);
    EXPECT_FALSE(window.displayState().drawing) << "the changed block is the picture now";
}

} // namespace
} // namespace pictorand
