// Every listing request, from every export, comes through ListArchive. For
// file names it keeps a one-slot cache of the last file listed, so that a host
// that lists a file and then extracts its members one by one reads and parses
// the whole file once. The cache keeps records, never the file's bytes.
#include "core/platform.h"
#include "plugin/plugin.h"

namespace {

constexpr unsigned kKeyUnits = 260;
// Files this large or larger are refused; their size plus the slack below
// must still fit 32 bits.
constexpr DWORD kFileSizeLimit = 0xFFFF0000u;
constexpr DWORD kReadSlack = 256;

// What a file looked like when it was listed: a cached list is served only
// while the file still has this size and last-write time.
struct FileStamp {
  DWORD size_high;
  DWORD size_low;
  FILETIME last_write;
};

struct ParseCacheSlot {
  EntryList list;  // owned (borrowed 0); the cache holds a list exactly when list.begin is set
  WCHAR name[kKeyUnits];
  FileStamp stamp;
};

// Process-wide and unsynchronised: hosts call one export at a time.
ParseCacheSlot ParseCache;

// Reads the stamp without opening the file. False when it cannot be had.
bool ReadFileStamp(const char* name, FileStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExA(name, GetFileExInfoStandard, &attributes)) return false;
  stamp->size_high = attributes.nFileSizeHigh;
  stamp->size_low = attributes.nFileSizeLow;
  stamp->last_write = attributes.ftLastWriteTime;
  return true;
}

bool SameStamp(const FileStamp& a, const FileStamp& b) {
  return a.size_high == b.size_high && a.size_low == b.size_low &&
         a.last_write.dwLowDateTime == b.last_write.dwLowDateTime &&
         a.last_write.dwHighDateTime == b.last_write.dwHighDateTime;
}

// Exact, unit for unit up to and including the terminator: letter case
// matters, and two spellings of one path are two keys.
bool SameKey(const WCHAR* a, const WCHAR* b) {
  for (unsigned i = 0; i < kKeyUnits; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

// Reads the whole file into a new heap block with one ReadFile. Returns kOk,
// kNoMemory or kNotRead; on kOk the caller frees *data.
int ReadWholeFile(const char* name, uint8_t** data, uint32_t* size) {
  HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kNotRead;
  DWORD high = 0;
  // A failing GetFileSize reports 0xFFFFFFFF, which the limit refuses too.
  const DWORD low = GetFileSize(file, &high);
  if (high != 0 || low >= kFileSizeLimit) {
    CloseHandle(file);
    return kNoMemory;
  }
  uint8_t* block = static_cast<uint8_t*>(HeapAllocBytes(low + kReadSlack));
  if (block == nullptr) {
    CloseHandle(file);
    return kNoMemory;
  }
  DWORD read = 0;
  DWORD error = 0;
  if (!ReadFile(file, block, low, &read, nullptr)) error = GetLastError();
  CloseHandle(file);
  // A false return whose error is 0 counts as a read of `read` bytes.
  if (error != 0) {
    HeapFreeBytes(block);
    return kNotRead;
  }
  *data = block;
  *size = read;  // the bytes actually read; the slack is never part of the data
  return kOk;
}

}  // namespace

int ListArchive(const char* buf, intptr_t len, unsigned flag, EntryList* list) {
  const unsigned kind = flag & kInputKindMask;
  if (kind == kInputMemory) {
    // Only the low 32 bits of the length count, as an unsigned size.
    const uint32_t size = static_cast<uint32_t>(static_cast<uintptr_t>(len));
    return ListContainer(reinterpret_cast<const uint8_t*>(buf), size, list) ? kOk : kNotRead;
  }
  if (kind != kInputFile) return kBadRequest;

  WCHAR key[kKeyUnits];
  // A name whose UTF-16 form does not fit the key is never cached: listed
  // afresh each time, so two long names can never share a key. The same goes
  // for a file whose size and time cannot be had.
  const bool converted = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, buf, -1, key, kKeyUnits) != 0;
  key[kKeyUnits - 1] = 0;
  FileStamp stamp;
  const bool cacheable = converted && ReadFileStamp(buf, &stamp);

  if (cacheable && ParseCache.list.begin != nullptr && SameKey(key, ParseCache.name) &&
      SameStamp(stamp, ParseCache.stamp)) {
    *list = ParseCache.list;
    list->borrowed = 1;
    return kOk;
  }

  uint8_t* data = nullptr;
  uint32_t size = 0;
  const int rc = ReadWholeFile(buf, &data, &size);
  if (rc != kOk) return rc;
  const bool listed = ListContainer(data, size, list);
  HeapFreeBytes(data);
  if (!listed) return kNotRead;
  if (!cacheable) return kOk;  // owned by the caller

  Release(&ParseCache.list);
  for (unsigned i = 0; i < kKeyUnits; ++i) ParseCache.name[i] = key[i];
  ParseCache.list = *list;
  ParseCache.stamp = stamp;
  list->borrowed = 1;
  return kOk;
}

void ReleaseParseCache() {
  Release(&ParseCache.list);
  ParseCache.list.begin = ParseCache.list.next = ParseCache.list.end = nullptr;
  ParseCache.list.capacity = 0;
}
