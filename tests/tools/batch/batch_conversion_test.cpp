#include "codecs/bmp/bmp.h"
#include "tools/batch/batch_conversion.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace pictorand {
namespace {

using testing::ScratchDir;

class RecordedProgress : public BatchProgress {
public:
    void setCaption(const std::string& caption) override { captions.push_back(caption); }
    void addLine(const std::string& line) override { lines.push_back(line); }
    void fileFailed(const std::string& file, const Failure& why) override { failures.push_back({file, why}); }
    void processEvents() override { ++eventRounds; }
    void finished() override { ++finishedCalls; }

    std::vector<std::string> captions;
    std::vector<std::string> lines;
    std::vector<std::pair<std::string, Failure>> failures;
    int eventRounds = 0;
    int finishedCalls = 0;
};

class BatchConversionTest : public ::testing::Test {
protected:
    std::string bmp(const std::string& relative, int width = 3)
    {
        std::string path = dir.file(relative);
        testing::runCommand("mkdir -p " + testing::shellQuote(path.substr(0, path.rfind('/'))));
        ImageBlock block = ImageBlock::create(width, 2, 24, 0);
        EXPECT_TRUE(writeBmp(path, block));
        return path;
    }
    BatchResult run(std::vector<std::string> sources, int type, const std::string& output)
    {
        BatchRequest request;
        request.sources = std::move(sources);
        request.outputType = type;
        request.outputDirectory = output;
        request.stopRequested = [this] { return stopAfter >= 0 && progress.eventRounds > stopAfter; };
        return runBatchConversion(request, progress, CodecRegistry::instance(), settings);
    }

    ScratchDir dir;
    SettingsFile settings{dir.file("P_RAND32.INI")};
    RecordedProgress progress;
    int stopAfter = -1;
};

TEST_F(BatchConversionTest, SameBaseNameTwiceReportsTheExistingDestination)
{
    std::string first = bmp("a/pic.bmp");
    std::string second = bmp("b/pic.bmp", 5);
    BatchResult result = run({first, second}, 2, dir.file("out"));
    const std::string destination = dir.file("out") + "/pic.BMP";
    EXPECT_EQ(progress.lines, (std::vector<std::string>{
                                  "Converting: " + first,
                                  "... Ok",
                                  "Converting: " + second,
                                  "Error: Destination file already exists: " + destination,
                                  "1 errors",
                              }));
    EXPECT_EQ(result.errors, 1);
    EXPECT_EQ(result.converted, 1);
    Result<DecodedImage> written = readBmp(destination);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->block.width(), 3) << "the first conversion is never overwritten";
    EXPECT_EQ(progress.captions, (std::vector<std::string>{"Converting image 1 from 2", "Converting image 2 from 2",
                                                           "Batch conversion done"}));
    EXPECT_EQ(progress.finishedCalls, 1);
}

TEST_F(BatchConversionTest, DeepMissingOutputDirectoryIsCreated)
{
    std::string source = bmp("one.bmp");
    const std::string output = dir.file("x/y/z");
    BatchResult result = run({source}, 2, output);
    EXPECT_EQ(result.errors, 0);
    EXPECT_TRUE(testing::fileExists(output + "/one.BMP"));
    EXPECT_EQ(progress.lines.back(), "0 errors");
}

