#include "tests/emu/machine.h"

#include <stdio.h>
#include <string.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace emu {
namespace {

constexpr uint64_t kPage = 0x1000;
constexpr uint64_t kStubBytes = 16;
constexpr uint64_t kStubCount = kPage / kStubBytes;
// A run that takes longer than this is looping.
constexpr std::chrono::seconds kRunTimeout(60);
// Values the callee-saved registers get before a call and must have after.
constexpr uint64_t kSavedPoison = 0x5AFE0000C0DE0000ull;
// What volatile registers hold after an import returns: a caller that
// expects them to survive the call reads this instead.
constexpr uint64_t kVolatilePoison = 0xBADC0FFEE0DDF00Dull;
// The upper half of a 64-bit slot that carries a 32-bit argument.
constexpr uint64_t kUpperGarbage = 0xDEADBEEF00000000ull;

// Stops a run that goes on past its deadline. Unicorn's own timeout starts
// a thread per run and wakes it in steps, which costs milliseconds a call;
// this one thread waits for the whole run instead.
struct Watchdog {
  std::mutex lock;
  std::condition_variable changed;
  std::thread thread;
  uc_engine* running = nullptr;  // the engine of the run being watched
  std::chrono::steady_clock::time_point deadline;
  bool fired = false;
  bool quit = false;

  void Watch() {
    std::unique_lock<std::mutex> hold(lock);
    while (!quit) {
      if (running == nullptr) {
        changed.wait(hold);
      } else if (changed.wait_until(hold, deadline) == std::cv_status::timeout &&
                 running != nullptr && std::chrono::steady_clock::now() >= deadline) {
        uc_emu_stop(running);
        fired = true;
        running = nullptr;
      }
    }
  }
  void Start(uc_engine* uc) {
    std::lock_guard<std::mutex> hold(lock);
    if (!thread.joinable()) thread = std::thread([this] { Watch(); });
    running = uc;
    fired = false;
    deadline = std::chrono::steady_clock::now() + kRunTimeout;
    changed.notify_one();
  }
  bool Finish() {
    std::lock_guard<std::mutex> hold(lock);
    running = nullptr;
    changed.notify_one();
    return fired;
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> hold(lock);
      quit = true;
      changed.notify_one();
    }
    if (thread.joinable()) thread.join();
    quit = false;
  }
};

Watchdog& TheWatchdog() {
  static Watchdog watchdog;
  return watchdog;
}

Layout LayoutFor(int bits) {
  Layout l;
  if (bits == 32) {
    l.stubs = 0x00050000;
    l.stack = 0x00100000;
    l.stack_size = 0x00100000;
    l.image = 0x10000000;
    l.heap = 0x20000000;
    l.heap_span = 0x30000000;
  } else {
    // Everything above 4 GB, so that a pointer cut to 32 bits points nowhere.
    l.stubs = 0x00007FF600000000ull;
    l.stack = 0x000000E000000000ull;
    l.stack_size = 0x00100000;
    l.image = 0x00007FFA10000000ull;
    l.heap = 0x0000020000000000ull;
    l.heap_span = 0x40000000;
  }
  return l;
}

int SpReg(const Process& p) { return p.bits == 32 ? UC_X86_REG_ESP : UC_X86_REG_RSP; }
int PcReg(const Process& p) { return p.bits == 32 ? UC_X86_REG_EIP : UC_X86_REG_RIP; }
int AxReg(const Process& p) { return p.bits == 32 ? UC_X86_REG_EAX : UC_X86_REG_RAX; }

uint64_t ReadReg(Process& p, int reg) {
  if (p.bits == 32) {
    uint32_t v = 0;
    uc_reg_read(p.uc, reg, &v);
    return v;
  }
  uint64_t v = 0;
  uc_reg_read(p.uc, reg, &v);
  return v;
}

void WriteReg(Process& p, int reg, uint64_t value) {
  if (p.bits == 32) {
    uint32_t v = static_cast<uint32_t>(value);
    uc_reg_write(p.uc, reg, &v);
  } else {
    uc_reg_write(p.uc, reg, &value);
  }
}

uint64_t Pc(Process& p) { return ReadReg(p, PcReg(p)); }

