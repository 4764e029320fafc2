// The metafile reader and record walker: sizes by the header rules, the
// object table and the device context, and files that lie.

#include "codecs/metafile/metafile.h"
#include "codecs/common/whole_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

namespace pictorand::metafile {
namespace {

std::string fixture(const std::string& name)
{
    return std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile/" + name;
}

std::vector<uint8_t> fileBytes(const std::string& path)
{
    WholeFile file;
    EXPECT_TRUE(file.open(path)) << path;
    return {file.bytes().begin(), file.bytes().end()};
}

// A 16-bit metafile put together record by record; placeable with a
// bounding box of 0 ... 1000 at 1000 units per inch unless told otherwise.
class WmfBuilder {
public:
    explicit WmfBuilder(bool placeable = true, int16_t right = 1000, int16_t bottom = 1000, uint16_t unitsPerInch = 1000,
                        int16_t left = 0, int16_t top = 0)
    {
        if (placeable) {
            word32(0x9AC6CDD7);
            for (int16_t v : {int16_t(0), left, top, right, bottom})
                word(static_cast<uint16_t>(v));
            word(unitsPerInch);
            word32(0);
            word(0);
        }
        m_headerAt = m_bytes.size();
        for (int v : {1, 9, 0x300})
            word(static_cast<uint16_t>(v));
        word32(0);  // size, set by bytes()
        word(8);    // objects
        word32(0);
        word(0);
    }
    // A record of `function` with the parameter words given.
    WmfBuilder& record(uint16_t function, std::initializer_list<int> parameters)
    {
        word32(static_cast<uint32_t>(3 + parameters.size()));
        word(function);
        for (int p : parameters)
            word(static_cast<uint16_t>(p));
        return *this;
    }
    WmfBuilder& raw(std::initializer_list<uint8_t> bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes);
        return *this;
    }
    std::vector<uint8_t> bytes(bool end = true)
    {
        std::vector<uint8_t> result = m_bytes;
        if (end)
            for (int b : {3, 0, 0, 0, 0, 0})
                result.push_back(static_cast<uint8_t>(b));
        const uint32_t words = static_cast<uint32_t>((result.size() - m_headerAt) / 2);
        std::memcpy(result.data() + m_headerAt + 6, &words, 4);
        return result;
    }

private:
    void word(uint16_t v)
    {
        m_bytes.push_back(static_cast<uint8_t>(v));
        m_bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void word32(uint32_t v)
    {
        word(static_cast<uint16_t>(v));
        word(static_cast<uint16_t>(v >> 16));
    }
    std::vector<uint8_t> m_bytes;
    size_t m_headerAt = 0;
};

constexpr uint16_t kSetWindowOrg = 0x020B, kCreateBrush = 0x02FC, kSelectObject = 0x012D, kDeleteObject = 0x01F0, kRectangle = 0x041B,
                   kSaveDc = 0x001E, kRestoreDc = 0x0127, kSetWindowExt = 0x020C, kPolyline = 0x0325,
                   kExtTextOut = 0x0A32, kCreateFont = 0x02FB;

std::vector<const Shape*> shapes(const Drawing& drawing)
{
    std::vector<const Shape*> found;
    for (const Command& command : drawing.commands)
        if (const Shape* shape = std::get_if<Shape>(&command))
            found.push_back(shape);
    return found;
}

TEST(MetafileHeader, PlaceableInchSquareIs2540HundredthsOfAMillimetre)
{
    Result<Header> header = readHeader(WmfBuilder(true, 1440, 1440, 1440).bytes());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->kind, Kind::Placeable);
    EXPECT_EQ(header->frameRight - header->frameLeft, 2540);
    EXPECT_EQ(header->frameBottom - header->frameTop, 2540);
    EXPECT_EQ(pictureWidth(*header), 96);
}

TEST(MetafileHeader, EnhancedSizeFollowsAPlausibleReferenceDevice)
{
    // A 100 mm frame: at 1024 pixels across 320 mm, 320 pixels; without a
    // device, or with one outside 50 ... 1200 dpi, at 96 dpi.
    struct Case {
        int32_t pixels, millimetres;
        int width;
    };
    for (const Case& c : {Case{1024, 320, 320}, Case{0, 0, 378}, Case{100, 254, 378}, Case{4725, 100, 378},
                          Case{10205, 216, 378} /* Inkscape's "1200 dpi": 1200.03 */, Case{12000, 254, 4724},
                          Case{500, 254, 197}}) {
        Header header;
        header.kind = Kind::Enhanced;
        header.frameRight = header.frameBottom = 10000;
        header.devicePixelsX = header.devicePixelsY = c.pixels;
        header.deviceMillimetresX = header.deviceMillimetresY = c.millimetres;
        EXPECT_EQ(pictureWidth(header), c.width) << c.pixels << " pixels across " << c.millimetres << " mm";
        EXPECT_EQ(pictureHeight(header), c.width) << c.pixels << " pixels across " << c.millimetres << " mm";
    }
}

TEST(MetafileHeader, KindsAndTextsOfRealFiles)
{
    struct Case {
        const char* file;
        Kind kind;
        const char* compression;
    };
    for (const Case& c : {Case{"shapes.wmf", Kind::Placeable, "Windows Metafile"},
                          Case{"shapes.emf", Kind::Enhanced, "Enhanced Windows Metafile"}}) {
        Result<Header> header = readHeader(fileBytes(fixture(c.file)));
        ASSERT_TRUE(header) << c.file;
        EXPECT_EQ(header->kind, c.kind) << c.file;
        std::string compression;
        Result<Drawing> drawing = readMetafile(fixture(c.file), compression);
        ASSERT_TRUE(drawing) << c.file;
        EXPECT_EQ(compression, c.compression);
        EXPECT_EQ(drawing->kind, c.kind) << c.file;
        EXPECT_NEAR(drawing->width, 320, 2) << c.file; // the SVG's 320 x 240 pixels
        EXPECT_NEAR(drawing->height, 240, 2) << c.file;
        EXPECT_GE(shapes(*drawing).size(), 6u) << c.file;
    }
}

TEST(MetafileHeader, EnhancedFileWithoutPaletteEntriesHasNoPalette)
{
    const std::vector<uint8_t> bytes = fileBytes(fixture("shapes.emf"));
    EXPECT_TRUE(picturePalette(bytes, *readHeader(bytes)).empty());
}

TEST(MetafileHeader, PlainFileTakesItsSizeFromItsWindowRecords)
{
    // 1440 units per inch: 2880 x 1440 units are 192 x 96 pixels.
    WmfBuilder plain(false);
    plain.record(0x020B, {0, 0}).record(kSetWindowExt, {1440, 2880});
    Result<Drawing> drawing = playMetafile(plain.bytes());
    ASSERT_TRUE(drawing);
    EXPECT_EQ(drawing->width, 192);
    EXPECT_EQ(drawing->height, 96);
    // Without them, 640 x 480.
    Result<Drawing> bare = playMetafile(WmfBuilder(false).bytes());
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->width, 640);
}

