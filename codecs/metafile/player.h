#pragma once
// The device context both record walkers drive: mapping, the state that
// SaveDC keeps, the object table, the path bracket and the clip, turned into
// drawing commands in picture pixels. The walkers only decode records.

#include "codecs/metafile/metafile.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pictorand::metafile {

// Clamps a picture coordinate far beyond any screen, so a painter's fixed
// point never overflows.
double clampCoordinate(double value);

// x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy, as the platform's XFORM.
struct Matrix {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    Point map(Point p) const { return {m11 * p.x + m21 * p.y + dx, m12 * p.x + m22 * p.y + dy}; }
    Point mapVector(Point v) const { return {m11 * v.x + m21 * v.y, m12 * v.x + m22 * v.y}; }
    // This one first, then `next`.
    Matrix then(const Matrix& next) const;
    double determinant() const { return m11 * m22 - m12 * m21; }
    bool finite() const;
};

struct Rect {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// A pen as created, in logical units.
struct LogPen {
    uint32_t style = 0; // PS_* with the end cap and join bits
    double width = 0;
    Colour colour;
    bool cosmetic = false; // one pixel whatever the mapping
};

struct LogFont {
    int32_t height = 0;
    int32_t width = 0;
    int32_t escapement = 0; // tenths of a degree
    int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charset = 0;
    std::string face;
};

struct GdiObject {
    enum class Type { Pen, Brush, Font, Palette, Region, Other };
    Type type = Type::Other;
    LogPen pen;
    Brush brush;
    LogFont font;
    std::vector<Colour> palette;
    std::vector<Rect> region; // rectangles; logical units (16-bit files) or device units
};

// Mapping modes.
enum MapMode {
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8
};

// Region combination modes.
enum RegionMode { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

// ExtTextOut options.
inline constexpr uint32_t ETO_OPAQUE = 0x0002;
inline constexpr uint32_t ETO_CLIPPED = 0x0004;
inline constexpr uint32_t ETO_GLYPH_INDEX = 0x0010;
inline constexpr uint32_t ETO_PDY = 0x2000;
inline constexpr uint32_t TA_UPDATECP = 1;

struct DcState {
    int mapMode = MM_TEXT;
    Point windowOrigin{0, 0}, windowExtent{1, 1}, viewportOrigin{0, 0}, viewportExtent{1, 1};
    Matrix world;
    Point position; // logical
    Colour textColour{0, 0, 0};
    Colour background{255, 255, 255};
    bool opaque = true;
    Mix mix = Mix::CopyPen;
    bool winding = false;
    int stretchMode = 1;
    uint32_t textAlign = 0;
    bool clockwise = false;
    LogPen pen;
    Brush brush;
    LogFont font;
    std::vector<Clip> clips; // since the clip was last reset, to replay after RestoreDC
};

// A bitmap copy as a record gives it, in logical units.
struct Blit {
    // Where the source's top-left, top-right and bottom-left corners go.
    Point topLeft, topRight, bottomLeft;
    std::span<const uint8_t> info, bits; // the source DIB; no info: none
    double sourceX = 0, sourceY = 0, sourceWidth = 0, sourceHeight = 0;
    bool bottomUpOrigin = false; // the source's y counts from its bottom row
    uint32_t rop = 0x00CC0020;   // SRCCOPY
    // A monochrome DIB at (maskX, maskY) under the source's corner: rop's
    // low word's code applies where it is set, its high byte's where clear.
    std::span<const uint8_t> maskInfo, maskBits;
    double maskX = 0, maskY = 0;
    uint8_t constantAlpha = 255;
    bool sourceAlpha = false; // a 32-bit source with premultiplied alpha
    std::optional<Colour> transparent;

    static Blit into(Rect destination)
    {
        Blit blit;
        blit.topLeft = {destination.left, destination.top};
        blit.topRight = {destination.right, destination.top};
        blit.bottomLeft = {destination.left, destination.bottom};
        return blit;
    }
};

class Player {
public:
    Player(Drawing& out, const Limits& limits, bool sixteenBit);

    // Set once per file: device units to picture pixels, and how many device
    // units make a millimetre (for the metric mapping modes).
    Matrix deviceToPicture;
    double deviceUnitsPerMillimetre = 96.0 / 25.4;

    DcState state;

    // False once a limit is reached: the walker stops.
    bool keepGoing() const { return !m_stopped; }
    bool countRecord();
    void skipped() { ++m_out.recordsSkipped; }

    // Mapping.
    Matrix transform() const;
    Point toPicture(Point logical) const
    {
        const Point p = m_transform.map(logical);
        return {clampCoordinate(p.x), clampCoordinate(p.y)};
    }
    void mappingChanged();
    void setMapMode(int mode);
    void setWindowOrigin(Point p) { state.windowOrigin = p, mappingChanged(); }
    void setWindowExtent(Point p);
    void setViewportOrigin(Point p) { state.viewportOrigin = p, mappingChanged(); }
    void setViewportExtent(Point p);
    void setWorld(const Matrix& m);

