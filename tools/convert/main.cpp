// pictorand32-convert: the batch conversion run on the command line, and a
// short description of picture files.

#include "codecs/metafile/metafile.h"
#include "core/codec_registry.h"
#include "dispatch/confined_load.h"
#include "dispatch/load.h"
#include "dispatch/load_dispatch.h"
#include "tools/batch/batch_conversion.h"
#include "tools/painting/metafile_client.h"
#include "tools/convert/operations.h"
#include "platform/file_access.h"
#include "platform/paths.h"
#include "platform/version.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <malloc.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace pictorand;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The output types as -t takes them, "jpg, gif, ..." with `lastSeparator`
// before the last.
std::string typeNames(const char* lastSeparator)
{
    const auto& types = savableFormats();
    std::string names;
    for (size_t i = 0; i < types.size(); ++i) {
        if (i > 0)
            names += i + 1 == types.size() ? lastSeparator : ", ";
        names += lowerCase(types[i]->save->batchExtension);
    }
    return names;
}

void printUsage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: pictorand32-convert [-t TYPE] [-o DIR] [-j N] [--quiet] FILE...\n"
                 "       pictorand32-convert [-t TYPE] -o - FILE\n"
                 "       pictorand32-convert --info FILE...\n"
                 "\n"
                 "Converts each FILE to TYPE (%s; default %s)\n"
                 "into DIR (default: the current directory; created when missing) as\n"
                 "DIR/NAME.EXT with the extension in capitals. Existing files are never\n"
                 "replaced. Each file is reported on standard output as the batch conversion\n"
                 "lists it, then the number of errors; each failure is also written with its\n"
                 "reason to standard error. The exit status is 0 when every file converted,\n"
                 "1 when any failed, 2 for a mistake on the command line.\n"
                 "Save options (quality, compression, ...) come from the settings file.\n"
                 "With --info each file's format, size, bit count and compression are printed\n"
                 "(for a metafile its kind, natural size and number of records).\n"
                 "A FILE of - is standard input (its picture named -, saved as DIR/-.EXT);\n"
                 "-- ends the options, so that a file may begin with -.\n"
                 "\n"
                 "  -t TYPE     output type\n"
                 "  -o DIR      output directory; - writes the one FILE's picture to standard\n"
                 "              output, without the report\n"
                 "  -j N        convert N files at once (default: the number of processors);\n"
                 "              the report and the files written are those of -j 1\n"
                 "  -q, --quiet no report on standard output; failures still go to standard error\n"
                 "  --info      describe the files instead of converting them\n"
                 "  --no-sandbox  decode in this process, not in confined workers\n"
                 "  --trim      when only turning and flipping a JPEG into a JPEG, which is done\n"
                 "              without recompressing it, let the partial 8- or 16-pixel blocks at\n"
                 "              its edges go (otherwise such a picture is recompressed)\n"
                 "  --reencode  decode and compress turned JPEGs again, as other changes are\n"
                 "  --help      show this help\n"
                 "  --version   show the version\n",
                 typeNames(" or ").c_str(), lowerCase(batchExtension(0)).c_str());
    std::fprintf(out, "\n%s", operationsUsage());
}

constexpr const char* kProgram = "pictorand32-convert";
constexpr const char* kStandardInput = "-";
constexpr const char* kStandardOutputName = "standard output";

// "pictorand32-convert: FILE: REASON" on standard error, for each file that
// failed; the report on standard output says only that it did.
void sayFailure(const std::string& file, const Failure& why)
{
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, file.c_str(), failureReasonText(why).c_str());
}

// A mistake on the command line.
int usageError(const std::string& words)
{
    std::fprintf(stderr, "%s: %s (try --help)\n", kProgram, words.c_str());
    return 2;
}

// Why standard output first failed to take what was printed; 0 while it
// has taken everything.
int standardOutputError = 0;

void flushStandardOutput()
{
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && standardOutputError == 0)
        standardOutputError = errno != 0 ? errno : EIO;
}

// Writes what is left in standard output's buffer; false, having said why,
// when any of what was printed could not be written (a full disk, a closed
// pipe).
bool standardOutputWritten()
{
    flushStandardOutput();
    if (standardOutputError == 0)
        return true;
    sayFailure(kStandardOutputName, fileFailure(standardOutputError, Reason::WriteFailed));
    return false;
}

// False with errno set when not all of `bytes` could be written.
bool writeAll(int descriptor, std::span<const uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(descriptor, bytes.data(), bytes.size());
        if (wrote < 0 && errno != EINTR)
            return false;
        if (wrote > 0)
            bytes = bytes.subspan(static_cast<size_t>(wrote));
    }
    return true;
}

// Everything `from` still holds, written to `to`.
Status copyRest(int from, int to)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0)
            return {};
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return fileFailure(errno, Reason::CantOpenFile);
        }
        if (!writeAll(to, {reinterpret_cast<uint8_t*>(buffer), static_cast<size_t>(got)}))
            return fileFailure(errno, Reason::WriteFailed);
    }
}

