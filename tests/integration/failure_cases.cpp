// The failure paths of the real DLL, provoked where a host can provoke them:
// each Win32 call the plug-in relies on is made to fail, the way Windows
// fails it, at the call where it matters. After each failure: the return
// code and the progress calls the interface promises, the host's
// out-parameters untouched, every handle and block the plug-in took given
// back, and the parse cache holding what it held before.
//
// These cases need a host that counts calls and injects failures (the
// emulated host, in both widths); other hosts skip them.
#include <string>
#include <utility>
#include <vector>

#include "tests/fixtures/samples.h"
#include "tests/integration/case_support.h"
#include "tests/integration/check.h"

using namespace itest;
using fixtures::Bytes;

namespace {

// The file the cache holds when a failure is provoked, and another one.
const char kHeldLeaf[] = "held.ico";
const char kOtherLeaf[] = "other.cur";
const size_t kHeldRecords = 4;   // SampleIcon
const size_t kOtherRecords = 2;  // SampleCursor

struct Holdings {
  int64_t heap_blocks, local_blocks, handles;
};

Holdings HoldingsOf(Host& host) {
  return {host.LiveHeapBlocks(), host.LiveLocalBlocks(), host.LiveHandles()};
}

// The cache holds one heap block for the last file listed; a reload empties
// it, so the counts are compared with the plug-in freshly loaded.
void CheckNothingHeld(Context& ctx, const Holdings& before) {
  ctx.host.Reload();
  const Holdings after = HoldingsOf(ctx.host);
  CHECK_EQ(after.heap_blocks, before.heap_blocks);
  CHECK_EQ(after.local_blocks, before.local_blocks);
  CHECK_EQ(after.handles, before.handles);
}

bool SameRecords(const std::vector<Record>& a, const std::vector<Record>& b, size_t n) {
  if (a.size() < n || b.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    const Record& x = a[i];
    const Record& y = b[i];
    if (x.method != y.method || x.position != y.position || x.compsize != y.compsize ||
        x.filesize != y.filesize || x.path != y.path || x.filename != y.filename ||
        x.crc != y.crc) {
      return false;
    }
  }
  return true;
}

// Same size, other records: the first two directory entries trade places.
Bytes Reordered(Bytes b) {
  for (size_t i = 0; i < 16; ++i) std::swap(b[6 + i], b[6 + 16 + i]);
  return b;
}

// A freshly loaded plug-in whose cache holds held.ico; returns its listing.
ArchiveInfo StartWithCache(Context& ctx, Holdings* before) {
  ctx.host.Reload();
  *before = HoldingsOf(ctx.host);
  ctx.host.PutFile(kHeldLeaf, fixtures::SampleIcon());
  ctx.host.PutFile(kOtherLeaf, fixtures::SampleCursor());
  const ArchiveInfo held = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath(kHeldLeaf));
  CHECK_EQ(held.records.size(), kHeldRecords);
  ctx.host.Events().clear();
  return held;
}

// Runs `step` with the nth call of `call` ("Function" or "Function.mode")
// failing, and checks that the call was really made.
template <typename Step>
void WithFailure(Context& ctx, const char* call, uint32_t nth, Step step) {
  Host& host = ctx.host;
  host.ResetCounts();
  host.FailCall(call, nth);
  step();
  host.ClearFaults();
  const std::string function = std::string(call).substr(0, std::string(call).find('.'));
  CHECK(host.CallCount(function.c_str()) >= nth);
}

// The cache still holds held.ico's records: listed again after its bytes
// changed under the same size and time, the old records come back and no
// file is opened.
void CheckCacheKept(Context& ctx, const ArchiveInfo& held) {
  ctx.host.RewriteKeepingTime(kHeldLeaf, Reordered(fixtures::SampleIcon()));
  ctx.host.ResetCounts();
  const ArchiveInfo again = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath(kHeldLeaf));
  CHECK_EQ(ctx.host.CallCount("CreateFileA"), 0u);
  CHECK_EQ(again.records.size(), held.records.size());
  CHECK(SameRecords(again.records, held.records, held.records.size()));
}

