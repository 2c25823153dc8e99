// ListAnimatedCursor: the walk over RIFF "ACON" chunks, the "fram" frames and
// the "seq " steps, every bound the walk keeps, RIFF pad bytes, and what a
// list that stops growing does to each part of the walk.
//
// The fixtures are small: frames are "icon" sub-chunks of filler bytes (the
// lister never looks inside them), so the offsets in the expectations can be
// worked out by hand from the layout written next to each case.
#include <string>
#include <vector>

#include "tests/core/harness.h"
#include "tests/fixtures/samples.h"

namespace coretest {
namespace {

using fixtures::Chunk;
using fixtures::SeqChunk;

// The fields that tell animated-cursor records apart; the rest are the same
// for every record and are checked once, in ListSteps.
struct Step {
  std::string name;
  uint64_t position;
  uint64_t size;
  uint32_t crc;
  bool operator==(const Step& o) const {
    return name == o.name && position == o.position && size == o.size && crc == o.crc;
  }
};

void PrintTo(const Step& s, std::ostream* os) {
  *os << "{" << s.name << " pos " << s.position << " size " << s.size << " crc " << s.crc << "}";
}

std::vector<Step> ListSteps(const Bytes& file) {
  std::vector<Step> steps;
  for (const Member& m : ListWith(ListAnimatedCursor, file)) {
    const bool frame = m.filename.compare(0, 3, "raw") == 0;
    EXPECT_EQ(m.method, "anicur") << m.filename;
    EXPECT_EQ(m.path, frame ? "raw\\" : "") << m.filename;
    EXPECT_EQ(m.timestamp, 0) << m.filename;
    EXPECT_EQ(m.filesize, m.compsize) << m.filename;
    steps.push_back(Step{m.filename, m.position, m.compsize, m.crc});
  }
  return steps;
}

Bytes Cat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) fixtures::AddBytes(out, p);
  return out;
}

Bytes Fill(size_t n, uint8_t value = 0x11) { return Bytes(n, value); }

Bytes Riff(const std::vector<Bytes>& chunks) { return fixtures::RiffFile("ACON", chunks); }

// A frame of n filler bytes, with the RIFF pad byte after odd n.
Bytes Icon(size_t n) { return Chunk("icon", Fill(n)); }
// The same without the pad byte, as some writers leave it out.
Bytes IconUnpadded(size_t n) { return Chunk("icon", Fill(n), false); }

// A chunk whose size field says `size`, whatever the contents that follow.
Bytes ChunkSized(const char* id, uint32_t size, const Bytes& contents) {
  Bytes b;
  fixtures::AddTag(b, id);
  fixtures::AddU32(b, size);
  fixtures::AddBytes(b, contents);
  return b;
}

// "LIST" "fram" around sub-chunks: padded if odd, or with a given size field.
Bytes Fram(const std::vector<Bytes>& subchunks) { return fixtures::ListChunk("fram", subchunks); }
Bytes FramSized(uint32_t size, const std::vector<Bytes>& subchunks) {
  Bytes contents;
  fixtures::AddTag(contents, "fram");
  fixtures::AddBytes(contents, Cat(subchunks));
  return ChunkSized("LIST", size, contents);
}

Bytes Truncated(Bytes b, size_t n) {
  b.resize(n);
  return b;
}

// RIFF header 12 | LIST @12, size 56, "fram" | icon 10 @24 (data 32) |
// icon 12 @42 (data 50) | icon 6 @62 (data 70) | seq 0,1,2,1 @76 | end 100.
Bytes ThreeFramesFourSteps() { return Riff({Fram({Icon(10), Icon(12), Icon(6)}), SeqChunk({0, 1, 2, 1})}); }

struct Case {
  const char* name;
  Bytes file;
  std::vector<Step> expected;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ListSteps(c.file), c.expected);
  }
}

using AnimatedCursorTest = HeapTest;