    // State.
    void save();
    void restore(int relative);

    // Objects. The 16-bit table fills the lowest free slot; the enhanced one
    // names the slot. Indexes outside the table or at empty slots are ignored.
    void setTableSize(size_t size);
    void createObject(GdiObject object);
    void createObjectAt(uint32_t index, GdiObject object);
    void selectObject(uint32_t index);
    void selectStockObject(uint32_t stock);
    void deleteObject(uint32_t index);
    const GdiObject* object(uint32_t index) const;

    // Drawing, in logical units.
    void moveTo(Point p);
    void lineTo(Point p);
    void polyline(const std::vector<Point>& points);
    void polylineTo(const std::vector<Point>& points);
    void polygon(const std::vector<Point>& points);
    void polyPolygon(const std::vector<std::vector<Point>>& polygons, bool fill);
    void polyBezier(const std::vector<Point>& points, bool fromCurrent);
    void rectangle(Rect box);
    void roundRectangle(Rect box, double cornerWidth, double cornerHeight);
    void ellipse(Rect box);
    enum class ArcKind { Arc, ArcTo, Chord, Pie };
    void arc(ArcKind kind, Rect box, Point start, Point end);
    void setPixel(Point p, Colour colour);
    void fillRectWithBrush(Rect box, const Brush& brush);
    void patBlt(Rect box, uint32_t rop);

    // Text; `advances` in logical units, one per UTF-16 unit (or empty).
    void text(Point origin, std::u16string text, std::vector<double> advances, uint32_t options,
              std::optional<Rect> rect);

    // A DIB (BITMAPINFO and bits) to the logical rectangle, or the pattern
    // alone when there is no bitmap.
    void bitmap(Rect destination, std::span<const uint8_t> info, std::span<const uint8_t> bits, double sourceX,
                double sourceY, double sourceWidth, double sourceHeight, uint32_t rop, bool bottomUpOrigin);
    void blit(const Blit& blit);

    // Triangles in logical units, shaded between their corners' colours.
    void gradient(std::vector<std::array<GradientVertex, 3>> triangles);

    // Clipping.
    void intersectClipRect(Rect box);
    void excludeClipRect(Rect box);
    // Rectangles in picture pixels already.
    void selectClipRegion(const std::vector<Rect>& rects, int mode);
    void resetClip();
    void offsetClip(Point) {} // FIXME: rare in real files; the clip stays where it was

    // Paths (enhanced files).
    void beginPath();
    void endPath() { m_inPath = false; }
    void abortPath();
    void closeFigure();
    void fillPath(bool fill, bool stroke);
    void selectClipPath(int mode);

    // Regions of the object table, painted with a brush.
    void paintRegion(const std::vector<Rect>& rects, const Brush& brush, bool logical);

    // Decodes a DIB into a block through the BMP reader; null when it does not decode.
    static std::shared_ptr<const ImageBlock> decodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits);
    // A 32-bit DIB with its fourth bytes kept, as AlphaBlend reads them;
    // null for any other kind.
    static std::shared_ptr<const ImageBlock> decodeAlphaDib(std::span<const uint8_t> info, std::span<const uint8_t> bits);
    static Brush logicalBrush(uint32_t style, Colour colour, uint32_t hatch);

private:
    void emit(Command command);
    void addFigure(Path path, bool fill, bool stroke, bool closed);
    Pen devicePen() const;
    Path rectPath(Rect box) const; // logical rectangle in picture pixels
    void pushClip(Clip clip);
    Path arcPath(ArcKind kind, Rect box, Point start, Point end, bool moveFirst) const;

    Drawing& m_out;
    Limits m_limits;
    bool m_sixteenBit;
    bool m_stopped = false;
    size_t m_points = 0;
    Matrix m_transform;
    std::vector<DcState> m_saved;
    std::vector<std::shared_ptr<const GdiObject>> m_table;
    bool m_inPath = false;
    Path m_path;           // the bracket's outline, in picture pixels
    bool m_pathDone = false;
};

Colour colourRef(uint32_t value);

// Text of a file's 8-bit strings in the font's character set, to UTF-16;
// `byteOfUnit` gets, for each UTF-16 unit, the index of the byte it came
// from, so spacing given per byte can be summed per character.
std::u16string decodeText(std::span<const uint8_t> bytes, uint8_t charset, std::vector<size_t>* byteOfUnit);

// Opens every code page decodeText knows, for a process that is about to lose
// the right to open files.
void openCodePages();


} // namespace pictorand::metafile
