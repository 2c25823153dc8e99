// ListIconDirectory: the record of each directory entry, the member names
// (bitmap depth, PNG size, the fallbacks near the end of the data), truncated
// directories, and a list that stops growing.
#include <string>
#include <vector>

#include "tests/core/harness.h"
#include "tests/fixtures/samples.h"

namespace coretest {
namespace {

using fixtures::IconEntry;
using fixtures::IconFile;

constexpr uint32_t kDirectoryBytes = 6;
constexpr uint32_t kEntryBytes = 16;

IconEntry Entry(uint8_t width, uint8_t height, uint8_t colors, const Bytes& image) {
  IconEntry e;
  e.width = width;
  e.height = height;
  e.colors = colors;
  e.image = image;
  return e;
}

// An entry that says where its image is instead of having one.
IconEntry PlacedEntry(uint8_t width, uint8_t height, uint8_t colors, uint32_t bytes, uint32_t offset) {
  IconEntry e = Entry(width, height, colors, {});
  e.explicit_place = true;
  e.bytes_in_res = bytes;
  e.image_offset = offset;
  return e;
}

// The first bytes of a PNG stream, signature and IHDR, padded with zeros to
// 80 bytes: enough for the lister, which reads nothing past IHDR.
Bytes PngStart(uint32_t width, uint32_t height, uint8_t depth) {
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  fixtures::AddBe32(ihdr, width);
  fixtures::AddBe32(ihdr, height);
  for (uint8_t v : {depth, uint8_t{6}, uint8_t{0}, uint8_t{0}, uint8_t{0}}) ihdr.push_back(v);
  fixtures::AddPngChunk(b, "IHDR", ihdr);
  b.resize(80, 0);
  return b;
}

Bytes Resized(Bytes b, size_t n) {
  b.resize(n, 0);
  return b;
}

std::vector<std::string> Names(const std::vector<Member>& members) {
  std::vector<std::string> names;
  for (const Member& m : members) names.push_back(m.filename);
  return names;
}

using IconDirectoryTest = HeapTest;

TEST_F(IconDirectoryTest, RecordHoldsEveryFieldOfItsEntry) {
  const Bytes image1 = fixtures::BitmapImage(16, 16, 4);
  const Bytes image2 = fixtures::BitmapImage(32, 32, 8);
  const Bytes image3 = fixtures::BitmapImage(48, 48, 32);
  const Bytes file = IconFile(1, {Entry(16, 16, 16, image1), Entry(32, 32, 0, image2),
                                  Entry(48, 48, 0, image3),
                                  // An offset far past the data: listed all the same.
                                  PlacedEntry(24, 24, 16, 0xFFFFFFF0u, 0xFFFFFFF0u)});
  const uint32_t at1 = kDirectoryBytes + 4 * kEntryBytes;
  const uint32_t at2 = at1 + static_cast<uint32_t>(image1.size());
  const uint32_t at3 = at2 + static_cast<uint32_t>(image2.size());
  const uint64_t size1 = image1.size(), size2 = image2.size(), size3 = image3.size();
  const uint64_t far = 0xFFFFFFF0u;
  // filesize is the member plus the 22-byte header it is extracted with;
  // the 64-bit layout's field holds the sum without wrapping.
  const std::vector<Member> expected = {
      {"icon", at1, size1, size1 + 22, 0, "", "001(16x16-4).ico", at1},
      {"icon", at2, size2, size2 + 22, 0, "", "002(32x32-8).ico", at2},
      {"icon", at3, size3, size3 + 22, 0, "", "003(48x48-32).ico", at3},
      {"icon", far, far, far + 22, 0, "", "004(24x24-16).ico", 0xFFFFFFF0u},
  };
  EXPECT_EQ(ListWith(ListIconDirectory, file), expected);
}

TEST_F(IconDirectoryTest, CursorRecordsAndNames) {
  // The directory's hotspot words are never read as a depth.
  const std::vector<Member> members = ListWith(ListIconDirectory, fixtures::SampleCursor());
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0].filename, "001(32x32-1).cur");
  EXPECT_EQ(members[1].filename, "002(32x32-24).cur");
  for (const Member& m : members) {
    EXPECT_EQ(m.method, "cursor");
    EXPECT_EQ(m.path, "");
    EXPECT_EQ(m.filesize, m.compsize + 22);
  }
}