std::string AtPc(Process& p) { return " (pc " + DescribeAddress(p, Pc(p)) + ")"; }

bool InStack(const Process& p, uint64_t addr, uint64_t n) {
  const Layout& l = p.layout;
  return addr >= l.stack && n <= l.stack_size && addr - l.stack <= l.stack_size - n;
}

// The section holding [addr, addr + n), if the range lies in one.
const PeSection* SectionHolding(const Process& p, uint64_t addr, uint64_t n) {
  if (!p.loaded || addr < p.layout.image) return nullptr;
  const uint64_t rva = addr - p.layout.image;
  for (const PeSection& s : p.pe.sections) {
    const uint64_t size = (s.size + kPage - 1) / kPage * kPage;
    if (rva >= s.rva && n <= size && rva - s.rva <= size - n) return &s;
  }
  return nullptr;
}

std::string Count(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

std::string DescribeMiss(Process& p, uint64_t addr, uint64_t n) {
  const Block* b = BlockBelow(p.heap, addr);
  std::string text = Count(n) + " at " + Hex(addr);
  if (b != nullptr && addr >= b->addr && addr - b->addr < b->size + 64) {
    text += ", ending " + Count(addr + n - b->addr - b->size) + " past the end of " +
            DescribeAddress(p, b->addr);
  } else {
    text += ", in no live block (freed, never allocated, or before a block)";
  }
  return text;
}

}  // namespace

bool CheckGuest(Process& p, uint64_t addr, uint64_t n, bool write, const std::string& what) {
  if (n == 0) return true;
  if (addr + n < addr) {
    Fail(p, what + ": range at " + Hex(addr) + " of " + std::to_string(n) + " bytes wraps");
    return false;
  }
  if (InSpan(p.heap, addr)) {
    if (BlockHolding(p.heap, addr, n) != nullptr) return true;
    Fail(p, what + ": " + DescribeMiss(p, addr, n));
    return false;
  }
  if (InStack(p, addr, n)) return true;
  if (const PeSection* s = SectionHolding(p, addr, n)) {
    if (!write || s->writable) return true;
    Fail(p, what + ": write to read-only section " + s->name + " at " + DescribeAddress(p, addr));
    return false;
  }
  Fail(p, what + ": " + Count(n) + " at " + Hex(addr) + " are not memory the plug-in owns");
  return false;
}

