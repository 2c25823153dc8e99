// The platform services for the plug-in DLLs: the process heap and wsprintfA.
#include <stdarg.h>
#include <windows.h>

#include "core/platform.h"

void* HeapAllocBytes(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void* HeapReAllocBytes(void* block, uint32_t size) {
  return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void HeapFreeBytes(void* block) { HeapFree(GetProcessHeap(), 0, block); }

int FormatText(char* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = wvsprintfA(out, format, args);
  va_end(args);
  return n;
}