TEST(MetafileHeader, RefusalsAndTheirMessages)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> noHeader(40, 0);
    noHeader[0] = 1; // looks like a metafile to the signature test, nothing more
    std::vector<uint8_t> placeableBadHeader = WmfBuilder(true).bytes();
    placeableBadHeader[22] = 7; // type of the 16-bit header
    const auto words = [](MetafileFault fault) { return kMetafileTexts[fault]; };
    for (const Case& c : {Case{"zero_units_per_inch", WmfBuilder(true, 100, 100, 0).bytes(), words(MetafileFault::NotValid)},
                          Case{"placeable_bad_header", placeableBadHeader, words(MetafileFault::SetMetaFileBitsFailed)},
                          Case{"plain_unreadable", noHeader, words(MetafileFault::GetMetaFileFailed)}}) {
        Result<Drawing> drawing = playMetafile(c.bytes);
        ASSERT_FALSE(drawing) << c.name;
        EXPECT_EQ(drawing.failure().detail, c.message) << c.name;
    }
}

TEST(MetafilePlayer, PlaceableBoxCornerIsThePicturesOrigin)
{
    // A box of 500 ... 1500 (96 pixels) and a rectangle filling it, whatever
    // window origin the records set; a box at 0,0 keeps the records' window.
    struct Case {
        const char* name;
        int16_t boxLeft;
        std::vector<int> origin; // the records' SetWindowOrg, if any
        int rectangleLeft;
    };
    for (const Case& c : {Case{"no_window_origin", 500, {}, 500}, Case{"origin_at_the_box", 500, {500, 500}, 500},
                          Case{"origin_at_0_0", 500, {0, 0}, 500}, Case{"box_at_0_0", 0, {200, 200}, 200}}) {
        WmfBuilder wmf(true, int16_t(c.boxLeft + 1000), int16_t(c.boxLeft + 1000), 1000, c.boxLeft, c.boxLeft);
        if (!c.origin.empty())
            wmf.record(kSetWindowOrg, {c.origin[1], c.origin[0]});
        const int right = c.rectangleLeft + 1000;
        wmf.record(kRectangle, {right, right, c.rectangleLeft, c.rectangleLeft});
        Result<Drawing> drawing = playMetafile(wmf.bytes());
        ASSERT_TRUE(drawing) << c.name;
        EXPECT_EQ(drawing->width, 96) << c.name;
        std::vector<const Shape*> found = shapes(*drawing);
        ASSERT_EQ(found.size(), 1u) << c.name;
        EXPECT_NEAR(found[0]->path.points[0].x, 0, 1e-6) << c.name;
        EXPECT_NEAR(found[0]->path.points[0].y, 0, 1e-6) << c.name;
        EXPECT_NEAR(found[0]->path.points[2].x, 96, 1e-6) << c.name;
    }
}

