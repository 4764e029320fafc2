#include "platform/worker_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pictorand {

namespace {

using Clock = std::chrono::steady_clock;

// Descriptors one message may carry.
constexpr size_t kMostDescriptors = 4;

int millisecondsUntil(std::optional<Clock::time_point> deadline)
{
    if (!deadline)
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

} // namespace

bool Channel::send(std::span<const uint8_t> bytes, std::span<const int> descriptors)
{
    if (bytes.size() > UINT32_MAX || descriptors.size() > kMostDescriptors)
        return false;
    uint8_t length[4];
    for (int i = 0; i < 4; ++i)
        length[i] = static_cast<uint8_t>(bytes.size() >> (8 * i));
    iovec pieces[2] = {{length, sizeof length}, {const_cast<uint8_t*>(bytes.data()), bytes.size()}};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostDescriptors)] = {};
    msghdr header{};
    header.msg_iov = pieces;
    header.msg_iovlen = 2;
    if (!descriptors.empty()) {
        header.msg_control = control;
        header.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
        std::memcpy(CMSG_DATA(rights), descriptors.data(), sizeof(int) * descriptors.size());
    }
    size_t total = sizeof length + bytes.size();
    size_t sent = 0;
    while (sent < total) {
        ssize_t wrote = ::sendmsg(m_socket.get(), &header, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        sent += static_cast<size_t>(wrote);
        // The descriptors went with the first bytes; go on with the rest.
        header.msg_control = nullptr;
        header.msg_controllen = 0;
        size_t skip = static_cast<size_t>(wrote);
        while (header.msg_iovlen && skip >= header.msg_iov[0].iov_len) {
            skip -= header.msg_iov[0].iov_len;
            ++header.msg_iov;
            --header.msg_iovlen;
        }
        if (header.msg_iovlen) {
            header.msg_iov[0].iov_base = static_cast<uint8_t*>(header.msg_iov[0].iov_base) + skip;
            header.msg_iov[0].iov_len -= skip;
        }
    }
    return true;
}

bool Channel::readFully(uint8_t* into, size_t size, std::optional<Clock::time_point> deadline, Received& failure,
                        std::vector<FileDescriptor>* descriptors)
{
    size_t got = 0;
    while (got < size) {
        pollfd ready{m_socket.get(), POLLIN, 0};
        const int polled = ::poll(&ready, 1, millisecondsUntil(deadline));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0) {
            failure = Received::TimedOut;
            return false;
        }
        if (polled < 0) {
            failure = Received::Broken;
            return false;
        }
        iovec piece{into + got, size - got};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostDescriptors)] = {};
        msghdr header{};
        header.msg_iov = &piece;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t read = ::recvmsg(m_socket.get(), &header, MSG_CMSG_CLOEXEC);
        if (read < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (read < 0) {
            failure = Received::Broken;
            return false;
        }
        // Descriptors are taken whenever they come, so none stays open in
        // this process unowned, but only the first piece of a message may
        // bring them.
        for (cmsghdr* part = CMSG_FIRSTHDR(&header); part; part = CMSG_NXTHDR(&header, part)) {
            if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS)
                continue;
            const size_t count = (part->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(part) + i * sizeof(int), sizeof fd);
                FileDescriptor owned(fd);
                if (descriptors && got == 0)
                    descriptors->push_back(std::move(owned));
            }
        }
        if (header.msg_flags & MSG_CTRUNC) {
            failure = Received::Broken;
            return false;
        }
        if (read == 0) {
            failure = got == 0 ? Received::Closed : Received::Broken;
            return false;
        }
        got += static_cast<size_t>(read);
    }
    return true;
}

Channel::Received Channel::receive(ChannelMessage& message, uint64_t longest, std::optional<Clock::time_point> deadline)
{
    message.bytes.clear();
    message.descriptors.clear();
    uint8_t length[4];
    Received failure = Received::Broken;
    if (!readFully(length, sizeof length, deadline, failure, &message.descriptors))
        return failure;
    const uint64_t size = uint64_t(length[0]) | uint64_t(length[1]) << 8 | uint64_t(length[2]) << 16
        | uint64_t(length[3]) << 24;
    if (size > longest)
        return Received::TooLong;
    message.bytes.resize(size);
    if (!readFully(message.bytes.data(), size, deadline, failure, nullptr))
        return failure == Received::Closed ? Received::Broken : failure;
    return Received::Message;
}

std::unique_ptr<WorkerProcess> WorkerProcess::start(const std::string& program,
                                                    const std::vector<std::string>& arguments, std::string& error)
{
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    FileDescriptor ours(sockets[0]);
    // Above the standard descriptors, so that moving it into place is a real
    // dup2 (which drops close-on-exec).
    FileDescriptor theirs(::fcntl(sockets[1], F_DUPFD_CLOEXEC, kWorkerSocket + 1));
    ::close(sockets[1]);
    if (theirs.get() < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs.get(), kWorkerSocket);
    posix_spawn_file_actions_addclosefrom_np(&actions, kWorkerSocket + 1);
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        error = program + ": " + std::strerror(spawned);
        return nullptr;
    }
    return std::unique_ptr<WorkerProcess>(new WorkerProcess(pid, std::move(ours)));
}

WorkerProcess::~WorkerProcess() { end(); }

WorkerEnd WorkerProcess::end()
{
    if (m_end)
        return *m_end;
    int status = 0;
    pid_t reaped = ::waitpid(m_pid, &status, WNOHANG);
    if (reaped == 0) {
        ::kill(m_pid, SIGKILL);
        while ((reaped = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    WorkerEnd end;
    if (reaped == m_pid && WIFSIGNALED(status))
        end = {true, WTERMSIG(status)};
    else if (reaped == m_pid && WIFEXITED(status))
        end = {false, WEXITSTATUS(status)};
    m_end = end;
    return end;
}

WorkerEnd WorkerProcess::endWithin(std::chrono::milliseconds patience)
{
    const auto deadline = Clock::now() + patience;
    while (!m_end && Clock::now() < deadline) {
        int status = 0;
        const pid_t reaped = ::waitpid(m_pid, &status, WNOHANG);
        if (reaped == m_pid) {
            m_end = WIFSIGNALED(status) ? WorkerEnd{true, WTERMSIG(status)} : WorkerEnd{false, WEXITSTATUS(status)};
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return end();
}

bool WorkerProcess::readMemory(uint64_t address, std::span<uint8_t> into, int& error) const
{
    size_t done = 0;
    while (done < into.size()) {
        iovec local{into.data() + done, into.size() - done};
        iovec remote{reinterpret_cast<void*>(static_cast<uintptr_t>(address + done)), into.size() - done};
        const ssize_t read = ::process_vm_readv(m_pid, &local, 1, &remote, 1, 0);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0) {
            error = read < 0 ? errno : EFAULT;
            return false;
        }
        done += static_cast<size_t>(read);
    }
    return true;
}

uint64_t WorkerProcess::cpuMilliseconds() const
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(m_pid));
    std::FILE* file = std::fopen(path, "re");
    if (!file)
        return 0;
    char text[1024];
    const size_t got = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[got] = '\0';
    // The name in brackets may hold blanks: count fields after its end.
    const char* at = std::strrchr(text, ')');
    if (!at)
        return 0;
    unsigned long long user = 0, system = 0;
    if (std::sscanf(at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2)
        return 0;
    const long ticks = ::sysconf(_SC_CLK_TCK);
    return ticks > 0 ? (user + system) * 1000 / static_cast<unsigned long long>(ticks) : 0;
}

} // namespace pictorand
