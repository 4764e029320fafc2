#include "codecs/metafile/player.h"

#include "codecs/bmp/bmp.h"
#include "codecs/common/span_reader.h"
#include "core/checked_size.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace pictorand::metafile {

namespace {

// Beyond this many picture pixels from the origin nothing can be seen at any
// zoom; painters work in fixed point and must not overflow.
constexpr double kCoordinateLimit = 1 << 22;
// Clip operations kept for replaying after RestoreDC.
constexpr size_t kMaxClips = 256;

enum StockObject : uint32_t {
    WHITE_BRUSH = 0,
    LTGRAY_BRUSH = 1,
    GRAY_BRUSH = 2,
    DKGRAY_BRUSH = 3,
    BLACK_BRUSH = 4,
    NULL_BRUSH = 5,
    WHITE_PEN = 6,
    BLACK_PEN = 7,
    NULL_PEN = 8,
    DC_BRUSH = 18,
    DC_PEN = 19,
};

constexpr uint32_t PS_NULL = 5;

Brush solid(Colour colour)
{
    Brush brush;
    brush.kind = Brush::Kind::Solid;
    brush.colour = colour;
    return brush;
}

} // namespace

Matrix Matrix::then(const Matrix& b) const
{
    return {m11 * b.m11 + m12 * b.m21, m11 * b.m12 + m12 * b.m22, m21 * b.m11 + m22 * b.m21,
            m21 * b.m12 + m22 * b.m22, dx * b.m11 + dy * b.m21 + b.dx, dx * b.m12 + dy * b.m22 + b.dy};
}

bool Matrix::finite() const
{
    return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) && std::isfinite(dx)
        && std::isfinite(dy);
}

Colour colourRef(uint32_t value)
{
    return {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF),
            static_cast<uint8_t>((value >> 16) & 0xFF)};
}

double clampCoordinate(double value)
{
    if (!std::isfinite(value))
        return 0;
    return std::clamp(value, -kCoordinateLimit, kCoordinateLimit);
}

Player::Player(Drawing& out, const Limits& limits, bool sixteenBit)
    : m_out(out)
    , m_limits(limits)
    , m_sixteenBit(sixteenBit)
{
    state.brush = solid({255, 255, 255});
    state.font.height = 0;
    state.font.face = "System";
    if (sixteenBit) {
        state.mapMode = MM_ANISOTROPIC;
    }
    mappingChanged();
}

bool Player::countRecord()
{
    if (++m_out.recordsWalked > m_limits.maxRecords)
        m_stopped = true;
    return !m_stopped;
}

// ---------------------------------------------------------------------------
// Mapping

Matrix Player::transform() const
{
    const DcState& s = state;
    double sx = 1;
    double sy = 1;
    switch (s.mapMode) {
    case MM_LOMETRIC:
        sx = deviceUnitsPerMillimetre * 0.1, sy = -sx;
        break;
    case MM_HIMETRIC:
        sx = deviceUnitsPerMillimetre * 0.01, sy = -sx;
        break;
    case MM_LOENGLISH:
        sx = deviceUnitsPerMillimetre * 0.254, sy = -sx;
        break;
    case MM_HIENGLISH:
        sx = deviceUnitsPerMillimetre * 0.0254, sy = -sx;
        break;
    case MM_TWIPS:
        sx = deviceUnitsPerMillimetre * 25.4 / 1440.0, sy = -sx;
        break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC: {
        const double wx = s.windowExtent.x != 0 ? s.windowExtent.x : 1;
        const double wy = s.windowExtent.y != 0 ? s.windowExtent.y : 1;
        sx = s.viewportExtent.x / wx;
        sy = s.viewportExtent.y / wy;
        if (s.mapMode == MM_ISOTROPIC) {
            // The smaller scale both ways, each keeping its direction.
            const double magnitude = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(magnitude, sx);
            sy = std::copysign(magnitude, sy);
        }
        break;
    }
    default:
        break;
    }
    Matrix page{sx, 0, 0, sy, s.viewportOrigin.x - s.windowOrigin.x * sx, s.viewportOrigin.y - s.windowOrigin.y * sy};
    Matrix total = s.world.then(page).then(deviceToPicture);
    return total.finite() ? total : Matrix{};
}

void Player::mappingChanged()
{
    m_transform = transform();
}

void Player::setMapMode(int mode)
{
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC)
        return;
    // A 16-bit file is played into the picture's frame: its window always
    // maps onto the whole picture, whatever mode it asks for.
    if (m_sixteenBit && mode != MM_ISOTROPIC && mode != MM_ANISOTROPIC)
        return;
    state.mapMode = mode;
    mappingChanged();
}

void Player::setWindowExtent(Point p)
{
    if (p.x == 0 || p.y == 0)
        return;
    state.windowExtent = p;
    mappingChanged();
}

void Player::setViewportExtent(Point p)
{
    if (p.x == 0 || p.y == 0)
        return;
    state.viewportExtent = p;
    mappingChanged();
}

void Player::setWorld(const Matrix& m)
{
    if (!m.finite() || m.determinant() == 0)
        return;
    state.world = m;
    mappingChanged();
}

// ---------------------------------------------------------------------------
// State

void Player::save()
{
    if (static_cast<int>(m_saved.size()) >= m_limits.maxSaveDepth)
        return; // deeper saves are not kept; their restores find what is there
    m_saved.push_back(state);
}

