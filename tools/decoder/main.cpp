// pictorand32-decoder: the confined worker every picture is decoded in (see
// dispatch/confined_load.h). It is started by the viewer, the converter and
// the thumbnailer, never by a user.
#include "dispatch/decoder_worker.h"

// A sanitizer build would answer a fault by reading its own memory map and
// starting a symbolizer, both of which the filter forbids: the fault itself
// is the report the parent wants.
extern "C" const char* __asan_default_options() { return "handle_segv=0:detect_leaks=0:symbolize=0"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=0:symbolize=0"; }

int main(int argc, char** argv)
{
    return pictorand::serveLoads(argc, argv, pictorand::CodecRegistry::instance(), pictorand::warmUpSamples());
}
