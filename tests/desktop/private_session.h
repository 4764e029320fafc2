#pragma once
// The private X server and session bus the desktop tests run against.

#include <string>

namespace pictorand::testing {

// Why Xvfb is not up with the application talking to it; empty when it is.
std::string missingX11();
// Why no private session bus is up (DBUS_SESSION_BUS_ADDRESS names it when
// one is); empty when it is.
std::string missingSessionBus();
// The session's own folder (XDG_CONFIG_HOME, the program's config folder,
// the runtime folder live under it).
const std::string& sessionFolder();

} // namespace pictorand::testing
