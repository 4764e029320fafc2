// Loads in a confined worker give what the same load gives in process, for
// every picture file the project keeps and every purpose; and what a worker
// answers is read as hostilely as a file.
#include "dispatch/confined_load.h"
#include "dispatch/load_wire.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pictorand {
namespace {

void expectSameBlock(const ImageBlock& a, const ImageBlock& b)
{
    ASSERT_EQ(bool(a), bool(b));
    if (a) {
        EXPECT_TRUE(a.size() == b.size() && std::equal(a.data(), a.data() + a.size(), b.data()));
    }
}

bool blocksDiffer(const ImageBlock& a, const ImageBlock& b)
{
    return !(a.size() == b.size() && std::equal(a.data(), a.data() + a.size(), b.data()));
}

void expectSameOutcome(const LoadOutcome& confined, const LoadOutcome& here)
{
    EXPECT_EQ(confined.kind, here.kind);
    EXPECT_EQ(confined.format, here.format);
    EXPECT_EQ(confined.misnamedAs, here.misnamedAs);
    expectSameBlock(confined.block, here.block);
    EXPECT_EQ(confined.compression, here.compression);
    EXPECT_EQ(confined.originalWidth, here.originalWidth);
    EXPECT_EQ(confined.originalHeight, here.originalHeight);
    EXPECT_EQ(confined.originalBitCount, here.originalBitCount);
    EXPECT_EQ(confined.truncation, here.truncation);
    EXPECT_EQ(confined.orientationApplied, here.orientationApplied);
    EXPECT_EQ(confined.profileApplied, here.profileApplied);
    EXPECT_EQ(confined.pageOffsets, here.pageOffsets);
    EXPECT_EQ(confined.iconChoices, here.iconChoices);
    ASSERT_EQ(confined.frames.size(), here.frames.size());
    for (size_t i = 0; i < here.frames.size(); ++i) {
        expectSameBlock(confined.frames[i].block, here.frames[i].block);
        EXPECT_EQ(confined.frames[i].info.delay, here.frames[i].info.delay);
        EXPECT_EQ(confined.frames[i].ownDelayMs, here.frames[i].ownDelayMs);
    }
    EXPECT_EQ(confined.loopCount, here.loopCount);
    ASSERT_EQ(confined.drawing != nullptr, here.drawing != nullptr);
    if (here.drawing) {
        EXPECT_EQ(confined.drawing->commands.size(), here.drawing->commands.size());
        EXPECT_EQ(confined.drawing->width, here.drawing->width);
    }
    EXPECT_EQ(confined.failedAt, here.failedAt);
    EXPECT_EQ(confined.failure, here.failure);
}

std::vector<std::string> everyKeptPicture()
{
    std::vector<std::string> files;
    for (const char* folder : {"samples", "tests", "fuzz/corpus"})
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(std::string(PICTORAND_SOURCE_DIR) + "/" + folder)) {
            const std::string extension = entry.path().extension().string();
            if (entry.is_regular_file() && extension != ".cpp" && extension != ".h" && extension != ".txt"
                && extension != ".sh" && extension != ".py" && extension != ".md" && extension != ".svg")
                files.push_back(entry.path().string());
        }
    return files;
}

class ConfinedLoad : public ::testing::Test {
protected:
    void SetUp() override { decodeInWorkers({}); }
    void TearDown() override { decodeInThisProcess(); }
};

TEST_F(ConfinedLoad, EveryKeptFileLoadsAsInProcess)
{
    EXPECT_NE(decoderConfinementText().find("decoders run confined: namespaces, system-call filter"),
              std::string::npos)
        << decoderConfinementText();
    for (const std::string& file : everyKeptPicture()) {
        for (LoadPurpose purpose : {LoadPurpose::View, LoadPurpose::Batch}) {
            SCOPED_TRACE(file);
            const LoadRequest request{{file}, purpose, {}};
            const LoadOutcome confined = load(request);
            expectSameOutcome(confined, loadInThisProcess(request));
        }
    }
    // The read-ahead's ask: the formats' animation checks work confined.
    for (const char* animated : {"three_frames.webp", "three_frames.png", "three_frames.avif", "three_frames.jxl"}) {
        LoadRequest ahead{{std::string(PICTORAND_SOURCE_DIR) + "/tests/dispatch/animations/" + animated},
                          LoadPurpose::View, {}};
        ahead.options.leaveAnimationsUnread = true;
        EXPECT_EQ(load(ahead).kind, LoadOutcome::Kind::Unread) << animated;
    }
}

