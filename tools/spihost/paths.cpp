#include "tools/spihost/paths.h"

#include <windows.h>

#include <stdio.h>

#include "tools/spihost/system_text.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::string WindowsPath(const std::string& path) {
  std::string out = !path.empty() && path[0] == '/' ? "Z:" + path : path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

std::string JoinPath(const std::string& dir, const std::string& leaf) {
  if (dir.empty() || IsSeparator(dir.back())) return dir + leaf;
  return dir + "\\" + leaf;
}

bool MakeDirectories(const std::string& dir) {
  if (IsDirectory(dir)) return true;
  // Create each ancestor in turn; those that exist fail harmlessly, and only
  // the last step's outcome counts.
  for (size_t i = 1; i < dir.size(); ++i) {
    if (IsSeparator(dir[i]) && dir[i - 1] != ':' && !IsSeparator(dir[i - 1])) {
      CreateDirectoryA(dir.substr(0, i).c_str(), nullptr);
    }
  }
  if (CreateDirectoryA(dir.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  if (IsDirectory(dir)) return true;
  fprintf(stderr, "spihost: cannot create directory %s: %s\n", dir.c_str(),
          SystemErrorText(error).c_str());
  return false;
}
