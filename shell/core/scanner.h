#pragma once
// Scanning through SANE. Every call may wait on a device (a network scanner
// can take many seconds to answer), so the viewer makes them on a worker
// thread; only `ScannerConnection::cancel` is meant for another thread
// while a page is being read. Calls into SANE are serialised here: the
// library promises nothing about two threads at once.

#include "core/image_block.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pictorand {

// The text every failed scan shows, whatever SANE said.
inline constexpr const char* kScanErrorMessage = "Scan error !";

struct ScannerDevice {
    std::string name;        // what sane_open takes
    std::string description; // "vendor model (type)" for the list
};

// Every device SANE finds, local or on the network.
std::vector<ScannerDevice> findScanners();

// What an option lets the user choose: a list of texts (mode, source), a
// list of numbers, or a range with a step (numbers as whole units: dots per
// inch, bits). `present` is false when the device has no such option or it
// cannot be set.
struct ScanOptionChoices {
    bool present = false;
    std::vector<std::string> texts;
    std::vector<int> numbers;
    int minimum = 0;
    int maximum = 0;
    int step = 0; // 0: any value in the range
};

// The allowed value nearest to `wanted` (the lower of two equally near).
int snapToChoices(const ScanOptionChoices& choices, int wanted);

// What the user asked for; an empty text or 0 keeps the device's value.
struct ScanSettings {
    std::string mode;
    int depth = 0;
    int resolution = 0;
    std::string source;
};

// One frame as SANE describes it, checked before any data becomes a block.
struct ScanFrameLayout {
    enum class Format { Grey, Rgb, Red, Green, Blue } format = Format::Grey;
    int depth = 8;              // 1, 8 or 16
    int64_t pixelsPerLine = 0;
    int64_t bytesPerLine = 0;
    int64_t lines = -1;         // -1: not known until the data ends
};

// Empty when the layout can be read; the reason otherwise.
std::string checkFrameLayout(const ScanFrameLayout& layout);

// Builds the picture from the rows of its frames (one frame, or the red,
// green and blue frames of a three-pass scanner in any order), top row
// first. Complete rows only: a frame that ends early gives a shorter
// picture; rows past the declared count are ignored. Grey at 1 bit (where
// SANE's 1 is black) becomes a two-colour block, other grey an 8-bit block
// with a grey ramp, colour a 24-bit block; 16-bit samples, in the host's
// byte order, are rounded to 8 bits. Null when nothing usable arrived or
// the block cannot be had.
struct ScanFrame {
    ScanFrameLayout layout;
    std::vector<uint8_t> data;
};
ImageBlock blockFromFrames(const std::vector<ScanFrame>& frames);

enum class PageEnd {
    Page,            // `page` holds the picture
    NoMoreDocuments, // the feeder is empty: a normal end
    Cancelled,
    Failed,          // `error` says why
};

class ScannerConnection {
public:
    // Null, with SANE's reason in `error`, when the device cannot be opened.
    static std::unique_ptr<ScannerConnection> open(const std::string& device, std::string& error);
    ~ScannerConnection();
    ScannerConnection(const ScannerConnection&) = delete;
    ScannerConnection& operator=(const ScannerConnection&) = delete;

    // The choices of "mode", "depth", "resolution" or "source".
    ScanOptionChoices choices(const char* option) const;
    std::string currentText(const char* option) const;
    int currentNumber(const char* option) const;

    // Sets what is given, each value snapped to what the device allows;
    // false with the reason in `error` when the device refuses one.
    bool apply(const ScanSettings& settings, std::string& error);
    // Sets any option by its SANE name from text, as scanimage takes it:
    // "yes" or "no" for a switch, a whole number, or the text itself.
    bool setOption(const char* option, const std::string& value, std::string& error);
    // True when the selected source is a document feeder, whose pages are
    // scanned until it reports that it is empty.
    bool feederSelected() const;

    // Scans the next page. `progress` gets 0..100 as the data arrives (not
    // at all when the device does not know the page's length).
    PageEnd scanPage(ImageBlock& page, std::string& error, const std::function<void(int)>& progress = {});
    // Ends the scan in progress and the batch: safe from any thread.
    void cancel();
    // After the last page (or a failure): lets the device go idle.
    void finish();

private:
    explicit ScannerConnection(void* handle) : m_handle(handle) {}
    int findOption(const char* option) const;
    bool setText(int index, const std::string& value, std::string& error);
    bool setNumber(int index, int value, std::string& error);

    void* m_handle = nullptr;
    std::atomic<bool> m_cancelled{false};
    bool m_scanning = false;
};

} // namespace pictorand
