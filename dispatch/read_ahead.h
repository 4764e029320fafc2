#pragma once
// Pictures read on a worker thread before the viewer asks for them: the
// start-up file while the GUI toolkit and the window come up, then the
// neighbours of the picture on screen in the direction of travel, so that
// stepping to the next or previous file shows a picture already decoded.
// A load takes the outcome instead of reading when it asks for exactly the
// request that was loaded ahead.
//
// What is kept is bounded by a memory budget. A new wish replaces the old
// one: reads not yet begun are dropped and the newest request wins, so a key
// held down never queues a backlog. A picture whose file changed on disk
// (size or modification time) since it was read is not handed out.

#include "core/codec_registry.h"
#include "dispatch/load.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pictorand {

class ReadAhead {
public:
    // A worker that keeps at most `budgetBytes` of pictures.
    explicit ReadAhead(uint64_t budgetBytes, const CodecRegistry& registry = CodecRegistry::instance());
    // Starts the load of `request` when its file's format is one that loads
    // to a plain picture (no frames, pages, sheets, choices, media or
    // drawing); null otherwise.
    static std::unique_ptr<ReadAhead> start(const LoadRequest& request,
                                            const CodecRegistry& registry = CodecRegistry::instance());

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    // Waits for the load under way.
    ~ReadAhead();

    // Formats whose loads may be done ahead.
    static bool formatQualifies(ImageFormat format);
    // A quarter of the physical memory, at most 1 GiB.
    static uint64_t defaultBudget();

    // The loads to have ready, most wanted first, replacing the last wish:
    // outcomes kept for requests no longer wanted are let go.
    void request(const std::vector<LoadRequest>& wishes);

    // True when a load of `path` has finished and is still to be taken: a
    // load that takes it has no long work to do.
    bool ready(const std::string& path) const;

    // The outcome, if this very request was loaded ahead and the file has not
    // changed since; waits while it is being loaded. Answers once: the
    // outcome is let go whether it matched or not, and a later load reads
    // the file as it is then.
    std::optional<LoadOutcome> take(const LoadRequest& request);

    // What the kept pictures' blocks take.
    uint64_t keptBytes() const;

private:
    struct FileStamp {
        int64_t size = -1;
        int64_t modifiedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    struct Entry {
        LoadRequest request;
        FileStamp stamp;
        LoadOutcome outcome;
        uint64_t bytes = 0;
    };
    static FileStamp stampOf(const std::string& path);
    bool wanted(const LoadRequest& request) const;
    void work();

    const CodecRegistry& m_registry;
    const uint64_t m_budget;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<LoadRequest> m_queue;  // still to load
    std::vector<LoadRequest> m_wanted; // the last wish
    std::vector<Entry> m_kept;
    std::optional<LoadRequest> m_loading; // under way
    bool m_stop = false;
    std::thread m_worker;
};

// The outcome `ahead` holds for `request`, else a load of it now.
LoadOutcome loadOrTake(ReadAhead* ahead, const LoadRequest& request,
                       const CodecRegistry& registry = CodecRegistry::instance());

} // namespace pictorand