// Standard input's bytes, copied to a file of their own that every reader
// (and the confined worker, which is handed it) can read from its start as
// often as it needs: a pipe can be read only once.
Status handOverStandardInput()
{
    FileDescriptor copy(::memfd_create("standard-input", MFD_CLOEXEC));
    if (copy.get() < 0)
        return fileFailure(errno, Reason::CantOpenFile);
    if (Status copied = copyRest(STDIN_FILENO, copy.get()); !copied)
        return copied;
    handFile(kStandardInput, std::move(copy));
    return {};
}

// Copies the file at `path` to standard output.
Status copyToStandardOutput(const std::string& path)
{
    FileDescriptor file = openForReading(path);
    if (file.get() < 0)
        return fileFailure(errno, Reason::CantOpenFile);
    return copyRest(file.get(), STDOUT_FILENO);
}

// A metafile is described from its drawing, played where every file is
// decoded: its kind, natural size and records.
bool describeMetafile(const std::string& path)
{
    // As the viewer loads it: a batch load refuses metafiles.
    const LoadOutcome played = load(LoadRequest{{path}, LoadPurpose::View, {}});
    if (!played.drawing) {
        // A file that is no longer a metafile says so as one that never was.
        sayFailure(path, played.ok() ? Failure{Reason::NotAPicture, {}} : played.failure);
        return false;
    }
    const metafile::Drawing& drawing = *played.drawing;
    std::printf("%s: %s, %s, %d x %d, %d records", path.c_str(), formatInfo(ImageFormat::Metafile).word,
                metafile::kindText(drawing.kind), static_cast<int>(drawing.width), static_cast<int>(drawing.height),
                drawing.recordsWalked);
    if (drawing.recordsSkipped > 0)
        std::printf(" (%d not drawn)", drawing.recordsSkipped);
    std::printf("\n");
    return true;
}

int describe(const std::vector<std::string>& files)
{
    int failures = 0;
    SettingsFile settings;
    for (const std::string& path : files) {
        LoadRequest request = batchRequest(path, settings);
        request.options.countImages = true;
        const LoadOutcome load = pictorand::load(request);
        const std::optional<ImageFormat> format = load.format;
        if (format == ImageFormat::Metafile && !load.ok()) {
            failures += describeMetafile(path) ? 0 : 1;
            continue;
        }
        const ImageBlock& block = load.block;
        if (!format || !block) {
            sayFailure(path, load.failure);
            ++failures;
            continue;
        }
        std::printf("%s: %s, %d x %d, %d bits, %s", path.c_str(), formatInfo(*format).word, block.width(),
                    block.height(), block.bitCount(), load.compression.empty() ? "-" : load.compression.c_str());
        if (load.imageCount > 1)
            std::printf(", %d %s", load.imageCount,
                        formatInfo(*format).multiImage == MultiImage::Pages ? "pages" : "images");
        if (!load.truncation.empty())
            std::printf(" (%s)", kFileTruncated);
        std::printf("\n");
    }
    return standardOutputWritten() && failures == 0 ? 0 : 1;
}

// The output type index for a -t value: a savable format's batch
// extension, any case.
int outputTypeIndex(const std::string& name)
{
    const auto& types = savableFormats();
    for (size_t i = 0; i < types.size(); ++i)
        if (lowerCase(name) == lowerCase(types[i]->save->batchExtension))
            return static_cast<int>(i);
    return -1;
}

// Prints the progress list as it grows, unless told to be quiet, and each
// failure with its reason on standard error.
class PrintedProgress : public BatchProgress {
public:
    PrintedProgress(bool quiet, std::string standardOutputFolder)
        : m_quiet(quiet), m_standardOutputFolder(std::move(standardOutputFolder))
    {
    }
    void setCaption(const std::string&) override {}
    void addLine(const std::string& line) override
    {
        if (m_quiet)
            return;
        std::printf("%s\n", line.c_str());
        flushStandardOutput();
    }
    void fileFailed(const std::string& file, const Failure& why) override
    {
        // The picture for standard output is written to a private folder first.
        const bool forStandardOutput =
            !m_standardOutputFolder.empty() && file.rfind(m_standardOutputFolder, 0) == 0;
        sayFailure(forStandardOutput ? kStandardOutputName : file, why);
    }

private:
    const bool m_quiet;
    const std::string m_standardOutputFolder;
};

} // namespace

