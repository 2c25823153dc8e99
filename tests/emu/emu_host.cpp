// The integration cases in an emulated Windows process: this program loads
// the plug-in DLL (32-bit .spi or 64-bit .sph) into a Unicorn-emulated CPU,
// with the Win32 functions it imports implemented on Linux, and calls its
// exports by name as a viewer does. Unlike the Wine host it runs the 32-bit
// build, counts every import call, makes chosen calls fail, and treats any
// bad access, leak or convention breach as a loud failure.
//
//   emu_host_tests PLUGIN SCRATCH_DIR [FILTER]
//
// SCRATCH_DIR is emptied first; the plug-in sees it as Z:\... as under Wine.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/emu/imports.h"
#include "tests/emu/loader.h"
#include "tests/emu/machine.h"
#include "tests/emu/windows_paths.h"
#include "tests/integration/check.h"

namespace emu {
namespace {

// What Call returns when the export faulted: no case expects it.
constexpr int kFaultResult = 0x7FFFDEAD;

// The exports' parameters: 'i' a 32-bit int (garbage above it in a Win64
// register), 'p' pointer-sized (pointers, handles, the interface's `long`).
struct ExportSignature {
  const char* name;
  const char* params;
};

const ExportSignature kSignatures[] = {
    {"GetPluginInfo", "ipi"},    // infono, buf, buflen
    {"GetPluginInfoW", "ipi"},   // infono, buf, buflen
    {"IsSupported", "pp"},       // filename, dw
    {"GetArchiveInfo", "ppip"},  // buf, len, flag, lphInf
    {"GetFileInfo", "pppip"},    // buf, len, filename, flag, lpInfo
    {"GetFile", "pppipp"},       // src, len, dest, flag, progressCallback, lData
};

const char* ParamsOf(const std::string& name) {
  for (const ExportSignature& s : kSignatures) {
    if (name == s.name) return s.params;
  }
  return nullptr;
}

class EmuHost : public itest::Host {
 public:
  EmuHost(Process& p, const std::string& scratch) : p_(p), scratch_(WindowsName(scratch)) {}

  std::string Name() const override {
    const size_t slash = p_.module_path.find_last_of('/');
    return "emu" + std::to_string(p_.bits) + " " +
           p_.module_path.substr(slash == std::string::npos ? 0 : slash + 1);
  }
  int Bits() const override { return p_.bits; }

  uint64_t Alloc(size_t size, uint8_t fill) override {
    const uint64_t addr = AllocateBlock(p_.heap, size, BlockKind::kHost, fill, "the host");
    if (addr == 0) Report(p_, "host Alloc(" + std::to_string(size) + "): the heap span is full");
    return addr;
  }
  void Free(uint64_t addr) override {
    const Block* b = FindBlock(p_.heap, addr);
    if (b == nullptr || b->kind != BlockKind::kHost) {
      Report(p_, "host Free(" + Hex(addr) + "): not a block the host allocated");
      return;
    }
    FreeBlock(p_.heap, addr);
  }
  void Write(uint64_t addr, const void* src, size_t n) override {
    if (HostMayTouch(addr, n, "Write") && !PokeGuest(p_, addr, src, n)) {
      Report(p_, "host Write(" + Hex(addr) + "): unmapped");
    }
  }
  void Read(uint64_t addr, void* dst, size_t n) override {
    if (HostMayTouch(addr, n, "Read") && !PeekGuest(p_, addr, dst, n)) {
      Report(p_, "host Read(" + Hex(addr) + "): unmapped");
    }
  }

  int Call(const char* name, const std::vector<uint64_t>& args) override {
    const char* params = ParamsOf(name);
    if (params != nullptr && std::string(params).size() != args.size()) {
      Report(p_, std::string(name) + " takes " + std::to_string(std::string(params).size()) +
                     " arguments; the case passed " + std::to_string(args.size()));
      return kFaultResult;
    }
    std::vector<GuestArg> guest;
    for (size_t i = 0; i < args.size(); ++i) {
      // A 32-bit host passes the low half of every value.
      const uint64_t v = p_.bits == 32 ? static_cast<uint32_t>(args[i]) : args[i];
      guest.push_back(GuestArg{v, params != nullptr && params[i] == 'i'});
    }
    uint64_t result = 0;
    if (!CallExport(p_, name, guest, &result)) return kFaultResult;
    return static_cast<int>(static_cast<uint32_t>(result));
  }

  uint64_t Callback() override { return p_.callback_stub; }
  std::vector<itest::CallbackEvent>& Events() override { return p_.events; }

  size_t LocalBlockSize(uint64_t handle) override {
    const Block* b = FindBlock(p_.heap, handle);
    if (b == nullptr || b->kind != BlockKind::kLocal) {
      Report(p_, "host LocalSize(" + Hex(handle) + "): no live local block");
      return 0;
    }
    return b->size;
  }
  void LocalBlockFree(uint64_t handle) override {
    const Block* b = FindBlock(p_.heap, handle);
    if (b == nullptr || b->kind != BlockKind::kLocal) {
      Report(p_, "host LocalFree(" + Hex(handle) + "): no live local block");
      return;
    }
    FreeBlock(p_.heap, handle);
  }

