#include "shell/core/scanner.h"

#include "codecs/common/library_pixels.h"
#include "core/checked_size.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>

namespace pictorand {

namespace {

// SANE is initialised once, on first use, and left for the process's end:
// closing it while a worker thread still waits on a device would pull the
// backends out from under it.
std::mutex& saneLock()
{
    static std::mutex lock;
    return lock;
}

bool saneReady()
{
    static const bool ready = [] {
        SANE_Int version = 0;
        return sane_init(&version, nullptr) == SANE_STATUS_GOOD;
    }();
    return ready;
}

SANE_Handle handleOf(void* handle) { return static_cast<SANE_Handle>(handle); }

std::string statusText(SANE_Status status) { return sane_strstatus(status); }

// A value in whole units: dots per inch are fixed-point in most backends
// and whole numbers in some.
int wholeUnits(SANE_Word word, SANE_Value_Type type)
{
    if (type != SANE_TYPE_FIXED)
        return word;
    return static_cast<int>(std::lround(SANE_UNFIX(word)));
}

SANE_Word wordFor(int value, SANE_Value_Type type) { return type == SANE_TYPE_FIXED ? SANE_FIX(value) : value; }

// Complete rows a frame holds.
int64_t rowsHeld(const ScanFrame& frame)
{
    int64_t rows = static_cast<int64_t>(frame.data.size()) / frame.layout.bytesPerLine;
    if (frame.layout.lines >= 0)
        rows = std::min(rows, frame.layout.lines);
    return rows;
}

int channelOf(ScanFrameLayout::Format format)
{
    switch (format) {
    case ScanFrameLayout::Format::Red: return 0;
    case ScanFrameLayout::Format::Green: return 1;
    case ScanFrameLayout::Format::Blue: return 2;
    default: return -1;
    }
}

// Sample i of a row, as 8 bits.
uint8_t sampleAt(const uint8_t* row, int64_t i, int depth)
{
    switch (depth) {
    case 1: return (row[i / 8] >> (7 - i % 8)) & 1 ? 255 : 0;
    case 8: return row[i];
    default: {
        uint16_t value = 0;
        std::memcpy(&value, row + 2 * i, 2); // the host's byte order
        return static_cast<uint8_t>((uint32_t(value) * 255 + 32767) / 65535);
    }
    }
}

ImageBlock lineArtBlock(const ScanFrame& frame, int32_t width, int32_t height)
{
    ImageBlock block = ImageBlock::create(width, height, 1, 2);
    if (!block)
        return {};
    block.setColor(0, 0, 0, 0);
    block.setColor(1, 255, 255, 255);
    const auto bytes = static_cast<size_t>((width + 7) / 8);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = frame.data.data() + y * frame.layout.bytesPerLine;
        uint8_t* target = block.topRow(y);
        for (size_t i = 0; i < bytes; ++i)
            target[i] = static_cast<uint8_t>(~source[i]); // SANE's 1 is black, our entry 1 white
    }
    return block;
}

} // namespace

std::vector<ScannerDevice> findScanners()
{
    std::lock_guard<std::mutex> hold(saneLock());
    std::vector<ScannerDevice> found;
    const SANE_Device** devices = nullptr;
    if (!saneReady() || sane_get_devices(&devices, SANE_FALSE) != SANE_STATUS_GOOD || !devices)
        return found;
    for (const SANE_Device** device = devices; *device; ++device) {
        const SANE_Device& d = **device;
        if (!d.name)
            continue;
        std::string description = std::string(d.vendor ? d.vendor : "") + " " + (d.model ? d.model : "");
        if (d.type && *d.type)
            description += std::string(" (") + d.type + ")";
        found.push_back({d.name, description});
    }
    return found;
}

int snapToChoices(const ScanOptionChoices& choices, int wanted)
{
    if (!choices.numbers.empty()) {
        int best = choices.numbers.front();
        for (int n : choices.numbers)
            if (std::abs(int64_t(n) - wanted) < std::abs(int64_t(best) - wanted)
                || (std::abs(int64_t(n) - wanted) == std::abs(int64_t(best) - wanted) && n < best))
                best = n;
        return best;
    }
    if (choices.maximum < choices.minimum)
        return wanted;
    const int clamped = std::clamp(wanted, choices.minimum, choices.maximum);
    if (choices.step <= 0)
        return clamped;
    const int64_t steps = (int64_t(clamped) - choices.minimum + choices.step / 2) / choices.step;
    return static_cast<int>(std::min<int64_t>(choices.minimum + steps * choices.step, choices.maximum));
}