void Player::restore(int relative)
{
    // Negative: that many levels back; positive: the absolute level.
    const int depth = static_cast<int>(m_saved.size());
    int target = relative < 0 ? depth + relative : relative - 1;
    if (depth == 0 || target < 0 || target >= depth)
        return;
    const bool clipChanged = m_saved[target].clips.size() != state.clips.size() || !state.clips.empty();
    state = std::move(m_saved[target]);
    m_saved.resize(target);
    mappingChanged();
    if (clipChanged) {
        emit(Clip{Clip::Op::Reset, {}, false});
        for (const Clip& clip : state.clips)
            emit(clip);
    }
}

// ---------------------------------------------------------------------------
// Objects

void Player::setTableSize(size_t size)
{
    m_table.assign(std::min<size_t>(size, 65536), nullptr);
}

void Player::createObject(GdiObject object)
{
    auto free = std::find(m_table.begin(), m_table.end(), nullptr);
    // A file that creates more objects than its header declared: the
    // platform grows the table, and so do we, within bounds.
    if (free == m_table.end()) {
        if (m_table.size() >= 65536)
            return;
        m_table.push_back(nullptr);
        free = m_table.end() - 1;
    }
    *free = std::make_shared<const GdiObject>(std::move(object));
}

void Player::createObjectAt(uint32_t index, GdiObject object)
{
    if (index == 0 || index >= m_table.size())
        return; // slot 0 is the file itself
    m_table[index] = std::make_shared<const GdiObject>(std::move(object));
}

const GdiObject* Player::object(uint32_t index) const
{
    return index < m_table.size() ? m_table[index].get() : nullptr;
}

void Player::selectObject(uint32_t index)
{
    const GdiObject* chosen = object(index);
    if (!chosen)
        return;
    switch (chosen->type) {
    case GdiObject::Type::Pen:
        state.pen = chosen->pen;
        break;
    case GdiObject::Type::Brush:
        state.brush = chosen->brush;
        break;
    case GdiObject::Type::Font:
        state.font = chosen->font;
        break;
    case GdiObject::Type::Region: {
        // SelectObject of a region is SelectClipRgn with RGN_COPY.
        Clip clip{Clip::Op::Replace, {}, false};
        for (const Rect& r : chosen->region)
            clip.path.append(rectPath(r));
        state.clips.clear();
        pushClip(std::move(clip));
        break;
    }
    case GdiObject::Type::Palette:
        break;
    case GdiObject::Type::Other:
        break;
    }
}

void Player::selectStockObject(uint32_t stock)
{
    switch (stock) {
    case WHITE_BRUSH:
        state.brush = solid({255, 255, 255});
        break;
    case LTGRAY_BRUSH:
        state.brush = solid({192, 192, 192});
        break;
    case GRAY_BRUSH:
        state.brush = solid({128, 128, 128});
        break;
    case DKGRAY_BRUSH:
        state.brush = solid({64, 64, 64});
        break;
    case BLACK_BRUSH:
        state.brush = solid({0, 0, 0});
        break;
    case NULL_BRUSH:
        state.brush = Brush{};
        state.brush.kind = Brush::Kind::Null;
        break;
    case WHITE_PEN:
        state.pen = LogPen{0, 0, {255, 255, 255}, true};
        break;
    case BLACK_PEN:
        state.pen = LogPen{0, 0, {0, 0, 0}, true};
        break;
    case NULL_PEN:
        state.pen = LogPen{PS_NULL, 0, {}, true};
        break;
    case DC_BRUSH:
        state.brush = solid({255, 255, 255});
        break;
    case DC_PEN:
        state.pen = LogPen{0, 0, {0, 0, 0}, true};
        break;
    default:
        if (stock >= 10 && stock <= 17 && stock != 15) {
            state.font = LogFont{};
            state.font.face = stock == 10 || stock == 11 || stock == 16 ? "Courier New" : "System";
        }
        break;
    }
}

void Player::deleteObject(uint32_t index)
{
    if (index < m_table.size())
        m_table[index] = nullptr;
}

Brush Player::logicalBrush(uint32_t style, Colour colour, uint32_t hatch)
{
    Brush brush;
    brush.colour = colour;
    switch (style) {
    case 0:
        brush.kind = Brush::Kind::Solid;
        break;
    case 1:
        brush.kind = Brush::Kind::Null;
        break;
    case 2:
        brush.kind = hatch <= 5 ? Brush::Kind::Hatched : Brush::Kind::Solid;
        brush.hatch = static_cast<int>(hatch);
        break;
    default:
        // Pattern brushes without their bitmap: a grey stands in.
        brush.kind = Brush::Kind::Solid;
        brush.colour = {128, 128, 128};
        break;
    }
    return brush;
}

// ---------------------------------------------------------------------------
// Drawing

void Player::emit(Command command)
{
    if (m_stopped)
        return;
    if (static_cast<int>(m_out.commands.size()) >= m_limits.maxCommands) {
        m_stopped = true;
        return;
    }
    m_out.commands.push_back(std::move(command));
}

