// Plug-in information and format detection through the real DLL:
// GetPluginInfo and GetPluginInfoW at every buffer length around each
// string, and IsSupported on handles and on 2 KB header buffers.
#include <string>
#include <vector>

#include "tests/fixtures/samples.h"
#include "tests/integration/case_support.h"
#include "tests/integration/check.h"

using namespace itest;
using fixtures::Bytes;

namespace {

// Index 1, the description, is checked apart.
const char* const kInfo[] = {"00AM", nullptr, "*.ANI", "Animated cursor", "*.CUR", "Cursor", "*.ICO", "Icon"};

constexpr uint8_t kFill = 0xEE;
constexpr size_t kGuard = 8;

struct InfoResult {
  int rc;
  Bytes buffer;  // the whole buffer plus the guard bytes after it
};

// Calls GetPluginInfo (or the W variant) with a buffer of `units` units,
// followed by guard bytes, all pre-filled.
InfoResult CallInfo(Host& host, bool wide, int infono, int units) {
  const size_t unit = wide ? 2 : 1;
  const size_t bytes = (units > 0 ? units : 0) * unit + kGuard;
  const uint64_t buf = host.Alloc(bytes, kFill);
  InfoResult out;
  out.rc = host.Call(wide ? "GetPluginInfoW" : "GetPluginInfo",
                     {static_cast<uint64_t>(static_cast<uint32_t>(infono)), buf, static_cast<uint64_t>(static_cast<uint32_t>(units))});
  out.buffer.resize(bytes);
  host.Read(buf, out.buffer.data(), bytes);
  host.Free(buf);
  return out;
}

// The text in the buffer before its first terminator, as 8-bit characters.
std::string TextIn(const Bytes& buffer, bool wide, size_t units) {
  std::string s;
  for (size_t i = 0; i < units; ++i) {
    const unsigned c = wide ? buffer[2 * i] | (buffer[2 * i + 1] << 8) : buffer[i];
    if (c == 0) break;
    s.push_back(static_cast<char>(c));
  }
  return s;
}

std::string Description(Host& host) {
  const InfoResult r = CallInfo(host, false, 1, 260);
  return TextIn(r.buffer, false, 260);
}

// Verdicts of IsSupported on `bytes`, given once as a 2 KB header buffer
// (zero-filled past the bytes) and once as a handle to a file that holds
// them after 37 other bytes, positioned at them.
//
// The emulated 64-bit host hands out buffers above 4 GB whose low 32 bits
// are small (its heap starts at 0x200'0000'0000): there a plug-in that told
// handles from pointers by the low 32 bits alone would read from the buffer
// address as a handle and claim nothing.
struct Verdicts {
  int buffer;
  int handle;
};

Verdicts Judge(Host& host, const Bytes& bytes) {
  Bytes header = bytes;
  header.resize(2048, 0);
  const uint64_t buf = PutBytes(host, header);
  const uint64_t name = PutString(host, "whatever.ico");
  Verdicts v;
  v.buffer = host.Call("IsSupported", {name, buf});
  host.Free(buf);
  // The handle's read starts where the handle stands: put junk first.
  Bytes file = bytes;
  file.insert(file.begin(), 37, 'j');
  host.PutFile("probe.bin", file);
  const uint64_t handle = host.OpenForRead("probe.bin", 37);
  v.handle = host.Call("IsSupported", {name, handle});
  host.CloseHandle(handle);
  host.Free(name);
  return v;
}

Bytes Head(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + (n < b.size() ? n : b.size())); }

}  // namespace

