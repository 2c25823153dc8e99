// Extraction through the real DLL: every member of every kind of container,
// into memory and into a directory, byte for byte; the failure paths with
// their return codes and progress calls.
#include <string>
#include <utility>
#include <vector>

#include "tests/fixtures/samples.h"
#include "tests/integration/case_support.h"
#include "tests/integration/check.h"

using namespace itest;
using fixtures::Bytes;

namespace {

// The single-image icon file an icon or cursor member should come out as,
// worked out from the image's own header.
Bytes ExpectedIconFile(const Bytes& image) {
  Bytes out = {0, 0, 1, 0, 1, 0};
  if (image[0] == 0x89) {
    out.insert(out.end(), 8, 0);
  } else {
    const uint8_t bits = image[14];
    const int32_t height = static_cast<int32_t>(fixtures::GetU32(image, 8));
    out.push_back(image[4]);
    out.push_back(static_cast<uint8_t>(height / 2));
    out.push_back(bits < 8 ? static_cast<uint8_t>(1 << bits) : 0);
    out.insert(out.end(), {0, 0, 0, image[14], image[15]});
  }
  fixtures::AddU32(out, static_cast<uint32_t>(image.size()));
  fixtures::AddU32(out, 22);
  fixtures::AddBytes(out, image);
  return out;
}

Bytes ExpectedMember(const Bytes& container, const Record& r) {
  const Bytes stored(container.begin() + r.crc, container.begin() + r.crc + r.compsize);
  return r.method[0] == 'a' ? stored : ExpectedIconFile(stored);
}

struct Sample {
  const char* leaf;
  Bytes bytes;
};

std::vector<Sample> Samples() {
  return {{"sample.ico", fixtures::SampleIcon()},
          {"sample.cur", fixtures::SampleCursor()},
          {"sample.ani", fixtures::SampleAnimatedCursor()}};
}

}  // namespace

ITEST_CASE(ExtractsEveryMemberToMemory) {
  for (const Sample& sample : Samples()) {
    ctx.host.PutFile(sample.leaf, sample.bytes);
    const std::string path = ctx.host.PluginPath(sample.leaf);
    const ArchiveInfo list = GetArchiveInfoOf(ctx.host, path);
    CHECK(!list.records.empty());
    ctx.host.Events().clear();
    for (const Record& r : list.records) {
      ctx.Note(std::string(sample.leaf) + " " + r.path + r.filename);
      const Extracted got = GetFileToMemory(ctx.host, path, r.position);
      CHECK_EQ(got.rc, 0);
      CHECK(got.dest_written);
      CHECK_EQ(got.block_size, r.filesize);
      CHECK(got.bytes == ExpectedMember(sample.bytes, r));
      CheckProgress(ctx, kDone);
    }
  }
  // The first image of the sample icon, 32 by 32 at 32 bits, as a literal.
  ctx.Note("literal header");
  const std::string icon = ctx.host.PluginPath("sample.ico");
  const Extracted first = GetFileToMemory(ctx.host, icon, GetArchiveInfoOf(ctx.host, icon).records[0].position);
  const Bytes header = {0, 0, 1, 0, 1, 0, 0x20, 0x20, 0, 0, 0, 0, 0x20, 0};
  CHECK(Bytes(first.bytes.begin(), first.bytes.begin() + 14) == header);
  CHECK_EQ(fixtures::GetU32(first.bytes, 14), first.bytes.size() - 22);
  CHECK_EQ(fixtures::GetU32(first.bytes, 18), 22u);
}

ITEST_CASE(ExtractsEveryMemberIntoADirectory) {
  for (const Sample& sample : Samples()) {
    const std::string dir = std::string("out-") + sample.leaf;
    ctx.host.PutFile(sample.leaf, sample.bytes);
    ctx.host.MakeDir(dir);
    const std::string path = ctx.host.PluginPath(sample.leaf);
    const ArchiveInfo list = GetArchiveInfoOf(ctx.host, path);
    ctx.host.Events().clear();
    for (const Record& r : list.records) {
      ctx.Note(std::string(sample.leaf) + " " + r.path + r.filename);
      CHECK_EQ(GetFileToDirectory(ctx.host, path, r.position, dir), 0);
      CheckProgress(ctx, kDone);
      // Frames listed under "raw\" land directly in the directory.
      Bytes written;
      CHECK(ctx.host.LoadFile(dir + "\\" + r.filename, &written));
      CHECK(written == ExpectedMember(sample.bytes, r));
    }
    CHECK(!ctx.host.Exists(dir + "\\raw"));
  }
}

