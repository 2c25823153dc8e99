// The CPU side of the emulated process: the Unicorn engine and its fixed
// regions, the hooks that turn every bad access into a loud failure, the
// stubs through which the guest calls the host, the calling conventions
// (stdcall in 32 bits, the Win64 convention in 64 bits) in both directions,
// and checked access to guest memory for the import implementations.
#ifndef GLYPHBOX_TESTS_EMU_MACHINE_H
#define GLYPHBOX_TESTS_EMU_MACHINE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/emu/process.h"

namespace emu {

// Creates the engine for a process of `bits` (32 or 64) and maps the stub
// page, the stack and the heap span.
bool StartMachine(Process& p, int bits, std::string* error);
void StopMachine(Process& p);

// Clears the stub page and sets up the return sentinel and the callback.
void ResetStubs(Process& p);
// A stub for an import (entry set) or an unbound import (entry null); returns
// its guest address.
uint64_t AddImportStub(Process& p, const std::string& name, const ImportEntry* entry);

// A loud failure found while guest code runs: the first one is kept and the
// run stops; CallGuest reports it.
void Fail(Process& p, const std::string& what);
// A loud failure found outside a run (a case misusing the host, a leak found
// at unload): printed at once and counted.
void Report(Process& p, const std::string& what);

// Argument i (from 0) of the import or callback now being called, as its
// caller passed it: the raw stack slot or register (the full register in
// 64 bits), or its low 32 bits.
uint64_t Arg(Process& p, int i);
uint32_t Arg32(Process& p, int i);

// Guest memory as a Windows process would let the plug-in's own code reach
// it: inside one live block, the stack, or the module's sections (writable
// ones for writes). Anything else is a fault naming `what`.
bool CheckGuest(Process& p, uint64_t addr, uint64_t n, bool write, const std::string& what);
bool ReadGuest(Process& p, uint64_t addr, void* dst, uint64_t n, const std::string& what);
bool WriteGuest(Process& p, uint64_t addr, const void* src, uint64_t n, const std::string& what);
bool ReadGuestText(Process& p, uint64_t addr, std::string* text, const std::string& what);
// A pointer-sized value (4 or 8 bytes).
bool WriteGuestWord(Process& p, uint64_t addr, uint64_t value, const std::string& what);
bool WriteGuestU32(Process& p, uint64_t addr, uint32_t value, const std::string& what);

// Host-side access for the cases: any mapped guest memory, no checks.
bool PeekGuest(Process& p, uint64_t addr, void* dst, uint64_t n);
bool PokeGuest(Process& p, uint64_t addr, const void* src, uint64_t n);

// One argument of a call into the guest. An int32 argument is passed with
// garbage in the upper half of its 64-bit slot, as Win64 allows.
struct GuestArg {
  uint64_t value;
  bool int32;
};

// Calls the guest function at `fn` with the module's calling convention and
// runs it to completion. Checks that it returns to its caller with the stack
// as the convention demands and the callee-saved registers intact. False
// when anything went wrong; the fault is then reported, naming `what`.
bool CallGuest(Process& p, uint64_t fn, const std::vector<GuestArg>& args, const std::string& what,
               uint64_t* result);

// "glyphbox.spi+0x1a2b", "heap block 0x... (1712 bytes, ...)", "stack", ...
std::string DescribeAddress(Process& p, uint64_t addr);
std::string Hex(uint64_t v);

}  // namespace emu

#endif
