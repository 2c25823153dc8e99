// What the core tests share: data copied into blocks of exactly its size (so
// AddressSanitizer reports any read past the end), records read back as plain
// values, a one-call way to run a lister, and a test base that resets the
// native heap's fault switches and checks that nothing leaked.
#ifndef GLYPHBOX_TESTS_CORE_HARNESS_H
#define GLYPHBOX_TESTS_CORE_HARNESS_H

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/archive.h"
#include "core/platform_native.h"
#include "tests/fixtures/containers.h"

namespace coretest {

using fixtures::Bytes;

// A heap copy of exactly bytes.size() bytes. std::vector may hold spare
// capacity past its end, which would hide an over-read from ASan.
class ExactBytes {
 public:
  explicit ExactBytes(const Bytes& bytes)
      : size_(static_cast<uint32_t>(bytes.size())), data_(new uint8_t[bytes.size()]) {
    if (!bytes.empty()) memcpy(data_.get(), bytes.data(), bytes.size());
  }
  const uint8_t* data() const { return data_.get(); }
  uint32_t size() const { return size_; }

 private:
  uint32_t size_;
  std::unique_ptr<uint8_t[]> data_;
};

// One record's fields, with the strings cut at their terminators.
struct Member {
  std::string method;
  uint64_t position;
  uint64_t compsize;
  uint64_t filesize;
  int64_t timestamp;
  std::string path;
  std::string filename;
  uint32_t crc;

  bool operator==(const Member& o) const {
    return method == o.method && position == o.position && compsize == o.compsize &&
           filesize == o.filesize && timestamp == o.timestamp && path == o.path &&
           filename == o.filename && crc == o.crc;
  }
};

inline void PrintTo(const Member& m, std::ostream* os) {
  *os << "{" << m.method << " pos " << m.position << " comp " << m.compsize << " file "
      << m.filesize << " time " << m.timestamp << " \"" << m.path << "\" \"" << m.filename
      << "\" crc " << m.crc << "}";
}

// A string field, cut at its terminator or at the field's end.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

inline Member ToMember(const fileInfo& rec) {
  return Member{FieldText(rec.method), rec.position, rec.compsize,           rec.filesize,
                rec.timestamp,         FieldText(rec.path), FieldText(rec.filename), rec.crc};
}

// The records of a finished list, up to its terminator.
inline std::vector<Member> Members(const EntryList& list) {
  std::vector<Member> out;
  for (uint32_t i = 0; i < RecordCount(&list); ++i) out.push_back(ToMember(list.begin[i]));
  return out;
}

// Storage is filled with this before a lister runs, so a field the lister
// forgets to write shows up instead of reading as a lucky zero.
constexpr uint8_t kGarbage = 0xA5;

using Lister = void (*)(const uint8_t*, uint32_t, EntryList*);

// Init, fill with garbage, list, Finish, read back, Release.
inline std::vector<Member> ListWith(Lister lister, const Bytes& bytes) {
  const ExactBytes data(bytes);
  EntryList list;
  Init(&list);
  if (list.begin != nullptr) memset(list.begin, kGarbage, list.capacity);
  lister(data.data(), data.size(), &list);
  Finish(&list);
  std::vector<Member> out = Members(list);
  Release(&list);
  return out;
}

// Every test that touches the heap starts with the fault switches off and
// ends holding no more blocks than it started with.
class HeapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetHeapFaults();
    live_at_start_ = NativeHeapFaults().live_blocks;
  }
  void TearDown() override { EXPECT_EQ(NativeHeapFaults().live_blocks, live_at_start_) << "leaked"; }

 private:
  int32_t live_at_start_ = 0;
};

}  // namespace coretest

#endif
