#include "codecs/bmp/bmp.h"
#include "dispatch/load.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::shellQuote;

class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Settings of the run live in the scratch folder.
        setenv("PICTORAND_WINDIR", dir.path().c_str(), 1);
    }
    std::string bmp(const std::string& name)
    {
        testing::runCommand("mkdir -p " + shellQuote(dir.file(name).substr(0, dir.file(name).rfind('/'))));
        ImageBlock block = ImageBlock::create(4, 4, 8, 256);
        EXPECT_TRUE(writeBmp(dir.file(name), block));
        return dir.file(name);
    }
    int convert(const std::string& arguments, std::string* output)
    {
        output->clear();
        return testing::runCommand("cd " + shellQuote(dir.path()) + " && " + PICTORAND_CONVERTER + " " + arguments
                                       + " 2>&1",
                                   output);
    }

    // What a run wrote on each stream; `arguments` may redirect them.
    struct Streams {
        int status = -1;
        std::string out;
        std::string err;
    };
    Streams run(const std::string& arguments)
    {
        Streams streams;
        streams.status = testing::runCommand("cd " + shellQuote(dir.path()) + " && " + PICTORAND_CONVERTER + " "
                                                 + arguments + " 2>" + shellQuote(dir.file("stderr.txt")),
                                             &streams.out);
        const std::vector<uint8_t> err = testing::readFile(dir.file("stderr.txt"));
        streams.err.assign(err.begin(), err.end());
        return streams;
    }

    ScratchDir dir;
};

TEST_F(ConvertTest, ConvertsIntoTheOutputDirectoryAndPrintsTheProgressList)
{
    std::string a = bmp("a.bmp");
    std::string b = bmp("sub/b.bmp");
    std::string output;
    EXPECT_EQ(convert("-t bmp -o out " + shellQuote(a) + " " + shellQuote(b), &output), 0) << output;
    EXPECT_EQ(output, "Converting: " + a + "\n... Ok\nConverting: " + b + "\n... Ok\n0 errors\n");
    EXPECT_TRUE(testing::fileExists(dir.file("out/a.BMP")));
    EXPECT_TRUE(testing::fileExists(dir.file("out/b.BMP")));

    // A second run finds both destinations and fails.
    EXPECT_EQ(convert("-t BMP -o out " + shellQuote(a) + " " + shellQuote(b), &output), 1);
    EXPECT_NE(output.find("Error: Destination file already exists: out/a.BMP\n"), std::string::npos) << output;
    EXPECT_NE(output.find("\n2 errors\n"), std::string::npos) << output;
}

TEST_F(ConvertTest, DefaultOutputIsTheCurrentDirectory)
{
    std::string a = bmp("in/a.bmp");
    std::string output;
    EXPECT_EQ(convert("-t bmp " + shellQuote(a), &output), 0) << output;
    EXPECT_TRUE(testing::fileExists(dir.file("a.BMP")));
}