TEST(MetafilePlayer, DeletedSlotIsReusedByTheLowestFreeIndexAndBadIndexesAreIgnored)
{
    WmfBuilder wmf;
    wmf.record(kCreateBrush, {0, 0x00FF, 0x0000, 0})   // slot 0: red
        .record(kCreateBrush, {0, 0xFF00, 0x0000, 0}) // slot 1: green
        .record(kDeleteObject, {0})
        .record(kCreateBrush, {0, 0x0000, 0x00FF, 0}) // slot 0 again: blue
        .record(kSelectObject, {0})
        .record(kSelectObject, {99}) // outside the table
        .record(kSelectObject, {5})  // an empty slot
        .record(kRectangle, {100, 100, 0, 0});
    Result<Drawing> drawing = playMetafile(wmf.bytes());
    ASSERT_TRUE(drawing);
    std::vector<const Shape*> found = shapes(*drawing);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->brush.colour, (Colour{0, 0, 255}));
}

TEST(MetafilePlayer, RestoreDcBringsBackTheMapping)
{
    // 1000 units fill the 96-pixel picture; 500 units after the change.
    WmfBuilder wmf;
    wmf.record(kSaveDc, {})
        .record(kSetWindowExt, {500, 500})
        .record(kSaveDc, {})
        .record(kRestoreDc, {-2})
        .record(kRectangle, {1000, 1000, 0, 0});
    Result<Drawing> drawing = playMetafile(wmf.bytes());
    ASSERT_TRUE(drawing);
    std::vector<const Shape*> found = shapes(*drawing);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0]->path.points[2].x, 96, 1e-6);
    EXPECT_NEAR(found[0]->path.points[2].y, 96, 1e-6);
}

