// pictorand32-metafile-raster PATH WIDTH HEIGHT OUT.bmp
//
// The converter's metafile painter, as a program of its own: the painter
// needs Qt, and linked into the converter Qt alone cost every run about
// 20 ms to start, most of what a small conversion takes, and tied any batch
// holding a metafile to the one thread Qt's application object lives on.
// Draws the metafile on white into a 24-bit BMP of WIDTH x HEIGHT, or of its
// natural size when both are 0; a failure is told on standard error, in the
// words the converter reports, with exit status 1.

#include "codecs/bmp/bmp.h"
#include "codecs/metafile/metafile.h"
#include "shell/metafile_painter.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int fail(const std::string& words)
{
    std::fputs(words.c_str(), stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace pictorand;
    if (argc != 5)
        return fail("Usage: pictorand32-metafile-raster PATH WIDTH HEIGHT OUT.bmp");
    int width = std::atoi(argv[2]);
    int height = std::atoi(argv[3]);
    std::string compression;
    Result<metafile::Drawing> drawing = metafile::readMetafile(argv[1], compression);
    if (!drawing)
        return fail(drawing.text());
    if (width <= 0 || height <= 0) {
        width = static_cast<int>(drawing->width);
        height = static_cast<int>(drawing->height);
    }
    // Fonts need a GUI application, and there is no screen to show one on.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication application(argc, argv);
    const ImageBlock block = renderDrawingToBlock(*drawing, width, height);
    if (!block)
        return fail(failureText(outOfMemory()));
    if (Status written = writeBmp(argv[4], block); !written)
        return fail(written.text());
    return 0;
}