Pen Player::devicePen() const
{
    Pen pen;
    const uint32_t style = state.pen.style & 0x0F;
    switch (style) {
    case 1:
        pen.style = Pen::Style::Dash;
        break;
    case 2:
    case 8: // PS_ALTERNATE
        pen.style = Pen::Style::Dot;
        break;
    case 3:
        pen.style = Pen::Style::DashDot;
        break;
    case 4:
        pen.style = Pen::Style::DashDotDot;
        break;
    case 5:
        pen.style = Pen::Style::Null;
        break;
    case 6:
        pen.style = Pen::Style::InsideFrame;
        break;
    default:
        pen.style = Pen::Style::Solid;
        break;
    }
    switch (state.pen.style & 0x0F00) {
    case 0x100:
        pen.cap = Pen::Cap::Square;
        break;
    case 0x200:
        pen.cap = Pen::Cap::Flat;
        break;
    default:
        pen.cap = Pen::Cap::Round;
        break;
    }
    switch (state.pen.style & 0xF000) {
    case 0x1000:
        pen.join = Pen::Join::Bevel;
        break;
    case 0x2000:
        pen.join = Pen::Join::Miter;
        break;
    default:
        pen.join = Pen::Join::Round;
        break;
    }
    pen.colour = state.pen.colour;
    if (!state.pen.cosmetic && state.pen.width > 0) {
        const double scale = std::sqrt(std::fabs(m_transform.determinant()));
        pen.width = std::min(clampCoordinate(state.pen.width * scale), 1e5);
    }
    return pen;
}

void Player::addFigure(Path path, bool fill, bool stroke, bool closed)
{
    if (path.empty() || m_stopped)
        return;
    if (closed)
        path.closeFigure();
    if (m_inPath) {
        m_points += path.points.size();
        if (m_points > m_limits.maxPoints) {
            m_stopped = true;
            return;
        }
        m_path.append(path);
        return;
    }
    const bool penDraws = (state.pen.style & 0x0F) != PS_NULL;
    const bool brushFills = state.brush.kind != Brush::Kind::Null;
    stroke = stroke && penDraws;
    fill = fill && brushFills;
    if ((!stroke && !fill) || state.mix == Mix::Nop)
        return;
    m_points += path.points.size();
    if (m_points > m_limits.maxPoints) {
        m_stopped = true;
        return;
    }
    Shape shape;
    shape.path = std::move(path);
    shape.fill = fill;
    shape.stroke = stroke;
    shape.winding = state.winding;
    shape.pen = devicePen();
    shape.brush = state.brush;
    shape.mix = state.mix;
    shape.opaqueBackground = state.opaque;
    shape.background = state.background;
    emit(std::move(shape));
}

Path Player::rectPath(Rect box) const
{
    Path path;
    path.moveTo(toPicture({box.left, box.top}));
    path.lineTo(toPicture({box.right, box.top}));
    path.lineTo(toPicture({box.right, box.bottom}));
    path.lineTo(toPicture({box.left, box.bottom}));
    path.closeFigure();
    for (Point& p : path.points)
        p = {clampCoordinate(p.x), clampCoordinate(p.y)};
    return path;
}

void Player::moveTo(Point p)
{
    state.position = p;
    if (m_inPath)
        m_path.moveTo(toPicture(p));
}

void Player::lineTo(Point p)
{
    if (m_inPath) {
        if (m_path.empty())
            m_path.moveTo(toPicture(state.position));
        m_path.lineTo(toPicture(p));
        state.position = p;
        return;
    }
    Path path;
    path.moveTo(toPicture(state.position));
    path.lineTo(toPicture(p));
    state.position = p;
    addFigure(std::move(path), false, true, false);
}

void Player::polyline(const std::vector<Point>& points)
{
    if (points.size() < 2)
        return;
    Path path;
    path.moveTo(toPicture(points[0]));
    for (size_t i = 1; i < points.size(); ++i)
        path.lineTo(toPicture(points[i]));
    addFigure(std::move(path), false, true, false);
}

void Player::polylineTo(const std::vector<Point>& points)
{
    if (points.empty())
        return;
    if (m_inPath) {
        if (m_path.empty())
            m_path.moveTo(toPicture(state.position));
        for (const Point& p : points)
            m_path.lineTo(toPicture(p));
        state.position = points.back();
        return;
    }
    std::vector<Point> all;
    all.reserve(points.size() + 1);
    all.push_back(state.position);
    all.insert(all.end(), points.begin(), points.end());
    state.position = points.back();
    polyline(all);
}

void Player::polygon(const std::vector<Point>& points)
{
    if (points.size() < 2)
        return;
    Path path;
    path.moveTo(toPicture(points[0]));
    for (size_t i = 1; i < points.size(); ++i)
        path.lineTo(toPicture(points[i]));
    addFigure(std::move(path), true, true, true);
}

void Player::polyPolygon(const std::vector<std::vector<Point>>& polygons, bool fill)
{
    Path path;
    for (const std::vector<Point>& points : polygons) {
        if (points.empty())
            continue;
        path.moveTo(toPicture(points[0]));
        for (size_t i = 1; i < points.size(); ++i)
            path.lineTo(toPicture(points[i]));
        if (fill)
            path.closeFigure();
    }
    addFigure(std::move(path), fill, true, false);
}

