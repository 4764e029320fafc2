#include "tools/painting/block_image.h"

#include "ops/color_table.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace pictorand {

QList<QRgb> logicalPalette(const ImageBlock& block)
{
    QList<QRgb> colours;
    if (!block)
        return colours;
    uint32_t count = colorCount(block);
    // Never read past the allocation, whatever the header claims.
    uint64_t room = block.size() > ImageBlock::kHeaderSize ? (block.size() - ImageBlock::kHeaderSize) / 4 : 0;
    if (count > room)
        count = static_cast<uint32_t>(room);
    colours.reserve(static_cast<qsizetype>(count));
    const ColorEntry* table = block.colorTable();
    for (uint32_t i = 0; i < count; ++i)
        colours.push_back(qRgb(table[i].red, table[i].green, table[i].blue));
    return colours;
}

namespace {

QList<QRgb> paddedTable(const QList<QRgb>& palette, int entries)
{
    QList<QRgb> table = palette.mid(0, entries);
    while (table.size() < entries)
        table.push_back(qRgb(0, 0, 0));
    return table;
}

} // namespace

QImage blockImage(const ImageBlock& block, const QList<QRgb>& palette, std::vector<uint8_t>& scratch)
{
    if (!block || !block.isConsistent() || block.width() <= 0 || block.height() <= 0)
        return {};
    const int width = block.width();
    const int height = block.height();
    const auto stride = static_cast<qsizetype>(block.rowSize());
    const uchar* rows = block.pixels();
    switch (block.bitCount()) {
    case 24:
        return QImage(rows, width, height, stride, QImage::Format_BGR888);
    case 8: {
        QImage image(rows, width, height, stride, QImage::Format_Indexed8);
        image.setColorTable(paddedTable(palette, 256));
        return image;
    }
    case 1: {
        QImage image(rows, width, height, stride, QImage::Format_Mono);
        image.setColorTable(paddedTable(palette, 2));
        return image;
    }
    case 4: {
        const auto outStride = static_cast<size_t>((width + 3) & ~3);
        scratch.assign(outStride * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = block.row(y);
            uint8_t* out = scratch.data() + outStride * static_cast<size_t>(y);
            for (int x = 0; x < width; ++x) {
                uint8_t byte = in[x / 2];
                out[x] = (x & 1) ? (byte & 0x0F) : static_cast<uint8_t>(byte >> 4);
            }
        }
        QImage image(scratch.data(), width, height, static_cast<qsizetype>(outStride), QImage::Format_Indexed8);
        image.setColorTable(paddedTable(palette, 16));
        return image;
    }
    default:
        return {};
    }
}

namespace {

// Blue, green, red triplets to opaque 32-bit pixels (0xFFrrggbb), four at a
// time from three 32-bit loads.
void bgrToOpaque32(const uint8_t* in, uint32_t* out, int count)
{
    int x = 0;
    for (; x + 4 <= count; x += 4, in += 12, out += 4) {
        uint32_t w0;
        uint32_t w1;
        uint32_t w2;
        std::memcpy(&w0, in, 4);
        std::memcpy(&w1, in + 4, 4);
        std::memcpy(&w2, in + 8, 4);
        if constexpr (std::endian::native == std::endian::little) {
            out[0] = 0xFF000000u | w0;
            out[1] = 0xFF000000u | (w0 >> 24) | (w1 << 8);
            out[2] = 0xFF000000u | (w1 >> 16) | (w2 << 16);
            out[3] = 0xFF000000u | (w2 >> 8);
        } else {
            for (int i = 0; i < 4; ++i)
                out[i] = 0xFF000000u | uint32_t(in[3 * i + 2]) << 16 | uint32_t(in[3 * i + 1]) << 8 | in[3 * i];
        }
    }
    for (; x < count; ++x, in += 3, ++out)
        *out = 0xFF000000u | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
}

// The 24-bit picture at 100 % painted straight into the raster image the
// painter draws on (the window's backing store, a grab's pixmap): one pass
// from the block's rows to the screen's pixels, flipped on the way. Qt's own
// path for this (a flipping transform over a 24-bit source) fetches and
// converts pixel by pixel on a thread pool and costs several times as much,
// the first paint of every picture included. False, with nothing drawn, when
// the painter's state is anything but the plain case.
bool drawOneToOne(QPainter& painter, const QImage& upsideDown, const QRect& target)
{
    if (upsideDown.format() != QImage::Format_BGR888 || target.size() != upsideDown.size())
        return false;
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter.hasClipping()
        || painter.compositionMode() != QPainter::CompositionMode_SourceOver || painter.opacity() != 1.0)
        return false;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return false;
    auto* surface = static_cast<QImage*>(device);
    const QImage::Format format = surface->format();
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
         && format != QImage::Format_ARGB32_Premultiplied)
        || !surface->isDetached())
        return false;
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate || transform.dx() != std::trunc(transform.dx())
        || transform.dy() != std::trunc(transform.dy()))
        return false;

    const QPoint offset(static_cast<int>(transform.dx()), static_cast<int>(transform.dy()));
    const QRect placed = target.translated(offset);
    QRegion visible = QRegion(placed) & QRegion(surface->rect());
    // Never past the widget (or image) being painted, whatever the system
    // clip holds: its neighbours in the backing store are not ours.
    // (A widget's size is logical; the surface counts device pixels.)
    if (const QPaintDevice* painted = painter.device()) {
        const qreal ratio = painted->devicePixelRatioF();
        visible &= QRegion(QRect(0, 0, static_cast<int>(std::ceil(painted->width() * ratio)),
                                 static_cast<int>(std::ceil(painted->height() * ratio)))
                               .translated(offset));
    }
    const QRegion systemClip = engine->systemClip();
    if (!systemClip.isEmpty())
        visible &= systemClip;
    uchar* bits = surface->bits();
    const qsizetype surfaceStride = surface->bytesPerLine();
    const int lastRow = upsideDown.height() - 1;
    for (const QRect& rect : visible) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const uchar* in = upsideDown.constScanLine(lastRow - (y - placed.top())) + 3 * (rect.left() - placed.left());
            auto* out = reinterpret_cast<uint32_t*>(bits + surfaceStride * y) + rect.left();
            bgrToOpaque32(in, out, rect.width());
        }
    }
    return true;
}

} // namespace

void drawBlock(QPainter& painter, const QImage& upsideDown, const QRect& target)
{
    if (upsideDown.isNull() || target.isEmpty())
        return;
    if (drawOneToOne(painter, upsideDown, target))
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.translate(target.left(), target.top() + target.height());
    painter.scale(1, -1);
    painter.drawImage(QRect(0, 0, target.width(), target.height()), upsideDown);
    painter.restore();
}

QPixmap deviceBitmap(const ImageBlock& block, const QList<QRgb>& palette)
{
    std::vector<uint8_t> scratch;
    QImage image = blockImage(block, palette, scratch);
    if (image.isNull())
        return {};
    return QPixmap::fromImage(image.mirrored(false, true));
}

} // namespace pictorand
