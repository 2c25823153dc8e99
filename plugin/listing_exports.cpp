// The listing queries: the whole member list as one local-memory block, and
// one member's record looked up by its path and name.
#include "core/bytes.h"
#include "plugin/exports.h"
#include "plugin/plugin.h"

namespace {

// First n bytes equal under ASCII case folding; a shorter name differs at its
// terminator.
bool PrefixMatches(const char* name, const char* prefix, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (FoldAsciiCase(name[i]) != FoldAsciiCase(prefix[i])) return false;
  }
  return true;
}

// Whole strings equal under ASCII case folding, terminators included.
bool NameMatches(const char* a, const char* b) {
  for (uint32_t i = 0;; ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
    if (a[i] == 0) return true;
  }
}

// A record matches "path" + "filename", with any number of backslashes after
// a non-empty path; records without a path match the bare name only.
bool RecordMatches(const fileInfo& rec, const char* requested) {
  const char* rest = requested;
  const uint32_t n = TextLength(rec.path);
  if (n != 0) {
    if (!PrefixMatches(requested, rec.path, n)) return false;
    rest = requested + n;
    while (*rest == '\\') ++rest;
  }
  return NameMatches(rest, rec.filename);
}

}  // namespace

HLOCAL CopyListToHandle(const EntryList* list) {
  if (list->begin == nullptr) return nullptr;
  HLOCAL block = LocalAlloc(LMEM_FIXED, list->capacity);
  if (block == nullptr) return nullptr;
  void* bytes = LocalLock(block);
  CopyBytes(bytes, list->begin, list->capacity);
  LocalUnlock(block);
  return block;
}

extern "C" int WINAPI GetArchiveInfo(LPCSTR buf, intptr_t len, unsigned int flag, HLOCAL* lphInf) {
  EntryList list;
  const int rc = ListArchive(buf, len, flag, &list);
  if (rc != kOk) return rc;
  HLOCAL block = CopyListToHandle(&list);
  Release(&list);
  // No block (no memory for the list or for the copy) is a failure: a host
  // told "success" would walk a null handle.
  if (block == nullptr) return kNoMemory;
  *lphInf = block;
  return kOk;
}

extern "C" int WINAPI GetFileInfo(LPCSTR buf, intptr_t len, LPCSTR filename, unsigned int flag,
                                  fileInfo* lpInfo) {
  EntryList list;
  const int rc = ListArchive(buf, len, flag, &list);
  if (rc != kOk) return rc;
  int result = kBadRequest;
  if (list.begin != nullptr) {
    for (const fileInfo* rec = list.begin; rec->method[0] != 0; ++rec) {
      if (RecordMatches(*rec, filename)) {
        CopyBytes(lpInfo, rec, kRecordBytes);
        result = kOk;
        break;
      }
    }
  }
  Release(&list);
  return result;
}
