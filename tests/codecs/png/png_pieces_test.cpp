// Big true-colour PNG files: image data filtered and deflated in pieces.
#include "codecs/png/png.h"
#include "codecs/png/png_pieces.h"
#include "tests/codecs/library_codec_helpers.h"

#include <gtest/gtest.h>
#include <png.h>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <sstream>
#include <zlib.h>

namespace pictorand {
namespace {

using namespace pictorand::testing;
using png_pieces::writePngInPieces;

uint32_t bigEndian32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct Chunks {
    bool crcsMatch = true;
    bool endsWithIend = false;
    std::vector<uint8_t> imageData; // the IDAT contents joined: one zlib stream
    size_t idatCount = 0;
};

// Walks the chunks after the signature, checking every CRC.
Chunks chunksOf(const std::vector<uint8_t>& file)
{
    Chunks chunks;
    size_t position = 8;
    while (position + 12 <= file.size()) {
        uint32_t length = bigEndian32(&file[position]);
        if (position + 12 + size_t(length) > file.size()) {
            chunks.crcsMatch = false;
            break;
        }
        const uint8_t* type = &file[position + 4];
        uLong crc = crc32(0, type, 4 + length);
        chunks.crcsMatch = chunks.crcsMatch && crc == bigEndian32(type + 4 + length);
        if (std::memcmp(type, "IDAT", 4) == 0) {
            chunks.imageData.insert(chunks.imageData.end(), type + 4, type + 4 + length);
            ++chunks.idatCount;
        }
        chunks.endsWithIend = std::memcmp(type, "IEND", 4) == 0 && position + 12 + length == file.size();
        position += 12 + size_t(length);
    }
    return chunks;
}

// The filtered rows of a file through zlib's own inflate, which also checks
// the header and the Adler-32 at the end. Nothing when the stream is bad.
std::optional<std::vector<uint8_t>> filteredBytesOf(const std::vector<uint8_t>& file, size_t expectedSize)
{
    Chunks chunks = chunksOf(file);
    if (!chunks.crcsMatch || !chunks.endsWithIend)
        return std::nullopt;
    std::vector<uint8_t> out(expectedSize + 1);
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return std::nullopt;
    stream.next_in = chunks.imageData.data();
    stream.avail_in = static_cast<uInt>(chunks.imageData.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int status = inflate(&stream, Z_FINISH);
    bool whole = status == Z_STREAM_END && stream.total_out == expectedSize && stream.avail_in == 0;
    inflateEnd(&stream);
    if (!whole)
        return std::nullopt;
    out.resize(expectedSize);
    return out;
}

uint32_t nextRandom(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 24;
}

// Rows of four kinds, so that every filter type gets its turn: horizontal
// ramps (Sub), near copies of the row above (Up), diagonal ramps (Average
// and Paeth) and noise (None).
ImageBlock mixedBlock(int width, int height, uint16_t bitCount, uint32_t seed = 7)
{
    ImageBlock block = makeBlock(width, height, bitCount, 0);
    const int channels = bitCount / 8;
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = block.topRow(y);
        const uint8_t* above = y > 0 ? block.topRow(y - 1) : nullptr;
        int kind = (y / 3) % 4;
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                uint8_t& sample = row[x * channels + c];
                uint32_t noise = nextRandom(state);
                switch (kind) {
                case 0:
                    sample = static_cast<uint8_t>(x * (c + 1) + (noise & 1));
                    break;
                case 1:
                    sample = above ? static_cast<uint8_t>(above[x * channels + c] + (noise % 3 == 0)) : 0;
                    break;
                case 2:
                    sample = static_cast<uint8_t>(x * 2 + y * 3 + c * 50 + (noise & 3));
                    break;
                default:
                    sample = static_cast<uint8_t>(noise);
                }
            }
    }
    return block;
}

// The reference for the filter choice: libpng itself, at its defaults.
bool writeWithLibpng(const std::string& path, const ImageBlock& block)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool written = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(block.width()), png_uint_32(block.height()), 8,
                     block.bitCount() == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);
        for (int y = 0; y < block.height(); ++y)
            png_write_row(png, block.topRow(y));
        png_write_end(png, info);
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && written;
}

