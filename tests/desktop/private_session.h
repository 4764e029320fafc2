#pragma once
// The private X server and session bus the desktop tests run against.

#include <string>

namespace pictorand::testing {

// True when Xvfb is up and the application talks to it.
bool haveX11();
// True when a private session bus is up (DBUS_SESSION_BUS_ADDRESS names it).
bool haveSessionBus();
// The session's own folder (XDG_CONFIG_HOME, the program's config folder,
// the runtime folder live under it).
const std::string& sessionFolder();

} // namespace pictorand::testing
