#pragma once
// Items made on several threads and used in order on the calling one. The
// savers of big pictures compress pieces on every core while the calling
// thread writes the finished pieces to the file in file order; between
// writes it compresses pieces itself, so one thread alone still gets through.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace pictorand {

// Makes items 0 .. count - 1 into the slots of `ring` (item i in slot
// i % ring.size(), so at most ring.size() items are made ahead of the one to
// use next) on `threads` threads, the calling one included, and hands each
// item to `use` on the calling thread, in order.
//  - `makeWorker()` gives a thread its own state, a pointer-like value that
//    is null when it cannot be made: a helper thread then stays out, while
//    the calling thread fails the run;
//  - `make(worker, index, slot)` fills a slot: true when it succeeded;
//  - `use(index, slot)`: true when it succeeded.
// Returns false when anything failed or threw; nothing more is made or used
// after the first failure. Fewer threads than asked for run when some cannot
// be started.
template <typename Slot, typename MakeWorker, typename Make, typename Use>
bool runOrderedPipeline(uint64_t count, unsigned threads, std::span<Slot> ring, MakeWorker makeWorker, Make make, Use use)
{
    if (count == 0)
        return true;
    if (ring.empty())
        return false;
    std::vector<uint8_t> ready;
    try {
        ready.assign(ring.size(), 0);
    } catch (...) {
        return false;
    }
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t nextMake = 0;
    uint64_t nextUse = 0;
    bool failed = false;

    auto fail = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        failed = true;
        changed.notify_all();
    };
    // With the lock held: makes the next item when the ring has room for
    // it. False when there was nothing to make.
    auto makeNext = [&](auto& worker, std::unique_lock<std::mutex>& lock) {
        if (failed || nextMake >= count || nextMake >= nextUse + ring.size())
            return false;
        const uint64_t index = nextMake++;
        const size_t at = static_cast<size_t>(index % ring.size());
        lock.unlock();
        bool made = false;
        try {
            made = make(worker, index, ring[at]);
        } catch (...) {
            made = false;
        }
        lock.lock();
        ready[at] = made;
        failed = failed || !made;
        changed.notify_all();
        return true;
    };

    std::vector<std::thread> helpers;
    try {
        helpers.reserve(threads);
    } catch (...) {
        threads = 1;
    }
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back([&] {
                try {
                    auto worker = makeWorker();
                    if (!worker)
                        return; // the others carry on without this one
                    std::unique_lock<std::mutex> lock(mutex);
                    while (!failed && nextMake < count)
                        if (!makeNext(worker, lock))
                            changed.wait(lock);
                } catch (...) {
                    fail();
                }
            });
        } catch (...) {
            break; // fewer threads then
        }
    }

    bool ok = false;
    try {
        auto worker = makeWorker();
        std::unique_lock<std::mutex> lock(mutex);
        failed = failed || !worker;
        while (!failed && nextUse < count) {
            const size_t at = static_cast<size_t>(nextUse % ring.size());
            if (ready[at]) {
                lock.unlock();
                const bool used = use(nextUse, ring[at]);
                lock.lock();
                ready[at] = 0;
                failed = failed || !used;
                ++nextUse;
                changed.notify_all();
            } else if (!makeNext(worker, lock)) {
                changed.wait(lock);
            }
        }
        ok = !failed;
        failed = true; // sends idle helpers home
        changed.notify_all();
    } catch (...) {
        ok = false;
        fail();
    }
    for (std::thread& helper : helpers)
        helper.join();
    return ok;
}

} // namespace pictorand
