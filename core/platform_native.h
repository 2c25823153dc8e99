// Native stand-ins for the platform services, with switches that let tests
// make the heap fail on purpose. Not part of the plug-in DLLs.
#ifndef GLYPHBOX_CORE_PLATFORM_NATIVE_H
#define GLYPHBOX_CORE_PLATFORM_NATIVE_H

#include <stdint.h>

struct HeapFaults {
  // Fail the Nth call (1-based) counted from the last ResetHeapFaults; 0: never.
  uint32_t fail_alloc_at;
  uint32_t fail_realloc_at;
  // Calls seen since the last reset.
  uint32_t allocs;
  uint32_t reallocs;
  uint32_t frees;
  // Blocks currently held (allocated and not yet freed).
  int32_t live_blocks;
};

// The switches and counters; tests set the fail_* fields after a reset.
HeapFaults& NativeHeapFaults();
void ResetHeapFaults();

#endif