// Whether listing `leaf` again is served from the cache (no file opened).
bool ServedFromCache(Context& ctx, const char* leaf) {
  ctx.host.ResetCounts();
  const ArchiveInfo info = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath(leaf));
  CHECK_EQ(info.rc, 0);
  return ctx.host.CallCount("CreateFileA") == 0;
}

Bytes IconOfImages(int images) {
  std::vector<fixtures::IconEntry> entries;
  for (int i = 0; i < images; ++i) entries.push_back(fixtures::BitmapEntry(16 + i, 16 + i, 4));
  return fixtures::IconFile(1, entries);
}

}  // namespace

ITEST_INJECTION_CASE(ListingWhenCallsFail) {
  // What the cache holds afterwards: still held.ico, or other.cur (the
  // listing succeeded as far as the cache goes), or nothing (it took the
  // empty list of a listing without storage).
  enum Cache { kKept, kOther, kEmpty };
  struct Row {
    const char* what;
    const char* call;
    uint32_t nth;
    int rc;
    Cache cache;
  };
  // In ListArchive the calls come in this order: GetFileAttributesExA,
  // CreateFileA, GetFileSize, HeapAlloc (the read buffer), ReadFile,
  // CloseHandle, HeapAlloc (the list storage), HeapFree (the read buffer).
  const Row rows[] = {
      {"file cannot be opened", "CreateFileA", 1, 6, kKept},
      {"size cannot be had", "GetFileSize", 1, 4, kKept},
      {"no read buffer", "HeapAlloc", 1, 4, kKept},
      {"read fails", "ReadFile", 1, 6, kKept},
      // A false return with error 0 is a read of what it reports.
      {"read false, error 0", "ReadFile.noerror", 1, 0, kOther},
      // ListArchive succeeds with a list without storage; GetArchiveInfo
      // has no block to hand over.
      {"no list storage", "HeapAlloc", 2, 4, kEmpty},
      {"no block for the host", "LocalAlloc", 1, 4, kOther},
  };
  for (const Row& row : rows) {
    ctx.Note(row.what);
    Holdings before;
    const ArchiveInfo held = StartWithCache(ctx, &before);
    ArchiveInfo got;
    WithFailure(ctx, row.call, row.nth,
                [&] { got = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath(kOtherLeaf)); });
    CHECK_EQ(got.rc, row.rc);
    if (row.rc == 0) {
      CHECK_EQ(got.records.size(), kOtherRecords);
    } else {
      CHECK(!got.handle_written);
    }
    CHECK_EQ(ctx.host.LiveHandles(), 0);
    if (row.cache == kKept) CheckCacheKept(ctx, held);
    if (row.cache == kOther) CHECK(ServedFromCache(ctx, kOtherLeaf));
    if (row.cache == kEmpty) CHECK(!ServedFromCache(ctx, kOtherLeaf));
    CheckNothingHeld(ctx, before);
  }
}

ITEST_INJECTION_CASE(GetFileInfoWhenCallsFail) {
  struct Row {
    const char* what;
    const char* call;
    uint32_t nth;
    int rc;
  };
  const Row rows[] = {
      {"file cannot be opened", "CreateFileA", 1, 6},
      {"size cannot be had", "GetFileSize", 1, 4},
      {"read fails", "ReadFile", 1, 6},
      // A list without storage has no record to match.
      {"no list storage", "HeapAlloc", 2, -1},
  };
  for (const Row& row : rows) {
    ctx.Note(row.what);
    Holdings before;
    const ArchiveInfo held = StartWithCache(ctx, &before);
    FileInfoResult got;
    WithFailure(ctx, row.call, row.nth, [&] {
      got = GetFileInfoOf(ctx.host, ctx.host.PluginPath(kOtherLeaf), "001(32x32-1).cur");
    });
    CHECK_EQ(got.rc, row.rc);
    CHECK(got.raw == Bytes(got.raw.size(), 0xA5));  // *lpInfo untouched
    if (row.rc != -1) CheckCacheKept(ctx, held);
    CheckNothingHeld(ctx, before);
  }
}

