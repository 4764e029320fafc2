#include "tools/convert/operations.h"

#include "tests/ops/block_builders.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>

using namespace pictorand;
using namespace pictorand::testing;

namespace {

struct Arguments {
    std::vector<std::string> words;
    std::vector<char*> pointers;
    Arguments(std::initializer_list<const char*> list)
    {
        words.emplace_back("pictorand32-convert");
        for (const char* word : list)
            words.emplace_back(word);
        for (std::string& word : words)
            pointers.push_back(word.data());
    }
    int count() { return static_cast<int>(pointers.size()); }
};

// Parses every word from index 1; the first refusal's message, or "".
std::string parseAll(Arguments arguments, std::vector<Operation>& operations)
{
    std::string error;
    for (int i = 1; i < arguments.count(); ++i) {
        OptionParse parsed = parseOperationOption(arguments.count(), arguments.pointers.data(), i, operations, error);
        if (parsed == OptionParse::Refused)
            return error;
        if (parsed == OptionParse::NotAnOperation)
            return "not an operation: " + arguments.words[static_cast<size_t>(i)];
    }
    return {};
}

TEST(ConvertOptions, ParsesEveryOperationInOrder)
{
    std::vector<Operation> operations;
    ASSERT_EQ(parseAll({"--rotate-left", "--rotate-right", "--flip-vertical", "--flip-horizontal", "--resize", "640x480",
                        "--resample", "1500X1000", "--colors", "16", "--depth", "24", "--greyscale", "--negative",
                        "--swap", "GBR", "--brightness", "-255", "--contrast", "128", "--gamma", "2.5"},
                       operations),
              "");
    const OperationKind expected[] = {
        OperationKind::RotateLeft, OperationKind::RotateRight, OperationKind::FlipVertical,
        OperationKind::FlipHorizontal, OperationKind::Resize, OperationKind::Resample,
        OperationKind::Colors, OperationKind::Depth, OperationKind::Greyscale,
        OperationKind::Negative, OperationKind::Swap, OperationKind::Brightness,
        OperationKind::Contrast, OperationKind::Gamma,
    };
    ASSERT_EQ(operations.size(), std::size(expected));
    for (size_t i = 0; i < operations.size(); ++i)
        EXPECT_EQ(operations[i].kind, expected[i]) << i;
    EXPECT_EQ(operations[4].width, 640);
    EXPECT_EQ(operations[4].height, 480);
    EXPECT_EQ(operations[5].width, 1500);
    EXPECT_EQ(operations[5].height, 1000);
    EXPECT_EQ(operations[6].value, 16);
    EXPECT_EQ(operations[7].value, 24);
    EXPECT_EQ(operations[10].swap, ChannelSwap::GBR);
    EXPECT_EQ(operations[11].value, -255);
    EXPECT_EQ(operations[12].value, 128);
    EXPECT_DOUBLE_EQ(operations[13].gamma, 2.5);
}

TEST(ConvertOptions, OtherOptionsAreLeftAlone)
{
    Arguments arguments{"-t", "png"};
    std::vector<Operation> operations;
    std::string error;
    int index = 1;
    EXPECT_EQ(parseOperationOption(arguments.count(), arguments.pointers.data(), index, operations, error),
              OptionParse::NotAnOperation);
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(operations.empty());
}

TEST(ConvertOptions, RefusesValuesOutsideTheirRanges)
{
    struct Case {
        std::initializer_list<const char*> words;
        const char* expected;
    };
    const Case cases[] = {
        {{"--colors", "8"}, "pictorand32-convert: --colors takes 256, 16 or 2, not '8'"},
        {{"--depth", "16"}, "pictorand32-convert: --depth takes 4, 8 or 24, not '16'"},
        {{"--swap", "RGB"}, "pictorand32-convert: --swap takes RBG, BGR, BRG, GRB or GBR, not 'RGB'"},
        {{"--brightness", "256"}, "pictorand32-convert: --brightness takes a whole number from -255 to 255, not '256'"},
        {{"--brightness", "1.5"}, "pictorand32-convert: --brightness takes a whole number from -255 to 255, not '1.5'"},
        {{"--contrast", "-129"}, "pictorand32-convert: --contrast takes a whole number from -128 to 128, not '-129'"},
        {{"--gamma", "0"}, "pictorand32-convert: --gamma takes a value from 0.01 to 6.99, not '0'"},
        {{"--gamma", "7"}, "pictorand32-convert: --gamma takes a value from 0.01 to 6.99, not '7'"},
        {{"--gamma", "nan"}, "pictorand32-convert: --gamma takes a value from 0.01 to 6.99, not 'nan'"},
        {{"--gamma", "2x"}, "pictorand32-convert: --gamma takes a value from 0.01 to 6.99, not '2x'"},
        {{"--resize", "640"}, "pictorand32-convert: --resize needs WIDTHxHEIGHT in pixels, such as 640x480, not '640'"},
        {{"--resize", "x480"}, "pictorand32-convert: --resize needs WIDTHxHEIGHT in pixels, such as 640x480, not 'x480'"},
        {{"--resize", "0x0"}, "pictorand32-convert: --resize needs WIDTHxHEIGHT in pixels, such as 640x480, not '0x0'"},
        {{"--resample", "-1x5"},
         "pictorand32-convert: --resample needs WIDTHxHEIGHT in pixels, such as 640x480, not '-1x5'"},
        {{"--resample", "3000000000x5"},
         "pictorand32-convert: --resample needs WIDTHxHEIGHT in pixels, such as 640x480, not '3000000000x5'"},
        {{"--contrast"}, "pictorand32-convert: --contrast needs a value"},
    };
    for (const Case& c : cases) {
        std::vector<Operation> operations;
        EXPECT_EQ(parseAll(Arguments(c.words), operations), c.expected);
        EXPECT_TRUE(operations.empty());
    }
}

TEST(ConvertOptions, AcceptsTheEndsOfEachRange)
{
    std::vector<Operation> operations;
    EXPECT_EQ(parseAll({"--brightness", "255", "--contrast", "-128", "--gamma", "0.01", "--gamma", "6.99", "--resize",
                        "1x1", "--colors", "2", "--colors", "256", "--depth", "4"},
                       operations),
              "");
    EXPECT_EQ(operations.size(), 8u);
}

std::vector<Operation> operationsFrom(std::initializer_list<const char*> words)
{
    std::vector<Operation> operations;
    std::string error = parseAll(Arguments(words), operations);
    EXPECT_EQ(error, "");
    return operations;
}

TEST(ConvertOperations, AppliesInTheOrderGiven)
{
    std::mt19937 random(31);
    ImageBlock a = randomBlock(random, 6, 2, 24);
    ImageBlock b = ImageBlock::allocate(a.size());
    std::copy(a.data(), a.data() + a.size(), b.data());
    ASSERT_TRUE(applyOperations(a, operationsFrom({"--resize", "3x2", "--rotate-right"})));
    ASSERT_TRUE(applyOperations(b, operationsFrom({"--rotate-right", "--resize", "3x2"})));
    EXPECT_EQ(a.width(), 2);
    EXPECT_EQ(a.height(), 3);
    EXPECT_EQ(b.width(), 3);
    EXPECT_EQ(b.height(), 2);
}

TEST(ConvertOperations, ResampleBringsPalettedPicturesBackPaletted)
{
    std::mt19937 random(32);
    struct Case {
        uint16_t bits;
        uint16_t expectedBits;
    };
    for (Case c : {Case{1, 4}, Case{4, 4}, Case{8, 8}, Case{24, 24}}) {
        ImageBlock block = randomBlock(random, 20, 10, c.bits);
        Status resampled = applyOperations(block, operationsFrom({"--resample", "10x5"}));
        ASSERT_TRUE(resampled) << resampled.text();
        EXPECT_EQ(block.width(), 10);
        EXPECT_EQ(block.height(), 5);
        EXPECT_EQ(block.bitCount(), c.expectedBits) << c.bits;
    }
}

TEST(ConvertOperations, DepthIncreasesOnlyWhereTheMenuWould)
{
    std::mt19937 random(33);
    struct Case {
        uint16_t bits;
        const char* depth;
        uint16_t expectedBits;
    };
    for (Case c : {Case{1, "4", 4}, Case{4, "4", 4}, Case{24, "4", 24}, Case{4, "8", 8}, Case{8, "24", 24},
                   Case{24, "8", 24}}) {
        ImageBlock block = randomBlock(random, 5, 3, c.bits);
        ASSERT_TRUE(applyOperations(block, operationsFrom({"--depth", c.depth})));
        EXPECT_EQ(block.bitCount(), c.expectedBits) << c.bits << " --depth " << c.depth;
    }
}

TEST(ConvertOperations, ColorsQuantisesAndRefusesMono)
{
    std::mt19937 random(34);
    ImageBlock block = randomBlock(random, 16, 16, 24);
    ASSERT_TRUE(applyOperations(block, operationsFrom({"--colors", "16"})));
    EXPECT_EQ(block.bitCount(), 4);
    ImageBlock mono = randomBlock(random, 16, 16, 1);
    EXPECT_EQ(applyOperations(mono, operationsFrom({"--colors", "2"})).text(), "Quantize error !");
}

TEST(ConvertOperations, FailuresCarryTheCommandsMessages)
{
    ImageBlock deep = ImageBlock::create(4, 4, 16, 0);
    EXPECT_EQ(applyOperations(deep, operationsFrom({"--rotate-right"})).text(), "Rotate error !");
    EXPECT_EQ(applyOperations(deep, operationsFrom({"--resize", "2x2"})).text(), "Resize error !");
    EXPECT_EQ(applyOperations(deep, operationsFrom({"--resample", "2x2"})).text(), "Resample error !");
}

TEST(ConvertOperations, GreyscaleThenNegativeThenSwap)
{
    ImageBlock block = blockFromPixels(1, 1, 24, {0xFF0000u}); // red
    ASSERT_TRUE(applyOperations(block, operationsFrom({"--greyscale", "--negative"})));
    ASSERT_EQ(block.bitCount(), 8);
    uint8_t index = block.row(0)[0];
    EXPECT_EQ(block.colorTable()[index].red, 255 - 76);
    ImageBlock colour = blockFromPixels(1, 1, 24, {0x010203u}); // red 1, green 2, blue 3
    ASSERT_TRUE(applyOperations(colour, operationsFrom({"--swap", "BRG", "--brightness", "10"})));
    EXPECT_EQ(pixelAt(colour, 0, 0), 0x0C0D0Bu); // red 12, green 13, blue 11
}

// End to end: the converter applies the operations to a file it reads.
TEST(Converter, RotatesAndFlipsABmpAsImageMagickSeesIt)
{
    REQUIRE_TOOLS("convert");
    ScratchDir scratch;
    RgbImage source{5, 3, {}};
    for (int i = 0; i < 15; ++i) {
        source.rgb.push_back(static_cast<uint8_t>(i * 16));
        source.rgb.push_back(static_cast<uint8_t>(255 - i * 10));
        source.rgb.push_back(static_cast<uint8_t>(i * 3));
    }
    writePpm(scratch.file("in.ppm"), source);
    ASSERT_EQ(runCommand("convert " + shellQuote(scratch.file("in.ppm")) + " BMP3:" + shellQuote(scratch.file("in.bmp"))), 0);
    std::filesystem::create_directory(scratch.file("out"));
    std::string output;
    int status = runCommand(std::string(PICTORAND_CONVERTER) + " --rotate-right --flip-vertical -t bmp -o " +
                                shellQuote(scratch.file("out")) + " " + shellQuote(scratch.file("in.bmp")) + " 2>&1",
                            &output);
    ASSERT_EQ(status, 0) << output;
    auto result = magickDecode(scratch.file("out/in.BMP"));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->width, 3);
    ASSERT_EQ(result->height, 5);
    // Turned clockwise, (x, y) <- (y, 2 - x), then mirrored top to bottom:
    // new (x, y) = old (4 - y, 2 - x).
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(result->at(x, y)[c], source.at(4 - y, 2 - x)[c]) << x << "," << y;
}

TEST(Converter, RefusesAnOutOfRangeValueBeforeTouchingAnyFile)
{
    std::string output;
    int status = runCommand(std::string(PICTORAND_CONVERTER) + " --contrast 200 nothing.bmp 2>&1", &output);
    EXPECT_EQ(status, 2);
    EXPECT_NE(output.find("--contrast takes a whole number from -128 to 128, not '200'"), std::string::npos) << output;
}

} // namespace
