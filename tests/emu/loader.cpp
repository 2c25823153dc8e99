#include "tests/emu/loader.h"

#include <stdio.h>

#include <set>

#include "tests/emu/imports.h"
#include "tests/emu/machine.h"

namespace emu {
namespace {

constexpr uint64_t kPage = 0x1000;
constexpr uint64_t kDllProcessDetach = 0;
constexpr uint64_t kDllProcessAttach = 1;

uint64_t RoundUp(uint64_t v) { return (v + kPage - 1) / kPage * kPage; }

bool MapImage(Process& p, const std::vector<uint8_t>& mapped, std::string* error) {
  const uint64_t base = p.layout.image;
  const uint64_t size = RoundUp(p.pe.image_size);
  if (uc_mem_map(p.uc, base, size, UC_PROT_READ | UC_PROT_WRITE) != UC_ERR_OK ||
      uc_mem_write(p.uc, base, mapped.data(), mapped.size()) != UC_ERR_OK) {
    *error = "cannot map the image";
    return false;
  }
  // Headers and gaps read-only; each section as its flags say.
  uc_mem_protect(p.uc, base, size, UC_PROT_READ);
  for (const PeSection& s : p.pe.sections) {
    uint32_t perms = s.readable ? UC_PROT_READ : UC_PROT_NONE;
    if (s.writable) perms |= UC_PROT_WRITE;
    if (s.executable) perms |= UC_PROT_EXEC;
    if (s.size != 0 && uc_mem_protect(p.uc, base + s.rva, RoundUp(s.size), perms) != UC_ERR_OK) {
      *error = "cannot protect section " + s.name;
      return false;
    }
  }
  return true;
}

bool BindImports(Process& p, std::string* error) {
  static std::set<std::string> warned;
  ResetStubs(p);
  for (const PeImport& imp : p.pe.imports) {
    const ImportEntry* entry = FindImport(imp.dll, imp.name);
    const std::string name = imp.dll + "!" + imp.name;
    if (entry == nullptr && warned.insert(name).second) {
      printf("emulated host: %s is not implemented; a call to it is a fault\n", name.c_str());
    }
    const uint64_t stub = AddImportStub(p, name, entry);
    if (stub == 0) {
      *error = "too many imports for the stub page";
      return false;
    }
    uint8_t raw[8];
    for (int i = 0; i < 8; ++i) raw[i] = static_cast<uint8_t>(stub >> (8 * i));
    // The host writes past the section's protection, as the loader does.
    uc_mem_write(p.uc, p.layout.image + imp.slot_rva, raw, p.bits / 8);
  }
  return true;
}

}  // namespace

bool LoadModule(Process& p, std::string* error) {
  if (p.pe.section_alignment < kPage) {
    *error = "section alignment below a page: sections cannot be protected one by one";
    return false;
  }
  if (p.layout.image == p.pe.preferred_base) {
    *error = "the image would load at its preferred base and skip relocation";
    return false;
  }
  std::vector<uint8_t> mapped;
  if (!LayOutImage(p.pe, p.layout.image, &mapped, error)) return false;
  if (!MapImage(p, mapped, error)) return false;
  if (!BindImports(p, error)) return false;
  p.exports.clear();
  for (const PeExport& e : p.pe.exports) p.exports[e.name] = p.layout.image + e.rva;
  p.loaded = true;
  if (p.pe.entry_rva == 0) return true;
  uint64_t ok = 0;
  const std::vector<GuestArg> args = {
      {p.layout.image, false}, {kDllProcessAttach, true}, {0, false}};
  if (!CallGuest(p, p.layout.image + p.pe.entry_rva, args, "DllMain(DLL_PROCESS_ATTACH)", &ok)) {
    *error = "DllMain faulted on DLL_PROCESS_ATTACH";
    return false;
  }
  if (static_cast<uint32_t>(ok) == 0) {
    *error = "DllMain refused DLL_PROCESS_ATTACH";
    return false;
  }
  return true;
}

bool UnloadModule(Process& p) {
  if (!p.loaded) return true;
  bool ok = true;
  if (p.pe.entry_rva != 0) {
    uint64_t result = 0;
    const std::vector<GuestArg> args = {
        {p.layout.image, false}, {kDllProcessDetach, true}, {0, false}};
    ok =
        CallGuest(p, p.layout.image + p.pe.entry_rva, args, "DllMain(DLL_PROCESS_DETACH)", &result);
  }
  uc_mem_unmap(p.uc, p.layout.image, RoundUp(p.pe.image_size));
  p.loaded = false;
  p.exports.clear();
  return ok;
}

bool CallExport(Process& p, const std::string& name, const std::vector<GuestArg>& args,
                uint64_t* result) {
  const uint64_t fn = ExportAddress(p, name);
  if (fn == 0) {
    Report(p, "the module exports no " + name);
    return false;
  }
  if (!CallGuest(p, fn, args, name, result)) return false;
  // Every file the library opens is closed before the call returns.
  const int open = CloseModuleFiles(p);
  if (open != 0) {
    Report(p, p.running + " returned with " + std::to_string(open) + " file handle(s) open");
    return false;
  }
  return true;
}

void UnloadModuleChecked(Process& p) {
  const bool clean = UnloadModule(p) && !p.broken;
  CloseModuleFiles(p);
  // Blocks the module kept stay allocated, as in a real process, so that
  // the counts show them; each is reported once. After a fault, what the
  // module held is lost with it, and that is reported already.
  std::vector<Block*> left;
  for (auto& entry : p.heap.live) {
    Block& b = entry.second;
    if (b.kind == BlockKind::kHeap && !b.leak_reported) left.push_back(&b);
  }
  if (clean && !left.empty()) {
    std::string text =
        "the unloaded module still holds " + std::to_string(left.size()) + " heap block(s):";
    for (size_t i = 0; i < left.size() && i < 4; ++i)
      text += " " + DescribeAddress(p, left[i]->addr) + ";";
    Report(p, text);
  }
  for (Block* b : left) b->leak_reported = true;
  p.broken = false;
}

uint64_t ExportAddress(const Process& p, const std::string& name) {
  auto it = p.exports.find(name);
  return it == p.exports.end() ? 0 : it->second;
}

}  // namespace emu