std::string checkFrameLayout(const ScanFrameLayout& layout)
{
    if (layout.depth != 1 && layout.depth != 8 && layout.depth != 16)
        return "The scanner sends " + std::to_string(layout.depth) + "-bit samples";
    const int channels = layout.format == ScanFrameLayout::Format::Rgb ? 3 : 1;
    if (layout.pixelsPerLine <= 0 || layout.pixelsPerLine >= INT32_MAX || layout.lines < -1
        || layout.lines >= INT32_MAX || layout.bytesPerLine <= 0)
        return "The scanner describes its picture wrongly";
    const int64_t needed = (layout.pixelsPerLine * channels * layout.depth + 7) / 8;
    if (layout.bytesPerLine < needed)
        return "The scanner describes its picture wrongly";
    return {};
}

ImageBlock blockFromFrames(const std::vector<ScanFrame>& frames)
{
    if (frames.empty() || frames.size() > 3)
        return {};
    for (const ScanFrame& frame : frames)
        if (!checkFrameLayout(frame.layout).empty() || frame.layout.depth != frames[0].layout.depth
            || frame.layout.pixelsPerLine != frames[0].layout.pixelsPerLine)
            return {};
    const ScanFrameLayout& first = frames[0].layout;
    const bool threePass = channelOf(first.format) >= 0;
    // A three-pass scan needs each of red, green and blue once.
    const ScanFrame* planes[3] = {};
    if (threePass) {
        for (const ScanFrame& frame : frames) {
            const int channel = channelOf(frame.layout.format);
            if (channel < 0 || planes[channel])
                return {};
            planes[channel] = &frame;
        }
        if (!planes[0] || !planes[1] || !planes[2])
            return {};
    } else if (frames.size() != 1) {
        return {};
    }

    int64_t rows = std::numeric_limits<int64_t>::max();
    for (const ScanFrame& frame : frames)
        rows = std::min(rows, rowsHeld(frame));
    if (rows <= 0)
        return {};
    const auto width = static_cast<int32_t>(first.pixelsPerLine);
    const auto height = static_cast<int32_t>(rows);
    if (first.format == ScanFrameLayout::Format::Grey && first.depth == 1)
        return lineArtBlock(frames[0], width, height);

    const bool colour = threePass || first.format == ScanFrameLayout::Format::Rgb;
    const SampleLayout layout{colour ? 3 : 1, 8};
    ImageBlock block = createBlockForLayout(static_cast<uint32_t>(width), static_cast<uint32_t>(height), layout);
    if (!block)
        return {};
    const int channels = colour ? 3 : 1;
    std::vector<uint8_t> row(static_cast<size_t>(width) * static_cast<size_t>(channels));
    for (int32_t y = 0; y < height; ++y) {
        if (threePass) {
            for (int c = 0; c < 3; ++c) {
                const uint8_t* source = planes[c]->data.data() + y * planes[c]->layout.bytesPerLine;
                for (int32_t x = 0; x < width; ++x)
                    row[size_t(x) * 3 + size_t(c)] = sampleAt(source, x, first.depth);
            }
        } else {
            const uint8_t* source = frames[0].data.data() + y * first.bytesPerLine;
            for (size_t i = 0; i < row.size(); ++i)
                row[i] = sampleAt(source, static_cast<int64_t>(i), first.depth);
        }
        storeTopRow(block, y, row.data(), layout);
    }
    return block;
}

std::unique_ptr<ScannerConnection> ScannerConnection::open(const std::string& device, std::string& error)
{
    std::lock_guard<std::mutex> hold(saneLock());
    if (!saneReady()) {
        error = "SANE could not be started";
        return nullptr;
    }
    SANE_Handle handle = nullptr;
    const SANE_Status status = sane_open(device.c_str(), &handle);
    if (status != SANE_STATUS_GOOD || !handle) {
        error = statusText(status);
        return nullptr;
    }
    return std::unique_ptr<ScannerConnection>(new ScannerConnection(handle));
}

