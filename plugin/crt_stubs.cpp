// The DLLs carry no C runtime, but the compiler may still emit calls to these
// four for block copies and clears, so the library provides them. Built with
// loop-pattern distribution off, so that they do not compile into calls to
// themselves.
#include <stddef.h>

extern "C" {

void* memcpy(void* dst, const void* src, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  while (n-- != 0) *d++ = *s++;
  return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  if (d < s) {
    while (n-- != 0) *d++ = *s++;
  } else {
    while (n-- != 0) d[n] = s[n];
  }
  return dst;
}

void* memset(void* dst, int value, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  while (n-- != 0) *d++ = static_cast<unsigned char>(value);
  return dst;
}

int memcmp(const void* a, const void* b, size_t n) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; n != 0; --n, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

}
