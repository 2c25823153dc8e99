// Reading a Windows DLL (PE32 or PE32+) from disk and laying it out the way
// the Windows loader maps it: headers and sections at their RVAs, base
// relocations applied for the address it is really loaded at. The names of
// its imports and exports are kept so that the emulated host can bind and
// call them.
#ifndef GLYPHBOX_TESTS_EMU_PE_IMAGE_H
#define GLYPHBOX_TESTS_EMU_PE_IMAGE_H

#include <stdint.h>

#include <string>
#include <vector>

namespace emu {

struct PeSection {
  std::string name;
  uint32_t rva = 0;
  uint32_t size = 0;  // bytes in memory
  bool readable = false;
  bool writable = false;
  bool executable = false;
};

// One imported function, bound by name: the loader stores its address in the
// import address table slot at `slot_rva`.
struct PeImport {
  std::string dll;
  std::string name;
  uint32_t slot_rva = 0;
};

struct PeExport {
  std::string name;
  uint32_t rva = 0;
};

struct PeImage {
  int bits = 0;  // 32 (PE32, i386) or 64 (PE32+, x86-64)
  uint64_t preferred_base = 0;
  uint32_t image_size = 0;
  uint32_t headers_size = 0;
  uint32_t section_alignment = 0;
  uint32_t entry_rva = 0;
  std::vector<PeSection> sections;
  std::vector<PeImport> imports;
  std::vector<PeExport> exports;
  // The image as mapped at preferred_base: image_size bytes, unrelocated.
  std::vector<uint8_t> layout;
  uint32_t reloc_rva = 0;
  uint32_t reloc_size = 0;
};

// Parses a DLL. False, with the reason in *error, for anything this loader
// cannot load faithfully (not a DLL, relocations stripped, imports by
// ordinal, truncated tables).
bool ReadPeImage(const std::string& path, PeImage* image, std::string* error);

// The image as mapped at `base`, with every base relocation applied and the
// header's ImageBase updated, as the Windows loader leaves it.
bool LayOutImage(const PeImage& image, uint64_t base, std::vector<uint8_t>* mapped,
                 std::string* error);

}  // namespace emu

#endif
