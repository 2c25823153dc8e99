// Self-test of the emulated host against selftest_dll.c, in both widths:
// every misdeed of that DLL must end in a fault that names it, and the
// imports must behave, and fail on request, as Windows does.
//
//   emu_selftest DLL32 DLL64 SCRATCH_DIR [gtest options]
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/emu/imports.h"
#include "tests/emu/loader.h"
#include "tests/emu/machine.h"
#include "tests/emu/windows_paths.h"

namespace emu {
namespace {

std::string g_dll[2];
std::string g_scratch;

// The self-test DLL loaded in a fresh process.
class Loaded {
 public:
  explicit Loaded(int bits) {
    std::string error;
    p.module_path = g_dll[bits == 32 ? 0 : 1];
    ok = ReadPeImage(p.module_path, &p.pe, &error) && StartMachine(p, p.pe.bits, &error) &&
         LoadModule(p, &error);
    if (!ok) ADD_FAILURE() << p.module_path << ": " << error;
  }
  ~Loaded() { StopMachine(p); }

  uint64_t Alloc(size_t size) {
    return AllocateBlock(p.heap, size, BlockKind::kHost, 0xCD, "test");
  }
  uint64_t Text(const std::string& s) {
    const uint64_t at = Alloc(s.size() + 1);
    PokeGuest(p, at, s.c_str(), s.size() + 1);
    return at;
  }
  std::vector<uint8_t> Bytes(uint64_t at, size_t n) {
    std::vector<uint8_t> out(n);
    PeekGuest(p, at, out.data(), n);
    return out;
  }
  bool Call(const std::string& name, const std::vector<uint64_t>& args,
            uint64_t* result = nullptr) {
    std::vector<GuestArg> guest;
    for (uint64_t a : args) guest.push_back(GuestArg{a, false});
    uint64_t ignored = 0;
    return CallExport(p, name, guest, result != nullptr ? result : &ignored);
  }

