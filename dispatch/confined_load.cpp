#include "dispatch/confined_load.h"

#include "core/checked_size.h"
#include "dispatch/decoder_worker.h"
#include "dispatch/load_wire.h"
#include "platform/file_access.h"
#include "platform/file_descriptor.h"
#include "platform/formatted_text.h"
#include "platform/paths.h"
#include "platform/settings_keys.h"
#include "platform/worker_pool.h"

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace pictorand {

namespace {

// Answers are small but for metafile drawings; blocks sent inline (see
// below) make them as large as the pictures.
constexpr uint64_t kLongestAnswer = uint64_t(1) << 28;
constexpr uint64_t kLongestInlineAnswer = kLongestAnswer + (uint64_t(1) << 30) + kMaxBlockBytes;

// Some readers (HEIC, AVIF, JPEG XL) use libraries that bring some forty more
// with them, which a worker must load before it confines itself: that takes
// it several times as long to start. Each such library has workers of its
// own that load only it (readerLibraryFor); every other file goes to a
// worker that loads none, so that the viewer's first picture and a thumbnail
// do not wait for libraries they do not use.

struct Workers {
    explicit Workers(WorkerPoolSettings settings) : light(settings), m_settings(std::move(settings)) {}

    WorkerPool& pool(const std::string& library)
    {
        if (library.empty())
            return light;
        std::lock_guard guard(m_lock);
        std::unique_ptr<WorkerPool>& pool = m_others[library];
        if (!pool) {
            WorkerPoolSettings settings = m_settings;
            settings.arguments.insert(settings.arguments.end(), {kWarmUpWith, library});
            pool = std::make_unique<WorkerPool>(std::move(settings));
        }
        return *pool;
    }

    template <typename Visit>
    void forEachPool(const Visit& visit)
    {
        visit(light);
        std::lock_guard guard(m_lock);
        for (auto& [library, pool] : m_others)
            visit(*pool);
    }

    WorkerPool light;
    // Where the kernel does not let a process read its child's memory
    // (Yama's ptrace_scope 2 and up), workers send their blocks inline.
    std::atomic<bool> blocksInline{false};

private:
    const WorkerPoolSettings m_settings;
    std::mutex m_lock;
    std::map<std::string, std::unique_ptr<WorkerPool>> m_others;
};

std::mutex g_lock;
std::shared_ptr<Workers> g_workers;
bool g_turnedOff = false;

std::shared_ptr<Workers> workers()
{
    std::lock_guard guard(g_lock);
    return g_workers;
}

LoadOutcome faultOutcome(const LoadRequest& request, std::string words)
{
    LoadOutcome outcome;
    outcome.path = request.file.path;
    outcome.failedAt = LoadStage::Decoder;
    outcome.failure = {Reason::DecoderFault, std::move(words)};
    return outcome;
}

std::string faultWords(const JobEnd& end)
{
    switch (end.fault) {
    case WorkerFault::None:
        break;
    case WorkerFault::CouldNotStart:
        return formatted(kDecoderNotStarted, end.detail.c_str());
    case WorkerFault::Crashed:
        return formatted(kDecoderCrashed, end.signal);
    case WorkerFault::ForbiddenCall:
        return kDecoderForbiddenCall;
    case WorkerFault::OutOfMemory:
        return kDecoderOutOfMemory;
    case WorkerFault::TooLong:
        return kDecoderTooLong;
    case WorkerFault::Garbled:
        break;
    }
    return kDecoderGarbled;
}

// Decoding without the filter is never silent: the first load says so.
void sayOnceIfUnfiltered(WorkerPool& pool)
{
    static std::once_flag said;
    std::call_once(said, [&] {
        const std::string walls = pool.confinement();
        if (walls.find("system-call filter") == std::string::npos)
            std::fprintf(stderr, "pictorand32: decoders run without their system-call filter: %s\n", walls.c_str());
    });
}

} // namespace

void decodeInWorkers(const DecoderWorkers& settings)
{
    WorkerPoolSettings pool;
    pool.program = settings.program.empty() ? helperProgram(kDecoderProgram) : settings.program;
    const uint64_t seconds = static_cast<uint64_t>(std::max<int64_t>(1, settings.wallLimit.count()));
    pool.arguments = workerArguments(decoderLimits(seconds));
    pool.wallLimit = settings.wallLimit;
    pool.spares = std::max(0, settings.spares);
    pool.longestAnswer = kLongestInlineAnswer;
    auto started = std::make_shared<Workers>(std::move(pool));
    std::lock_guard guard(g_lock);
    g_workers = std::move(started);
    g_turnedOff = false;
}

void decodeInThisProcess()
{
    std::shared_ptr<Workers> ending;
    std::lock_guard guard(g_lock);
    ending = std::move(g_workers);
    g_turnedOff = true;
}

bool decodingInWorkers() { return workers() != nullptr; }

void decodeAsSettingsSay(const SettingsFile& settings, int spares)
{
    if (settings.readInt(settings::Sandbox) == 0) {
        decodeInThisProcess();
        return;
    }
    DecoderWorkers workers;
    workers.wallLimit = std::chrono::seconds(std::max(1, settings.readInt(settings::SandboxSeconds)));
    workers.spares = spares;
    decodeInWorkers(workers);
}

void keepDecoderSpares(int spares)
{
    if (std::shared_ptr<Workers> running = workers())
        running->light.keepSpares(spares);
}

int keptDecoderSpares()
{
    std::shared_ptr<Workers> running = workers();
    return running ? running->light.spares() : 0;
}

void abandonDecoderJobs()
{
    if (std::shared_ptr<Workers> running = workers())
        running->forEachPool([](WorkerPool& pool) { pool.abandonJobs(); });
}

std::string decoderConfinementText()
{
    std::shared_ptr<Workers> running = workers();
    if (!running) {
        std::lock_guard guard(g_lock);
        return g_turnedOff ? "decoders run in this process (Sandbox=0)" : "decoders run in this process";
    }
    const std::string walls = running->light.confinement();
    if (walls.empty())
        return "decoders cannot run: their worker program would not start";
    return (walls.find("system-call filter") != std::string::npos ? "decoders run confined: "
                                                                   : "decoders run in a worker without its filter: ")
        + walls;
}

LoadOutcome loadInWorker(const LoadRequest& request)
{
    std::shared_ptr<Workers> running = workers();
    if (!running)
        return loadInThisProcess(request);
    // The worker is handed the file, never its name to open: it can open
    // nothing. A file that cannot be opened or read here (a folder) fails
    // at the signature, for the reason the system gives.
    FileDescriptor file = openForReading(request.file.path);
    uint8_t head[kSignatureBytes];
    const ssize_t got = file.get() < 0 ? -1 : ::pread(file.get(), head, sizeof head, 0);
    if (got < 0) {
        LoadOutcome unreadable;
        unreadable.path = request.file.path;
        unreadable.failure = fileFailure(errno, Reason::CantOpenFile);
        return unreadable;
    }
    const int handed[] = {file.get()};
    WorkerPool& pool = running->pool(readerLibraryFor({head, static_cast<size_t>(got)}));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool blocksInline = running->blocksInline.load();
        std::vector<uint8_t> message = encodeWorkerRequest(request, blocksInline);
        std::optional<LoadOutcome> answer;
        bool memoryRefused = false;
        const JobEnd end = pool.run(message, handed, [&](ChannelMessage& reply, WorkerProcess& worker) {
            BlockFetcher fetch;
            if (!blocksInline)
                fetch = [&](uint64_t address, std::span<uint8_t> into) {
                    int error = 0;
                    if (worker.readMemory(address, into, error))
                        return true;
                    memoryRefused = error == EPERM || error == ENOSYS;
                    return false;
                };
            answer = decodeLoadOutcome(reply.bytes, request, fetch);
            return answer.has_value();
        });
        if (end.fault == WorkerFault::None && answer) {
            sayOnceIfUnfiltered(pool);
            return std::move(*answer);
        }
        if (memoryRefused && !blocksInline) {
            running->blocksInline = true;
            continue;
        }
        return faultOutcome(request, faultWords(end));
    }
    return faultOutcome(request, kDecoderGarbled);
}

} // namespace pictorand
