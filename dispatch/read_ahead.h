#pragma once
// Pictures read on a worker thread before the viewer asks for them: the
// start-up file while the GUI toolkit and the window come up, then the
// neighbours of the picture on screen in the direction of travel, so that
// stepping to the next or previous file shows a picture already decoded.
// The display load takes a result instead of reading when it matches.
//
// What is kept is bounded by a memory budget. A new wish replaces the old
// one: reads not yet begun are dropped and the newest request wins, so a key
// held down never queues a backlog. A picture whose file changed on disk
// (size or modification time) since it was read is not handed out.

#include "core/codec_registry.h"
#include "core/image_block.h"
#include "core/image_format.h"

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
    struct Result {
        DecodedImage decoded;     // the reader's picture and findings; no block on failure
        std::string message;      // the reader's words on failure
        int64_t milliseconds = 0; // time the reader took
    };

    // A worker that keeps at most `budgetBytes` of pictures.
    explicit ReadAhead(uint64_t budgetBytes, const CodecRegistry& registry = CodecRegistry::instance());
    // Starts reading `path` when its format's reader needs nothing but the
    // file and the greyscale flag (no chooser, no pages, no frames, no
    // overview, no media); null otherwise.
    static std::unique_ptr<ReadAhead> start(const std::string& path, bool loadGreyscale,
                                            const CodecRegistry& registry = CodecRegistry::instance());

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    // Waits for the read under way.
    ~ReadAhead();

    // Formats whose reads may be done ahead.
    static bool formatQualifies(ImageFormat format);
    // A quarter of the physical memory, at most 1 GiB.
    static uint64_t defaultBudget();

    // The files to have ready, most wanted first, replacing the last wish:
    // pictures kept for files no longer wanted are let go. Reads assume a
    // true-colour display and no preview; a load that asks otherwise reads
    // anew.
    void request(const std::vector<std::string>& paths, bool loadGreyscale);

    // True when the read of `path` has finished and is still to be taken: a
    // load that takes it has no long work to do.
    bool ready(const std::string& path) const;

    // The result, if one was read for exactly this format and request and the
    // file has not changed since; waits while that file is being read.
    // Answers once: the result is let go whether it matched or not, and a
    // later load reads the file as it is then.
    std::optional<Result> take(ImageFormat format, const ReadRequest& request);

    // What the kept pictures' blocks take.
    uint64_t keptBytes() const;

private:
    struct FileStamp {
        int64_t size = -1;
        int64_t modifiedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    struct Entry {
        std::string path;
        ImageFormat format = ImageFormat::Jpeg;
        bool greyscale = false;
        FileStamp stamp;
        Result result;
        uint64_t bytes = 0;
    };
    static FileStamp stampOf(const std::string& path);
    bool wanted(const std::string& path) const;
    void work();

    const CodecRegistry& m_registry;
    const uint64_t m_budget;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_queue;  // still to read
    std::vector<std::string> m_wanted; // the last wish
    bool m_greyscale = false;
    std::vector<Entry> m_kept;
    std::string m_reading; // under way, empty when none
    bool m_stop = false;
    std::thread m_worker;
};

} // namespace pictorand
