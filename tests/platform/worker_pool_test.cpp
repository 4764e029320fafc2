// The pool's one promise: a job that ends in anything but an answer ends its
// worker, says why, and the next job runs in a fresh worker; an answered job
// leaves its worker for the next.
#include "platform/worker_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <latch>
#include <set>
#include <thread>

namespace pictorand {
namespace {

const std::string kProbe = std::string(PICTORAND_BINARY_DIR) + "/tests/confinement_probe";

WorkerPoolSettings probeSettings()
{
    WorkerPoolSettings settings;
    settings.program = kProbe;
    settings.arguments = {std::to_string(uint64_t(4) << 30), "2"};
    settings.wallLimit = std::chrono::milliseconds(700);
    return settings;
}

// The probe's answer, or "" when the job ended otherwise.
std::string ask(WorkerPool& pool, const std::string& request, JobEnd* end = nullptr, bool accept = true)
{
    std::string answer;
    const JobEnd ended = pool.run({reinterpret_cast<const uint8_t*>(request.data()), request.size()}, {},
                                  [&](ChannelMessage& message, WorkerProcess&) {
                                      answer.assign(message.bytes.begin(), message.bytes.end());
                                      return accept;
                                  });
    if (end)
        *end = ended;
    return ended.fault == WorkerFault::None ? answer : "";
}

TEST(WorkerPool, EveryFaultEndsItsWorkerAndTheNextJobGetsAFreshOne)
{
    setenv("ASAN_OPTIONS", "handle_segv=0:detect_leaks=0", 1);
    WorkerPool pool(probeSettings());
    const std::string first = ask(pool, "pid");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(ask(pool, "pid"), first) << "an answered job keeps its worker";
    EXPECT_NE(pool.confinement().find("system-call filter"), std::string::npos) << pool.confinement();

    const struct {
        const char* request;
        bool accept;
        WorkerFault fault;
        int signal;
    } cases[] = {
        {"crash", true, WorkerFault::Crashed, SIGSEGV},
        {"read /etc/passwd", true, WorkerFault::ForbiddenCall, SIGSYS},
        {"spin", true, WorkerFault::TooLong, 0},
        {"pid", false, WorkerFault::Garbled, 0},
    };
    std::string before = first;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        JobEnd end;
        ask(pool, c.request, &end, c.accept);
        EXPECT_EQ(end.fault, c.fault);
        if (c.signal) {
            EXPECT_EQ(end.signal, c.signal);
        }
        const std::string next = ask(pool, "pid");
        ASSERT_FALSE(next.empty());
        EXPECT_NE(next, before) << "the faulty worker was used again";
        before = next;
    }
}

// A program on its way out does not wait for the jobs under way.
TEST(WorkerPool, AbandonedJobsEndAtOnceAndNoMoreStart)
{
    WorkerPoolSettings settings = probeSettings();
    settings.wallLimit = std::chrono::seconds(20);
    WorkerPool pool(settings);
    ASSERT_FALSE(ask(pool, "pid").empty());
    JobEnd spun;
    const auto start = std::chrono::steady_clock::now();
    std::thread job([&] { ask(pool, "spin", &spun); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    pool.abandonJobs();
    job.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(spun.fault, WorkerFault::None);
    JobEnd later;
    ask(pool, "pid", &later);
    EXPECT_EQ(later.fault, WorkerFault::CouldNotStart);
}

TEST(WorkerPool, AMissingProgramIsSaid)
{
    WorkerPoolSettings settings = probeSettings();
    settings.program = "/nonexistent/pictorand32-decoder";
    WorkerPool pool(settings);
    JobEnd end;
    ask(pool, "pid", &end);
    EXPECT_EQ(end.fault, WorkerFault::CouldNotStart);
    EXPECT_NE(end.detail.find("No such file"), std::string::npos) << end.detail;
}

// Jobs side by side (a batch's) get their workers back, however their
// answers and next jobs interleave: no worker is started for the next pair.
TEST(WorkerPool, JobsSideBySideKeepTheirWorkers)
{
    WorkerPoolSettings settings = probeSettings();
    settings.spares = 0;
    WorkerPool pool(settings);
    auto pair = [&] {
        std::latch both(2);
        std::string pids[2];
        auto job = [&](std::string& pid) {
            const std::string request = "pid";
            pool.run({reinterpret_cast<const uint8_t*>(request.data()), request.size()}, {},
                     [&](ChannelMessage& message, WorkerProcess&) {
                         both.arrive_and_wait(); // both workers busy at once
                         pid.assign(message.bytes.begin(), message.bytes.end());
                         return true;
                     });
        };
        std::thread other(job, std::ref(pids[1]));
        job(pids[0]);
        other.join();
        return std::set<std::string>{pids[0], pids[1]};
    };
    const std::set<std::string> first = pair();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(pair(), first);
}

} // namespace
} // namespace pictorand
