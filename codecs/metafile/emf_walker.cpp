// The enhanced records: a type and a size (a multiple of four) each, then
// their fields; offsets inside a record count from the record's start.

#include "codecs/common/span_reader.h"
#include "codecs/metafile/player.h"
#include "codecs/metafile/walkers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <tuple>
#include <utility>

namespace pictorand::metafile {

namespace {

enum RecordType : uint32_t {
    EMR_HEADER = 1,
    EMR_POLYBEZIER = 2,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_POLYPOLYLINE = 7,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETSTRETCHBLTMODE = 21,
    EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_OFFSETCLIPRGN = 26,
    EMR_MOVETOEX = 27,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31,
    EMR_SCALEWINDOWEXTEX = 32,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_SELECTPALETTE = 48,
    EMR_CREATEPALETTE = 49,
    EMR_LINETO = 54,
    EMR_ARCTO = 55,
    EMR_POLYDRAW = 56,
    EMR_SETARCDIRECTION = 57,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_FILLRGN = 71,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_MASKBLT = 78,
    EMR_PLGBLT = 79,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91,
    EMR_POLYDRAW16 = 92,
    EMR_CREATEMONOBRUSH = 93,
    EMR_CREATEDIBPATTERNBRUSHPT = 94,
    EMR_EXTCREATEPEN = 95,
    EMR_ALPHABLEND = 114,
    EMR_TRANSPARENTBLT = 116,
    EMR_GRADIENTFILL = 118,
};

// One record's bytes; every read is checked against them.
class Record {
public:
    explicit Record(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    size_t size() const { return m_bytes.size(); }
    bool has(size_t end) const { return end <= m_bytes.size(); }
    uint32_t u32(size_t at) const { return has(at + 4) ? loadLE32(m_bytes.data() + at) : 0; }
    int32_t i32(size_t at) const { return static_cast<int32_t>(u32(at)); }
    uint16_t u16(size_t at) const { return has(at + 2) ? loadLE16(m_bytes.data() + at) : 0; }
    int16_t i16(size_t at) const { return static_cast<int16_t>(u16(at)); }
    float f32(size_t at) const { return std::bit_cast<float>(u32(at)); }
    Point point(size_t at) const { return {double(i32(at)), double(i32(at + 4))}; }
    Rect rect(size_t at) const { return {double(i32(at)), double(i32(at + 4)), double(i32(at + 8)), double(i32(at + 12))}; }
    // `count` bytes at `offset`, or nothing when they are not all inside.
    std::span<const uint8_t> bytes(uint64_t offset, uint64_t count) const
    {
        if (offset > m_bytes.size() || count > m_bytes.size() - offset)
            return {};
        return m_bytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(count));
    }

private:
    std::span<const uint8_t> m_bytes;
};

// `count` points at `at`, 32-bit pairs or 16-bit pairs; nothing when the
// record does not hold them all.
std::vector<Point> points(const Record& r, size_t at, uint64_t count, bool small)
{
    std::vector<Point> result;
    const uint64_t each = small ? 4 : 8;
    if (at > r.size() || count > (r.size() - at) / each)
        return result;
    result.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        const size_t offset = at + static_cast<size_t>(i * each);
        if (small)
            result.push_back({double(r.i16(offset)), double(r.i16(offset + 2))});
        else
            result.push_back(r.point(offset));
    }
    return result;
}

Matrix xform(const Record& r, size_t at)
{
    return {r.f32(at), r.f32(at + 4), r.f32(at + 8), r.f32(at + 12), r.f32(at + 16), r.f32(at + 20)};
}

std::string utf8(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

class EnhancedWalker {
public:
    EnhancedWalker(const Header& header, Drawing& drawing, const Limits& limits)
        : m_player(drawing, limits, false)
    {
        m_player.setTableSize(header.handleCount);
        // The recording device's pixels: its millimetres say how many make
        // up the frame, which fills the picture.
        const double pixelsPerHundredthX = header.devicePixelsX > 0 && header.deviceMillimetresX > 0
            ? header.devicePixelsX / (100.0 * header.deviceMillimetresX)
            : 96.0 / 2540;
        const double pixelsPerHundredthY = header.devicePixelsY > 0 && header.deviceMillimetresY > 0
            ? header.devicePixelsY / (100.0 * header.deviceMillimetresY)
            : 96.0 / 2540;
        const double frameX = header.frameLeft * pixelsPerHundredthX;
        const double frameY = header.frameTop * pixelsPerHundredthY;
        const double frameWidth = (double(header.frameRight) - header.frameLeft) * pixelsPerHundredthX;
        const double frameHeight = (double(header.frameBottom) - header.frameTop) * pixelsPerHundredthY;
        const double sx = frameWidth > 0 ? drawing.width / frameWidth : 1;
        const double sy = frameHeight > 0 ? drawing.height / frameHeight : 1;
        m_player.deviceToPicture = {sx, 0, 0, sy, -frameX * sx, -frameY * sy};
        m_player.deviceUnitsPerMillimetre = pixelsPerHundredthX * 100;
        m_player.mappingChanged();
    }

    void walk(std::span<const uint8_t> file)
    {
        SpanReader reader(file);
        while (m_player.keepGoing() && reader.remaining() >= 8) {
            const size_t start = reader.position();
            const uint32_t type = reader.u32le();
            const uint32_t size = reader.u32le();
            if (size < 8 || size % 4 != 0 || size > reader.size() - start)
                return;
            if (!m_player.countRecord() || type == EMR_EOF)
                return;
            play(type, Record(file.subspan(start, size)));
            reader.seek(start + size);
        }
    }

private:
    void play(uint32_t type, const Record& r);
    void poly(uint32_t type, const Record& r);
    void polyPoly(uint32_t type, const Record& r);
    void polyDraw(const Record& r, bool small);
    void text(const Record& r, bool wide);
    void blit(uint32_t type, const Record& r);
    void gradient(const Record& r);
    GdiObject font(const Record& r);
    std::vector<Rect> regionRects(const Record& r, size_t at, uint32_t size);
    std::shared_ptr<const ImageBlock> dib(const Record& r, size_t fieldsAt);

    Player m_player;
};

void EnhancedWalker::play(uint32_t type, const Record& r)
{
    Player& player = m_player;
    DcState& s = player.state;
    switch (type) {
    case EMR_HEADER:
        return;
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
        poly(type, r);
        return;
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16:
        polyPoly(type, r);
        return;
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16:
        polyDraw(r, type == EMR_POLYDRAW16);
        return;
    case EMR_SETWINDOWEXTEX:
        if (r.has(16))
            player.setWindowExtent(r.point(8));
        return;
    case EMR_SETWINDOWORGEX:
        if (r.has(16))
            player.setWindowOrigin(r.point(8));
        return;
    case EMR_SETVIEWPORTEXTEX:
        if (r.has(16))
            player.setViewportExtent(r.point(8));
        return;
    case EMR_SETVIEWPORTORGEX:
        if (r.has(16))
            player.setViewportOrigin(r.point(8));
        return;
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX:
        if (r.has(24) && r.i32(12) != 0 && r.i32(20) != 0) {
            const double fx = double(r.i32(8)) / r.i32(12);
            const double fy = double(r.i32(16)) / r.i32(20);
            if (type == EMR_SCALEWINDOWEXTEX)
                player.setWindowExtent({s.windowExtent.x * fx, s.windowExtent.y * fy});
            else
                player.setViewportExtent({s.viewportExtent.x * fx, s.viewportExtent.y * fy});
        }
        return;
    case EMR_SETPIXELV:
        if (r.has(20))
            player.setPixel(r.point(8), colourRef(r.u32(16)));
        return;
    case EMR_SETMAPMODE:
        if (r.has(12))
            player.setMapMode(r.i32(8));
        return;
    case EMR_SETBKMODE:
        if (r.has(12))
            s.opaque = r.u32(8) == 2;
        return;
    case EMR_SETPOLYFILLMODE:
        if (r.has(12))
            s.winding = r.u32(8) == 2;
        return;
    case EMR_SETROP2:
        if (r.has(12))
            s.mix = mixOfRop2(r.u32(8));
        return;
    case EMR_SETSTRETCHBLTMODE:
        if (r.has(12))
            s.stretchMode = static_cast<int>(r.u32(8));
        return;
    case EMR_SETTEXTALIGN:
        if (r.has(12))
            s.textAlign = r.u32(8);
        return;
    case EMR_SETTEXTCOLOR:
        if (r.has(12))
            s.textColour = colourRef(r.u32(8));
        return;
    case EMR_SETBKCOLOR:
        if (r.has(12))
            s.background = colourRef(r.u32(8));
        return;
    case EMR_MOVETOEX:
        if (r.has(16))
            player.moveTo(r.point(8));
        return;
    case EMR_LINETO:
        if (r.has(16))
            player.lineTo(r.point(8));
        return;
    case EMR_EXCLUDECLIPRECT:
        if (r.has(24))
            player.excludeClipRect(r.rect(8));
        return;
    case EMR_INTERSECTCLIPRECT:
        if (r.has(24))
            player.intersectClipRect(r.rect(8));
        return;
    case EMR_OFFSETCLIPRGN:
        return;
    case EMR_SAVEDC:
        player.save();
        return;
    case EMR_RESTOREDC:
        if (r.has(12))
            player.restore(r.i32(8));
        return;
    case EMR_SETWORLDTRANSFORM:
        if (r.has(32))
            player.setWorld(xform(r, 8));
        return;
    case EMR_MODIFYWORLDTRANSFORM:
        if (r.has(36)) {
            const Matrix m = xform(r, 8);
            switch (r.u32(32)) {
            case 1: // MWT_IDENTITY
                player.setWorld(Matrix{});
                break;
            case 2: // MWT_LEFTMULTIPLY
                player.setWorld(m.then(s.world));
                break;
            case 3: // MWT_RIGHTMULTIPLY
                player.setWorld(s.world.then(m));
                break;
            case 4: // MWT_SET
                player.setWorld(m);
                break;
            default:
                break;
            }
        }
        return;
    case EMR_SELECTOBJECT:
    case EMR_SELECTPALETTE:
        if (r.has(12)) {
            const uint32_t index = r.u32(8);
            if (index & 0x80000000u)
                player.selectStockObject(index & 0x7FFFFFFFu);
            else
                player.selectObject(index);
        }
        return;
    case EMR_DELETEOBJECT:
        if (r.has(12))
            player.deleteObject(r.u32(8));
        return;
    case EMR_CREATEPEN: {
        if (!r.has(28))
            return;
        GdiObject object;
        object.type = GdiObject::Type::Pen;
        object.pen.style = r.u32(12);
        object.pen.width = r.i32(16);
        object.pen.cosmetic = r.i32(16) <= 0;
        object.pen.colour = colourRef(r.u32(24));
        player.createObjectAt(r.u32(8), std::move(object));
        return;
    }
    case EMR_EXTCREATEPEN: {
        if (!r.has(52))
            return;
        GdiObject object;
        object.type = GdiObject::Type::Pen;
        const uint32_t style = r.u32(28);
        object.pen.style = style;
        object.pen.width = r.u32(32);
        // PS_COSMETIC pens are one pixel whatever their width says.
        object.pen.cosmetic = (style & 0x000F0000) == 0 || object.pen.width <= 0;
        object.pen.colour = colourRef(r.u32(40));
        if (r.u32(36) == 1) // BS_NULL
            object.pen.style = (style & ~0x0Fu) | 5u;
        player.createObjectAt(r.u32(8), std::move(object));
        return;
    }
    case EMR_CREATEBRUSHINDIRECT: {
        if (!r.has(24))
            return;
        GdiObject object;
        object.type = GdiObject::Type::Brush;
        object.brush = Player::logicalBrush(r.u32(12), colourRef(r.u32(16)), r.u32(20));
        player.createObjectAt(r.u32(8), std::move(object));
        return;
    }
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_CREATEMONOBRUSH: {
        if (!r.has(32))
            return;
        GdiObject object;
        object.type = GdiObject::Type::Brush;
        object.brush = Player::logicalBrush(3, {}, 0);
        auto image = Player::decodeDib(r.bytes(r.u32(16), r.u32(20)), r.bytes(r.u32(24), r.u32(28)));
        if (image) {
            object.brush.kind = Brush::Kind::Pattern;
            object.brush.pattern = image;
        }
        player.createObjectAt(r.u32(8), std::move(object));
        return;
    }
    case EMR_EXTCREATEFONTINDIRECTW:
        if (r.has(12))
            player.createObjectAt(r.u32(8), font(r));
        return;
    case EMR_CREATEPALETTE: {
        if (!r.has(12))
            return;
        GdiObject object;
        object.type = GdiObject::Type::Palette;
        player.createObjectAt(r.u32(8), std::move(object));
        return;
    }
    case EMR_ANGLEARC: {
        if (!r.has(28))
            return;
        const Point centre = r.point(8);
        const double radius = r.u32(16);
        const double start = r.f32(20);
        const double sweep = r.f32(24);
        if (!std::isfinite(start) || !std::isfinite(sweep))
            return;
        const double a0 = start * 3.14159265358979 / 180;
        const double a1 = (start + sweep) * 3.14159265358979 / 180;
        const Rect box{centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius};
        const Point from{centre.x + radius * std::cos(a0), centre.y - radius * std::sin(a0)};
        const Point to{centre.x + radius * std::cos(a1), centre.y - radius * std::sin(a1)};
        const bool clockwise = s.clockwise;
        s.clockwise = sweep < 0;
        player.arc(Player::ArcKind::ArcTo, box, from, to);
        s.clockwise = clockwise;
        return;
    }
    case EMR_ELLIPSE:
        if (r.has(24))
            player.ellipse(r.rect(8));
        return;
    case EMR_RECTANGLE:
        if (r.has(24))
            player.rectangle(r.rect(8));
        return;
    case EMR_ROUNDRECT:
        if (r.has(32))
            player.roundRectangle(r.rect(8), r.i32(24), r.i32(28));
        return;
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
    case EMR_ARCTO:
        if (r.has(40)) {
            const Player::ArcKind kind = type == EMR_ARC ? Player::ArcKind::Arc
                : type == EMR_CHORD                      ? Player::ArcKind::Chord
                : type == EMR_PIE                        ? Player::ArcKind::Pie
                                                         : Player::ArcKind::ArcTo;
            player.arc(kind, r.rect(8), r.point(24), r.point(32));
        }
        return;
    case EMR_SETARCDIRECTION:
        if (r.has(12))
            s.clockwise = r.u32(8) == 2;
        return;
    case EMR_BEGINPATH:
        player.beginPath();
        return;
    case EMR_ENDPATH:
        player.endPath();
        return;
    case EMR_CLOSEFIGURE:
        player.closeFigure();
        return;
    case EMR_FILLPATH:
        player.fillPath(true, false);
        return;
    case EMR_STROKEANDFILLPATH:
        player.fillPath(true, true);
        return;
    case EMR_STROKEPATH:
        player.fillPath(false, true);
        return;
    case EMR_SELECTCLIPPATH:
        if (r.has(12))
            player.selectClipPath(static_cast<int>(r.u32(8)));
        return;
    case EMR_ABORTPATH:
        player.abortPath();
        return;
    case EMR_EXTSELECTCLIPRGN: {
        if (!r.has(16))
            return;
        const uint32_t size = r.u32(8);
        const int mode = static_cast<int>(r.u32(12));
        if (size == 0) {
            if (mode == RGN_COPY)
                player.resetClip();
            return;
        }
        player.selectClipRegion(regionRects(r, 16, size), mode);
        return;
    }
    case EMR_FILLRGN: {
        if (!r.has(32))
            return;
        const GdiObject* brush = player.object(r.u32(28));
        if (brush && brush->type == GdiObject::Type::Brush)
            player.paintRegion(regionRects(r, 32, r.u32(24)), brush->brush, false);
        return;
    }
    case EMR_PAINTRGN:
        if (r.has(28))
            player.paintRegion(regionRects(r, 28, r.u32(24)), s.brush, false);
        return;
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
        text(r, type == EMR_EXTTEXTOUTW);
        return;
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_STRETCHDIBITS:
    case EMR_SETDIBITSTODEVICE:
    case EMR_MASKBLT:
    case EMR_PLGBLT:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
        blit(type, r);
        return;
    case EMR_GRADIENTFILL:
        gradient(r);
        return;
    default:
        // Comments (EMF+ among them, whose fallback records follow), colour
        // management and the rest.
        player.skipped();
        return;
    }
}

void EnhancedWalker::poly(uint32_t type, const Record& r)
{
    if (!r.has(28))
        return;
    const bool small = type >= EMR_POLYBEZIER16;
    std::vector<Point> pts = points(r, 28, r.u32(24), small);
    if (pts.size() != r.u32(24))
        return;
    Player& player = m_player;
    switch (type) {
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
        player.polyBezier(pts, false);
        break;
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16:
        player.polyBezier(pts, true);
        break;
    case EMR_POLYGON:
    case EMR_POLYGON16:
        player.polygon(pts);
        break;
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
        player.polyline(pts);
        break;
    default:
        player.polylineTo(pts);
        break;
    }
}

void EnhancedWalker::polyPoly(uint32_t type, const Record& r)
{
    if (!r.has(32))
        return;
    const bool small = type >= EMR_POLYBEZIER16;
    const uint32_t polygonCount = r.u32(24);
    const uint32_t total = r.u32(28);
    if (polygonCount > (r.size() - 32) / 4)
        return;
    const size_t pointsAt = 32 + size_t(polygonCount) * 4;
    std::vector<Point> all = points(r, pointsAt, total, small);
    if (all.size() != total)
        return;
    std::vector<std::vector<Point>> polygons;
    size_t next = 0;
    for (uint32_t i = 0; i < polygonCount; ++i) {
        const uint32_t count = r.u32(32 + size_t(i) * 4);
        if (count > all.size() - next)
            return;
        polygons.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(next),
                              all.begin() + static_cast<std::ptrdiff_t>(next + count));
        next += count;
    }
    const bool fill = type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16;
    m_player.polyPolygon(polygons, fill);
}

void EnhancedWalker::polyDraw(const Record& r, bool small)
{
    if (!r.has(28))
        return;
    const uint32_t count = r.u32(24);
    std::vector<Point> pts = points(r, 28, count, small);
    if (pts.size() != count)
        return;
    const uint64_t typesAt = 28 + uint64_t(count) * (small ? 4 : 8);
    std::span<const uint8_t> kinds = r.bytes(typesAt, count);
    if (kinds.size() != count)
        return;
    Player& player = m_player;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t kind = kinds[i] & 0x06;
        if (kind == 0x06) { // PT_MOVETO
            player.moveTo(pts[i]);
        } else if (kind == 0x04 && i + 2 < count) { // PT_BEZIERTO, three points
            player.polyBezier({pts[i], pts[i + 1], pts[i + 2]}, true);
            i += 2;
        } else {
            player.lineTo(pts[i]);
        }
        if (kinds[i] & 0x01)
            player.closeFigure();
    }
}