size_t filteredSize(const ImageBlock& block)
{
    return (size_t(block.width()) * (block.bitCount() / 8) + 1) * size_t(block.height());
}

// The picture in PNG's byte order, as the file's rows must unfilter to.
std::vector<uint8_t> pngOrderPixels(const ImageBlock& block)
{
    const int channels = block.bitCount() / 8;
    std::vector<uint8_t> out;
    for (int y = 0; y < block.height(); ++y)
        for (int x = 0; x < block.width(); ++x) {
            const uint8_t* pixel = block.topRow(y) + x * channels;
            out.insert(out.end(), {pixel[2], pixel[1], pixel[0]});
            if (channels == 4)
                out.push_back(pixel[3]);
        }
    return out;
}

TEST(PngPieces, FilterChoiceIsLibpngs)
{
    for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
        ScratchDir dir;
        ImageBlock block = mixedBlock(301, 97, bits);
        std::string libpngPath = dir.file("libpng.png");
        std::string piecesPath = dir.file("pieces.png");
        ASSERT_TRUE(writeWithLibpng(libpngPath, block));
        ASSERT_TRUE(writePngInPieces(piecesPath, block, filteredSize(block), 1));
        auto expected = filteredBytesOf(readFile(libpngPath), filteredSize(block));
        auto ours = filteredBytesOf(readFile(piecesPath), filteredSize(block));
        ASSERT_TRUE(expected);
        ASSERT_TRUE(ours);
        std::set<uint8_t> types;
        for (size_t at = 0; at < expected->size(); at += filteredSize(block) / 97)
            types.insert((*expected)[at]);
        EXPECT_EQ(types.size(), 5u) << "the picture does not exercise every filter";
        EXPECT_EQ(*ours, *expected) << bits;
    }
}

TEST(PngPieces, FilterChoiceIsLibpngsForSingleRowsAndColumns)
{
    // libpng tries only None and Sub on a single row, None and Up on a
    // single column.
    struct Shape {
        int width;
        int height;
    };
    for (Shape shape : {Shape{1, 1}, Shape{1, 2}, Shape{1, 3000}, Shape{7, 1}, Shape{6000, 1}, Shape{7, 2}}) {
        for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
            ScratchDir dir;
            ImageBlock block = mixedBlock(shape.width, shape.height, bits);
            ASSERT_TRUE(writeWithLibpng(dir.file("libpng.png"), block));
            ASSERT_TRUE(writePngInPieces(dir.file("pieces.png"), block, 1000, 2));
            auto expected = filteredBytesOf(readFile(dir.file("libpng.png")), filteredSize(block));
            auto ours = filteredBytesOf(readFile(dir.file("pieces.png")), filteredSize(block));
            ASSERT_TRUE(expected);
            ASSERT_TRUE(ours) << shape.width << "x" << shape.height;
            EXPECT_EQ(*ours, *expected) << shape.width << "x" << shape.height << "x" << bits;
        }
    }
}

struct PiecesCase {
    int width;
    int height;
    uint16_t bits;
    size_t pieceBytes;
};

std::ostream& operator<<(std::ostream& out, const PiecesCase& c)
{
    return out << c.width << "x" << c.height << "x" << c.bits << "_pieces" << c.pieceBytes;
}

class PngPiecesShapes : public ::testing::TestWithParam<PiecesCase> {};

// Piece boundaries fall inside rows, on row starts, inside the first row and
// on the last byte; pieces smaller and bigger than the window.
const PiecesCase kPiecesCases[] = {
    {1, 1, 24, 1},        {1, 1, 32, 3},       {7, 1, 24, 5},        {7, 2, 32, 29},      {1, 3000, 24, 997},
    {7, 3000, 32, 4096},  {6000, 1, 24, 7001}, {6000, 2, 32, 24001}, {6000, 2, 24, 36001}, {6000, 7, 24, 50000},
    {6000, 7, 32, 1 << 20}, {257, 1000, 24, 65536}, {257, 1000, 32, 1 << 20},
};

