#include "tests/emu/windows_paths.h"

#include <dirent.h>
#include <errno.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "tests/emu/imports.h"

namespace emu {
namespace {

// What the ANSI file functions accept without "\\?\": Wine takes up to 260
// characters and refuses longer names with ERROR_FILENAME_EXCED_RANGE.
constexpr size_t kMaxAnsiName = 260;
const char kVerbatimPrefix[] = "\\\\?\\";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  while (getcwd(buf.data(), buf.size()) == nullptr && errno == ERANGE) buf.resize(buf.size() * 2);
  return buf.data();
}

void Split(const std::string& text, std::vector<std::string>* parts) {
  std::string part;
  for (char c : text) {
    if (IsSeparator(c)) {
      if (!part.empty()) parts->push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts->push_back(part);
}

bool ValidComponent(const std::string& part) {
  for (unsigned char c : part) {
    if (c < 0x20) return false;
    for (char bad : {'<', '>', ':', '"', '|', '?', '*'}) {
      if (c == static_cast<unsigned char>(bad)) return false;
    }
  }
  return true;
}

// `dir` + "/" + the entry of `dir` named `part` in any letter case (the
// name itself when there is no such entry).
std::string LookUp(const std::string& dir, const std::string& part) {
  const std::string exact = dir + "/" + part;
  struct stat st;
  if (lstat(exact.c_str(), &st) == 0) return exact;
  DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
  if (d == nullptr) return exact;
  std::string found = exact;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, part.c_str()) == 0) {
      found = dir + "/" + e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

}  // namespace

uint32_t ResolveWindowsName(const std::string& name, std::string* path) {
  std::string rest = name;
  const bool verbatim = rest.compare(0, 4, kVerbatimPrefix) == 0;
  if (verbatim) {
    rest = rest.substr(4);
  } else if (rest.size() > kMaxAnsiName) {
    return kErrorFilenameTooLong;
  }
  if (rest.empty()) return kErrorPathNotFound;

  std::vector<std::string> raw;
  if (rest.size() >= 2 && rest[1] == ':' && isalpha(static_cast<unsigned char>(rest[0]))) {
    if (toupper(static_cast<unsigned char>(rest[0])) != 'Z') return kErrorPathNotFound;
    rest = rest.substr(2);
  } else if (!IsSeparator(rest[0])) {
    Split(CurrentDirectory(), &raw);
  }
  Split(rest, &raw);

  std::vector<std::string> parts;
  for (std::string part : raw) {
    if (!verbatim) {
      while (!part.empty() && (part.back() == '.' || part.back() == ' ') && part != "." &&
             part != "..") {
        part.pop_back();
      }
      if (part.empty() || part == ".") continue;
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
        continue;
      }
    }
    if (!ValidComponent(part)) return kErrorInvalidName;
    parts.push_back(part);
  }

  std::string resolved;
  for (const std::string& part : parts) resolved = LookUp(resolved, part);
  *path = resolved.empty() ? "/" : resolved;
  return kErrorSuccess;
}

std::string WindowsName(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') absolute = CurrentDirectory() + "/" + absolute;
  std::string out = "Z:";
  for (char c : absolute) out.push_back(c == '/' ? '\\' : c);
  return out;
}

uint32_t ErrorFromErrno(int err, const std::string& path) {
  switch (err) {
    case ENOENT: {
      const size_t slash = path.find_last_of('/');
      const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
      struct stat st;
      const bool parent_is_dir = stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      return parent_is_dir ? kErrorFileNotFound : kErrorPathNotFound;
    }
    case ENOTDIR:
      return kErrorPathNotFound;
    case EEXIST:
      return kErrorFileExists;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case ENOSPC:
      return kErrorDiskFull;
    default:
      return kErrorGenFailure;
  }
}

}  // namespace emu