TEST(MetafilePlayer, SpacingOfDoubleByteTextIsCountedPerByte)
{
    // Shift-JIS: "A", then HIRAGANA LETTER A as two bytes; one spacing entry per byte.
    WmfBuilder wmf;
    std::initializer_list<int> font = {-20, 0, 0, 0, 400, 0, 128 << 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    wmf.record(kCreateFont, font).record(kSelectObject, {0});
    wmf.record(kExtTextOut, {10, 10, 3, 0, 0x8241, 0x00A0, 100, 30, 40});
    Result<Drawing> drawing = playMetafile(wmf.bytes());
    ASSERT_TRUE(drawing);
    const Text* text = nullptr;
    for (const Command& command : drawing->commands)
        if (const Text* t = std::get_if<Text>(&command))
            text = t;
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text, u"A\u3042");
    ASSERT_EQ(text->advances.size(), 2u);
    EXPECT_NEAR(text->advances[0], 100 * 96.0 / 1000, 1e-6);
    EXPECT_NEAR(text->advances[1], 70 * 96.0 / 1000, 1e-6);
}

TEST(MetafilePlayer, LyingFilesEndWithWhatWasDrawn)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        size_t shapesDrawn;
    };
    WmfBuilder pastTheEnd;
    pastTheEnd.record(kRectangle, {10, 10, 0, 0}).raw({0xFF, 0xFF, 0, 0, 0x1B, 0x04});
    WmfBuilder countTooLarge;
    countTooLarge.record(kPolyline, {30000, 0, 0, 10, 10}).record(kRectangle, {10, 10, 0, 0});
    WmfBuilder tooShort;
    tooShort.record(kRectangle, {10, 10, 0, 0}).raw({1, 0, 0, 0, 0x1B, 0x04});
    WmfBuilder hugeCoordinates(true, 30000, 30000, 100);
    hugeCoordinates.record(0x020B, {0, 0}).record(kSetWindowExt, {1, 1}).record(kRectangle, {32767, 32767, -32768, -32768});
    for (const Case& c : {Case{"record_past_the_end", pastTheEnd.bytes(false), 1},
                          Case{"count_larger_than_record", countTooLarge.bytes(), 1},
                          Case{"size_below_header", tooShort.bytes(false), 1},
                          Case{"coordinates_past_any_screen", hugeCoordinates.bytes(), 1}}) {
        Result<Drawing> drawing = playMetafile(c.bytes);
        ASSERT_TRUE(drawing) << c.name;
        std::vector<const Shape*> found = shapes(*drawing);
        EXPECT_EQ(found.size(), c.shapesDrawn) << c.name;
        for (const Shape* shape : found)
            for (const Point& p : shape->path.points)
                EXPECT_LE(std::max(std::fabs(p.x), std::fabs(p.y)), double(1 << 22)) << c.name;
    }
}

// An enhanced file of 240 x 192 pixels on a 96-dpi device, with the records given.
std::vector<uint8_t> enhancedFile(const std::vector<std::vector<uint32_t>>& records)
{
    std::vector<uint32_t> words = {1, 88, 0, 0, 239, 191, 0, 0, 6350, 5080, 0x464D4520, 0x10000, 0, 0, 1, 0, 0, 0,
                                   1920, 1440, 508, 381};
    for (const std::vector<uint32_t>& record : records) {
        words.push_back(record[0]);
        words.push_back(static_cast<uint32_t>(8 + 4 * (record.size() - 1)));
        words.insert(words.end(), record.begin() + 1, record.end());
    }
    for (uint32_t w : {14u, 20u, 0u, 0u, 20u})
        words.push_back(w);
    words[12] = static_cast<uint32_t>(words.size() * 4);
    std::vector<uint8_t> bytes(words.size() * 4);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
}