ITEST_INJECTION_CASE(ExtractionWhenCallsFail) {
  enum Output { kMemory, kDirectory };
  struct Row {
    const char* what;
    const char* call;
    uint32_t nth;
    Output output;
    int rc;
    const Progress& progress;
    bool output_file;  // a file is left in the directory
    const char* leaf = kHeldLeaf;
  };
  // With held.ico cached, GetFile's first CreateFileA reopens the container
  // and the second creates the output file.
  const Row rows[] = {
      {"listing fails", "CreateFileA", 1, kMemory, 6, kNone, false, kOtherLeaf},
      {"no block", "LocalAlloc", 1, kMemory, 6, kFailed, false},
      {"no block, to a directory", "LocalAlloc", 1, kDirectory, 6, kFailed, false},
      {"container cannot be reopened", "CreateFileA", 1, kMemory, 6, kFailed, false},
      {"seek fails", "SetFilePointer", 1, kMemory, 6, kFailed, false},
      {"read fails", "ReadFile", 1, kMemory, 6, kFailed, false},
      {"read short by a byte", "ReadFile.short", 1, kMemory, 6, kFailed, false},
      {"read gives nothing", "ReadFile.empty", 1, kDirectory, 6, kFailed, false},
      // The count decides, not ReadFile's result.
      {"read false but complete", "ReadFile.noerror", 1, kMemory, 0, kDone, false},
      {"output file cannot be created", "CreateFileA", 2, kDirectory, 8, kDone, false},
      {"write fails", "WriteFile", 1, kDirectory, 8, kDone, true},
  };
  Holdings before;
  StartWithCache(ctx, &before);
  const std::string held_path = ctx.host.PluginPath(kHeldLeaf);
  const ArchiveInfo held = GetArchiveInfoOf(ctx.host, held_path);
  const Record& member = held.records[1];
  const Extracted whole = GetFileToMemory(ctx.host, held_path, member.position);
  CHECK_EQ(whole.rc, 0);
  ctx.host.MakeDir("out");
  const std::string written = "out\\" + member.filename;

  for (const Row& row : rows) {
    ctx.Note(row.what);
    StartWithCache(ctx, &before);
    const std::string path = ctx.host.PluginPath(row.leaf);
    const uint64_t key = member.position;
    if (row.output == kMemory) {
      Extracted got;
      WithFailure(ctx, row.call, row.nth, [&] { got = GetFileToMemory(ctx.host, path, key); });
      CHECK_EQ(got.rc, row.rc);
      CHECK_EQ(got.dest_written, row.rc == 0);  // *dest only for a delivered block
      if (row.rc == 0) CHECK(got.bytes == whole.bytes);
    } else {
      int rc = 0;
      WithFailure(ctx, row.call, row.nth,
                  [&] { rc = GetFileToDirectory(ctx.host, path, key, "out"); });
      CHECK_EQ(rc, row.rc);
      CHECK_EQ(ctx.host.Exists(written), row.output_file);
      ctx.host.RemoveFile(written);
    }
    CheckProgress(ctx, row.progress);
    CHECK_EQ(ctx.host.LiveHandles(), 0);
    CheckCacheKept(ctx, held);
    CheckNothingHeld(ctx, before);
  }
}

