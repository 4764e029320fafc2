#include "tools/painting/metafile_painter.h"

#include "tools/painting/block_image.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <variant>

namespace pictorand {

using namespace metafile;

namespace {

// Renderings kept between paints stay below this many pixels (64 MiB).
constexpr qint64 kMaxCachedPixels = qint64(16) << 20;
// Gradient triangles shaded pixel by pixel in one rendering, at most.
constexpr qint64 kMaxShadedPixels = qint64(32) << 20;

QColor qColour(Colour c)
{
    return QColor(c.red, c.green, c.blue);
}

QPainterPath qPath(const Path& path, bool winding)
{
    QPainterPath result;
    result.setFillRule(winding ? Qt::WindingFill : Qt::OddEvenFill);
    const size_t count = path.points.size();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t kind = path.kinds[i] & 0x7F;
        const Point& p = path.points[i];
        if (kind == Curve && i + 2 < count) {
            const Point& c2 = path.points[i + 1];
            const Point& end = path.points[i + 2];
            if (result.elementCount() == 0)
                result.moveTo(p.x, p.y);
            result.cubicTo(p.x, p.y, c2.x, c2.y, end.x, end.y);
            i += 2;
        } else if (kind == Move || result.elementCount() == 0) {
            result.moveTo(p.x, p.y);
        } else {
            result.lineTo(p.x, p.y);
        }
        if (path.kinds[i] & kCloseFigure)
            result.closeSubpath();
    }
    return result;
}

Qt::BrushStyle hatchStyle(int hatch)
{
    switch (hatch) {
    case 0:
        return Qt::HorPattern;
    case 1:
        return Qt::VerPattern;
    case 2:
        return Qt::BDiagPattern; // HS_FDIAGONAL runs down to the right, as Qt's backward diagonal
    case 3:
        return Qt::FDiagPattern;
    case 4:
        return Qt::CrossPattern;
    default:
        return Qt::DiagCrossPattern;
    }
}

QImage topDownImage(const ImageBlock& block)
{
    // The BMP reader hands 16- and 32-bit pictures on as they are stored.
    const auto bytesPerLine = static_cast<qsizetype>(block.rowSize());
    if (block.bitCount() == 32)
        return QImage(block.pixels(), block.width(), block.height(), bytesPerLine, QImage::Format_RGB32).mirrored();
    if (block.bitCount() == 16)
        return QImage(block.pixels(), block.width(), block.height(), bytesPerLine, QImage::Format_RGB555)
            .mirrored()
            .convertToFormat(QImage::Format_RGB32);
    std::vector<uint8_t> scratch;
    return blockImage(block, logicalPalette(block), scratch).mirrored().convertToFormat(QImage::Format_RGB32);
}

// A 32-bit block whose fourth bytes are premultiplied alpha.
QImage alphaImage(const ImageBlock& block)
{
    return QImage(block.pixels(), block.width(), block.height(), static_cast<qsizetype>(block.rowSize()),
                  QImage::Format_ARGB32_Premultiplied)
        .mirrored();
}

QBrush qBrush(const Brush& brush)
{
    switch (brush.kind) {
    case Brush::Kind::Null:
        return Qt::NoBrush;
    case Brush::Kind::Hatched:
        return QBrush(qColour(brush.colour), hatchStyle(brush.hatch));
    case Brush::Kind::Pattern:
        if (brush.pattern && *brush.pattern)
            return QBrush(topDownImage(*brush.pattern));
        return QBrush(Qt::gray);
    case Brush::Kind::Solid:
        break;
    }
    return QBrush(qColour(brush.colour));
}

class Playback {
public:
    Playback(QPainter& painter, const Drawing& drawing, const QRectF& target)
        : m_painter(painter), m_drawing(drawing)
    {
        const double sx = drawing.width > 0 ? target.width() / drawing.width : 1;
        const double sy = drawing.height > 0 ? target.height() / drawing.height : 1;
        m_base = QTransform(sx, 0, 0, sy, target.x(), target.y()) * painter.transform();
        m_scale = std::sqrt(std::fabs(sx * sy));
        m_page = QRectF(0, 0, drawing.width, drawing.height);
    }

