// pictorand32-convert: the program's readers and writers on the command line.

#include "core/codec_registry.h"
#include "core/dispatch/load_dispatch.h"
#include "platform/paths.h"
#include "tools/convert/operations.h"
#include "tools/version.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace pictorand;

namespace {

void printUsage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: pictorand32-convert [-t TYPE] [-o DIR] FILE...\n"
                 "       pictorand32-convert --info FILE...\n"
                 "\n"
                 "Converts each FILE to TYPE (jpg, gif, bmp, png, tif, pcx, ico; default bmp)\n"
                 "into DIR (default: the current directory), or with --info prints each\n"
                 "file's format, size, bit count and compression.\n"
                 "\n"
                 "  -t TYPE     output type\n"
                 "  -o DIR      output directory\n"
                 "  --info      describe the files instead of converting them\n"
                 "  --help      show this help\n"
                 "  --version   show the version\n");
    std::fprintf(out, "\n%s", operationsUsage());
}

int describe(const std::vector<std::string>& files)
{
    int failures = 0;
    for (const std::string& path : files) {
        auto format = DetectFormat(path);
        std::string message;
        std::string compression;
        ImageBlock block = format ? loadForBatchWithMessage(path, message, compression) : ImageBlock();
        if (!format || !block) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(),
                         message.empty() ? "Unsupported file type" : message.c_str());
            ++failures;
            continue;
        }
        std::printf("%s: %s, %d x %d, %d bits, %s", path.c_str(), formatInfo(*format).word, block.width(),
                    block.height(), block.bitCount(), compression.empty() ? "-" : compression.c_str());
        if (ImageCounterFunction counter = CodecRegistry::instance().imageCounter(*format)) {
            int count = counter(path);
            if (count > 1)
                std::printf(", %d %s", count, *format == ImageFormat::Tiff ? "pages" : "images");
        }
        std::printf("\n");
    }
    return failures ? 1 : 0;
}

int convert(const std::vector<std::string>& files, const SaveTypeInfo& type, std::string outputDirectory,
            const std::vector<Operation>& operations)
{
    WriterFunction writer = CodecRegistry::instance().writer(type.type);
    if (!writer) {
        std::fprintf(stderr, "pictorand32-convert: writing %s files is not available\n", type.key);
        return 2;
    }
    if (!outputDirectory.empty() && outputDirectory.back() != '/')
        outputDirectory += '/';
    int failures = 0;
    for (const std::string& path : files) {
        std::string message;
        std::string compression;
        ImageBlock block = loadForBatchWithMessage(path, message, compression);
        std::string target = outputDirectory + baseNameWithoutExtension(path) + type.extension;
        if (!block) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), message.c_str());
            ++failures;
            continue;
        }
        if (!applyOperations(block, operations, message)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), message.c_str());
            ++failures;
            continue;
        }
        WriteOptions options;
        if (!writer(target, block, options, message)) {
            std::fprintf(stderr, "%s: Save error ! %s\n", target.c_str(), message.c_str());
            ++failures;
            continue;
        }
        std::printf("%s -> %s\n", path.c_str(), target.c_str());
    }
    return failures ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    std::string typeName = "bmp";
    std::string outputDirectory;
    bool info = false;
    std::vector<Operation> operations;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("pictorand32-convert %s\n", programVersion());
            return 0;
        }
        if (argument == "--info") {
            info = true;
        } else if (argument == "-t" || argument == "-o") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "pictorand32-convert: %s needs a value\n", argument.c_str());
                return 2;
            }
            (argument == "-t" ? typeName : outputDirectory) = argv[++i];
        } else if (OptionParse parsed = parseOperationOption(argc, argv, i, operations, error);
                   parsed != OptionParse::NotAnOperation) {
            if (parsed == OptionParse::Refused) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 2;
            }
        } else if (argument.size() > 1 && argument[0] == '-' && argument != "-") {
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
    if (info)
        return describe(files);
    const SaveTypeInfo* type = saveTypeByKey(typeName == "jpeg" ? "jpg" : typeName == "tiff" ? "tif" : typeName);
    if (!type) {
        std::fprintf(stderr, "pictorand32-convert: unknown output type '%s' (jpg, gif, bmp, png, tif, pcx, ico)\n",
                     typeName.c_str());
        return 2;
    }
    return convert(files, *type, outputDirectory, operations);
}
