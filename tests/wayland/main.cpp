// Starts weston with a private runtime folder, then runs the tests on Qt's
// wayland platform. weston's headless backend has no seat, and without a
// seat Wayland has no clipboard and no keyboard focus, so weston runs its
// X11 backend on a private Xvfb instead: a real compositor with a seat, still
// without a screen, whose output can be read back from the X server. When
// only listing the tests (CMake does at build time) nothing is started.
#include "tests/wayland/wayland_session.h"
#include "tests/support/session_main.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QLibraryInfo>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace pictorand::testing {
namespace {

std::string g_missing = "missing: weston was not started";
std::string g_display;
std::string g_folder;
std::vector<pid_t> g_children;

// Starts a program with its standard error in `log`; with `readyFd`, the
// number of a pipe it writes one line to once ready is appended to the
// arguments, and that line comes back (empty on failure).
std::string start(std::vector<std::string> arguments, const std::string& log, bool readyFd)
{
    int pipeFds[2] = {-1, -1};
    if (readyFd && pipe(pipeFds) != 0)
        return {};
    if (readyFd)
        arguments.push_back(std::to_string(pipeFds[1]));
    const pid_t pid = fork();
    if (pid == 0) {
        if (readyFd)
            close(pipeFds[0]);
        const int quiet = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (quiet >= 0) {
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid > 0)
        g_children.push_back(pid);
    if (!readyFd)
        return pid > 0 ? "started" : "";
    close(pipeFds[1]);
    std::string line;
    char c;
    while (pid > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(pipeFds[0]);
    return line;
}

void stopChildren()
{
    // weston first, then the X server it draws into.
    for (auto child = g_children.rbegin(); child != g_children.rend(); ++child) {
        kill(*child, SIGTERM);
        waitpid(*child, nullptr, 0);
    }
    g_children.clear();
    if (!g_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(g_folder, ignored);
    }
}

// Whether a Unix socket at `path` takes a connection.
bool accepts(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return connected;
}

void startSession()
{
    char folder[] = "/tmp/pictorand-wayland-XXXXXX";
    if (!mkdtemp(folder))
        return;
    g_folder = folder;
    const std::string runtime = g_folder + "/run";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_folder + "/config").c_str(), 1);
    setenv("PICTORAND_WINDIR", (g_folder + "/windir").c_str(), 1);
    for (const char* name : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "DESKTOP_SESSION", "QT_SCALE_FACTOR"})
        unsetenv(name);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string plugin =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms/libqwayland-generic.so";
    for (const std::string& missing : {missingTools({"Xvfb", "weston"}), missingFile(plugin, "qt6-wayland")})
        if (!missing.empty()) {
            g_missing = missing;
            return;
        }
    const std::string log = g_folder + "/compositor.log";
    g_display = start({"Xvfb", "-noreset", "-screen", "0", std::to_string(kOutputWidth) + "x" + std::to_string(kOutputHeight) + "x24",
                       "-nolisten", "tcp", "-displayfd"},
                      log, true);
    if (g_display.empty()) {
        g_missing = "missing: Xvfb did not start";
        return;
    }
    g_display = ":" + g_display;
    setenv("DISPLAY", g_display.c_str(), 1);
    start({"weston", "--backend=x11-backend.so", "--use-pixman", "--no-config", "--idle-time=0", "--socket=wl-test",
           "--width=" + std::to_string(kOutputWidth), "--height=" + std::to_string(kOutputHeight)},
          log, false);
    // The compositor is up once its socket takes a connection (the file
    // appears a moment before it listens, and a client connecting in that
    // moment is refused); a compositor that hangs on the way fails every
    // test rather than holding the run.
    const std::string socket = runtime + "/wl-test";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool listening = false;
    while (!(listening = accepts(socket)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The programs under test speak Wayland only.
    unsetenv("DISPLAY");
    if (!listening) {
        const std::vector<uint8_t> said = readFile(log);
        g_missing = "missing: weston did not start: " + std::string(said.begin(), said.end());
        return;
    }
    setenv("WAYLAND_DISPLAY", "wl-test", 1);
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    g_missing.clear();
}

} // namespace

std::string missingWayland() { return g_missing; }
const std::string& compositorDisplay() { return g_display; }
const std::string& sessionFolder() { return g_folder; }

} // namespace pictorand::testing

int main(int argc, char** argv)
{
    return pictorand::testing::runInSession(argc, argv, pictorand::testing::startSession,
                                            pictorand::testing::stopChildren);
}
