#include "shell/open_preview.h"

#include "codecs/metafile/metafile.h"
#include "ops/resize.h"
#include "shell/block_image.h"
#include "shell/metafile_painter.h"

#include <cmath>

namespace pictorand {

namespace {

// The block shrunk by nearest neighbour to its fitted size, as a pixmap;
// null when no copy could be made.
QPixmap fittedBitmap(const ImageBlock& block, QSize area)
{
    const QRect fit = fittedPreviewRect(block.width(), block.height(), area);
    if (fit.isEmpty())
        return {};
    if (fit.width() == block.width() && fit.height() == block.height())
        return deviceBitmap(block, logicalPalette(block));
    const ImageBlock small = resizeBlock(block, fit.width(), fit.height());
    if (!small)
        return {};
    return deviceBitmap(small, logicalPalette(small));
}

PreviewContent metafilePreview(const std::string& path, QSize area)
{
    PreviewContent content;
    std::string compression;
    Result<metafile::Drawing> read = metafile::readMetafile(path, compression);
    if (!read) {
        content.text = kPreviewOldMetafileText;
        return content;
    }
    const metafile::Drawing drawing = read.take();
    const QRect fit = fittedPreviewRect(static_cast<int>(std::lround(drawing.width)),
                                        static_cast<int>(std::lround(drawing.height)), area);
    const ImageBlock rendered = fit.isEmpty() ? ImageBlock() : renderDrawingToBlock(drawing, fit.width(), fit.height());
    if (!rendered) {
        content.text = kPreviewOldMetafileText;
        return content;
    }
    content.picture = deviceBitmap(rendered, logicalPalette(rendered));
    return content;
}

} // namespace

PreviewContent OpenPreview::show(const std::string& path, QSize area)
{
    drop();
    PreviewContent content;
    if (path.empty())
        return content;
    const std::optional<ImageFormat> format = DetectFormat(path);
    if (format == ImageFormat::Media) {
        content.mediaPath = path;
        return content;
    }
    if (format == ImageFormat::Metafile)
        return metafilePreview(path, area);
    m_load = loadForPreview(m_viewer, path, area.width());
    if (m_load.record.block)
        content.picture = fittedBitmap(m_load.record.block, area);
    if (content.picture.isNull())
        content.text = kPreviewNoPictureText;
    return content;
}

std::optional<CurrentImage> OpenPreview::takeFor(const std::string& acceptedPath)
{
    PreviewLoad load = std::move(m_load);
    drop();
    if (!previewStandsForOpen(load, acceptedPath))
        return std::nullopt;
    // The Open command's own load would name the picture by the path it was
    // given; the preview was given the same file under the name the dialog
    // reported then.
    load.record.path = acceptedPath;
    return std::move(load.record);
}

} // namespace pictorand