ITEST_CASE(PluginInfoStringsAtEveryBufferLength) {
  const std::string description = Description(ctx.host);
  CHECK(description.size() >= 9);
  CHECK(description.rfind("glyphbox", 0) == 0);
  for (bool wide : {false, true}) {
    for (int index = 0; index < 8; ++index) {
      const std::string text = kInfo[index] != nullptr ? kInfo[index] : description;
      const int length = static_cast<int>(text.size());
      for (int units = 1; units <= length + 2; ++units) {
        ctx.Note((wide ? "W " : "A ") + std::to_string(index) + " buflen " + std::to_string(units));
        const InfoResult r = CallInfo(ctx.host, wide, index, units);
        const int n = length < units - 1 ? length : units - 1;
        CHECK_EQ(r.rc, n);
        CHECK_EQ(TextIn(r.buffer, wide, units), text.substr(0, n));
        // A terminator right after the text, nothing written past the buffer.
        const size_t unit = wide ? 2 : 1;
        CHECK_EQ(r.buffer[n * unit], 0);
        if (wide) CHECK_EQ(r.buffer[n * unit + 1], 0);
        CHECK(Bytes(r.buffer.end() - kGuard, r.buffer.end()) == Bytes(kGuard, kFill));
      }
    }
  }
  ctx.Note("");
  CHECK_EQ(TextIn(CallInfo(ctx.host, true, 3, 260).buffer, true, 260), "Animated cursor");
  CHECK_EQ(CallInfo(ctx.host, true, 3, 260).rc, 15);
}

ITEST_CASE(PluginInfoBadIndexesAndEmptyBuffers) {
  for (bool wide : {false, true}) {
    for (int index : {-1, 8, 1000}) {
      ctx.Note((wide ? "W " : "A ") + std::to_string(index));
      const InfoResult r = CallInfo(ctx.host, wide, index, 10);
      CHECK_EQ(r.rc, 0);
      CHECK_EQ(r.buffer[0], 0);
      if (wide) CHECK_EQ(r.buffer[1], 0);
    }
    for (int units : {0, -1}) {
      ctx.Note((wide ? "W buflen " : "A buflen ") + std::to_string(units));
      const InfoResult r = CallInfo(ctx.host, wide, 0, units);
      CHECK_EQ(r.rc, 0);
      CHECK(r.buffer == Bytes(kGuard, kFill));  // nothing written
    }
  }
}

ITEST_CASE(IsSupportedOnHandlesAndHeaders) {
  auto icon_with = [](uint16_t type, int images) {
    std::vector<fixtures::IconEntry> entries(images, fixtures::BitmapEntry(16, 16, 1));
    return fixtures::IconFile(type, entries);
  };
  Bytes bitmap = {'B', 'M', 0x46, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0};
  bitmap.resize(70, 0);
  const Bytes png = fixtures::PngImage(4, 4);
  const Bytes wave = fixtures::RiffFile("WAVE", {fixtures::Chunk("fmt ", Bytes(16, 0))});
  const Bytes acon = fixtures::RiffFile("ACON", {});
  const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n', 'b', 'y', 'e', '\n'};
  struct Row {
    const char* what;
    Bytes bytes;
    int claimed;
    int claimed_as_header = -1;  // from a 2 KB buffer, where it differs
  };
  const Row rows[] = {
      {"icon, 1 image", icon_with(1, 1), 0},
      {"icon, 2 images", icon_with(1, 2), 1},
      {"icon, 19 images", icon_with(1, 19), 1},
      {"icon, 20 images", icon_with(1, 20), 0},
      {"cursor, 2 images", icon_with(2, 2), 1},
      {"icon type 3", icon_with(3, 2), 0},
      {"sample animated cursor", fixtures::SampleAnimatedCursor(), 1},
      {"RIFF ACON, nothing else", acon, 1},
      {"RIFF WAVE", wave, 0},
      {"bitmap", bitmap, 0},
      {"PNG", png, 0},
      {"text", text, 0},
      {"empty", {}, 0},
      // From a handle, judged on the bytes read: a 6-byte icon header is
      // complete, 5 bytes and "RIFF" without its form type are not. A
      // header buffer is 2 KB by contract: there the zero after the 5 bytes
      // completes the count.
      {"icon header only", Head(icon_with(1, 2), 6), 1},
      {"icon header cut to 5", Head(icon_with(1, 2), 5), 0, 1},
      {"RIFF ACON cut to 11", Head(acon, 11), 0},
      {"RIFF cut to 8", Head(acon, 8), 0},
  };
  for (const Row& row : rows) {
    ctx.Note(row.what);
    const Verdicts v = Judge(ctx.host, row.bytes);
    CHECK_EQ(v.buffer, row.claimed_as_header < 0 ? row.claimed : row.claimed_as_header);
    CHECK_EQ(v.handle, row.claimed);
  }
}
