// kernel32's file functions on real Linux files. Handles are small numbers
// (multiples of 4 from 0x100, below 0x10000, as Windows gives them and as
// IsSupported expects of a handle), each holding a Linux descriptor whose
// offset is the Windows file pointer. Share modes are not enforced.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "tests/emu/imports.h"
#include "tests/emu/machine.h"
#include "tests/emu/windows_paths.h"

namespace emu {
namespace {

constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kGenericAll = 0x10000000u;
constexpr uint32_t kFileReadData = 0x0001;
constexpr uint32_t kFileWriteData = 0x0002;
constexpr uint32_t kCreateNew = 1;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kOpenAlways = 4;
constexpr uint32_t kTruncateExisting = 5;
constexpr uint32_t kFileBegin = 0;
constexpr uint32_t kFileCurrent = 1;
constexpr uint32_t kFileEnd = 2;
constexpr uint32_t kInvalidSize = 0xFFFFFFFFu;  // also INVALID_SET_FILE_POINTER
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeDataBytes = 36;  // WIN32_FILE_ATTRIBUTE_DATA
constexpr uint32_t kFirstHandle = 0x100;
constexpr uint32_t kLastHandle = 0xFFFC;
// 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr uint64_t kFileTimeOfUnixEpoch = 116444736000000000ull;

uint64_t InvalidHandle(const Process& p) { return p.bits == 32 ? 0xFFFFFFFFull : ~0ull; }

// Handles are not reused until the numbers come round again, so a stale
// handle finds nothing.
uint32_t NewHandle(Process& p) {
  for (;;) {
    if (p.next_handle < kFirstHandle || p.next_handle > kLastHandle) p.next_handle = kFirstHandle;
    const uint32_t h = p.next_handle;
    p.next_handle += 4;
    if (p.files.count(h) == 0) return h;
  }
}

// The open file behind `handle`. A handle that is not open makes the call
// fail with ERROR_INVALID_HANDLE, as on Windows (a host may hand IsSupported
// any value); closing one is a fault, since the library closes only what it
// opened.
OpenFile* Lookup(Process& p, uint64_t handle, const char* function) {
  auto it = p.files.find(static_cast<uint32_t>(handle));
  if (handle <= kLastHandle && it != p.files.end()) return &it->second;
  if (std::string(function) == "CloseHandle") {
    Fail(p, "CloseHandle on " + Hex(handle) + ", which is no open handle");
  }
  SetLastError(p, kErrorInvalidHandle);
  return nullptr;
}

uint64_t FileTime(const timespec& t) {
  return static_cast<uint64_t>(t.tv_sec) * 10000000ull + static_cast<uint64_t>(t.tv_nsec) / 100 +
         kFileTimeOfUnixEpoch;
}

void Put32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutFileTime(uint8_t* at, uint64_t t) {
  Put32(at, static_cast<uint32_t>(t));
  Put32(at + 4, static_cast<uint32_t>(t >> 32));
}

// Reads up to n bytes at the file pointer; -1 on an error.
int64_t ReadFully(int fd, uint8_t* to, uint32_t n) {
  uint32_t total = 0;
  while (total < n) {
    const ssize_t got = read(fd, to + total, n - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<uint32_t>(got);
  }
  return total;
}

}  // namespace

uint64_t Win32CreateFileA(Process& p) {
  const uint64_t name_at = Arg(p, 0);
  const uint32_t access = Arg32(p, 1);
  const uint32_t disposition = Arg32(p, 4);
  const uint64_t template_file = Arg(p, 6);
  std::string name;
  if (!ReadGuestText(p, name_at, &name, "CreateFileA name")) return InvalidHandle(p);
  if (template_file != 0) {
    Fail(p, "CreateFileA with a template file, which the emulated host does not implement");
    return InvalidHandle(p);
  }
  if (Injected(p)) {
    SetLastError(p, kErrorAccessDenied);
    return InvalidHandle(p);
  }
  std::string path;
  const uint32_t error = ResolveWindowsName(name, &path);
  if (error != kErrorSuccess) {
    SetLastError(p, error);
    return InvalidHandle(p);
  }
  const bool can_read = (access & (kGenericRead | kGenericAll | kFileReadData)) != 0;
  const bool can_write = (access & (kGenericWrite | kGenericAll | kFileWriteData)) != 0;
  int flags = O_CLOEXEC;
  switch (disposition) {
    case kCreateNew:
      flags |= O_CREAT | O_EXCL;
      break;
    case kCreateAlways:
      flags |= O_CREAT | O_TRUNC;
      break;
    case kOpenExisting:
      break;
    case kOpenAlways:
      flags |= O_CREAT;
      break;
    case kTruncateExisting:
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(p, kErrorInvalidParameter);
      return InvalidHandle(p);
  }
  // Creating or truncating needs a writable descriptor even when the
  // handle is for reading only.
  const bool changes = (flags & (O_CREAT | O_TRUNC)) != 0;
  flags |= (can_write || changes) ? (can_read || changes ? O_RDWR : O_WRONLY) : O_RDONLY;

  struct stat st;
  const bool existed = stat(path.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) {
    // A directory is no file to open; creating one where it stands finds it taken.
    SetLastError(p, disposition == kCreateNew ? kErrorFileExists : kErrorAccessDenied);
    return InvalidHandle(p);
  }
  const int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(p, ErrorFromErrno(errno, path));
    return InvalidHandle(p);
  }
  const uint32_t handle = NewHandle(p);
  OpenFile& f = p.files[handle];
  f.fd = fd;
  f.can_read = can_read;
  f.can_write = can_write;
  f.host_owned = false;
  f.path = path;
  const bool reports_existing = disposition == kCreateAlways || disposition == kOpenAlways;
  SetLastError(p, existed && reports_existing ? kErrorAlreadyExists : kErrorSuccess);
  return handle;
}

uint64_t Win32ReadFile(Process& p) {
  const uint64_t buffer = Arg(p, 1);
  const uint32_t want = Arg32(p, 2);
  const uint64_t read_at = Arg(p, 3);
  if (Arg(p, 4) != 0) {
    Fail(p, "ReadFile with an OVERLAPPED, which the emulated host does not implement");
    return 0;
  }
  if (read_at == 0) {
    Fail(p, "ReadFile without lpNumberOfBytesRead, where Windows stores the count");
    return 0;
  }
  // Windows clears the count first and checks the whole buffer, whatever
  // the file holds.
  if (!WriteGuestU32(p, read_at, 0, "ReadFile count")) return 0;
  if (!CheckGuest(p, buffer, want, true, "ReadFile buffer")) return 0;
  OpenFile* f = Lookup(p, Arg(p, 0), "ReadFile");
  if (f == nullptr) return 0;
  if (!f->can_read) {
    SetLastError(p, kErrorAccessDenied);
    return 0;
  }
  if (Injected(p)) {
    SetLastError(p, kErrorReadFault);
    return 0;
  }
  // Only what the file still holds can arrive; the buffer was checked whole.
  struct stat st;
  fstat(f->fd, &st);
  const int64_t position = lseek(f->fd, 0, SEEK_CUR);
  const int64_t left = st.st_size > position ? st.st_size - position : 0;
  std::vector<uint8_t> data(left < want ? static_cast<size_t>(left) : want);
  const int64_t got = ReadFully(f->fd, data.data(), static_cast<uint32_t>(data.size()));
  if (got < 0) {
    SetLastError(p, ErrorFromErrno(errno, f->path));
    return 0;
  }
  uint32_t count = static_cast<uint32_t>(got);
  uint32_t keep = count;
  if (Injected(p, "short")) keep = count > 0 ? count - 1 : 0;
  if (Injected(p, "empty")) keep = 0;
  if (keep != count) lseek(f->fd, -static_cast<off_t>(count - keep), SEEK_CUR);
  if (!WriteGuest(p, buffer, data.data(), keep, "ReadFile buffer")) return 0;
  if (!WriteGuestU32(p, read_at, keep, "ReadFile count")) return 0;
  if (Injected(p, "noerror")) {
    SetLastError(p, kErrorSuccess);
    return 0;
  }
  return 1;
}

uint64_t Win32WriteFile(Process& p) {
  const uint64_t buffer = Arg(p, 1);
  const uint32_t count = Arg32(p, 2);
  const uint64_t written_at = Arg(p, 3);
  if (Arg(p, 4) != 0) {
    Fail(p, "WriteFile with an OVERLAPPED, which the emulated host does not implement");
    return 0;
  }
  if (written_at == 0) {
    Fail(p, "WriteFile without lpNumberOfBytesWritten, where Windows stores the count");
    return 0;
  }
  if (!WriteGuestU32(p, written_at, 0, "WriteFile count")) return 0;
  if (!CheckGuest(p, buffer, count, false, "WriteFile buffer")) return 0;
  std::vector<uint8_t> data(count);
  if (!ReadGuest(p, buffer, data.data(), count, "WriteFile buffer")) return 0;
  OpenFile* f = Lookup(p, Arg(p, 0), "WriteFile");
  if (f == nullptr) return 0;
  if (!f->can_write) {
    SetLastError(p, kErrorAccessDenied);
    return 0;
  }
  if (Injected(p)) {
    SetLastError(p, kErrorDiskFull);
    return 0;
  }
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = write(f->fd, data.data() + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(p, ErrorFromErrno(errno, f->path));
      WriteGuestU32(p, written_at, done, "WriteFile count");
      return 0;
    }
    done += static_cast<uint32_t>(n);
  }
  return WriteGuestU32(p, written_at, done, "WriteFile count") ? 1 : 0;
}

