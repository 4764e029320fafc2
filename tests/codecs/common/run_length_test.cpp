#include "codecs/common/buffered_byte_reader.h"
#include "codecs/common/run_length.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace pictorand {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes decodePcxLines(const Bytes& data, size_t lineLength, size_t lines)
{
    SpanByteSource source(data);
    Bytes out(lineLength * lines, 0xAA);
    for (size_t i = 0; i < lines; ++i)
        decodePcxScanLine(source, std::span<uint8_t>(out.data() + i * lineLength, lineLength));
    return out;
}

Bytes encodePcx(const Bytes& line)
{
    Bytes out(pcxEncodedBound(line.size()));
    out.resize(encodePcxLine(line, out.data()));
    return out;
}

TEST(PcxRunLength, LiteralsAndRuns)
{
    EXPECT_EQ(decodePcxLines({0x01, 0xC3, 0x07, 0x02}, 5, 1), (Bytes{0x01, 0x07, 0x07, 0x07, 0x02}));
}

TEST(PcxRunLength, RunIsCutAtTheEndOfTheScanLine)
{
    // A run of 5 in a line of 3: the rest is dropped and the next line starts
    // with a fresh code byte (0x09), not with two more 0x07.
    EXPECT_EQ(decodePcxLines({0xC5, 0x07, 0x09, 0xC2, 0x01}, 3, 2), (Bytes{0x07, 0x07, 0x07, 0x09, 0x01, 0x01}));
}

TEST(PcxRunLength, RunOfZeroWritesNothing)
{
    EXPECT_EQ(decodePcxLines({0xC0, 0x55, 0x01, 0x02}, 2, 1), (Bytes{0x01, 0x02}));
}

