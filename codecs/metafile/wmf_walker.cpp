// The 16-bit records. Parameters are stored last first (a RECTANGLE holds
// bottom, right, top, left), all as 16-bit words.

#include "codecs/common/span_reader.h"
#include "codecs/metafile/player.h"
#include "codecs/metafile/walkers.h"

#include <algorithm>
#include <optional>

namespace pictorand::metafile {

namespace {

enum Function : uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_REALIZEPALETTE = 0x0035,
    META_SETPALENTRIES = 0x0037,
    META_CREATEPALETTE = 0x00F7,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETROP2 = 0x0104,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETSTRETCHBLTMODE = 0x0107,
    META_SETTEXTCHAREXTRA = 0x0108,
    META_RESTOREDC = 0x0127,
    META_INVERTREGION = 0x012A,
    META_PAINTREGION = 0x012B,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_RESIZEPALETTE = 0x0139,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209,
    META_OFFSETCLIPRGN = 0x0220,
    META_FILLREGION = 0x0228,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_OFFSETWINDOWORG = 0x020F,
    META_OFFSETVIEWPORTORG = 0x0211,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_SELECTPALETTE = 0x0234,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SCALEWINDOWEXT = 0x0410,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_FRAMEREGION = 0x0429,
    META_TEXTOUT = 0x0521,
    META_POLYPOLYGON = 0x0538,
    META_PATBLT = 0x061D,
    META_ROUNDRECT = 0x061C,
    META_CREATEREGION = 0x06FF,
    META_ARC = 0x0817,
    META_PIE = 0x081A,
    META_CHORD = 0x0830,
    META_BITBLT = 0x0922,
    META_DIBBITBLT = 0x0940,
    META_EXTTEXTOUT = 0x0A32,
    META_STRETCHBLT = 0x0B23,
    META_DIBSTRETCHBLT = 0x0B41,
    META_SETDIBTODEV = 0x0D33,
    META_STRETCHDIB = 0x0F43,
};

// The parameter words of one record.
class Params {
public:
    explicit Params(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    size_t words() const { return m_bytes.size() / 2; }
    bool has(size_t count) const { return words() >= count; }
    int16_t i16(size_t word) const { return static_cast<int16_t>(u16(word)); }
    uint16_t u16(size_t word) const
    {
        return word < words() ? static_cast<uint16_t>(m_bytes[word * 2] | (m_bytes[word * 2 + 1] << 8)) : 0;
    }
    uint32_t u32(size_t word) const { return u16(word) | (uint32_t(u16(word + 1)) << 16); }
    Point point(size_t word) const { return {double(i16(word + 1)), double(i16(word))}; } // y, x
    // Bytes from word `word` on (all of them when count is larger).
    std::span<const uint8_t> bytesFrom(size_t word) const
    {
        return word * 2 <= m_bytes.size() ? m_bytes.subspan(word * 2) : std::span<const uint8_t>();
    }
    // A rectangle stored bottom, right, top, left from word `word`.
    Rect rect(size_t word) const { return {double(i16(word + 3)), double(i16(word + 2)), double(i16(word + 1)), double(i16(word))}; }

private:
    std::span<const uint8_t> m_bytes;
};

// x, y pairs from word `word`, at most as many as the record holds.
std::vector<Point> points(const Params& p, size_t word, size_t count)
{
    std::vector<Point> result;
    if (!p.has(word) || count > (p.words() - word) / 2)
        return result;
    result.reserve(count);
    for (size_t i = 0; i < count; ++i)
        result.push_back({double(p.i16(word + 2 * i)), double(p.i16(word + 2 * i + 1))});
    return result;
}

GdiObject fontObject(const Params& p)
{
    GdiObject object;
    object.type = GdiObject::Type::Font;
    LogFont& font = object.font;
    font.height = p.i16(0);
    font.width = p.i16(1);
    font.escapement = p.i16(2);
    font.weight = p.i16(4);
    const std::span<const uint8_t> bytes = p.bytesFrom(5);
    if (bytes.size() >= 4) {
        font.italic = bytes[0] != 0;
        font.underline = bytes[1] != 0;
        font.strikeOut = bytes[2] != 0;
        font.charset = bytes[3];
    }
    // The face name after the eight one-byte fields, up to 32 bytes or the
    // record's end, ended by a zero.
    if (bytes.size() > 8) {
        std::span<const uint8_t> name = bytes.subspan(8, std::min<size_t>(32, bytes.size() - 8));
        auto end = std::find(name.begin(), name.end(), 0);
        std::u16string wide = decodeText(std::span<const uint8_t>(name.begin(), end), 0, nullptr);
        for (char16_t c : wide) {
            if (c < 0x80) {
                font.face.push_back(static_cast<char>(c));
            } else if (c < 0x800) {
                font.face.push_back(static_cast<char>(0xC0 | (c >> 6)));
                font.face.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else {
                font.face.push_back(static_cast<char>(0xE0 | (c >> 12)));
                font.face.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
                font.face.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
    }
    return object;
}

// A 16-bit region object: its header, then scans of left/right pairs.
GdiObject regionObject(const Params& p)
{
    GdiObject object;
    object.type = GdiObject::Type::Region;
    if (!p.has(11))
        return object;
    const int scanCount = p.i16(5);
    const Rect bounds{double(p.i16(7)), double(p.i16(8)), double(p.i16(9)), double(p.i16(10))};
    size_t word = 11;
    for (int scan = 0; scan < scanCount && p.has(word + 3); ++scan) {
        const uint16_t count = p.u16(word);
        const double top = p.i16(word + 1);
        const double bottom = p.i16(word + 2);
        if (count % 2 != 0 || !p.has(word + 3 + count + 1))
            break;
        for (uint16_t i = 0; i + 1 < count; i += 2)
            object.region.push_back({double(p.i16(word + 3 + i)), top, double(p.i16(word + 4 + i)), bottom});
        word += 3 + count + 1;
    }
    if (object.region.empty() && bounds.right > bounds.left && bounds.bottom > bounds.top)
        object.region.push_back(bounds);
    return object;
}

// The DIB of a record from word `word`: its info header with colours, then
// the bits.
std::pair<std::span<const uint8_t>, std::span<const uint8_t>> dibParts(const Params& p, size_t word)
{
    std::span<const uint8_t> dib = p.bytesFrom(word);
    SpanReader reader(dib);
    const uint32_t headerSize = reader.u32le();
    if (!reader.ok() || headerSize < 12 || headerSize > dib.size())
        return {};
    uint64_t infoSize = headerSize;
    if (headerSize == 12) {
        reader.u32le();
        reader.u16le();
        const uint16_t bits = reader.u16le();
        if (bits <= 8)
            infoSize += 3 * (uint64_t(1) << bits);
    } else if (headerSize >= 40) {
        reader.seek(14);
        const uint16_t bits = reader.u16le();
        const uint32_t compression = reader.u32le();
        reader.seek(32);
        const uint32_t used = reader.u32le();
        if (!reader.ok())
            return {};
        uint64_t colours = used != 0 ? used : (bits <= 8 ? uint64_t(1) << bits : 0);
        if (colours > 256 && bits <= 8)
            colours = 256;
        if (compression == 3 && headerSize == 40)
            infoSize += 12; // the three masks
        infoSize += colours * 4;
    }
    if (infoSize > dib.size())
        return {};
    return {dib.first(static_cast<size_t>(infoSize)), dib.subspan(static_cast<size_t>(infoSize))};
}

class WindowsWalker {
public:
    WindowsWalker(const Header& header, Drawing& drawing, const Limits& limits)
        : m_player(drawing, limits, true)
    {
        m_player.setTableSize(header.objectCount);
        // The bounding box of a placeable file is where its picture lies in
        // the records' coordinates. Most writers also set the window to it;
        // some whose box does not start at 0,0 set the window origin to 0,0
        // (or elsewhere), which would show the picture shifted and cut. The
        // records' window origins are therefore taken relative to the first
        // one, and that one stands for the box's corner. A box at 0,0 with
        // the window elsewhere is common and meant as written.
        m_rebaseOrigin = header.kind == Kind::Placeable && (header.windowLeft != 0 || header.windowTop != 0);
        m_boxCorner = {double(header.windowLeft), double(header.windowTop)};
        m_player.state.viewportExtent = {drawing.width, drawing.height};
        m_player.state.windowOrigin = {double(header.windowLeft), double(header.windowTop)};
        m_player.state.windowExtent = {double(header.windowWidth ? header.windowWidth : 1),
                                       double(header.windowHeight ? header.windowHeight : 1)};
        m_player.mappingChanged();
    }

    void walk(std::span<const uint8_t> records)
    {
        SpanReader reader(records);
        while (m_player.keepGoing() && reader.remaining() >= 6) {
            const size_t start = reader.position();
            const uint32_t words = reader.u32le();
            const uint16_t function = reader.u16le();
            if (function == META_EOF) {
                m_player.countRecord();
                return;
            }
            // A record shorter than its own header or running past the file
            // ends the walk: what follows cannot be found.
            if (words < 3 || uint64_t(words) * 2 > reader.size() - start)
                return;
            if (!m_player.countRecord())
                return;
            const size_t length = size_t(words) * 2;
            play(function, Params(records.subspan(start + 6, length - 6)));
            reader.seek(start + length);
        }
    }

private:
    void play(uint16_t function, const Params& p);
    void textOut(const Params& p, bool extended);
    void blit(uint16_t function, const Params& p);
    const GdiObject* region(uint16_t index) const
    {
        const GdiObject* object = m_player.object(index);
        return object && object->type == GdiObject::Type::Region ? object : nullptr;
    }

    Point windowOrigin(Point recorded)
    {
        if (!m_rebaseOrigin)
            return recorded;
        if (!m_firstOrigin)
            m_firstOrigin = recorded;
        return {recorded.x - m_firstOrigin->x + m_boxCorner.x, recorded.y - m_firstOrigin->y + m_boxCorner.y};
    }

    Player m_player;
    bool m_rebaseOrigin = false;
    Point m_boxCorner;
    std::optional<Point> m_firstOrigin;
};

void WindowsWalker::play(uint16_t function, const Params& p)
{
    Player& player = m_player;
    DcState& s = player.state;
    switch (function) {
    case META_SAVEDC:
        player.save();
        return;
    case META_RESTOREDC:
        if (p.has(1))
            player.restore(p.i16(0));
        return;
    case META_SETBKMODE:
        if (p.has(1))
            s.opaque = p.u16(0) == 2;
        return;
    case META_SETMAPMODE:
        if (p.has(1))
            player.setMapMode(p.i16(0));
        return;
    case META_SETROP2:
        if (p.has(1))
            s.mix = mixOfRop2(p.u16(0));
        return;
    case META_SETPOLYFILLMODE:
        if (p.has(1))
            s.winding = p.u16(0) == 2;
        return;
    case META_SETSTRETCHBLTMODE:
        if (p.has(1))
            s.stretchMode = p.u16(0);
        return;
    case META_SETTEXTALIGN:
        if (p.has(1))
            s.textAlign = p.u16(0);
        return;
    case META_SETBKCOLOR:
        if (p.has(2))
            s.background = colourRef(p.u32(0));
        return;
    case META_SETTEXTCOLOR:
        if (p.has(2))
            s.textColour = colourRef(p.u32(0));
        return;
    case META_SETWINDOWORG:
        if (p.has(2))
            player.setWindowOrigin(windowOrigin(p.point(0)));
        return;
    case META_SETWINDOWEXT:
        if (p.has(2))
            player.setWindowExtent(p.point(0));
        return;
    case META_OFFSETWINDOWORG:
        if (p.has(2))
            player.setWindowOrigin({s.windowOrigin.x + p.i16(1), s.windowOrigin.y + p.i16(0)});
        return;
    case META_SCALEWINDOWEXT:
        // xNum, xDenom, yNum, yDenom stored last first.
        if (p.has(4) && p.i16(0) != 0 && p.i16(2) != 0)
            player.setWindowExtent({s.windowExtent.x * p.i16(3) / p.i16(2), s.windowExtent.y * p.i16(1) / p.i16(0)});
        return;
    case META_SETVIEWPORTORG:
    case META_SETVIEWPORTEXT:
    case META_OFFSETVIEWPORTORG:
    case META_SCALEVIEWPORTEXT:
        // The picture's frame is the viewport; a 16-bit file played into a
        // frame cannot move it.
        return;
    case META_MOVETO:
        if (p.has(2))
            player.moveTo(p.point(0));
        return;
    case META_LINETO:
        if (p.has(2))
            player.lineTo(p.point(0));
        return;
    case META_POLYLINE:
    case META_POLYGON: {
        if (!p.has(1))
            return;
        std::vector<Point> pts = points(p, 1, p.u16(0));
        if (function == META_POLYLINE)
            player.polyline(pts);
        else
            player.polygon(pts);
        return;
    }
    case META_POLYPOLYGON: {
        if (!p.has(1))
            return;
        const size_t count = p.u16(0);
        if (!p.has(1 + count))
            return;
        std::vector<std::vector<Point>> polygons;
        size_t word = 1 + count;
        for (size_t i = 0; i < count; ++i) {
            const size_t n = p.u16(1 + i);
            std::vector<Point> pts = points(p, word, n);
            if (pts.size() != n)
                return;
            polygons.push_back(std::move(pts));
            word += 2 * n;
        }
        player.polyPolygon(polygons, true);
        return;
    }
    case META_RECTANGLE:
        if (p.has(4))
            player.rectangle(p.rect(0));
        return;
    case META_ELLIPSE:
        if (p.has(4))
            player.ellipse(p.rect(0));
        return;
    case META_ROUNDRECT:
        if (p.has(6))
            player.roundRectangle(p.rect(2), p.i16(1), p.i16(0));
        return;
    case META_ARC:
    case META_CHORD:
    case META_PIE:
        if (p.has(8)) {
            const Player::ArcKind kind = function == META_ARC ? Player::ArcKind::Arc
                : function == META_CHORD                      ? Player::ArcKind::Chord
                                                              : Player::ArcKind::Pie;
            player.arc(kind, p.rect(4), p.point(2), p.point(0));
        }
        return;
    case META_SETPIXEL:
        if (p.has(4))
            player.setPixel(p.point(2), colourRef(p.u32(0)));
        return;
    case META_TEXTOUT:
        textOut(p, false);
        return;
    case META_EXTTEXTOUT:
        textOut(p, true);
        return;
    case META_CREATEPENINDIRECT: {
        if (!p.has(5))
            return;
        GdiObject object;
        object.type = GdiObject::Type::Pen;
        object.pen.style = p.u16(0);
        object.pen.width = p.i16(1);
        object.pen.cosmetic = p.i16(1) <= 0;
        object.pen.colour = colourRef(p.u32(3));
        player.createObject(std::move(object));
        return;
    }
    case META_CREATEBRUSHINDIRECT: {
        if (!p.has(4))
            return;
        GdiObject object;
        object.type = GdiObject::Type::Brush;
        object.brush = Player::logicalBrush(p.u16(0), colourRef(p.u32(1)), p.u16(3));
        player.createObject(std::move(object));
        return;
    }
    case META_DIBCREATEPATTERNBRUSH: {
        GdiObject object;
        object.type = GdiObject::Type::Brush;
        object.brush = Player::logicalBrush(3, {}, 0);
        if (p.has(2)) {
            auto [info, bits] = dibParts(p, 2);
            if (auto image = Player::decodeDib(info, bits)) {
                object.brush.kind = Brush::Kind::Pattern;
                object.brush.pattern = image;
            }
        }
        player.createObject(std::move(object));
        return;
    }
    case META_CREATEPATTERNBRUSH: {
        // A device-dependent bitmap: a grey stands in for its pattern.
        GdiObject object;
        object.type = GdiObject::Type::Brush;
        object.brush = Player::logicalBrush(3, {}, 0);
        player.createObject(std::move(object));
        return;
    }
    case META_CREATEFONTINDIRECT:
        if (p.has(5))
            player.createObject(fontObject(p));
        else
            player.createObject(GdiObject{});
        return;
    case META_CREATEPALETTE: {
        GdiObject object;
        object.type = GdiObject::Type::Palette;
        player.createObject(std::move(object));
        return;
    }
    case META_CREATEREGION:
        player.createObject(regionObject(p));
        return;
    case META_SELECTOBJECT:
    case META_SELECTPALETTE:
        if (p.has(1))
            player.selectObject(p.u16(0));
        return;
    case META_DELETEOBJECT:
        if (p.has(1))
            player.deleteObject(p.u16(0));
        return;
    case META_SELECTCLIPREGION:
        if (p.has(1)) {
            if (region(p.u16(0)))
                player.selectObject(p.u16(0));
            else
                player.resetClip();
        }
        return;
    case META_INTERSECTCLIPRECT:
        if (p.has(4))
            player.intersectClipRect(p.rect(0));
        return;
    case META_EXCLUDECLIPRECT:
        if (p.has(4))
            player.excludeClipRect(p.rect(0));
        return;
    case META_FILLREGION:
        if (p.has(2)) {
            const GdiObject* r = region(p.u16(1));
            const GdiObject* brush = player.object(p.u16(0));
            if (r && brush && brush->type == GdiObject::Type::Brush)
                player.paintRegion(r->region, brush->brush, true);
        }
        return;
    case META_PAINTREGION:
        if (p.has(1))
            if (const GdiObject* r = region(p.u16(0)))
                player.paintRegion(r->region, s.brush, true);
        return;
    case META_PATBLT:
        if (p.has(6)) {
            const double x = p.i16(5), y = p.i16(4), w = p.i16(3), h = p.i16(2);
            player.patBlt({x, y, x + w, y + h}, p.u32(0));
        }
        return;
    case META_BITBLT:
    case META_STRETCHBLT:
    case META_DIBBITBLT:
    case META_DIBSTRETCHBLT:
    case META_STRETCHDIB:
    case META_SETDIBTODEV:
        blit(function, p);
        return;
    default:
        player.skipped();
        return;
    }
}

void WindowsWalker::textOut(const Params& p, bool extended)
{
    Player& player = m_player;
    if (!extended) {
        if (!p.has(1))
            return;
        const size_t count = p.u16(0);
        const size_t stringWords = (count + 1) / 2;
        if (!p.has(1 + stringWords + 2))
            return;
        std::span<const uint8_t> bytes = p.bytesFrom(1).first(count);
        const Point origin = p.point(1 + stringWords);
        player.text(origin, decodeText(bytes, player.state.font.charset, nullptr), {}, 0, std::nullopt);
        return;
    }
    if (!p.has(4))
        return;
    const Point origin = p.point(0);
    const size_t count = p.u16(2);
    const uint16_t options = p.u16(3);
    size_t word = 4;
    std::optional<Rect> rect;
    if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
        if (!p.has(8))
            return;
        rect = Rect{double(p.i16(4)), double(p.i16(5)), double(p.i16(6)), double(p.i16(7))};
        word = 8;
    }
    const size_t stringWords = (count + 1) / 2;
    if (!p.has(word + stringWords))
        return;
    std::span<const uint8_t> bytes = p.bytesFrom(word).first(count);
    std::vector<size_t> byteOfUnit;
    std::u16string text = decodeText(bytes, player.state.font.charset, &byteOfUnit);
    std::vector<double> advances;
    const size_t dxWord = word + stringWords;
    // The spacing has one entry per byte; a character of two bytes moves by
    // both.
    if (p.has(dxWord + count) && count > 0) {
        std::vector<double> perByte(count);
        for (size_t i = 0; i < count; ++i)
            perByte[i] = p.i16(dxWord + i);
        advances.assign(text.size(), 0);
        for (size_t unit = 0; unit < text.size(); ++unit) {
            const size_t first = byteOfUnit[unit];
            const size_t last = unit + 1 < text.size() ? byteOfUnit[unit + 1] : count;
            if (unit + 1 < text.size() && byteOfUnit[unit + 1] == first)
                continue; // a surrogate pair's first half
            for (size_t b = first; b < last && b < count; ++b)
                advances[unit] += perByte[b];
        }
    }
    player.text(origin, std::move(text), std::move(advances), options, rect);
}

void WindowsWalker::blit(uint16_t function, const Params& p)
{
    Player& player = m_player;
    const size_t words = p.words();
    switch (function) {
    case META_BITBLT:
    case META_DIBBITBLT: {
        // rop, ySrc, xSrc, [reserved when there is no bitmap], height, width, yDest, xDest, DIB
        const bool noBitmap = words == 9;
        if (words < 8)
            return;
        const size_t base = noBitmap ? 5 : 4;
        const double h = p.i16(base), w = p.i16(base + 1), y = p.i16(base + 2), x = p.i16(base + 3);
        const Rect destination{x, y, x + w, y + h};
        if (noBitmap || function == META_BITBLT) {
            player.patBlt(destination, p.u32(0)); // the old device bitmaps carry no colours we can trust
            return;
        }
        auto [info, bits] = dibParts(p, base + 4);
        player.bitmap(destination, info, bits, p.i16(3), p.i16(2), w, h, p.u32(0), false);
        return;
    }
    case META_STRETCHBLT:
    case META_DIBSTRETCHBLT: {
        // rop, srcHeight, srcWidth, ySrc, xSrc, [reserved], destHeight, destWidth, yDest, xDest, DIB
        const bool noBitmap = words == 11;
        if (words < 10)
            return;
        const size_t base = noBitmap ? 7 : 6;
        const double h = p.i16(base), w = p.i16(base + 1), y = p.i16(base + 2), x = p.i16(base + 3);
        const Rect destination{x, y, x + w, y + h};
        if (noBitmap || function == META_STRETCHBLT) {
            player.patBlt(destination, p.u32(0));
            return;
        }
        auto [info, bits] = dibParts(p, base + 4);
        player.bitmap(destination, info, bits, p.i16(5), p.i16(4), p.i16(3), p.i16(2), p.u32(0), false);
        return;
    }
    case META_STRETCHDIB: {
        // rop, usage, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest, DIB
        if (words < 11)
            return;
        const double h = p.i16(7), w = p.i16(8), y = p.i16(9), x = p.i16(10);
        auto [info, bits] = dibParts(p, 11);
        player.bitmap({x, y, x + w, y + h}, info, bits, p.i16(6), p.i16(5), p.i16(4), p.i16(3), p.u32(0), true);
        return;
    }
    case META_SETDIBTODEV: {
        // usage, scans, startScan, yDib, xDib, height, width, yDest, xDest, DIB
        if (words < 9)
            return;
        const double h = p.i16(5), w = p.i16(6), y = p.i16(7), x = p.i16(8);
        auto [info, bits] = dibParts(p, 9);
        player.bitmap({x, y, x + w, y + h}, info, bits, p.i16(4), p.i16(3), w, h, 0x00CC0020, true);
        return;
    }
    default:
        return;
    }
}

} // namespace

void walkWindows(std::span<const uint8_t> file, const Header& header, Drawing& drawing, const Limits& limits)
{
    if (header.recordsOffset >= header.recordsEnd || header.recordsEnd > file.size())
        return;
    WindowsWalker walker(header, drawing, limits);
    walker.walk(file.subspan(header.recordsOffset, header.recordsEnd - header.recordsOffset));
}

} // namespace pictorand::metafile