  uint64_t OpenForRead(const std::string& leaf, uint32_t offset) override {
    return OpenHostFile(p_, Verbatim(leaf), offset);
  }
  void CloseHandle(uint64_t handle) override { CloseHostFile(p_, handle); }

  std::string PluginPath(const std::string& leaf) override { return scratch_ + "\\" + leaf; }

  void PutFile(const std::string& leaf, const itest::Bytes& bytes) override {
    std::ofstream out(LinuxPath(leaf), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) Report(p_, "host PutFile(" + leaf + ") failed");
  }
  bool LoadFile(const std::string& leaf, itest::Bytes* bytes) override {
    std::ifstream in(LinuxPath(leaf), std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  }
  bool Exists(const std::string& leaf) override {
    struct stat st;
    return stat(LinuxPath(leaf).c_str(), &st) == 0;
  }
  void RemoveFile(const std::string& leaf) override { unlink(LinuxPath(leaf).c_str()); }
  void MakeDir(const std::string& leaf) override { mkdir(LinuxPath(leaf).c_str(), 0755); }

  void ShiftFileTime(const std::string& leaf, int seconds) override {
    const std::string path = LinuxPath(leaf);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      Report(p_, "host ShiftFileTime(" + leaf + "): no such file");
      return;
    }
    timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_sec += seconds;
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  void RewriteKeepingTime(const std::string& leaf, const itest::Bytes& bytes) override {
    const std::string path = LinuxPath(leaf);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      Report(p_, "host RewriteKeepingTime(" + leaf + "): no such file");
      return;
    }
    PutFile(leaf, bytes);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }

  void Reload() override {
    // A failure planned and never met must not fall on the next user.
    emu::ClearFaults(p_.plan);
    UnloadModuleChecked(p_);
    std::string error;
    if (!LoadModule(p_, &error)) {
      fprintf(stderr, "cannot load %s: %s\n", p_.module_path.c_str(), error.c_str());
      exit(2);
    }
  }

  void Unload() { UnloadModuleChecked(p_); }

  bool CanInject() const override { return true; }
  uint32_t CallCount(const char* name) override {
    return static_cast<uint32_t>(CallsSinceReset(p_.plan, name));
  }
  void ResetCounts() override { emu::ResetCounts(p_.plan); }
  void FailCall(const char* name, uint32_t nth) override {
    std::string error;
    if (!PlanFault(p_.plan, name, nth, &error)) Report(p_, error);
  }
  void ClearFaults() override { emu::ClearFaults(p_.plan); }
  int64_t LiveHeapBlocks() override { return CountBlocks(p_.heap, BlockKind::kHeap); }
  int64_t LiveLocalBlocks() override { return CountBlocks(p_.heap, BlockKind::kLocal); }
  int64_t LiveHandles() override { return CountModuleFiles(p_); }

 private:
  // The host reads and writes blocks and the stack; in the heap span, only
  // inside a live block.
  bool HostMayTouch(uint64_t addr, size_t n, const char* what) {
    if (!InSpan(p_.heap, addr) || BlockHolding(p_.heap, addr, n) != nullptr) return true;
    Report(p_, std::string("host ") + what + " of " + std::to_string(n) + " bytes at " + Hex(addr) +
                   ": outside every live block");
    return false;
  }
  std::string Verbatim(const std::string& leaf) { return "\\\\?\\" + PluginPath(leaf); }
  std::string LinuxPath(const std::string& leaf) {
    std::string path;
    if (ResolveWindowsName(Verbatim(leaf), &path) != kErrorSuccess) {
      Report(p_, "host: no Linux path for " + leaf);
    }
    return path;
  }

  Process& p_;
  std::string scratch_;
};

// Empties the scratch directory, refusing anything that looks like more
// than a scratch directory.
bool PrepareScratch(const std::string& dir, std::string* absolute) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path = fs::absolute(dir, ec);
  if (ec || path.relative_path().empty() || std::distance(path.begin(), path.end()) < 3) {
    return false;
  }
  fs::remove_all(path, ec);
  fs::create_directories(path, ec);
  *absolute = path.lexically_normal().string();
  if (!absolute->empty() && absolute->back() == '/') absolute->pop_back();
  return !ec;
}

}  // namespace
}  // namespace emu

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: emu_host_tests PLUGIN SCRATCH_DIR [FILTER]\n");
    return 2;
  }
  emu::Process p;
  std::string error;
  p.module_path = argv[1];
  if (!emu::ReadPeImage(p.module_path, &p.pe, &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  std::string scratch;
  if (!emu::PrepareScratch(argv[2], &scratch)) {
    fprintf(stderr, "cannot use %s as the scratch directory\n", argv[2]);
    return 2;
  }
  if (!emu::StartMachine(p, p.pe.bits, &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  int failed = 0;
  {
    emu::EmuHost host(p, scratch);
    if (!emu::LoadModule(p, &error)) {
      fprintf(stderr, "cannot load %s: %s\n", p.module_path.c_str(), error.c_str());
      return 2;
    }
    failed = itest::RunAll(host, argc > 3 ? argv[3] : "");
    host.Unload();
  }
  if (p.faults != 0) printf("%d emulation fault(s)\n", p.faults);
  emu::StopMachine(p);
  return failed == 0 && p.faults == 0 ? 0 : 1;
}
