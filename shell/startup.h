#pragma once
// The viewer's start-up: command line, other instances, the display check,
// the settings read at start, the main window, the first picture.

#include "dispatch/read_ahead.h"
#include "shell/core/command_line.h"
#include "shell/main_window.h"
#include "shell/startup_trace.h"

#include <memory>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kSixteenColorsMessage = "Sorry!\nThis software required more than 16 colors.\nExit.";
// Wayland leaves the placing of windows to the compositor; a program cannot.
inline constexpr const char* kCantPlaceWindowMessage =
    "This desktop (Wayland) places windows itself: the position given with /pos= is not used.";

// The window system lets a program put its window where it wants.
bool windowsCanBePlaced();

struct StartupResult {
    // Null when the program ends at once; exitCode says how.
    std::unique_ptr<MainWindow> window;
    int exitCode = 0;
};

// The file named on the command line as an absolute path (empty when none).
std::string startupFilePath(const CommandLine& line);

// Starts reading the file named on the command line on a worker thread, so
// the decode runs while the toolkit and the window are set up; null when
// there is nothing to read ahead. Needs no display: call it first.
std::unique_ptr<ReadAhead> startReadAhead(const CommandLine& line);

// Runs the start-up sequence up to the message loop. `services` substitutes
// the display and dialogs in tests; `readAhead` is the read begun by
// startReadAhead, if any.
StartupResult startViewer(const std::vector<std::string>& arguments, ViewerServices services = {},
                          std::unique_ptr<ReadAhead> readAhead = nullptr);

// True once another viewer asked this one to end; the program must then end
// instead of entering (or going on with) its message loop.
bool viewerEndRequested();

} // namespace pictorand
