#include "shell/block_image.h"

#include "ops/color_table.h"

#include <QPainter>
#include <QTransform>

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

void drawBlock(QPainter& painter, const QImage& upsideDown, const QRect& target)
{
    if (upsideDown.isNull() || target.isEmpty())
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