TEST_F(AnimatedCursorTest, FramesAndSequence) {
  RunCases({
      {"three frames, sequence 0 1 2 1: steps take their frame's bytes", ThreeFramesFourSteps(),
       {{"raw001.cur", 2, 10, 32},
        {"raw003.cur", 4, 12, 50},
        {"raw005.cur", 6, 6, 70},
        {"001.cur", 8, 10, 32},
        {"002.cur", 9, 12, 50},
        {"003.cur", 10, 6, 70},
        {"004.cur", 11, 12, 50}}},
      // seq @12 (data 20) | LIST @28 | icon 10 @40 (48) | icon 12 @58 (66) | icon 6 @78 (86)
      {"sequence before the frames, as real files have it",
       Riff({SeqChunk({2, 0}), Fram({Icon(10), Icon(12), Icon(6)})}),
       {{"raw001.cur", 2, 10, 48},
        {"raw003.cur", 4, 12, 66},
        {"raw005.cur", 6, 6, 86},
        {"001.cur", 8, 6, 86},
        {"002.cur", 9, 10, 48}}},
      {"no fram list: steps with nothing to extract", Riff({SeqChunk({0, 1})}),
       {{"001.cur", 0, 0, 0}, {"002.cur", 0, 0, 0}}},
      // LIST @12 | icon 10 @24 (32) | icon 12 @42 (50)
      {"no seq: frames only", Riff({Fram({Icon(10), Icon(12)})}),
       {{"raw001.cur", 2, 10, 32}, {"raw003.cur", 4, 12, 50}}},
      // LIST @12 | icon 10 @24 (32) | seq @42 | seq @54
      {"a second seq is ignored", Riff({Fram({Icon(10)}), SeqChunk({0}), SeqChunk({0, 0})}),
       {{"raw001.cur", 2, 10, 32}, {"001.cur", 4, 10, 32}}},
      // LIST @12 | icon 10 @24 (32) | junk @42 | LIST @54 | icon 12 @66 (74) | seq @86
      {"two fram lists: the counter runs on",
       Riff({Fram({Icon(10)}), Chunk("junk", Fill(4)), Fram({Icon(12)}), SeqChunk({1, 0})}),
       {{"raw001.cur", 2, 10, 32},
        {"raw003.cur", 4, 12, 74},
        {"001.cur", 6, 12, 74},
        {"002.cur", 7, 10, 32}}},
      {"indexes naming no frame: listed, nothing to extract",
       Riff({Fram({Icon(10), Icon(12)}), SeqChunk({2, 0xFFFFFFFFu, 1})}),
       {{"raw001.cur", 2, 10, 32},
        {"raw003.cur", 4, 12, 50},
        {"001.cur", 0, 0, 0},
        {"002.cur", 0, 0, 0},
        {"003.cur", 8, 12, 50}}},
      {"numbers printed with at least three digits",
       Riff({Fram(std::vector<Bytes>(51, Icon(2))), SeqChunk(std::vector<uint32_t>(1, 50))}),
       [] {
         std::vector<Step> s;
         for (uint32_t i = 0; i < 51; ++i) {
           const uint32_t n = 2 * i + 1;
           const std::string digits = (n < 10 ? "00" : n < 100 ? "0" : "") + std::to_string(n);
           s.push_back({"raw" + digits + ".cur", n + 1, 2, 32 + 10 * i});
         }
         s.push_back({"001.cur", 104, 2, 32 + 10 * 50});
         return s;
       }()},
  });
}

TEST_F(AnimatedCursorTest, SequenceBounds) {
  RunCases({
      {"size 6: one index, the rest ignored",
       Riff({Fram({Icon(10), Icon(12)}), Chunk("seq ", {1, 0, 0, 0, 9, 9})}),
       {{"raw001.cur", 2, 10, 32}, {"raw003.cur", 4, 12, 50}, {"001.cur", 6, 12, 50}}},
      {"size 3: no index", Riff({Fram({Icon(10)}), Chunk("seq ", {0, 0, 0})}),
       {{"raw001.cur", 2, 10, 32}}},
      {"size 16 with two and a half indexes left in the data",
       Riff({Fram({Icon(10), Icon(12)}), ChunkSized("seq ", 16, {1, 0, 0, 0, 0, 0, 0, 0, 1, 0})}),
       {{"raw001.cur", 2, 10, 32},
        {"raw003.cur", 4, 12, 50},
        {"001.cur", 6, 12, 50},
        {"002.cur", 7, 10, 32}}},
      {"size 0xFFFFFFFF: indexes as far as the data goes",
       Riff({Fram({Icon(10)}), ChunkSized("seq ", 0xFFFFFFFFu, {0, 0, 0, 0, 0, 0, 0, 0})}),
       {{"raw001.cur", 2, 10, 32}, {"001.cur", 4, 10, 32}, {"002.cur", 5, 10, 32}}},
  });
}

