// What differs between the 32-bit and the 64-bit build as a host sees it:
// the record layout it reads, a filesize that wraps modulo 2^32 in the
// 32-bit record, and extraction keys compared in the width of position.
#include <string>
#include <utility>
#include <vector>

#include "tests/fixtures/samples.h"
#include "tests/integration/case_support.h"
#include "tests/integration/check.h"

using namespace itest;
using fixtures::Bytes;

namespace {

uint64_t LittleEndian(const Bytes& b, size_t at, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= static_cast<uint64_t>(b[at + i]) << (8 * i);
  return v;
}

std::string TextAt(const Bytes& b, size_t at) {
  std::string s;
  while (at < b.size() && b[at] != 0) s.push_back(static_cast<char>(b[at++]));
  return s;
}

}  // namespace

ITEST_CASE(RecordLayoutAsTheHostReadsIt) {
  // The fileInfo record of the interface, field by field: offsets in the
  // 32-bit and the 64-bit build, and widths of the integer fields.
  const bool narrow = ctx.host.Bits() == 32;
  const size_t stride = narrow ? 428 : 448;
  const size_t word = narrow ? 4 : 8;
  const size_t position = 8, compsize = narrow ? 12 : 16, filesize = narrow ? 16 : 24;
  const size_t timestamp = narrow ? 20 : 32, path = narrow ? 24 : 40, filename = narrow ? 224 : 240;
  const size_t crc = narrow ? 424 : 440;

  const Bytes icon = fixtures::SampleIcon();
  ctx.host.PutFile("layout.ico", icon);
  const ArchiveInfo info = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath("layout.ico"));
  CHECK_EQ(info.rc, 0);
  const char* const names[] = {"001(32x32-32).ico", "002(16x16-4).ico", "003(48x48-8).ico",
                               "004(256x256-8).ico"};
  if (!CHECK_EQ(info.block.size(), 5 * stride)) return;
  for (size_t i = 0; i < 4; ++i) {
    ctx.Note("record " + std::to_string(i));
    const Bytes& b = info.block;
    const size_t at = i * stride;
    const uint32_t bytes = fixtures::GetU32(icon, 6 + 16 * i + 8);
    const uint32_t offset = fixtures::GetU32(icon, 6 + 16 * i + 12);
    CHECK_EQ(TextAt(b, at), "icon");
    CHECK_EQ(LittleEndian(b, at + position, word), offset);
    CHECK_EQ(LittleEndian(b, at + compsize, word), bytes);
    CHECK_EQ(LittleEndian(b, at + filesize, word), bytes + 22u);
    CHECK_EQ(LittleEndian(b, at + timestamp, word), 0u);
    CHECK_EQ(b[at + path], 0);
    CHECK_EQ(TextAt(b, at + filename), names[i]);
    CHECK_EQ(LittleEndian(b, at + crc, 4), offset);
  }
  ctx.Note("terminator");
  CHECK_EQ(info.block[4 * stride], 0);
}

ITEST_CASE(FilesizeWrapsInThe32BitRecord) {
  // An entry claiming 0xFFFFFFF0 bytes: filesize is compsize + 22, which
  // the 32-bit record holds modulo 2^32.
  fixtures::IconEntry huge = fixtures::BitmapEntry(16, 16, 4);
  huge.explicit_place = true;
  huge.bytes_in_res = 0xFFFFFFF0u;
  huge.image_offset = 6 + 16;
  ctx.host.PutFile("huge.ico", fixtures::IconFile(1, {huge}));
  const std::string path = ctx.host.PluginPath("huge.ico");
  const ArchiveInfo info = GetArchiveInfoOf(ctx.host, path);
  if (!CHECK_EQ(info.records.size(), 1u)) return;
  const Record& r = info.records[0];
  CHECK_EQ(r.compsize, 0xFFFFFFF0u);
  CHECK_EQ(r.filesize, ctx.host.Bits() == 32 ? 6u : 0x100000006u);

  // A 6-byte block cannot take the header and the member: refused before
  // anything is allocated or read.
  if (ctx.host.Bits() != 32) return;
  ctx.host.Events().clear();
  ctx.host.ResetCounts();
  const Extracted got = GetFileToMemory(ctx.host, path, r.position);
  CHECK_EQ(got.rc, 6);
  CHECK(!got.dest_written);
  CheckProgress(ctx, kFailed);
  if (ctx.host.CanInject()) {
    CHECK_EQ(ctx.host.CallCount("LocalAlloc"), 0u);
    CHECK_EQ(ctx.host.CallCount("CreateFileA"), 0u);
    CHECK_EQ(ctx.host.CallCount("ReadFile"), 0u);
  }
}

ITEST_CASE(KeysAreComparedInTheWidthOfPosition) {
  // The second image claims to start at 0xFFFFFF00: listed with that
  // position, found by that key, unreadable (6).
  fixtures::IconEntry far = fixtures::BitmapEntry(16, 16, 4);
  far.explicit_place = true;
  far.bytes_in_res = 16;
  far.image_offset = 0xFFFFFF00u;
  ctx.host.PutFile("far.ico", fixtures::IconFile(1, {fixtures::BitmapEntry(16, 16, 4), far}));
  const std::string path = ctx.host.PluginPath("far.ico");
  const ArchiveInfo info = GetArchiveInfoOf(ctx.host, path);
  if (!CHECK_EQ(info.records.size(), 2u)) return;
  CHECK_EQ(info.records[1].position, 0xFFFFFF00u);

  struct Row {
    const char* what;
    uint64_t key;
    bool found;  // a block was allocated for the member
  };
  // A 32-bit host can pass only the low half of the sign-extended key,
  // which is the position itself; in 64 bits it is another number.
  const Row rows[] = {
      {"the position", 0xFFFFFF00u, true},
      {"the position sign-extended", 0xFFFFFFFFFFFFFF00ull, ctx.host.Bits() == 32},
  };
  for (const Row& row : rows) {
    ctx.Note(row.what);
    ctx.host.Events().clear();
    ctx.host.ResetCounts();
    const Extracted got = GetFileToMemory(ctx.host, path, row.key);
    CHECK_EQ(got.rc, 6);
    CHECK(!got.dest_written);
    CheckProgress(ctx, kFailed);
    if (ctx.host.CanInject()) CHECK_EQ(ctx.host.CallCount("LocalAlloc"), row.found ? 1u : 0u);
  }
}
