#pragma once
// The batch conversion run: every listed file is loaded for batch and
// saved with SaveImage into one output directory and one output type, each
// result reported as a line of the progress list. The dialog and the
// progress window belong to the viewer; the command-line converter drives
// the same run.

#include "core/codec_registry.h"
#include "core/image_format.h"
#include "core/image_block.h"
#include "core/result.h"
#include "core/turn.h"
#include "dispatch/load.h"
#include "platform/settings_file.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pictorand {

// The output types are the savable formats in Save-as order, index 0 for
// type number 1 (core/image_format.h): the batch dialog lists their
// batchEntry texts. The extension for a stored type index; any other value
// gives the first type's.
const char* batchExtension(int typeIndex);

// "%s%s.%s": the output directory (ending in a slash), the source's file name
// without directory and last extension, and the extension.
std::string batchDestinationPath(const std::string& outputDirectory, const std::string& source,
                                 const std::string& extension);

// The prepare-directory rule: a slash is appended when missing and missing
// levels are created. Failures are ignored: they surface later as save
// errors. Returns the prepared path; an empty value gives "" and creates
// nothing (it would otherwise mean the root directory).
std::string prepareDirectory(std::string directory);

// The progress window's part of the run.
class BatchProgress {
public:
    virtual ~BatchProgress() = default;
    // "Converting image 2 from 5", then "Batch conversion done".
    virtual void setCaption(const std::string& caption) = 0;
    // A line appended to the progress list (and selected).
    virtual void addLine(const std::string& line) = 0;
    // Why a file did not convert, before its line: `file` is the source,
    // or the destination when the save failed.
    virtual void fileFailed(const std::string& /*file*/, const Failure& /*why*/) {}
    // Let waiting events run (the Stop button); called before each file.
    virtual void processEvents() {}
    // The run has ended: activate the window, enable Exit, disable Stop.
    virtual void finished() {}
};

struct BatchRequest {
    std::vector<std::string> sources; // in conversion order
    int outputType = 0;               // index into savableFormats()
    std::string outputDirectory;
    // Checked between files (after processEvents); the files in progress
    // complete. Called from the workers when jobs > 1.
    std::function<bool()> stopRequested;
    // Files converted at once. The report lines, their order and the files
    // written are those of one job; each job holds one picture at a time.
    int jobs = 1;
    // Optional work on each loaded block before it is saved (the converter's
    // image operations). A failure counts the file as not saved. Called from
    // the workers when jobs > 1.
    std::function<Status(ImageBlock& block)> adjustBlock;
    // Optional: a block for a file the batch load gives none for (the
    // converter rasterises metafiles), or the failure to report; handed the
    // failed load.
    std::function<Result<ImageBlock>(const LoadOutcome& failed)> loadOther;
    // Set when adjustBlock only turns and mirrors, as this says: a JPEG saved
    // as JPEG then has its blocks turned instead of being decoded and
    // compressed again, losing nothing. A file that cannot be turned so (its
    // sides not whole blocks without trimEdges or "Trim Edges", "Load
    // Grayscale" on, "Lossless Turn" off) goes the usual way.
    std::optional<Turn> losslessTurn;
    bool trimEdges = false; // the partial edge blocks may go
};

struct BatchResult {
    int errors = 0;     // files that did not convert
    int converted = 0;
    bool stopped = false;
    bool started = false; // false when the list was empty: no progress window
    bool refused = false; // no output directory: nothing run, kBatchNoOutputDirectory
};

// Result lines of the progress list.
inline constexpr const char* kBatchConverting = "Converting";
inline constexpr const char* kBatchOk = "... Ok";
// A picture whose reader could read only part of it, saved as it was read.
inline constexpr const char* kBatchOkTruncated = "... Ok (file is truncated)";
inline constexpr const char* kBatchDestinationExists = "Error: Destination file already exists";
// The same as a failure's words.
inline constexpr const char* kDestinationExists = "Destination file already exists";
inline constexpr const char* kBatchCantSave = "Error! Can't save";
inline constexpr const char* kBatchCantLoad = "Error! Can't load";
inline constexpr const char* kBatchDone = "Batch conversion done";
inline constexpr const char* kBatchNoOutputDirectory =
    "No output directory: choose the folder the converted files go to.";

// The progress is told from the calling thread only.
BatchResult runBatchConversion(const BatchRequest& request, BatchProgress& progress);
BatchResult runBatchConversion(const BatchRequest& request, BatchProgress& progress, const CodecRegistry& registry,
                               const SettingsFile& settings);

// The number of processors, for the default of jobs.
int processorCount();

// The run as the batch command starts it: type and directory from the
// settings file ("OutputType", "OutputPath" of section "Batch").
BatchRequest batchRequestFromSettings(const SettingsFile& settings, std::vector<std::string> sources);

} // namespace pictorand