    void run()
    {
        m_painter.save();
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        m_painter.setTransform(m_base);
        m_painter.setClipRect(m_page, Qt::IntersectClip);
        m_baseClip = m_painter.clipPath();
        for (const Command& command : m_drawing.commands)
            std::visit([this](const auto& c) { draw(c); }, command);
        m_painter.restore();
    }

private:
    void setMix(Mix mix)
    {
        QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
        switch (mix) {
        case Mix::Not:
            mode = QPainter::RasterOp_NotDestination;
            break;
        case Mix::XorPen:
            mode = QPainter::RasterOp_SourceXorDestination;
            break;
        case Mix::MaskPen:
            mode = QPainter::RasterOp_SourceAndDestination;
            break;
        case Mix::MergePen:
            mode = QPainter::RasterOp_SourceOrDestination;
            break;
        default:
            break;
        }
        m_painter.setCompositionMode(mode);
    }

    QPen qPen(const Pen& pen, Mix mix) const
    {
        QColor colour = mix == Mix::Black ? QColor(Qt::black) : mix == Mix::White ? QColor(Qt::white) : qColour(pen.colour);
        QPen result(colour);
        // Under one pixel where it is shown: a hairline, as the platform
        // never draws a line thinner than a pixel.
        if (pen.width * m_scale < 1.0) {
            result.setWidthF(0);
            result.setCosmetic(true);
        } else {
            result.setWidthF(pen.width);
        }
        switch (pen.style) {
        case Pen::Style::Dash:
            result.setStyle(Qt::DashLine);
            break;
        case Pen::Style::Dot:
            result.setStyle(Qt::DotLine);
            break;
        case Pen::Style::DashDot:
            result.setStyle(Qt::DashDotLine);
            break;
        case Pen::Style::DashDotDot:
            result.setStyle(Qt::DashDotDotLine);
            break;
        case Pen::Style::Null:
            result.setStyle(Qt::NoPen);
            break;
        default:
            result.setStyle(Qt::SolidLine);
            break;
        }
        result.setCapStyle(pen.cap == Pen::Cap::Flat ? Qt::FlatCap : pen.cap == Pen::Cap::Square ? Qt::SquareCap : Qt::RoundCap);
        result.setJoinStyle(pen.join == Pen::Join::Bevel ? Qt::BevelJoin : pen.join == Pen::Join::Miter ? Qt::MiterJoin : Qt::RoundJoin);
        return result;
    }

    void draw(const Shape& shape)
    {
        const QPainterPath path = qPath(shape.path, shape.winding);
        setMix(shape.mix);
        if (shape.fill) {
            QBrush brush = qBrush(shape.brush);
            if (shape.mix == Mix::Black)
                brush = QBrush(Qt::black);
            else if (shape.mix == Mix::White)
                brush = QBrush(Qt::white);
            if (shape.brush.kind == Brush::Kind::Hatched && shape.opaqueBackground)
                m_painter.fillPath(path, qColour(shape.background));
            m_painter.fillPath(path, brush);
        }
        if (shape.stroke) {
            if (shape.opaqueBackground && shape.pen.style != Pen::Style::Solid && shape.pen.style != Pen::Style::Null
                && shape.pen.style != Pen::Style::InsideFrame) {
                QPen under = qPen(shape.pen, shape.mix);
                under.setStyle(Qt::SolidLine);
                under.setColor(qColour(shape.background));
                m_painter.strokePath(path, under);
            }
            m_painter.strokePath(path, qPen(shape.pen, shape.mix));
        }
        m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }

