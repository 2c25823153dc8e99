// Listing through the real DLL: GetArchiveInfo's record block byte by byte,
// GetFileInfo's lookups, return codes, and the parse cache.
#include <string>
#include <vector>

#include "tests/fixtures/samples.h"
#include "tests/integration/case_support.h"
#include "tests/integration/check.h"
#include "tests/integration/expectations.h"

using namespace itest;
using fixtures::Bytes;

namespace {

const std::vector<std::string> kIconNames = {"001(32x32-32).ico", "002(16x16-4).ico", "003(48x48-8).ico",
                                             "004(256x256-8).ico"};
const std::vector<std::string> kCursorNames = {"001(32x32-1).cur", "002(32x32-24).cur"};
const std::vector<uint32_t> kSampleSequence = {0, 1, 2, 1};

void CheckRecords(Context& ctx, const ArchiveInfo& info, const std::vector<Expected>& want) {
  CHECK_EQ(info.rc, 0);
  CHECK(info.handle_written);
  CHECK(info.terminated);
  // Exactly the records and the terminator.
  CHECK_EQ(info.block_size, (want.size() + 1) * LayoutFor(ctx.host.Bits()).size);
  if (!CHECK_EQ(info.records.size(), want.size())) return;
  for (size_t i = 0; i < want.size(); ++i) {
    const Record& r = info.records[i];
    ctx.Note("record " + std::to_string(i) + " " + want[i].filename);
    CHECK(r.strings_terminated);
    CHECK_EQ(r.method, want[i].method);
    CHECK_EQ(r.position, want[i].position);
    CHECK_EQ(r.compsize, want[i].compsize);
    CHECK_EQ(r.filesize, want[i].filesize);
    CHECK_EQ(r.timestamp, 0);
    CHECK_EQ(r.path, want[i].path);
    CHECK_EQ(r.filename, want[i].filename);
    CHECK_EQ(r.crc, want[i].crc);
  }
  ctx.Note("");
}

// Same size, other records: the first entry's offset and size are swapped
// with the second's.
Bytes SwappedIcon() {
  Bytes b = fixtures::SampleIcon();
  for (size_t i = 0; i < 8; ++i) std::swap(b[6 + 8 + i], b[6 + 16 + 8 + i]);
  return b;
}

uint64_t FirstPosition(Host& host, const std::string& name) {
  const ArchiveInfo info = GetArchiveInfoOf(host, name);
  return info.records.empty() ? ~0ull : info.records[0].position;
}

}  // namespace

ITEST_CASE(ListsEveryKindOfContainerRecordByRecord) {
  struct Row {
    const char* leaf;
    Bytes file;
    std::vector<Expected> want;
  };
  const Bytes ico = fixtures::SampleIcon();
  const Bytes cur = fixtures::SampleCursor();
  const Bytes ani = fixtures::SampleAnimatedCursor();
  const Bytes unpadded_ani = fixtures::AnimatedCursor(
      {fixtures::CursorFrame(16, 1, 1), fixtures::CursorFrame(16, 1, 3)}, {}, /*pad=*/false);
  std::vector<Row> rows = {
      {"sample.ico", ico, ExpectIconRecords(ico, kIconNames)},
      {"sample.cur", cur, ExpectIconRecords(cur, kCursorNames)},
      {"sample.ani", ani, ExpectAnimatedRecords(ani, kSampleSequence)},
  };
  // A writer that does not pad: the walk goes on right after the odd size.
  std::vector<Expected> unpadded = {
      {"anicur", 2, 199, 199, "raw\\", "raw001.cur", 12 + 44 + 12 + 8},
      {"anicur", 4, 201, 201, "raw\\", "raw003.cur", 12 + 44 + 12 + 8 + 199 + 8},
  };
  rows.push_back({"unpadded.ani", unpadded_ani, unpadded});

  for (const Row& row : rows) {
    ctx.Note(row.leaf);
    ctx.host.PutFile(row.leaf, row.file);
    CheckRecords(ctx, GetArchiveInfoOf(ctx.host, ctx.host.PluginPath(row.leaf)), row.want);
    // The same bytes given in memory list the same records.
    CheckRecords(ctx, GetArchiveInfoOfImage(ctx.host, row.file), row.want);
  }
}

ITEST_CASE(EmptyContainersListOnlyTheTerminator) {
  const Bytes no_images = fixtures::IconFile(1, {});
  const Bytes tiny_ani = fixtures::RiffFile("ACON", {fixtures::Chunk("anih", Bytes(0))});  // 20 bytes
  for (const Bytes& file : {no_images, tiny_ani}) {
    ctx.host.PutFile("empty.bin", file);
    const ArchiveInfo info = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath("empty.bin"));
    CHECK_EQ(info.rc, 0);
    CHECK_EQ(info.block_size, LayoutFor(ctx.host.Bits()).size);
    CHECK(info.terminated);
    CHECK(info.records.empty());
  }
}

