#include "shell/metafile_display.h"

#include "codecs/metafile/metafile.h"
#include "platform/settings_keys.h"
#include "shell/full_screen_window.h"
#include "shell/main_window.h"
#include "shell/metafile_painter.h"

#include <cmath>

namespace pictorand {

bool MetafileDisplay::show(const std::string& path, std::string& message, std::string& compression, Mode mode)
{
    Result<metafile::Drawing> read = metafile::readMetafile(path, compression);
    if (!read) {
        message = read.failure().detail.empty() ? read.text() : read.failure().detail;
        return false;
    }
    auto drawing = std::make_shared<const metafile::Drawing>(read.take());
    int width = static_cast<int>(std::lround(drawing->width));
    int height = static_cast<int>(std::lround(drawing->height));
    CurrentImage& image = m_main.currentImage();
    image.originalWidth = width;
    image.originalHeight = height;
    if (mode == PlayOnly) {
        m_main.displayState().metafile = std::make_shared<MetafilePicture>(drawing);
        return true;
    }

    // Larger than the full-screen work area, or always fitted: the desktop
    // fit decides the size it is drawn at.
    const DisplayMetrics m = m_main.metrics();
    const bool tooLarge = width > m.fullScreenWidth - m.frameWidth || height > m.fullScreenHeight - m.frameHeight;
    if (tooLarge || m_main.settings().readInt(settings::AlwaysFit) != 0) {
        const DisplaySize fit = bestFitToDesktop(m, width, height);
        width = fit.width;
        height = fit.height;
    }
    ImageBlock block = renderDrawingToBlock(*drawing, width, height);
    if (!block) {
        message = kCantAllocateMemory;
        return false;
    }
    image.block = std::move(block);
    image.refreshCurrentSize();
    m_main.pictureChanged();
    m_main.displayState().metafile = std::make_shared<MetafilePicture>(drawing);
    if (FullScreenWindow* full = m_main.fullScreenWindow())
        full->update();
    else
        m_main.showAtFullSize(width, height);
    return true;
}

} // namespace pictorand
