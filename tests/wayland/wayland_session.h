#pragma once
// The compositor the Wayland tests run against, started by the test main.

#include <string>

namespace pictorand::testing {

// Why weston is not up with the application talking to it; empty when it is.
std::string missingWayland();
// The private X server weston draws its output into: what the compositor
// shows, read back with `import -display`.
const std::string& compositorDisplay();
// The session's own folder (runtime, configuration and program folders).
const std::string& sessionFolder();
inline constexpr int kOutputWidth = 800;
inline constexpr int kOutputHeight = 600;

} // namespace pictorand::testing
