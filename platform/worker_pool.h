#pragma once
// Decoder workers started ahead and reused. A job is one request and one
// answer; a worker that answered is kept for the next job until it has used
// its processor budget or served its share of jobs, and a worker that did
// anything else (crashed, was stopped by its filter or its limits, took too
// long, said something that does not parse) is ended and replaced, so that no
// job ever runs in a worker a hostile file has had its way with.

#include "platform/worker_process.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pictorand {

// How a job ended when it did not end with an answer.
enum class WorkerFault {
    None,
    CouldNotStart,  // no worker program, or it would not start
    Crashed,        // ended by a signal (the signal is in JobEnd::signal)
    ForbiddenCall,  // ended by its system-call filter
    OutOfMemory,    // gave up on an allocation its memory limit refused
    TooLong,        // over the wall-clock limit, or its processor limit
    Garbled,        // an answer that is not one, or one the taker refused
};

struct JobEnd {
    WorkerFault fault = WorkerFault::None;
    int signal = 0;     // for Crashed
    std::string detail; // why a worker could not start
};

struct WorkerPoolSettings {
    std::string program;
    std::vector<std::string> arguments;
    std::chrono::milliseconds wallLimit{30000};
    uint64_t longestAnswer = 1 << 26;  // bytes of one answer message
    uint64_t cpuBudgetMilliseconds = 20000; // a worker over it is not reused
    int jobsPerWorker = 500;
    int spares = 1;                          // idle workers kept started
};

// The exit status a worker uses when an allocation failed past its limit.
inline constexpr int kWorkerExitOutOfMemory = 86;

class WorkerPool {
public:
    explicit WorkerPool(WorkerPoolSettings settings);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Called with the worker's answer while the worker still holds its memory
    // (so that the taker can read pixels out of it); returns false when the
    // answer is not acceptable, which counts as Garbled.
    using Taker = std::function<bool(ChannelMessage& answer, WorkerProcess& worker)>;

    // Runs one job. Safe to call from several threads at once: each job has a
    // worker of its own.
    JobEnd run(std::span<const uint8_t> request, std::span<const int> descriptors, const Taker& take);

    // How many idle workers to keep started from now on (0: start none
    // until a job needs one).
    void keepSpares(int spares);
    int spares();

    // For a program on its way out: kills the workers of jobs under way
    // (their jobs end unanswered) and starts no more; later jobs fail at once.
    void abandonJobs();

    // What the workers say of the walls around them (each one's first
    // message); empty when no worker can be started.
    std::string confinement();

private:
    struct Worker {
        std::unique_ptr<WorkerProcess> process;
        int jobs = 0; // done so far
    };
    Worker acquire(JobEnd& end);
    std::unique_ptr<WorkerProcess> startOne(std::string& error);
    void release(Worker worker);
    void startSpares();
    JobEnd faultOf(WorkerProcess& worker, Channel::Received received);

    const WorkerPoolSettings m_settings;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Worker> m_idle;
    std::string m_confinement;
    bool m_starting = false;
    bool m_broken = false; // the last start failed
    bool m_closing = false;
    int m_spares = 1;
    std::vector<WorkerProcess*> m_busy; // the workers of jobs under way
    int m_mostBusy = 0;                 // the most jobs ever under way at once
    std::thread m_starter; // keeps the spares started
};

} // namespace pictorand
