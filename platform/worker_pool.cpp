#include "platform/worker_pool.h"

#include <algorithm>
#include <csignal>
#include <utility>

namespace pictorand {

namespace {

using Clock = std::chrono::steady_clock;

// Starting takes a worker's libraries and its set-up; a worker that has not
// said hello by then is not coming.
constexpr std::chrono::seconds kStartPatience{20};
constexpr uint64_t kLongestHello = 4096;

} // namespace

WorkerPool::WorkerPool(WorkerPoolSettings settings) : m_settings(std::move(settings)), m_spares(m_settings.spares)
{
    // Spares start on a thread of their own, so that neither the caller that
    // needs a worker now nor the one that just lost one waits for it.
    m_starter = std::thread([this] { startSpares(); });
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard guard(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    m_starter.join();
}

std::unique_ptr<WorkerProcess> WorkerPool::startOne(std::string& error)
{
    std::unique_ptr<WorkerProcess> worker = WorkerProcess::start(m_settings.program, m_settings.arguments, error);
    if (!worker)
        return nullptr;
    ChannelMessage hello;
    const auto received = worker->channel().receive(hello, kLongestHello, Clock::now() + kStartPatience);
    if (received != Channel::Received::Message) {
        const WorkerEnd end = worker->end();
        error = m_settings.program + (end.signalled ? " ended by signal " : " ended with status ")
            + std::to_string(end.code) + " before it was ready";
        return nullptr;
    }
    std::lock_guard guard(m_lock);
    if (m_confinement.empty())
        m_confinement.assign(hello.bytes.begin(), hello.bytes.end());
    return worker;
}

void WorkerPool::startSpares()
{
    std::unique_lock guard(m_lock);
    for (;;) {
        m_changed.wait(guard, [&] {
            return m_closing || (!m_broken && static_cast<int>(m_idle.size()) < m_spares);
        });
        if (m_closing)
            return;
        m_starting = true;
        guard.unlock();
        std::string error;
        std::unique_ptr<WorkerProcess> worker = startOne(error);
        guard.lock();
        m_starting = false;
        // After a failed start, no more spares until a job has started a
        // worker itself: the program is missing or broken, and jobs say so.
        m_broken = !worker;
        if (worker)
            m_idle.push_back({std::move(worker), 0});
        m_changed.notify_all();
    }
}

WorkerPool::Worker WorkerPool::acquire(JobEnd& end)
{
    std::unique_lock guard(m_lock);
    // A spare on its way is faster to wait for than a new one to start.
    m_changed.wait(guard, [&] { return !m_idle.empty() || !m_starting || m_closing; });
    if (!m_idle.empty()) {
        Worker worker = std::move(m_idle.back());
        m_idle.pop_back();
        m_changed.notify_all(); // the starter makes a new spare
        return worker;
    }
    guard.unlock();
    std::string error;
    Worker worker{startOne(error), 0};
    if (!worker.process) {
        end.fault = WorkerFault::CouldNotStart;
        end.detail = error;
        return worker;
    }
    guard.lock();
    if (m_broken) {
        m_broken = false;
        m_changed.notify_all();
    }
    return worker;
}

void WorkerPool::release(Worker worker)
{
    // A worker past its share is ended as it goes; a spare takes its place.
    if (worker.jobs >= m_settings.jobsPerWorker
        || worker.process->cpuMilliseconds() >= m_settings.cpuBudgetMilliseconds)
        return;
    std::lock_guard guard(m_lock);
    // Jobs that run side by side (a batch's) each bring a worker back, often
    // before any of them takes the next: keep as many as ever ran at once,
    // and one more than the spares. Ending one would have the next pair start
    // a fresh worker, whose libraries and first picture's pages all cost anew.
    if (!m_closing && static_cast<int>(m_idle.size()) < std::max(m_spares + 1, m_mostBusy))
        m_idle.push_back(std::move(worker));
    m_changed.notify_all();
}

JobEnd WorkerPool::faultOf(WorkerProcess& worker, Channel::Received received)
{
    JobEnd end;
    if (received == Channel::Received::TimedOut || received == Channel::Received::TooLong) {
        worker.end();
        end.fault = received == Channel::Received::TimedOut ? WorkerFault::TooLong : WorkerFault::Garbled;
        return end;
    }
    const WorkerEnd ended = worker.endWithin(std::chrono::seconds(2));
    if (ended.signalled) {
        end.signal = ended.code;
        // The processor limit sends SIGXCPU, then SIGKILL a second later.
        end.fault = ended.code == SIGSYS                           ? WorkerFault::ForbiddenCall
            : ended.code == SIGXCPU || ended.code == SIGKILL ? WorkerFault::TooLong
                                                             : WorkerFault::Crashed;
    } else {
        end.fault = ended.code == kWorkerExitOutOfMemory ? WorkerFault::OutOfMemory : WorkerFault::Garbled;
        end.detail = "exit " + std::to_string(ended.code);
    }
    return end;
}

void WorkerPool::keepSpares(int spares)
{
    {
        std::lock_guard guard(m_lock);
        m_spares = std::max(0, spares);
    }
    m_changed.notify_all();
}

int WorkerPool::spares()
{
    std::lock_guard guard(m_lock);
    return m_spares;
}

void WorkerPool::abandonJobs()
{
    std::vector<Worker> idle; // ended as this goes, outside the lock
    {
        std::lock_guard guard(m_lock);
        m_closing = true;
        // The job's own thread reaps its worker and reports it.
        for (WorkerProcess* busy : m_busy)
            ::kill(busy->pid(), SIGKILL);
        idle = std::move(m_idle);
    }
    m_changed.notify_all();
}

JobEnd WorkerPool::run(std::span<const uint8_t> request, std::span<const int> descriptors, const Taker& take)
{
    JobEnd end;
    {
        std::lock_guard guard(m_lock);
        if (m_closing) {
            end.fault = WorkerFault::CouldNotStart;
            end.detail = "the program is ending";
            return end;
        }
    }
    Worker worker = acquire(end);
    if (!worker.process)
        return end;
    WorkerProcess* const process = worker.process.get();
    {
        std::lock_guard guard(m_lock);
        m_busy.push_back(process);
        m_mostBusy = std::max(m_mostBusy, static_cast<int>(m_busy.size()));
    }
    // Off the list before the worker is reaped or let go, so that
    // abandonJobs never signals a process number that may be another's.
    struct Done {
        WorkerPool& pool;
        WorkerProcess* process;
        void now()
        {
            std::lock_guard guard(pool.m_lock);
            std::erase(pool.m_busy, std::exchange(process, nullptr));
        }
        // Before the worker itself goes, should anything throw.
        ~Done()
        {
            if (process)
                now();
        }
    } done{*this, process};
    ++worker.jobs;
    if (!worker.process->channel().send(request, descriptors)) {
        done.now();
        return faultOf(*worker.process, Channel::Received::Broken);
    }
    ChannelMessage answer;
    const auto received =
        worker.process->channel().receive(answer, m_settings.longestAnswer, Clock::now() + m_settings.wallLimit);
    if (received != Channel::Received::Message) {
        done.now();
        return faultOf(*worker.process, received);
    }
    if (!take(answer, *worker.process)) {
        done.now();
        worker.process->end();
        end.fault = WorkerFault::Garbled;
        return end;
    }
    // An empty message lets the worker free what its answer pointed at.
    const bool kept = worker.process->channel().send({});
    done.now();
    if (kept)
        release(std::move(worker));
    return end;
}

std::string WorkerPool::confinement()
{
    JobEnd end;
    {
        std::lock_guard guard(m_lock);
        if (!m_confinement.empty())
            return m_confinement;
    }
    if (Worker worker = acquire(end); worker.process)
        release(std::move(worker));
    std::lock_guard guard(m_lock);
    return m_confinement;
}

} // namespace pictorand
