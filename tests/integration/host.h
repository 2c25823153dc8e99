// What an integration case needs from a host process that has loaded a
// plug-in DLL: memory in the plug-in's address space, calls into its exports
// by name, the progress callback, the local blocks it hands over, and a
// scratch directory both sides see. The same cases run in a Windows test
// program under Wine (the real loader) and in the emulated host (both
// widths, with fault injection); each provides one implementation of this.
#ifndef GLYPHBOX_TESTS_INTEGRATION_HOST_H
#define GLYPHBOX_TESTS_INTEGRATION_HOST_H

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/fixtures/containers.h"

namespace itest {

using fixtures::Bytes;

struct CallbackEvent {
  int num;
  int denom;
  uint64_t data;
};

class Host {
 public:
  virtual ~Host() {}
  virtual std::string Name() const = 0;
  // Width of the plug-in: 32 or 64. Pointers, handles and `long` parameters
  // have this width; records are 428 or 448 bytes.
  virtual int Bits() const = 0;

  // Memory the plug-in can address. Alloc fills the block with `fill`.
  virtual uint64_t Alloc(size_t size, uint8_t fill = 0xCD) = 0;
  virtual void Free(uint64_t addr) = 0;
  virtual void Write(uint64_t addr, const void* src, size_t n) = 0;
  virtual void Read(uint64_t addr, void* dst, size_t n) = 0;

  // Calls the export `name` with integer arguments, each passed in the
  // export's own width (ints, pointers, handles), and returns its int result.
  virtual int Call(const char* name, const std::vector<uint64_t>& args) = 0;

  // Address of a progress callback (stdcall in 32 bits) that records every
  // call in Events() and returns 0.
  virtual uint64_t Callback() = 0;
  virtual std::vector<CallbackEvent>& Events() = 0;

  // LMEM_FIXED local blocks handed to the host: the handle is the address.
  virtual size_t LocalBlockSize(uint64_t handle) = 0;
  virtual void LocalBlockFree(uint64_t handle) = 0;

  // A handle, as IsSupported takes it, to `leaf` opened for reading and
  // positioned at `offset`; and closing it.
  virtual uint64_t OpenForRead(const std::string& leaf, uint32_t offset) = 0;
  virtual void CloseHandle(uint64_t handle) = 0;

  // The scratch directory. PluginPath gives the name under which the plug-in
  // sees `leaf` (a file or directory in it).
  virtual std::string PluginPath(const std::string& leaf) = 0;
  virtual void PutFile(const std::string& leaf, const Bytes& bytes) = 0;
  virtual bool LoadFile(const std::string& leaf, Bytes* bytes) = 0;
  virtual bool Exists(const std::string& leaf) = 0;
  virtual void RemoveFile(const std::string& leaf) = 0;
  virtual void MakeDir(const std::string& leaf) = 0;
  // Moves the file's last-write time by `seconds`.
  virtual void ShiftFileTime(const std::string& leaf, int seconds) = 0;
  // Rewrites the file's bytes and puts its last-write time back as it was.
  virtual void RewriteKeepingTime(const std::string& leaf, const Bytes& bytes) = 0;

  // Unloads and reloads the plug-in (detach, then attach): an empty cache.
  virtual void Reload() = 0;

  // Counting and fault injection, where the host can do it (the emulated
  // host); the Wine host answers false and cases skip what needs it.
  virtual bool CanInject() const { return false; }
  // Calls of the imported function `name` since the last ResetCounts.
  virtual uint32_t CallCount(const char*) { return 0; }
  virtual void ResetCounts() {}
  // Makes the Nth call (1-based, counted from now) of `name` fail the way
  // Windows fails it.
  virtual void FailCall(const char*, uint32_t) {}
  virtual void ClearFaults() {}
  // Heap blocks, local blocks and handles the plug-in holds right now.
  virtual int64_t LiveHeapBlocks() { return 0; }
  virtual int64_t LiveLocalBlocks() { return 0; }
  virtual int64_t LiveHandles() { return 0; }
};

}  // namespace itest

#endif
