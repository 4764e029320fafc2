#include "platform/version.h"

namespace pictorand {
const char* programVersion() { return PICTORAND_VERSION; }
}
