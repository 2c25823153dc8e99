#include "core/archive.h"
#include "core/platform.h"

// Storage sizes are 32-bit byte counts, so the list stops growing at 2^23
// records in either layout: a doubling past 32 bits fails like a heap refusal.

void Init(EntryList* list) {
  list->borrowed = 0;
  const uint32_t bytes = kRecordsInitial * kRecordBytes;
  fileInfo* storage = static_cast<fileInfo*>(HeapAllocBytes(bytes));
  if (storage == nullptr) {
    list->begin = list->next = list->end = nullptr;
    list->capacity = 0;
    return;
  }
  list->begin = list->next = storage;
  list->capacity = bytes;
  list->end = storage + kRecordsInitial;
}

fileInfo* Append(EntryList* list) {
  if (list->next >= list->end) {
    // A list without storage never gets any.
    if (list->begin == nullptr || list->capacity > UINT32_MAX / 2) return nullptr;
    const uint32_t grown = list->capacity * 2;
    fileInfo* storage = static_cast<fileInfo*>(HeapReAllocBytes(list->begin, grown));
    if (storage == nullptr) return nullptr;
    const uintptr_t used = static_cast<uintptr_t>(list->next - list->begin);
    list->begin = storage;
    list->next = storage + used;
    list->capacity = grown;
    list->end = storage + grown / kRecordBytes;
  }
  return list->next++;
}

void Finish(EntryList* list) {
  if (list->begin == nullptr) return;
  const uint32_t used = static_cast<uint32_t>(list->next - list->begin);
  // used < 2^23 records, so one more record still fits a 32-bit byte count.
  const uint32_t bytes = (used + 1) * kRecordBytes;
  fileInfo* storage = static_cast<fileInfo*>(HeapReAllocBytes(list->begin, bytes));
  if (storage != nullptr) {
    list->begin = storage;
    list->capacity = bytes;
    list->end = storage + used + 1;
    list->next = list->end - 1;
  } else if (list->next == list->end) {
    // A full list that could not take one more record: the terminator
    // replaces the last record written. A list with room left (a failed
    // trim) keeps all its records and takes the terminator in the free slot.
    --list->next;
  }
  list->next->method[0] = 0;
  ++list->next;
}

void Release(EntryList* list) {
  if (list->begin != nullptr && list->borrowed == 0) HeapFreeBytes(list->begin);
}

uint32_t RecordCount(const EntryList* list) {
  uint32_t n = 0;
  if (list->begin == nullptr) return 0;
  for (const fileInfo* rec = list->begin; rec < list->next && rec->method[0] != 0; ++rec) ++n;
  return n;
}
