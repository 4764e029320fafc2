#pragma once
// Where the program keeps its files.

#include <cstdint>
#include <string>

namespace pictorand {

// The per-user configuration folder that holds P_RAND32.INI and the other
// files the program keeps for itself: $PICTORAND_WINDIR, else
// $XDG_CONFIG_HOME/pictorand32, else ~/.config/pictorand32. No trailing slash.
std::string configDirectory();
// The system's folder for temporary files, with a trailing slash.
std::string tempDirectory();
// Creates the directory and any missing parents; true when it exists after.
bool makeDirectories(const std::string& path);
// "dir/" for "dir/name.ext", "" when there is no slash.
std::string directoryOf(const std::string& path);
// "name" for "dir/name.ext".
std::string baseNameWithoutExtension(const std::string& path);
// "name.ext" for "dir/name.ext".
std::string fileNameOf(const std::string& path);
// "file:///a%20b/c.bmp" for "/a b/c.bmp", and back (empty when `uri` is not
// a local file URI; "file://localhost/..." is one).
std::string fileUri(const std::string& path);
std::string pathOfFileUri(const std::string& uri);

// The program's own helper programs (the decoder worker): a program in the
// build tree takes the build tree's, else the one an install puts beside
// it (libexec/pictorand32 next to its bin folder, wherever the install was
// moved), else the one this build installs.
std::string helperProgram(const std::string& name);

// A value that changes whenever the file at `path` is replaced or written
// (device, inode, size and modification time together); 0 when there is no
// such file.
uint64_t fileVersion(const std::string& path);

} // namespace pictorand
