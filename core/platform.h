// The operating-system services the core needs, and nothing more: heap
// blocks and the text formatting used for member names and paths.
//
// In the plug-in DLLs these are the process heap and wsprintfA
// (plugin/platform_win32.cpp); natively they are malloc/realloc and vsnprintf
// (core/platform_native.cpp), where tests can also make them fail.
#ifndef GLYPHBOX_CORE_PLATFORM_H
#define GLYPHBOX_CORE_PLATFORM_H

#include <stdint.h>

// Process heap, flags 0, contents not cleared. Null on failure.
void* HeapAllocBytes(uint32_t size);
// Keeps the contents; on failure returns null and leaves the old block as it was.
void* HeapReAllocBytes(void* block, uint32_t size);
void HeapFreeBytes(void* block);

// Formats like wsprintfA with the conversions the library uses: "%d" and
// "%03d" take int, "%s" takes a NUL-terminated 8-bit string. The caller
// guarantees the result, with its terminator, fits in kFormatLimit bytes.
constexpr int kFormatLimit = 1024;
int FormatText(char* out, const char* format, ...);

#endif
