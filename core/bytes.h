// Plain byte and text helpers over memory the caller owns, so that the core
// needs no C library (the plug-in DLLs carry none).
#ifndef GLYPHBOX_CORE_BYTES_H
#define GLYPHBOX_CORE_BYTES_H

#include <stdint.h>

void CopyBytes(void* dst, const void* src, uint32_t n);
// Length of a NUL-terminated text.
uint32_t TextLength(const char* text);
// Copies a NUL-terminated text, terminator included.
void CopyText(char* dst, const char* src);
// ASCII letters A-Z fold to a-z; every other byte, including the bytes of
// double-byte characters, compares by value.
char FoldAsciiCase(char c);

#endif
