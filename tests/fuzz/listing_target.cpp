// Listing a container held in memory, as GetArchiveInfo does for a memory
// image and ListArchive for a file's bytes.
#include <string.h>

#include "core/archive.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// IsSupported looks at no more than this many leading bytes.
constexpr uint32_t kClaimHeadBytes = 2048;
constexpr uint32_t kDirectoryHeaderBytes = 6;
constexpr uint32_t kDirectoryEntryBytes = 16;

// Init, one lister, Finish: the listers take any bytes, not only those the
// signature test sends them, so each is run over every input.
void ListWith(void (*lister)(const uint8_t*, uint32_t, EntryList*), const uint8_t* data,
              uint32_t size) {
  const int32_t live = LiveHeapBlocks();
  EntryList list;
  Init(&list);
  lister(data, size, &list);
  Finish(&list);
  CheckFinishedList(list, data, size);
  Release(&list);
  Require(LiveHeapBlocks() == live, "the lister leaks no heap block");
}

// A directory whose idCount entries all lie inside the data lists each of
// them. (For a count past the data, CheckFinishedList already holds the
// lister to complete entries; whether it lists those is its own choice.)
void CheckDirectoryCount(const EntryList& list, const uint8_t* data, uint32_t size) {
  if (size < kDirectoryHeaderBytes) return;
  const uint32_t count = static_cast<uint32_t>(data[4] | (data[5] << 8));
  const uint32_t complete = (size - kDirectoryHeaderBytes) / kDirectoryEntryBytes;
  if (count <= complete) Require(RecordCount(&list) == count, "one record per directory entry");
}

}  // namespace

void FuzzListing(const uint8_t* input, size_t input_size) {
  const uint32_t size = static_cast<uint32_t>(input_size < kMaxInputBytes ? input_size : kMaxInputBytes);
  const std::unique_ptr<uint8_t[]> copy = ExactCopy(input, size);
  const uint8_t* data = copy.get();

  const ContainerKind kind = DetectContainer(data, size);
  const uint32_t head_size = size < kClaimHeadBytes ? size : kClaimHeadBytes;
  const std::unique_ptr<uint8_t[]> head = ExactCopy(data, head_size);
  if (ClaimsFile(head.get(), head_size)) {
    Require(kind != kNotContainer, "a claimed file passes the signature test");
  }

  const int32_t live = LiveHeapBlocks();
  EntryList list;
  memset(&list, 0xA5, sizeof list);
  const EntryList untouched = list;
  const bool listed = ListContainer(data, size, &list);
  Require(listed == (kind != kNotContainer), "ListContainer lists what the signature test accepts");
  if (!listed) {
    Require(memcmp(&list, &untouched, sizeof list) == 0, "a refused input leaves the list untouched");
    Require(LiveHeapBlocks() == live, "a refused input allocates nothing");
  } else {
    CheckFinishedList(list, data, size);
    if (kind == kIconDirectory) {
      CheckDirectoryCount(list, data, size);
    } else {
      Require(list.begin[0].method[0] == 0 || list.begin[0].method[0] == 'a',
              "an animated cursor lists anicur records");
    }
    Release(&list);
    Require(LiveHeapBlocks() == live, "listing leaks no heap block");
  }

  ListWith(ListIconDirectory, data, size);
  ListWith(ListAnimatedCursor, data, size);
}
