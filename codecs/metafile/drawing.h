#pragma once
// What a metafile draws, once its records have been walked: a list of
// drawing commands in the picture's own pixel space (its natural size, with
// fractions), every mapping mode, window, viewport and world transform
// already applied and every object resolved. A painter only has to scale the
// list to the size it shows the picture at, so zooming never walks the
// records again. Nothing here knows a graphics library.

#include "core/image_block.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pictorand::metafile {

struct Point {
    double x = 0;
    double y = 0;
};

struct Colour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// Outlines: moves, lines and cubic Bézier segments (three Curve points in a
// row: two controls and the end). A point whose kind carries kCloseFigure
// ends a closed figure.
enum PathKind : uint8_t { Move = 0, Line = 1, Curve = 2 };
inline constexpr uint8_t kCloseFigure = 0x80;

struct Path {
    std::vector<Point> points;
    std::vector<uint8_t> kinds;

    bool empty() const { return points.empty(); }
    void moveTo(Point p) { add(p, Move); }
    void lineTo(Point p) { add(p, Line); }
    void curveTo(Point c1, Point c2, Point end)
    {
        add(c1, Curve);
        add(c2, Curve);
        add(end, Curve);
    }
    void closeFigure()
    {
        if (!kinds.empty())
            kinds.back() |= kCloseFigure;
    }
    void append(const Path& other)
    {
        points.insert(points.end(), other.points.begin(), other.points.end());
        kinds.insert(kinds.end(), other.kinds.begin(), other.kinds.end());
    }
    void add(Point p, uint8_t kind)
    {
        points.push_back(p);
        kinds.push_back(kind);
    }
};

struct Pen {
    enum class Style : uint8_t { Solid, Dash, Dot, DashDot, DashDotDot, Null, InsideFrame };
    enum class Cap : uint8_t { Round, Square, Flat };
    enum class Join : uint8_t { Round, Bevel, Miter };
    Style style = Style::Solid;
    double width = 0; // picture pixels; below 1 draws one pixel wide at any zoom
    Colour colour;
    Cap cap = Cap::Round;
    Join join = Join::Round;
};

struct Brush {
    enum class Kind : uint8_t { Solid, Null, Hatched, Pattern };
    Kind kind = Kind::Solid;
    Colour colour{255, 255, 255};
    int hatch = 0; // HS_HORIZONTAL 0 ... HS_DIAGCROSS 5
    std::shared_ptr<const ImageBlock> pattern;
};

// The raster operations of lines and fills that real files use; the others
// draw as CopyPen.
enum class Mix : uint8_t { CopyPen, Black, White, Not, XorPen, MaskPen, MergePen, Nop };

// The mix of a ROP2 code (R2_BLACK = 1 ... R2_WHITE = 16) as both kinds of
// file store it; the codes we do not draw differently paint the pen.
inline Mix mixOfRop2(uint32_t code)
{
    switch (code) {
    case 1: return Mix::Black;
    case 6: return Mix::Not;
    case 7: return Mix::XorPen;
    case 9: return Mix::MaskPen;
    case 11: return Mix::Nop;
    case 15: return Mix::MergePen;
    case 16: return Mix::White;
    default: return Mix::CopyPen;
    }
}

struct Shape {
    Path path;
    bool fill = false;
    bool stroke = false;
    bool winding = false; // polyfill mode WINDING, else ALTERNATE
    Pen pen;
    Brush brush;
    Mix mix = Mix::CopyPen;
    bool opaqueBackground = false; // hatches and broken lines on the background colour
    Colour background{255, 255, 255};
};

struct Font {
    std::string face;       // as the file names it, UTF-8
    double height = 12;     // picture pixels
    bool cellHeight = false; // the height includes the internal leading
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charset = 0;
};

struct Text {
    Point origin;
    std::u16string text;
    // Picture pixels from each character to the next along the baseline,
    // one per UTF-16 unit; empty: the font's own advances.
    std::vector<double> advances;
    Font font;
    double angle = 0; // degrees, anticlockwise on screen
    Colour colour;
    bool opaqueBackground = false;
    Colour background{255, 255, 255};
    // TA_LEFT 0, TA_RIGHT 2, TA_CENTER 6; TA_TOP 0, TA_BOTTOM 8, TA_BASELINE 24
    uint32_t align = 0;
    Path clip; // not empty: the text is cut to it (ETO_CLIPPED)
};

// A raster operation of bitmap copies, the ternary code's high word.
enum class BlitOp : uint8_t { Copy, And, Or, Xor, NotCopy, Invert, Black, White, Pattern, Nop };

// One bit per pixel of a bitmap's source part, top row first.
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> set; // width x height, 1 or 0
    bool at(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height && set[size_t(y) * width + x]; }
};

struct Bitmap {
    // A block as the BMP reader gives it; with sourceAlpha, 32 bits whose
    // fourth bytes are the premultiplied alpha.
    std::shared_ptr<const ImageBlock> image;
    // Where the source's top-left, top-right and bottom-left corners land.
    Point topLeft, topRight, bottomLeft;
    // The part of the image, in pixels from its top-left corner.
    double sourceX = 0, sourceY = 0, sourceWidth = 0, sourceHeight = 0;
    BlitOp op = BlitOp::Copy;
    bool smooth = false; // stretch mode HALFTONE
    Brush brush;         // for BlitOp::Pattern
    // MaskBlt and PlgBlt: `op` where the mask (as large as the source part)
    // is set, `maskedOp` where it is clear.
    std::shared_ptr<const Mask> mask;
    BlitOp maskedOp = BlitOp::Nop;
    // AlphaBlend: the source laid over what is there at this opacity, and
    // through its own alpha with sourceAlpha.
    uint8_t constantAlpha = 255;
    bool sourceAlpha = false;
    // TransparentBlt: source pixels of this colour leave what is there.
    std::optional<Colour> transparent;
};

// GradientFill: triangles shaded linearly between the colours of their
// corners (a rectangle comes as two, its colour changing along one side).
struct GradientVertex {
    Point at;
    Colour colour;
};
struct Gradient {
    std::vector<std::array<GradientVertex, 3>> triangles;
};

struct Clip {
    enum class Op : uint8_t { Reset, Replace, Intersect, Exclude, Unite, Xor };
    Op op = Op::Reset;
    Path path;
    bool winding = false;
};

using Command = std::variant<Shape, Text, Bitmap, Clip, Gradient>;

// The kind of file the drawing was played from.
enum class Kind : uint8_t { Enhanced, Placeable, Plain };

struct Drawing {
    Kind kind = Kind::Plain;
    double width = 0; // natural size in screen pixels
    double height = 0;
    std::vector<Command> commands;
    std::vector<Colour> palette; // the EMF's own palette, if it has one
    int recordsWalked = 0;  // the end record among them
    int recordsSkipped = 0; // unknown or malformed records passed over
};

} // namespace pictorand::metafile
