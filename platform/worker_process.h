#pragma once
// A worker process and the stream socket between it and its parent. Messages
// are length-prefixed byte strings that may carry descriptors; the parent
// reads a worker's memory straight into its own buffers. The parent treats
// everything a worker says as hostile: a message longer than the receiver
// allows, a frame cut short or an answer that comes too late ends the
// exchange, and the worker's memory is only ever read, never trusted to hold
// what it claims.

#include "platform/file_descriptor.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pictorand {

struct ChannelMessage {
    std::vector<uint8_t> bytes;
    std::vector<FileDescriptor> descriptors;
};

// One end of the socket. Writes never raise SIGPIPE: a worker that has gone
// makes a send fail, nothing more.
class Channel {
public:
    explicit Channel(FileDescriptor socket) : m_socket(std::move(socket)) {}
    int descriptor() const { return m_socket.get(); }

    bool send(std::span<const uint8_t> bytes, std::span<const int> descriptors = {});

    enum class Received { Message, Closed, TimedOut, TooLong, Broken };
    // The next message. `deadline` empty: wait as long as it takes.
    Received receive(ChannelMessage& message, uint64_t longest,
                     std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

private:
    bool readFully(uint8_t* into, size_t size, std::optional<std::chrono::steady_clock::time_point> deadline,
                   Received& failure, std::vector<FileDescriptor>* descriptors);

    FileDescriptor m_socket;
};

// How a worker ended.
struct WorkerEnd {
    bool signalled = false;
    int code = 0; // the exit status, or the signal
};

class WorkerProcess {
public:
    // Starts `program` with `arguments`, its end of the socket on descriptor
    // kWorkerSocket and no other descriptor but the standard three. Null with
    // `error` when it cannot be started.
    static std::unique_ptr<WorkerProcess> start(const std::string& program, const std::vector<std::string>& arguments,
                                                std::string& error);
    static constexpr int kWorkerSocket = 3;

    ~WorkerProcess(); // kills and reaps a worker still running
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    Channel& channel() { return m_channel; }
    pid_t pid() const { return m_pid; }

    // Kills the worker (SIGKILL) unless it has ended, and says how it ended.
    WorkerEnd end();
    // Waits up to `patience` for the worker to end by itself (after its
    // socket closed, say), then as end().
    WorkerEnd endWithin(std::chrono::milliseconds patience);

    // Copies into.size() bytes from `address` in the worker's memory. False
    // with errno's value in `error` when the kernel refuses (EPERM where
    // reading another process's memory is forbidden) or the range is not
    // wholly the worker's (EFAULT).
    bool readMemory(uint64_t address, std::span<uint8_t> into, int& error) const;

    // The processor time the worker has used so far, in milliseconds.
    uint64_t cpuMilliseconds() const;

private:
    WorkerProcess(pid_t pid, FileDescriptor socket) : m_channel(std::move(socket)), m_pid(pid) {}

    Channel m_channel;
    pid_t m_pid = -1;
    std::optional<WorkerEnd> m_end;
};

} // namespace pictorand