ITEST_INJECTION_CASE(ListGrowthFailuresKeepTheRecordsWritten) {
  // The list starts with room for 4 records and doubles; Finish trims it to
  // the records and the terminator, growing a full list by one.
  struct Row {
    const char* what;
    Bytes file;
    uint32_t nth;  // of HeapReAlloc
    size_t records;
    size_t kept;  // leading records equal to those of an unfailed listing
    size_t block_records;
  };
  const Row rows[] = {
      {"growth to 8 fails at the fifth record", IconOfImages(6), 1, 4, 4, 5},
      // With a free slot left, the terminator takes it: nothing is lost.
      {"trim fails with a free slot", IconOfImages(6), 2, 6, 6, 8},
      // A full list loses its last record to the terminator.
      {"trim fails on a full list", IconOfImages(4), 1, 3, 3, 4},
      {"trim fails on a full grown list", IconOfImages(8), 2, 7, 7, 8},
      // The frame walk stops at the fifth frame; the sequence steps still
      // come (the next growth works), the step for the lost frame with
      // position 0 and size 0.
      {"growth fails among animated-cursor frames",
       fixtures::AnimatedCursor({fixtures::CursorFrame(16, 1), fixtures::CursorFrame(16, 4),
                                 fixtures::CursorFrame(16, 1, 1), fixtures::CursorFrame(16, 4),
                                 fixtures::CursorFrame(16, 1)},
                                {0, 1, 2, 3, 4}),
       1, 9, 4, 10},
  };
  const size_t record = LayoutFor(ctx.host.Bits()).size;
  int n = 0;
  for (const Row& row : rows) {
    ctx.Note(row.what);
    ctx.host.Reload();
    const Holdings before = HoldingsOf(ctx.host);
    const std::string leaf = "grow" + std::to_string(n++) + (row.file[0] == 'R' ? ".ani" : ".ico");
    ctx.host.PutFile(leaf, row.file);
    const ArchiveInfo whole = GetArchiveInfoOfImage(ctx.host, row.file);
    ArchiveInfo got;
    WithFailure(ctx, "HeapReAlloc", row.nth,
                [&] { got = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath(leaf)); });
    CHECK_EQ(got.rc, 0);
    CHECK(got.terminated);
    CHECK_EQ(got.records.size(), row.records);
    CHECK_EQ(got.block_size, row.block_records * record);
    CHECK(SameRecords(got.records, whole.records, row.kept));
    if (row.file[0] == 'R' && got.records.size() == row.records) {
      CHECK_EQ(got.records.back().filename, "005.cur");
      CHECK_EQ(got.records.back().position, 0u);
      CHECK_EQ(got.records.back().compsize, 0u);
    }
    CheckNothingHeld(ctx, before);
  }
}

ITEST_INJECTION_CASE(CacheSkipsWhatItCannotCheck) {
  // A listing is cached only when the name converts to the key and the
  // file's size and time can be had; either way the listing itself works.
  struct Row {
    const char* what;
    const char* call;  // failing in the first listing, or null
    uint32_t opens_on_second_listing;
  };
  const Row rows[] = {
      {"unchanged file", nullptr, 0},
      {"size and time cannot be had", "GetFileAttributesExA", 1},
      {"name does not convert", "MultiByteToWideChar", 1},
  };
  for (const Row& row : rows) {
    ctx.Note(row.what);
    ctx.host.Reload();
    const Holdings before = HoldingsOf(ctx.host);
    ctx.host.PutFile(kHeldLeaf, fixtures::SampleIcon());
    const std::string path = ctx.host.PluginPath(kHeldLeaf);
    ArchiveInfo first;
    if (row.call != nullptr) {
      WithFailure(ctx, row.call, 1, [&] { first = GetArchiveInfoOf(ctx.host, path); });
    } else {
      first = GetArchiveInfoOf(ctx.host, path);
    }
    CHECK_EQ(first.records.size(), kHeldRecords);
    ctx.host.ResetCounts();
    const ArchiveInfo second = GetArchiveInfoOf(ctx.host, path);
    CHECK(SameRecords(second.records, first.records, kHeldRecords));
    CHECK_EQ(ctx.host.CallCount("CreateFileA"), row.opens_on_second_listing);
    CHECK_EQ(ctx.host.CallCount("ReadFile"), row.opens_on_second_listing);
    CHECK_EQ(ctx.host.CallCount("GetFileAttributesExA"), 1u);
    CheckNothingHeld(ctx, before);
  }
}

ITEST_INJECTION_CASE(IsSupportedWhenTheHandleCannotBeRead) {
  ctx.host.PutFile("two.ico", IconOfImages(2));
  const uint64_t name = PutString(ctx.host, ctx.host.PluginPath("two.ico"));
  const uint64_t handle = ctx.host.OpenForRead("two.ico", 0);
  int claimed = -1;
  WithFailure(ctx, "ReadFile", 1, [&] { claimed = ctx.host.Call("IsSupported", {name, handle}); });
  CHECK_EQ(claimed, 0);
  ctx.host.CloseHandle(handle);
  // The same file through a handle that reads is claimed.
  const uint64_t readable = ctx.host.OpenForRead("two.ico", 0);
  CHECK_EQ(ctx.host.Call("IsSupported", {name, readable}), 1);
  ctx.host.CloseHandle(readable);
  ctx.host.Free(name);
}