TEST_F(ConvertTest, UnreadableSourceGivesAnErrorStatus)
{
    std::string a = bmp("a.bmp");
    testing::writeFile(dir.file("junk.bmp"), {'B', 'M', 0, 0});
    std::string output;
    EXPECT_EQ(convert("-t bmp -o o " + shellQuote(dir.file("junk.bmp")) + " " + shellQuote(a), &output), 1);
    EXPECT_NE(output.find("Error! Can't load: " + dir.file("junk.bmp") + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("1 errors\n"), std::string::npos) << output;
    EXPECT_TRUE(testing::fileExists(dir.file("o/a.BMP")));
}

// The report on standard output stays as the batch lists it; why each file
// failed goes to standard error.
TEST_F(ConvertTest, EachFailureSaysWhyOnStandardError)
{
    bmp("a.bmp");
    ASSERT_EQ(testing::runCommand("mkdir " + shellQuote(dir.file("folder"))), 0);
    testing::writeFile(dir.file("notes.txt"), {'h', 'e', 'l', 'l', 'o'});
    std::vector<uint8_t> junkBytes(32, 0);
    junkBytes[0] = 'B';
    junkBytes[1] = 'M';
    testing::writeFile(dir.file("junk.bmp"), junkBytes);
    // A corrupt file fails in the reader's own words, as it does in process.
    const Failure junk = loadInThisProcess(batchRequest(dir.file("junk.bmp"), SettingsFile(dir.file("x.ini")))).failure;
    const struct {
        std::string file;
        Failure why;
    } unreadable[] = {{"missing.png", {Reason::NoSuchFile, {}}},
                      {"folder", {Reason::IsFolder, {}}},
                      {"notes.txt", {Reason::NotAPicture, {}}},
                      {"junk.bmp", junk}};
    for (const auto& [file, why] : unreadable) {
        const std::string said = "pictorand32-convert: " + file + ": " + failureReasonText(why) + "\n";
        Streams converted = run("-t bmp -o out " + file);
        EXPECT_EQ(converted.status, 1) << file;
        EXPECT_EQ(converted.out, "Converting: " + file + "\nError! Can't load: " + file + "\n1 errors\n");
        EXPECT_EQ(converted.err, said);
        Streams described = run("--info " + file);
        EXPECT_EQ(described.status, 1) << file;
        EXPECT_EQ(described.out, "");
        EXPECT_EQ(described.err, said);
        Streams quiet = run("--quiet -t bmp -o out " + file);
        EXPECT_EQ(quiet.status, 1) << file;
        EXPECT_EQ(quiet.out, "");
        EXPECT_EQ(quiet.err, said);
    }
    const struct {
        std::string arguments;
        std::string out;
        std::string err;
    } unwritable[] = {
        {"-t bmp -o notes.txt a.bmp", "Converting: a.bmp\nError! Can't save: notes.txt/a.BMP\n1 errors\n",
         "notes.txt/a.BMP: " + failureText({Reason::NoSuchFile, {}})},
        {"-t bmp -o - a.bmp >/dev/full", "", "standard output: " + failureText({Reason::DiskFull, {}})},
        {"-t bmp a.bmp >/dev/full", "", "standard output: " + failureText({Reason::DiskFull, {}})},
    };
    for (const auto& [arguments, out, err] : unwritable) {
        Streams streams = run(arguments);
        EXPECT_EQ(streams.status, 1) << arguments;
        EXPECT_EQ(streams.out, out) << arguments;
        EXPECT_EQ(streams.err, "pictorand32-convert: " + err + "\n") << arguments;
        testing::runCommand("rm -f " + shellQuote(dir.file("a.BMP")));
    }
}

TEST_F(ConvertTest, FollowsTheCommandLineConventions)
{
    bmp("a.bmp");
    bmp("-t");
    for (const char* mistake : {"", "--bogus a.bmp", "-t", "-j 0 a.bmp", "-t jxl a.bmp", "-o - a.bmp a.bmp",
                                "- - <a.bmp"}) {
        Streams streams = run(mistake);
        EXPECT_EQ(streams.status, 2) << mistake;
        EXPECT_EQ(streams.out, "") << mistake;
        EXPECT_NE(streams.err, "") << mistake;
    }
    for (const char* asked : {"--help", "--version"}) {
        Streams streams = run(asked);
        EXPECT_EQ(streams.status, 0) << asked;
        EXPECT_NE(streams.out.find("pictorand32-convert"), std::string::npos) << asked;
        EXPECT_EQ(streams.err, "") << asked;
    }
    // After -- a word that looks like an option is a file.
    EXPECT_EQ(run("-t bmp -o out -- -t").status, 0);
    EXPECT_TRUE(testing::fileExists(dir.file("out/-t.BMP")));
    // - reads standard input; -o - writes the picture to standard output.
    Streams piped = run("-t bmp -o - - <a.bmp >piped.bmp");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    Result<DecodedImage> read = readBmp(dir.file("piped.bmp"));
    ASSERT_TRUE(read) << read.text();
    EXPECT_EQ(read->block.width(), 4);
}

TEST_F(ConvertTest, UnknownTypeIsRefused)
{
    std::string a = bmp("a.bmp");
    std::string output;
    // JPEG XL is read, never written.
    EXPECT_EQ(convert("-t jxl " + shellQuote(a), &output), 2);
    EXPECT_NE(output.find("unknown output type"), std::string::npos);
    EXPECT_FALSE(testing::fileExists(dir.file("a.JPG")));
    EXPECT_FALSE(testing::fileExists(dir.file("a.JXL")));
}

TEST_F(ConvertTest, EmptyOutputDirectoryIsRefusedAndJobsAreChecked)
{
    std::string a = bmp("a.bmp");
    std::string b = bmp("b.bmp");
    std::string output;
    EXPECT_EQ(convert("-t bmp -o '' " + shellQuote(a), &output), 2);
    EXPECT_NE(output.find("No output directory"), std::string::npos) << output;
    EXPECT_EQ(convert("-j 0 " + shellQuote(a), &output), 2);
    EXPECT_EQ(convert("-j 2 -t bmp -o out " + shellQuote(a) + " " + shellQuote(b), &output), 0);
    EXPECT_EQ(output, "Converting: " + a + "\n... Ok\nConverting: " + b + "\n... Ok\n0 errors\n");
}

// The README's recipe for several machines, with this machine as the only
// one: one report per file in command-line order, the failures counted in
// the exit status, the sources kept.
TEST_F(ConvertTest, GnuParallelRecipe)
{
    REQUIRE_TOOLS("parallel");
    std::string a = bmp("photos/a.bmp");
    std::string b = bmp("photos/b.bmp");
    testing::writeFile(dir.file("photos/c.bmp"), {'n', 'o'});
    std::string output;
    const int status = testing::runCommand(
        "cd " + shellQuote(dir.path()) + " && parallel --will-cite --keep-order --joblog batch.log --sshlogin : "
            + "--transferfile {} --return out/{/.}.JPG --cleanup " + PICTORAND_CONVERTER
            + " -j 1 -t jpg -o out {} ::: photos/*.bmp 2>/dev/null",
        &output);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output, "Converting: photos/a.bmp\n... Ok\n0 errors\n"
                      "Converting: photos/b.bmp\n... Ok\n0 errors\n"
                      "Converting: photos/c.bmp\nError! Can't load: photos/c.bmp\n1 errors\n");
    EXPECT_TRUE(testing::fileExists(dir.file("out/a.JPG")));
    EXPECT_TRUE(testing::fileExists(a));
    EXPECT_TRUE(testing::fileExists(dir.file("batch.log")));
}

