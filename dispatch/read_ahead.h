#pragma once
// A picture read on a worker thread while the viewer is still starting (the
// GUI toolkit, the window and its menus take about as long as decoding a
// photo), handed to the display load when it asks for that same file.

#include "core/codec_registry.h"
#include "core/image_block.h"
#include "core/image_format.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pictorand {

class ReadAhead {
public:
    struct Result {
        ImageBlock block;
        std::string message;     // the reader's words on failure
        std::string compression; // the reader's; empty: the format's text
        int quarterTurnsClockwise = 0; // as the reader reported it
        int orientation = 1;              // as the reader reported it
        std::vector<uint8_t> iccProfile;  // as the reader reported it
        std::string warning;              // the reader's words about a partly read picture
        int64_t milliseconds = 0; // time the reader took
    };

    // Starts reading `path` when its format's reader needs nothing but the
    // file and the greyscale flag (no chooser, no pages, no frames, no
    // overview, no media); null otherwise. The read assumes a true-colour
    // display: a display load that asks for other parameters reads anew.
    static std::unique_ptr<ReadAhead> start(const std::string& path, bool loadGreyscale,
                                            const CodecRegistry& registry = CodecRegistry::instance());

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    // Waits for the worker.
    ~ReadAhead();

    // Formats whose reads may be done ahead.
    static bool formatQualifies(ImageFormat format);

    // True when the read of `path` has finished and is still to be taken: a
    // load that takes it has no long work to do.
    bool ready(const std::string& path) const;

    // The result, if the read was for exactly this format and request; waits
    // for the worker. Answers once: a later load must read the file as it is
    // then, so later calls return nothing whatever the first one got.
    std::optional<Result> take(ImageFormat format, const ReadRequest& request);

private:
    ReadAhead() = default;

    ImageFormat m_format = ImageFormat::Jpeg;
    ReadRequest m_request;
    Result m_result;
    bool m_taken = false;
    std::atomic<bool> m_done{false};
    std::thread m_worker;
};

} // namespace pictorand