    void draw(const Text& text)
    {
        if (text.font.height <= 0)
            return;
        const double deviceHeight = text.font.height * m_scale;
        if (deviceHeight < 0.5 || deviceHeight > 20000)
            return;
        QFont font(QString::fromStdString(text.font.face));
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(deviceHeight))));
        font.setWeight(static_cast<QFont::Weight>(std::clamp(text.font.weight == 0 ? 400 : text.font.weight, 1, 1000)));
        font.setItalic(text.font.italic);
        font.setUnderline(text.font.underline);
        font.setStrikeOut(text.font.strikeOut);
        if (text.font.cellHeight) {
            // The height asked for includes the internal leading: the em is
            // smaller by the face's own ratio.
            const QFontMetricsF metrics(font);
            if (metrics.height() > 0)
                font.setPixelSize(std::max(1, static_cast<int>(std::lround(deviceHeight * deviceHeight / metrics.height()))));
        }
        const QFontMetricsF metrics(font);
        const QString string = QString::fromUtf16(text.text.data(), static_cast<qsizetype>(text.text.size()));

        double width = 0;
        std::vector<double> offsets;
        if (!text.advances.empty()) {
            offsets.reserve(text.advances.size());
            for (double advance : text.advances) {
                offsets.push_back(width);
                width += advance * m_scale;
            }
        } else {
            width = metrics.horizontalAdvance(string);
        }
        double x = 0;
        const uint32_t horizontal = text.align & 0x06;
        if (horizontal == 2)
            x = -width;
        else if (horizontal == 6)
            x = -width / 2;
        double y = 0;
        const uint32_t vertical = text.align & 0x18;
        if (vertical == 0)
            y = metrics.ascent();
        else if (vertical == 8)
            y = -metrics.descent();

        m_painter.save();
        if (!text.clip.empty())
            m_painter.setClipPath(qPath(text.clip, false), Qt::IntersectClip);
        const QPointF origin = m_base.map(QPointF(text.origin.x, text.origin.y));
        QTransform place;
        place.translate(origin.x(), origin.y());
        place.rotate(-text.angle);
        m_painter.setTransform(place);
        m_painter.setFont(font);
        if (text.opaqueBackground)
            m_painter.fillRect(QRectF(x, y - metrics.ascent(), width, metrics.ascent() + metrics.descent()),
                               qColour(text.background));
        m_painter.setPen(qColour(text.colour));
        if (offsets.empty()) {
            m_painter.drawText(QPointF(x, y), string);
        } else {
            for (qsizetype i = 0; i < string.size(); ++i) {
                const bool pair = string[i].isHighSurrogate() && i + 1 < string.size();
                m_painter.drawText(QPointF(x + offsets[static_cast<size_t>(i)], y), string.mid(i, pair ? 2 : 1));
                if (pair)
                    ++i;
            }
        }
        m_painter.restore();
    }

    void draw(const Bitmap& bitmap)
    {
        if (!bitmap.image || !*bitmap.image)
            return;
        const double sw = bitmap.sourceWidth, sh = bitmap.sourceHeight;
        const QTransform place((bitmap.topRight.x - bitmap.topLeft.x) / sw, (bitmap.topRight.y - bitmap.topLeft.y) / sw,
                               (bitmap.bottomLeft.x - bitmap.topLeft.x) / sh, (bitmap.bottomLeft.y - bitmap.topLeft.y) / sh,
                               bitmap.topLeft.x, bitmap.topLeft.y);
        m_painter.save();
        m_painter.setTransform(place * m_base);
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, bitmap.smooth);
        m_painter.setOpacity(bitmap.constantAlpha / 255.0);
        if (!bitmap.mask && !bitmap.transparent && !bitmap.sourceAlpha) {
            const QImage image = topDownImage(*bitmap.image);
            if (!image.isNull())
                compose(bitmap.op, operand(bitmap.op, image, bitmap.brush), QRectF(bitmap.sourceX, bitmap.sourceY, sw, sh));
            m_painter.restore();
            return;
        }
        // Pixel by pixel: the part of the source as whole pixels, with alpha.
        const QRect part(static_cast<int>(bitmap.sourceX), static_cast<int>(bitmap.sourceY),
                         static_cast<int>(std::ceil(sw)), static_cast<int>(std::ceil(sh)));
        QImage source = (bitmap.sourceAlpha ? alphaImage(*bitmap.image) : topDownImage(*bitmap.image))
                            .copy(part)
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (source.isNull()) {
            m_painter.restore();
            return;
        }
        if (bitmap.transparent) {
            const QRgb left = qRgb(bitmap.transparent->red, bitmap.transparent->green, bitmap.transparent->blue);
            for (int y = 0; y < source.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(source.scanLine(y));
                for (int x = 0; x < source.width(); ++x)
                    if (line[x] == left)
                        line[x] = 0;
            }
        }
        const QRectF whole(0, 0, sw, sh);
        if (!bitmap.mask) {
            compose(bitmap.op, operand(bitmap.op, source, bitmap.brush), whole);
        } else {
            // Each operation where the mask picks it, the other pixels left
            // as they are.
            for (const auto& [op, set] : {std::pair{bitmap.op, true}, std::pair{bitmap.maskedOp, false}}) {
                if (op == BlitOp::Nop)
                    continue;
                QImage picked = operand(op, source, bitmap.brush).convertToFormat(QImage::Format_ARGB32_Premultiplied);
                restrict(picked, op, *bitmap.mask, set);
                compose(op, picked, whole);
            }
        }
        m_painter.restore();
    }

    // What one operation lays on the destination: the picture, its
    // negative, or what the operation paints in its place.
    static QImage operand(BlitOp op, const QImage& source, const Brush& brush)
    {
        switch (op) {
        case BlitOp::NotCopy: {
            QImage negative = source.copy();
            negative.invertPixels();
            return negative;
        }
        case BlitOp::Black:
        case BlitOp::White:
        case BlitOp::Invert: // an XOR with white
        case BlitOp::Pattern: {
            QImage painted(source.size(), QImage::Format_ARGB32_Premultiplied);
            painted.fill(op == BlitOp::Black ? Qt::black : Qt::white);
            if (op == BlitOp::Pattern) {
                QPainter painter(&painted);
                painter.fillRect(painted.rect(), qBrush(brush));
            }
            return painted;
        }
        default:
            return source;
        }
    }

    // Makes the pixels whose mask bit is not `set` leave the destination
    // as it is under `op`: transparent where the image is laid over it,
    // the operation's neutral colour where it is combined with it.
    static void restrict(QImage& image, BlitOp op, const Mask& mask, bool set)
    {
        const QRgb neutral = op == BlitOp::And                                                  ? 0xFFFFFFFFu
            : op == BlitOp::Or || op == BlitOp::Xor || op == BlitOp::Invert ? 0xFF000000u
                                                                             : 0u;
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (mask.at(x, y) != set)
                    line[x] = neutral;
        }
    }

    // Draws `from` of an operand into the bitmap's place as the operation
    // combines it with what is there.
    void compose(BlitOp op, const QImage& image, const QRectF& from)
    {
        switch (op) {
        case BlitOp::Nop:
            return;
        case BlitOp::And:
            m_painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
            break;
        case BlitOp::Or:
            m_painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
            break;
        case BlitOp::Xor:
        case BlitOp::Invert:
            m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            break;
        default:
            break;
        }
        m_painter.drawImage(QRectF(0, 0, from.width(), from.height()), image, from);
        m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }

    // Gouraud shading, pixel by pixel on the device: each pixel whose
    // centre lies in a triangle takes the colour its place weighs from the
    // corners'.
    void draw(const Gradient& gradient)
    {
        const QPaintDevice* device = m_painter.device();
        QRect visible(0, 0, device->width(), device->height());
        if (m_painter.hasClipping())
            visible &= m_painter.transform().mapRect(m_painter.clipBoundingRect()).toAlignedRect();
        for (const auto& triangle : gradient.triangles) {
            QPointF corner[3];
            QPolygonF outline;
            for (int i = 0; i < 3; ++i)
                outline << (corner[i] = m_base.map(QPointF(triangle[i].at.x, triangle[i].at.y)));
            const QRect box = outline.boundingRect().toAlignedRect() & visible;
            const double area = (corner[1].x() - corner[0].x()) * (corner[2].y() - corner[0].y())
                - (corner[2].x() - corner[0].x()) * (corner[1].y() - corner[0].y());
            if (box.isEmpty() || std::fabs(area) < 1e-9)
                continue;
            m_shadedPixels += qint64(box.width()) * box.height();
            if (m_shadedPixels > kMaxShadedPixels) {
                // A file of countless large triangles: past the budget they
                // are filled flat with their corners' mean, as fast as any
                // other shape.
                const auto mean = [&](auto channel) {
                    return (channel(triangle[0].colour) + channel(triangle[1].colour) + channel(triangle[2].colour)) / 3;
                };
                m_painter.save();
                m_painter.resetTransform();
                m_painter.setPen(Qt::NoPen);
                m_painter.setBrush(QColor(mean([](Colour c) { return c.red; }), mean([](Colour c) { return c.green; }),
                                          mean([](Colour c) { return c.blue; })));
                m_painter.drawPolygon(outline);
                m_painter.restore();
                continue;
            }
            QImage shaded(box.size(), QImage::Format_ARGB32_Premultiplied);
            shaded.fill(Qt::transparent);
            for (int y = 0; y < box.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(shaded.scanLine(y));
                const double py = box.top() + y + 0.5;
                for (int x = 0; x < box.width(); ++x) {
                    const double px = box.left() + x + 0.5;
                    double weight[3];
                    for (int i = 0; i < 3; ++i) {
                        const QPointF& a = corner[(i + 1) % 3];
                        const QPointF& b = corner[(i + 2) % 3];
                        weight[i] = ((b.x() - a.x()) * (py - a.y()) - (px - a.x()) * (b.y() - a.y())) / area;
                    }
                    if (weight[0] < -1e-9 || weight[1] < -1e-9 || weight[2] < -1e-9)
                        continue;
                    auto mixed = [&](auto channel) {
                        double sum = 0;
                        for (int i = 0; i < 3; ++i)
                            sum += weight[i] * channel(triangle[i].colour);
                        return std::clamp(static_cast<int>(sum + 0.5), 0, 255);
                    };
                    line[x] = qRgb(mixed([](Colour c) { return c.red; }), mixed([](Colour c) { return c.green; }),
                                   mixed([](Colour c) { return c.blue; }));
                }
            }
            m_painter.save();
            m_painter.resetTransform();
            m_painter.drawImage(box.topLeft(), shaded);
            m_painter.restore();
        }
    }

    void draw(const Clip& clip)
    {
        const QPainterPath path = qPath(clip.path, clip.winding);
        switch (clip.op) {
        case Clip::Op::Reset:
            m_painter.setClipPath(m_baseClip, Qt::ReplaceClip);
            break;
        case Clip::Op::Replace:
            m_painter.setClipPath(m_baseClip.intersected(path), Qt::ReplaceClip);
            break;
        case Clip::Op::Intersect:
            m_painter.setClipPath(path, Qt::IntersectClip);
            break;
        case Clip::Op::Exclude: {
            QPainterPath outside;
            outside.addRect(m_page.adjusted(-1, -1, 1, 1));
            m_painter.setClipPath(outside.subtracted(path), Qt::IntersectClip);
            break;
        }
        case Clip::Op::Unite:
            m_painter.setClipPath(m_painter.clipPath().united(path).intersected(m_baseClip), Qt::ReplaceClip);
            break;
        case Clip::Op::Xor: {
            const QPainterPath current = m_painter.clipPath();
            m_painter.setClipPath(current.subtracted(path).united(path.subtracted(current)).intersected(m_baseClip),
                                  Qt::ReplaceClip);
            break;
        }
        }
    }

    QPainter& m_painter;
    const Drawing& m_drawing;
    QTransform m_base;
    double m_scale = 1;
    QRectF m_page;
    QPainterPath m_baseClip;
    qint64 m_shadedPixels = 0;
};

} // namespace