uint64_t Win32SetFilePointer(Process& p) {
  const int32_t low = static_cast<int32_t>(Arg32(p, 1));
  const uint64_t high_at = Arg(p, 2);
  const uint32_t method = Arg32(p, 3);
  OpenFile* f = Lookup(p, Arg(p, 0), "SetFilePointer");
  if (f == nullptr) return kInvalidSize;
  // With a high part the distance is a signed 64-bit value; without, the
  // low part alone, signed.
  int64_t distance = low;
  if (high_at != 0) {
    uint8_t raw[4];
    if (!ReadGuest(p, high_at, raw, 4, "SetFilePointer high part")) return kInvalidSize;
    const uint32_t high = raw[0] | raw[1] << 8 | raw[2] << 16 | static_cast<uint32_t>(raw[3]) << 24;
    distance =
        static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | static_cast<uint32_t>(low));
  }
  if (Injected(p)) {
    SetLastError(p, kErrorInvalidParameter);
    return kInvalidSize;
  }
  int64_t from = 0;
  if (method == kFileCurrent) {
    from = lseek(f->fd, 0, SEEK_CUR);
  } else if (method == kFileEnd) {
    struct stat st;
    fstat(f->fd, &st);
    from = st.st_size;
  } else if (method != kFileBegin) {
    SetLastError(p, kErrorInvalidParameter);
    return kInvalidSize;
  }
  const int64_t target = from + distance;
  if (target < 0) {
    SetLastError(p, kErrorNegativeSeek);
    return kInvalidSize;
  }
  lseek(f->fd, target, SEEK_SET);
  if (high_at != 0 &&
      !WriteGuestU32(p, high_at, static_cast<uint32_t>(target >> 32), "SetFilePointer high part")) {
    return kInvalidSize;
  }
  // A position whose low part is 0xFFFFFFFF is told from failure by the error.
  if (static_cast<uint32_t>(target) == kInvalidSize) SetLastError(p, kErrorSuccess);
  return static_cast<uint32_t>(target);
}