TEST_F(ConvertTest, InfoHelpAndVersion)
{
    std::string a = bmp("a.bmp");
    std::string output;
    EXPECT_EQ(convert("--info " + shellQuote(a), &output), 0);
    EXPECT_EQ(output, a + ": BMP, 4 x 4, 8 bits, None\n");
    EXPECT_EQ(convert("--help", &output), 0);
    EXPECT_NE(output.find("Usage: pictorand32-convert"), std::string::npos);
    EXPECT_EQ(convert("--version", &output), 0);
    EXPECT_EQ(output.rfind("pictorand32-convert ", 0), 0u);
    EXPECT_EQ(convert("", &output), 2);
}

// The libraries of the newer formats are opened when a file of theirs comes,
// not at every start, and Qt never (the loader names each library it opens).
TEST_F(ConvertTest, OpensTheLibraryOfANewerFormatOnlyForItsFiles)
{
    const std::string png = dir.file("a.png");
    ASSERT_EQ(testing::runCommand("convert -size 4x4 xc:red " + shellQuote(png)), 0);
    const std::string fixtures = std::string(PICTORAND_SOURCE_DIR) + "/tests/codecs/";
    const std::pair<std::string, std::string> cases[] = {{png, ""},
                                                         {fixtures + "heif/fixtures/lossy.heic", "libheif"},
                                                         {fixtures + "avif/fixtures/lossy.avif", "libavif"},
                                                         {fixtures + "jxl/fixtures/lossy.jxl", "libjxl"}};
    for (const auto& [file, library] : cases) {
        std::string output;
        ASSERT_EQ(testing::runCommand(std::string("LD_DEBUG=files ") + PICTORAND_CONVERTER + " --info " + shellQuote(file)
                                          + " 2>&1",
                                      &output),
                  0)
            << output;
        for (const std::string other : {"libheif", "libavif", "libjxl", "libQt6Gui"})
            EXPECT_EQ(output.find("file=" + other) != std::string::npos, other == library) << file << ": " << other;
    }
}

} // namespace
} // namespace pictorand
