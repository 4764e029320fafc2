// The decoder worker as the tests build it: the real worker, whose greymap
// reader misbehaves on command. A PGM file whose first comment reads
// "# hostile: WHAT ARGUMENT" makes it do WHAT instead of decoding:
//   crash              dereference null
//   spin               loop forever
//   allocate           allocate without end, never touching the memory
//   open PATH          open a file it was not handed and read it
//   connect PORT       connect to a port on this machine
//   run COMMAND        run a program through /bin/sh
// Any other greymap decodes as usual.
#include "codecs/pnm/pnm.h"
#include "dispatch/decoder_worker.h"
#include "platform/file_access.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

extern "C" const char* __asan_default_options() { return "handle_segv=0:detect_leaks=0:symbolize=0"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=0:symbolize=0"; }

namespace pictorand {
namespace {

std::string commandIn(const std::string& path)
{
    FileDescriptor file = openForReading(path);
    char head[512] = {};
    const ssize_t got = file.get() >= 0 ? ::read(file.get(), head, sizeof head - 1) : -1;
    const std::string text(head, got > 0 ? static_cast<size_t>(got) : 0);
    const std::string marker = "# hostile: ";
    const size_t at = text.find(marker);
    if (at == std::string::npos)
        return {};
    const size_t end = text.find('\n', at);
    return text.substr(at + marker.size(), end == std::string::npos ? std::string::npos : end - at - marker.size());
}

Result<DecodedImage> misbehave(const ReadRequest& request)
{
    const std::string command = commandIn(request.path);
    if (command.empty())
        return readPortable(PortableKind::Greymap, request.path);
    const size_t blank = command.find(' ');
    const std::string what = command.substr(0, blank);
    const std::string argument = blank == std::string::npos ? "" : command.substr(blank + 1);
    if (what == "crash") {
        volatile int* nowhere = nullptr;
        return Failure{Reason::CorruptData, std::to_string(*nowhere)};
    }
    if (what == "spin")
        for (unsigned long turns = 0;; ++turns)
            asm volatile("" : "+r"(turns));
    if (what == "allocate") {
        // Where no address-space limit stands (a sanitizer build) this gives
        // up at 64 GiB rather than take the machine.
        std::vector<std::unique_ptr<char[]>> hoard;
        for (int chunk = 0; chunk < 256; ++chunk)
            hoard.emplace_back(new char[size_t(256) << 20]);
        return Failure{Reason::OutOfMemory, "allocated 64 GiB"};
    }
    if (what == "open") {
        const int file = ::open(argument.c_str(), O_RDONLY);
        char byte;
        return Failure{Reason::CorruptData, file >= 0 && ::read(file, &byte, 1) == 1 ? "read it" : "could not"};
    }
    if (what == "connect") {
        const int endpoint = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(std::atoi(argument.c_str())));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool connected = ::connect(endpoint, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        return Failure{Reason::CorruptData, connected ? "connected" : "could not"};
    }
    if (what == "run")
        return Failure{Reason::CorruptData, std::system(argument.c_str()) == 0 ? "ran it" : "could not"};
    return Failure{Reason::CorruptData, "unknown hostile command"};
}

} // namespace
} // namespace pictorand

int main(int argc, char** argv)
{
    using namespace pictorand;
    CodecRegistry& registry = CodecRegistry::instance();
    registry.registerReader(ImageFormat::Pgm, misbehave);
    return serveLoads(argc, argv, registry, warmUpSamples());
}
