#include "tools/batch/batch_conversion.h"

#include "dispatch/confined_load.h"
#include "dispatch/load.h"
#include "dispatch/save_dispatch.h"
#include "platform/paths.h"
#include "platform/settings_keys.h"
#include "platform/user_interface.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace pictorand {

namespace {

// "%s: %s"
std::string resultLine(const char* what, const std::string& path) { return std::string(what) + ": " + path; }

bool pathExists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

const char* batchExtension(int typeIndex)
{
    const auto& types = savableFormats();
    if (typeIndex < 0 || typeIndex >= static_cast<int>(types.size()))
        typeIndex = 0;
    return types[static_cast<size_t>(typeIndex)]->save->batchExtension;
}

std::string batchDestinationPath(const std::string& outputDirectory, const std::string& source,
                                 const std::string& extension)
{
    return outputDirectory + baseNameWithoutExtension(source) + "." + extension;
}

std::string prepareDirectory(std::string directory)
{
    if (directory.empty())
        return directory;
    if (directory.back() != '/')
        directory += '/';
    if (!isDirectory(directory))
        makeDirectories(directory);
    return directory;
}

BatchRequest batchRequestFromSettings(const SettingsFile& settings, std::vector<std::string> sources)
{
    BatchRequest request;
    request.sources = std::move(sources);
    request.outputType = settings.readInt(settings::BatchOutputType);
    request.outputDirectory = settings.readText(settings::BatchOutputPath);
    return request;
}

namespace {

struct FileOutcome {
    std::string line;
    bool converted = false;
    // Not converted: the file that failed and why.
    std::string failedFile;
    Failure failure;
};

// The line names `file`; the failure the file it concerns.
FileOutcome failedOutcome(const char* what, const std::string& file, Failure failure,
                          const std::string& failedFile = {})
{
    return {resultLine(what, file), false, failedFile.empty() ? file : failedFile, std::move(failure)};
}

// A JPEG to JPEG whose blocks could be turned: the outcome; nothing when the
// file goes the usual way.
std::optional<FileOutcome> turnLosslessly(const BatchRequest& request, const std::string& source,
                                          const std::string& destination, const CodecRegistry& registry,
                                          const SettingsFile& settings)
{
    const auto& types = savableFormats();
    if (!request.losslessTurn || request.outputType < 0 || static_cast<size_t>(request.outputType) >= types.size()
        || types[static_cast<size_t>(request.outputType)]->format != ImageFormat::Jpeg)
        return std::nullopt;
    LoadRequest turn = batchRequest(source, settings);
    if (turn.options.greyscale || settings.readInt(settings::SaveLosslessTurn) == 0)
        return std::nullopt;
    turn.purpose = LoadPurpose::Turn;
    turn.options.turn = *request.losslessTurn;
    turn.options.trimEdges = request.trimEdges || settings.readInt(settings::SaveTrimEdges) != 0;
    turn.options.turnedGreyscale = settings.readInt(settings::SaveGrayscale) != 0;
    turn.options.turnedProgressive = settings.readInt(settings::SaveProgressive) != 0;
    const LoadOutcome turned = pictorand::load(turn, registry);
    if (turned.kind != LoadOutcome::Kind::Turned)
        return std::nullopt; // the usual load says what is wrong, if anything
    if (pathExists(destination))
        return failedOutcome(kBatchDestinationExists, destination, {Reason::CantOpenFile, kDestinationExists});
    if (Status written = saveFileBytes(turned.turnedFile, destination, false); !written)
        return failedOutcome(kBatchCantSave, destination, written.failure());
    return FileOutcome{kBatchOk, true, {}, {}};
}

FileOutcome convertOne(const BatchRequest& request, const std::string& source, const std::string& destination,
                       const CodecRegistry& registry, const SettingsFile& settings)
{
    if (std::optional<FileOutcome> turned = turnLosslessly(request, source, destination, registry, settings))
        return std::move(*turned);
    SilentUserInterface silent;
    LoadOutcome load = pictorand::load(batchRequest(source, settings), registry);
    ImageBlock& block = load.block;
    if (!block && request.loadOther) {
        Result<ImageBlock> other = request.loadOther(load);
        if (!other)
            return failedOutcome(kBatchCantLoad, source, other.failure());
        block = other.take();
    }
    if (!block)
        return failedOutcome(kBatchCantLoad, source, load.failure);
    if (pathExists(destination))
        return failedOutcome(kBatchDestinationExists, destination, {Reason::CantOpenFile, kDestinationExists});
    if (request.adjustBlock)
        if (Status adjusted = request.adjustBlock(block); !adjusted)
            return failedOutcome(kBatchCantSave, destination, adjusted.failure(), source);
    if (Status saved = SaveImage(block, silent, destination, false, registry, settings, false); !saved)
        return failedOutcome(kBatchCantSave, destination, saved.failure());
    return {load.truncation.empty() ? kBatchOk : kBatchOkTruncated, true, {}, {}};
}

void report(BatchResult& result, BatchProgress& progress, const std::string& source, const FileOutcome& outcome)
{
    progress.addLine(resultLine(kBatchConverting, source));
    if (outcome.converted) {
        ++result.converted;
    } else {
        ++result.errors;
        progress.fileFailed(outcome.failedFile, outcome.failure);
    }
    progress.addLine(outcome.line);
}

// Decoder workers are kept started for a batch's first files only: from
// then on each job finds the worker its last file came back in, and a spare
// started beside them only competes with the conversions for the processor
// (a worker a fault ended is replaced by its job when it takes its next
// file). The caller that wants spares after the batch (the viewer) asks for
// them again.
void sparesAfterTaking(int taken, int jobs)
{
    if (taken == jobs)
        keepDecoderSpares(0);
}

void runOneByOne(const BatchRequest& request, BatchProgress& progress, const CodecRegistry& registry,
                 const SettingsFile& settings, const std::vector<std::string>& destinations, BatchResult& result)
{
    const int count = static_cast<int>(request.sources.size());
    for (int i = 0; i < count; ++i) {
        progress.setCaption("Converting image " + std::to_string(i + 1) + " from " + std::to_string(count));
        progress.processEvents();
        if (request.stopRequested && request.stopRequested()) {
            result.stopped = true;
            break;
        }
        const size_t at = static_cast<size_t>(i);
        sparesAfterTaking(i + 1, 1);
        report(result, progress, request.sources[at],
               convertOne(request, request.sources[at], destinations[at], registry, settings));
    }
}

// Workers take the files in list order, so when Stop comes the files begun
// are a prefix of the list and their lines can all be shown. A file whose
// destination an earlier file also maps to waits for that one, so the
// earlier always wins, as it does one by one.
void runInParallel(const BatchRequest& request, BatchProgress& progress, const CodecRegistry& registry,
                   const SettingsFile& settings, const std::vector<std::string>& destinations, int jobs,
                   BatchResult& result)
{
    const int count = static_cast<int>(request.sources.size());
    std::vector<int> sameDestinationBefore(static_cast<size_t>(count), -1);
    std::map<std::string, int> lastWithDestination;
    for (int i = 0; i < count; ++i) {
        auto [it, inserted] = lastWithDestination.try_emplace(destinations[static_cast<size_t>(i)], i);
        if (!inserted) {
            sameDestinationBefore[static_cast<size_t>(i)] = it->second;
            it->second = i;
        }
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<FileOutcome>> outcomes(static_cast<size_t>(count));
    int nextFile = 0;
    int running = jobs;
    bool stopSeen = false;

    auto work = [&] {
        // Each worker reads the settings through its own copy: the parsed
        // file is a cache shared by copies of one object.
        SettingsFile ownSettings(settings.path());
        for (;;) {
            int i;
            {
                std::unique_lock lock(mutex);
                if (!stopSeen && request.stopRequested && request.stopRequested())
                    stopSeen = true;
                if (stopSeen || nextFile >= count)
                    break;
                i = nextFile++;
                sparesAfterTaking(nextFile, std::min(jobs, count));
                const int before = sameDestinationBefore[static_cast<size_t>(i)];
                if (before >= 0)
                    changed.wait(lock, [&] { return outcomes[static_cast<size_t>(before)].has_value(); });
            }
            const size_t at = static_cast<size_t>(i);
            FileOutcome outcome = convertOne(request, request.sources[at], destinations[at], registry, ownSettings);
            std::lock_guard lock(mutex);
            outcomes[at] = std::move(outcome);
            changed.notify_all();
        }
        std::lock_guard lock(mutex);
        --running;
        changed.notify_all();
    };
    std::vector<std::thread> workers;
    for (int j = 0; j < jobs; ++j)
        workers.emplace_back(work);

    for (int i = 0; i < count; ++i) {
        progress.setCaption("Converting image " + std::to_string(i + 1) + " from " + std::to_string(count));
        progress.processEvents();
        std::optional<FileOutcome> outcome;
        {
            std::unique_lock lock(mutex);
            const size_t at = static_cast<size_t>(i);
            changed.wait(lock, [&] { return outcomes[at].has_value() || running == 0; });
            outcome = std::move(outcomes[at]);
        }
        if (!outcome) {
            result.stopped = true;
            break;
        }
        report(result, progress, request.sources[static_cast<size_t>(i)], *outcome);
    }
    for (std::thread& worker : workers)
        worker.join();
}

} // namespace

int processorCount()
{
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(count);
}

BatchResult runBatchConversion(const BatchRequest& request, BatchProgress& progress, const CodecRegistry& registry,
                               const SettingsFile& settings)
{
    BatchResult result;
    if (request.sources.empty())
        return result;
    if (request.outputDirectory.empty()) {
        result.refused = true;
        return result;
    }
    result.started = true;

    const std::string extension = batchExtension(request.outputType);
    const std::string directory = prepareDirectory(request.outputDirectory);
    std::vector<std::string> destinations;
    for (const std::string& source : request.sources)
        destinations.push_back(batchDestinationPath(directory, source, extension));

    const int jobs = std::min(request.jobs, static_cast<int>(request.sources.size()));
    if (jobs <= 1)
        runOneByOne(request, progress, registry, settings, destinations, result);
    else
        runInParallel(request, progress, registry, settings, destinations, jobs, result);

    progress.addLine(std::to_string(result.errors) + " errors");
    progress.setCaption(kBatchDone);
    progress.finished();
    return result;
}

BatchResult runBatchConversion(const BatchRequest& request, BatchProgress& progress)
{
    SettingsFile settings;
    return runBatchConversion(request, progress, CodecRegistry::instance(), settings);
}

} // namespace pictorand
