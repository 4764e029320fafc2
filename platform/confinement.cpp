#include "platform/confinement.h"

#include <seccomp.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/sched.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <ucontext.h>
#include <unistd.h>

#include <iterator>
#include <string>

namespace pictorand {

namespace {

// libseccomp's SCMP_An macros are C compound literals, which clang refuses
// in C++.
scmp_arg_cmp argument(unsigned int index, scmp_compare op, scmp_datum_t a, scmp_datum_t b = 0)
{
    return scmp_arg_cmp{index, op, a, b};
}

void note(Confinement& confinement, const std::string& what, int error)
{
    if (!confinement.refused.empty())
        confinement.refused += "; ";
    confinement.refused += what + ": " + std::strerror(error);
}

bool writeText(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && written;
}

// The address space a sanitizer build reserves for its shadow memory is far
// beyond any limit a decoder should have; such builds go without it.
constexpr bool kSanitizerBuild =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// What a decoder needs: its own memory, threads, time, and reading and
// writing the descriptors it was handed. Everything else ends the process,
// so that a decoder taken over by a file is stopped at its first step out.
constexpr const char* kAllowed[] = {
    // Reading the input and talking to the parent over the inherited socket.
    "read", "readv", "pread64", "preadv", "write", "writev", "lseek", "close", "dup", "fcntl",
    "fstat", "recvmsg", "sendmsg", "recvfrom", "sendto", "poll", "ppoll",
    // Memory.
    "brk", "mmap", "munmap", "mremap", "mprotect", "madvise",
    // Threads (the libraries decode with several) and their waits.
    "futex", "set_robust_list", "get_robust_list", "rseq", "set_tid_address", "sched_yield",
    "sched_getaffinity", "gettid", "getpid", "membarrier",
    // Time, randomness, and the machine's memory (libraries size their caches by it).
    "clock_gettime", "clock_getres", "gettimeofday", "nanosleep", "clock_nanosleep", "getrandom", "sysinfo",
    // Signals within the process, so that a failed assertion ends in SIGABRT.
    "rt_sigaction", "rt_sigprocmask", "rt_sigreturn", "sigaltstack", "restart_syscall",
    // Reading its own limits; ending.
    "getrlimit", "prlimit64", "exit", "exit_group",
};

// Calls that name a path are trapped, not run: the handler below answers
// the few a library makes to learn about the machine, and ends the worker
// for any other. (A trapped call never reaches the kernel, so whatever code
// runs in the worker can at most fake its answer, never make it open.)
constexpr const char* kPathCalls[] = {"openat", "newfstatat", "statx", "faccessat", "faccessat2", "readlinkat"};

// Files glibc and the codec libraries read to count processors or look at
// memory. Told they are not there, they fall back to sched_getaffinity and
// sysinfo, which the filter allows.
constexpr const char* kMachineFiles[] = {"/sys/devices/system/cpu/", "/proc/stat", "/proc/cpuinfo",
                                         "/proc/meminfo", "/proc/self/", "/sys/fs/cgroup/"};

bool startsWith(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (*text != *prefix)
            return false;
    return true;
}

bool g_trace = false;
// The numbers of kPathCalls on this architecture, -1 where it has none.
int g_pathCallNumbers[std::size(kPathCalls)];

void writeNumber(const char* prefix, long number)
{
    char text[96];
    int length = 0;
    for (const char* c = prefix; *c && length < 60; ++c)
        text[length++] = *c;
    char digits[24];
    int count = 0;
    unsigned long value = static_cast<unsigned long>(number < 0 ? -number : number);
    do
        digits[count++] = static_cast<char>('0' + value % 10);
    while (value /= 10);
    while (count)
        text[length++] = digits[--count];
    text[length++] = '\n';
    [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, text, static_cast<size_t>(length));
}

// Where the trapped call's arguments and result live.
#if defined(__x86_64__)
greg_t& resultOf(ucontext_t* context) { return context->uc_mcontext.gregs[REG_RAX]; }
const char* pathOf(ucontext_t* context, int number)
{
    // openat(dirfd, path, ...), newfstatat(dirfd, path, ...), statx(dirfd, path, ...), ...
    (void)number;
    return reinterpret_cast<const char*>(context->uc_mcontext.gregs[REG_RSI]);
}
#elif defined(__aarch64__)
unsigned long long& resultOf(ucontext_t* context) { return context->uc_mcontext.regs[0]; }
const char* pathOf(ucontext_t* context, int number)
{
    (void)number;
    return reinterpret_cast<const char*>(context->uc_mcontext.regs[1]);
}
#endif

void answerTrappedCall(int, siginfo_t* info, void* raw)
{
    auto* context = static_cast<ucontext_t*>(raw);
#if defined(__x86_64__) || defined(__aarch64__)
    const char* path = pathOf(context, info->si_syscall);
    bool machine = false;
    for (const char* prefix : kMachineFiles)
        machine = machine || (path && startsWith(path, prefix));
    if (machine || g_trace) {
        if (!machine)
            writeNumber("sandbox: forbidden system call ", info->si_syscall);
        resultOf(context) = machine ? -ENOENT : -EPERM;
        return;
    }
#else
    (void)context;
#endif
    // Anything else: the worker ends as the filter would have ended it.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigaction(SIGSYS, &byDefault, nullptr);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGSYS);
    sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
    raise(SIGSYS);
    _exit(128 + SIGSYS);
}

void addAllowed(scmp_filter_ctx filter)
{
    auto add = [&](uint32_t action, const char* name) {
        const int number = seccomp_syscall_resolve_name(name);
        // A call this architecture does not have needs no rule.
        if (number != __NR_SCMP_ERROR)
            seccomp_rule_add(filter, action, number, 0);
    };
    for (const char* name : kAllowed)
        add(SCMP_ACT_ALLOW, name);
    // The sanitizers' runtime tells whether memory can be read by writing it
    // into a pipe of its own (the vptr check does so for the objects it sees).
    if (kSanitizerBuild)
        add(SCMP_ACT_ALLOW, "pipe2");
    // glibc's fstat() is newfstatat(fd, "", AT_EMPTY_PATH): that form names
    // no path and runs; the others are trapped with the rest below.
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat), 1,
                     argument(3, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(statx), 1,
                     argument(2, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    for (const char* name : kPathCalls) {
        const int number = seccomp_syscall_resolve_name(name);
        if (number == __NR_SCMP_ERROR)
            continue;
        if (number == SCMP_SYS(newfstatat))
            seccomp_rule_add(filter, SCMP_ACT_TRAP, number, 1, argument(3, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, 0));
        else if (number == SCMP_SYS(statx))
            seccomp_rule_add(filter, SCMP_ACT_TRAP, number, 1, argument(2, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, 0));
        else
            seccomp_rule_add(filter, SCMP_ACT_TRAP, number, 0);
    }
    // New threads, never new processes.
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                     argument(0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    // clone3's flags are behind a pointer the filter cannot read: saying it
    // does not exist makes glibc fall back to clone, which the rule above
    // sees.
    seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
    // A library asking whether a descriptor is a terminal (stdio does) is
    // told no; no other control request is honoured.
    seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOTTY), SCMP_SYS(ioctl), 0);
    // Threads may name themselves (dav1d's do); no other process control.
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1, argument(0, SCMP_CMP_EQ, PR_SET_NAME));
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1, argument(0, SCMP_CMP_EQ, PR_GET_NAME));
    seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(prctl), 2, argument(0, SCMP_CMP_NE, PR_SET_NAME),
                     argument(0, SCMP_CMP_NE, PR_GET_NAME));
    // Signals only to itself: abort() raises SIGABRT with tgkill.
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1,
                     argument(0, SCMP_CMP_EQ, static_cast<scmp_datum_t>(getpid())));
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(kill), 1,
                     argument(0, SCMP_CMP_EQ, static_cast<scmp_datum_t>(getpid())));
}

