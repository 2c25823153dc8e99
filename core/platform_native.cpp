// The platform services for native builds: plain C heap and vsnprintf, which
// gives the same text as wsprintfA for the "%d", "%03d" and "%s" conversions.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "core/platform.h"
#include "core/platform_native.h"

namespace {
HeapFaults g_faults = {};
}

HeapFaults& NativeHeapFaults() { return g_faults; }

void ResetHeapFaults() {
  const int32_t live = g_faults.live_blocks;
  g_faults = HeapFaults{};
  g_faults.live_blocks = live;
}

void* HeapAllocBytes(uint32_t size) {
  ++g_faults.allocs;
  if (g_faults.fail_alloc_at != 0 && g_faults.allocs == g_faults.fail_alloc_at) return nullptr;
  void* block = malloc(size == 0 ? 1 : size);
  if (block != nullptr) ++g_faults.live_blocks;
  return block;
}

void* HeapReAllocBytes(void* block, uint32_t size) {
  ++g_faults.reallocs;
  if (g_faults.fail_realloc_at != 0 && g_faults.reallocs == g_faults.fail_realloc_at) return nullptr;
  return realloc(block, size == 0 ? 1 : size);
}

void HeapFreeBytes(void* block) {
  ++g_faults.frees;
  --g_faults.live_blocks;
  free(block);
}

int FormatText(char* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vsnprintf(out, kFormatLimit, format, args);
  va_end(args);
  return n;
}
