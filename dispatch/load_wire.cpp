#include "dispatch/load_wire.h"

#include "codecs/common/span_reader.h"
#include "core/byte_order.h"
#include "core/checked_size.h"

#include <bit>
#include <cmath>
#include <map>

namespace pictorand {

namespace {

constexpr uint32_t kRequestMagic = 0x31515250;  // "PRQ1"
constexpr uint32_t kOutcomeMagic = 0x31434f50;  // "POC1"

// Bounds on what an outcome may hold besides what its message's own size
// bounds. A picture and its frames together: the frames' own limit and the
// largest block.
constexpr uint64_t kLargestTotal = (uint64_t(1) << 30) + kMaxBlockBytes;
constexpr uint32_t kLongestWords = 1 << 16;
constexpr uint32_t kMostPages = 1 << 16;
// Drawings are in picture pixels; the metafile reader's natural sizes stay far
// below this, and a painter handed more would be asked for nonsense.
constexpr double kFarthest = 1e9;

// ---------------------------------------------------------------------------
// Writing.

class Writer {
public:
    void u8(uint8_t v) { m_bytes.push_back(v); }
    void flag(bool v) { u8(v ? 1 : 0); }
    void u32(uint32_t v)
    {
        uint8_t bytes[4];
        storeLE32(bytes, v);
        m_bytes.insert(m_bytes.end(), bytes, bytes + 4);
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void u64(uint64_t v)
    {
        u32(static_cast<uint32_t>(v));
        u32(static_cast<uint32_t>(v >> 32));
    }
    void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void f64(double v) { u64(std::bit_cast<uint64_t>(v)); }
    void text(const std::string& v) { blob({reinterpret_cast<const uint8_t*>(v.data()), v.size()}); }
    void blob(std::span<const uint8_t> v)
    {
        u32(static_cast<uint32_t>(v.size()));
        m_bytes.insert(m_bytes.end(), v.begin(), v.end());
    }
    std::vector<uint8_t>& bytes() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Writes an outcome's body; blocks are numbered as they come (a block shared
// by several commands once) and listed ahead of the body.
class OutcomeWriter {
public:
    std::vector<uint8_t> message(const LoadOutcome& outcome, bool blocksInline)
    {
        body(outcome);
        Writer head;
        head.u32(kOutcomeMagic);
        head.u32(static_cast<uint32_t>(m_blocks.size()));
        uint64_t offset = 0;
        for (const ImageBlock* block : m_blocks) {
            head.u64(blocksInline ? offset : reinterpret_cast<uintptr_t>(block->data()));
            head.u64(block->size());
            offset += block->size();
        }
        // A turned file, some megabytes, is fetched as the blocks are rather
        // than pushed through the socket in the message.
        const std::vector<uint8_t>& turned = outcome.turnedFile;
        head.u64(blocksInline ? offset : reinterpret_cast<uintptr_t>(turned.data()));
        head.u64(turned.size());
        head.u64(m_out.bytes().size());
        std::vector<uint8_t> bytes = std::move(head.bytes());
        bytes.insert(bytes.end(), m_out.bytes().begin(), m_out.bytes().end());
        if (blocksInline) {
            for (const ImageBlock* block : m_blocks)
                bytes.insert(bytes.end(), block->data(), block->data() + block->size());
            bytes.insert(bytes.end(), turned.begin(), turned.end());
        }
        return bytes;
    }

private:
    // 0: no block; else the block's number + 1.
    void block(const ImageBlock* block)
    {
        if (!block || !*block) {
            m_out.u32(0);
            return;
        }
        auto [at, added] = m_numbers.emplace(block, static_cast<uint32_t>(m_blocks.size()));
        if (added)
            m_blocks.push_back(block);
        m_out.u32(at->second + 1);
    }
    void format(const std::optional<ImageFormat>& format)
    {
        m_out.flag(format.has_value());
        m_out.u8(format ? static_cast<uint8_t>(*format) : 0);
    }
    void colour(const metafile::Colour& c)
    {
        m_out.u8(c.red);
        m_out.u8(c.green);
        m_out.u8(c.blue);
    }
    void point(const metafile::Point& p)
    {
        m_out.f64(p.x);
        m_out.f64(p.y);
    }
    void path(const metafile::Path& path)
    {
        m_out.u32(static_cast<uint32_t>(path.points.size()));
        for (size_t i = 0; i < path.points.size(); ++i) {
            point(path.points[i]);
            m_out.u8(i < path.kinds.size() ? path.kinds[i] : uint8_t(metafile::Line));
        }
    }
    void brush(const metafile::Brush& brush)
    {
        m_out.u8(static_cast<uint8_t>(brush.kind));
        colour(brush.colour);
        m_out.i32(brush.hatch);
        block(brush.pattern.get());
    }
    void command(const metafile::Command& command);
    void drawing(const metafile::Drawing& drawing);
    void body(const LoadOutcome& outcome);

    Writer m_out;
    std::vector<const ImageBlock*> m_blocks;
    std::map<const ImageBlock*, uint32_t> m_numbers;
};

void OutcomeWriter::command(const metafile::Command& command)
{
    m_out.u8(static_cast<uint8_t>(command.index()));
    if (const auto* shape = std::get_if<metafile::Shape>(&command)) {
        path(shape->path);
        m_out.flag(shape->fill);
        m_out.flag(shape->stroke);
        m_out.flag(shape->winding);
        m_out.u8(static_cast<uint8_t>(shape->pen.style));
        m_out.f64(shape->pen.width);
        colour(shape->pen.colour);
        m_out.u8(static_cast<uint8_t>(shape->pen.cap));
        m_out.u8(static_cast<uint8_t>(shape->pen.join));
        brush(shape->brush);
        m_out.u8(static_cast<uint8_t>(shape->mix));
        m_out.flag(shape->opaqueBackground);
        colour(shape->background);
    } else if (const auto* text = std::get_if<metafile::Text>(&command)) {
        point(text->origin);
        m_out.u32(static_cast<uint32_t>(text->text.size()));
        for (char16_t unit : text->text)
            m_out.u32(unit);
        m_out.u32(static_cast<uint32_t>(text->advances.size()));
        for (double advance : text->advances)
            m_out.f64(advance);
        m_out.text(text->font.face);
        m_out.f64(text->font.height);
        m_out.flag(text->font.cellHeight);
        m_out.i32(text->font.weight);
        m_out.flag(text->font.italic);
        m_out.flag(text->font.underline);
        m_out.flag(text->font.strikeOut);
        m_out.i32(text->font.charset);
        m_out.f64(text->angle);
        colour(text->colour);
        m_out.flag(text->opaqueBackground);
        colour(text->background);
        m_out.u32(text->align);
        path(text->clip);
    } else if (const auto* bitmap = std::get_if<metafile::Bitmap>(&command)) {
        block(bitmap->image.get());
        point(bitmap->topLeft);
        point(bitmap->topRight);
        point(bitmap->bottomLeft);
        m_out.f64(bitmap->sourceX);
        m_out.f64(bitmap->sourceY);
        m_out.f64(bitmap->sourceWidth);
        m_out.f64(bitmap->sourceHeight);
        m_out.u8(static_cast<uint8_t>(bitmap->op));
        m_out.flag(bitmap->smooth);
        brush(bitmap->brush);
        m_out.flag(bitmap->mask != nullptr);
        if (bitmap->mask) {
            m_out.u32(static_cast<uint32_t>(bitmap->mask->width));
            m_out.u32(static_cast<uint32_t>(bitmap->mask->height));
            m_out.bytes().insert(m_out.bytes().end(), bitmap->mask->set.begin(), bitmap->mask->set.end());
        }
        m_out.u8(static_cast<uint8_t>(bitmap->maskedOp));
        m_out.u8(bitmap->constantAlpha);
        m_out.flag(bitmap->sourceAlpha);
        m_out.flag(bitmap->transparent.has_value());
        colour(bitmap->transparent.value_or(metafile::Colour{}));
    } else if (const auto* gradient = std::get_if<metafile::Gradient>(&command)) {
        m_out.u32(static_cast<uint32_t>(gradient->triangles.size()));
        for (const auto& triangle : gradient->triangles)
            for (const metafile::GradientVertex& corner : triangle) {
                point(corner.at);
                colour(corner.colour);
            }
    } else if (const auto* clip = std::get_if<metafile::Clip>(&command)) {
        m_out.u8(static_cast<uint8_t>(clip->op));
        path(clip->path);
        m_out.flag(clip->winding);
    }
}

void OutcomeWriter::drawing(const metafile::Drawing& drawing)
{
    m_out.u8(static_cast<uint8_t>(drawing.kind));
    m_out.f64(drawing.width);
    m_out.f64(drawing.height);
    m_out.i32(drawing.recordsWalked);
    m_out.i32(drawing.recordsSkipped);
    m_out.u32(static_cast<uint32_t>(drawing.palette.size()));
    for (const metafile::Colour& c : drawing.palette)
        colour(c);
    m_out.u32(static_cast<uint32_t>(drawing.commands.size()));
    for (const metafile::Command& c : drawing.commands)
        command(c);
}

void OutcomeWriter::body(const LoadOutcome& outcome)
{
    m_out.u8(static_cast<uint8_t>(outcome.kind));
    m_out.text(outcome.path);
    format(outcome.format);
    format(outcome.misnamedAs);
    block(&outcome.block);
    m_out.text(outcome.compression);
    m_out.i32(outcome.originalWidth);
    m_out.i32(outcome.originalHeight);
    m_out.i32(outcome.originalBitCount);
    m_out.i64(outcome.decompressionMs);
    m_out.text(outcome.truncation);
    m_out.i32(outcome.orientationApplied);
    m_out.flag(outcome.profileApplied);
    m_out.u32(static_cast<uint32_t>(outcome.pageOffsets.size()));
    for (uint32_t offset : outcome.pageOffsets)
        m_out.u32(offset);
    m_out.i32(outcome.page);
    m_out.i32(outcome.imageCount);
    m_out.flag(outcome.overviewSheet);
    m_out.i32(outcome.overviewStart);
    m_out.u32(static_cast<uint32_t>(outcome.iconChoices.size()));
    for (const std::string& line : outcome.iconChoices)
        m_out.text(line);
    block(&outcome.alpha);
    m_out.u32(static_cast<uint32_t>(outcome.frames.size()));
    for (const AnimationFrame& frame : outcome.frames) {
        block(&frame.block);
        const GifFrameInfo& info = frame.info;
        m_out.u8(info.backgroundRed);
        m_out.u8(info.backgroundGreen);
        m_out.u8(info.backgroundBlue);
        m_out.u32(info.left);
        m_out.u32(info.top);
        m_out.i32(info.disposalMethod);
        m_out.i32(info.transparentFlag);
        m_out.i32(info.delay);
        m_out.u8(info.transparentIndex);
        m_out.flag(info.dataEndedEarly);
        m_out.flag(frame.ownDelayMs.has_value());
        m_out.i32(frame.ownDelayMs.value_or(0));
    }
    m_out.i32(outcome.loopCount);
    m_out.flag(outcome.mediaExtensionMismatch);
    m_out.flag(outcome.drawing != nullptr);
    if (outcome.drawing)
        drawing(*outcome.drawing);
    m_out.u8(static_cast<uint8_t>(outcome.failedAt));
    m_out.u8(static_cast<uint8_t>(outcome.failure.reason));
    m_out.text(outcome.failure.detail);
}

// ---------------------------------------------------------------------------
// Reading.

// A SpanReader that also turns false at the first value out of range.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : m_in(bytes) {}
    bool ok() const { return m_ok && m_in.ok(); }
    bool atEnd() const { return m_in.atEnd(); }
    size_t remaining() const { return m_in.remaining(); }
    bool fail() { return m_ok = false; }

    uint8_t u8() { return m_in.u8(); }
    uint32_t u32() { return m_in.u32le(); }
    int32_t i32() { return m_in.i32le(); }
    uint64_t u64()
    {
        const uint64_t low = u32();
        return low | uint64_t(u32()) << 32;
    }
    int64_t i64() { return static_cast<int64_t>(u64()); }
    bool flag()
    {
        const uint8_t v = u8();
        if (v > 1)
            fail();
        return v == 1;
    }
    // A value of an enumeration whose last member is `last`.
    template <class Enum>
    Enum choice(Enum last)
    {
        const uint8_t v = u8();
        if (v > static_cast<uint8_t>(last))
            fail();
        return static_cast<Enum>(v);
    }
    double f64(double farthest = kFarthest)
    {
        const double v = std::bit_cast<double>(u64());
        if (!std::isfinite(v) || std::fabs(v) > farthest)
            fail();
        return std::isfinite(v) ? v : 0;
    }
    std::string text(uint32_t longest = kLongestWords)
    {
        const std::span<const uint8_t> bytes = blob(longest);
        return std::string(bytes.begin(), bytes.end());
    }
    std::span<const uint8_t> blob(uint32_t longest)
    {
        const uint32_t size = u32();
        if (size > longest || size > m_in.remaining()) {
            fail();
            return {};
        }
        return m_in.bytes(size);
    }
    // A count of elements each at least `smallest` bytes long: never more
    // than the rest of the message could hold.
    uint32_t count(size_t smallest, uint32_t most = UINT32_MAX)
    {
        const uint32_t n = u32();
        if (n > most || uint64_t(n) * smallest > m_in.remaining()) {
            fail();
            return 0;
        }
        return n;
    }

private:
    SpanReader m_in;
    bool m_ok = true;
};

bool paletted(uint16_t bits) { return bits == 1 || bits == 4 || bits == 8; }

// A frame is a GIF image, paletted, or a composed frame: 24 bits, the
// canvas's size at its corner, a delay of its own in range. An animation
// is one or the other throughout.
bool holdsUp(const AnimationFrame& frame, const std::vector<AnimationFrame>& before)
{
    const bool composed = frame.ownDelayMs.has_value();
    if (!before.empty() && before.front().ownDelayMs.has_value() != composed)
        return false;
    if (!composed)
        return paletted(frame.block.bitCount());
    const GifFrameInfo& info = frame.info;
    return frame.block.bitCount() == 24 && *frame.ownDelayMs >= 0 && *frame.ownDelayMs <= kLongestFrameDelayMs
        && info.left == 0 && info.top == 0 && info.disposalMethod == 0 && info.transparentFlag == 0
        && (before.empty()
            || (frame.block.width() == before.front().block.width()
                && frame.block.height() == before.front().block.height()));
}

// Pixels that point past a short colour table would be read beyond it by
// whoever looks the colours up: such pixels take the first entry.
void keepPixelsInTheirTable(ImageBlock& block)
{
    const uint32_t bits = block.bitCount();
    const uint32_t colours = block.colorsUsed();
    if (!paletted(static_cast<uint16_t>(bits)) || colours >= (1u << bits))
        return;
    const uint32_t perByte = 8 / bits;
    const uint8_t mask = static_cast<uint8_t>((1u << bits) - 1);
    const uint64_t rowBytes = (uint64_t(block.width()) * bits + 7) / 8;
    for (int32_t y = 0; y < block.height(); ++y) {
        uint8_t* row = block.row(y);
        for (uint64_t x = 0; x < rowBytes; ++x) {
            uint8_t byte = row[x];
            for (uint32_t part = 0; part < perByte; ++part) {
                const uint32_t shift = part * bits;
                if (((byte >> shift) & mask) >= colours)
                    byte = static_cast<uint8_t>(byte & ~(mask << shift));
            }
            row[x] = byte;
        }
    }
}

class OutcomeReader {
public:
    OutcomeReader(std::span<const uint8_t> bytes, const BlockFetcher& fetch)
        : m_all(bytes), m_in(bytes), m_fetch(fetch)
    {
    }