TEST(PcxRunLength, EndOfDataFillsWithFF)
{
    EXPECT_EQ(decodePcxLines({0x01}, 3, 2), (Bytes{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    // A run whose value byte is missing repeats 0xFF.
    EXPECT_EQ(decodePcxLines({0xC2}, 3, 1), (Bytes{0xFF, 0xFF, 0xFF}));
}

TEST(PcxRunLength, ByteAtATimeSourceDecodesTheSame)
{
    // The buffered reader goes through the general decoder, the span source
    // through the one without a call per byte.
    const Bytes data = {0x01, 0xC5, 0x07, 0x09, 0xC0, 0x55, 0xC2, 0x03, 0xC2};
    for (size_t lineLength : {1u, 2u, 3u, 5u}) {
        BufferedByteReader reader{std::span<const uint8_t>(data)};
        Bytes general(lineLength * 4);
        for (size_t i = 0; i < 4; ++i)
            decodePcxScanLine(reader, std::span<uint8_t>(general.data() + i * lineLength, lineLength));
        EXPECT_EQ(general, decodePcxLines(data, lineLength, 4)) << lineLength;
    }
}

TEST(PcxRunLength, EncoderEscapesHighSingleBytes)
{
    EXPECT_EQ(encodePcx({0xC0}), (Bytes{0xC1, 0xC0}));
    EXPECT_EQ(encodePcx({0xBF}), (Bytes{0xBF}));
    EXPECT_EQ(encodePcx({0xFF, 0x00}), (Bytes{0xC1, 0xFF, 0x00}));
}

TEST(PcxRunLength, EncoderSplitsLongRunsAt63)
{
    EXPECT_EQ(encodePcx(Bytes(100, 0x05)), (Bytes{0xFF, 0x05, 0xE5, 0x05}));
    EXPECT_EQ(encodePcx(Bytes(63, 0x05)), (Bytes{0xFF, 0x05}));
    EXPECT_EQ(encodePcx(Bytes(2, 0x05)), (Bytes{0xC2, 0x05}));
}

TEST(PcxRunLength, EncoderRoundTripsEveryByteValue)
{
    Bytes line;
    for (int repeat = 1; repeat <= 70; repeat += 23)
        for (int value = 0; value < 256; ++value)
            line.insert(line.end(), static_cast<size_t>(repeat), static_cast<uint8_t>(value));
    Bytes encoded = encodePcx(line);
    EXPECT_LE(encoded.size(), pcxEncodedBound(line.size()));
    EXPECT_EQ(decodePcxLines(encoded, line.size(), 1), line);
}

TEST(TargaRunLength, RunPacketSpansRows)
{
    // One run packet of 5 pixels of (1, 2, 3), then a raw packet of 1 pixel,
    // decoded as two rows of 3 pixels.
    Bytes data = {0x84, 1, 2, 3, 0x00, 7, 8, 9};
    SpanByteSource source(data);
    TargaPacketDecoder decoder(3);
    std::array<uint8_t, 9> first{};
    std::array<uint8_t, 9> second{};
    ASSERT_TRUE(decoder.decode(source, first.data(), 3));
    ASSERT_TRUE(decoder.decode(source, second.data(), 3));
    EXPECT_EQ(first, (std::array<uint8_t, 9>{1, 2, 3, 1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(second, (std::array<uint8_t, 9>{1, 2, 3, 1, 2, 3, 7, 8, 9}));
}

TEST(TargaRunLength, RawPacketSpansRows)
{
    Bytes data = {0x02, 1, 2, 3};
    SpanByteSource source(data);
    TargaPacketDecoder decoder(1);
    std::array<uint8_t, 2> first{};
    std::array<uint8_t, 1> second{};
    ASSERT_TRUE(decoder.decode(source, first.data(), 2));
    ASSERT_TRUE(decoder.decode(source, second.data(), 1));
    EXPECT_EQ(first, (std::array<uint8_t, 2>{1, 2}));
    EXPECT_EQ(second[0], 3);
}

TEST(TargaRunLength, MissingHeaderFailsMissingPixelBytesReadFF)
{
    Bytes data = {0x01, 5};
    SpanByteSource source(data);
    TargaPacketDecoder decoder(2);
    std::array<uint8_t, 4> out{};
    EXPECT_TRUE(decoder.decode(source, out.data(), 2));
    EXPECT_EQ(out, (std::array<uint8_t, 4>{5, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(decoder.decode(source, out.data(), 1));
}

TEST(TargaRunLength, BulkAndByteAtATimeSourcesAgree)
{
    const Bytes data = {0x81, 1, 2, 0x02, 3, 4, 5, 6, 7, 8, 0x83, 9};
    for (size_t rowPixels : {1u, 2u, 3u, 7u}) {
        SpanByteSource bytes(data);
        BufferedByteReader bulk{std::span<const uint8_t>(data)};
        TargaPacketDecoder first(2);
        TargaPacketDecoder second(2);
        Bytes a(rowPixels * 2 * 2);
        Bytes b(a.size());
        bool okA = first.decode(bytes, a.data(), rowPixels) && first.decode(bytes, a.data() + rowPixels * 2, rowPixels);
        bool okB = second.decode(bulk, b.data(), rowPixels) && second.decode(bulk, b.data() + rowPixels * 2, rowPixels);
        EXPECT_EQ(okA, okB) << rowPixels;
        EXPECT_EQ(a, b) << rowPixels;
    }
}

TEST(SunRunLength, EscapesAndRuns)
{
    Bytes data = {0x41, 0x80, 0x02, 0x42, 0x80, 0x00, 0x43};
    SpanByteSource source(data);
    SunByteRunDecoder decoder;
    Bytes out(6);
    EXPECT_EQ(decoder.decode(source, out.data(), out.size()), 6u);
    EXPECT_EQ(out, (Bytes{0x41, 0x42, 0x42, 0x42, 0x80, 0x43}));
}

TEST(SunRunLength, RunContinuesIntoTheNextRow)
{
    Bytes data = {0x80, 0x04, 0x07, 0x01};
    SpanByteSource source(data);
    SunByteRunDecoder decoder;
    Bytes first(3);
    Bytes second(3);
    EXPECT_EQ(decoder.decode(source, first.data(), 3), 3u);
    EXPECT_EQ(decoder.decode(source, second.data(), 3), 3u);
    EXPECT_EQ(first, (Bytes{7, 7, 7}));
    EXPECT_EQ(second, (Bytes{7, 7, 1}));
}

TEST(SunRunLength, EndOfDataEndsTheRowEarly)
{
    for (const Bytes& data : {Bytes{0x05}, Bytes{0x05, 0x80}, Bytes{0x05, 0x80, 0x03}}) {
        SpanByteSource source(data);
        SunByteRunDecoder decoder;
        Bytes out(4, 0xAA);
        EXPECT_EQ(decoder.decode(source, out.data(), out.size()), 1u);
        EXPECT_EQ(out, (Bytes{0x05, 0xAA, 0xAA, 0xAA}));
    }
}

} // namespace
} // namespace pictorand
