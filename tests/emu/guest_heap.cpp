#include "tests/emu/guest_heap.h"

#include <string.h>
#include <sys/mman.h>

#include <iterator>

namespace emu {
namespace {

// Bytes left unallocated on each side of a block: an access that runs off a
// block lands in nobody's memory instead of a neighbour's.
constexpr uint64_t kRedZone = 64;
constexpr uint64_t kAlignment = 16;
constexpr uint64_t kPage = 4096;
constexpr uint64_t kNoGap = ~0ull;

uint64_t RoundUp(uint64_t v, uint64_t to) { return (v + to - 1) / to * to; }

// First free stretch of `need` bytes at or after span offset `from`.
uint64_t FindGap(const GuestHeap& heap, uint64_t from, uint64_t need) {
  uint64_t pos = from;
  auto it = heap.reserved.upper_bound(pos);
  if (it != heap.reserved.begin()) {
    auto before = std::prev(it);
    if (before->second > pos) pos = before->second;
  }
  for (;;) {
    const uint64_t gap_end = it == heap.reserved.end() ? heap.span : it->first;
    if (gap_end >= pos && gap_end - pos >= need) return pos;
    if (it == heap.reserved.end()) return kNoGap;
    pos = it->second;
    ++it;
  }
}

}  // namespace

bool CreateHeap(GuestHeap* heap, uint64_t base, uint64_t span) {
  void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                 -1, 0);
  if (p == MAP_FAILED) return false;
  heap->base = base;
  heap->span = span;
  heap->memory = static_cast<uint8_t*>(p);
  return true;
}

void DestroyHeap(GuestHeap* heap) {
  if (heap->memory != nullptr) munmap(heap->memory, heap->span);
  *heap = GuestHeap();
}

uint64_t AllocateBlock(GuestHeap& heap, uint64_t size, BlockKind kind, uint8_t fill,
                       const std::string& origin) {
  if (size > heap.span) return 0;
  const uint64_t need = RoundUp(size == 0 ? 1 : size, kAlignment) + 2 * kRedZone;
  uint64_t offset = FindGap(heap, heap.cursor, need);
  if (offset == kNoGap) offset = FindGap(heap, 0, need);
  if (offset == kNoGap) return 0;
  heap.reserved[offset] = offset + need;
  heap.cursor = offset + need;
  const uint64_t addr = heap.base + offset + kRedZone;
  memset(heap.memory + offset + kRedZone, fill, size);
  Block& b = heap.live[addr];
  b.addr = addr;
  b.size = size;
  b.kind = kind;
  b.origin = origin;
  return addr;
}

void FreeBlock(GuestHeap& heap, uint64_t addr) {
  auto it = heap.live.find(addr);
  if (it == heap.live.end()) return;
  if (heap.last_hit == &it->second) heap.last_hit = nullptr;
  heap.live.erase(it);
  const uint64_t start = addr - heap.base - kRedZone;
  auto r = heap.reserved.find(start);
  if (r == heap.reserved.end()) return;
  const uint64_t end = r->second;
  heap.reserved.erase(r);
  // Give whole pages back to the system; they read as zero when reused.
  const uint64_t first = RoundUp(start, kPage);
  const uint64_t last = end / kPage * kPage;
  if (last > first) madvise(heap.memory + first, last - first, MADV_DONTNEED);
}

const Block* FindBlock(const GuestHeap& heap, uint64_t addr) {
  auto it = heap.live.find(addr);
  return it == heap.live.end() ? nullptr : &it->second;
}

const Block* BlockHolding(GuestHeap& heap, uint64_t addr, uint64_t n) {
  auto holds = [&](const Block* b) {
    return addr >= b->addr && n <= b->size && addr - b->addr <= b->size - n;
  };
  if (heap.last_hit != nullptr && holds(heap.last_hit)) return heap.last_hit;
  const Block* b = BlockBelow(heap, addr);
  if (b == nullptr || !holds(b)) return nullptr;
  heap.last_hit = b;
  return b;
}

const Block* BlockBelow(const GuestHeap& heap, uint64_t addr) {
  auto it = heap.live.upper_bound(addr);
  if (it == heap.live.begin()) return nullptr;
  return &std::prev(it)->second;
}

bool InSpan(const GuestHeap& heap, uint64_t addr) {
  return addr >= heap.base && addr - heap.base < heap.span;
}

uint8_t* HostAddress(GuestHeap& heap, uint64_t addr) { return heap.memory + (addr - heap.base); }

int64_t CountBlocks(const GuestHeap& heap, BlockKind kind) {
  int64_t n = 0;
  for (const auto& entry : heap.live) {
    if (entry.second.kind == kind) ++n;
  }
  return n;
}

const char* KindName(BlockKind kind) {
  switch (kind) {
    case BlockKind::kHeap:
      return "heap";
    case BlockKind::kLocal:
      return "local";
    case BlockKind::kHost:
      return "host";
  }
  return "?";
}

}  // namespace emu