namespace {

// --- hooks -------------------------------------------------------------

void OnStub(uc_engine*, uint64_t addr, uint32_t, void* user) {
  Process& p = *static_cast<Process*>(user);
  const uint64_t slot = (addr - p.layout.stubs) / kStubBytes;
  const Stub& stub = p.stubs[slot];
  if (stub.kind == StubKind::kReturn || stub.kind == StubKind::kFree) {
    if (stub.kind == StubKind::kFree) Fail(p, "jump into the stub page at " + Hex(addr));
    return;
  }
  if (stub.kind == StubKind::kMissing) {
    Fail(p, "call of " + stub.name + ", which the emulated host does not implement");
    return;
  }
  const uint64_t sp = ReadReg(p, SpReg(p));
  if (p.bits == 64 && sp % 16 != 8) {
    Fail(p, stub.name + " called with a misaligned stack (rsp " + Hex(sp) + ")");
    return;
  }
  uint64_t result = 0;
  if (stub.kind == StubKind::kCallback) {
    const int num = static_cast<int>(Arg32(p, 0));
    const int denom = static_cast<int>(Arg32(p, 1));
    const uint64_t data = p.bits == 32 ? Arg32(p, 2) : Arg(p, 2);
    p.events.push_back(itest::CallbackEvent{num, denom, data});
  } else {
    p.fault_mode = CountCall(p.plan, stub.entry->name);
    result = stub.entry->run(p);
    p.fault_mode.clear();
  }
  WriteReg(p, AxReg(p), result);
  // Volatile registers do not survive a call.
  if (p.bits == 32) {
    WriteReg(p, UC_X86_REG_ECX, kVolatilePoison);
    WriteReg(p, UC_X86_REG_EDX, kVolatilePoison);
  } else {
    for (int reg : {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8, UC_X86_REG_R9, UC_X86_REG_R10,
                    UC_X86_REG_R11}) {
      WriteReg(p, reg, kVolatilePoison);
    }
  }
}

void OnHeapAccess(uc_engine*, uc_mem_type type, uint64_t addr, int size, int64_t, void* user) {
  Process& p = *static_cast<Process*>(user);
  if (BlockHolding(p.heap, addr, static_cast<uint64_t>(size)) != nullptr) return;
  Fail(p, std::string(type == UC_MEM_WRITE ? "write of " : "read of ") +
              DescribeMiss(p, addr, static_cast<uint64_t>(size)) + AtPc(p));
}

bool OnBadAccess(uc_engine*, uc_mem_type type, uint64_t addr, int size, int64_t, void* user) {
  Process& p = *static_cast<Process*>(user);
  const char* what = "access";
  switch (type) {
    case UC_MEM_READ_UNMAPPED:
      what = "read of unmapped memory";
      break;
    case UC_MEM_WRITE_UNMAPPED:
      what = "write to unmapped memory";
      break;
    case UC_MEM_FETCH_UNMAPPED:
      what = "jump to unmapped memory";
      break;
    case UC_MEM_WRITE_PROT:
      what = "write to read-only memory";
      break;
    case UC_MEM_READ_PROT:
      what = "read of unreadable memory";
      break;
    case UC_MEM_FETCH_PROT:
      what = "jump to non-executable memory";
      break;
    default:
      break;
  }
  Fail(p, std::string(what) + ": " + Count(static_cast<uint64_t>(size)) + " at " +
              DescribeAddress(p, addr) + AtPc(p));
  return false;
}

void OnInterrupt(uc_engine*, uint32_t number, void* user) {
  Process& p = *static_cast<Process*>(user);
  Fail(p, "processor exception " + std::to_string(number) + AtPc(p));
}

bool OnInvalidInstruction(uc_engine*, void* user) {
  Process& p = *static_cast<Process*>(user);
  Fail(p, "invalid instruction" + AtPc(p));
  return false;
}

std::vector<int> SavedRegisters(int bits) {
  if (bits == 32) return {UC_X86_REG_EBX, UC_X86_REG_EBP, UC_X86_REG_ESI, UC_X86_REG_EDI};
  return {UC_X86_REG_RBX, UC_X86_REG_RBP, UC_X86_REG_RSI, UC_X86_REG_RDI,
          UC_X86_REG_R12, UC_X86_REG_R13, UC_X86_REG_R14, UC_X86_REG_R15};
}

bool WriteStackWord(Process& p, uint64_t addr, uint64_t value) {
  uint8_t raw[8];
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<uint8_t>(value >> (8 * i));
  return uc_mem_write(p.uc, addr, raw, p.bits / 8) == UC_ERR_OK;
}

std::string Join(const std::vector<GuestArg>& args) {
  std::string s;
  for (const GuestArg& a : args) s += (s.empty() ? "" : ", ") + Hex(a.value);
  return s;
}

}  // namespace

std::string Hex(uint64_t v) {
  char text[24];
  snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
  return text;
}

