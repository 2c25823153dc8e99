// Calls into the plug-in's exports the way a host makes them, with the
// marshalling the integration cases share.
#ifndef GLYPHBOX_TESTS_INTEGRATION_CASE_SUPPORT_H
#define GLYPHBOX_TESTS_INTEGRATION_CASE_SUPPORT_H

#include <string>
#include <utility>
#include <vector>

#include "tests/integration/check.h"
#include "tests/integration/records.h"

namespace itest {

// The flag bits hosts pass.
constexpr uint32_t kFlagFile = 0;
constexpr uint32_t kFlagMemory = 1;
constexpr uint32_t kFlagToMemory = 0x100;

// What GetArchiveInfo returned: the code, whether it wrote the handle, and
// the block's bytes and size as the host sees them.
struct ArchiveInfo {
  int rc = 0;
  bool handle_written = false;
  uint64_t handle = 0;
  size_t block_size = 0;
  Bytes block;
  std::vector<Record> records;  // up to, not including, the terminator
  bool terminated = false;      // a record with method[0] == 0 ends the block
};

// Reads back what GetArchiveInfo left in the host's handle slot; frees the
// block it received.
inline void CollectArchiveInfo(Host& host, uint64_t slot, ArchiveInfo* out) {
  out->handle = ReadPointer(host, slot);
  out->handle_written = out->handle != kUntouched;
  host.Free(slot);
  if (out->rc != 0 || !out->handle_written || out->handle == 0) return;
  out->block_size = host.LocalBlockSize(out->handle);
  out->block.resize(out->block_size);
  host.Read(out->handle, out->block.data(), out->block_size);
  host.LocalBlockFree(out->handle);
  const size_t record = LayoutFor(host.Bits()).size;
  for (size_t at = 0; at + record <= out->block.size(); at += record) {
    if (out->block[at] == 0) {
      out->terminated = true;
      break;
    }
    out->records.push_back(ParseRecord(out->block.data() + at, host.Bits()));
  }
}

// GetArchiveInfo on a file name (flag 0 unless given).
inline ArchiveInfo GetArchiveInfoOf(Host& host, const std::string& name, uint32_t flag = kFlagFile) {
  ArchiveInfo out;
  const uint64_t text = PutString(host, name);
  const uint64_t slot = host.Alloc(8);
  WritePointer(host, slot, kUntouched);
  out.rc = host.Call("GetArchiveInfo", {text, 0, flag, slot});
  host.Free(text);
  CollectArchiveInfo(host, slot, &out);
  return out;
}

// GetArchiveInfo on a copy of `image` in memory (flag 1 unless given), with
// `len` the image's size unless given.
inline ArchiveInfo GetArchiveInfoOfImage(Host& host, const Bytes& image, uint32_t flag = kFlagMemory,
                                         uint64_t len = ~0ull) {
  ArchiveInfo out;
  const uint64_t data = PutBytes(host, image);
  const uint64_t slot = host.Alloc(8);
  WritePointer(host, slot, kUntouched);
  out.rc = host.Call("GetArchiveInfo", {data, len == ~0ull ? image.size() : len, flag, slot});
  host.Free(data);
  CollectArchiveInfo(host, slot, &out);
  return out;
}

// GetFileInfo: the code and the host's record bytes afterwards (pre-filled
// with 0xA5, so untouched bytes show).
struct FileInfoResult {
  int rc = 0;
  Bytes raw;
  Record record;
};

inline FileInfoResult GetFileInfoOf(Host& host, const std::string& container, const std::string& member,
                                    uint32_t flag = kFlagFile) {
  FileInfoResult out;
  const size_t record = LayoutFor(host.Bits()).size;
  const uint64_t text = PutString(host, container);
  const uint64_t name = PutString(host, member);
  const uint64_t info = host.Alloc(record, 0xA5);
  out.rc = host.Call("GetFileInfo", {text, 0, name, flag, info});
  out.raw.resize(record);
  host.Read(info, out.raw.data(), record);
  out.record = ParseRecord(out.raw.data(), host.Bits());
  host.Free(info);
  host.Free(name);
  host.Free(text);
  return out;
}

// GetFile to memory: the code, whether *dest was written, and the block.
struct Extracted {
  int rc = 0;
  bool dest_written = false;
  size_t block_size = 0;
  Bytes bytes;
};

inline Extracted GetFileToMemory(Host& host, const std::string& container, uint64_t key,
                                 bool with_callback = true, uint32_t flag = kFlagToMemory) {
  Extracted out;
  const uint64_t text = PutString(host, container);
  const uint64_t slot = host.Alloc(8);
  WritePointer(host, slot, kUntouched);
  out.rc = host.Call("GetFile", {text, key, slot, flag, with_callback ? host.Callback() : 0, 0x1234});
  const uint64_t handle = ReadPointer(host, slot);
  out.dest_written = handle != kUntouched;
  if (out.rc == 0 && out.dest_written && handle != 0) {
    out.block_size = host.LocalBlockSize(handle);
    out.bytes.resize(out.block_size);
    host.Read(handle, out.bytes.data(), out.block_size);
    host.LocalBlockFree(handle);
  }
  host.Free(slot);
  host.Free(text);
  return out;
}

// GetFile into the directory `dir_leaf` of the scratch directory.
inline int GetFileToDirectory(Host& host, const std::string& container, uint64_t key,
                              const std::string& dir_leaf, bool with_callback = true, uint32_t flag = 0) {
  const uint64_t text = PutString(host, container);
  const uint64_t dest = PutString(host, host.PluginPath(dir_leaf));
  const int rc = host.Call("GetFile", {text, key, dest, flag, with_callback ? host.Callback() : 0, 0x1234});
  host.Free(dest);
  host.Free(text);
  return rc;
}

// The progress calls made since the events were last cleared, as
// (num, denom) pairs, checking lData came through.
using Progress = std::vector<std::pair<int, int>>;
inline const Progress kDone = {{0, 100}, {100, 100}};
inline const Progress kFailed = {{0, 100}, {50, 100}};
inline const Progress kNone = {};

inline Progress TakeProgress(Host& host, bool* data_ok) {
  Progress calls;
  *data_ok = true;
  for (const CallbackEvent& e : host.Events()) {
    calls.push_back({e.num, e.denom});
    if (e.data != 0x1234) *data_ok = false;
  }
  host.Events().clear();
  return calls;
}

// Checks the progress calls since the last check, with lData passed through.
inline void CheckProgress(Context& ctx, const Progress& want) {
  bool data_ok = false;
  CHECK(TakeProgress(ctx.host, &data_ok) == want);
  CHECK(data_ok);
}

}  // namespace itest

#endif