TEST_F(AnimatedCursorTest, ChunkAndSubChunkBounds) {
  RunCases({
      // LIST @42 claims 100 bytes; its form type would be at 50..54, past the end (52).
      {"LIST whose form type lies outside the data",
       Riff({Fram({Icon(10)}), ChunkSized("LIST", 100, {'f', 'r'})}), {{"raw001.cur", 2, 10, 32}}},
      {"fram list with nothing after its form type", Riff({Fram({Icon(10)}), Fram({})}),
       {{"raw001.cur", 2, 10, 32}}},
      // LIST @12, size 34 | icon claiming 1000 @24 | icon 10 @36 | LIST @54 | icon 6 @66 (74)
      {"sub-chunk bigger than its list is skipped, and so is the rest of that list",
       Riff({Fram({ChunkSized("icon", 1000, Fill(4)), Icon(10)}), Fram({Icon(6)})}),
       {{"raw001.cur", 2, 6, 74}}},
      // The rule is q + ssz <= limit, so contents starting at q + 8 may end
      // up to 8 bytes past the list's end. LIST @12 says 14 bytes (limit 34):
      // icon 10 @24 ends at 42. The top-level walk then resumes at 34, inside
      // the frame, and finds nothing more.
      {"frame ending 8 bytes past its list's end",
       Cat({Riff({FramSized(14, {Icon(10)})}), Fill(16, 0)}), {{"raw001.cur", 2, 10, 32}}},
      {"frame ending 9 bytes past its list's end", Cat({Riff({FramSized(13, {Icon(10)})}), Fill(16, 0)}),
       {}},
      // seq @12 | LIST @24 claiming all | icon 10 @36 (44) | icon 12 @54 (62) | end 74.
      // The limit is then size - 8, so the last frame may end at the very end.
      {"LIST size past the data: frames up to the end",
       Riff({SeqChunk({0}), FramSized(0xFFFFFFFFu, {Icon(10), Icon(12)})}),
       {{"raw001.cur", 2, 10, 44}, {"raw003.cur", 4, 12, 62}, {"001.cur", 6, 10, 44}}},
      {"LIST size past the data: a frame one byte short is skipped",
       Truncated(Riff({SeqChunk({0}), FramSized(0xFFFFFFFFu, {Icon(10), Icon(12)})}), 73),
       {{"raw001.cur", 2, 10, 44}, {"001.cur", 4, 10, 44}}},
  });
}

// Sizes near 2^32 end the walk where they are met; wrapping around would send
// the walk back to an earlier offset (0xFFFFFFF8 + 8 onto the chunk itself).
TEST_F(AnimatedCursorTest, OversizedSizesEndTheWalk) {
  RunCases({
      {"chunk size 0xFFFFFFFF", Riff({ChunkSized("junk", 0xFFFFFFFFu, {}), Fram({Icon(10)})}), {}},
      {"chunk size 0xFFFFFFF8", Riff({ChunkSized("junk", 0xFFFFFFF8u, {}), Fram({Icon(10)})}), {}},
      {"chunk size 0xFFFFFFEC", Riff({ChunkSized("junk", 0xFFFFFFECu, {}), Fram({Icon(10)})}), {}},
      {"LIST size 0xFFFFFFF8 after a frame list",
       Riff({Fram({Icon(10)}), FramSized(0xFFFFFFF8u, {}), SeqChunk({0})}), {{"raw001.cur", 2, 10, 32}}},
      // LIST @12, size 26 | icon claiming 0xFFFFFFF8 @24 | seq @46: the list's
      // walk ends, the top-level walk goes on to the sequence.
      {"sub-chunk size 0xFFFFFFF8",
       Riff({Fram({ChunkSized("icon", 0xFFFFFFF8u, {}), Icon(6)}), SeqChunk({0})}),
       {{"001.cur", 0, 0, 0}}},
  });
}

