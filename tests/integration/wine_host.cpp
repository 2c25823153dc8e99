// The integration cases in a real Windows process: this program loads the
// plug-in DLL with LoadLibrary and calls its exports by name through
// GetProcAddress, exactly as a viewer does. It runs under Wine here.
//
//   host_tests.exe PLUGIN SCRATCH_DIR [FILTER]
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "tests/integration/check.h"

namespace {

// Unix paths from CTest reach the program as they are; Wine maps the root
// of the Unix file system to drive Z:.
std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string out = "Z:" + path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

// Empties a directory tree left by an earlier run, so that every run starts
// from an empty scratch directory.
void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

std::vector<itest::CallbackEvent> g_events;

int WINAPI RecordProgress(int num, int denom, intptr_t data) {
  g_events.push_back(itest::CallbackEvent{num, denom, static_cast<uint64_t>(data)});
  return 0;
}

class WineHost : public itest::Host {
 public:
  WineHost(const std::string& plugin, const std::string& scratch)
      : plugin_(plugin), scratch_(scratch) {
    RemoveTree(scratch_);
    CreateDirectoryA(scratch_.c_str(), nullptr);
    module_ = LoadLibraryA(plugin_.c_str());
    if (module_ == nullptr) {
      fprintf(stderr, "cannot load %s (error %lu)\n", plugin_.c_str(), GetLastError());
      ExitProcess(2);
    }
  }
  ~WineHost() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  std::string Name() const override { return "wine64 " + plugin_; }
  int Bits() const override { return static_cast<int>(sizeof(void*) * 8); }

  uint64_t Alloc(size_t size, uint8_t fill) override {
    void* p = HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
    memset(p, fill, size);
    return reinterpret_cast<uintptr_t>(p);
  }
  void Free(uint64_t addr) override { HeapFree(GetProcessHeap(), 0, reinterpret_cast<void*>(addr)); }
  void Write(uint64_t addr, const void* src, size_t n) override {
    memcpy(reinterpret_cast<void*>(addr), src, n);
  }
  void Read(uint64_t addr, void* dst, size_t n) override {
    memcpy(dst, reinterpret_cast<const void*>(addr), n);
  }

  int Call(const char* name, const std::vector<uint64_t>& args) override {
    // Win64 passes every integer argument in a 64-bit slot and the caller
    // cleans the stack, so one six-argument shape calls each export.
    typedef intptr_t(WINAPI * Export6)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);
    FARPROC proc = GetProcAddress(module_, name);
    if (proc == nullptr) {
      fprintf(stderr, "export %s not found\n", name);
      ExitProcess(2);
    }
    intptr_t a[6] = {0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < args.size() && i < 6; ++i) a[i] = static_cast<intptr_t>(args[i]);
    const intptr_t r = reinterpret_cast<Export6>(reinterpret_cast<void*>(proc))(a[0], a[1], a[2], a[3], a[4], a[5]);
    return static_cast<int>(r);
  }

  uint64_t Callback() override { return reinterpret_cast<uintptr_t>(&RecordProgress); }
  std::vector<itest::CallbackEvent>& Events() override { return g_events; }

  size_t LocalBlockSize(uint64_t handle) override {
    return LocalSize(reinterpret_cast<HLOCAL>(handle));
  }
  void LocalBlockFree(uint64_t handle) override { LocalFree(reinterpret_cast<HLOCAL>(handle)); }

  uint64_t OpenForRead(const std::string& leaf, uint32_t offset) override {
    HANDLE h = CreateFileA(PluginPath(leaf).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetFilePointer(h, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    return reinterpret_cast<uintptr_t>(h);
  }
  void CloseHandle(uint64_t handle) override { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

  std::string PluginPath(const std::string& leaf) override { return scratch_ + "\\" + leaf; }

  void PutFile(const std::string& leaf, const itest::Bytes& bytes) override {
    HANDLE h = CreateFileA(PluginPath(leaf).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
  }

  bool LoadFile(const std::string& leaf, itest::Bytes* bytes) override {
    HANDLE h = CreateFileA(PluginPath(leaf).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes->assign(GetFileSize(h, nullptr), 0);
    DWORD read = 0;
    if (!bytes->empty()) ReadFile(h, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr);
    ::CloseHandle(h);
    return read == bytes->size();
  }

  bool Exists(const std::string& leaf) override {
    return GetFileAttributesA(PluginPath(leaf).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  void RemoveFile(const std::string& leaf) override { DeleteFileA(PluginPath(leaf).c_str()); }
  void MakeDir(const std::string& leaf) override { CreateDirectoryA(PluginPath(leaf).c_str(), nullptr); }

  void ShiftFileTime(const std::string& leaf, int seconds) override {
    HANDLE h = CreateFileA(PluginPath(leaf).c_str(), FILE_WRITE_ATTRIBUTES | GENERIC_READ,
                           FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME t;
    GetFileTime(h, nullptr, nullptr, &t);
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    v.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(seconds) * 10000000LL);
    t.dwLowDateTime = v.LowPart;
    t.dwHighDateTime = v.HighPart;
    SetFileTime(h, nullptr, nullptr, &t);
    ::CloseHandle(h);
  }

  void RewriteKeepingTime(const std::string& leaf, const itest::Bytes& bytes) override {
    WIN32_FILE_ATTRIBUTE_DATA before;
    GetFileAttributesExA(PluginPath(leaf).c_str(), GetFileExInfoStandard, &before);
    PutFile(leaf, bytes);
    HANDLE h = CreateFileA(PluginPath(leaf).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetFileTime(h, nullptr, nullptr, &before.ftLastWriteTime);
    ::CloseHandle(h);
  }

  void Reload() override {
    FreeLibrary(module_);
    module_ = LoadLibraryA(plugin_.c_str());
    if (module_ == nullptr) {
      fprintf(stderr, "cannot reload %s\n", plugin_.c_str());
      ExitProcess(2);
    }
  }

 private:
  std::string plugin_;
  std::string scratch_;
  HMODULE module_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: host_tests PLUGIN SCRATCH_DIR [FILTER]\n");
    return 2;
  }
  WineHost host(WindowsPath(argv[1]), WindowsPath(argv[2]));
  const int failed = itest::RunAll(host, argc > 3 ? argv[3] : "");
  return failed == 0 ? 0 : 1;
}