ScannerConnection::~ScannerConnection()
{
    finish();
    std::lock_guard<std::mutex> hold(saneLock());
    sane_close(handleOf(m_handle));
}

int ScannerConnection::findOption(const char* option) const
{
    SANE_Int count = 0;
    if (sane_control_option(handleOf(m_handle), 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return -1;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(handleOf(m_handle), i);
        if (d && d->name && std::strcmp(d->name, option) == 0)
            return SANE_OPTION_IS_ACTIVE(d->cap) && SANE_OPTION_IS_SETTABLE(d->cap) ? i : -1;
    }
    return -1;
}

ScanOptionChoices ScannerConnection::choices(const char* option) const
{
    std::lock_guard<std::mutex> hold(saneLock());
    ScanOptionChoices choices;
    const int index = findOption(option);
    if (index < 0)
        return choices;
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handleOf(m_handle), index);
    switch (d->constraint_type) {
    case SANE_CONSTRAINT_STRING_LIST:
        for (const SANE_String_Const* text = d->constraint.string_list; text && *text; ++text)
            choices.texts.emplace_back(*text);
        break;
    case SANE_CONSTRAINT_WORD_LIST:
        if (d->constraint.word_list)
            for (SANE_Int i = 1; i <= d->constraint.word_list[0]; ++i)
                choices.numbers.push_back(wholeUnits(d->constraint.word_list[i], d->type));
        break;
    case SANE_CONSTRAINT_RANGE:
        if (d->constraint.range) {
            choices.minimum = wholeUnits(d->constraint.range->min, d->type);
            choices.maximum = wholeUnits(d->constraint.range->max, d->type);
            choices.step = wholeUnits(d->constraint.range->quant, d->type);
        }
        break;
    default:
        if (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED)
            return choices;
        choices.minimum = 1;
        choices.maximum = std::numeric_limits<int>::max();
        break;
    }
    choices.present = true;
    return choices;
}

std::string ScannerConnection::currentText(const char* option) const
{
    std::lock_guard<std::mutex> hold(saneLock());
    const int index = findOption(option);
    if (index < 0)
        return {};
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handleOf(m_handle), index);
    if (d->type != SANE_TYPE_STRING || d->size <= 0)
        return {};
    std::vector<char> value(static_cast<size_t>(d->size) + 1, '\0');
    if (sane_control_option(handleOf(m_handle), index, SANE_ACTION_GET_VALUE, value.data(), nullptr)
        != SANE_STATUS_GOOD)
        return {};
    return value.data();
}

int ScannerConnection::currentNumber(const char* option) const
{
    std::lock_guard<std::mutex> hold(saneLock());
    const int index = findOption(option);
    if (index < 0)
        return 0;
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handleOf(m_handle), index);
    if ((d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || d->size < int(sizeof(SANE_Word)))
        return 0;
    // Some backends keep arrays: the first element is the one shown.
    std::vector<SANE_Word> value(static_cast<size_t>(d->size) / sizeof(SANE_Word));
    if (sane_control_option(handleOf(m_handle), index, SANE_ACTION_GET_VALUE, value.data(), nullptr)
        != SANE_STATUS_GOOD)
        return 0;
    return wholeUnits(value[0], d->type);
}

bool ScannerConnection::setText(int index, const std::string& value, std::string& error)
{
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handleOf(m_handle), index);
    if (d->type != SANE_TYPE_STRING || d->size <= 0 || value.size() >= static_cast<size_t>(d->size)) {
        error = "The scanner does not offer \"" + value + "\"";
        return false;
    }
    std::vector<char> buffer(static_cast<size_t>(d->size), '\0');
    std::memcpy(buffer.data(), value.data(), value.size());
    const SANE_Status status = sane_control_option(handleOf(m_handle), index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
    if (status != SANE_STATUS_GOOD) {
        error = statusText(status);
        return false;
    }
    return true;
}