TEST_F(AnimatedCursorTest, OnlyIconSubChunksOfFramListsAreFrames) {
  RunCases({
      // LIST @12 | ICON @24 | icon 10 @36 (44) | anih @54 | icon 6 @66 (74)
      {"other sub-chunks are skipped",
       Riff({Fram({Chunk("ICON", Fill(4)), Icon(10), Chunk("anih", Fill(4)), Icon(6)})}),
       {{"raw001.cur", 2, 10, 44}, {"raw003.cur", 4, 6, 74}}},
      {"icon chunks outside a fram list, and lists of other types",
       Riff({Icon(10), fixtures::ListChunk("INFO", {Icon(6)}), fixtures::ListChunk("FRAM", {Icon(6)}),
             Chunk("list", Cat({Bytes{'f', 'r', 'a', 'm'}, Icon(6)})), Chunk("SEQ ", Fill(4, 0))}),
       {}},
  });
}

TEST_F(AnimatedCursorTest, TwentyBytesOrFewerListNothing) {
  const Bytes file = ThreeFramesFourSteps();
  for (size_t n = 0; n <= 21; ++n) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(ListSteps(Truncated(file, n)).empty());
  }
}

// RIFF pads a chunk of odd size with one zero byte; some writers leave it
// out. After odd contents the walk steps over the next byte only when it is
// in the data and is 0.
TEST_F(AnimatedCursorTest, PadBytesAfterOddSizes) {
  RunCases({
      // icon 7 @24 (32) + pad | icon 5 @40 (48) + pad | icon 10 @54 (62) | seq @72
      {"fram: padded odd frames",
       Riff({Fram({Icon(7), Icon(5), Icon(10)}), SeqChunk({2})}),
       {{"raw001.cur", 2, 7, 32}, {"raw003.cur", 4, 5, 48},
        {"raw005.cur", 6, 10, 62}, {"001.cur", 8, 10, 62}}},
      // icon 7 @24 (32) | icon 5 @39 (47) | icon 10 @52 (60) | seq @70
      {"fram: unpadded odd frames",
       Riff({Fram({IconUnpadded(7), IconUnpadded(5), Icon(10)}), SeqChunk({2})}),
       {{"raw001.cur", 2, 7, 32}, {"raw003.cur", 4, 5, 47},
        {"raw005.cur", 6, 10, 60}, {"001.cur", 8, 10, 60}}},
      // icon 7 @24 | 0xFF @39: not skipped, so the walk reads a sub-chunk at 39
      // whose size runs past the list.
      {"fram: odd frame followed by a non-zero byte",
       Riff({Fram({IconUnpadded(7), Bytes{0xFF}, Icon(10)})}), {{"raw001.cur", 2, 7, 32}}},
      // A lone odd frame ending the data: the byte after it is not there to look at.
      {"fram: odd frame at the very end of the data",
       Riff({Chunk("LIST", Cat({Bytes{'f', 'r', 'a', 'm'}, IconUnpadded(7)}), false)}),
       {{"raw001.cur", 2, 7, 32}}},
      // junk 3 @12 + pad | LIST @24 | icon 10 @36 (44)
      {"top level: padded odd chunk", Riff({Chunk("junk", Fill(3)), Fram({Icon(10)})}),
       {{"raw001.cur", 2, 10, 44}}},
      // junk 3 @12 | LIST @23 | icon 10 @35 (43)
      {"top level: unpadded odd chunk", Riff({Chunk("junk", Fill(3), false), Fram({Icon(10)})}),
       {{"raw001.cur", 2, 10, 43}}},
      {"top level: odd chunk followed by a non-zero byte",
       Riff({Chunk("junk", Fill(3), false), Bytes{0xFF}, Fram({Icon(10)})}), {}},
      // seq 5 @12 + pad | LIST @26 | icon 10 @38 (46)
      {"top level: padded odd seq", Riff({Chunk("seq ", {0, 0, 0, 0, 7}), Fram({Icon(10)})}),
       {{"raw001.cur", 2, 10, 46}, {"001.cur", 4, 10, 46}}},
      {"top level: odd chunk at the very end of the data",
       Riff({Fram({Icon(10)}), Chunk("junk", Fill(3), false)}), {{"raw001.cur", 2, 10, 32}}},
  });
}