bool StartMachine(Process& p, int bits, std::string* error) {
  p.bits = bits;
  p.layout = LayoutFor(bits);
  const Layout& l = p.layout;
  uc_err err = uc_open(UC_ARCH_X86, bits == 32 ? UC_MODE_32 : UC_MODE_64, &p.uc);
  if (err != UC_ERR_OK) {
    *error = std::string("uc_open: ") + uc_strerror(err);
    return false;
  }
  if (!CreateHeap(&p.heap, l.heap, l.heap_span)) {
    *error = "cannot reserve the heap span";
    return false;
  }
  const uc_err errs[] = {
      uc_mem_map(p.uc, l.stubs, kPage, UC_PROT_READ | UC_PROT_EXEC),
      uc_mem_map(p.uc, l.stack, l.stack_size, UC_PROT_READ | UC_PROT_WRITE),
      uc_mem_map_ptr(p.uc, l.heap, l.heap_span, UC_PROT_READ | UC_PROT_WRITE, p.heap.memory),
  };
  for (uc_err e : errs) {
    if (e != UC_ERR_OK) {
      *error = std::string("uc_mem_map: ") + uc_strerror(e);
      return false;
    }
  }
  uc_hook h;
  uc_hook_add(p.uc, &h, UC_HOOK_CODE, reinterpret_cast<void*>(OnStub), &p, l.stubs,
              l.stubs + kPage - 1);
  uc_hook_add(p.uc, &h, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(OnHeapAccess),
              &p, l.heap, l.heap + l.heap_span - 1);
  uc_hook_add(p.uc, &h, UC_HOOK_MEM_UNMAPPED | UC_HOOK_MEM_PROT,
              reinterpret_cast<void*>(OnBadAccess), &p, 1, 0);
  uc_hook_add(p.uc, &h, UC_HOOK_INTR, reinterpret_cast<void*>(OnInterrupt), &p, 1, 0);
  uc_hook_add(p.uc, &h, UC_HOOK_INSN_INVALID, reinterpret_cast<void*>(OnInvalidInstruction), &p, 1,
              0);
  ResetStubs(p);
  return true;
}

void StopMachine(Process& p) {
  TheWatchdog().Stop();
  if (p.uc != nullptr) uc_close(p.uc);
  p.uc = nullptr;
  DestroyHeap(&p.heap);
}

void ResetStubs(Process& p) {
  p.stubs.assign(kStubCount, Stub());
  // int3 everywhere: nothing in the page runs but the stubs' returns.
  std::vector<uint8_t> traps(kPage, 0xCC);
  uc_mem_write(p.uc, p.layout.stubs, traps.data(), kPage);
  p.stubs[0].kind = StubKind::kReturn;
  p.stubs[0].name = "return to host";
  p.return_stub = p.layout.stubs;
  // The progress callback takes (int, int, long) and, in 32 bits, pops them.
  p.stubs[1].kind = StubKind::kCallback;
  p.stubs[1].name = "progress callback";
  p.callback_stub = p.layout.stubs + kStubBytes;
  const uint8_t ret12[] = {0xC2, 12, 0};
  const uint8_t ret[] = {0xC3};
  if (p.bits == 32) {
    uc_mem_write(p.uc, p.callback_stub, ret12, sizeof ret12);
  } else {
    uc_mem_write(p.uc, p.callback_stub, ret, sizeof ret);
  }
}

uint64_t AddImportStub(Process& p, const std::string& name, const ImportEntry* entry) {
  uint64_t slot = 0;
  while (slot < kStubCount && p.stubs[slot].kind != StubKind::kFree) ++slot;
  if (slot == kStubCount) return 0;
  p.stubs[slot].kind = entry != nullptr ? StubKind::kImport : StubKind::kMissing;
  p.stubs[slot].entry = entry;
  p.stubs[slot].name = name;
  const uint64_t addr = p.layout.stubs + slot * kStubBytes;
  // The host does the work in the code hook; the stub's own instruction is
  // the return, popping the arguments for stdcall.
  const int pop = (p.bits == 32 && entry != nullptr && entry->args > 0) ? 4 * entry->args : 0;
  const uint8_t ret_n[] = {0xC2, static_cast<uint8_t>(pop), static_cast<uint8_t>(pop >> 8)};
  const uint8_t ret[] = {0xC3};
  if (pop != 0) {
    uc_mem_write(p.uc, addr, ret_n, sizeof ret_n);
  } else {
    uc_mem_write(p.uc, addr, ret, sizeof ret);
  }
  return addr;
}

void Fail(Process& p, const std::string& what) {
  if (p.fault.empty()) p.fault = what;
  uc_emu_stop(p.uc);
}

void Report(Process& p, const std::string& what) {
  ++p.faults;
  printf("EMU FAULT [%d bits]: %s\n", p.bits, what.c_str());
  fflush(stdout);
}

uint64_t Arg(Process& p, int i) {
  const uint64_t sp = ReadReg(p, SpReg(p));
  if (p.bits == 32) {
    uint32_t v = 0;
    uc_mem_read(p.uc, sp + 4 + 4 * static_cast<uint64_t>(i), &v, 4);
    return v;
  }
  static const int kRegs[] = {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8, UC_X86_REG_R9};
  if (i < 4) return ReadReg(p, kRegs[i]);
  // Above the return address: 32 bytes of shadow space for the first four.
  uint64_t v = 0;
  uc_mem_read(p.uc, sp + 8 + 8 * static_cast<uint64_t>(i), &v, 8);
  return v;
}

