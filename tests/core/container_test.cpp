// Recognising containers: the signature test behind listing, ListContainer's
// one-step listing, and ClaimsFile, the stricter test a host asks before it
// chooses the plug-in for a file.
#include <string.h>

#include <string>

#include "tests/core/harness.h"
#include "tests/fixtures/samples.h"

namespace coretest {
namespace {

Bytes Text(const char* text) { return Bytes(text, text + strlen(text)); }

Bytes Cat2(Bytes a, const Bytes& b) {
  fixtures::AddBytes(a, b);
  return a;
}

Bytes Prefix(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + n); }

// A directory header only, 6 bytes: reserved, type, count. The directory
// rows below are therefore also short data, judged on these 6 bytes.
Bytes DirectoryHeader(uint16_t type, uint16_t count) {
  Bytes b;
  fixtures::AddU16(b, 0);
  fixtures::AddU16(b, type);
  fixtures::AddU16(b, count);
  return b;
}

Bytes RiffHeader(const char* form) { return fixtures::RiffFile(form, {}); }

const Bytes kBitmap = Cat2(Text("BM"), Bytes(52, 0));
const Bytes kPng = fixtures::PngImage(4, 4);
const Bytes kText = Text("A plain text file, long enough to be looked at.\n");

ContainerKind Detect(const Bytes& b) {
  const ExactBytes data(b);
  return DetectContainer(data.data(), data.size());
}

bool Claims(const Bytes& b) {
  const ExactBytes data(b);
  return ClaimsFile(data.data(), data.size());
}

TEST(DetectContainerTest, Signatures) {
  struct Case {
    const char* name;
    Bytes data;
    ContainerKind expected;
  };
  const Case cases[] = {
      {"icon", fixtures::SampleIcon(), kIconDirectory},
      {"cursor", fixtures::SampleCursor(), kIconDirectory},
      {"icon header of count 0", DirectoryHeader(1, 0), kIconDirectory},
      {"type 3", DirectoryHeader(3, 2), kNotContainer},
      {"type 0x0101", DirectoryHeader(0x0101, 2), kNotContainer},
      {"reserved word not 0", Bytes{1, 0, 1, 0, 2, 0}, kNotContainer},
      {"animated cursor", fixtures::SampleAnimatedCursor(), kAnimatedCursor},
      {"RIFF ACON, nothing more", RiffHeader("ACON"), kAnimatedCursor},
      {"RIFF WAVE", RiffHeader("WAVE"), kNotContainer},
      {"RIFX ACON", Cat2(Text("RIFX"), Cat2(Bytes(4, 0), Text("ACON"))), kNotContainer},
      {"bitmap", kBitmap, kNotContainer},
      {"PNG", kPng, kNotContainer},
      {"text", kText, kNotContainer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Detect(c.data), c.expected);
  }
}

// Data too short for a signature fails it, and nothing past it is read.
TEST(DetectContainerTest, ShortData) {
  const Bytes icon = fixtures::SampleIcon();
  const Bytes ani = fixtures::SampleAnimatedCursor();
  for (size_t n = 0; n <= 12; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(Detect(Prefix(icon, n)), n >= 4 ? kIconDirectory : kNotContainer);
    EXPECT_EQ(Detect(Prefix(ani, n)), n >= 12 ? kAnimatedCursor : kNotContainer);
  }
}

using ListContainerTest = HeapTest;

TEST_F(ListContainerTest, NonContainerLeavesTheListUntouched) {
  const Bytes cases[] = {Bytes{}, Bytes{0, 0, 1}, RiffHeader("WAVE"), kBitmap, kPng, kText};
  for (const Bytes& b : cases) {
    EntryList list;
    memset(&list, 0x5A, sizeof list);
    EntryList before;
    memcpy(&before, &list, sizeof list);
    const ExactBytes data(b);
    EXPECT_FALSE(ListContainer(data.data(), data.size(), &list));
    EXPECT_EQ(memcmp(&list, &before, sizeof list), 0);
  }
  EXPECT_EQ(NativeHeapFaults().allocs, 0u);
}

TEST_F(ListContainerTest, ListsAndFinishes) {
  struct Case {
    const char* name;
    Bytes data;
    uint32_t records;
    const char* first;
  };
  const Case cases[] = {
      {"icon", fixtures::SampleIcon(), 4, "001(32x32-32).ico"},
      {"cursor", fixtures::SampleCursor(), 2, "001(32x32-1).cur"},
      {"animated cursor", fixtures::SampleAnimatedCursor(), 7, "raw001.cur"},
      {"icon of no images", DirectoryHeader(1, 0), 0, ""},
      {"signature and nothing else", Prefix(fixtures::SampleIcon(), 4), 0, ""},
      {"RIFF ACON and nothing else", RiffHeader("ACON"), 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ExactBytes data(c.data);
    EntryList list;
    ASSERT_TRUE(ListContainer(data.data(), data.size(), &list));
    ASSERT_NE(list.begin, nullptr);
    EXPECT_EQ(list.borrowed, 0u);
    // Finished: exactly the records and the terminator.
    EXPECT_EQ(list.capacity, (c.records + 1) * kRecordBytes);
    EXPECT_EQ(list.next, list.end);
    EXPECT_EQ(list.begin[c.records].method[0], 0);
    EXPECT_EQ(RecordCount(&list), c.records);
    if (c.records > 0) EXPECT_EQ(FieldText(list.begin[0].filename), c.first);
    Release(&list);
  }
}

TEST(ClaimsFileTest, Verdicts) {
  struct Case {
    const char* name;
    Bytes head;
    bool claimed;
  };
  const Case cases[] = {
      {"icon of 1 image", DirectoryHeader(1, 1), false},
      {"icon of 2 images", DirectoryHeader(1, 2), true},
      {"icon of 19 images", DirectoryHeader(1, 19), true},
      {"icon of 20 images", DirectoryHeader(1, 20), false},
      {"icon of 0 images", DirectoryHeader(1, 0), false},
      {"icon of 65535 images", DirectoryHeader(1, 0xFFFF), false},
      {"cursor of 1 image", DirectoryHeader(2, 1), false},
      {"cursor of 2 images", DirectoryHeader(2, 2), true},
      {"cursor of 20 images", DirectoryHeader(2, 20), false},
      {"type 3 of 2 images", DirectoryHeader(3, 2), false},
      {"a whole icon file", fixtures::SampleIcon(), true},
      {"RIFF ACON", RiffHeader("ACON"), true},
      {"a whole animated cursor", fixtures::SampleAnimatedCursor(), true},
      {"RIFF WAVE", RiffHeader("WAVE"), false},
      {"bitmap", kBitmap, false},
      {"PNG", kPng, false},
      {"text", kText, false},
      // Short data is judged only on the bytes given.
      {"nothing", Bytes{}, false},
      {"RIFF and a size", Prefix(RiffHeader("ACON"), 8), false},
      {"RIFF, a size and ACO", Prefix(RiffHeader("ACON"), 11), false},
      {"5 bytes of an icon header of count 2", Prefix(DirectoryHeader(1, 2), 5), false},
      {"4 bytes of an icon header", Prefix(DirectoryHeader(1, 2), 4), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Claims(c.head), c.claimed);
  }
}

}  // namespace
}  // namespace coretest
