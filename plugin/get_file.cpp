// Extraction of one member, found by the key the host took from the record's
// position, as a standalone file: a new file in a directory, or a block of
// local memory handed to the host. Icon and cursor members get a rebuilt
// single-image header; animated-cursor members are complete files already.
#include "core/bytes.h"
#include "core/platform.h"
#include "plugin/exports.h"
#include "plugin/plugin.h"

namespace {

// Output kind in bits 8-10 of the flag: 0 a directory, 1 a memory block.
constexpr unsigned kOutputKindShift = 8;
constexpr unsigned kOutputKindMask = 7;
constexpr unsigned kOutputDirectory = 0;
constexpr unsigned kOutputMemory = 1;

constexpr int kProgressDenominator = 100;
constexpr int kProgressFailed = 50;

void Progress(ProgressCallback callback, int num, intptr_t data) {
  if (callback != nullptr) callback(num, kProgressDenominator, data);
}

const fileInfo* FindByPosition(const EntryList& list, uintptr_t key) {
  if (list.begin == nullptr) return nullptr;
  for (const fileInfo* rec = list.begin; rec->method[0] != 0; ++rec) {
    if (rec->position == key) return rec;
  }
  return nullptr;
}

// Reads the member's compsize bytes from offset crc into `to`. Only a read of
// exactly compsize bytes, and not of none, counts.
bool ReadMember(const char* src, const fileInfo& rec, uint8_t* to) {
  HANDLE file = CreateFileA(src, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // The offset is an unsigned 32-bit value; 0xFFFFFFFF is the failure value
  // as well, so a member at that very offset cannot be read.
  LONG high = 0;
  DWORD read = 0;
  const DWORD want = static_cast<DWORD>(rec.compsize);
  if (SetFilePointer(file, static_cast<LONG>(rec.crc), &high, FILE_BEGIN) !=
      INVALID_SET_FILE_POINTER) {
    ReadFile(file, to, want, &read, nullptr);
  }
  CloseHandle(file);
  return read == want && read != 0;
}

// Writes the block as the new file dest\filename. Refuses, creating nothing,
// a joined path that does not fit MAX_PATH.
bool WriteMember(const char* dest, const fileInfo& rec, const uint8_t* bytes) {
  const uint32_t dest_length = TextLength(dest);
  const uint32_t name_length = TextLength(rec.filename);
  if (dest_length >= MAX_PATH || name_length >= MAX_PATH - dest_length - 1) return false;
  char joined[MAX_PATH];
  FormatText(joined, "%s\\%s", dest, rec.filename);
  HANDLE file = CreateFileA(joined, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, static_cast<DWORD>(rec.filesize), &written, nullptr);
  CloseHandle(file);
  return ok != FALSE;
}

}  // namespace

extern "C" int WINAPI GetFile(LPCSTR src, intptr_t len, LPSTR dest, unsigned int flag,
                              ProgressCallback progressCallback, intptr_t lData) {
  const unsigned output = (flag >> kOutputKindShift) & kOutputKindMask;
  if (output > kOutputMemory || (flag & kInputKindMask) != kInputFile) return kBadRequest;

  EntryList list;
  const int rc = ListArchive(src, len, flag, &list);
  if (rc != kOk) return rc;
  Progress(progressCallback, 0, lData);

  // The key is compared in the full width of the position field.
  const fileInfo* rec = FindByPosition(list, static_cast<uintptr_t>(len));
  HLOCAL block = nullptr;
  uint8_t* bytes = nullptr;
  if (rec != nullptr) {
    const uintptr_t header = rec->method[0] == 'a' ? 0 : kIconHeaderBytes;
    // In the 32-bit layout filesize is compsize + 22 modulo 2^32; a record
    // whose filesize wrapped would have the read overrun the block.
    if (rec->filesize >= header && rec->filesize - header >= rec->compsize) {
      block = LocalAlloc(LMEM_FIXED, rec->filesize);
    }
    if (block != nullptr) {
      bytes = static_cast<uint8_t*>(LocalLock(block));
      if (ReadMember(src, *rec, bytes + header)) {
        if (header != 0) BuildIconHeader(bytes, static_cast<uint32_t>(rec->compsize));
      } else {
        LocalUnlock(block);
        LocalFree(block);
        block = nullptr;
      }
    }
  }
  if (block == nullptr) {
    Release(&list);
    Progress(progressCallback, kProgressFailed, lData);
    return kNotRead;
  }

  int result = kOk;
  if (output == kOutputMemory) {
    LocalUnlock(block);
    *reinterpret_cast<HLOCAL*>(dest) = block;  // the host owns it now
  } else {
    if (!WriteMember(dest, *rec, bytes)) result = kNotWritten;
    LocalUnlock(block);
    LocalFree(block);
  }
  Release(&list);
  Progress(progressCallback, kProgressDenominator, lData);
  return result;
}
