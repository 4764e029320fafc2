// The IFF reader: hand-built pictures for each kind and edge, malformed
// files by the stage that refuses them, and netpbm's ppmtoilbm pictures
// against their sources and a reference decoder written from the format's
// definition.

#include "codecs/iff/byterun1.h"
#include "codecs/iff/iff.h"
#include "core/byte_order.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <map>

namespace pictorand::testing {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes chunk(const char* id, const Bytes& data)
{
    // Sized once and filled in place: GCC 12 at -O3 misreads a resize
    // followed by an insert as a read from an empty region.
    Bytes out(8 + data.size() + data.size() % 2, 0);
    std::copy(id, id + 4, out.begin());
    storeBE32(&out[4], static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), out.begin() + 8);
    return out;
}

Bytes form(const char* type, const std::vector<Bytes>& chunks)
{
    Bytes body(type, type + 4);
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    return chunk("FORM", body);
}

Bytes bmhd(uint16_t width, uint16_t height, uint8_t planes, uint8_t compression = 0, uint8_t masking = 0)
{
    Bytes data(20, 0);
    storeBE16(&data[0], width);
    storeBE16(&data[2], height);
    data[8] = planes;
    data[9] = masking;
    data[10] = compression;
    return chunk("BMHD", data);
}

Bytes camg(uint32_t flags)
{
    Bytes data(4);
    storeBE32(data.data(), flags);
    return chunk("CAMG", data);
}

// A colour map whose entry i is (i, 2i, 255 - i).
Bytes cmap(size_t entries)
{
    Bytes data;
    for (size_t i = 0; i < entries; ++i)
        data.insert(data.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), static_cast<uint8_t>(255 - i)});
    return chunk("CMAP", data);
}

