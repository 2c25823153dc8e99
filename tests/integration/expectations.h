// What the plug-in should list for a container built by the fixtures,
// worked out independently of the plug-in's code: directory entries read
// back from the icon bytes, frames found by walking the RIFF bytes.
#ifndef GLYPHBOX_TESTS_INTEGRATION_EXPECTATIONS_H
#define GLYPHBOX_TESTS_INTEGRATION_EXPECTATIONS_H

#include <stdio.h>

#include <string>
#include <vector>

#include "tests/fixtures/containers.h"

namespace itest {

struct Expected {
  std::string method;
  uint64_t position;
  uint64_t compsize;
  uint64_t filesize;
  std::string path;
  std::string filename;
  uint32_t crc;
};

// One record per directory entry of a well-formed icon or cursor file, with
// the names given (they depend on the image headers).
inline std::vector<Expected> ExpectIconRecords(const fixtures::Bytes& file,
                                               const std::vector<std::string>& names) {
  std::vector<Expected> out;
  const bool icon = file[2] == 1;
  for (size_t i = 0; i < names.size(); ++i) {
    const uint32_t bytes = fixtures::GetU32(file, 6 + 16 * i + 8);
    const uint32_t offset = fixtures::GetU32(file, 6 + 16 * i + 12);
    out.push_back(Expected{icon ? "icon" : "cursor", offset, bytes, uint64_t{bytes} + 22, "", names[i], offset});
  }
  return out;
}

// Offsets and sizes of the "icon" sub-chunks of a well-formed, padded
// animated cursor with one "fram" list, in file order.
struct FrameSpan {
  uint32_t offset;
  uint32_t size;
};

inline std::vector<FrameSpan> FindFrames(const fixtures::Bytes& file) {
  std::vector<FrameSpan> frames;
  size_t r = 12;
  while (r + 8 <= file.size()) {
    const uint32_t sz = fixtures::GetU32(file, r + 4);
    if (std::string(file.begin() + r, file.begin() + r + 4) == "LIST" &&
        std::string(file.begin() + r + 8, file.begin() + r + 12) == "fram") {
      size_t q = r + 12;
      while (q + 8 <= r + 8 + sz) {
        const uint32_t ssz = fixtures::GetU32(file, q + 4);
        if (std::string(file.begin() + q, file.begin() + q + 4) == "icon") {
          frames.push_back(FrameSpan{static_cast<uint32_t>(q + 8), ssz});
        }
        q += 8 + ssz + (ssz & 1);
      }
    }
    r += 8 + sz + (sz & 1);
  }
  return frames;
}

// The records of an animated cursor: frames, then one per sequence step.
inline std::vector<Expected> ExpectAnimatedRecords(const fixtures::Bytes& file,
                                                   const std::vector<uint32_t>& sequence) {
  std::vector<Expected> out;
  const std::vector<FrameSpan> frames = FindFrames(file);
  char name[32];
  for (size_t i = 0; i < frames.size(); ++i) {
    snprintf(name, sizeof name, "raw%03d.cur", static_cast<int>(2 * i + 1));
    out.push_back(Expected{"anicur", 2 * i + 2, frames[i].size, frames[i].size, "raw\\", name, frames[i].offset});
  }
  for (size_t m = 1; m <= sequence.size(); ++m) {
    snprintf(name, sizeof name, "%03d.cur", static_cast<int>(m));
    const uint32_t idx = sequence[m - 1];
    if (idx < frames.size()) {
      out.push_back(Expected{"anicur", 2 * frames.size() + 1 + m, frames[idx].size, frames[idx].size, "",
                             name, frames[idx].offset});
    } else {
      out.push_back(Expected{"anicur", 0, 0, 0, "", name, 0});
    }
  }
  return out;
}

}  // namespace itest

#endif