uint32_t Arg32(Process& p, int i) { return static_cast<uint32_t>(Arg(p, i)); }

bool ReadGuest(Process& p, uint64_t addr, void* dst, uint64_t n, const std::string& what) {
  if (!CheckGuest(p, addr, n, false, what)) return false;
  return n == 0 || PeekGuest(p, addr, dst, n);
}

bool WriteGuest(Process& p, uint64_t addr, const void* src, uint64_t n, const std::string& what) {
  if (!CheckGuest(p, addr, n, true, what)) return false;
  return n == 0 || PokeGuest(p, addr, src, n);
}

bool ReadGuestText(Process& p, uint64_t addr, std::string* text, const std::string& what) {
  text->clear();
  for (;;) {
    char c = 0;
    if (!ReadGuest(p, addr + text->size(), &c, 1, what + " (text not terminated in its block?)")) {
      return false;
    }
    if (c == 0) return true;
    text->push_back(c);
  }
}

bool WriteGuestWord(Process& p, uint64_t addr, uint64_t value, const std::string& what) {
  uint8_t raw[8];
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<uint8_t>(value >> (8 * i));
  return WriteGuest(p, addr, raw, p.bits / 8, what);
}

bool WriteGuestU32(Process& p, uint64_t addr, uint32_t value, const std::string& what) {
  uint8_t raw[4];
  for (int i = 0; i < 4; ++i) raw[i] = static_cast<uint8_t>(value >> (8 * i));
  return WriteGuest(p, addr, raw, 4, what);
}

bool PeekGuest(Process& p, uint64_t addr, void* dst, uint64_t n) {
  if (InSpan(p.heap, addr) && p.heap.span - (addr - p.heap.base) >= n) {
    memcpy(dst, HostAddress(p.heap, addr), n);
    return true;
  }
  return uc_mem_read(p.uc, addr, dst, n) == UC_ERR_OK;
}

bool PokeGuest(Process& p, uint64_t addr, const void* src, uint64_t n) {
  if (InSpan(p.heap, addr) && p.heap.span - (addr - p.heap.base) >= n) {
    memcpy(HostAddress(p.heap, addr), src, n);
    return true;
  }
  return uc_mem_write(p.uc, addr, src, n) == UC_ERR_OK;
}

