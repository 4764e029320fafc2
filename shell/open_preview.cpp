#include "shell/open_preview.h"

#include "ops/resize.h"
#include "tools/painting/block_image.h"
#include "tools/painting/metafile_painter.h"

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
    const Result<ImageBlock> small = resizeBlock(block, fit.width(), fit.height());
    if (!small)
        return {};
    return deviceBitmap(*small, logicalPalette(*small));
}

PreviewContent metafilePreview(const LoadOutcome& read, QSize area)
{
    PreviewContent content;
    const QRect fit = read.drawing ? fittedPreviewRect(read.originalWidth, read.originalHeight, area) : QRect();
    const ImageBlock rendered =
        fit.isEmpty() ? ImageBlock() : renderDrawingToBlock(*read.drawing, fit.width(), fit.height());
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
    m_load = loadForPreview(m_viewer.viewRequest(path), area.width());
    const LoadOutcome& read = m_load.outcome;
    if (read.format == ImageFormat::Media) {
        content.mediaPath = path;
        return content;
    }
    if (read.format == ImageFormat::Metafile)
        return metafilePreview(read, area);
    if (read.block)
        content.picture = fittedBitmap(read.block, area);
    if (content.picture.isNull())
        content.text = kNoPicture;
    return content;
}

std::optional<LoadOutcome> OpenPreview::takeFor(const std::string& acceptedPath)
{
    PreviewLoad load = std::move(m_load);
    drop();
    if (!previewStandsForOpen(load, acceptedPath))
        return std::nullopt;
    // The Open command's own load would name the picture by the path it was
    // given; the preview was given the same file under the name the dialog
    // reported then.
    load.outcome.path = acceptedPath;
    return std::move(load.outcome);
}

} // namespace pictorand
