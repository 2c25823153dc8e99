// Extraction of every listed member from the container's bytes, the way
// GetFile does it from the file: find the member by its position, refuse a
// record whose block could not hold header and bytes, read exactly compsize
// bytes (and not none) from offset crc, and put the rebuilt header in front
// of icon and cursor members.
#include <string.h>

#include "core/archive.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// SetFilePointer's failure value: a member at this offset cannot be read.
constexpr uint32_t kUnseekable = 0xFFFFFFFFu;

// The first record with the key, as GetFile looks it up.
const fileInfo* FindByPosition(const EntryList& list, uintptr_t key) {
  for (const fileInfo* rec = list.begin; rec->method[0] != 0; ++rec) {
    if (rec->position == key) return rec;
  }
  return nullptr;
}

// The member as GetFile delivers it, in a block of exactly filesize bytes;
// null where GetFile fails.
std::unique_ptr<uint8_t[]> Extract(const fileInfo& rec, const uint8_t* data, uint32_t size) {
  const uintptr_t header = rec.method[0] == 'a' ? 0 : kIconHeaderBytes;
  if (rec.filesize < header || rec.filesize - header < rec.compsize) return nullptr;
  // GetFile hands the host all filesize bytes and writes header + compsize
  // of them: a larger filesize would deliver bytes nobody wrote.
  Require(rec.filesize == header + rec.compsize, "filesize is header + compsize");
  if (rec.crc == kUnseekable || rec.compsize == 0) return nullptr;
  if (rec.crc > size || size - rec.crc < rec.compsize) return nullptr;  // short read
  std::unique_ptr<uint8_t[]> block(new uint8_t[rec.filesize]);
  memcpy(block.get() + header, data + rec.crc, rec.compsize);
  if (header != 0) BuildIconHeader(block.get(), static_cast<uint32_t>(rec.compsize));
  return block;
}

// An extracted icon or cursor member is a one-image icon file whose entry
// covers exactly the member's bytes.
void CheckExtractedIcon(const fileInfo& rec, const uint8_t* block) {
  const uint32_t bytes = static_cast<uint32_t>(rec.filesize);
  const int32_t live = LiveHeapBlocks();
  EntryList list;
  Require(ListContainer(block, bytes, &list), "an extracted icon member is an icon file");
  CheckFinishedList(list, block, bytes);
  Require(RecordCount(&list) == 1, "an extracted icon member holds one image");
  Require(list.begin[0].crc == kIconHeaderBytes && list.begin[0].compsize == rec.compsize,
          "its one entry covers the member's bytes");
  Require(list.begin[0].method[0] == 'i', "it is an icon, whatever the container was");
  Release(&list);
  Require(LiveHeapBlocks() == live, "listing the member leaks no heap block");
}

}  // namespace

void FuzzExtraction(const uint8_t* input, size_t input_size) {
  const uint32_t size = static_cast<uint32_t>(input_size < kMaxInputBytes ? input_size : kMaxInputBytes);
  const std::unique_ptr<uint8_t[]> copy = ExactCopy(input, size);
  const uint8_t* data = copy.get();

  const int32_t live = LiveHeapBlocks();
  EntryList list;
  if (!ListContainer(data, size, &list)) return;
  if (list.begin != nullptr) {
    for (const fileInfo* rec = list.begin; rec->method[0] != 0; ++rec) {
      const fileInfo* member = FindByPosition(list, rec->position);
      Require(member != nullptr && member <= rec, "a listed position finds its record or an earlier one");
      const std::unique_ptr<uint8_t[]> block = Extract(*member, data, size);
      if (block == nullptr) continue;
      const uintptr_t header = member->method[0] == 'a' ? 0 : kIconHeaderBytes;
      Require(memcmp(block.get() + header, data + member->crc, member->compsize) == 0,
              "the member's bytes come out as stored");
      if (header != 0) CheckExtractedIcon(*member, block.get());
    }
  }
  Release(&list);
  Require(LiveHeapBlocks() == live, "listing and extraction leak no heap block");
}
