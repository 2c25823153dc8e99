// One emulated Windows process of either width: the Unicorn CPU and its
// memory, the loaded plug-in module, the imports it is bound to, the open
// files, the last-error value, the call counts and planned failures, and the
// progress callback's record. Everything the emulated host knows lives here;
// the functions that work on it are declared in machine.h, loader.h and
// imports.h.
#ifndef GLYPHBOX_TESTS_EMU_PROCESS_H
#define GLYPHBOX_TESTS_EMU_PROCESS_H

#include <stdint.h>
#include <unicorn/unicorn.h>

#include <map>
#include <string>
#include <vector>

#include "tests/emu/fault_plan.h"
#include "tests/emu/guest_heap.h"
#include "tests/emu/pe_image.h"
#include "tests/integration/host.h"

namespace emu {

struct Process;
// An import's implementation: reads its arguments with Arg(), returns the
// value for EAX/RAX.
using ImportFunction = uint64_t (*)(Process& p);

struct ImportEntry {
  const char* dll;
  const char* name;
  int args;  // stdcall: arguments the callee pops (32 bits); -1 for cdecl varargs
  ImportFunction run;
};

// Guest addresses of the process's fixed regions.
struct Layout {
  uint64_t stubs;  // one page of tiny code stubs: imports, the callback, the return sentinel
  uint64_t stack;  // lowest address of the stack
  uint64_t stack_size;
  uint64_t image;  // where the module is loaded: never its preferred base
  uint64_t heap;
  uint64_t heap_span;
};

enum class StubKind { kFree, kReturn, kCallback, kImport, kMissing };

struct Stub {
  StubKind kind = StubKind::kFree;
  const ImportEntry* entry = nullptr;
  std::string name;  // "DLL!Function" for imports and missing imports
};

struct OpenFile {
  int fd = -1;
  bool can_read = false;
  bool can_write = false;
  bool host_owned = false;  // opened by the host (IsSupported's handle), not the plug-in
  std::string path;
};

struct Process {
  uc_engine* uc = nullptr;
  int bits = 0;
  Layout layout{};
  GuestHeap heap;

  // The module.
  std::string module_path;
  PeImage pe;
  bool loaded = false;
  std::map<std::string, uint64_t> exports;  // name -> guest address
  std::vector<Stub> stubs;
  uint64_t return_stub = 0;
  uint64_t callback_stub = 0;

  // Kernel state.
  std::map<uint32_t, OpenFile> files;
  uint32_t next_handle = 0;
  uint32_t last_error = 0;
  FaultPlan plan;
  std::string fault_mode;  // how the import now running is to fail ("" for not)
  std::vector<itest::CallbackEvent> events;

  // Diagnostics. A fault is a loud failure: the plug-in did something a
  // Windows process would crash on or that breaks the interface contract.
  std::string running;  // the export now running, with its arguments
  std::string fault;    // the first fault of the current run
  int faults = 0;       // reported so far
  bool broken = false;  // a run ended in a fault: the module's state is suspect
};

}  // namespace emu

#endif