// A complete file as the sample maker writes it: "anih", "seq ", then the
// frames, two of them of odd size and padded. Each frame's record points at
// a cursor file's header.
TEST_F(AnimatedCursorTest, SampleFile) {
  const Bytes f1 = fixtures::CursorFrame(32, 1, 1);
  const Bytes f2 = fixtures::CursorFrame(32, 4);
  const Bytes f3 = fixtures::CursorFrame(16, 1, 3);
  const Bytes file = fixtures::SampleAnimatedCursor();
  // RIFF 12 | anih 8 + 36 | seq 8 + 16 | LIST 8 + "fram" | icon header 8.
  const uint32_t c1 = 12 + 44 + 24 + 12 + 8;
  const uint32_t c2 = c1 + static_cast<uint32_t>(f1.size() + (f1.size() & 1)) + 8;
  const uint32_t c3 = c2 + static_cast<uint32_t>(f2.size() + (f2.size() & 1)) + 8;
  const std::vector<Step> expected = {
      {"raw001.cur", 2, f1.size(), c1}, {"raw003.cur", 4, f2.size(), c2}, {"raw005.cur", 6, f3.size(), c3},
      {"001.cur", 8, f1.size(), c1},    {"002.cur", 9, f2.size(), c2},    {"003.cur", 10, f3.size(), c3},
      {"004.cur", 11, f2.size(), c2},
  };
  EXPECT_EQ(ListSteps(file), expected);
  for (uint32_t at : {c1, c2, c3}) EXPECT_EQ(fixtures::GetU32(file, at), 0x00020000u) << at;
}

// A failed Append leaves the "fram" list being walked; the top-level walk
// goes on to later lists and the sequence, whose own appends may succeed or
// fail in their turn. Only the first growth fails in these cases, so a walk
// that went on where it should stop would list more.
TEST_F(AnimatedCursorTest, FailedAppends) {
  struct FailCase {
    const char* name;
    Bytes file;
    std::vector<Step> expected;
  };
  const FailCase cases[] = {
      // LIST @12 | five icon 2 @24..64 (32, 42, 52, 62, 72) | LIST @74 | icon 4 @86 (94) | seq
      {"fifth frame fails: its list is left, the next list and the sequence still run",
       Riff({Fram(std::vector<Bytes>(5, Icon(2))), Fram({Icon(4)}), SeqChunk({0, 5})}),
       {{"raw001.cur", 2, 2, 32},
        {"raw003.cur", 4, 2, 42},
        {"raw005.cur", 6, 2, 52},
        {"raw007.cur", 8, 2, 62},
        {"raw009.cur", 10, 4, 94},
        {"001.cur", 12, 2, 32},
        {"002.cur", 0, 0, 0}}},
      // LIST @12 | four icon 2 @24..54 | LIST @64 | icon 4, icon 6 | seq
      {"first frame of the second list fails: that list is left, the sequence runs",
       Riff({Fram(std::vector<Bytes>(4, Icon(2))), Fram({Icon(4), Icon(6)}), SeqChunk({0})}),
       {{"raw001.cur", 2, 2, 32},
        {"raw003.cur", 4, 2, 42},
        {"raw005.cur", 6, 2, 52},
        {"raw007.cur", 8, 2, 62},
        {"001.cur", 10, 2, 32}}},
      {"first step fails: the sequence stops",
       Riff({Fram(std::vector<Bytes>(4, Icon(2))), SeqChunk({0, 1})}),
       {{"raw001.cur", 2, 2, 32}, {"raw003.cur", 4, 2, 42},
        {"raw005.cur", 6, 2, 52}, {"raw007.cur", 8, 2, 62}}},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetHeapFaults();
    NativeHeapFaults().fail_realloc_at = 1;
    EXPECT_EQ(ListSteps(c.file), c.expected);
  }

  // No storage at all: every append fails, everywhere, and nothing is read
  // from the list.
  ResetHeapFaults();
  NativeHeapFaults().fail_alloc_at = 1;
  EXPECT_TRUE(ListSteps(ThreeFramesFourSteps()).empty());
}

}  // namespace
}  // namespace coretest
