#pragma once
// The outcome of a reader, a writer or an operation: a value, or the reason
// it failed. Callers and tests branch on the reason; the user's words come
// from failureText(), the one place that turns a reason into text, so a
// failure reads the same whichever caller shows it.

#include "core/messages.h"

#include <optional>
#include <string>
#include <utility>

namespace pictorand {

enum class Reason {
    OutOfMemory,   // a size over the block limit, or memory ran out
    CantOpenFile,  // the file could not be opened or created
    NotThisFormat, // the bytes are not what the format's header must be
    Truncated,     // the file ends inside its header
    BadDimensions, // a width or height of zero, negative or over the format's limit
    BadHeader,     // another header field out of range
    Unsupported,   // a valid variant this program does not read or write
    CorruptData,   // the data after the header cannot be decoded
    WriteFailed,   // a write or close failed
    BadArgument,   // a caller's value out of range (a size of 0, say)
    NoCodec,       // no reader or writer for the format in this build
    DecoderFault,  // the confined decoder worker crashed, was stopped or said nonsense
    // A file's own reasons, from what the system said (fileFailure()).
    NoSuchFile,
    PermissionDenied,
    IsFolder,
    DiskFull,
    NotAPicture, // a file whose first bytes match no format this program reads
    // Add new reasons above this line and name the last here: the worker's
    // answers are checked against it.
};
inline constexpr Reason kLastReason = Reason::NotAPicture;

struct Failure {
    Reason reason = Reason::CorruptData;
    // The codec's or the library's own words where the reason alone does not
    // say enough ("Not a valid BMP file", libtiff's message).
    std::string detail;

    friend bool operator==(const Failure&, const Failure&) = default;
};

// The user's words for a failure: its detail, or the reason's words when it
// has none.
std::string failureText(const Failure& failure);
// The same for a report that says why in a few words: a file's own reason (a
// missing file, a full disk) in the reason's words even when a detail came
// with it (a writer's words beside a full disk).
std::string failureReasonText(const Failure& failure);

inline Failure outOfMemory() { return {Reason::OutOfMemory, {}}; }
inline Failure badArgument() { return {Reason::BadArgument, {}}; }
inline Failure writeFailed() { return {Reason::WriteFailed, {}}; }
// "Can't open file: " and the path.
Failure cantOpenFile(const std::string& path);
// "Can't create file: " and the path.
std::string cantCreateFileText(const std::string& path);

// The failure for what errno said when a file was opened, read or written:
// a missing file, a refused one, a folder, a full disk; any other value
// gives `otherwise`.
Failure fileFailure(int errnoValue, Reason otherwise);

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_failure(std::move(failure)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    T& value() { return *m_value; }
    const T& value() const { return *m_value; }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    // Moves the value out.
    T take() { return std::move(*m_value); }
    // Moves the value out, or gives `fallback` when there is none: for a
    // caller to whom a failure means showing nothing or what it had.
    T takeOr(T fallback) { return m_value ? std::move(*m_value) : std::move(fallback); }

    // Meaningful only when !ok().
    const Failure& failure() const { return m_failure; }
    std::string text() const { return failureText(m_failure); }

private:
    std::optional<T> m_value;
    Failure m_failure;
};

// A result with no value: an operation that works in place.
//
// Operations on a picture come in two shapes and never return a null block:
// a command that changes the picture takes it by reference and returns
// Status, replacing or changing it only on success (`Status rotateRight(
// ImageBlock&)`); a conversion that only reads its source takes it const and
// returns the new block (`Result<ImageBlock> resizeBlock(const ImageBlock&,
// ...)`), so a preview or a save can convert without a copy of the original.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Failure failure) : m_failed(true), m_failure(std::move(failure)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return m_failure; }
    std::string text() const { return failureText(m_failure); }

private:
    bool m_failed = false;
    Failure m_failure;
};

} // namespace pictorand
