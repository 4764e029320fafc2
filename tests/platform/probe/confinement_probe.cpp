// A stand-in for a decoder worker: confines itself as the workers do, says
// what stands, then does what the parent asks (over the socket on descriptor
// 3), one thing a hostile decoder might try, and reports whether it could.
#include "platform/confinement.h"
#include "platform/worker_process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace pictorand;

namespace {

std::string attempt(const std::string& what, const std::string& argument)
{
    if (what == "read") { // a file it was not handed
        const int fd = ::open(argument.c_str(), O_RDONLY);
        char byte;
        return fd >= 0 && ::read(fd, &byte, 1) == 1 ? "done" : std::string("refused: ") + std::strerror(errno);
    }
    if (what == "connect") { // to a port on this machine
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(std::atoi(argument.c_str())));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            ? "done"
            : std::string("refused: ") + std::strerror(errno);
    }
    if (what == "run") { // a program
        return std::system(argument.c_str()) == 0 ? "done" : std::string("refused: ") + std::strerror(errno);
    }
    if (what == "thread") { // threads are allowed
        int answer = 0;
        std::thread([&] { answer = 42; }).join();
        return answer == 42 ? "done" : "refused";
    }
    if (what == "allocate") { // more than the limit
        const size_t size = std::strtoull(argument.c_str(), nullptr, 10);
        void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return memory != MAP_FAILED ? "done" : std::string("refused: ") + std::strerror(errno);
    }
    if (what == "spin") { // until the CPU limit ends it
        for (unsigned long turns = 0;; ++turns)
            asm volatile("" : "+r"(turns));
    }
    if (what == "pid")
        return std::to_string(::getpid());
    if (what == "crash") {
        volatile int* nowhere = nullptr;
        return std::to_string(*nowhere);
    }
    return "unknown";
}

} // namespace

int main(int argc, char** argv)
{
    Confinement confinement;
    enterOwnNamespaces(confinement);
    ConfinementLimits limits;
    if (argc > 1)
        limits.addressSpaceBytes = std::strtoull(argv[1], nullptr, 10);
    if (argc > 2)
        limits.cpuSeconds = std::strtoull(argv[2], nullptr, 10);
    lockDown(confinement, limits);
    Channel channel{FileDescriptor(WorkerProcess::kWorkerSocket)};
    const std::string hello = confinement.describe();
    channel.send({reinterpret_cast<const uint8_t*>(hello.data()), hello.size()});
    ChannelMessage message;
    while (channel.receive(message, 4096) == Channel::Received::Message) {
        // What a pool sends once it has taken an answer.
        if (message.bytes.empty())
            continue;
        const std::string text(message.bytes.begin(), message.bytes.end());
        const size_t blank = text.find(' ');
        std::string answer = attempt(text.substr(0, blank), blank == std::string::npos ? "" : text.substr(blank + 1));
        if (!message.descriptors.empty()) { // a handed file can be read
            char byte = 0;
            answer += ::pread(message.descriptors[0].get(), &byte, 1, 0) == 1 ? " +handed" : " -handed";
        }
        channel.send({reinterpret_cast<const uint8_t*>(answer.data()), answer.size()});
    }
    _exit(0);
}
