// pictorand32-convert: the batch conversion run on the command line, and a
// short description of picture files.

#include "codecs/common/whole_file.h"
#include "codecs/metafile/metafile.h"
#include "core/codec_registry.h"
#include "dispatch/confined_load.h"
#include "dispatch/load.h"
#include "dispatch/load_dispatch.h"
#include "tools/batch/batch_conversion.h"
#include "tools/convert/metafile_helper.h"
#include "tools/convert/operations.h"
#include "platform/version.h"

#include <algorithm>
#include <cctype>
#include <malloc.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
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
                 "Usage: pictorand32-convert [-t TYPE] [-o DIR] [-j N] FILE...\n"
                 "       pictorand32-convert --info FILE...\n"
                 "\n"
                 "Converts each FILE to TYPE (%s; default %s)\n"
                 "into DIR (default: the current directory; created when missing) as\n"
                 "DIR/NAME.EXT with the extension in capitals. Existing files are never\n"
                 "replaced. Each file is reported as the batch conversion lists it, then\n"
                 "the number of errors; the exit status is 0 only when there were none.\n"
                 "Save options (quality, compression, ...) come from the settings file.\n"
                 "With --info each file's format, size, bit count and compression are printed\n"
                 "(for a metafile its kind, natural size and number of records).\n"
                 "\n"
                 "  -t TYPE     output type\n"
                 "  -o DIR      output directory\n"
                 "  -j N        convert N files at once (default: the number of processors);\n"
                 "              the report and the files written are those of -j 1\n"
                 "  --info      describe the files instead of converting them\n"
                 "  --no-sandbox  decode in this process, not in confined workers\n"
                 "  --help      show this help\n"
                 "  --version   show the version\n",
                 typeNames(" or ").c_str(), lowerCase(batchExtension(0)).c_str());
    std::fprintf(out, "\n%s", operationsUsage());
}

// A metafile is described, not loaded: its kind, natural size and records.
bool describeMetafile(const std::string& path)
{
    WholeFile file;
    Result<metafile::Header> header = file.open(path) ? metafile::readHeader(file.bytes())
                                                      : Result<metafile::Header>(Failure{Reason::CantOpenFile, metafile::kCantOpenFile});
    Result<metafile::Drawing> drawing = header ? metafile::playMetafile(file.bytes()) : header.failure();
    if (!drawing) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), drawing.text().c_str());
        return false;
    }
    std::printf("%s: %s, %s, %d x %d, %d records", path.c_str(), formatInfo(ImageFormat::Metafile).word,
                metafile::kindText(header->kind), static_cast<int>(drawing->width), static_cast<int>(drawing->height),
                drawing->recordsWalked);
    if (drawing->recordsSkipped > 0)
        std::printf(" (%d not drawn)", drawing->recordsSkipped);
    std::printf("\n");
    return true;
}

int describe(const std::vector<std::string>& files)
{
    int failures = 0;
    SettingsFile settings;
    for (const std::string& path : files) {
        if (DetectFormat(path) == ImageFormat::Metafile) {
            failures += describeMetafile(path) ? 0 : 1;
            continue;
        }
        const LoadOutcome load = pictorand::load(batchRequest(path, settings));
        const std::optional<ImageFormat> format = load.format;
        const ImageBlock& block = load.block;
        if (!format || !block) {
            const std::string words = loadFailureWords(load);
            std::fprintf(stderr, "%s: %s\n", path.c_str(), words.empty() ? kCantReadHeader : words.c_str());
            ++failures;
            continue;
        }
        std::printf("%s: %s, %d x %d, %d bits, %s", path.c_str(), formatInfo(*format).word, block.width(),
                    block.height(), block.bitCount(), load.compression.empty() ? "-" : load.compression.c_str());
        if (ImageListFunction scanner = CodecRegistry::instance().imageList(*format)) {
            Result<ImageList> images = scanner(path);
            if (images && images->count > 1)
                std::printf(", %d %s", images->count,
                            formatInfo(*format).multiImage == MultiImage::Pages ? "pages" : "images");
        }
        if (!load.truncation.empty())
            std::printf(" (%s)", kFileTruncated);
        std::printf("\n");
    }
    return failures ? 1 : 0;
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

// Prints the progress list as it grows.
class PrintedProgress : public BatchProgress {
public:
    void setCaption(const std::string&) override {}
    void addLine(const std::string& line) override
    {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
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
    std::vector<Operation> operations;
    std::string error;
    bool sandbox = true;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (argument == "--version") {
            if (sandbox)
                decodeAsSettingsSay(SettingsFile());
            std::printf("pictorand32-convert %s\n%s\n", programVersion(), decoderConfinementText().c_str());
            return 0;
        }
        if (argument == "--no-sandbox") {
            sandbox = false;
        } else if (argument == "--info") {
            info = true;
        } else if (argument == "-t" || argument == "-o") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "pictorand32-convert: %s needs a value\n", argument.c_str());
                return 2;
            }
            (argument == "-t" ? typeName : outputDirectory) = argv[++i];
        } else if (argument == "-j") {
            char* end = nullptr;
            const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || value < 1 || value > 1024) {
                std::fprintf(stderr, "pictorand32-convert: -j needs a number of jobs from 1 to 1024\n");
                return 2;
            }
            jobs = static_cast<int>(value);
            ++i;
        } else if (OptionParse parsed = parseOperationOption(argc, argv, i, operations, error);
                   parsed != OptionParse::NotAnOperation) {
            if (parsed == OptionParse::Refused) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 2;
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "pictorand32-convert: unknown option %s (try --help)\n", argument.c_str());
            return 2;
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        printUsage(stderr);
        return 2;
    }
    // Each file is decoded in a confined worker, one for each job.
    if (sandbox)
        decodeAsSettingsSay(SettingsFile(), std::min(jobs, static_cast<int>(files.size())));
    if (info)
        return describe(files);

    BatchRequest request;
    request.outputType = outputTypeIndex(typeName);
    if (request.outputType < 0) {
        std::fprintf(stderr, "pictorand32-convert: unknown output type '%s' (%s)\n", typeName.c_str(),
                     typeNames(", ").c_str());
        return 2;
    }
    if (outputDirectory.empty()) {
        // An empty directory would mean the root directory.
        std::fprintf(stderr, "pictorand32-convert: %s\n", kBatchNoOutputDirectory);
        return 2;
    }
    request.sources = files;
    request.outputDirectory = outputDirectory;
    request.jobs = jobs;
    request.stopRequested = [] { return stopRequested != 0; };
    if (!operations.empty()) {
        request.adjustBlock = [&operations](ImageBlock& block) {
            std::string message;
            if (applyOperations(block, operations, message))
                return true;
            static std::mutex stderrLock;
            std::lock_guard lock(stderrLock);
            std::fprintf(stderr, "pictorand32-convert: %s\n", message.c_str());
            return false;
        };
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
    request.loadOther = [drawingWidth, drawingHeight](const std::string& path) {
        const std::optional<ImageFormat> format = DetectFormat(path);
        if (!format || *format != ImageFormat::Metafile)
            return ImageBlock();
        Result<ImageBlock> block = rasteriseMetafile(path, drawingWidth, drawingHeight);
        if (!block) {
            static std::mutex stderrLock;
            std::lock_guard lock(stderrLock);
            std::fprintf(stderr, "%s: %s\n", path.c_str(), block.text().c_str());
            return ImageBlock();
        }
        return block.take();
    };
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    PrintedProgress progress;
    BatchResult result = runBatchConversion(request, progress);
    if (result.stopped)
        return 130;
    return result.errors == 0 ? 0 : 1;
}