void Player::polyBezier(const std::vector<Point>& points, bool fromCurrent)
{
    size_t first = 0;
    Path path;
    if (fromCurrent) {
        path.moveTo(toPicture(state.position));
    } else {
        if (points.empty())
            return;
        path.moveTo(toPicture(points[0]));
        first = 1;
    }
    size_t i = first;
    for (; i + 3 <= points.size(); i += 3)
        path.curveTo(toPicture(points[i]), toPicture(points[i + 1]), toPicture(points[i + 2]));
    if (i == first)
        return;
    if (fromCurrent)
        state.position = points[i - 1];
    if (m_inPath) {
        if (fromCurrent && !m_path.empty()) {
            // Continue the figure rather than starting a new one.
            path.points.erase(path.points.begin());
            path.kinds.erase(path.kinds.begin());
        }
        m_path.append(path);
        return;
    }
    addFigure(std::move(path), false, true, false);
}

void Player::rectangle(Rect box)
{
    addFigure(rectPath(box), true, true, true);
}

Path Player::arcPath(ArcKind kind, Rect box, Point start, Point end, bool moveFirst) const
{
    Path path;
    const double cx = (box.left + box.right) / 2;
    const double cy = (box.top + box.bottom) / 2;
    const double rx = std::fabs(box.right - box.left) / 2;
    const double ry = std::fabs(box.bottom - box.top) / 2;
    if (rx <= 0 || ry <= 0)
        return path;
    const double startAngle = std::atan2((start.y - cy) / ry, (start.x - cx) / rx);
    const double endAngle = std::atan2((end.y - cy) / ry, (end.x - cx) / rx);
    // Anticlockwise as the picture shows it: with y down that is decreasing
    // angles, unless the mapping turns the picture over.
    bool decreasing = m_transform.determinant() > 0;
    if (state.clockwise)
        decreasing = !decreasing;
    constexpr double kTwoPi = 2 * std::numbers::pi;
    double sweep = endAngle - startAngle;
    if (decreasing) {
        while (sweep >= 0)
            sweep -= kTwoPi;
    } else {
        while (sweep <= 0)
            sweep += kTwoPi;
    }
    auto at = [&](double angle) { return Point{cx + rx * std::cos(angle), cy + ry * std::sin(angle)}; };
    auto slope = [&](double angle) { return Point{-rx * std::sin(angle), ry * std::cos(angle)}; };
    const int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (std::numbers::pi / 2) - 1e-9)));
    const double step = sweep / segments;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    if (kind == ArcKind::Pie) {
        path.moveTo(toPicture({cx, cy}));
        path.lineTo(toPicture(at(startAngle)));
    } else if (moveFirst) {
        path.moveTo(toPicture(at(startAngle)));
    } else {
        path.lineTo(toPicture(at(startAngle)));
    }
    double angle = startAngle;
    for (int i = 0; i < segments; ++i) {
        const Point p0 = at(angle);
        const Point d0 = slope(angle);
        const double next = angle + step;
        const Point p3 = at(next);
        const Point d3 = slope(next);
        path.curveTo(toPicture({p0.x + k * d0.x, p0.y + k * d0.y}), toPicture({p3.x - k * d3.x, p3.y - k * d3.y}),
                     toPicture(p3));
        angle = next;
    }
    if (kind == ArcKind::Chord || kind == ArcKind::Pie)
        path.closeFigure();
    return path;
}

void Player::ellipse(Rect box)
{
    const double cy = (box.top + box.bottom) / 2;
    // A start and end at the same place draw the whole ellipse.
    Path path = arcPath(ArcKind::Chord, box, {box.right, cy}, {box.right, cy}, true);
    addFigure(std::move(path), true, true, true);
}

void Player::arc(ArcKind kind, Rect box, Point start, Point end)
{
    if (kind == ArcKind::ArcTo) {
        Path path = arcPath(ArcKind::Arc, box, start, end, false);
        if (path.empty())
            return;
        // ArcTo draws a line from the current position to the arc's start.
        Path withLine;
        withLine.moveTo(toPicture(state.position));
        withLine.append(path);
        const double cx = (box.left + box.right) / 2;
        const double cy = (box.top + box.bottom) / 2;
        const double rx = std::fabs(box.right - box.left) / 2;
        const double ry = std::fabs(box.bottom - box.top) / 2;
        const double endAngle = std::atan2((end.y - cy) / ry, (end.x - cx) / rx);
        state.position = {cx + rx * std::cos(endAngle), cy + ry * std::sin(endAngle)};
        if (m_inPath) {
            if (!m_path.empty())
                withLine.kinds[0] = Line;
            m_path.append(withLine);
            return;
        }
        addFigure(std::move(withLine), false, true, false);
        return;
    }
    Path path = arcPath(kind, box, start, end, true);
    const bool closed = kind != ArcKind::Arc;
    addFigure(std::move(path), closed, true, false);
}

