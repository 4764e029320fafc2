#pragma once
// Where every reader gets the file it reads. In the viewer and the converter
// a path is opened; in a decoder worker, which may open nothing, the path
// names a descriptor that the parent opened and handed over, and every other
// path is refused without asking the kernel (whose filter would end the
// worker).

#include "platform/file_descriptor.h"

#include <cstdio>
#include <string>

namespace pictorand {

// A descriptor open for reading `path` at its start; -1 with errno set when
// there is none.
FileDescriptor openForReading(const std::string& path);
// The same as a C stream; null with errno set.
std::FILE* openStreamForReading(const std::string& path);

// A file handed over under a name is what openForReading gives for that name
// (a copy of the descriptor, rewound), in place of opening it: the bytes a
// worker was sent, or the converter's standard input as "-". For a decoder
// worker, from the first call of serveOnlyHandedFiles on, any other path is
// refused with EACCES.
void serveOnlyHandedFiles();
void handFile(const std::string& path, FileDescriptor descriptor);
void forgetHandedFiles();

} // namespace pictorand
