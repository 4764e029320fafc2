#include "tools/batch/batch_conversion.h"

#include "dispatch/load_dispatch.h"
#include "dispatch/save_dispatch.h"
#include "platform/paths.h"
#include "platform/user_interface.h"

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
    if (directory.empty() || directory.back() != '/')
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

BatchResult runBatchConversion(const BatchRequest& request, BatchProgress& progress, const CodecRegistry& registry,
                               const SettingsFile& settings)
{
    BatchResult result;
    if (request.sources.empty())
        return result;
    result.started = true;

    const std::string extension = batchExtension(request.outputType);
    const std::string directory = prepareDirectory(request.outputDirectory);
    SilentUserInterface silent;

    const int count = static_cast<int>(request.sources.size());
    for (int i = 0; i < count; ++i) {
        progress.setCaption("Converting image " + std::to_string(i + 1) + " from " + std::to_string(count));
        progress.processEvents();
        if (request.stopRequested && request.stopRequested()) {
            result.stopped = true;
            break;
        }
        const std::string& source = request.sources[static_cast<size_t>(i)];
        progress.addLine(resultLine(kBatchConverting, source));

        std::string line;
        BatchLoad load = loadForBatchReported(source, registry, settings);
        ImageBlock& block = load.block;
        if (!block && request.loadOther)
            block = request.loadOther(source);
        if (!block) {
            line = resultLine(kBatchCantLoad, source);
        } else {
            const std::string destination = batchDestinationPath(directory, source, extension);
            if (pathExists(destination)) {
                line = resultLine(kBatchDestinationExists, destination);
            } else if ((request.adjustBlock && !request.adjustBlock(block))
                       || !SaveImage(block, silent, destination, false, registry, settings, false)) {
                line = resultLine(kBatchCantSave, destination);
            } else {
                line = load.warning.empty() ? kBatchOk : kBatchOkTruncated;
                ++result.converted;
            }
        }
        if (line != kBatchOk && line != kBatchOkTruncated)
            ++result.errors;
        progress.addLine(line);
    }

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
