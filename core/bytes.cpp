#include "core/bytes.h"

void CopyBytes(void* dst, const void* src, uint32_t n) {
  uint8_t* d = static_cast<uint8_t*>(dst);
  const uint8_t* s = static_cast<const uint8_t*>(src);
  for (uint32_t i = 0; i < n; ++i) d[i] = s[i];
}

uint32_t TextLength(const char* text) {
  uint32_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

void CopyText(char* dst, const char* src) {
  uint32_t i = 0;
  do {
    dst[i] = src[i];
  } while (src[i++] != 0);
}

char FoldAsciiCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