    std::optional<LoadOutcome> read(const LoadRequest& request);

private:
    bool blocks();
    // The block numbered next, with the depths it may have; null for none.
    std::shared_ptr<ImageBlock> block(std::initializer_list<uint16_t> depths);
    ImageBlock ownBlock(std::initializer_list<uint16_t> depths)
    {
        std::shared_ptr<ImageBlock> shared = block(depths);
        if (!shared)
            return {};
        // A block the outcome owns outright must not also stand elsewhere.
        if (shared.use_count() > 2)
            m_in.fail();
        ImageBlock own = std::move(*shared);
        return own;
    }
    std::optional<ImageFormat> format()
    {
        const bool present = m_in.flag();
        const uint8_t value = m_in.u8();
        const std::optional<ImageFormat> known = formatNumbered(value);
        if (!known)
            m_in.fail();
        return present ? known : std::nullopt;
    }
    metafile::Colour colour() { return {m_in.u8(), m_in.u8(), m_in.u8()}; }
    metafile::Point point() { return {m_in.f64(), m_in.f64()}; }
    metafile::Path path();
    metafile::Brush brush();
    metafile::Command command();
    std::shared_ptr<const metafile::Drawing> drawing();

    std::span<const uint8_t> m_all;
    Reader m_in;
    const BlockFetcher& m_fetch;
    std::vector<std::shared_ptr<ImageBlock>> m_blocks;
    std::vector<uint64_t> m_addresses;
    std::vector<uint8_t> m_turned;
};

bool OutcomeReader::blocks()
{
    const uint32_t count = m_in.count(16, 1 << 16);
    uint64_t total = 0;
    for (uint32_t i = 0; i < count && m_in.ok(); ++i) {
        const uint64_t address = m_in.u64();
        const uint64_t size = m_in.u64();
        total += size;
        if (size < ImageBlock::kHeaderSize || size > kMaxBlockBytes || total > kLargestTotal)
            return m_in.fail();
        m_addresses.push_back(address);
        m_blocks.push_back(std::make_shared<ImageBlock>(ImageBlock::allocateForOverwrite(size)));
        if (!*m_blocks.back())
            return m_in.fail();
    }
    const uint64_t turnedAddress = m_in.u64();
    const uint64_t turnedSize = m_in.u64();
    total += turnedSize;
    if (turnedSize > kMaxBlockBytes || total > kLargestTotal)
        return m_in.fail();
    const uint64_t bodyLength = m_in.u64();
    if (!m_in.ok())
        return false;
    // The body alone is read from here on; inline blocks follow it.
    const size_t bodyStart = m_all.size() - m_in.remaining();
    if (bodyLength > m_in.remaining())
        return m_in.fail();
    const std::span<const uint8_t> trailer = m_all.subspan(bodyStart + bodyLength);
    m_in = Reader(m_all.subspan(bodyStart, bodyLength));
    auto fetch = [&](uint64_t address, std::span<uint8_t> into) {
        if (m_fetch)
            return m_fetch(address, into);
        if (address > trailer.size() || into.size() > trailer.size() - address)
            return false;
        std::copy_n(trailer.data() + address, into.size(), into.data());
        return true;
    };
    m_turned.resize(static_cast<size_t>(turnedSize));
    if (turnedSize && !fetch(turnedAddress, m_turned))
        return m_in.fail();
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        ImageBlock& fetched = *m_blocks[i];
        const bool got = fetch(m_addresses[i], {fetched.data(), static_cast<size_t>(fetched.size())});
        // No reader makes a picture without pixels; one of no width but two
        // billion rows would still cost every loop over its rows.
        if (!got || !fetched.isConsistent() || fetched.headerSize() != ImageBlock::kHeaderSize
            || fetched.width() <= 0 || fetched.height() <= 0)
            return m_in.fail();
        // A paletted block carries its table: an empty one would make its
        // first rows stand for colours.
        const uint16_t bits = fetched.bitCount();
        if (paletted(bits) && (fetched.colorsUsed() == 0 || fetched.colorsUsed() > (1u << bits)))
            return m_in.fail();
        keepPixelsInTheirTable(fetched);
    }
    return true;
}

std::shared_ptr<ImageBlock> OutcomeReader::block(std::initializer_list<uint16_t> depths)
{
    const uint32_t number = m_in.u32();
    if (number == 0)
        return nullptr;
    if (number > m_blocks.size() || !*m_blocks[number - 1]) {
        m_in.fail();
        return nullptr;
    }
    std::shared_ptr<ImageBlock>& found = m_blocks[number - 1];
    if (std::find(depths.begin(), depths.end(), found->bitCount()) == depths.end()) {
        m_in.fail();
        return nullptr;
    }
    return found;
}

metafile::Path OutcomeReader::path()
{
    metafile::Path path;
    const uint32_t count = m_in.count(17);
    path.points.reserve(count);
    path.kinds.reserve(count);
    for (uint32_t i = 0; i < count && m_in.ok(); ++i) {
        path.points.push_back(point());
        const uint8_t kind = m_in.u8();
        if ((kind & 0x7F) > metafile::Curve)
            m_in.fail();
        path.kinds.push_back(kind);
    }
    return path;
}

// Metafile bitmaps are blocks as the BMP reader gives them, transient depths
// included.
constexpr std::initializer_list<uint16_t> kBitmapDepths = {1, 4, 8, 16, 24, 32};

metafile::Brush OutcomeReader::brush()
{
    metafile::Brush brush;
    brush.kind = m_in.choice(metafile::Brush::Kind::Pattern);
    brush.colour = colour();
    brush.hatch = m_in.i32();
    brush.pattern = block(kBitmapDepths);
    if (brush.kind == metafile::Brush::Kind::Pattern && !brush.pattern)
        m_in.fail();
    return brush;
}

metafile::Command OutcomeReader::command()
{
    switch (m_in.u8()) {
    case 0: {
        metafile::Shape shape;
        shape.path = path();
        shape.fill = m_in.flag();
        shape.stroke = m_in.flag();
        shape.winding = m_in.flag();
        shape.pen.style = m_in.choice(metafile::Pen::Style::InsideFrame);
        shape.pen.width = m_in.f64();
        shape.pen.colour = colour();
        shape.pen.cap = m_in.choice(metafile::Pen::Cap::Flat);
        shape.pen.join = m_in.choice(metafile::Pen::Join::Miter);
        shape.brush = brush();
        shape.mix = m_in.choice(metafile::Mix::Nop);
        shape.opaqueBackground = m_in.flag();
        shape.background = colour();
        return shape;
    }
    case 1: {
        metafile::Text text;
        text.origin = point();
        const uint32_t units = m_in.count(4);
        for (uint32_t i = 0; i < units && m_in.ok(); ++i) {
            const uint32_t unit = m_in.u32();
            if (unit > 0xFFFF)
                m_in.fail();
            text.text.push_back(static_cast<char16_t>(unit));
        }
        const uint32_t advances = m_in.count(8);
        if (advances != 0 && advances != units)
            m_in.fail();
        for (uint32_t i = 0; i < advances && m_in.ok(); ++i)
            text.advances.push_back(m_in.f64());
        text.font.face = m_in.text(1024);
        text.font.height = m_in.f64();
        text.font.cellHeight = m_in.flag();
        text.font.weight = m_in.i32();
        text.font.italic = m_in.flag();
        text.font.underline = m_in.flag();
        text.font.strikeOut = m_in.flag();
        text.font.charset = m_in.i32();
        text.angle = m_in.f64();
        text.colour = colour();
        text.opaqueBackground = m_in.flag();
        text.background = colour();
        text.align = m_in.u32();
        text.clip = path();
        return text;
    }
    case 2: {
        metafile::Bitmap bitmap;
        bitmap.image = block(kBitmapDepths);
        if (!bitmap.image)
            m_in.fail();
        bitmap.topLeft = point();
        bitmap.topRight = point();
        bitmap.bottomLeft = point();
        bitmap.sourceX = m_in.f64();
        bitmap.sourceY = m_in.f64();
        bitmap.sourceWidth = m_in.f64();
        bitmap.sourceHeight = m_in.f64();
        bitmap.op = m_in.choice(metafile::BlitOp::Nop);
        bitmap.smooth = m_in.flag();
        bitmap.brush = brush();
        if (m_in.flag()) {
            auto mask = std::make_shared<metafile::Mask>();
            const uint32_t width = m_in.u32();
            const uint32_t height = m_in.u32();
            // One byte a pixel, each 0 or 1, and no more than the message holds.
            if (width > INT32_MAX || height > INT32_MAX || uint64_t(width) * height > m_in.remaining())
                m_in.fail();
            if (m_in.ok()) {
                mask->width = static_cast<int>(width);
                mask->height = static_cast<int>(height);
                mask->set.resize(size_t(width) * height);
                for (uint8_t& bit : mask->set)
                    bit = m_in.flag();
            }
            bitmap.mask = std::move(mask);
        }
        bitmap.maskedOp = m_in.choice(metafile::BlitOp::Nop);
        bitmap.constantAlpha = m_in.u8();
        bitmap.sourceAlpha = m_in.flag();
        const bool transparent = m_in.flag();
        const metafile::Colour key = colour();
        if (transparent)
            bitmap.transparent = key;
        return bitmap;
    }
    case 3: {
        metafile::Clip clip;
        clip.op = m_in.choice(metafile::Clip::Op::Xor);
        clip.path = path();
        clip.winding = m_in.flag();
        return clip;
    }
    case 4: {
        metafile::Gradient gradient;
        const uint32_t triangles = m_in.count(3 * 19);
        gradient.triangles.resize(triangles);
        for (auto& triangle : gradient.triangles)
            for (metafile::GradientVertex& corner : triangle) {
                corner.at = point();
                corner.colour = colour();
            }
        return gradient;
    }
    default:
        m_in.fail();
        return metafile::Clip{};
    }
}

std::shared_ptr<const metafile::Drawing> OutcomeReader::drawing()
{
    auto drawing = std::make_shared<metafile::Drawing>();
    drawing->kind = m_in.choice(metafile::Kind::Plain);
    drawing->width = m_in.f64();
    drawing->height = m_in.f64();
    drawing->recordsWalked = m_in.i32();
    drawing->recordsSkipped = m_in.i32();
    if (drawing->recordsWalked < 0 || drawing->recordsSkipped < 0)
        m_in.fail();
    const uint32_t colours = m_in.count(3, 1 << 16);
    for (uint32_t i = 0; i < colours && m_in.ok(); ++i)
        drawing->palette.push_back(colour());
    const uint32_t commands = m_in.count(1);
    for (uint32_t i = 0; i < commands && m_in.ok(); ++i)
        drawing->commands.push_back(command());
    if (drawing->width <= 0 || drawing->height <= 0)
        m_in.fail();
    return drawing;
}

std::optional<LoadOutcome> OutcomeReader::read(const LoadRequest& request)
{
    if (m_in.u32() != kOutcomeMagic || !blocks())
        return std::nullopt;
    LoadOutcome outcome;
    outcome.kind = m_in.choice(LoadOutcome::Kind::Unread);
    outcome.path = m_in.text(static_cast<uint32_t>(request.file.path.size()));
    if (outcome.path != request.file.path)
        m_in.fail();
    outcome.format = format();
    outcome.misnamedAs = format();
    // What each purpose shows: the depths a display draws.
    outcome.block = ownBlock({1, 4, 8, 24});
    outcome.compression = m_in.text();
    outcome.originalWidth = m_in.i32();
    outcome.originalHeight = m_in.i32();
    outcome.originalBitCount = m_in.i32();
    outcome.decompressionMs = m_in.i64();
    outcome.truncation = m_in.text();
    outcome.orientationApplied = m_in.i32();
    outcome.profileApplied = m_in.flag();
    const uint32_t pages = m_in.count(4, kMostPages);
    for (uint32_t i = 0; i < pages && m_in.ok(); ++i)
        outcome.pageOffsets.push_back(m_in.u32());
    outcome.page = m_in.i32();
    outcome.imageCount = m_in.i32();
    if (outcome.imageCount < 0 || outcome.imageCount > kMaxFrames)
        m_in.fail();
    outcome.overviewSheet = m_in.flag();
    outcome.overviewStart = m_in.i32();
    const uint32_t choices = m_in.count(4, 1024);
    for (uint32_t i = 0; i < choices && m_in.ok(); ++i)
        outcome.iconChoices.push_back(m_in.text(1024));
    outcome.alpha = ownBlock({8});
    // An opacity plane lies over its picture or is no plane at all.
    if (outcome.alpha
        && (!outcome.block || outcome.alpha.width() != outcome.block.width()
            || outcome.alpha.height() != outcome.block.height()))
        m_in.fail();
    const uint32_t frames = m_in.count(32, static_cast<uint32_t>(kMaxFrames));
    for (uint32_t i = 0; i < frames && m_in.ok(); ++i) {
        AnimationFrame frame;
        frame.block = ownBlock({1, 4, 8, 24});
        GifFrameInfo& info = frame.info;
        info.backgroundRed = m_in.u8();
        info.backgroundGreen = m_in.u8();
        info.backgroundBlue = m_in.u8();
        const uint32_t left = m_in.u32();
        const uint32_t top = m_in.u32();
        if (left > 0xFFFF || top > 0xFFFF)
            m_in.fail();
        info.left = static_cast<uint16_t>(left);
        info.top = static_cast<uint16_t>(top);
        info.disposalMethod = m_in.i32();
        info.transparentFlag = m_in.i32();
        info.delay = m_in.i32();
        info.transparentIndex = m_in.u8();
        info.dataEndedEarly = m_in.flag();
        const bool composed = m_in.flag();
        const int32_t delay = m_in.i32();
        if (composed)
            frame.ownDelayMs = delay;
        if (!frame.block || !holdsUp(frame, outcome.frames))
            m_in.fail();
        outcome.frames.push_back(std::move(frame));
    }
    outcome.loopCount = m_in.i32();
    if (outcome.loopCount < 0 || (outcome.loopCount != 0 && outcome.kind != LoadOutcome::Kind::Animation))
        m_in.fail();
    outcome.mediaExtensionMismatch = m_in.flag();
    if (m_in.flag())
        outcome.drawing = drawing();
    outcome.turnedFile = std::move(m_turned);
    outcome.failedAt = m_in.choice(LoadStage::Decoder);
    outcome.failure.reason = m_in.choice(kLastReason);
    outcome.failure.detail = m_in.text();
    if (!m_in.ok() || !m_in.atEnd())
        return std::nullopt;

    // What the kind promises is there.
    using Kind = LoadOutcome::Kind;
    const bool holds = outcome.kind == Kind::Picture ? static_cast<bool>(outcome.block)
        : outcome.kind == Kind::Animation            ? !outcome.frames.empty()
        : outcome.kind == Kind::Metafile             ? outcome.drawing != nullptr
        : outcome.kind == Kind::Turned               ? !outcome.turnedFile.empty()
                                                     : true;
    if (!holds || (outcome.kind != Kind::Failed && !outcome.format))
        return std::nullopt;
    return outcome;
}

} // namespace

std::vector<uint8_t> encodeLoadRequest(const LoadRequest& request)
{
    Writer out;
    out.u32(kRequestMagic);
    out.text(request.file.path);
    out.u8(static_cast<uint8_t>(request.purpose));
    const LoadOptions& options = request.options;
    out.flag(options.greyscale);
    out.i32(options.photoCdLoadingSize);
    out.flag(options.autoRotate);
    out.flag(options.colourManagement);
    out.flag(options.paletteDisplay);
    out.i32(options.previewWidth);
    out.flag(options.animate);
    out.i32(options.page);
    out.i32(options.overviewStart);
    out.i32(options.icon);
    out.i32(options.thumbnailSide);
    out.flag(options.countImages);
    out.flag(options.turn.mirrored);
    out.u8(static_cast<uint8_t>(options.turn.quarterTurns));
    out.flag(options.trimEdges);
    out.flag(options.turnedGreyscale);
    out.flag(options.turnedProgressive);
    // One the worker would refuse is not sent: the picture comes in sRGB.
    const bool fits = options.displayProfile.size() <= kLargestDisplayProfile;
    out.blob(fits ? std::span<const uint8_t>(options.displayProfile) : std::span<const uint8_t>());
    out.flag(options.leaveAnimationsUnread);
    return std::move(out.bytes());
}

std::optional<LoadRequest> decodeLoadRequest(std::span<const uint8_t> bytes)
{
    Reader in(bytes);
    if (in.u32() != kRequestMagic)
        return std::nullopt;
    LoadRequest request;
    request.file.path = in.text(UINT32_MAX);
    request.purpose = in.choice(LoadPurpose::Turn);
    LoadOptions& options = request.options;
    options.greyscale = in.flag();
    options.photoCdLoadingSize = in.i32();
    options.autoRotate = in.flag();
    options.colourManagement = in.flag();
    options.paletteDisplay = in.flag();
    options.previewWidth = in.i32();
    options.animate = in.flag();
    options.page = in.i32();
    options.overviewStart = in.i32();
    options.icon = in.i32();
    options.thumbnailSide = in.i32();
    options.countImages = in.flag();
    options.turn.mirrored = in.flag();
    options.turn.quarterTurns = in.u8();
    if (options.turn.quarterTurns > 3)
        in.fail();
    options.trimEdges = in.flag();
    options.turnedGreyscale = in.flag();
    options.turnedProgressive = in.flag();
    // Whether Little CMS can use it is the load's question, in the worker.
    const std::span<const uint8_t> profile = in.blob(static_cast<uint32_t>(kLargestDisplayProfile));
    options.displayProfile.assign(profile.begin(), profile.end());
    options.leaveAnimationsUnread = in.flag();
    if (!in.ok() || !in.atEnd())
        return std::nullopt;
    return request;
}

std::vector<uint8_t> encodeLoadOutcome(const LoadOutcome& outcome, bool blocksInline)
{
    return OutcomeWriter().message(outcome, blocksInline);
}

std::optional<LoadOutcome> decodeLoadOutcome(std::span<const uint8_t> bytes, const LoadRequest& request,
                                             const BlockFetcher& fetch)
{
    return OutcomeReader(bytes, fetch).read(request);
}

} // namespace pictorand