void Player::roundRectangle(Rect box, double cornerWidth, double cornerHeight)
{
    const double left = std::min(box.left, box.right), right = std::max(box.left, box.right);
    const double top = std::min(box.top, box.bottom), bottom = std::max(box.top, box.bottom);
    const double rx = std::min(std::fabs(cornerWidth) / 2, (right - left) / 2);
    const double ry = std::min(std::fabs(cornerHeight) / 2, (bottom - top) / 2);
    if (rx <= 0 || ry <= 0) {
        rectangle(box);
        return;
    }
    // Four quarter arcs, each a Bézier segment, joined by the straight sides.
    constexpr double k = 0.5522847498307936;
    auto corner = [&](Path& path, Point from, Point control1, Point control2, Point to) {
        path.lineTo(toPicture(from));
        path.curveTo(toPicture(control1), toPicture(control2), toPicture(to));
    };
    Path path;
    path.moveTo(toPicture({left + rx, top}));
    corner(path, {right - rx, top}, {right - rx + k * rx, top}, {right, top + ry - k * ry}, {right, top + ry});
    corner(path, {right, bottom - ry}, {right, bottom - ry + k * ry}, {right - rx + k * rx, bottom},
           {right - rx, bottom});
    corner(path, {left + rx, bottom}, {left + rx - k * rx, bottom}, {left, bottom - ry + k * ry}, {left, bottom - ry});
    corner(path, {left, top + ry}, {left, top + ry - k * ry}, {left + rx - k * rx, top}, {left + rx, top});
    addFigure(std::move(path), true, true, true);
}

void Player::setPixel(Point p, Colour colour)
{
    if (m_inPath)
        return;
    const Point at = toPicture(p);
    const Point size = m_transform.mapVector({1, 1});
    const double w = std::max(std::fabs(size.x), 1.0);
    const double h = std::max(std::fabs(size.y), 1.0);
    Shape shape;
    shape.path.moveTo({clampCoordinate(at.x), clampCoordinate(at.y)});
    shape.path.lineTo({clampCoordinate(at.x + w), clampCoordinate(at.y)});
    shape.path.lineTo({clampCoordinate(at.x + w), clampCoordinate(at.y + h)});
    shape.path.lineTo({clampCoordinate(at.x), clampCoordinate(at.y + h)});
    shape.path.closeFigure();
    shape.fill = true;
    shape.brush = solid(colour);
    emit(std::move(shape));
}

void Player::fillRectWithBrush(Rect box, const Brush& brush)
{
    if (brush.kind == Brush::Kind::Null || m_inPath)
        return;
    Shape shape;
    shape.path = rectPath(box);
    shape.fill = true;
    shape.brush = brush;
    shape.opaqueBackground = state.opaque;
    shape.background = state.background;
    emit(std::move(shape));
}

void Player::patBlt(Rect box, uint32_t rop)
{
    switch (rop >> 16) {
    case 0x00:
        fillRectWithBrush(box, solid({0, 0, 0}));
        break;
    case 0xFF:
        fillRectWithBrush(box, solid({255, 255, 255}));
        break;
    case 0xAA:
        break; // the destination as it is
    default:
        fillRectWithBrush(box, state.brush);
        break;
    }
}

// ---------------------------------------------------------------------------
// Text

void Player::text(Point origin, std::u16string text, std::vector<double> advances, uint32_t options,
                  std::optional<Rect> rect)
{
    if (m_inPath || m_stopped)
        return;
    if (options & ETO_OPAQUE && rect) {
        Shape shape;
        shape.path = rectPath(*rect);
        shape.fill = true;
        shape.brush = solid(state.background);
        emit(std::move(shape));
    }
    if (text.empty() || (options & ETO_GLYPH_INDEX))
        return; // glyph numbers of a font we do not have cannot be drawn
    const bool useCurrentPosition = (state.textAlign & TA_UPDATECP) != 0;
    if (useCurrentPosition)
        origin = state.position;

    const LogFont& font = state.font;
    const Matrix& m = m_transform;
    // The logical y axis points up when the mapping turns the picture over.
    const bool yUp = m.determinant() < 0;
    const double radians = font.escapement / 10.0 * std::numbers::pi / 180.0;
    const Point baseline{std::cos(radians), yUp ? std::sin(radians) : -std::sin(radians)};
    const Point along = m.mapVector(baseline);
    const double alongLength = std::hypot(along.x, along.y);
    const Point up = m.mapVector({0, 1});
    const double verticalScale = std::hypot(up.x, up.y);

    Text command;
    const Point at = toPicture(origin);
    command.origin = {clampCoordinate(at.x), clampCoordinate(at.y)};
    command.angle = std::atan2(-along.y, along.x) * 180.0 / std::numbers::pi;
    command.font.face = font.face;
    // Height 0 is the font's default size, about 12 points on the screen.
    const double logicalHeight = font.height != 0 ? std::fabs(static_cast<double>(font.height)) : 0;
    command.font.height = logicalHeight > 0 ? logicalHeight * verticalScale
                                            : 16.0 * std::sqrt(std::fabs(deviceToPicture.determinant()));
    command.font.height = std::clamp(command.font.height, 0.0, 1e5);
    command.font.cellHeight = font.height > 0;
    command.font.weight = font.weight;
    command.font.italic = font.italic;
    command.font.underline = font.underline;
    command.font.strikeOut = font.strikeOut;
    command.font.charset = font.charset;
    command.colour = state.textColour;
    command.opaqueBackground = state.opaque;
    command.background = state.background;
    command.align = state.textAlign & 0x1E;
    double total = 0;
    if (!advances.empty()) {
        command.advances.reserve(advances.size());
        for (double advance : advances) {
            command.advances.push_back(clampCoordinate(advance * alongLength));
            total += advance;
        }
    }
    if ((options & ETO_CLIPPED) && rect)
        command.clip = rectPath(*rect);
    command.text = std::move(text);
    if (useCurrentPosition) {
        if (total == 0)
            total = logicalHeight * 0.5 * static_cast<double>(command.text.size());
        state.position.x += total * std::cos(radians);
    }
    m_points += command.text.size();
    if (m_points > m_limits.maxPoints) {
        m_stopped = true;
        return;
    }
    emit(std::move(command));
}