ITEST_CASE(ListingReturnCodes) {
  Bytes bitmap = {'B', 'M'};
  bitmap.resize(64, 0);
  const Bytes wave = fixtures::RiffFile("WAVE", {fixtures::Chunk("fmt ", Bytes(16, 0))});
  ctx.host.PutFile("sample.ico", fixtures::SampleIcon());
  ctx.host.PutFile("empty.ico", {});
  ctx.host.PutFile("picture.bmp", bitmap);
  ctx.host.PutFile("sound.wav", wave);
  struct Row {
    const char* leaf;
    uint32_t flag;
    int rc;
  };
  const Row rows[] = {
      {"sample.ico", 0x80, 0},   // bits above the input kind are ignored
      {"missing.ico", 0, 6},     // cannot be opened
      {"empty.ico", 0, 6},       // too short for any signature
      {"picture.bmp", 0, 6},     // not a container
      {"sound.wav", 0, 6},       // RIFF of another form type
      {"sample.ico", 2, -1},     // input kinds 2 to 7 are refused
      {"sample.ico", 7, -1},
  };
  for (const Row& row : rows) {
    ctx.Note(std::string(row.leaf) + " flag " + std::to_string(row.flag));
    const ArchiveInfo info = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath(row.leaf), row.flag);
    CHECK_EQ(info.rc, row.rc);
    CHECK_EQ(info.handle_written, row.rc == 0);
    if (row.rc == 0) CHECK_EQ(info.records.size(), kIconNames.size());
  }
  // Memory images that are not containers, and a length whose low 32 bits
  // are 0 (the high bits of a 64-bit length are not used).
  for (const Bytes& image : {bitmap, wave, Bytes{}}) {
    const ArchiveInfo info = GetArchiveInfoOfImage(ctx.host, image);
    CHECK_EQ(info.rc, 6);
    CHECK(!info.handle_written);
  }
  if (ctx.host.Bits() == 64) {
    const ArchiveInfo info = GetArchiveInfoOfImage(ctx.host, fixtures::SampleIcon(), kFlagMemory, 1ull << 32);
    CHECK_EQ(info.rc, 6);
  }
}

ITEST_CASE(GetFileInfoFindsMembersByPathAndName) {
  const Bytes ani = fixtures::SampleAnimatedCursor();
  ctx.host.PutFile("sample.ani", ani);
  ctx.host.PutFile("sample.ico", fixtures::SampleIcon());
  const std::string ani_path = ctx.host.PluginPath("sample.ani");
  const std::string ico_path = ctx.host.PluginPath("sample.ico");
  struct Row {
    bool ani;
    const char* request;
    uint32_t flag;
    int rc;
    int index;  // record expected, in list order
  };
  const Row rows[] = {
      {true, "raw\\raw001.cur", 0, 0, 0},
      {true, "RAW\\Raw001.CUR", 0, 0, 0},
      {true, "raw\\\\\\raw001.cur", 0, 0, 0},
      {true, "raw\\raw005.cur", 0x80, 0, 2},
      {true, "004.cur", 0, 0, 6},
      {true, "raw001.cur", 0, -1, 0},
      {true, "raw/raw001.cur", 0, -1, 0},
      {true, "raw\\001.cur", 0, -1, 0},
      {true, "raw\\raw001.cu", 0, -1, 0},
      {true, "ra", 0, -1, 0},
      {true, "", 0, -1, 0},
      {false, "001(32x32-32).ico", 0, 0, 0},
      {false, "001(32X32-32).ICO", 0, 0, 0},
      {false, "004(256x256-8).ico", 0, 0, 3},
      {false, "x\\001(32x32-32).ico", 0, -1, 0},
      {false, "001(32x32-32).ico", 2, -1, 0},
  };
  const size_t record = LayoutFor(ctx.host.Bits()).size;
  for (const Row& row : rows) {
    ctx.Note(row.request);
    // Listed again right before, so that both calls read the same cached
    // storage, the bytes after the strings included.
    const ArchiveInfo list = GetArchiveInfoOf(ctx.host, row.ani ? ani_path : ico_path);
    const FileInfoResult got = GetFileInfoOf(ctx.host, row.ani ? ani_path : ico_path, row.request, row.flag);
    CHECK_EQ(got.rc, row.rc);
    if (row.rc == 0) {
      // The whole record is copied, every byte as the list holds it.
      const Bytes want(list.block.begin() + row.index * record, list.block.begin() + (row.index + 1) * record);
      CHECK(got.raw == want);
    } else {
      CHECK(got.raw == Bytes(record, 0xA5));  // not touched
    }
  }
  const FileInfoResult missing = GetFileInfoOf(ctx.host, ctx.host.PluginPath("missing.ani"), "raw\\raw001.cur");
  CHECK_EQ(missing.rc, 6);
  CHECK(missing.raw == Bytes(record, 0xA5));
}

