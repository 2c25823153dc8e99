// The one place where container bytes are read. Every accessor answers
// "does this fit" before it reads, with bounds written in subtraction form so
// that no offset arithmetic can wrap; a read that does not fit reads nothing
// and returns false.
#ifndef GLYPHBOX_CORE_BYTE_READER_H
#define GLYPHBOX_CORE_BYTE_READER_H

#include <stdint.h>

struct ByteView {
  const uint8_t* data;
  uint32_t size;
};

// True when [offset, offset + need) lies inside the view.
inline bool Fits(ByteView v, uint32_t offset, uint32_t need) {
  return offset <= v.size && v.size - offset >= need;
}

inline bool U8At(ByteView v, uint32_t offset, uint8_t* out) {
  if (!Fits(v, offset, 1)) return false;
  *out = v.data[offset];
  return true;
}

inline bool U16At(ByteView v, uint32_t offset, uint16_t* out) {
  if (!Fits(v, offset, 2)) return false;
  const uint8_t* p = v.data + offset;
  *out = static_cast<uint16_t>(p[0] | (p[1] << 8));
  return true;
}

inline bool U32At(ByteView v, uint32_t offset, uint32_t* out) {
  if (!Fits(v, offset, 4)) return false;
  const uint8_t* p = v.data + offset;
  *out = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return true;
}

// PNG stores its IHDR width and height big-endian.
inline bool U32BeAt(ByteView v, uint32_t offset, uint32_t* out) {
  if (!Fits(v, offset, 4)) return false;
  const uint8_t* p = v.data + offset;
  *out = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
  return true;
}

// True when the four bytes at offset are the four characters of tag.
inline bool TagAt(ByteView v, uint32_t offset, const char (&tag)[5]) {
  if (!Fits(v, offset, 4)) return false;
  const uint8_t* p = v.data + offset;
  for (int i = 0; i < 4; ++i) {
    if (p[i] != static_cast<uint8_t>(tag[i])) return false;
  }
  return true;
}

// Addition that reports wrap-around instead of wrapping.
inline bool AddU32(uint32_t a, uint32_t b, uint32_t* sum) {
  if (b > UINT32_MAX - a) return false;
  *sum = a + b;
  return true;
}

#endif