TEST_F(BatchConversionTest, UnreadableSourcesAndFailedSavesAreCountedAndTheRunGoesOn)
{
    std::string good = bmp("good.bmp");
    testing::writeFile(dir.file("text.txt"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
    std::string missing = dir.file("missing.bmp");
    BatchResult result = run({dir.file("text.txt"), missing, good}, 2, dir.file("out"));
    EXPECT_EQ(progress.lines[1], "Error! Can't load: " + dir.file("text.txt"));
    EXPECT_EQ(progress.lines[3], "Error! Can't load: " + missing);
    EXPECT_EQ(progress.lines[5], "... Ok");
    EXPECT_EQ(progress.lines[6], "2 errors");
    EXPECT_EQ(result.errors, 2);

    // An output directory that cannot be made: every save fails.
    testing::writeFile(dir.file("blocker"), {'x'});
    progress = RecordedProgress();
    result = run({good}, 2, dir.file("blocker/sub"));
    EXPECT_EQ(progress.lines[1], "Error! Can't save: " + dir.file("blocker/sub") + "/good.BMP");
    EXPECT_EQ(result.errors, 1);
}

TEST_F(BatchConversionTest, TruncatedSourceIsSavedAndSaidToBeTruncated)
{
    std::vector<uint8_t> bytes = testing::readFile(std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/colour/rose-a98.jpg");
    bytes.resize(bytes.size() * 2 / 3);
    testing::writeFile(dir.file("cut.jpg"), bytes);
    BatchResult result = run({dir.file("cut.jpg")}, 2, dir.file("out"));
    EXPECT_EQ(progress.lines[1], "... Ok (file is truncated)");
    EXPECT_EQ(result.errors, 0);
    EXPECT_EQ(result.converted, 1);
}

TEST_F(BatchConversionTest, StopEndsTheRunBeforeTheNextFile)
{
    std::string a = bmp("a.bmp");
    std::string b = bmp("b.bmp");
    std::string c = bmp("c.bmp");
    stopAfter = 1; // set while the first file converts
    BatchResult result = run({a, b, c}, 2, dir.file("out"));
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(progress.lines, (std::vector<std::string>{"Converting: " + a, "... Ok", "0 errors"}));
    EXPECT_FALSE(testing::fileExists(dir.file("out/b.BMP")));
}

TEST_F(BatchConversionTest, EmptyListRunsNothing)
{
    BatchResult result = run({}, 2, dir.file("out"));
    EXPECT_FALSE(result.started);
    EXPECT_TRUE(progress.lines.empty());
    EXPECT_TRUE(progress.captions.empty());
    EXPECT_FALSE(testing::fileExists(dir.file("out")));
}

TEST_F(BatchConversionTest, EmptyOutputDirectoryIsRefused)
{
    BatchResult result = run({bmp("a.bmp")}, 2, "");
    EXPECT_TRUE(result.refused);
    EXPECT_FALSE(result.started);
    EXPECT_TRUE(progress.lines.empty());
}

// Many jobs give the lines and files of one: the same base name twice keeps
// the first, failures stay in place, and Stop shows every file begun.
TEST_F(BatchConversionTest, ParallelRunReportsInListOrder)
{
    std::vector<std::string> sources;
    for (int i = 0; i < 12; ++i)
        sources.push_back(bmp((i % 3 == 1 ? "b/" : "a/") + std::string("p") + std::to_string(i / 2) + ".bmp", 3 + i));
    sources.insert(sources.begin() + 5, dir.file("missing.bmp"));
    BatchResult one = run(sources, 2, dir.file("one"));
    std::vector<std::string> expected = progress.lines;
    for (std::string& line : expected)
        if (auto at = line.find(dir.file("one")); at != std::string::npos)
            line.replace(at, dir.file("one").size(), dir.file("four"));
    progress.lines.clear();
    BatchRequest request;
    request.sources = sources;
    request.outputType = 2;
    request.outputDirectory = dir.file("four");
    request.jobs = 4;
    BatchResult four = runBatchConversion(request, progress, CodecRegistry::instance(), settings);
    EXPECT_EQ(progress.lines, expected);
    EXPECT_EQ(four.errors, one.errors);
    EXPECT_GT(one.errors, 1);
    for (int i = 0; i < 6; ++i) {
        const std::string name = "/p" + std::to_string(i) + ".BMP";
        EXPECT_EQ(testing::readFile(dir.file("four") + name), testing::readFile(dir.file("one") + name)) << name;
    }

    std::atomic<int> asked{0};
    request.outputDirectory = dir.file("stopped");
    request.stopRequested = [&asked] { return ++asked > 3; };
    progress.lines.clear();
    BatchResult stopped = runBatchConversion(request, progress, CodecRegistry::instance(), settings);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(progress.lines.size() % 2, 1u);
    EXPECT_EQ(progress.lines.back(), std::to_string(stopped.errors) + " errors");
}

TEST_F(BatchConversionTest, AdjustmentFailureCountsAsNotSaved)
{
    std::string a = bmp("a.bmp");
    BatchRequest request;
    request.sources = {a};
    request.outputType = 2;
    request.outputDirectory = dir.file("out");
    const Failure refused{Reason::BadArgument, "too wide"};
    request.adjustBlock = [&](ImageBlock&) { return Status(refused); };
    BatchResult result = runBatchConversion(request, progress, CodecRegistry::instance(), settings);
    EXPECT_EQ(result.errors, 1);
    EXPECT_EQ(progress.lines[1], "Error! Can't save: " + dir.file("out") + "/a.BMP");
    // Why goes to the progress, naming the file the operation failed on.
    EXPECT_EQ(progress.failures, (std::vector<std::pair<std::string, Failure>>{{a, refused}}));
}

TEST(BatchNaming, DestinationPathsAndTypes)
{
    EXPECT_EQ(batchDestinationPath("/out/", "/in/photo.final.jpeg", "BMP"), "/out/photo.final.BMP");
    EXPECT_EQ(batchDestinationPath("/out/", "/in/noext", "PNG"), "/out/noext.PNG");
    // The stored index counts the savable formats in Save-as order; anything
    // else falls back to the first.
    const auto& types = savableFormats();
    for (size_t i = 0; i < types.size(); ++i)
        EXPECT_STREQ(batchExtension(static_cast<int>(i)), types[i]->save->batchExtension);
    EXPECT_STREQ(batchExtension(static_cast<int>(types.size())), "JPG");
    EXPECT_STREQ(batchExtension(-1), "JPG");
}

TEST(BatchNaming, PrepareDirectoryAddsTheSlash)
{
    ScratchDir dir;
    EXPECT_EQ(prepareDirectory(dir.file("p/q")), dir.file("p/q") + "/");
    EXPECT_TRUE(testing::fileExists(dir.file("p/q")));
    EXPECT_EQ(prepareDirectory(dir.path() + "/"), dir.path() + "/");
    // An empty value would mean the root directory.
    EXPECT_EQ(prepareDirectory(""), "");
}

TEST(BatchNaming, RequestFromSettings)
{
    ScratchDir dir;
    SettingsFile settings(dir.file("P_RAND32.INI"));
    settings.writeInt(settings::BatchOutputType, 3);
    settings.writeText(settings::BatchOutputPath, "/converted");
    BatchRequest request = batchRequestFromSettings(settings, {"a.bmp"});
    EXPECT_EQ(request.outputType, 3);
    EXPECT_EQ(request.outputDirectory, "/converted");
    EXPECT_EQ(request.sources.size(), 1u);
}

} // namespace
} // namespace pictorand