bool ScannerConnection::setNumber(int index, int value, std::string& error)
{
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handleOf(m_handle), index);
    if ((d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || d->size < int(sizeof(SANE_Word))) {
        error = "The scanner does not take a number for " + std::string(d->name ? d->name : "an option");
        return false;
    }
    std::vector<SANE_Word> words(static_cast<size_t>(d->size) / sizeof(SANE_Word), wordFor(value, d->type));
    const SANE_Status status = sane_control_option(handleOf(m_handle), index, SANE_ACTION_SET_VALUE, words.data(), nullptr);
    if (status != SANE_STATUS_GOOD) {
        error = statusText(status);
        return false;
    }
    return true;
}

bool ScannerConnection::apply(const ScanSettings& settings, std::string& error)
{
    // The mode first: it changes which depths a device offers.
    struct Text {
        const char* option;
        const std::string& value;
    };
    for (const Text& text : {Text{SANE_NAME_SCAN_MODE, settings.mode}, Text{SANE_NAME_SCAN_SOURCE, settings.source}}) {
        if (text.value.empty())
            continue;
        const ScanOptionChoices offered = choices(text.option);
        if (!offered.present)
            continue;
        if (std::find(offered.texts.begin(), offered.texts.end(), text.value) == offered.texts.end()) {
            error = "The scanner does not offer \"" + text.value + "\"";
            return false;
        }
        std::lock_guard<std::mutex> hold(saneLock());
        if (!setText(findOption(text.option), text.value, error))
            return false;
    }
    struct Number {
        const char* option;
        int value;
    };
    for (const Number& number : {Number{SANE_NAME_BIT_DEPTH, settings.depth}, Number{SANE_NAME_SCAN_RESOLUTION, settings.resolution}}) {
        if (number.value <= 0)
            continue;
        const ScanOptionChoices offered = choices(number.option);
        if (!offered.present)
            continue;
        std::lock_guard<std::mutex> hold(saneLock());
        if (!setNumber(findOption(number.option), snapToChoices(offered, number.value), error))
            return false;
    }
    return true;
}

bool ScannerConnection::setOption(const char* option, const std::string& value, std::string& error)
{
    std::lock_guard<std::mutex> hold(saneLock());
    const int index = findOption(option);
    if (index < 0) {
        error = std::string("The scanner has no setting \"") + option + "\"";
        return false;
    }
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handleOf(m_handle), index);
    switch (d->type) {
    case SANE_TYPE_BOOL: {
        SANE_Bool on = value == "yes" ? SANE_TRUE : SANE_FALSE;
        const SANE_Status status = sane_control_option(handleOf(m_handle), index, SANE_ACTION_SET_VALUE, &on, nullptr);
        if (status != SANE_STATUS_GOOD)
            error = statusText(status);
        return status == SANE_STATUS_GOOD;
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || number < INT32_MIN || number > INT32_MAX) {
            error = "\"" + value + "\" is not a number";
            return false;
        }
        return setNumber(index, static_cast<int>(number), error);
    }
    case SANE_TYPE_STRING: return setText(index, value, error);
    default:
        error = std::string("The scanner's setting \"") + option + "\" takes no value";
        return false;
    }
}

bool ScannerConnection::feederSelected() const
{
    std::string source = currentText(SANE_NAME_SCAN_SOURCE);
    std::transform(source.begin(), source.end(), source.begin(), [](unsigned char c) { return std::tolower(c); });
    return source.find("feeder") != std::string::npos || source.find("adf") != std::string::npos;
}

