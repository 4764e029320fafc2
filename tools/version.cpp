#include "tools/version.h"

namespace pictorand {
const char* programVersion() { return PICTORAND_VERSION; }
}