// Lines and fills are drawn without antialiasing, as the platform plays
// metafiles: edges stay on the pixels the file meant, and a typical drawing
// paints in a third of the time. Text keeps its smoothing.
void paintDrawing(QPainter& painter, const Drawing& drawing, const QRectF& target)
{
    if (target.isEmpty() || drawing.width <= 0 || drawing.height <= 0)
        return;
    Playback(painter, drawing, target).run();
}

ImageBlock renderDrawingToBlock(const Drawing& drawing, int width, int height)
{
    ImageBlock block = ImageBlock::create(width, height, 24, 0);
    if (!block)
        return block;
    // Qt paints fastest on its own 32-bit format; the rows are narrowed to
    // the block's three bytes afterwards.
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return ImageBlock();
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintDrawing(painter, drawing, QRectF(0, 0, width, height));
    }
    // Blocks keep their rows bottom-up, blue, green, red.
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint8_t* out = block.row(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            out[3 * x] = static_cast<uint8_t>(qBlue(in[x]));
            out[3 * x + 1] = static_cast<uint8_t>(qGreen(in[x]));
            out[3 * x + 2] = static_cast<uint8_t>(qRed(in[x]));
        }
    }
    return block;
}

void MetafilePicture::paint(QPainter& painter, const QRect& target)
{
    if (target.isEmpty())
        return;
    if (qint64(target.width()) * target.height() > kMaxCachedPixels) {
        m_cache = QImage();
        painter.fillRect(target, Qt::white);
        painter.save();
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintDrawing(painter, *m_drawing, target);
        painter.restore();
        return;
    }
    if (m_cache.size() != target.size()) {
        m_cache = QImage(target.size(), QImage::Format_RGB32);
        m_cache.fill(Qt::white);
        QPainter cachePainter(&m_cache);
        cachePainter.setRenderHint(QPainter::TextAntialiasing);
        paintDrawing(cachePainter, *m_drawing, QRectF(0, 0, target.width(), target.height()));
        ++m_renders;
    }
    painter.drawImage(target.topLeft(), m_cache);
}

} // namespace pictorand
