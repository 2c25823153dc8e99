#include "tests/fuzz/fuzz_checks.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "core/byte_reader.h"
#include "core/platform_native.h"

namespace {

constexpr uint32_t kDirectoryHeaderBytes = 6;
constexpr uint32_t kDirectoryEntryBytes = 16;
constexpr uint32_t kChunkHeaderBytes = 8;

bool TerminatedWithin(const char* field, size_t bytes) {
  return memchr(field, 0, bytes) != nullptr;
}

bool SameText(const char* a, const char* b) { return strcmp(a, b) == 0; }

bool StartsWith(const char* text, const char* prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool EndsWith(const char* text, const char* suffix) {
  const size_t n = strlen(text), m = strlen(suffix);
  return n >= m && strcmp(text + n - m, suffix) == 0;
}

uint32_t U32Or0(ByteView v, uint32_t offset) {
  uint32_t value = 0;
  U32At(v, offset, &value);
  return value;
}

// Record `index` of an icon or cursor listing describes directory entry
// `index`: the lister stops at the first entry it cannot list, never skips.
void CheckIconRecord(const fileInfo& rec, uint32_t index, ByteView v) {
  Require(rec.path[0] == 0, "icon record: path is empty");
  Require(rec.position == rec.crc, "icon record: position is the image offset");
  Require(rec.filesize == rec.compsize + kIconHeaderBytes, "icon record: filesize is compsize + 22");
  const uint32_t entry = kDirectoryHeaderBytes + index * kDirectoryEntryBytes;
  Require(Fits(v, entry, kDirectoryEntryBytes), "icon record: its directory entry is complete");
  Require(rec.compsize == U32Or0(v, entry + 8), "icon record: compsize is dwBytesInRes");
  Require(rec.crc == U32Or0(v, entry + 12), "icon record: crc is dwImageOffset");
  const bool icon = SameText(rec.method, "icon");
  Require(icon == (v.data[2] == 1), "icon record: method follows the low byte of idType");
  char prefix[16];
  snprintf(prefix, sizeof prefix, "%03u(", static_cast<unsigned>(index + 1));
  Require(StartsWith(rec.filename, prefix), "icon record: name starts with its entry number");
  Require(EndsWith(rec.filename, icon ? ").ico" : ").cur"), "icon record: name ends in the type");
}

// Frame `index` (from 0) of an animated cursor: an "icon" sub-chunk whose
// contents lie wholly inside the data.
void CheckFrameRecord(const fileInfo& rec, uint32_t index, ByteView v) {
  Require(rec.position == 2 * static_cast<uintptr_t>(index) + 2, "frame: positions run 2, 4, 6, ...");
  char name[32];
  snprintf(name, sizeof name, "raw%03u.cur", 2 * index + 1);
  Require(SameText(rec.filename, name), "frame: named raw001.cur, raw003.cur, ...");
  Require(rec.compsize == rec.filesize, "frame: compsize equals filesize");
  Require(rec.crc >= kChunkHeaderBytes, "frame: contents follow a chunk header");
  Require(rec.compsize <= UINT32_MAX && Fits(v, rec.crc, static_cast<uint32_t>(rec.compsize)),
          "frame: contents lie inside the data");
  Require(TagAt(v, rec.crc - kChunkHeaderBytes, "icon"), "frame: the chunk is an \"icon\"");
  Require(U32Or0(v, rec.crc - 4) == rec.compsize, "frame: compsize is the chunk's size");
}

// Step `index` (from 0) of the sequence: either a copy of a listed frame's
// place under a position past every frame's, or nothing to extract.
void CheckStepRecord(const fileInfo& rec, uint32_t index, const fileInfo* frames,
                     uint32_t frame_count) {
  char name[32];
  snprintf(name, sizeof name, "%03u.cur", index + 1);
  Require(SameText(rec.filename, name), "step: named 001.cur, 002.cur, ...");
  Require(rec.compsize == rec.filesize, "step: compsize equals filesize");
  if (rec.position == 0) {
    Require(rec.compsize == 0, "step without a frame: size 0");
    return;
  }
  Require(rec.position == 2 * static_cast<uintptr_t>(frame_count) + 2 + index,
          "step: position is 2k + 1 + step number");
  bool found = false;
  for (uint32_t i = 0; i < frame_count && !found; ++i) {
    found = frames[i].crc == rec.crc && frames[i].filesize == rec.filesize;
  }
  Require(found, "step: points at the bytes of a listed frame");
}

}  // namespace

void Require(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "invariant failed: %s\n", what);
  fflush(stderr);
  abort();
}

std::unique_ptr<uint8_t[]> ExactCopy(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
  if (size != 0) memcpy(copy.get(), data, size);
  return copy;
}

int32_t LiveHeapBlocks() { return NativeHeapFaults().live_blocks; }

void CheckFinishedList(const EntryList& list, const uint8_t* data, uint32_t size) {
  Require(list.borrowed == 0, "a fresh list is owned");
  if (list.begin == nullptr) {
    Require(list.next == nullptr && list.end == nullptr && list.capacity == 0,
            "a list without storage has null pointers and capacity 0");
    Require(RecordCount(&list) == 0, "a list without storage has no records");
    return;
  }
  Require(list.begin < list.next && list.next <= list.end, "begin < next <= end after Finish");
  Require(static_cast<uintptr_t>(list.end - list.begin) * kRecordBytes == list.capacity,
          "capacity is the storage size");
  // The host receives all `capacity` bytes: every one must be readable.
  std::vector<uint8_t> storage(list.capacity);
  memcpy(storage.data(), list.begin, list.capacity);

  const fileInfo* terminator = list.next - 1;
  Require(terminator->method[0] == 0, "the record before next is the terminator");
  const uint32_t count = static_cast<uint32_t>(terminator - list.begin);
  Require(RecordCount(&list) == count, "RecordCount counts the records before the terminator");

  const ByteView v{data, size};
  uint32_t frames = 0, steps = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const fileInfo& rec = list.begin[i];
    Require(TerminatedWithin(rec.method, sizeof rec.method), "method ends inside its field");
    Require(TerminatedWithin(rec.path, sizeof rec.path), "path ends inside its field");
    Require(TerminatedWithin(rec.filename, sizeof rec.filename), "filename ends inside its field");
    Require(rec.method[0] != 0, "no terminator before the last record");
    Require(rec.timestamp == 0, "timestamp is 0");
    const bool icon = SameText(rec.method, "icon") || SameText(rec.method, "cursor");
    const bool anicur = SameText(rec.method, "anicur");
    Require(icon || anicur, "method is icon, cursor or anicur");
    Require(SameText(rec.method, list.begin[0].method), "one listing holds one kind of record");
    if (icon) {
      CheckIconRecord(rec, i, v);
    } else if (SameText(rec.path, "raw\\")) {
      Require(steps == 0, "frames come before sequence steps");
      CheckFrameRecord(rec, frames++, v);
    } else {
      Require(rec.path[0] == 0, "a step's path is empty");
      CheckStepRecord(rec, steps++, list.begin, frames);
    }
  }
}
