// Starts Xvfb and a session bus of its own, with private configuration,
// runtime, data and program folders and gsettings on its keyfile backend, then
// runs the tests on the xcb platform. When only listing the tests (CMake
// does at build time) nothing is started.
#include "tests/desktop/private_session.h"
#include "tests/support/session_main.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace pictorand::testing {
namespace {

std::string g_missingX11 = "missing: Xvfb was not started";
std::string g_missingBus = "missing: no session bus was started";
std::string g_folder;
std::vector<pid_t> g_children;

// Starts a program that writes one line to `fd` once it is ready (its
// display number or bus address) and returns that line, empty on failure.
std::string startAndReadLine(std::vector<std::string> arguments, const std::string& fdArgumentPrefix)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    arguments.push_back(fdArgumentPrefix + std::to_string(pipeFds[1]));
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        // Their chatter (activations, fd limits) is not the tests' output.
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0)
            dup2(quiet, STDERR_FILENO);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return {};
    }
    g_children.push_back(pid);
    std::string line;
    char c;
    while (read(pipeFds[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(pipeFds[0]);
    return line;
}

void stopChildren()
{
    for (pid_t pid : g_children) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    g_children.clear();
    // Services the bus started end only once they see it gone, and the
    // desktop portal's document store has a FUSE folder mounted in the
    // runtime folder until then: removing the session may take a few tries.
    for (int attempt = 0; !g_folder.empty() && attempt < 50; ++attempt) {
        std::error_code error;
        std::filesystem::remove_all(g_folder, error);
        if (!error)
            break;
        usleep(100000);
    }
}

void startSession()
{
    char folder[] = "/tmp/pictorand-desktop-XXXXXX";
    if (!mkdtemp(folder))
        return;
    g_folder = folder;
    const std::string runtime = g_folder + "/run";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_folder + "/config").c_str(), 1);
    setenv("PICTORAND_WINDIR", (g_folder + "/windir").c_str(), 1);
    // The desktop portal's permission store and document store live there.
    setenv("XDG_DATA_HOME", (g_folder + "/data").c_str(), 1);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    // The tests say which desktop they pretend to be.
    for (const char* name : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "WAYLAND_DISPLAY", "DESKTOP_SESSION"})
        unsetenv(name);

    // -noreset: the server would otherwise start over whenever its last
    // client (a clipboard tool, a viewer) goes, and a client connecting in
    // that moment is turned away.
    const std::string display =
        startAndReadLine({"Xvfb", "-noreset", "-screen", "0", "640x480x24", "-nolisten", "tcp", "-displayfd"}, "");
    if (!display.empty()) {
        setenv("DISPLAY", (":" + display).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        g_missingX11.clear();
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        g_missingX11 = haveTool("Xvfb") ? "missing: Xvfb did not start" : missingTools({"Xvfb"});
    }
    const std::string address = startAndReadLine({"dbus-daemon", "--session", "--nofork"}, "--print-address=");
    if (!address.empty()) {
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        g_missingBus.clear();
    } else {
        g_missingBus = haveTool("dbus-daemon") ? "missing: dbus-daemon did not start" : missingTools({"dbus-daemon"});
    }
}

} // namespace

std::string missingX11() { return g_missingX11; }
std::string missingSessionBus() { return g_missingBus; }
const std::string& sessionFolder() { return g_folder; }

} // namespace pictorand::testing

int main(int argc, char** argv)
{
    return pictorand::testing::runInSession(argc, argv, pictorand::testing::startSession,
                                            pictorand::testing::stopChildren);
}