GdiObject EnhancedWalker::font(const Record& r)
{
    GdiObject object;
    object.type = GdiObject::Type::Font;
    LogFont& font = object.font;
    font.height = r.i32(12);
    font.width = r.i32(16);
    font.escapement = r.i32(20);
    font.weight = r.i32(28);
    std::span<const uint8_t> flags = r.bytes(32, 4);
    if (flags.size() == 4) {
        font.italic = flags[0] != 0;
        font.underline = flags[1] != 0;
        font.strikeOut = flags[2] != 0;
        font.charset = flags[3];
    }
    std::u16string face;
    for (size_t i = 0; i < 32 && r.has(40 + i * 2 + 2); ++i) {
        const char16_t c = static_cast<char16_t>(r.i16(40 + i * 2));
        if (c == 0)
            break;
        face.push_back(c);
    }
    font.face = utf8(face);
    return object;
}

void EnhancedWalker::text(const Record& r, bool wide)
{
    // bounds, graphics mode, x and y scale, then the EMRTEXT.
    if (!r.has(76))
        return;
    const Point origin = r.point(36);
    const uint32_t count = r.u32(44);
    const uint32_t stringOffset = r.u32(48);
    const uint32_t options = r.u32(52);
    const Rect rect = r.rect(56);
    const uint32_t dxOffset = r.u32(72);
    Player& player = m_player;
    std::u16string text;
    std::vector<size_t> byteOfUnit;
    if (wide) {
        std::span<const uint8_t> bytes = r.bytes(stringOffset, uint64_t(count) * 2);
        if (bytes.size() != uint64_t(count) * 2)
            return;
        for (uint32_t i = 0; i < count; ++i) {
            text.push_back(static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
            byteOfUnit.push_back(i);
        }
    } else {
        std::span<const uint8_t> bytes = r.bytes(stringOffset, count);
        if (bytes.size() != count)
            return;
        text = decodeText(bytes, player.state.font.charset, &byteOfUnit);
    }
    std::vector<double> advances;
    const uint64_t perEntry = (options & ETO_PDY) ? 8 : 4;
    std::span<const uint8_t> dx = dxOffset != 0 ? r.bytes(dxOffset, uint64_t(count) * perEntry) : std::span<const uint8_t>();
    if (count > 0 && dx.size() == uint64_t(count) * perEntry) {
        advances.assign(text.size(), 0);
        for (size_t unit = 0; unit < text.size(); ++unit) {
            if (unit + 1 < text.size() && byteOfUnit[unit + 1] == byteOfUnit[unit])
                continue;
            const size_t last = unit + 1 < text.size() ? byteOfUnit[unit + 1] : count;
            for (size_t b = byteOfUnit[unit]; b < last && b < count; ++b)
                advances[unit] += static_cast<int32_t>(loadLE32(dx.data() + b * perEntry));
        }
    }
    std::optional<Rect> box;
    if (options & (ETO_OPAQUE | ETO_CLIPPED))
        box = rect;
    player.text(origin, std::move(text), std::move(advances), options, box);
}

std::vector<Rect> EnhancedWalker::regionRects(const Record& r, size_t at, uint32_t size)
{
    // RGNDATAHEADER: size 32, type, count, bytes, bounds; then the rectangles,
    // in device units.
    std::vector<Rect> rects;
    std::span<const uint8_t> data = r.bytes(at, size);
    if (data.size() < 32)
        return rects;
    Record region(data);
    const uint32_t count = region.u32(8);
    if (count > (data.size() - 32) / 16)
        return rects;
    const Matrix& device = m_player.deviceToPicture;
    for (uint32_t i = 0; i < count; ++i) {
        const Rect d = region.rect(32 + size_t(i) * 16);
        const Point a = device.map({d.left, d.top});
        const Point b = device.map({d.right, d.bottom});
        rects.push_back({a.x, a.y, b.x, b.y});
    }
    return rects;
}

// A DIB's two parts as four fields give them: offset and size of the info,
// offset and size of the bits. An info size of 0 means none; nothing when
// they do not lie inside the record.
std::optional<std::pair<std::span<const uint8_t>, std::span<const uint8_t>>> dibAt(const Record& r, size_t fields)
{
    const uint32_t infoSize = r.u32(fields + 4), bitsSize = r.u32(fields + 12);
    if (infoSize == 0)
        return std::pair<std::span<const uint8_t>, std::span<const uint8_t>>();
    std::span<const uint8_t> info = r.bytes(r.u32(fields), infoSize);
    std::span<const uint8_t> bits = r.bytes(r.u32(fields + 8), bitsSize);
    if (info.size() != infoSize || bits.size() != bitsSize)
        return std::nullopt;
    return std::pair(info, bits);
}

void EnhancedWalker::gradient(const Record& r)
{
    // bounds, nVer, nTri, ulMode, then the vertices (x, y, red, green, blue,
    // alpha, the colours in 16 bits) and the rectangles (two indexes) or
    // triangles (three).
    if (!r.has(36))
        return;
    const uint32_t vertexCount = r.u32(24);
    const uint32_t objectCount = r.u32(28);
    const uint32_t mode = r.u32(32);
    if (mode > 2 || vertexCount > (r.size() - 36) / 16)
        return;
    const size_t objectsAt = 36 + size_t(vertexCount) * 16;
    const size_t each = mode == 2 ? 12 : 8;
    if (objectCount > (r.size() - objectsAt) / each)
        return;
    auto vertex = [&](uint32_t index) {
        const size_t at = 36 + size_t(index) * 16;
        // The device takes the high byte of each colour; the alpha is not drawn.
        return GradientVertex{r.point(at), {static_cast<uint8_t>(r.u16(at + 8) >> 8),
                                            static_cast<uint8_t>(r.u16(at + 10) >> 8),
                                            static_cast<uint8_t>(r.u16(at + 12) >> 8)}};
    };
    std::vector<std::array<GradientVertex, 3>> triangles;
    for (uint32_t i = 0; i < objectCount; ++i) {
        const size_t at = objectsAt + size_t(i) * each;
        const uint32_t a = r.u32(at), b = r.u32(at + 4), c = mode == 2 ? r.u32(at + 8) : 0;
        if (a >= vertexCount || b >= vertexCount || c >= vertexCount)
            continue;
        if (mode == 2) {
            triangles.push_back({vertex(a), vertex(b), vertex(c)});
            continue;
        }
        // A rectangle between two corners, its colour running from the
        // first's to the second's across (mode 0) or down (mode 1).
        const GradientVertex first = vertex(a), second = vertex(b);
        const bool across = mode == 0;
        const GradientVertex topRight{{second.at.x, first.at.y}, across ? second.colour : first.colour};
        const GradientVertex bottomLeft{{first.at.x, second.at.y}, across ? first.colour : second.colour};
        triangles.push_back({first, topRight, bottomLeft});
        triangles.push_back({topRight, second, bottomLeft});
    }
    m_player.gradient(std::move(triangles));
}

void EnhancedWalker::blit(uint32_t type, const Record& r)
{
    Player& player = m_player;
    switch (type) {
    case EMR_MASKBLT: {
        // bounds, x, y, cx, cy, rop4, xSrc, ySrc, xform, bkColour, usage,
        // source DIB, xMask, yMask, usage, mask DIB
        if (!r.has(128))
            return;
        const double x = r.i32(24), y = r.i32(28), w = r.i32(32), h = r.i32(36);
        const auto source = dibAt(r, 84);
        const auto mask = dibAt(r, 112);
        if (!source || !mask) {
            player.skipped();
            return;
        }
        Blit request = Blit::into({x, y, x + w, y + h});
        std::tie(request.info, request.bits) = *source;
        request.sourceX = r.i32(44);
        request.sourceY = r.i32(48);
        request.sourceWidth = w;
        request.sourceHeight = h;
        request.rop = r.u32(40);
        std::tie(request.maskInfo, request.maskBits) = *mask;
        request.maskX = r.i32(100);
        request.maskY = r.i32(104);
        // Without a mask the foreground operation does it all.
        if (request.maskInfo.empty())
            request.rop &= 0x00FFFFFF;
        player.blit(request);
        return;
    }
    case EMR_PLGBLT: {
        // bounds, the destination's three corners, xSrc, ySrc, cxSrc, cySrc,
        // xform, bkColour, usage, source DIB, xMask, yMask, usage, mask DIB
        if (!r.has(140))
            return;
        const auto source = dibAt(r, 96);
        const auto mask = dibAt(r, 124);
        if (!source || !mask || source->first.empty()) {
            player.skipped();
            return;
        }
        Blit request;
        request.topLeft = r.point(24);
        request.topRight = r.point(32);
        request.bottomLeft = r.point(40);
        std::tie(request.info, request.bits) = *source;
        request.sourceX = r.i32(48);
        request.sourceY = r.i32(52);
        request.sourceWidth = r.i32(56);
        request.sourceHeight = r.i32(60);
        std::tie(request.maskInfo, request.maskBits) = *mask;
        request.maskX = r.i32(112);
        request.maskY = r.i32(116);
        // The source where the mask is set; what was there where it is not.
        request.rop = request.maskInfo.empty() ? 0x00CC0020 : 0xAACC0020;
        player.blit(request);
        return;
    }
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: {
        // bounds, x, y, cx, cy, blend function or transparent colour, xSrc,
        // ySrc, xform, bkColour, usage, source DIB, cxSrc, cySrc
        if (!r.has(108))
            return;
        const auto source = dibAt(r, 84);
        if (!source || source->first.empty()) {
            player.skipped();
            return;
        }
        const double x = r.i32(24), y = r.i32(28), w = r.i32(32), h = r.i32(36);
        Blit request = Blit::into({x, y, x + w, y + h});
        std::tie(request.info, request.bits) = *source;
        request.sourceX = r.i32(44);
        request.sourceY = r.i32(48);
        request.sourceWidth = r.i32(100);
        request.sourceHeight = r.i32(104);
        if (type == EMR_ALPHABLEND) {
            // BlendOperation, BlendFlags, SourceConstantAlpha, AlphaFormat
            const uint32_t blend = r.u32(40);
            request.constantAlpha = static_cast<uint8_t>(blend >> 16);
            request.sourceAlpha = (blend >> 24) == 1; // AC_SRC_ALPHA
        } else {
            request.transparent = colourRef(r.u32(40));
        }
        player.blit(request);
        return;
    }
    case EMR_BITBLT:
    case EMR_STRETCHBLT: {
        // bounds, x, y, cx, cy, rop, xSrc, ySrc, xform, bkColour, usage,
        // offBmi, cbBmi, offBits, cbBits[, cxSrc, cySrc]
        if (!r.has(100))
            return;
        const double x = r.i32(24), y = r.i32(28), w = r.i32(32), h = r.i32(36);
        const uint32_t rop = r.u32(40);
        const double sx = r.i32(44), sy = r.i32(48);
        double sw = w, sh = h;
        if (type != EMR_BITBLT && r.has(108)) {
            sw = r.i32(100);
            sh = r.i32(104);
        }
        std::span<const uint8_t> info = r.bytes(r.u32(84), r.u32(88));
        std::span<const uint8_t> bits = r.bytes(r.u32(92), r.u32(96));
        if (r.u32(88) == 0)
            info = {};
        player.bitmap({x, y, x + w, y + h}, info, bits, sx, sy, sw, sh, rop, false);
        return;
    }
    case EMR_STRETCHDIBITS: {
        // bounds, xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmi, cbBmi,
        // offBits, cbBits, usage, rop, cxDest, cyDest
        if (!r.has(80))
            return;
        const double x = r.i32(24), y = r.i32(28), w = r.i32(72), h = r.i32(76);
        std::span<const uint8_t> info = r.bytes(r.u32(48), r.u32(52));
        std::span<const uint8_t> bits = r.bytes(r.u32(56), r.u32(60));
        if (info.empty())
            return;
        player.bitmap({x, y, x + w, y + h}, info, bits, r.i32(32), r.i32(36), r.i32(40), r.i32(44), r.u32(68), true);
        return;
    }
    case EMR_SETDIBITSTODEVICE: {
        // bounds, xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmi, cbBmi,
        // offBits, cbBits, usage, startScan, scans
        if (!r.has(76))
            return;
        const double x = r.i32(24), y = r.i32(28), w = r.i32(40), h = r.i32(44);
        std::span<const uint8_t> info = r.bytes(r.u32(48), r.u32(52));
        std::span<const uint8_t> bits = r.bytes(r.u32(56), r.u32(60));
        if (info.empty())
            return;
        player.bitmap({x, y, x + w, y + h}, info, bits, r.i32(32), r.i32(36), w, h, 0x00CC0020, true);
        return;
    }
    default:
        return;
    }
}

} // namespace

void walkEnhanced(std::span<const uint8_t> file, const Header& header, Drawing& drawing, const Limits& limits)
{
    EnhancedWalker walker(header, drawing, limits);
    walker.walk(file);
}

} // namespace pictorand::metafile
