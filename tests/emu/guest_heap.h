// The emulated process's memory blocks: one span of host memory that the
// guest sees at a fixed address, handed out as blocks for the process heap,
// for local memory and for the host's own buffers. Every block is tracked
// with its size, kind and origin, so that an access outside every live block
// (an overrun, a use after free, a stray pointer) is told from a good one,
// leaks are counted per kind, and a block can be freed only once and only
// through the functions of its kind.
//
// Blocks are spaced by red zones and handed out next-fit, so freed space is
// reused as late as possible and a stale pointer keeps pointing at nothing.
#ifndef GLYPHBOX_TESTS_EMU_GUEST_HEAP_H
#define GLYPHBOX_TESTS_EMU_GUEST_HEAP_H

#include <stdint.h>

#include <map>
#include <string>

namespace emu {

enum class BlockKind { kHeap, kLocal, kHost };

struct Block {
  uint64_t addr = 0;
  uint64_t size = 0;
  BlockKind kind = BlockKind::kHeap;
  std::string origin;  // which call made it, for leak and overrun reports
  bool leak_reported = false;
};

struct GuestHeap {
  uint64_t base = 0;  // guest address of the span
  uint64_t span = 0;
  uint8_t* memory = nullptr;              // host view of the span
  uint64_t cursor = 0;                    // next-fit position, relative to base
  std::map<uint64_t, Block> live;         // by guest address
  std::map<uint64_t, uint64_t> reserved;  // span offsets: start -> end, block and red zones
  const Block* last_hit = nullptr;        // the block the last access fell in
};

// Reserves `span` bytes of host memory for guest addresses from `base`.
bool CreateHeap(GuestHeap* heap, uint64_t base, uint64_t span);
void DestroyHeap(GuestHeap* heap);

// A new block of `size` bytes, 16-byte aligned, every byte set to `fill`;
// 0 when the span has no room left.
uint64_t AllocateBlock(GuestHeap& heap, uint64_t size, BlockKind kind, uint8_t fill,
                       const std::string& origin);
// Frees the live block that starts at `addr`.
void FreeBlock(GuestHeap& heap, uint64_t addr);

// The live block starting exactly at `addr`, or null.
const Block* FindBlock(const GuestHeap& heap, uint64_t addr);
// The live block holding all of [addr, addr + n), or null.
const Block* BlockHolding(GuestHeap& heap, uint64_t addr, uint64_t n);
// The live block nearest below `addr` (for reports), or null.
const Block* BlockBelow(const GuestHeap& heap, uint64_t addr);

bool InSpan(const GuestHeap& heap, uint64_t addr);
uint8_t* HostAddress(GuestHeap& heap, uint64_t addr);
int64_t CountBlocks(const GuestHeap& heap, BlockKind kind);
const char* KindName(BlockKind kind);

}  // namespace emu

#endif