// The display's profile crosses to the worker, which converts to it as a
// load here does, and falls back to sRGB there as here when Little CMS
// cannot read it.
TEST_F(ConfinedLoad, TheDisplayProfileConvertsInTheWorkerAsHere)
{
    const std::string profiles = testing::kGhostscriptProfiles;
    REQUIRE_FILE(profiles + "rommrgb.icc", "libgs-common");
    const std::vector<uint8_t> display = testing::readFile(profiles + "rommrgb.icc");
    const std::vector<uint8_t> damaged(display.begin(), display.begin() + 200);
    const std::string source = PICTORAND_SOURCE_DIR;
    for (const std::string& file : {source + "/tests/fixtures/colour/rose-a98.jpg", source + "/samples/rose-24bit.bmp"})
        for (const std::vector<uint8_t>* profile : {&display, &damaged}) {
            SCOPED_TRACE(file);
            LoadRequest request{{file}, LoadPurpose::View, {}};
            request.options.displayProfile = *profile;
            const LoadOutcome confined = load(request);
            expectSameOutcome(confined, loadInThisProcess(request));
            request.options.displayProfile.clear();
            EXPECT_EQ(profile == &display, blocksDiffer(confined.block, loadInThisProcess(request).block));
        }
}

const std::string kHostileDecoder = std::string(PICTORAND_BINARY_DIR) + "/tests/hostile_decoder";

// A 2 x 2 greymap that the hostile decoder misbehaves on, or decodes when
// `command` is empty.
std::string greymap(const testing::ScratchDir& dir, const std::string& name, const std::string& command)
{
    std::string text = "P5\n" + (command.empty() ? "" : "# hostile: " + command + "\n") + "2 2\n255\n";
    text += std::string("\x10\x20\x30\x40", 4);
    const std::string path = dir.file(name);
    testing::writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
    return path;
}

class HostileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        DecoderWorkers workers;
        workers.program = kHostileDecoder;
        workers.wallLimit = std::chrono::seconds(2);
        decodeInWorkers(workers);
    }
    void TearDown() override { decodeInThisProcess(); }
    LoadOutcome loadFile(const std::string& path) { return load({{path}, LoadPurpose::View, {}}); }
    testing::ScratchDir dir;
};

// Each wall ends the load with its words, and the next load works.
TEST_F(HostileFile, EachMisdeedEndsItsLoadWithItsWordsAndTheNextLoadWorks)
{
    const bool memoryLimited = decoderConfinementText().find("memory limit") != std::string::npos;
    const struct {
        const char* command;
        std::string words;
    } cases[] = {
        {"crash", "the decoder stopped (signal " + std::to_string(SIGSEGV) + ")"},
        {"spin", kDecoderTooLong},
        // A sanitizer build has no memory limit to prove: there the worker
        // allocates until its wall clock runs out, or the machine does.
        {"allocate", memoryLimited ? kDecoderOutOfMemory : ""},
        {"open /etc/hostname", kDecoderForbiddenCall},
        {"connect 9", kDecoderForbiddenCall},
        {"run true", kDecoderForbiddenCall},
    };
    const std::string good = greymap(dir, "good.pgm", "");
    for (const auto& c : cases) {
        if (c.words.empty())
            continue;
        SCOPED_TRACE(c.command);
        const std::string hostile = greymap(dir, "hostile.pgm", c.command);
        const LoadOutcome outcome = loadFile(hostile);
        EXPECT_EQ(outcome.kind, LoadOutcome::Kind::Failed);
        EXPECT_EQ(loadFailureMessage(outcome), hostile + " : " + c.words);
        const LoadOutcome next = loadFile(good);
        ASSERT_EQ(next.kind, LoadOutcome::Kind::Picture) << loadFailureMessage(next);
        EXPECT_EQ(next.block.width(), 2);
    }
}

// What a misdeed would have done is provably not done: the file never
// opened, no connection reached the test's own listening socket, no program
// ran.
TEST_F(HostileFile, TheForbiddenThingsAreNotDone)
{
    const std::string secret = dir.file("id_rsa");
    testing::writeFile(secret, {'k', 'e', 'y'});
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, secret.c_str(), IN_OPEN | IN_ACCESS), 0);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string marker = dir.file("ran");

    loadFile(greymap(dir, "a.pgm", "open " + secret));
    loadFile(greymap(dir, "b.pgm", "connect " + std::to_string(ntohs(address.sin_port))));
    loadFile(greymap(dir, "c.pgm", "run touch " + marker));

    char events[256];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "the file was opened";
    EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "a connection came in";
    EXPECT_FALSE(testing::fileExists(marker)) << "a program ran";
    ::close(watch);
    ::close(listener);
}

} // namespace
} // namespace pictorand
