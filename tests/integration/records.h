// Reading fileInfo records out of the bytes a plug-in hands over, in the
// layout of either width, and small helpers the cases share.
#ifndef GLYPHBOX_TESTS_INTEGRATION_RECORDS_H
#define GLYPHBOX_TESTS_INTEGRATION_RECORDS_H

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/integration/host.h"

namespace itest {

struct RecordLayout {
  size_t size, position, compsize, filesize, timestamp, path, filename, crc, width;
};

inline RecordLayout LayoutFor(int bits) {
  if (bits == 32) return RecordLayout{428, 8, 12, 16, 20, 24, 224, 424, 4};
  return RecordLayout{448, 8, 16, 24, 32, 40, 240, 440, 8};
}

// One record as read from the host's bytes.
struct Record {
  std::string method;
  uint64_t position = 0;
  uint64_t compsize = 0;
  uint64_t filesize = 0;
  int64_t timestamp = 0;
  std::string path;
  std::string filename;
  uint32_t crc = 0;
  // Each string field ends in a NUL inside its field.
  bool strings_terminated = false;
};

inline uint64_t ReadUnsigned(const uint8_t* p, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

inline std::string ReadText(const uint8_t* p, size_t field, bool* terminated) {
  size_t n = 0;
  while (n < field && p[n] != 0) ++n;
  if (n == field) *terminated = false;
  return std::string(reinterpret_cast<const char*>(p), n);
}

inline Record ParseRecord(const uint8_t* p, int bits) {
  const RecordLayout l = LayoutFor(bits);
  Record r;
  r.strings_terminated = true;
  r.method = ReadText(p, 8, &r.strings_terminated);
  r.position = ReadUnsigned(p + l.position, l.width);
  r.compsize = ReadUnsigned(p + l.compsize, l.width);
  r.filesize = ReadUnsigned(p + l.filesize, l.width);
  r.timestamp = static_cast<int64_t>(ReadUnsigned(p + l.timestamp, l.width));
  r.path = ReadText(p + l.path, 200, &r.strings_terminated);
  r.filename = ReadText(p + l.filename, 200, &r.strings_terminated);
  r.crc = static_cast<uint32_t>(ReadUnsigned(p + l.crc, 4));
  return r;
}

// Copies a NUL-terminated string into fresh plug-in memory.
inline uint64_t PutString(Host& host, const std::string& s) {
  const uint64_t addr = host.Alloc(s.size() + 1);
  host.Write(addr, s.c_str(), s.size() + 1);
  return addr;
}

inline uint64_t PutBytes(Host& host, const Bytes& b) {
  const uint64_t addr = host.Alloc(b.size());
  if (!b.empty()) host.Write(addr, b.data(), b.size());
  return addr;
}

inline uint64_t ReadPointer(Host& host, uint64_t addr) {
  uint8_t raw[8] = {0};
  host.Read(addr, raw, host.Bits() / 8);
  return ReadUnsigned(raw, host.Bits() / 8);
}

inline void WritePointer(Host& host, uint64_t addr, uint64_t value) {
  uint8_t raw[8];
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<uint8_t>(value >> (8 * i));
  host.Write(addr, raw, host.Bits() / 8);
}

// A value that is recognisably not a handle the plug-in wrote.
constexpr uint64_t kUntouched = 0x5A5A5A5Au;

}  // namespace itest

#endif