TEST_F(IconDirectoryTest, MemberNames) {
  IconEntry misleading = fixtures::BitmapEntry(32, 32, 24);
  misleading.colors = 16;
  misleading.bits_or_y = 8;
  const Bytes bitmap64 = fixtures::BitmapImage(16, 16, 32);  // biBitCount 32

  struct Case {
    const char* name;
    Bytes file;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"depth from each image's header",
       IconFile(1, {fixtures::BitmapEntry(16, 16, 4), fixtures::BitmapEntry(32, 32, 8),
                    fixtures::BitmapEntry(48, 48, 32)}),
       {"001(16x16-4).ico", "002(32x32-8).ico", "003(48x48-32).ico"}},
      {"image header wins over the directory's colours and bit count", IconFile(1, {misleading}),
       {"001(32x32-24).ico"}},
      {"only the low byte of the type: 0x0101 is an icon",
       IconFile(0x0101, {fixtures::BitmapEntry(16, 16, 8)}), {"001(16x16-8).ico"}},
      {"type 3 is a cursor", IconFile(3, {fixtures::BitmapEntry(16, 16, 8)}), {"001(16x16-8).cur"}},
      {"PNG with directory width 0 is named from IHDR", IconFile(1, {fixtures::PngEntry(256, 256, 8)}),
       {"001(256x256-8).ico"}},
      {"IHDR size and depth, printed as signed numbers",
       IconFile(1, {Entry(0, 0, 0, PngStart(1000, 0x80000001u, 16))}), {"001(1000x-2147483647-16).ico"}},
      {"PNG with a directory width keeps the directory's size; depth is \"DR\" of IHDR",
       IconFile(1, {fixtures::PngEntry(48, 48, 8)}), {"001(48x48-21060).ico"}},
      {"bitmap with directory width 0 is not PNG", IconFile(1, {Entry(0, 0, 0, bitmap64)}),
       {"001(0x0-32).ico"}},
      // An image header is read only when the image starts more than 64 bytes
      // before the end of the data; otherwise the depth is bColorCount.
      {"bitmap starting 65 bytes before the end",
       IconFile(1, {fixtures::BitmapEntry(16, 16, 4), Entry(16, 16, 16, Resized(bitmap64, 65))}),
       {"001(16x16-4).ico", "002(16x16-32).ico"}},
      {"bitmap starting 64 bytes before the end",
       IconFile(1, {fixtures::BitmapEntry(16, 16, 4), Entry(16, 16, 16, Resized(bitmap64, 64))}),
       {"001(16x16-4).ico", "002(16x16-16).ico"}},
      {"PNG starting 65 bytes before the end",
       IconFile(1, {Entry(0, 0, 7, Resized(PngStart(300, 20, 8), 65))}), {"001(300x20-8).ico"}},
      {"PNG starting 64 bytes before the end: no IHDR test",
       IconFile(1, {Entry(0, 0, 7, Resized(PngStart(300, 20, 8), 64))}), {"001(0x0-7).ico"}},
      {"image offset past the end", IconFile(1, {PlacedEntry(0, 0, 9, 40, 0xFFFFFFFFu)}),
       {"001(0x0-9).ico"}},
      {"index printed with at least three digits",
       IconFile(1, std::vector<IconEntry>(12, PlacedEntry(1, 2, 3, 0, 0xFFFFFFFFu))),
       {"001(1x2-3).ico", "002(1x2-3).ico", "003(1x2-3).ico", "004(1x2-3).ico", "005(1x2-3).ico",
        "006(1x2-3).ico", "007(1x2-3).ico", "008(1x2-3).ico", "009(1x2-3).ico", "010(1x2-3).ico",
        "011(1x2-3).ico", "012(1x2-3).ico"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Names(ListWith(ListIconDirectory, c.file)), c.expected);
  }
}

// The lister reads only whole entries: it lists the complete ones and stops at
// the first that the data cuts short.
TEST_F(IconDirectoryTest, ShortAndEmptyDirectories) {
  const Bytes two = IconFile(1, {PlacedEntry(16, 16, 0, 10, 0), PlacedEntry(32, 32, 0, 10, 0)}, 3);
  const uint32_t whole_two = kDirectoryBytes + 2 * kEntryBytes;
  struct Case {
    const char* name;
    Bytes file;
    size_t records;
  };
  const Case cases[] = {
      {"idCount 0", IconFile(1, {}), 0},
      {"idCount 0 before real entries", IconFile(1, {fixtures::BitmapEntry(16, 16, 4)}, 0), 0},
      {"4 bytes: no idCount", Resized(IconFile(1, {}, 1), 4), 0},
      {"5 bytes: half an idCount", Resized(IconFile(1, {}, 1), 5), 0},
      {"idCount 1, no entry", IconFile(1, {}, 1), 0},
      {"idCount 1, 15 bytes of the entry", Resized(IconFile(1, {PlacedEntry(1, 1, 0, 0, 0)}), 21), 0},
      {"idCount 1, the whole entry", Resized(IconFile(1, {PlacedEntry(1, 1, 0, 0, 0)}), 22), 1},
      {"idCount 3, two entries", Resized(two, whole_two), 2},
      {"idCount 3, two entries and 15 bytes", Resized(two, whole_two + 15), 2},
      {"idCount 65535, two entries",
       Resized(IconFile(1, {PlacedEntry(1, 1, 0, 0, 0), PlacedEntry(1, 1, 0, 0, 0)}, 0xFFFF), whole_two), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ListWith(ListIconDirectory, c.file).size(), c.records);
  }
}

TEST_F(IconDirectoryTest, EntriesSharingAnImageShareItsPosition) {
  const uint32_t at = kDirectoryBytes + 2 * kEntryBytes;
  Bytes file = IconFile(1, {PlacedEntry(16, 16, 0, 296, at), PlacedEntry(16, 16, 0, 296, at)});
  fixtures::AddBytes(file, fixtures::BitmapImage(16, 16, 4));
  const std::vector<Member> members = ListWith(ListIconDirectory, file);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0].filename, "001(16x16-4).ico");
  EXPECT_EQ(members[1].filename, "002(16x16-4).ico");
  for (const Member& m : members) {
    EXPECT_EQ(m.position, at);
    EXPECT_EQ(m.crc, at);
  }
}

// When the list cannot grow the lister stops for good: the sixth entry, whose
// growth the heap would allow again, is not listed either.
TEST_F(IconDirectoryTest, StopsAtTheFirstFailedAppend) {
  const Bytes file = IconFile(1, std::vector<IconEntry>(6, fixtures::BitmapEntry(16, 16, 4)));
  NativeHeapFaults().fail_realloc_at = 1;
  EXPECT_EQ(Names(ListWith(ListIconDirectory, file)),
            (std::vector<std::string>{"001(16x16-4).ico", "002(16x16-4).ico", "003(16x16-4).ico",
                                      "004(16x16-4).ico"}));
  ResetHeapFaults();
  NativeHeapFaults().fail_alloc_at = 1;  // no storage at all
  EXPECT_TRUE(ListWith(ListIconDirectory, file).empty());
}

}  // namespace
}  // namespace coretest
