#pragma once
// What a decoder worker does to itself before it touches any input, so that a
// decoder that a hostile file takes over can reach nothing: no file it was
// not handed, no network, no other process. After it, the process can
// compute, map memory, start threads and use the descriptors it holds.
//
// The walls go up in two steps because the kernel wants them in this order:
// new namespaces only while the process has a single thread, the library
// set-up (plugins, colour engine) while files can still be opened, and the
// system-call filter last. Each wall the kernel refuses is left out and said;
// the caller decides whether what stands is enough and reports it.

#include <cstdint>
#include <string>

namespace pictorand {

struct ConfinementLimits {
    uint64_t addressSpaceBytes = 0; // RLIMIT_AS; 0: none
    uint64_t cpuSeconds = 0;        // RLIMIT_CPU (SIGXCPU, then SIGKILL a second later); 0: none
};

// What stands after confinement.
struct Confinement {
    bool namespaces = false;       // own user, mount, network and IPC namespaces, an empty root
    bool systemCallFilter = false; // the seccomp allow-list, with no_new_privs
    bool memoryLimit = false;      // the address-space limit asked for (never in a sanitizer build)
    bool cpuLimit = false;         // the CPU limit asked for
    std::string refused;           // the kernel's words for what it refused

    bool confined() const { return systemCallFilter; }
    // "namespaces, system-call filter, memory limit, CPU limit", or what is
    // missing and why.
    std::string describe() const;
};

// Step one, first thing in main while the process has one thread: a user
// namespace of its own (so that nothing needs privileges), with its own mount,
// network and IPC namespaces. The empty root comes with step two.
void enterOwnNamespaces(Confinement& confinement);

// Step two, after every library that opens files on first use has been set
// up: the root becomes an empty folder (when step one stood), the limits are
// set, and the system-call filter is applied to every thread. Irrevocable.
void lockDown(Confinement& confinement, const ConfinementLimits& limits);

// The filter's allow-list in words, for the documentation and tests: the
// calls the worker may make.
const char* allowedSystemCalls();

} // namespace pictorand