uint64_t Win32GetFileSize(Process& p) {
  const uint64_t high_at = Arg(p, 1);
  OpenFile* f = Lookup(p, Arg(p, 0), "GetFileSize");
  if (f == nullptr) return kInvalidSize;
  if (Injected(p)) {
    SetLastError(p, kErrorAccessDenied);
    return kInvalidSize;
  }
  struct stat st;
  fstat(f->fd, &st);
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (high_at != 0 &&
      !WriteGuestU32(p, high_at, static_cast<uint32_t>(size >> 32), "GetFileSize high part")) {
    return kInvalidSize;
  }
  if (static_cast<uint32_t>(size) == kInvalidSize) SetLastError(p, kErrorSuccess);
  return static_cast<uint32_t>(size);
}

uint64_t Win32GetFileAttributesExA(Process& p) {
  const uint64_t name_at = Arg(p, 0);
  const uint32_t level = Arg32(p, 1);
  const uint64_t info_at = Arg(p, 2);
  std::string name;
  if (!ReadGuestText(p, name_at, &name, "GetFileAttributesExA name")) return 0;
  if (level != 0) {
    Fail(p, "GetFileAttributesExA with info level " + std::to_string(level) +
                ", which the emulated host does not implement");
    return 0;
  }
  if (!CheckGuest(p, info_at, kFileAttributeDataBytes, true, "GetFileAttributesExA data")) return 0;
  if (Injected(p)) {
    SetLastError(p, kErrorAccessDenied);
    return 0;
  }
  std::string path;
  const uint32_t error = ResolveWindowsName(name, &path);
  if (error != kErrorSuccess) {
    SetLastError(p, error);
    return 0;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    SetLastError(p, ErrorFromErrno(errno, path));
    return 0;
  }
  uint8_t data[kFileAttributeDataBytes];
  uint32_t attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttributeReadOnly;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  Put32(data, attributes);
  PutFileTime(data + 4, FileTime(st.st_ctim));  // Linux keeps no creation time
  PutFileTime(data + 12, FileTime(st.st_atim));
  PutFileTime(data + 20, FileTime(st.st_mtim));
  Put32(data + 28, static_cast<uint32_t>(size >> 32));
  Put32(data + 32, static_cast<uint32_t>(size));
  return WriteGuest(p, info_at, data, sizeof data, "GetFileAttributesExA data") ? 1 : 0;
}

