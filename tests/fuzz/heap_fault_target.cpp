// Listing while the heap refuses one call, so that the failure paths of Init,
// Append and Finish run on every kind of input. The first input byte picks
// the call: bit 7 set fails the first allocation (Init's storage); otherwise
// the low 7 bits name the reallocation to fail (Append's doublings, then
// Finish's trim), 0 for none. The rest of the input is the container.
#include "core/archive.h"
#include "core/platform_native.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

constexpr uint8_t kFailInit = 0x80;
constexpr uint8_t kReallocMask = 0x7F;

}  // namespace

void FuzzListingUnderHeapFaults(const uint8_t* input, size_t input_size) {
  if (input_size == 0) return;
  const uint8_t control = input[0];
  const size_t rest = input_size - 1;
  const uint32_t size = static_cast<uint32_t>(rest < kMaxInputBytes ? rest : kMaxInputBytes);
  const std::unique_ptr<uint8_t[]> copy = ExactCopy(input + 1, size);
  const uint8_t* data = copy.get();

  const int32_t live = LiveHeapBlocks();
  ResetHeapFaults();
  HeapFaults& faults = NativeHeapFaults();
  if ((control & kFailInit) != 0) {
    faults.fail_alloc_at = 1;
  } else {
    faults.fail_realloc_at = control & kReallocMask;
  }
  EntryList list;
  const bool listed = ListContainer(data, size, &list);
  // Later inputs, and everything after this call, get a heap that works.
  ResetHeapFaults();
  if (!listed) {
    Require(LiveHeapBlocks() == live, "a refused input allocates nothing");
    return;
  }
  if ((control & kFailInit) != 0) Require(list.begin == nullptr, "a failed Init leaves no storage");
  CheckFinishedList(list, data, size);
  Release(&list);
  Require(LiveHeapBlocks() == live, "a listing that met a heap failure leaks no block");
}