int main(int argc, char** argv)
{
    // Every file allocates pictures of about the same sizes: keep freed
    // memory for the next file instead of handing it back and faulting it in
    // anew (a fifth of the time of a photo-sized conversion went to page
    // faults).
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 1024 << 20);
    std::vector<std::string> files;
    std::string typeName = batchExtension(0);
    std::string outputDirectory = ".";
    int jobs = processorCount();
    bool info = false;
    bool quiet = false;
    std::vector<Operation> operations;
    std::string error;
    bool sandbox = true;
    bool optionsEnded = false;
    bool trimEdges = false;
    bool reencode = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (optionsEnded) {
            files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            printUsage(stdout);
            return standardOutputWritten() ? 0 : 1;
        } else if (argument == "--version") {
            if (sandbox)
                decodeAsSettingsSay(SettingsFile());
            std::printf("%s %s\n%s\n", kProgram, programVersion(), decoderConfinementText().c_str());
            return standardOutputWritten() ? 0 : 1;
        } else if (argument == "--no-sandbox") {
            sandbox = false;
        } else if (argument == "--trim") {
            trimEdges = true;
        } else if (argument == "--reencode") {
            reencode = true;
        } else if (argument == "--info") {
            info = true;
        } else if (argument == "--quiet" || argument == "-q") {
            quiet = true;
        } else if (argument == "-t" || argument == "-o") {
            if (i + 1 >= argc)
                return usageError(argument + " needs a value");
            (argument == "-t" ? typeName : outputDirectory) = argv[++i];
        } else if (argument == "-j") {
            char* end = nullptr;
            const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || value < 1 || value > 1024)
                return usageError("-j needs a number of jobs from 1 to 1024");
            jobs = static_cast<int>(value);
            ++i;
        } else if (OptionParse parsed = parseOperationOption(argc, argv, i, operations, error);
                   parsed != OptionParse::NotAnOperation) {
            if (parsed == OptionParse::Refused) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 2;
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            return usageError("unknown option " + argument);
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        printUsage(stderr);
        return 2;
    }
    const bool toStandardOutput = outputDirectory == kStandardInput && !info;
    if (toStandardOutput && files.size() > 1)
        return usageError("-o - writes the picture of one FILE, not of " + std::to_string(files.size()));
    if (std::count(files.begin(), files.end(), kStandardInput) > 1)
        return usageError("standard input (-) can be read only once");
    if (std::find(files.begin(), files.end(), kStandardInput) != files.end())
        if (Status read = handOverStandardInput(); !read) {
            sayFailure(kStandardInput, read.failure());
            return 1;
        }
    // Each file is decoded in a confined worker, one for each job; a single
    // file's worker starts when it is needed, with no spare started beside it.
    if (sandbox)
        decodeAsSettingsSay(SettingsFile(), files.size() == 1 ? 0 : std::min(jobs, static_cast<int>(files.size())));
    if (info)
        return describe(files);

    BatchRequest request;
    request.outputType = outputTypeIndex(typeName);
    if (request.outputType < 0)
        return usageError("unknown output type '" + typeName + "' (" + typeNames(", ") + ")");
    if (outputDirectory.empty()) {
        // An empty directory would mean the root directory.
        std::fprintf(stderr, "%s: %s\n", kProgram, kBatchNoOutputDirectory);
        return 2;
    }
    // The picture for standard output is saved in a folder of its own, as
    // any other, and copied out when it is complete.
    std::string privateFolder;
    if (toStandardOutput) {
        privateFolder = tempDirectory() + "pictorand32-convert-XXXXXX";
        if (!::mkdtemp(privateFolder.data())) {
            sayFailure(tempDirectory(), fileFailure(errno, Reason::CantOpenFile));
            return 1;
        }
        outputDirectory = privateFolder;
    }
    request.sources = files;
    request.outputDirectory = outputDirectory;
    request.jobs = jobs;
    request.stopRequested = [] { return stopRequested != 0; };
    if (!reencode) {
        request.losslessTurn = turnOf(operations);
        request.trimEdges = trimEdges;
    }
    if (!operations.empty()) {
        request.adjustBlock = [&operations](ImageBlock& block) { return applyOperations(block, operations); };
    }
    // Metafiles are drawn at the size the first resize asks for, so they
    // lose nothing to scaling; otherwise at their natural size.
    int drawingWidth = 0;
    int drawingHeight = 0;
    for (const Operation& operation : operations)
        if (operation.kind == OperationKind::Resize || operation.kind == OperationKind::Resample) {
            drawingWidth = operation.width;
            drawingHeight = operation.height;
            break;
        }
    request.loadOther = [drawingWidth, drawingHeight](const LoadOutcome& failed) -> Result<ImageBlock> {
        if (failed.format != ImageFormat::Metafile)
            return failed.failure;
        return rasteriseMetafile(failed.path, drawingWidth, drawingHeight);
    };
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    // The report would be mixed into the picture on standard output.
    PrintedProgress progress(quiet || toStandardOutput, privateFolder);
    BatchResult result = runBatchConversion(request, progress);
    bool written = result.errors == 0;
    if (toStandardOutput) {
        const std::string picture =
            batchDestinationPath(prepareDirectory(privateFolder), files.front(), batchExtension(request.outputType));
        if (written)
            if (Status copied = copyToStandardOutput(picture); !copied) {
                sayFailure(kStandardOutputName, copied.failure());
                written = false;
            }
        ::unlink(picture.c_str());
        ::rmdir(privateFolder.c_str());
    }
    if (result.stopped)
        return 130;
    return standardOutputWritten() && written ? 0 : 1;
}