// Uncompressed plane rows for pixel values, rows top first.
Bytes planarBody(const std::vector<std::vector<int>>& rows, int planes)
{
    Bytes body;
    for (const auto& row : rows) {
        const size_t rowBytes = (row.size() + 15) / 16 * 2;
        for (int plane = 0; plane < planes; ++plane) {
            Bytes planeRow(rowBytes, 0);
            for (size_t x = 0; x < row.size(); ++x)
                if (row[x] & (1 << plane))
                    planeRow[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            body.insert(body.end(), planeRow.begin(), planeRow.end());
        }
    }
    return body;
}

class IffReader : public ::testing::Test {
protected:
    ImageBlock read(const Bytes& bytes)
    {
        std::string path = dir.file("test.iff");
        writeFile(path, bytes);
        message.clear();
        compression = "unchanged";
        Result<DecodedImage> read = readIff(path);
        if (!read) {
            message = read.failure().detail;
            return {};
        }
        message = read->warning;
        compression = read->compression;
        return std::move(read->block);
    }

    ScratchDir dir;
    std::string message;
    std::string compression;
};

ColorEntry entry(const ImageBlock& block, uint32_t i) { return block.colorTable()[i]; }

TEST_F(IffReader, FivePlanesGiveEightBitsWithBlackSpareEntries)
{
    ImageBlock block = read(form("ILBM", {bmhd(3, 1, 5), cmap(32), chunk("BODY", planarBody({{0, 17, 31}}, 5))}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 8);
    EXPECT_EQ(block.colorsUsed(), 256u);
    EXPECT_EQ(entry(block, 31), (ColorEntry{224, 62, 31, 0}));
    for (uint32_t i = 32; i < 256; ++i)
        EXPECT_EQ(entry(block, i), (ColorEntry{})) << i;
    EXPECT_EQ(std::vector<uint8_t>(block.topRow(0), block.topRow(0) + 3), (std::vector<uint8_t>{0, 17, 31}));
    EXPECT_EQ(compression, "None");
}

TEST_F(IffReader, TwoPlanesGiveFourBits)
{
    ImageBlock block = read(form("ILBM", {bmhd(3, 2, 2), cmap(4), chunk("BODY", planarBody({{1, 2, 3}, {3, 0, 1}}, 2))}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 4);
    for (uint32_t i = 4; i < 16; ++i)
        EXPECT_EQ(entry(block, i), (ColorEntry{})) << i;
    EXPECT_EQ(block.topRow(0)[0], 0x12);
    EXPECT_EQ(block.topRow(0)[1], 0x30);
    EXPECT_EQ(block.topRow(1)[0], 0x30);
    EXPECT_EQ(block.topRow(1)[1], 0x10);
}

TEST_F(IffReader, ExtraHalfBriteDoublesThirtyTwoColoursToSixtyFour)
{
    ImageBlock block =
        read(form("ILBM", {bmhd(2, 1, 6), camg(0x80), cmap(32), chunk("BODY", planarBody({{5, 37}}, 6))}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 8);
    for (uint32_t i = 0; i < 32; ++i) {
        ColorEntry full = entry(block, i);
        ColorEntry half = entry(block, i + 32);
        EXPECT_EQ(half.red, full.red >> 1) << i;
        EXPECT_EQ(half.green, full.green >> 1) << i;
        EXPECT_EQ(half.blue, full.blue >> 1) << i;
    }
    EXPECT_EQ(entry(block, 37), (ColorEntry{(255 - 5) >> 1, 5, 2, 0}));
    EXPECT_EQ(block.topRow(0)[1], 37);
}

// HAM6 pixels: the top two of six bits say set (0), blue (1), red (2) or
// green (3); the low four bits the palette index or component value.
int ham(int mode, int value) { return (mode << 4) | value; }

TEST_F(IffReader, SixPlanesWithoutCamgAreHamAndCarryTheColourAcrossRows)
{
    Bytes body = planarBody({{ham(0, 1), ham(2, 0xF)}, {ham(1, 0x3), ham(3, 0x8)}}, 6);
    ImageBlock block = read(form("ILBM", {bmhd(2, 2, 6), cmap(16), chunk("BODY", body)}));
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 24);
    // Entry 1 is (1, 2, 254), masked to (0, 0, 240).
    auto pixel = [&](int x, int y) {
        const uint8_t* p = block.topRow(y) + x * 3;
        return std::vector<int>{p[2], p[1], p[0]};
    };
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{0, 0, 240}));
    EXPECT_EQ(pixel(1, 0), (std::vector<int>{240, 0, 240}));
    // The second row starts from the colour the first ended with.
    EXPECT_EQ(pixel(0, 1), (std::vector<int>{240, 0, 48}));
    EXPECT_EQ(pixel(1, 1), (std::vector<int>{240, 128, 48}));
}

TEST_F(IffReader, SixPlanesWithPlainCamgAreIndexed)
{
    ImageBlock block = read(form("ILBM", {bmhd(2, 1, 6), camg(0), cmap(64), chunk("BODY", planarBody({{63, 40}}, 6))}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 8);
    EXPECT_EQ(block.topRow(0)[0], 63);
}

TEST_F(IffReader, SlicedHamTakesOnePalettePerLine)
{
    // Three line palettes; entry 0 of line l is 0x0l00 (red l * 16).
    Bytes sham(2, 0);
    for (int line = 0; line < 3; ++line)
        for (int i = 0; i < 16; ++i) {
            uint16_t c = static_cast<uint16_t>(i == 0 ? (line + 1) << 8 : 0x0FFF);
            sham.push_back(static_cast<uint8_t>(c >> 8));
            sham.push_back(static_cast<uint8_t>(c));
        }
    Bytes body = planarBody({{ham(0, 0)}, {ham(0, 0)}, {ham(0, 0)}}, 6);
    ImageBlock block = read(form("ILBM", {bmhd(1, 3, 6), camg(0x800), chunk("SHAM", sham), cmap(16), chunk("BODY", body)}));
    ASSERT_TRUE(block) << message;
    ASSERT_EQ(block.bitCount(), 24);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(block.topRow(y)[2], (y + 1) * 16) << y;
}

TEST_F(IffReader, TallSlicedHamSharesEachPaletteBetweenTwoRows)
{
    Bytes sham(2, 0);
    for (int line = 0; line < 200; ++line)
        for (int i = 0; i < 16; ++i) {
            uint16_t c = static_cast<uint16_t>(i == 0 ? (line % 16) << 4 : 0);
            sham.push_back(static_cast<uint8_t>(c >> 8));
            sham.push_back(static_cast<uint8_t>(c));
        }
    std::vector<std::vector<int>> rows(402, std::vector<int>{ham(0, 0)});
    ImageBlock block =
        read(form("ILBM", {bmhd(1, 402, 6), camg(0x800), chunk("SHAM", sham), cmap(16), chunk("BODY", planarBody(rows, 6))}));
    ASSERT_TRUE(block) << message;
    // Rows 0, 1 use palette 0; rows 2, 3 palette 1; ... rows 398, 399
    // palette 199; then it wraps to palette 0.
    for (int y : {0, 1, 2, 3, 30, 31, 398, 399, 400, 401})
        EXPECT_EQ(block.topRow(y)[1], ((y / 2) % 200 % 16) * 16) << y;
}

TEST_F(IffReader, MaskPlaneIsSkipped)
{
    Bytes body;
    for (int row = 0; row < 2; ++row)
        body.insert(body.end(), {0xA5, 0x00, 0xFF, 0xFF}); // picture plane, then mask plane
    ImageBlock block = read(form("ILBM", {bmhd(8, 2, 1, 0, 1), cmap(2), chunk("BODY", body)}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 1);
    EXPECT_EQ(block.topRow(0)[0], 0xA5);
    EXPECT_EQ(block.topRow(1)[0], 0xA5);
}

TEST_F(IffReader, ByteRun1RowsWithNoOpsCutRunsAndAShortBody)
{
    // 16 pixels, 1 plane: 2-byte plane rows. Row 0: no-op, then a run of 4
    // 0xF0 cut to 2. Row 1: a literal of 3 cut to 2 (its third byte
    // dropped). Row 2: starts at the next control byte, but the body ends.
    Bytes body = {0x80, 0xFD, 0xF0, 0x02, 0x11, 0x22, 0x33, 0x00};
    ImageBlock block = read(form("ILBM", {bmhd(16, 3, 1, 1), cmap(2), chunk("BODY", body)}));
    ASSERT_TRUE(block);
    EXPECT_EQ(message, "Can't read data !");
    EXPECT_EQ(compression, "Run Length Encoding");
    EXPECT_EQ(block.topRow(0)[0], 0xF0);
    EXPECT_EQ(block.topRow(0)[1], 0xF0);
    EXPECT_EQ(block.topRow(1)[0], 0x11);
    EXPECT_EQ(block.topRow(1)[1], 0x22);
    EXPECT_EQ(block.topRow(2)[1], 0x00);
}

TEST_F(IffReader, ByteRun1ControlByte128ConsumesNothing)
{
    Bytes data = {0x80, 0x80, 0x01, 0x07, 0x09};
    BufferedByteReader buffered{std::span<const uint8_t>(data)};
    BoundedByteReader source(buffered, data.size());
    uint8_t row[2] = {};
    EXPECT_EQ(decodeByteRun1Row(source, row), 2u);
    EXPECT_EQ(row[0], 7);
    EXPECT_EQ(row[1], 9);
}

TEST_F(IffReader, ChunkyRowsAreWidthRoundedToEven)
{
    Bytes plain = {1, 2, 3, 0, 4, 5, 6, 0};
    ImageBlock block = read(form("PBM ", {bmhd(3, 2, 8), cmap(256), chunk("BODY", plain)}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(std::vector<uint8_t>(block.topRow(1), block.topRow(1) + 3), (std::vector<uint8_t>{4, 5, 6}));
    Bytes packed = {0x03, 1, 2, 3, 0, 0xFD, 9};
    block = read(form("PBM ", {bmhd(3, 2, 8, 1), cmap(256), chunk("BODY", packed)}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(std::vector<uint8_t>(block.topRow(0), block.topRow(0) + 3), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::vector<uint8_t>(block.topRow(1), block.topRow(1) + 3), (std::vector<uint8_t>{9, 9, 9}));
}

TEST_F(IffReader, OddChunksArePaddedAndUnknownOnesSkipped)
{
    ImageBlock block = read(form("ILBM", {chunk("ANNO", {'a', 'b', 'c'}), bmhd(1, 1, 1), chunk("DPI ", {1}), cmap(2),
                                          chunk("BODY", {0x80, 0})}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.topRow(0)[0], 0x80);
}

TEST_F(IffReader, OversizedColourMapIsCut)
{
    ImageBlock block = read(form("ILBM", {bmhd(1, 1, 8), cmap(300), chunk("BODY", {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0})}));
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(entry(block, 255), (ColorEntry{0, 254, 255, 0}));
}

TEST_F(IffReader, RefusesMalformedFiles)
{
    const Bytes body = chunk("BODY", {0, 0});
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"no FORM", [] { Bytes b = form("ILBM", {bmhd(1, 1, 1), cmap(2), chunk("BODY", {0, 0})}); b[0] = 'X'; return b; }()},
        {"short chunk header", form("ILBM", {bmhd(1, 1, 1), {'C', 'M'}})},
        {"BMHD of 18 bytes", form("ILBM", {chunk("BMHD", Bytes(18, 1)), cmap(2), body})},
        {"second BMHD", form("ILBM", {bmhd(1, 1, 1), bmhd(1, 1, 1), cmap(2), body})},
        {"compression 2", form("ILBM", {bmhd(1, 1, 1, 2), cmap(2), body})},
        {"10001 wide", form("ILBM", {bmhd(10001, 1, 1), cmap(2), body})},
        {"10001 high", form("ILBM", {bmhd(1, 10001, 1), cmap(2), body})},
        {"zero wide", form("ILBM", {bmhd(0, 1, 1), cmap(2), body})},
        {"0 planes", form("ILBM", {bmhd(1, 1, 0), cmap(2), body})},
        {"9 planes", form("ILBM", {bmhd(1, 1, 9), cmap(2), body})},
        {"23 planes", form("ILBM", {bmhd(1, 1, 23), cmap(2), body})},
        {"CAMG before BMHD", form("ILBM", {camg(0), bmhd(1, 1, 1), cmap(2), body})},
        {"CAMG of 8 bytes", form("ILBM", {bmhd(1, 1, 1), chunk("CAMG", Bytes(8, 0)), cmap(2), body})},
        {"CMAP before BMHD", form("ILBM", {cmap(2), bmhd(1, 1, 1), body})},
        {"BODY before BMHD", form("ILBM", {body, bmhd(1, 1, 1), cmap(2)})},
        {"SHAM version 1", form("ILBM", {bmhd(1, 1, 6), chunk("SHAM", {0, 1}), cmap(16), body})},
        {"empty colour map", form("ILBM", {bmhd(1, 1, 1), chunk("CMAP", {}), body})},
        {"no CMAP at all", form("ILBM", {bmhd(1, 1, 1), body})},
        {"chunky with 4 planes", form("PBM ", {bmhd(1, 1, 4), cmap(16), body})},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(read(c.bytes)) << c.name;
        EXPECT_EQ(message, "Not a valid IFF file") << c.name;
    }
    // 10000 x 10000 at 24 planes from a body of two bytes: more than
    // ByteRun1 could ever give.
    EXPECT_FALSE(read(form("ILBM", {bmhd(10000, 10000, 24, 1), body})));
    EXPECT_EQ(message, "Not a valid IFF file: the file is far too small for the picture it declares");
    std::string missing = dir.file("missing.iff");
    Result<DecodedImage> read = readIff(missing);
    EXPECT_FALSE(read);
    EXPECT_EQ(read.failure().detail, "Can't open file: " + missing);
}

// ---------------------------------------------------------------------------
// netpbm's ppmtoilbm

// A reference decoder from the format's definition: chunks, ByteRun1, planes
// and hold-and-modify, without the reader's code.
struct ReferencePicture {
    int width = 0, height = 0, planes = 0, compression = 0;
    uint32_t camg = 0;
    Bytes colorMap, body;
};

ReferencePicture parseReference(const Bytes& file)
{
    ReferencePicture picture;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        std::string id(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at + 4));
        size_t size = loadBE32(&file[at + 4]);
        const uint8_t* data = &file[at + 8];
        if (id == "BMHD") {
            picture.width = loadBE16(data);
            picture.height = loadBE16(data + 2);
            picture.planes = data[8];
            picture.compression = data[10];
        } else if (id == "CAMG") {
            picture.camg = loadBE32(data);
        } else if (id == "CMAP") {
            picture.colorMap.assign(data, data + size);
        } else if (id == "BODY") {
            picture.body.assign(data, data + size);
        }
        at += 8 + size + (size & 1);
    }
    return picture;
}

// Pixel values, rows top first.
std::vector<std::vector<int>> referenceValues(const ReferencePicture& p)
{
    const size_t rowBytes = static_cast<size_t>((p.width + 15) / 16 * 2);
    Bytes plain;
    if (p.compression == 0) {
        plain = p.body;
    } else {
        for (size_t i = 0; i < p.body.size();) {
            int n = static_cast<int8_t>(p.body[i++]);
            if (n >= 0) {
                for (int k = 0; k <= n; ++k)
                    plain.push_back(p.body[i++]);
            } else if (n != -128) {
                uint8_t value = p.body[i++];
                for (int k = 0; k < 1 - n; ++k)
                    plain.push_back(value);
            }
        }
    }
    std::vector<std::vector<int>> values(static_cast<size_t>(p.height), std::vector<int>(static_cast<size_t>(p.width)));
    for (int y = 0; y < p.height; ++y)
        for (int plane = 0; plane < p.planes; ++plane) {
            const uint8_t* row = &plain.at((static_cast<size_t>(y) * static_cast<size_t>(p.planes) + static_cast<size_t>(plane)) * rowBytes);
            for (int x = 0; x < p.width; ++x)
                if (row[x / 8] & (0x80 >> (x % 8)))
                    values[static_cast<size_t>(y)][static_cast<size_t>(x)] |= 1 << plane;
        }
    return values;
}

// HAM6: modify values replace a whole 4-bit component (x16), palette
// entries are 12-bit colours. HAM8: six bits replace the upper six bits of
// the component and the lower two are held; palette entries are 24-bit.
RgbImage referenceHam(const ReferencePicture& p)
{
    const bool ham8 = p.planes == 8;
    const int valueBits = ham8 ? 6 : 4;
    RgbImage image;
    image.width = p.width;
    image.height = p.height;
    image.rgb.assign(static_cast<size_t>(p.width * p.height * 3), 0);
    int color[3] = {0, 0, 0};
    auto values = referenceValues(p);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            int v = values[static_cast<size_t>(y)][static_cast<size_t>(x)];
            int mode = v >> valueBits;
            int low = v & ((1 << valueBits) - 1);
            if (mode == 0) {
                for (int c = 0; c < 3; ++c) {
                    int component = p.colorMap[static_cast<size_t>(low * 3 + c)];
                    color[c] = ham8 ? component : component & 0xF0;
                }
            } else {
                int c = mode == 1 ? 2 : mode == 2 ? 0 : 1;
                color[c] = ham8 ? (low << 2) | (color[c] & 3) : low * 16;
            }
            for (int c = 0; c < 3; ++c)
                image.at(x, y)[c] = static_cast<uint8_t>(color[c]);
        }
    return image;
}

class IffNetpbm : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("ppmtoilbm", "convert");
    }

    std::string makeSource(int colors, int width = 37, int height = 11)
    {
        std::string path = dir.file("source" + std::to_string(colors) + ".ppm");
        std::string reduce = colors == 2 ? " -monochrome" : colors > 0 ? " -colors " + std::to_string(colors) : "";
        EXPECT_EQ(runCommand("convert -seed 9 -size " + std::to_string(width) + "x" + std::to_string(height)
                             + " plasma:fractal" + reduce + " -depth 8 -type truecolor " + shellQuote(path)),
                  0);
        return path;
    }

    std::string ilbm(const std::string& source, const std::string& options)
    {
        std::string path = dir.file("picture.iff");
        EXPECT_EQ(runCommand("ppmtoilbm " + options + " " + shellQuote(source) + " > " + shellQuote(path) + " 2>/dev/null"), 0);
        return path;
    }

    ScratchDir dir;
};

TEST_F(IffNetpbm, PlainPlanesDecodeToTheSource)
{
    // Six planes without a CAMG chunk are hold-and-modify by definition, so
    // six-plane pictures from ppmtoilbm (which writes none) are not plain.
    for (int planes : {1, 2, 3, 4, 5, 7, 8})
        for (const char* options : {"", "-nocompress"}) {
            std::string source = makeSource(1 << std::min(planes, 6) == 64 ? 64 : (1 << planes) > 200 ? 200 : 1 << planes);
            std::string path = ilbm(source, std::string(options) + " -fixplanes " + std::to_string(planes));
            std::vector<uint8_t> bytes = readFile(path);
            ASSERT_GT(bytes.size(), 28u);
            ASSERT_EQ(bytes[28], planes) << "ppmtoilbm wrote another plane count";
            testing::Decoded d = testing::decodedFrom(readIff(path));
            ImageBlock& block = d.block;
            const std::string& message = d.message;
            ASSERT_TRUE(block) << planes << options << ": " << message;
            EXPECT_EQ(block.bitCount(), planes == 1 ? 1 : planes <= 4 ? 4 : 8);
            auto expected = magickDecode(source);
            ASSERT_TRUE(expected);
            EXPECT_EQ(maxDifference(blockToRgb(block), *expected), 0) << planes << " planes " << options;
        }
}

TEST_F(IffNetpbm, TwentyFourPlanesDecodeToTheSource)
{
    std::string source = makeSource(0);
    for (const char* options : {"-24force", "-24force -nocompress"}) {
        std::string path = ilbm(source, options);
        testing::Decoded d = testing::decodedFrom(readIff(path));
        ImageBlock& block = d.block;
        const std::string& message = d.message;
        ASSERT_TRUE(block) << message;
        EXPECT_EQ(block.bitCount(), 24);
        EXPECT_EQ(maxDifference(blockToRgb(block), *magickDecode(source)), 0) << options;
    }
}

TEST_F(IffNetpbm, HoldAndModifyMatchesTheReferenceDecoder)
{
    // A smooth source, which hold-and-modify can follow closely; the
    // reference decoder is the exact check.
    std::string source = dir.file("smooth.ppm");
    ASSERT_EQ(runCommand("convert -size 61x13 gradient:'#204080-#c0a030' -depth 8 -type truecolor " + shellQuote(source)), 0);
    const struct {
        const char* options;
        int planes;
        int tolerance; // against netpbm's decoder
    } cases[] = {
        {"-ham6", 6, 15},
        {"-ham6 -nocompress", 6, 15},
        {"-ham8", 8, 3},
        {"-ham8 -nocompress", 8, 3},
    };
    for (const auto& c : cases) {
        std::string path = ilbm(source, c.options);
        ReferencePicture reference = parseReference(readFile(path));
        ASSERT_EQ(reference.planes, c.planes) << c.options;
        ASSERT_TRUE(reference.camg & 0x800) << c.options;
        testing::Decoded d = testing::decodedFrom(readIff(path));
        ImageBlock& block = d.block;
        const std::string& message = d.message;
        ASSERT_TRUE(block) << c.options << ": " << message;
        ASSERT_EQ(block.bitCount(), 24);
        RgbImage ours = blockToRgb(block);
        EXPECT_EQ(maxDifference(ours, referenceHam(reference)), 0) << c.options;
        // netpbm's own decoder widens 4-bit components by 17 rather than 16.
        std::string back = dir.file("back.ppm");
        ASSERT_TRUE(testing::toolWrotePicture("ilbmtoppm " + shellQuote(path) + " > " + shellQuote(back), back));
        RgbImage theirs = *magickDecode(back);
        EXPECT_LE(maxDifference(ours, theirs), c.tolerance) << c.options << " against ilbmtoppm";
        // The encoder's own approximation bounds how close to the source any
        // decoder gets.
        RgbImage original = *magickDecode(source);
        EXPECT_LE(maxDifference(ours, original), maxDifference(theirs, original) + c.tolerance) << c.options;
    }
}

TEST_F(IffNetpbm, SixPlanesWithoutCamgAreTakenAsHam)
{
    std::string path = ilbm(makeSource(64), "-fixplanes 6");
    testing::Decoded d = testing::decodedFrom(readIff(path));
    ImageBlock& block = d.block;
    const std::string& message = d.message;
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.bitCount(), 24);
}

} // namespace
} // namespace pictorand::testing
