// Linked into pictorand32-convert: draws metafiles with the viewer's painter
// and registers itself before main runs, so the converter needs no include
// of the layer above it.

#include "codecs/metafile/metafile.h"
#include "dispatch/metafile_rasteriser.h"
#include "shell/metafile_painter.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>

namespace pictorand {

namespace {

// Fonts need a GUI application; the converter has no screen, so one without
// a display is made the first time a metafile comes.
void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "pictorand32-convert";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
}

Result<ImageBlock> rasteriseMetafile(const std::string& path, int width, int height)
{
    std::string compression;
    Result<metafile::Drawing> drawing = metafile::readMetafile(path, compression);
    if (!drawing)
        return drawing.failure();
    if (width <= 0 || height <= 0) {
        width = static_cast<int>(drawing->width);
        height = static_cast<int>(drawing->height);
    }
    ensureApplication();
    ImageBlock block = renderDrawingToBlock(*drawing, width, height);
    if (!block)
        return outOfMemory();
    return block;
}

const bool registered = [] {
    setMetafileRasteriser(rasteriseMetafile);
    return true;
}();

} // namespace

} // namespace pictorand
