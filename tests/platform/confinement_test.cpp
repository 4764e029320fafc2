// The walls a worker puts up around itself, proved with a real process that
// tries each forbidden thing: the kernel ends it at the attempt, and the
// thing is provably not done (the file never opened, no connection reached
// the test's own listening socket, no program ran).
#include "platform/confinement.h"
#include "platform/worker_process.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pictorand {
namespace {

using testing::ScratchDir;

const std::string kProbe = std::string(PICTORAND_BINARY_DIR) + "/tests/confinement_probe";
constexpr uint64_t kGiB = uint64_t(1) << 30;

class Probe {
public:
    explicit Probe(uint64_t addressSpace = 4 * kGiB, uint64_t cpuSeconds = 1)
    {
        std::string error;
        m_worker = WorkerProcess::start(kProbe, {std::to_string(addressSpace), std::to_string(cpuSeconds)}, error);
        EXPECT_TRUE(m_worker) << error;
        if (m_worker)
            walls = next();
    }
    // The probe's answer, or how it ended when it gave none.
    std::string ask(const std::string& request, int handed = -1)
    {
        std::vector<int> descriptors;
        if (handed >= 0)
            descriptors.push_back(handed);
        if (!m_worker->channel().send({reinterpret_cast<const uint8_t*>(request.data()), request.size()}, descriptors))
            return "not sent";
        return next();
    }
    std::string walls;

private:
    std::string next()
    {
        ChannelMessage answer;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        if (m_worker->channel().receive(answer, 4096, deadline) == Channel::Received::Message)
            return std::string(answer.bytes.begin(), answer.bytes.end());
        const WorkerEnd end = m_worker->endWithin(std::chrono::seconds(5));
        return end.signalled ? "signal " + std::to_string(end.code) : "exit " + std::to_string(end.code);
    }
    std::unique_ptr<WorkerProcess> m_worker;
};

// Sanitizer builds would report a crash by reading their own maps, which
// the filter forbids; the tests want the crash itself.
class ConfinedWorker : public ::testing::Test {
protected:
    void SetUp() override { setenv("ASAN_OPTIONS", "handle_segv=0:detect_leaks=0", 1); }
};

TEST_F(ConfinedWorker, EveryWallStandsAndWhatADecoderNeedsStillWorks)
{
    Probe probe;
    EXPECT_EQ(probe.walls.find("refused"), std::string::npos) << probe.walls;
    EXPECT_NE(probe.walls.find("namespaces, system-call filter"), std::string::npos) << probe.walls;
    EXPECT_EQ(probe.ask("thread"), "done");
    ScratchDir dir;
    testing::writeFile(dir.file("picture"), {1, 2, 3});
    const int picture = ::open(dir.file("picture").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(probe.ask("nothing", picture), "unknown +handed");
    ::close(picture);
}

TEST_F(ConfinedWorker, OpeningAFileEndsTheWorkerBeforeTheFileIsOpened)
{
    ScratchDir dir;
    const std::string secret = dir.file("id_rsa");
    testing::writeFile(secret, {'k', 'e', 'y'});
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, secret.c_str(), IN_OPEN | IN_ACCESS), 0);
    Probe probe;
    EXPECT_EQ(probe.ask("read " + secret), "signal " + std::to_string(SIGSYS));
    char events[256];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "the file was opened";
    ::close(watch);
}

TEST_F(ConfinedWorker, NoSocketNoProgramNoConnection)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ScratchDir dir;
    const std::string marker = dir.file("ran");
    const std::string killed = "signal " + std::to_string(SIGSYS);
    {
        Probe probe;
        EXPECT_EQ(probe.ask("connect " + std::to_string(ntohs(address.sin_port))), killed);
    }
    {
        Probe probe;
        EXPECT_EQ(probe.ask("run /bin/sh -c 'touch " + marker + "'"), killed);
    }
    EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "a connection came in";
    EXPECT_FALSE(testing::fileExists(marker)) << "a program ran";
    ::close(listener);
}

TEST_F(ConfinedWorker, MemoryAndProcessorTimeAreLimited)
{
    {
        Probe probe(kGiB, 1);
        if (probe.walls.find("memory limit") != std::string::npos) {
            EXPECT_EQ(probe.ask("allocate " + std::to_string(2 * kGiB)), "refused: Cannot allocate memory");
        }
        EXPECT_EQ(probe.ask("spin"), "signal " + std::to_string(SIGXCPU));
    }
    Probe probe;
    EXPECT_EQ(probe.ask("crash"), "signal " + std::to_string(SIGSEGV));
}

} // namespace
} // namespace pictorand