uint64_t Win32CloseHandle(Process& p) {
  OpenFile* f = Lookup(p, Arg(p, 0), "CloseHandle");
  if (f == nullptr) return 0;
  if (f->host_owned) {
    Fail(p, "CloseHandle on a handle the host owns");
    return 0;
  }
  close(f->fd);
  p.files.erase(static_cast<uint32_t>(Arg(p, 0)));
  return 1;
}

uint64_t Win32GetLastError(Process& p) { return p.last_error; }

uint64_t Win32SetLastError(Process& p) {
  SetLastError(p, Arg32(p, 0));
  return 0;
}

uint64_t OpenHostFile(Process& p, const std::string& windows_name, uint32_t offset) {
  std::string path;
  if (ResolveWindowsName(windows_name, &path) != kErrorSuccess) return InvalidHandle(p);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return InvalidHandle(p);
  lseek(fd, offset, SEEK_SET);
  const uint32_t handle = NewHandle(p);
  OpenFile& f = p.files[handle];
  f.fd = fd;
  f.can_read = true;
  f.can_write = false;
  f.host_owned = true;
  f.path = path;
  return handle;
}

void CloseHostFile(Process& p, uint64_t handle) {
  auto it = p.files.find(static_cast<uint32_t>(handle));
  if (handle > kLastHandle || it == p.files.end() || !it->second.host_owned) {
    Report(p, "host CloseHandle(" + Hex(handle) + "): not a handle the host opened");
    return;
  }
  close(it->second.fd);
  p.files.erase(it);
}

int CloseModuleFiles(Process& p) {
  int n = 0;
  for (auto it = p.files.begin(); it != p.files.end();) {
    if (it->second.host_owned) {
      ++it;
      continue;
    }
    close(it->second.fd);
    it = p.files.erase(it);
    ++n;
  }
  return n;
}

int64_t CountModuleFiles(const Process& p) {
  int64_t n = 0;
  for (const auto& entry : p.files) {
    if (!entry.second.host_owned) ++n;
  }
  return n;
}

}  // namespace emu
