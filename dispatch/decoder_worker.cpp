#include "dispatch/decoder_worker.h"

#include "codecs/metafile/player.h"
#include "core/checked_size.h"
#include "core/image_format.h"
#include "core/large_buffer.h"
#include "dispatch/load_wire.h"
#include "platform/file_access.h"
#include "platform/worker_pool.h"
#include "platform/worker_process.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace pictorand {

namespace {

// Requests are a path, a few numbers and the display's profile.
constexpr uint64_t kLongestRequest = (uint64_t(1) << 20) + kLargestDisplayProfile;

// Room besides the blocks: the program, its libraries and their threads'
// stacks.
constexpr uint64_t kProgramRoom = uint64_t(1) << 30;

void send(Channel& channel, const std::vector<uint8_t>& bytes)
{
    if (!channel.send(bytes))
        _exit(0); // the parent has gone
}

// Decodes each kind of file whose library sets itself up on first use once,
// before the walls go up: after them it could not open what it needs.
void readyTheReaders(const CodecRegistry& registry, std::span<const WarmUpSample> samples,
                     const std::string& library)
{
    metafile::openCodePages();
    for (const WarmUpSample& sample : samples) {
        if (const std::string own = readerLibraryFor(sample.bytes); !own.empty() && own != library)
            continue;
        FileDescriptor copy(::memfd_create(sample.name, MFD_CLOEXEC));
        if (copy.get() < 0
            || ::write(copy.get(), sample.bytes.data(), sample.bytes.size())
                != static_cast<ssize_t>(sample.bytes.size()))
            continue;
        const std::string name = std::string("/warm-up/") + sample.name;
        handFile(name, std::move(copy));
        for (LoadPurpose purpose : {LoadPurpose::View, LoadPurpose::Batch})
            loadInThisProcess({{name}, purpose, {}}, registry);
        forgetHandedFiles();
    }
}

// A lossless turn faults in its coefficient arrays' pages ahead of the
// library where they will land, the heap's top (codecs/jpeg/jpeg_transform.cpp):
// for the turn, large blocks come from the heap and what is given back
// stays there. Other readers were measured slower that way (a batch of
// PNGs 10 %), so afterwards the heap gives it all back and takes blocks
// from 32 MiB up as mappings again, where its own adjusting would settle.
// Cold: placed apart, it moved the readers' hot loops in the program and
// slowed a PNG load by 8 %.
[[gnu::cold]] void heapForTurn(bool turning)
{
    mallopt(M_MMAP_THRESHOLD, turning ? 512 << 20 : 32 << 20);
    mallopt(M_TRIM_THRESHOLD, turning ? 1024 << 20 : 64 << 20);
    if (!turning)
        malloc_trim(0);
}

} // namespace

std::string readerLibraryFor(std::span<const uint8_t> head)
{
    const std::optional<ImageFormat> format = detectFormatFromBytes(head);
    const char* library = format ? formatInfo(*format).readerLibrary : nullptr;
    return library ? library : "";
}

ConfinementLimits decoderLimits(uint64_t wallSeconds)
{
    ConfinementLimits limits;
    // A load holds its picture and what the reader decodes it from; a GIF its
    // frames besides.
    limits.addressSpaceBytes = 3 * kMaxBlockBytes + kProgramRoom;
    limits.cpuSeconds = 2 * wallSeconds + 30;
    return limits;
}

std::vector<std::string> workerArguments(const ConfinementLimits& limits)
{
    return {"--address-space", std::to_string(limits.addressSpaceBytes), "--cpu", std::to_string(limits.cpuSeconds)};
}

std::vector<uint8_t> encodeWorkerRequest(const LoadRequest& request, bool blocksInline)
{
    std::vector<uint8_t> bytes{static_cast<uint8_t>(blocksInline ? 1 : 0)};
    const std::vector<uint8_t> load = encodeLoadRequest(request);
    bytes.insert(bytes.end(), load.begin(), load.end());
    return bytes;
}

int serveLoads(int argc, char** argv, const CodecRegistry& registry, std::span<const WarmUpSample> samples)
{
    ConfinementLimits limits;
    bool confine = true;
    std::string library;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--address-space") == 0 && i + 1 < argc)
            limits.addressSpaceBytes = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--cpu") == 0 && i + 1 < argc)
            limits.cpuSeconds = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--unconfined") == 0)
            confine = false;
        else if (std::strcmp(argv[i], kWarmUpWith) == 0 && i + 1 < argc)
            library = argv[++i];
    }
    // Times a reader turns into local time (EXIF, profile dates) need no
    // time zone file, which glibc would open and look at again and again.
    setenv("TZ", "UTC0", 1);
    tzset();
    Confinement confinement;
    if (confine)
        enterOwnNamespaces(confinement);
    // From here on a reader gets only the file it was handed.
    serveOnlyHandedFiles();
    readyTheReaders(registry, samples, library);
    if (confine)
        lockDown(confinement, limits);

    Channel channel{FileDescriptor(WorkerProcess::kWorkerSocket)};
    const std::string hello = confine ? confinement.describe() : "none (--unconfined)";
    send(channel, std::vector<uint8_t>(hello.begin(), hello.end()));

    // What the last answer points at, kept until the parent has copied it.
    LoadOutcome answered;
    ChannelMessage message;
    for (;;) {
        const Channel::Received received = channel.receive(message, kLongestRequest);
        if (received != Channel::Received::Message)
            _exit(0);
        if (message.bytes.empty()) {
            answered = LoadOutcome();
            continue;
        }
        std::optional<LoadRequest> request =
            decodeLoadRequest(std::span<const uint8_t>(message.bytes).subspan(1));
        if (!request || message.descriptors.size() != 1 || message.bytes[0] > 1)
            _exit(2);
        const bool blocksInline = message.bytes[0] == 1;
        handFile(request->file.path, std::move(message.descriptors[0]));
        // Pictures freed lately are kept for the next to land in; a load
        // near the address-space limit needs the room more than that.
        if (LargeBuffer::keptBytes() > kMaxBlockBytes / 4)
            LargeBuffer::releaseKept();
        const bool turn = request->purpose == LoadPurpose::Turn;
        if (turn)
            heapForTurn(true);
        try {
            answered = loadInThisProcess(*request, registry);
        } catch (const std::bad_alloc&) {
            // No codec lets an exception out but for memory its limit
            // refused: say so by the exit status.
            _exit(kWorkerExitOutOfMemory);
        }
        forgetHandedFiles();
        send(channel, encodeLoadOutcome(answered, blocksInline));
        if (turn)
            heapForTurn(false);
    }
}

} // namespace pictorand