// ---------------------------------------------------------------------------
// Bitmaps

std::shared_ptr<const ImageBlock> Player::decodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits)
{
    if (info.size() < 12 || info.size() > kMaxBlockBytes || bits.size() > kMaxBlockBytes)
        return nullptr;
    // A bitmap file in memory: the 14-byte file header, the info with its
    // colours, then the bits, and the BMP reader does the rest.
    const uint64_t total = 14 + uint64_t(info.size()) + bits.size();
    if (total > kMaxBlockBytes)
        return nullptr;
    std::vector<uint8_t> file;
    try {
        file.resize(static_cast<size_t>(total));
    } catch (...) {
        return nullptr;
    }
    file[0] = 'B';
    file[1] = 'M';
    const uint32_t size = static_cast<uint32_t>(total);
    const uint32_t offset = static_cast<uint32_t>(14 + info.size());
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<uint8_t>(size >> (8 * i));
        file[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
    }
    std::copy(info.begin(), info.end(), file.begin() + 14);
    std::copy(bits.begin(), bits.end(), file.begin() + offset);
    Result<DecodedImage> read = readBmpFromMemory(file);
    if (!read)
        return nullptr;
    return std::make_shared<const ImageBlock>(std::move(read->block));
}

std::shared_ptr<const ImageBlock> Player::decodeAlphaDib(std::span<const uint8_t> info, std::span<const uint8_t> bits)
{
    // BITMAPINFOHEADER or a later one; 32 bits, plain or with the usual masks.
    if (info.size() < 40)
        return nullptr;
    const uint32_t headerSize = loadLE32(info.data());
    const int32_t width = static_cast<int32_t>(loadLE32(info.data() + 4));
    const int32_t height = static_cast<int32_t>(loadLE32(info.data() + 8));
    const uint16_t bitCount = loadLE16(info.data() + 14);
    const uint32_t compression = loadLE32(info.data() + 16);
    if (headerSize < 40 || headerSize > info.size() || bitCount != 32 || width <= 0 || height == 0 || height == INT32_MIN)
        return nullptr;
    if (compression == 3) {
        // The masks follow a 40-byte header and lie at the same place in
        // the longer ones.
        if (info.size() < 52 || loadLE32(info.data() + 40) != 0x00FF0000 || loadLE32(info.data() + 44) != 0x0000FF00
            || loadLE32(info.data() + 48) != 0x000000FF)
            return nullptr;
    } else if (compression != 0) {
        return nullptr;
    }
    const int32_t rows = height < 0 ? -height : height;
    const std::optional<uint64_t> needed = checkedMul(uint64_t(width) * 4, uint64_t(rows));
    if (!needed || *needed > bits.size())
        return nullptr;
    ImageBlock block = ImageBlock::create(width, rows, 32, 0);
    if (!block)
        return nullptr;
    const size_t rowBytes = size_t(width) * 4;
    for (int32_t y = 0; y < rows; ++y) {
        // Blocks keep their rows bottom-up, as a DIB of positive height does.
        const int32_t from = height > 0 ? y : rows - 1 - y;
        uint8_t* out = block.row(y);
        std::copy_n(bits.data() + size_t(from) * rowBytes, rowBytes, out);
        // Premultiplied: no colour above its alpha.
        for (size_t x = 0; x < rowBytes; x += 4)
            for (int c = 0; c < 3; ++c)
                out[x + c] = std::min(out[x + c], out[x + 3]);
    }
    return std::make_shared<const ImageBlock>(std::move(block));
}