TEST(MetafilePlayer, BlitAndGradientRecordsThatLieDrawNothing)
{
    constexpr uint32_t kMaskBlt = 78, kPlgBlt = 79, kAlphaBlend = 114, kTransparentBlt = 116, kGradientFill = 118;
    // field(k) is the word at byte offset k of the record, whose type is word 0.
    auto field = [](std::vector<uint32_t>& record, size_t offset) -> uint32_t& { return record[(offset - 8) / 4 + 1]; };
    std::vector<uint32_t> maskBlt(32, 0); // 128 bytes
    maskBlt[0] = kMaskBlt;
    field(maskBlt, 40) = 0xAACC0020;
    field(maskBlt, 88) = 0xFFFFFF00; // the source's info larger than the file
    std::vector<uint32_t> plgBlt(35, 0); // 140 bytes
    plgBlt[0] = kPlgBlt;
    field(plgBlt, 100) = 40;         // an info at the record's start...
    field(plgBlt, 104) = 0x7FFFFFFF; // ...and bits far past its end
    field(plgBlt, 108) = 16;
    std::vector<uint32_t> alphaBlend(27, 0); // 108 bytes
    alphaBlend[0] = kAlphaBlend;
    field(alphaBlend, 88) = 60; // an info inside the record that is no bitmap
    std::vector<uint32_t> transparentBlt(alphaBlend);
    transparentBlt[0] = kTransparentBlt;
    struct Case {
        const char* name;
        std::vector<uint32_t> record;
    };
    for (const Case& c : {Case{"gradient_vertex_count_past_the_record", {kGradientFill, 0, 0, 0, 0, 0xFFFFFFFF, 1, 0}},
                          Case{"gradient_object_count_past_the_record",
                               {kGradientFill, 0, 0, 0, 0, 2, 0x40000000, 0, 0, 0, 0, 0, 9, 9, 0, 0}},
                          Case{"gradient_index_beyond_the_vertices",
                               {kGradientFill, 0, 0, 0, 0, 1, 1, 2, 0, 0, 0, 0, 0, 1, 5}},
                          Case{"gradient_unknown_mode", {kGradientFill, 0, 0, 0, 0, 0, 0, 7}},
                          Case{"maskblt_source_past_the_record", maskBlt}, Case{"plgblt_bits_past_the_record", plgBlt},
                          Case{"alphablend_source_not_a_bitmap", alphaBlend},
                          Case{"transparentblt_source_not_a_bitmap", transparentBlt},
                          Case{"maskblt_short", {kMaskBlt, 0, 0, 0, 0, 5, 5, 10, 10}}}) {
        Result<Drawing> drawing = playMetafile(enhancedFile({c.record}));
        ASSERT_TRUE(drawing) << c.name;
        EXPECT_TRUE(drawing->commands.empty()) << c.name;
    }
}

TEST(MetafilePlayer, MillionsOfTinyRecordsFinishInBoundedTime)
{
    // Three million SaveDC records of six bytes, then a rectangle that is
    // never reached: the walk stops at its record bound.
    std::vector<uint8_t> bytes = WmfBuilder().bytes(false);
    const uint8_t saveDc[] = {3, 0, 0, 0, 0x1E, 0};
    const size_t start = bytes.size();
    bytes.resize(start + 3'000'000 * sizeof saveDc);
    for (size_t at = start; at < bytes.size(); at += sizeof saveDc)
        std::memcpy(bytes.data() + at, saveDc, sizeof saveDc);
    WmfBuilder rectangle;
    rectangle.record(kRectangle, {2, 2, 1, 1});
    const std::vector<uint8_t> tail = rectangle.bytes();
    bytes.insert(bytes.end(), tail.begin() + 40, tail.end()); // its records, without its headers
    const auto started = std::chrono::steady_clock::now();
    Result<Drawing> drawing = playMetafile(bytes);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(drawing);
    EXPECT_EQ(drawing->recordsWalked, Limits{}.maxRecords + 1);
    EXPECT_TRUE(drawing->commands.empty());
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 20);
}

} // namespace
} // namespace pictorand::metafile
