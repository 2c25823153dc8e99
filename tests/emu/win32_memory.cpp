// kernel32's process heap and local memory on the guest heap. Blocks come
// filled with garbage, as Windows leaves them (flags 0), so code that counts
// on cleared memory shows it; HeapReAlloc always moves the block, so a stale
// pointer to the old one shows too. Freeing a block twice, through the
// wrong family of functions, or one that was never handed out is a fault.
#include <string.h>

#include "tests/emu/imports.h"
#include "tests/emu/machine.h"

namespace emu {
namespace {

constexpr uint32_t kHeapNoSerialize = 0x01;
constexpr uint32_t kHeapZeroMemory = 0x08;
constexpr uint32_t kLocalZeroInit = 0x40;  // LMEM_FIXED is 0
constexpr uint8_t kGarbage = 0xBE;
// What GetProcessHeap returns; any other heap handle is a fault.
constexpr uint64_t kProcessHeap = 0x00340000;

uint64_t SizeArg(Process& p, int i) { return p.bits == 32 ? Arg32(p, i) : Arg(p, i); }

// "HeapAlloc in GetArchiveInfo", for leak and overrun reports.
std::string Origin(const Process& p, const char* function) {
  return std::string(function) + " in " + p.running.substr(0, p.running.find('('));
}

bool IsProcessHeap(Process& p, uint64_t heap, const char* function) {
  if (heap == kProcessHeap) return true;
  Fail(p, std::string(function) + " on heap " + Hex(heap) + ", which GetProcessHeap never gave");
  return false;
}

const Block* LiveBlock(Process& p, uint64_t addr, BlockKind kind, const char* function) {
  const Block* b = FindBlock(p.heap, addr);
  if (b != nullptr && b->kind == kind) return b;
  Fail(p, std::string(function) + " of " + DescribeAddress(p, addr) + ", which is no live " +
              KindName(kind) + " block");
  return nullptr;
}

bool SupportedFlags(Process& p, uint32_t flags, uint32_t supported, const char* function) {
  if ((flags & ~supported) == 0) return true;
  Fail(p, std::string(function) + " with flags " + Hex(flags) +
              ", which the emulated host does not implement");
  return false;
}

}  // namespace

uint64_t Win32GetProcessHeap(Process&) { return kProcessHeap; }

uint64_t Win32HeapAlloc(Process& p) {
  const uint32_t flags = Arg32(p, 1);
  const uint64_t size = SizeArg(p, 2);
  if (!IsProcessHeap(p, Arg(p, 0), "HeapAlloc")) return 0;
  if (!SupportedFlags(p, flags, kHeapNoSerialize | kHeapZeroMemory, "HeapAlloc")) return 0;
  if (Injected(p)) return 0;  // HeapAlloc sets no last error
  const uint8_t fill = (flags & kHeapZeroMemory) ? 0 : kGarbage;
  return AllocateBlock(p.heap, size, BlockKind::kHeap, fill, Origin(p, "HeapAlloc"));
}

uint64_t Win32HeapReAlloc(Process& p) {
  const uint32_t flags = Arg32(p, 1);
  const uint64_t old_addr = Arg(p, 2);
  const uint64_t size = SizeArg(p, 3);
  if (!IsProcessHeap(p, Arg(p, 0), "HeapReAlloc")) return 0;
  if (!SupportedFlags(p, flags, kHeapNoSerialize | kHeapZeroMemory, "HeapReAlloc")) return 0;
  const Block* old = LiveBlock(p, old_addr, BlockKind::kHeap, "HeapReAlloc");
  if (old == nullptr) return 0;
  const uint64_t old_size = old->size;
  if (Injected(p)) return 0;  // the old block stays as it was
  const uint64_t addr =
      AllocateBlock(p.heap, size, BlockKind::kHeap, kGarbage, Origin(p, "HeapReAlloc"));
  if (addr == 0) return 0;
  const uint64_t keep = old_size < size ? old_size : size;
  memcpy(HostAddress(p.heap, addr), HostAddress(p.heap, old_addr), keep);
  if ((flags & kHeapZeroMemory) && size > keep)
    memset(HostAddress(p.heap, addr) + keep, 0, size - keep);
  FreeBlock(p.heap, old_addr);
  return addr;
}

uint64_t Win32HeapFree(Process& p) {
  const uint64_t addr = Arg(p, 2);
  if (!IsProcessHeap(p, Arg(p, 0), "HeapFree")) return 0;
  if (addr == 0) return 1;
  if (LiveBlock(p, addr, BlockKind::kHeap, "HeapFree") == nullptr) return 0;
  FreeBlock(p.heap, addr);
  return 1;
}

uint64_t Win32LocalAlloc(Process& p) {
  const uint32_t flags = Arg32(p, 0);
  const uint64_t size = SizeArg(p, 1);
  // Only LMEM_FIXED blocks, whose handle is their address, are modelled.
  if (!SupportedFlags(p, flags, kLocalZeroInit, "LocalAlloc")) return 0;
  if (Injected(p)) {
    SetLastError(p, kErrorNotEnoughMemory);
    return 0;
  }
  const uint8_t fill = (flags & kLocalZeroInit) ? 0 : kGarbage;
  const uint64_t addr =
      AllocateBlock(p.heap, size, BlockKind::kLocal, fill, Origin(p, "LocalAlloc"));
  if (addr == 0) SetLastError(p, kErrorNotEnoughMemory);
  return addr;
}

uint64_t Win32LocalFree(Process& p) {
  const uint64_t handle = Arg(p, 0);
  if (handle == 0) return 0;
  if (LiveBlock(p, handle, BlockKind::kLocal, "LocalFree") == nullptr) return handle;
  FreeBlock(p.heap, handle);
  return 0;
}

uint64_t Win32LocalLock(Process& p) {
  const uint64_t handle = Arg(p, 0);
  return LiveBlock(p, handle, BlockKind::kLocal, "LocalLock") != nullptr ? handle : 0;
}

uint64_t Win32LocalUnlock(Process& p) {
  // A fixed block has no lock count: FALSE, "no longer locked".
  LiveBlock(p, Arg(p, 0), BlockKind::kLocal, "LocalUnlock");
  return 0;
}

uint64_t Win32LocalSize(Process& p) {
  const Block* b = LiveBlock(p, Arg(p, 0), BlockKind::kLocal, "LocalSize");
  return b != nullptr ? b->size : 0;
}

}  // namespace emu
