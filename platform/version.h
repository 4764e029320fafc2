#pragma once

namespace pictorand {
// "0.1.0": the version the build was configured with.
const char* programVersion();
}
