#pragma once
// The words the user sees that more than one place says, each written once.
// Failures take theirs from failureText() (core/result.h), which uses these
// for the reasons they name; a caller that says one of them in its own
// context ("Can't open file: " and the path) builds it from the same text.

namespace pictorand {

inline constexpr const char* kCantAllocateMemory = "Can't allocate memory";
// What a writer or the display says of a block of a depth it cannot take.
inline constexpr const char* kUnsupportedBitDepth = "Unsupported bit depth";
inline constexpr const char* kCantOpenFile = "Can't open file";
inline constexpr const char* kCantOpenForReading = "Can't open file for reading !";
inline constexpr const char* kCantCreateFile = "Can't create file";
inline constexpr const char* kCantWriteFile = "Can't write file";
// A reader's words for data it could not read to the end.
inline constexpr const char* kCantReadData = "Can't read data !";
// The compression the picture's facts name for the run-length schemes.
inline constexpr const char* kRunLengthEncoding = "Run Length Encoding";
// The question before a file is overwritten, and its caption.
inline constexpr const char* kReplaceFile = "Replace file";
// A command that needs a picture when none is shown.
inline constexpr const char* kNoPicture = "No picture !";
inline constexpr const char* kCantRename = "Can't rename !";
// A reader's words for a picture whose data ends before its last row.
inline constexpr const char* kPictureDataEndsEarly = "The picture data ends early";
// After a reader's own words, for a file that declares a picture far larger
// than its bytes could hold (codecs/common/declared_size.h, farTooSmall).
inline constexpr const char* kFarTooSmall = "the file is far too small for the picture it declares";
// A codec whose library could not be opened on first use: these and the
// library's name, or the name of the function it lacks.
inline constexpr const char* kCantLoad = "Can't load ";
inline constexpr const char* kNoFunction = "No function ";

} // namespace pictorand