TEST_P(PngPiecesShapes, DecodesToTheBlocksPixelsTheSameWithOneOrTwoThreads)
{
    const PiecesCase& c = GetParam();
    ScratchDir dir;
    ImageBlock block = mixedBlock(c.width, c.height, c.bits);
    std::string one = dir.file("one.png");
    std::string two = dir.file("two.png");
    ASSERT_TRUE(writePngInPieces(one, block, c.pieceBytes, 1));
    ASSERT_TRUE(writePngInPieces(two, block, c.pieceBytes, 2));
    std::vector<uint8_t> file = readFile(one);
    EXPECT_EQ(file, readFile(two)) << "the thread count changed the file";
    Chunks chunks = chunksOf(file);
    EXPECT_TRUE(chunks.crcsMatch);
    EXPECT_TRUE(chunks.endsWithIend);
    EXPECT_EQ(chunks.idatCount, (filteredSize(block) + c.pieceBytes - 1) / c.pieceBytes);
    ASSERT_TRUE(filteredBytesOf(file, filteredSize(block))) << "zlib refuses the stream";

    // Our reader gives back a 24-bit block byte for byte.
    std::string message;
    StderrCapture errors;
    ImageBlock again = testing::blockOf(readPng(one), message);
    EXPECT_EQ(errors.text(), "");
    ASSERT_TRUE(again) << message;
    ASSERT_EQ(again.bitCount(), c.bits);
    ASSERT_EQ(again.width(), c.width);
    ASSERT_EQ(again.height(), c.height);
    // (32-bit blocks come back composited over white: ImageMagick checks those.)
    for (int y = 0; y < c.height && c.bits == 24; ++y)
        ASSERT_EQ(std::memcmp(again.topRow(y), block.topRow(y), size_t(c.width) * (c.bits / 8)), 0) << "row " << y;

    // And so does an independent decoder, alpha included.
    REQUIRE_TOOLS("convert");
    std::string raw = dir.file("magick.raw");
    std::string format = c.bits == 32 ? "rgba:" : "rgb:";
    ASSERT_EQ(runCommand("convert " + shellQuote(one) + " -depth 8 " + format + shellQuote(raw)), 0);
    EXPECT_EQ(readFile(raw), pngOrderPixels(block));
}

INSTANTIATE_TEST_SUITE_P(OddPlaces, PngPiecesShapes, ::testing::ValuesIn(kPiecesCases),
                         [](const auto& param) {
                             std::ostringstream name;
                             name << param.param;
                             return name.str();
                         });

TEST(PngPieces, BigBlocksTakeThePiecesWithTheirFixedSize)
{
    ImageBlock block = mixedBlock(1200, 1200, 24);
    ScratchDir dir;
    ASSERT_TRUE(writePng(dir.file("big.png"), block));
    ASSERT_TRUE(writePngInPieces(dir.file("pieces.png"), block, png_pieces::kPieceBytes, 1));
    std::vector<uint8_t> file = readFile(dir.file("big.png"));
    EXPECT_EQ(file, readFile(dir.file("pieces.png")));
    EXPECT_GT(chunksOf(file).idatCount, 4u);
    EXPECT_TRUE(filteredBytesOf(file, filteredSize(block)));
}

TEST(PngPieces, WriteFailuresReturnFalseQuietly)
{
    StderrCapture errors;
    ImageBlock block = mixedBlock(1200, 1200, 32);
    EXPECT_FALSE(writePng("/dev/full", block));
    EXPECT_FALSE(writePngInPieces("/dev/full", mixedBlock(300, 300, 24), 5000, 2));
    EXPECT_FALSE(writePngInPieces("/nonexistent/folder/x.png", block, 5000, 2));
    EXPECT_EQ(errors.text(), "");
}

} // namespace
} // namespace pictorand