// PICTORAND_SANDBOX_TRACE=1: a forbidden call is named on standard error and
// fails with EPERM instead of ending the process, so that a developer can see
// every call a new library makes.
void traceForbiddenCall(int signal, siginfo_t* info, void* context)
{
    for (int number : g_pathCallNumbers)
        if (number == info->si_syscall)
            return answerTrappedCall(signal, info, context);
    writeNumber("sandbox: forbidden system call ", info->si_syscall);
#if defined(__x86_64__) || defined(__aarch64__)
    resultOf(static_cast<ucontext_t*>(context)) = -EPERM;
#endif
}

bool applyFilter(Confinement& confinement)
{
    g_trace = std::getenv("PICTORAND_SANDBOX_TRACE") != nullptr;
    for (size_t i = 0; i < std::size(kPathCalls); ++i)
        g_pathCallNumbers[i] = seccomp_syscall_resolve_name(kPathCalls[i]);
    struct sigaction action {};
    action.sa_sigaction = g_trace ? traceForbiddenCall : answerTrappedCall;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSYS, &action, nullptr);
    scmp_filter_ctx filter = seccomp_init(g_trace ? SCMP_ACT_TRAP : SCMP_ACT_KILL_PROCESS);
    if (!filter) {
        note(confinement, "system-call filter", ENOMEM);
        return false;
    }
    // Threads a library started during set-up are filtered too.
    seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1);
    addAllowed(filter);
    const int loaded = seccomp_load(filter);
    seccomp_release(filter);
    if (loaded != 0) {
        note(confinement, "system-call filter", -loaded);
        return false;
    }
    return true;
}

