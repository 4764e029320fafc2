#pragma once
// The viewer's start-up: command line, other instances, the display check,
// the settings read at start, the main window, the first picture.

#include "shell/main_window.h"

#include <memory>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kSixteenColorsMessage = "Sorry!\nThis software required more than 16 colors.\nExit.";

struct StartupResult {
    // Null when the program ends at once; exitCode says how.
    std::unique_ptr<MainWindow> window;
    int exitCode = 0;
};

// Runs the start-up sequence up to the message loop. `services` substitutes
// the display and dialogs in tests.
StartupResult startViewer(const std::vector<std::string>& arguments, ViewerServices services = {});

// With PICTORAND_TRACE_STARTUP set, prints the time since the process began
// and the stage reached, for start-up measurements.
void traceStartup(const char* stage);

} // namespace pictorand