namespace {

// The operation of a ternary raster code's index byte; codes that combine
// pattern, source and destination otherwise copy the source.
BlitOp blitOp(uint32_t code)
{
    switch (code & 0xFF) {
    case 0x00: return BlitOp::Black;
    case 0xFF: return BlitOp::White;
    case 0xAA: return BlitOp::Nop;
    case 0xF0: return BlitOp::Pattern;
    case 0x55: return BlitOp::Invert;
    case 0x88: return BlitOp::And;
    case 0xEE: return BlitOp::Or;
    case 0x66: return BlitOp::Xor;
    case 0x33: return BlitOp::NotCopy;
    default: return BlitOp::Copy;
    }
}

// White, light enough for a monochrome bitmap's 1 bits.
bool light(const ImageBlock& block, int x, int y)
{
    const uint8_t* row = block.topRow(y);
    uint8_t blue = 0, green = 0, red = 0;
    const uint16_t bits = block.bitCount();
    if (bits == 1 || bits == 2 || bits == 4 || bits == 8) {
        const int perByte = 8 / bits;
        const int index = (row[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & ((1 << bits) - 1);
        if (static_cast<uint32_t>(index) >= block.colorsUsed())
            return false;
        const ColorEntry& entry = block.colorTable()[index];
        blue = entry.blue, green = entry.green, red = entry.red;
    } else if (bits == 24 || bits == 32) {
        const uint8_t* pixel = row + size_t(x) * (bits / 8);
        blue = pixel[0], green = pixel[1], red = pixel[2];
    } else {
        return false;
    }
    return blue + green + red >= 3 * 128;
}

} // namespace

void Player::bitmap(Rect destination, std::span<const uint8_t> info, std::span<const uint8_t> bits, double sourceX,
                    double sourceY, double sourceWidth, double sourceHeight, uint32_t rop, bool bottomUpOrigin)
{
    Blit request = Blit::into(destination);
    request.info = info;
    request.bits = bits;
    request.sourceX = sourceX;
    request.sourceY = sourceY;
    request.sourceWidth = sourceWidth;
    request.sourceHeight = sourceHeight;
    request.rop = rop;
    request.bottomUpOrigin = bottomUpOrigin;
    blit(request);
}

void Player::blit(const Blit& request)
{
    if (m_inPath || m_stopped)
        return;
    std::shared_ptr<const ImageBlock> maskImage =
        request.maskInfo.empty() ? nullptr : decodeDib(request.maskInfo, request.maskBits);
    const uint32_t code = (request.rop >> 16) & 0xFF;
    const Rect destination{request.topLeft.x, request.topLeft.y, request.topRight.x, request.bottomLeft.y};
    const bool parallelogram = request.topLeft.y != request.topRight.y || request.topLeft.x != request.bottomLeft.x;
    if (!maskImage && !parallelogram
        && (request.info.empty() || code == 0x00 || code == 0xFF || code == 0xAA || code == 0xF0 || code == 0x55
            || code == 0x5A)) {
        if (code == 0x55 || code == 0x5A) {
            // DSTINVERT and PATINVERT: an XOR with white stands for both.
            Shape shape;
            shape.path = rectPath(destination);
            shape.fill = true;
            shape.brush = solid({255, 255, 255});
            shape.mix = Mix::XorPen;
            emit(std::move(shape));
            return;
        }
        patBlt(destination, request.rop);
        return;
    }
    std::shared_ptr<const ImageBlock> image;
    if (request.sourceAlpha)
        image = decodeAlphaDib(request.info, request.bits);
    if (!image && !request.info.empty())
        image = decodeDib(request.info, request.bits);
    if (!image && maskImage) {
        // A mask alone: the operations use the brush, not a source; a blank
        // one of the mask's size stands in.
        ImageBlock blank = ImageBlock::create(maskImage->width(), std::abs(maskImage->height()), 24, 0);
        if (blank)
            image = std::make_shared<const ImageBlock>(std::move(blank));
    }
    if (!image)
        return;
    Bitmap command;
    command.image = image;
    const double imageWidth = image->width();
    const double imageHeight = std::fabs(static_cast<double>(image->height()));
    double sourceX = request.sourceX, sourceY = request.sourceY;
    double sourceWidth = std::fabs(request.sourceWidth), sourceHeight = std::fabs(request.sourceHeight);
    if (sourceWidth == 0 || sourceHeight == 0) {
        sourceX = sourceY = 0;
        sourceWidth = imageWidth;
        sourceHeight = imageHeight;
    }
    // Some calls count the source rectangle from the picture's bottom row.
    if (request.bottomUpOrigin)
        sourceY = imageHeight - sourceY - sourceHeight;
    command.sourceX = std::clamp(sourceX, 0.0, imageWidth);
    command.sourceY = std::clamp(sourceY, 0.0, imageHeight);
    command.sourceWidth = std::clamp(sourceWidth, 0.0, imageWidth - command.sourceX);
    command.sourceHeight = std::clamp(sourceHeight, 0.0, imageHeight - command.sourceY);
    if (command.sourceWidth <= 0 || command.sourceHeight <= 0)
        return;
    auto placed = [this](Point p) {
        const Point at = toPicture(p);
        return Point{clampCoordinate(at.x), clampCoordinate(at.y)};
    };
    command.topLeft = placed(request.topLeft);
    command.topRight = placed(request.topRight);
    command.bottomLeft = placed(request.bottomLeft);
    command.smooth = state.stretchMode == 4;
    command.brush = state.brush;
    command.op = blitOp(code);
    if (maskImage) {
        // The mask lines up with the source part; what it does not cover
        // counts as clear.
        auto mask = std::make_shared<Mask>();
        mask->width = static_cast<int>(std::ceil(command.sourceWidth));
        mask->height = static_cast<int>(std::ceil(command.sourceHeight));
        mask->set.assign(size_t(mask->width) * mask->height, 0);
        const int left = static_cast<int>(request.maskX + (command.sourceX - sourceX));
        const int top = static_cast<int>(request.maskY + (command.sourceY - sourceY));
        const int maskHeight = std::abs(maskImage->height());
        for (int y = 0; y < mask->height; ++y)
            for (int x = 0; x < mask->width; ++x)
                if (left + x >= 0 && left + x < maskImage->width() && top + y >= 0 && top + y < maskHeight)
                    mask->set[size_t(y) * mask->width + x] = light(*maskImage, left + x, top + y) ? 1 : 0;
        command.mask = std::move(mask);
        command.maskedOp = blitOp(request.rop >> 24);
    } else if (command.op == BlitOp::Nop) {
        return;
    }
    command.constantAlpha = request.constantAlpha;
    command.sourceAlpha = request.sourceAlpha && image->bitCount() == 32;
    command.transparent = request.transparent;
    emit(std::move(command));
}

void Player::gradient(std::vector<std::array<GradientVertex, 3>> triangles)
{
    if (m_inPath || m_stopped || triangles.empty())
        return;
    m_points += 3 * triangles.size();
    if (m_points > m_limits.maxPoints) {
        m_stopped = true;
        return;
    }
    Gradient command;
    command.triangles = std::move(triangles);
    for (auto& triangle : command.triangles)
        for (GradientVertex& vertex : triangle)
            vertex.at = toPicture(vertex.at);
    emit(std::move(command));
}

// ---------------------------------------------------------------------------
// Clipping

void Player::pushClip(Clip clip)
{
    if (state.clips.size() < kMaxClips)
        state.clips.push_back(clip);
    emit(std::move(clip));
}

void Player::intersectClipRect(Rect box)
{
    pushClip(Clip{Clip::Op::Intersect, rectPath(box), false});
}

void Player::excludeClipRect(Rect box)
{
    pushClip(Clip{Clip::Op::Exclude, rectPath(box), false});
}

void Player::resetClip()
{
    state.clips.clear();
    emit(Clip{Clip::Op::Reset, {}, false});
}

void Player::selectClipRegion(const std::vector<Rect>& rects, int mode)
{
    Path path;
    for (const Rect& r : rects) {
        path.moveTo({clampCoordinate(r.left), clampCoordinate(r.top)});
        path.lineTo({clampCoordinate(r.right), clampCoordinate(r.top)});
        path.lineTo({clampCoordinate(r.right), clampCoordinate(r.bottom)});
        path.lineTo({clampCoordinate(r.left), clampCoordinate(r.bottom)});
        path.closeFigure();
    }
    Clip::Op op = Clip::Op::Replace;
    switch (mode) {
    case RGN_AND:
        op = Clip::Op::Intersect;
        break;
    case RGN_OR:
        op = Clip::Op::Unite;
        break;
    case RGN_XOR:
        op = Clip::Op::Xor;
        break;
    case RGN_DIFF:
        op = Clip::Op::Exclude;
        break;
    case RGN_COPY:
        op = Clip::Op::Replace;
        break;
    default:
        return;
    }
    if (op == Clip::Op::Replace) {
        if (path.empty()) {
            resetClip();
            return;
        }
        state.clips.clear();
    }
    pushClip(Clip{op, std::move(path), true});
}

void Player::paintRegion(const std::vector<Rect>& rects, const Brush& brush, bool logical)
{
    if (brush.kind == Brush::Kind::Null || m_inPath || rects.empty())
        return;
    Shape shape;
    for (const Rect& r : rects) {
        if (logical) {
            shape.path.append(rectPath(r));
        } else {
            shape.path.moveTo({clampCoordinate(r.left), clampCoordinate(r.top)});
            shape.path.lineTo({clampCoordinate(r.right), clampCoordinate(r.top)});
            shape.path.lineTo({clampCoordinate(r.right), clampCoordinate(r.bottom)});
            shape.path.lineTo({clampCoordinate(r.left), clampCoordinate(r.bottom)});
            shape.path.closeFigure();
        }
    }
    m_points += shape.path.points.size();
    if (m_points > m_limits.maxPoints) {
        m_stopped = true;
        return;
    }
    shape.fill = true;
    shape.winding = true;
    shape.brush = brush;
    shape.mix = state.mix;
    shape.opaqueBackground = state.opaque;
    shape.background = state.background;
    emit(std::move(shape));
}

// ---------------------------------------------------------------------------
// Paths

void Player::beginPath()
{
    m_inPath = true;
    m_pathDone = false;
    m_path = Path();
}

void Player::abortPath()
{
    m_inPath = false;
    m_path = Path();
}

void Player::closeFigure()
{
    if (m_inPath)
        m_path.closeFigure();
}

void Player::fillPath(bool fill, bool stroke)
{
    if (m_inPath)
        return; // only a finished path is drawn
    Path path = std::move(m_path);
    m_path = Path();
    if (fill) {
        // A filled path closes every figure.
        for (size_t i = 0; i + 1 < path.kinds.size(); ++i)
            if ((path.kinds[i + 1] & 0x7F) == Move)
                path.kinds[i] |= kCloseFigure;
        if (!path.kinds.empty())
            path.kinds.back() |= kCloseFigure;
    }
    addFigure(std::move(path), fill, stroke, false);
}

void Player::selectClipPath(int mode)
{
    if (m_inPath)
        return;
    Path path = std::move(m_path);
    m_path = Path();
    if (path.empty())
        return;
    for (size_t i = 0; i + 1 < path.kinds.size(); ++i)
        if ((path.kinds[i + 1] & 0x7F) == Move)
            path.kinds[i] |= kCloseFigure;
    path.kinds.back() |= kCloseFigure;
    Clip::Op op = Clip::Op::Replace;
    switch (mode) {
    case RGN_AND:
        op = Clip::Op::Intersect;
        break;
    case RGN_OR:
        op = Clip::Op::Unite;
        break;
    case RGN_XOR:
        op = Clip::Op::Xor;
        break;
    case RGN_DIFF:
        op = Clip::Op::Exclude;
        break;
    case RGN_COPY:
        state.clips.clear();
        break;
    default:
        return;
    }
    pushClip(Clip{op, std::move(path), state.winding});
}

} // namespace pictorand::metafile
