// File names as the command line gives them and as Windows takes them.
#ifndef GLYPHBOX_TOOLS_SPIHOST_PATHS_H
#define GLYPHBOX_TOOLS_SPIHOST_PATHS_H

#include <string>

// Under Wine the root of the Unix file system is drive Z:, so an absolute
// Unix path "/a/b" becomes "Z:\a\b". Slashes in other paths become
// backslashes too, which Windows reads alike and which keep the names we
// print in one style.
std::string WindowsPath(const std::string& path);

// `dir` and `leaf` joined by one backslash.
std::string JoinPath(const std::string& dir, const std::string& leaf);

// Creates `dir` and any missing parents. On failure prints why and returns
// false; a directory that exists already is fine.
bool MakeDirectories(const std::string& dir);

#endif