// An empty, read-only root: whatever the filter would let through finds no
// file to reach.
void enterEmptyRoot(Confinement& confinement)
{
    const char* place = "/tmp";
    if (::mount("none", place, "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC | MS_RDONLY, "size=4k,mode=0555") != 0) {
        note(confinement, "empty root", errno);
        confinement.namespaces = false;
        return;
    }
    if (::chroot(place) != 0 || ::chdir("/") != 0) {
        note(confinement, "empty root", errno);
        confinement.namespaces = false;
    }
}

} // namespace

std::string Confinement::describe() const
{
    std::string walls;
    auto add = [&](bool stands, const char* name) {
        if (stands)
            walls += (walls.empty() ? "" : ", ") + std::string(name);
    };
    add(namespaces, "namespaces");
    add(systemCallFilter, "system-call filter");
    add(memoryLimit, "memory limit");
    add(cpuLimit, "CPU limit");
    std::string text = walls.empty() ? "none" : walls;
    if (!refused.empty())
        text += " (refused: " + refused + ")";
    return text;
}

void enterOwnNamespaces(Confinement& confinement)
{
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWIPC) != 0) {
        note(confinement, "namespaces", errno);
        return;
    }
    // The same user and group inside as outside, so libraries that look at
    // them see nothing new; no supplementary groups.
    if (!writeText("/proc/self/setgroups", "deny") || !writeText("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1")
        || !writeText("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1")) {
        note(confinement, "namespace identity", errno);
        return;
    }
    // Nothing mounted here reaches the rest of the system.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        note(confinement, "private mounts", errno);
        return;
    }
    confinement.namespaces = true;
}

void lockDown(Confinement& confinement, const ConfinementLimits& limits)
{
    if (confinement.namespaces)
        enterEmptyRoot(confinement);

    if (limits.addressSpaceBytes && !kSanitizerBuild) {
        const rlimit space{limits.addressSpaceBytes, limits.addressSpaceBytes};
        confinement.memoryLimit = setrlimit(RLIMIT_AS, &space) == 0;
        if (!confinement.memoryLimit)
            note(confinement, "memory limit", errno);
    }
    if (limits.cpuSeconds) {
        const rlimit cpu{limits.cpuSeconds, limits.cpuSeconds + 1};
        confinement.cpuLimit = setrlimit(RLIMIT_CPU, &cpu) == 0;
        if (!confinement.cpuLimit)
            note(confinement, "CPU limit", errno);
    }

    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        note(confinement, "no_new_privs", errno);
        return;
    }
    confinement.systemCallFilter = applyFilter(confinement);
}

const char* allowedSystemCalls()
{
    static const std::string text = [] {
        std::string names;
        for (const char* name : kAllowed)
            names += (names.empty() ? "" : " ") + std::string(name);
        return names + " newfstatat(AT_EMPTY_PATH) statx(AT_EMPTY_PATH) clone(CLONE_THREAD) prctl(PR_SET_NAME)"
            " tgkill(self) kill(self)";
    }();
    return text.c_str();
}

} // namespace pictorand