ITEST_CASE(ExtractionFailures) {
  // An icon whose second image runs past the end of the file and whose
  // third starts beyond it.
  fixtures::IconEntry past_end = fixtures::BitmapEntry(16, 16, 4);
  past_end.explicit_place = true;
  past_end.image_offset = 6 + 3 * 16 + 10;
  past_end.bytes_in_res = 100000;
  fixtures::IconEntry beyond = past_end;
  beyond.image_offset = 90000;
  beyond.bytes_in_res = 16;
  ctx.host.PutFile("broken.ico", fixtures::IconFile(1, {fixtures::BitmapEntry(16, 16, 4), past_end, beyond}));
  // A sequence step naming no frame: position 0, size 0.
  ctx.host.PutFile("lost-step.ani", fixtures::AnimatedCursor({fixtures::CursorFrame(16, 1)}, {0, 5}));
  ctx.host.PutFile("sample.ico", fixtures::SampleIcon());
  ctx.host.PutFile("text.txt", Bytes(40, 'x'));
  ctx.host.MakeDir("out");
  const ArchiveInfo icon = GetArchiveInfoOf(ctx.host, ctx.host.PluginPath("sample.ico"));
  const uint64_t first = icon.records[0].position;
  ctx.host.PutFile("out\\" + icon.records[0].filename, {'k', 'e', 'e', 'p'});

  struct Row {
    const char* what;
    const char* leaf;
    uint64_t key;
    uint32_t flag;
    const char* dir;  // output directory, or null for memory output
    int rc;
    const Progress& progress;
  };
  const std::string long_dir(250, 'd');
  const Row rows[] = {
      {"existing output file", "sample.ico", first, 0, "out", 8, kDone},
      {"no output directory", "sample.ico", first, 0, "missing-dir", 8, kDone},
      {"output path past MAX_PATH", "sample.ico", first, 0, long_dir.c_str(), 8, kDone},
      {"key matches nothing", "sample.ico", 12345, kFlagToMemory, nullptr, 6, kFailed},
      {"key matches nothing, to a directory", "sample.ico", 1, 0, "out", 6, kFailed},
      {"member runs past the end", "broken.ico", 6 + 3 * 16 + 10, kFlagToMemory, nullptr, 6, kFailed},
      {"member starts past the end", "broken.ico", 90000, kFlagToMemory, nullptr, 6, kFailed},
      {"step without a frame", "lost-step.ani", 0, kFlagToMemory, nullptr, 6, kFailed},
      {"container missing", "missing.ico", first, kFlagToMemory, nullptr, 6, kNone},
      {"not a container", "text.txt", first, kFlagToMemory, nullptr, 6, kNone},
      {"memory input", "sample.ico", first, 0x101, nullptr, -1, kNone},
      {"memory input, to a directory", "sample.ico", first, 1, "out", -1, kNone},
      {"output kind 2", "sample.ico", first, 0x200, nullptr, -1, kNone},
      {"output kind 7", "sample.ico", first, 0x700, "out", -1, kNone},
  };
  for (const Row& row : rows) {
    ctx.Note(row.what);
    ctx.host.Events().clear();
    const std::string path = ctx.host.PluginPath(row.leaf);
    if (row.dir == nullptr) {
      const Extracted got = GetFileToMemory(ctx.host, path, row.key, true, row.flag);
      CHECK_EQ(got.rc, row.rc);
      CHECK(!got.dest_written);
    } else {
      CHECK_EQ(GetFileToDirectory(ctx.host, path, row.key, row.dir, true, row.flag), row.rc);
    }
    CheckProgress(ctx, row.progress);
  }
  Bytes kept;
  CHECK(ctx.host.LoadFile("out\\" + icon.records[0].filename, &kept));
  CHECK(kept == Bytes({'k', 'e', 'e', 'p'}));
  CHECK(!ctx.host.Exists(long_dir));
}

ITEST_CASE(ExtractionWithoutCallbackAndWithWideKeys) {
  ctx.host.PutFile("sample.cur", fixtures::SampleCursor());
  ctx.host.MakeDir("out");
  const std::string path = ctx.host.PluginPath("sample.cur");
  const ArchiveInfo list = GetArchiveInfoOf(ctx.host, path);
  const Record& r = list.records[1];
  // A null callback is allowed in both output kinds.
  CHECK_EQ(GetFileToMemory(ctx.host, path, r.position, false).rc, 0);
  CHECK_EQ(GetFileToDirectory(ctx.host, path, r.position, "out", false), 0);
  CHECK(ctx.host.Events().empty());
  // Keys are compared in the full width of the position field.
  if (ctx.host.Bits() == 64) {
    CHECK_EQ(GetFileToMemory(ctx.host, path, (1ull << 32) + r.position).rc, 6);
  }
}