PageEnd ScannerConnection::scanPage(ImageBlock& page, std::string& error, const std::function<void(int)>& progress)
{
    std::lock_guard<std::mutex> hold(saneLock());
    SANE_Handle handle = handleOf(m_handle);
    if (m_cancelled)
        return PageEnd::Cancelled;
    std::vector<ScanFrame> frames;
    for (;;) {
        m_scanning = true;
        const SANE_Status started = sane_start(handle);
        if (started == SANE_STATUS_NO_DOCS && frames.empty())
            return PageEnd::NoMoreDocuments;
        if (started == SANE_STATUS_CANCELLED || m_cancelled)
            return PageEnd::Cancelled;
        if (started != SANE_STATUS_GOOD) {
            error = statusText(started);
            return PageEnd::Failed;
        }
        SANE_Parameters parameters{};
        if (const SANE_Status status = sane_get_parameters(handle, &parameters); status != SANE_STATUS_GOOD) {
            error = statusText(status);
            return PageEnd::Failed;
        }
        ScanFrame frame;
        static constexpr ScanFrameLayout::Format kFormats[] = {
            ScanFrameLayout::Format::Grey, ScanFrameLayout::Format::Rgb, ScanFrameLayout::Format::Red,
            ScanFrameLayout::Format::Green, ScanFrameLayout::Format::Blue};
        if (parameters.format < SANE_FRAME_GRAY || parameters.format > SANE_FRAME_BLUE) {
            error = "The scanner sends a kind of picture this program does not read";
            return PageEnd::Failed;
        }
        frame.layout = {kFormats[parameters.format], parameters.depth, parameters.pixels_per_line,
                        parameters.bytes_per_line, parameters.lines};
        if (std::string reason = checkFrameLayout(frame.layout); !reason.empty()) {
            error = reason;
            return PageEnd::Failed;
        }
        // What the frame may hold: its declared rows, or as many as a block
        // can take when the device does not know (a hand scanner).
        const std::optional<uint64_t> declared =
            frame.layout.lines >= 0 ? checkedMul(uint64_t(frame.layout.lines), uint64_t(frame.layout.bytesPerLine))
                                    : std::optional<uint64_t>(kMaxBlockBytes);
        const uint64_t limit = std::min<uint64_t>(declared.value_or(kMaxBlockBytes), kMaxBlockBytes);
        try {
            if (frame.layout.lines >= 0)
                frame.data.reserve(static_cast<size_t>(limit));
        } catch (const std::bad_alloc&) {
            error = kCantAllocateMemory;
            return PageEnd::Failed;
        }
        std::vector<uint8_t> chunk(64 * 1024);
        int emptyReads = 0;
        for (;;) {
            SANE_Int length = 0;
            const SANE_Status status = sane_read(handle, chunk.data(), static_cast<SANE_Int>(chunk.size()), &length);
            // Some backends end a cancelled frame as if it were complete.
            if (status == SANE_STATUS_CANCELLED || m_cancelled)
                return PageEnd::Cancelled;
            if (status == SANE_STATUS_EOF)
                break;
            if (status != SANE_STATUS_GOOD) {
                error = statusText(status);
                return PageEnd::Failed;
            }
            // A device that keeps answering with nothing would hold the
            // scan open for ever.
            if (length <= 0) {
                if (++emptyReads > 100000) {
                    error = "The scanner stopped sending data";
                    return PageEnd::Failed;
                }
                continue;
            }
            emptyReads = 0;
            const uint64_t room = limit - std::min<uint64_t>(limit, frame.data.size());
            try {
                frame.data.insert(frame.data.end(), chunk.begin(),
                                  chunk.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(room, uint64_t(length))));
            } catch (const std::bad_alloc&) {
                error = kCantAllocateMemory;
                return PageEnd::Failed;
            }
            if (progress && frame.layout.lines > 0 && limit > 0)
                progress(static_cast<int>(frame.data.size() * 100 / limit));
        }
        frames.push_back(std::move(frame));
        if (parameters.last_frame)
            break;
        if (frames.size() == 3) {
            error = "The scanner sends more than three frames for a picture";
            return PageEnd::Failed;
        }
    }
    page = blockFromFrames(frames);
    if (!page) {
        error = "The scanner sent no picture";
        return PageEnd::Failed;
    }
    return PageEnd::Page;
}

void ScannerConnection::cancel()
{
    m_cancelled = true;
    // Deliberately without the lock: the scanning thread holds it while it
    // waits in sane_read, which this ends.
    sane_cancel(handleOf(m_handle));
}

void ScannerConnection::finish()
{
    if (!m_scanning)
        return;
    std::lock_guard<std::mutex> hold(saneLock());
    sane_cancel(handleOf(m_handle));
    m_scanning = false;
}

} // namespace pictorand
