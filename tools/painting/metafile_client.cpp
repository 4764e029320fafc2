#include "tools/painting/metafile_client.h"

#include "codecs/bmp/bmp.h"
#include "dispatch/load.h"
#include "dispatch/load_wire.h"
#include "platform/file_descriptor.h"
#include "platform/paths.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fcntl.h>
#include <vector>

extern char** environ;

namespace pictorand {

namespace {

constexpr const char* kPainterName = "pictorand32-metafile-raster";

// Where the program's other helpers are: the build tree's, or the install's.
std::string painterPath() { return helperProgram(kPainterName); }

std::string readAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno != EINTR)
            return text;
    }
}

constexpr int kNotStarted = -1;
constexpr int kStopped = -2; // by a signal

// The painter's exit status and what it said on standard error; it reads
// `input` as its standard input.
int runPainter(const std::vector<std::string>& arguments, const std::string& input, std::string& said)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return kNotStarted;
    FileDescriptor readEnd(pipeEnds[0]);
    FileDescriptor writeEnd(pipeEnds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.close();
    if (spawned != 0)
        return kNotStarted;
    said = readAll(readEnd.get());
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return kStopped;
    return WIFEXITED(status) ? WEXITSTATUS(status) : kStopped;
}

bool writeAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    size_t done = 0;
    while (file.get() >= 0 && done < bytes.size()) {
        const ssize_t wrote = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (wrote > 0)
            done += static_cast<size_t>(wrote);
        else if (wrote < 0 && errno != EINTR)
            return false;
    }
    return file.get() >= 0 && done == bytes.size();
}

} // namespace

Result<ImageBlock> rasteriseMetafile(const std::string& path, int width, int height)
{
    // The records are walked where every file is decoded; the painter gets
    // only the checked drawing.
    // As the viewer loads it: a batch load refuses metafiles, whose drawing
    // is what is wanted here.
    return paintLoadedMetafile(load(LoadRequest{{path}, LoadPurpose::View, {}}), width, height);
}

Result<ImageBlock> paintLoadedMetafile(const LoadOutcome& loaded, int width, int height)
{
    const std::string& path = loaded.path;
    if (!loaded.ok())
        return Failure{loaded.failure.reason, loadFailureWords(loaded)};
    if (!loaded.drawing)
        return Failure{Reason::NotThisFormat, path + " is not a metafile"};
    std::string folder = tempDirectory() + "pictorand32-metafile-XXXXXX";
    if (!::mkdtemp(folder.data()))
        return Failure{Reason::WriteFailed, "Can't create a temporary folder in " + tempDirectory()};
    const std::string picture = folder + "/drawing.bmp";
    const std::string drawing = folder + "/drawing.outcome";
    std::string said;
    const std::string painter = painterPath();
    int status = kNotStarted;
    if (writeAll(drawing, encodeLoadOutcome(loaded, true)))
        status = runPainter({painter, path, std::to_string(width), std::to_string(height), picture}, drawing, said);
    else
        said = "Can't write " + drawing;
    Result<DecodedImage> drawn = Failure{Reason::CorruptData, said};
    if (status == kNotStarted && said.empty())
        drawn = Failure{Reason::NoCodec, "Can't run " + painter};
    else if (status == kStopped)
        drawn = Failure{Reason::CorruptData, painter + " stopped before it had drawn " + path};
    else if (status == 0)
        drawn = readBmp(picture);
    ::unlink(picture.c_str());
    ::unlink(drawing.c_str());
    ::rmdir(folder.c_str());
    if (!drawn)
        return drawn.failure();
    return std::move(drawn->block);
}

} // namespace pictorand
