#pragma once
// Decoding in confined workers. A program that reads files for a user (the
// viewer, the converter, the thumbnailer) turns this on at start; from then
// on every load() of its runs in a worker process that holds nothing but the
// file it was handed, can open nothing, reach no network and start no
// program, and whose crash, runaway loop or runaway allocation ends that one
// load with a message, never the program. The tests of the readers and of
// the rest of the program decode in process, as a program does with
// Sandbox=0.

#include "dispatch/load.h"
#include "platform/settings_file.h"

#include <chrono>
#include <string>

namespace pictorand {

struct DecoderWorkers {
    // The worker program; empty: pictorand32-decoder where this program finds
    // its helpers.
    std::string program;
    std::chrono::seconds wallLimit{30};
    // Workers kept started ahead: one per job that may run at once; 0 for a
    // program that makes one load, which starts its worker when it needs it
    // (a spare started beside it would only compete with it for the cores).
    int spares = 1;
};

// Turns confined decoding on (again, with these settings) or off for this
// process. Safe before the program has threads of its own; spares are
// started at once, so that the first load finds one ready.
void decodeInWorkers(const DecoderWorkers& workers);
void decodeInThisProcess();
bool decodingInWorkers();

// What the settings say: "Sandbox" (on unless 0) and "SandboxSeconds".
// `spares` is how many loads the program runs at once.
void decodeAsSettingsSay(const SettingsFile& settings, int spares = 1);
// How many decoder workers to keep started ahead from now on: the viewer
// starts with one, so that a second does not compete with its own start-up,
// and keeps two once its first picture is on screen.
void keepDecoderSpares(int spares);
int keptDecoderSpares(); // 0 when decoding in this process
// For a program on its way out: the decoder jobs under way end now (their
// workers are stopped) instead of being waited for, and no more start.
void abandonDecoderJobs();

// What --version says: "decoders run confined: namespaces, system-call
// filter, memory limit, CPU limit", "decoders run in this process (Sandbox=0)",
// or why they cannot be confined.
std::string decoderConfinementText();

// A load in a worker; what load() does when workers are on. A worker that
// ends otherwise than with an answer gives a Failed outcome at
// LoadStage::Decoder whose words say what became of it.
LoadOutcome loadInWorker(const LoadRequest& request);

// The words of each way a worker can end without an answer.
inline constexpr const char* kDecoderCrashed = "the decoder stopped (signal %d)";
inline constexpr const char* kDecoderForbiddenCall = "the decoder tried a forbidden system call";
inline constexpr const char* kDecoderOutOfMemory = "picture needs more memory than allowed";
inline constexpr const char* kDecoderTooLong = "the decoder took too long";
inline constexpr const char* kDecoderGarbled = "the decoder gave an answer that does not hold up";
inline constexpr const char* kDecoderNotStarted =
    "the decoder could not be started (%s); Sandbox=0 in [Others] decodes in the program itself";

} // namespace pictorand