bool CallGuest(Process& p, uint64_t fn, const std::vector<GuestArg>& args, const std::string& what,
               uint64_t* result) {
  p.fault.clear();
  p.running = what + "(" + Join(args) + ")";
  const uint64_t top = (p.layout.stack + p.layout.stack_size - 0x100) & ~0xFull;
  uint64_t sp = top;
  uint64_t sp_after = top;  // where the stack pointer must be after the return
  if (p.bits == 32) {
    sp -= 4 * args.size();
    for (size_t i = 0; i < args.size(); ++i) WriteStackWord(p, sp + 4 * i, args[i].value);
    // stdcall: the callee pops its arguments, so the caller finds the stack
    // as it was before it pushed them.
    sp_after = top;
  } else {
    const size_t stacked = args.size() > 4 ? args.size() - 4 : 0;
    sp -= (32 + 8 * stacked + 15) & ~size_t{15};  // shadow space and stack arguments, 16-aligned
    static const int kRegs[] = {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8, UC_X86_REG_R9};
    for (size_t i = 0; i < args.size(); ++i) {
      const uint64_t v =
          args[i].int32 ? (args[i].value & 0xFFFFFFFFu) | kUpperGarbage : args[i].value;
      if (i < 4) {
        WriteReg(p, kRegs[i], v);
      } else {
        WriteStackWord(p, sp + 32 + 8 * (i - 4), v);
      }
    }
    // Win64: the caller owns the argument area and pops nothing back.
    sp_after = sp;
    for (size_t i = 0; i < 10; ++i) {
      uint64_t xmm[2] = {kSavedPoison + i, ~(kSavedPoison + i)};
      uc_reg_write(p.uc, UC_X86_REG_XMM6 + static_cast<int>(i), xmm);
    }
  }
  sp -= p.bits / 8;
  WriteStackWord(p, sp, p.return_stub);
  WriteReg(p, SpReg(p), sp);
  const std::vector<int> saved = SavedRegisters(p.bits);
  for (size_t i = 0; i < saved.size(); ++i) WriteReg(p, saved[i], kSavedPoison + i);
  WriteReg(p, AxReg(p), kVolatilePoison);
  WriteReg(p, UC_X86_REG_EFLAGS, 0x202);  // interrupts on, direction flag clear

  TheWatchdog().Start(p.uc);
  const uc_err err = uc_emu_start(p.uc, fn, p.return_stub, 0, 0);
  const bool timed_out = TheWatchdog().Finish();
  const uint64_t pc = Pc(p);
  if (p.fault.empty() && err != UC_ERR_OK) p.fault = std::string(uc_strerror(err)) + AtPc(p);
  if (p.fault.empty() && (timed_out || pc != p.return_stub)) {
    p.fault = "did not return within " + std::to_string(kRunTimeout.count()) + " s" + AtPc(p);
  }
  if (p.fault.empty()) {
    const uint64_t sp_now = ReadReg(p, SpReg(p));
    if (sp_now != sp_after) {
      p.fault = "returned with the stack pointer off by " +
                std::to_string(static_cast<int64_t>(sp_now - sp_after)) +
                (p.bits == 32 ? " bytes (stdcall: the callee pops exactly its " +
                                    std::to_string(4 * args.size()) + " bytes of arguments)"
                              : " bytes");
    }
  }
  for (size_t i = 0; i < saved.size() && p.fault.empty(); ++i) {
    if (ReadReg(p, saved[i]) != ((kSavedPoison + i) & (p.bits == 32 ? 0xFFFFFFFFull : ~0ull))) {
      p.fault = "a callee-saved register was not restored";
    }
  }
  for (size_t i = 0; p.bits == 64 && i < 10 && p.fault.empty(); ++i) {
    uint64_t xmm[2] = {0, 0};
    uc_reg_read(p.uc, UC_X86_REG_XMM6 + static_cast<int>(i), xmm);
    if (xmm[0] != kSavedPoison + i || xmm[1] != ~(kSavedPoison + i)) {
      p.fault = "xmm" + std::to_string(6 + i) + " (callee-saved) was not restored";
    }
  }
  if (p.fault.empty() && (ReadReg(p, UC_X86_REG_EFLAGS) & 0x400) != 0) {
    p.fault = "returned with the direction flag set";
  }
  if (!p.fault.empty()) {
    Report(p, "in " + p.running + ": " + p.fault);
    p.broken = true;
    return false;
  }
  *result = ReadReg(p, AxReg(p));
  return true;
}

std::string DescribeAddress(Process& p, uint64_t addr) {
  const Layout& l = p.layout;
  if (p.loaded && addr >= l.image && addr - l.image < p.pe.image_size) {
    const size_t slash = p.module_path.find_last_of('/');
    return p.module_path.substr(slash == std::string::npos ? 0 : slash + 1) + "+" +
           Hex(addr - l.image);
  }
  if (InSpan(p.heap, addr)) {
    const Block* b = BlockBelow(p.heap, addr);
    if (b != nullptr && addr - b->addr <= b->size) {
      std::string text = std::string(KindName(b->kind)) + " block " + Hex(b->addr) + " (" +
                         std::to_string(b->size) + " bytes, from " + b->origin + ")";
      if (addr != b->addr) text = Hex(addr) + " in " + text;
      return text;
    }
    return Hex(addr) + " (heap span, no block)";
  }
  if (addr >= l.stack && addr - l.stack < l.stack_size) return Hex(addr) + " (stack)";
  if (addr >= l.stubs && addr - l.stubs < kPage) {
    return Hex(addr) + " (" + p.stubs[(addr - l.stubs) / kStubBytes].name + ")";
  }
  return Hex(addr);
}

}  // namespace emu
