#pragma once
// Start-up measurements: with PICTORAND_TRACE_STARTUP set, the time since the
// process began and the stage reached go to standard error.

namespace pictorand {

void traceStartup(const char* stage);

} // namespace pictorand