  Process p;
  bool ok = false;
};

std::string ScratchFile(const std::string& leaf, const std::vector<uint8_t>& bytes) {
  const std::string path = g_scratch + "/" + leaf;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return WindowsName(path);
}

class EmulatedHost : public testing::TestWithParam<int> {};

INSTANTIATE_TEST_SUITE_P(Widths, EmulatedHost, testing::Values(32, 64),
                         [](const testing::TestParamInfo<int>& info) {
                           return "bits" + std::to_string(info.param);
                         });

TEST_P(EmulatedHost, EveryMisdeedEndsInAFaultThatNamesIt) {
  const std::string file = ScratchFile("ten.bin", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  struct Row {
    const char* export_name;
    bool file_argument;
    std::vector<uint64_t> args;
    const char* named;
  };
  const std::vector<Row> rows = {
      {"WriteAfterBlock", false, {0}, "past the end of heap block"},
      {"WriteAfterBlock", false, {40}, "past the end of heap block"},
      {"ReadAfterFree", false, {}, "in no live block"},
      {"FreeTwice", false, {}, "no live heap block"},
      {"ClobbersSavedRegister", false, {}, "callee-saved register"},
      {"ReadThrough", false, {0}, "read of unmapped memory"},
      {"WriteConstant", false, {0}, "write to read-only memory"},
      {"CallsUnimplemented", false, {}, "GetTickCount, which the emulated host does not implement"},
      {"ReadsIntoSmallBlock", true, {}, "ReadFile buffer"},
      // stdcall callees pop their arguments; a cdecl one leaves 8 bytes.
      {"PopsNothing", false, {1, 2}, GetParam() == 32 ? "stack pointer off by -8" : nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.export_name);
    Loaded m(GetParam());
    ASSERT_TRUE(m.ok);
    std::vector<uint64_t> args = row.args;
    if (row.file_argument) args.push_back(m.Text(file));
    if (row.named == nullptr) {
      EXPECT_TRUE(m.Call(row.export_name, args));
      EXPECT_EQ(m.p.faults, 0);
      continue;
    }
    EXPECT_FALSE(m.Call(row.export_name, args));
    EXPECT_EQ(m.p.faults, 1);
    EXPECT_NE(m.p.fault.find(row.named), std::string::npos) << m.p.fault;
  }
}

TEST_P(EmulatedHost, WhatTheModuleKeepsIsReported) {
  const std::string file = ScratchFile("ten.bin", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  {
    Loaded m(GetParam());
    ASSERT_TRUE(m.ok);
    EXPECT_FALSE(m.Call("KeepsFileOpen", {m.Text(file)}));
    EXPECT_EQ(m.p.faults, 1);
    EXPECT_EQ(CountModuleFiles(m.p), 0);
  }
  {
    Loaded m(GetParam());
    ASSERT_TRUE(m.ok);
    EXPECT_TRUE(m.Call("KeepsBlock", {}));
    EXPECT_EQ(m.p.faults, 0);
    UnloadModuleChecked(m.p);
    EXPECT_EQ(m.p.faults, 1);
    EXPECT_EQ(CountBlocks(m.p.heap, BlockKind::kHeap), 1);
    // Reported once: a second unload finds nothing new.
    std::string error;
    ASSERT_TRUE(LoadModule(m.p, &error)) << error;
    UnloadModuleChecked(m.p);
    EXPECT_EQ(m.p.faults, 1);
  }
  {
    // A failed allocation keeps nothing.
    Loaded m(GetParam());
    ASSERT_TRUE(m.ok);
    std::string error;
    ASSERT_TRUE(PlanFault(m.p.plan, "HeapAlloc", 1, &error));
    uint64_t result = 1;
    EXPECT_TRUE(m.Call("KeepsBlock", {}, &result));
    EXPECT_EQ(result, 0u);
    UnloadModuleChecked(m.p);
    EXPECT_EQ(m.p.faults, 0);
  }
}

TEST_P(EmulatedHost, WsprintfGivesTheStandardText) {
  Loaded m(GetParam());
  ASSERT_TRUE(m.ok);
  const uint64_t out = m.Alloc(64);
  uint64_t n = 0;
  ASSERT_TRUE(m.Call("Format", {out, 7, m.Text("ab")}, &n));
  const std::string expected = "007|ab|-7|7   |7";
  EXPECT_EQ(static_cast<uint32_t>(n), expected.size());
  const std::vector<uint8_t> text = m.Bytes(out, expected.size() + 1);
  EXPECT_EQ(std::string(text.begin(), text.end() - 1), expected);
  EXPECT_EQ(text.back(), 0);
}

TEST_P(EmulatedHost, MultiByteToWideCharTakesWindows1252) {
  Loaded m(GetParam());
  ASSERT_TRUE(m.ok);
  const uint64_t text = m.Text("a\x80\xe9");
  const uint64_t out = m.Alloc(20);
  uint64_t n = 0;
  ASSERT_TRUE(m.Call("Widen", {text, out, 10}, &n));
  EXPECT_EQ(static_cast<uint32_t>(n), 4u);
  EXPECT_EQ(m.Bytes(out, 8), (std::vector<uint8_t>{0x61, 0, 0xAC, 0x20, 0xE9, 0, 0, 0}));

  // Too small: 0 and ERROR_INSUFFICIENT_BUFFER, with what fits written.
  const uint64_t small = m.Alloc(4);
  ASSERT_TRUE(m.Call("Widen", {text, small, 2}, &n));
  EXPECT_EQ(static_cast<uint32_t>(n), 0u);
  EXPECT_EQ(m.Bytes(small, 4), (std::vector<uint8_t>{0x61, 0, 0xAC, 0x20}));
  ASSERT_TRUE(m.Call("LastError", {}, &n));
  EXPECT_EQ(static_cast<uint32_t>(n), kErrorInsufficientBuffer);
}

TEST_P(EmulatedHost, FilesBehaveAndFailAsOnWindows) {
  const std::string file = ScratchFile("ten.bin", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  const uint32_t kInvalid = 0xFFFFFFFFu;
  struct Row {
    const char* what;
    const char* fault;  // planned for the first call, or null
    std::string name;
    bool create;
    uint32_t offset, want;
    uint32_t opened, seek, read_ok, got, error;
  };
  const std::vector<Row> rows = {
      {"read inside", nullptr, file, false, 2, 4, 1, 2, 1, 4, 0},
      {"short at the end", nullptr, file, false, 8, 4, 1, 8, 1, 2, 0},
      {"past the end", nullptr, file, false, 20, 4, 1, 20, 1, 0, 0},
      {"missing file", nullptr, file + "x", false, 0, 4, 0, 0, 0, 0, kErrorFileNotFound},
      {"missing directory", nullptr, WindowsName(g_scratch) + "\\no\\ten.bin", false, 0, 4, 0, 0, 0,
       0, kErrorPathNotFound},
      {"other letter case", nullptr, file.substr(0, file.size() - 7) + "TEN.BIN", false, 0, 4, 1, 0,
       1, 4, 0},
      {"create over existing", nullptr, file, true, 0, 4, 0, 0, 0, 0, kErrorFileExists},
      {"open fails", "CreateFileA", file, false, 0, 4, 0, 0, 0, 0, kErrorAccessDenied},
      {"seek fails", "SetFilePointer", file, false, 0, 4, 1, kInvalid, 0, 0,
       kErrorInvalidParameter},
      {"read fails", "ReadFile", file, false, 0, 4, 1, 0, 0, 0, kErrorReadFault},
      {"read short", "ReadFile.short", file, false, 0, 4, 1, 0, 1, 3, 0},
      {"read nothing", "ReadFile.empty", file, false, 0, 4, 1, 0, 1, 0, 0},
      {"false without error", "ReadFile.noerror", file, false, 0, 4, 1, 0, 0, 4, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Loaded m(GetParam());
    ASSERT_TRUE(m.ok);
    std::string error;
    if (row.fault != nullptr) ASSERT_TRUE(PlanFault(m.p.plan, row.fault, 1, &error)) << error;
    const uint64_t buf = m.Alloc(row.want);
    const uint64_t out = m.Alloc(5 * 4);
    ASSERT_TRUE(
        m.Call("OpenSeekRead", {m.Text(row.name), row.create, row.offset, buf, row.want, out}));
    const std::vector<uint8_t> raw = m.Bytes(out, 20);
    auto field = [&](int i) {
      return raw[4 * i] | raw[4 * i + 1] << 8 | raw[4 * i + 2] << 16 |
             static_cast<uint32_t>(raw[4 * i + 3]) << 24;
    };
    EXPECT_EQ(field(0), row.opened);
    EXPECT_EQ(field(1), row.seek);
    EXPECT_EQ(field(2), row.read_ok);
    EXPECT_EQ(field(3), row.got);
    EXPECT_EQ(field(4), row.error);
    const std::vector<uint8_t> bytes = m.Bytes(buf, row.got);
    for (uint32_t i = 0; i < row.got; ++i) EXPECT_EQ(bytes[i], row.offset + i);
    EXPECT_EQ(CallsSinceReset(m.p.plan, "CreateFileA"), 1u);
    EXPECT_EQ(CallsSinceReset(m.p.plan, "CloseHandle"), row.opened);
    EXPECT_EQ(m.p.faults, 0);
  }
}

TEST_P(EmulatedHost, AHandleThatIsNotOpenFailsTheRead) {
  Loaded m(GetParam());
  ASSERT_TRUE(m.ok);
  const uint64_t buf = m.Alloc(16);
  for (uint64_t handle : {uint64_t{0}, uint64_t{0x104}, uint64_t{0xFFFF}}) {
    uint64_t result = 1;
    ASSERT_TRUE(m.Call("ReadHandle", {handle, buf, 16}, &result));
    EXPECT_EQ(static_cast<uint32_t>(result), 0u);
    ASSERT_TRUE(m.Call("LastError", {}, &result));
    EXPECT_EQ(static_cast<uint32_t>(result), kErrorInvalidHandle);
  }
  EXPECT_EQ(m.p.faults, 0);
}

}  // namespace
}  // namespace emu

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 4) {
    fprintf(stderr, "usage: emu_selftest DLL32 DLL64 SCRATCH_DIR\n");
    return 2;
  }
  emu::g_dll[0] = argv[1];
  emu::g_dll[1] = argv[2];
  emu::g_scratch = argv[3];
  mkdir(emu::g_scratch.c_str(), 0755);
  return RUN_ALL_TESTS();
}