ITEST_CASE(CacheServesAnUnchangedFileWithoutReadingIt) {
  ctx.host.PutFile("a.ico", fixtures::SampleIcon());
  const std::string path = ctx.host.PluginPath("a.ico");
  const uint64_t first = FirstPosition(ctx.host, path);
  // Other bytes, same size and time: a listing that read the file would see
  // the swapped entries.
  ctx.host.RewriteKeepingTime("a.ico", SwappedIcon());
  ctx.host.ResetCounts();
  CHECK_EQ(FirstPosition(ctx.host, path), first);
  if (ctx.host.CanInject()) CHECK_EQ(ctx.host.CallCount("CreateFileA"), 0u);
}

ITEST_CASE(CacheMissesWhenTheFileChanged) {
  ctx.host.PutFile("a.ico", fixtures::SampleIcon());
  const std::string path = ctx.host.PluginPath("a.ico");
  const uint64_t first = FirstPosition(ctx.host, path);
  const Bytes swapped = SwappedIcon();
  // Same size, later time.
  ctx.host.RewriteKeepingTime("a.ico", swapped);
  ctx.host.ShiftFileTime("a.ico", 10);
  const uint64_t second = FirstPosition(ctx.host, path);
  CHECK(second != first);
  CHECK_EQ(second, fixtures::GetU32(swapped, 6 + 12));
  // Other size, same time.
  Bytes longer = fixtures::SampleIcon();
  longer.push_back(0);
  ctx.host.RewriteKeepingTime("a.ico", longer);
  CHECK_EQ(FirstPosition(ctx.host, path), first);
}

ITEST_CASE(CacheKeysAreExactNames) {
  ctx.host.PutFile("a.ico", fixtures::SampleIcon());
  const std::string path = ctx.host.PluginPath("a.ico");
  const std::string other_spelling = ctx.host.PluginPath(".\\a.ico");
  const uint64_t first = FirstPosition(ctx.host, path);
  ctx.host.RewriteKeepingTime("a.ico", SwappedIcon());
  // The same file under another name is read again and replaces the cache,
  // so the first name misses too.
  const uint64_t swapped = FirstPosition(ctx.host, other_spelling);
  CHECK(swapped != first);
  CHECK_EQ(FirstPosition(ctx.host, path), swapped);
}

ITEST_CASE(MemoryListingsAndFailuresLeaveTheCacheAlone) {
  ctx.host.PutFile("a.ico", fixtures::SampleIcon());
  ctx.host.PutFile("bad.bmp", Bytes(100, 'B'));
  const std::string path = ctx.host.PluginPath("a.ico");
  const uint64_t first = FirstPosition(ctx.host, path);
  CHECK_EQ(GetArchiveInfoOfImage(ctx.host, fixtures::SampleCursor()).rc, 0);
  CHECK_EQ(GetArchiveInfoOf(ctx.host, ctx.host.PluginPath("bad.bmp")).rc, 6);
  CHECK_EQ(GetArchiveInfoOf(ctx.host, ctx.host.PluginPath("missing.ico")).rc, 6);
  CHECK_EQ(GetArchiveInfoOf(ctx.host, path, 3).rc, -1);
  ctx.host.RewriteKeepingTime("a.ico", SwappedIcon());
  CHECK_EQ(FirstPosition(ctx.host, path), first);  // still served from the cache
}

ITEST_CASE(LongNamesAreNeverCached) {
  // Two names longer than the 260-unit key that agree in their first 300
  // characters. Windows opens no such name through the 8-bit file functions,
  // so the plug-in may fail with 6; what it must never do is serve one
  // name's records for the other.
  const std::string dir(200, 'd');
  const std::string stem = dir + "\\" + std::string(100, 'n');
  ctx.host.MakeDir(dir);
  ctx.host.PutFile(stem + "-icon.ico", fixtures::SampleIcon());
  ctx.host.PutFile(stem + "-cursor.cur", fixtures::SampleCursor());
  const std::string icon = "\\\\?\\" + ctx.host.PluginPath(stem + "-icon.ico");
  const std::string cursor = "\\\\?\\" + ctx.host.PluginPath(stem + "-cursor.cur");
  CHECK(icon.size() > 260);
  struct Step {
    const std::string& name;
    size_t records;
  };
  const Step steps[] = {{icon, kIconNames.size()}, {cursor, kCursorNames.size()}, {icon, kIconNames.size()}};
  for (const Step& step : steps) {
    const ArchiveInfo info = GetArchiveInfoOf(ctx.host, step.name);
    CHECK(info.rc == 0 || info.rc == 6);
    if (info.rc == 0) CHECK_EQ(info.records.size(), step.records);
  }
}
