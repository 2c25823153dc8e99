#include "tests/emu/pe_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace emu {
namespace {

constexpr uint16_t kMzSignature = 0x5A4D;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMagicPe32 = 0x010B;
constexpr uint16_t kMagicPe32Plus = 0x020B;
constexpr uint16_t kFileRelocsStripped = 0x0001;
constexpr uint16_t kFileDll = 0x2000;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;
constexpr uint32_t kDirExport = 0;
constexpr uint32_t kDirImport = 1;
constexpr uint32_t kDirBaseReloc = 5;
constexpr int kRelocAbsolute = 0;
constexpr int kRelocHighLow = 3;
constexpr int kRelocDir64 = 10;

// Little-endian reads that remember whether any of them fell outside the
// bytes, so a parse can do all its reads and check once.
struct View {
  const std::vector<uint8_t>& bytes;
  bool ok = true;

  uint64_t Get(uint64_t at, unsigned width) {
    if (at > bytes.size() || bytes.size() - at < width) {
      ok = false;
      return 0;
    }
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
    return v;
  }
  uint32_t U16(uint64_t at) { return static_cast<uint32_t>(Get(at, 2)); }
  uint32_t U32(uint64_t at) { return static_cast<uint32_t>(Get(at, 4)); }
  uint64_t U64(uint64_t at) { return Get(at, 8); }

  std::string Text(uint64_t at) {
    std::string s;
    while (at < bytes.size() && bytes[at] != 0) s.push_back(static_cast<char>(bytes[at++]));
    if (at >= bytes.size()) ok = false;
    return s;
  }
};

bool Refuse(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

bool ReadExports(PeImage* image, uint32_t rva, uint32_t size, std::string* error) {
  if (size == 0) return true;
  View v{image->layout};
  const uint32_t function_count = v.U32(rva + 20);
  const uint32_t name_count = v.U32(rva + 24);
  const uint32_t functions = v.U32(rva + 28);
  const uint32_t names = v.U32(rva + 32);
  const uint32_t ordinals = v.U32(rva + 36);
  for (uint32_t i = 0; i < name_count && v.ok; ++i) {
    PeExport e;
    e.name = v.Text(v.U32(names + 4 * i));
    const uint32_t index = v.U16(ordinals + 2 * i);
    if (index >= function_count) return Refuse(error, "export " + e.name + " has no address");
    e.rva = v.U32(functions + 4 * index);
    // An address inside the export directory is a forwarder string.
    if (e.rva >= rva && e.rva - rva < size) return Refuse(error, "forwarded export " + e.name);
    image->exports.push_back(e);
  }
  return v.ok ? true : Refuse(error, "export directory runs out of the image");
}

bool ReadImports(PeImage* image, uint32_t rva, uint32_t size, std::string* error) {
  if (size == 0) return true;
  View v{image->layout};
  const unsigned width = image->bits / 8;
  const uint64_t by_ordinal = 1ull << (image->bits - 1);
  for (uint32_t d = rva;; d += 20) {
    const uint32_t lookup = v.U32(d);
    const uint32_t name = v.U32(d + 12);
    const uint32_t slots = v.U32(d + 16);
    if (!v.ok) return Refuse(error, "import directory runs out of the image");
    if (name == 0 && slots == 0) break;
    const std::string dll = v.Text(name);
    const uint32_t table = lookup != 0 ? lookup : slots;
    for (uint32_t i = 0;; ++i) {
      const uint64_t entry = v.Get(table + static_cast<uint64_t>(width) * i, width);
      if (!v.ok) return Refuse(error, "import table of " + dll + " runs out of the image");
      if (entry == 0) break;
      if (entry & by_ordinal) return Refuse(error, "import by ordinal from " + dll);
      PeImport imp;
      imp.dll = dll;
      imp.name = v.Text(static_cast<uint32_t>(entry) + 2);  // after the 2-byte hint
      imp.slot_rva = slots + width * i;
      image->imports.push_back(imp);
    }
  }
  return v.ok ? true : Refuse(error, "import names run out of the image");
}

}  // namespace

bool ReadPeImage(const std::string& path, PeImage* image, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Refuse(error, "cannot open " + path);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  View f{file};
  if (f.U16(0) != kMzSignature) return Refuse(error, path + ": no MZ header");
  const uint32_t pe = f.U32(0x3C);
  if (f.U32(pe) != kPeSignature) return Refuse(error, path + ": no PE signature");
  const uint32_t machine = f.U16(pe + 4);
  const uint32_t section_count = f.U16(pe + 6);
  const uint32_t optional_size = f.U16(pe + 20);
  const uint32_t characteristics = f.U16(pe + 22);
  const uint32_t opt = pe + 24;
  const uint32_t magic = f.U16(opt);
  if (machine == kMachineI386 && magic == kMagicPe32) {
    image->bits = 32;
  } else if (machine == kMachineAmd64 && magic == kMagicPe32Plus) {
    image->bits = 64;
  } else {
    return Refuse(error, path + ": neither an i386 PE32 nor an x86-64 PE32+ image");
  }
  if ((characteristics & kFileDll) == 0) return Refuse(error, path + ": not a DLL");
  // The host always loads away from the preferred base, as Windows may.
  if (characteristics & kFileRelocsStripped) return Refuse(error, path + ": relocations stripped");

  const bool wide = image->bits == 64;
  image->entry_rva = f.U32(opt + 16);
  image->preferred_base = wide ? f.U64(opt + 24) : f.U32(opt + 28);
  image->section_alignment = f.U32(opt + 32);
  image->image_size = f.U32(opt + 56);
  image->headers_size = f.U32(opt + 60);
  const uint32_t directory_count = f.U32(opt + (wide ? 108 : 92));
  const uint32_t directories = opt + (wide ? 112 : 96);
  auto directory = [&](uint32_t index, uint32_t* rva, uint32_t* size) {
    *rva = index < directory_count ? f.U32(directories + 8 * index) : 0;
    *size = index < directory_count ? f.U32(directories + 8 * index + 4) : 0;
  };

  image->layout.assign(image->image_size, 0);
  const uint32_t headers =
      image->headers_size < file.size() ? image->headers_size : static_cast<uint32_t>(file.size());
  if (headers > image->image_size) return Refuse(error, path + ": headers larger than the image");
  std::copy(file.begin(), file.begin() + headers, image->layout.begin());

  const uint32_t table = opt + optional_size;
  for (uint32_t i = 0; i < section_count; ++i) {
    const uint32_t at = table + 40 * i;
    PeSection s;
    for (uint32_t k = 0; k < 8 && f.Get(at + k, 1) != 0; ++k) {
      s.name.push_back(static_cast<char>(f.Get(at + k, 1)));
    }
    const uint32_t virtual_size = f.U32(at + 8);
    s.rva = f.U32(at + 12);
    const uint32_t raw_size = f.U32(at + 16);
    const uint32_t raw_offset = f.U32(at + 20);
    const uint32_t flags = f.U32(at + 36);
    s.size = virtual_size != 0 ? virtual_size : raw_size;
    s.readable = (flags & kSectionRead) != 0;
    s.writable = (flags & kSectionWrite) != 0;
    s.executable = (flags & kSectionExecute) != 0;
    if (!f.ok) return Refuse(error, path + ": truncated section table");
    if (s.rva > image->image_size || image->image_size - s.rva < s.size) {
      return Refuse(error, path + ": section " + s.name + " lies outside the image");
    }
    const uint32_t copy = raw_size < s.size ? raw_size : s.size;
    if (raw_offset > file.size() || file.size() - raw_offset < copy) {
      return Refuse(error, path + ": section " + s.name + " runs past the end of the file");
    }
    std::copy(file.begin() + raw_offset, file.begin() + raw_offset + copy,
              image->layout.begin() + s.rva);
    image->sections.push_back(s);
  }
  if (!f.ok) return Refuse(error, path + ": truncated headers");

  uint32_t rva = 0, size = 0;
  directory(kDirExport, &rva, &size);
  if (!ReadExports(image, rva, size, error)) return false;
  directory(kDirImport, &rva, &size);
  if (!ReadImports(image, rva, size, error)) return false;
  directory(kDirBaseReloc, &image->reloc_rva, &image->reloc_size);
  return true;
}

bool LayOutImage(const PeImage& image, uint64_t base, std::vector<uint8_t>* mapped,
                 std::string* error) {
  *mapped = image.layout;
  const uint64_t delta = base - image.preferred_base;
  View v{*mapped};
  auto put = [&](uint64_t at, uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i) (*mapped)[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  // The header's ImageBase, as the loader rewrites it.
  const uint32_t opt = v.U32(0x3C) + 24;
  if (image.bits == 64) {
    put(opt + 24, base, 8);
  } else {
    put(opt + 28, base, 4);
  }

  uint64_t at = image.reloc_rva;
  const uint64_t end = static_cast<uint64_t>(image.reloc_rva) + image.reloc_size;
  while (at + 8 <= end) {
    const uint32_t page = v.U32(at);
    const uint32_t block = v.U32(at + 4);
    if (!v.ok || block < 8 || block > end - at) return Refuse(error, "broken relocation block");
    for (uint32_t k = 8; k + 2 <= block; k += 2) {
      const uint32_t entry = v.U16(at + k);
      const int type = static_cast<int>(entry >> 12);
      const uint64_t target = static_cast<uint64_t>(page) + (entry & 0xFFF);
      if (type == kRelocAbsolute) continue;
      if (type == kRelocHighLow && image.bits == 32) {
        const uint32_t value = v.U32(target);
        if (!v.ok) return Refuse(error, "relocation outside the image");
        put(target, static_cast<uint32_t>(value + delta), 4);
      } else if (type == kRelocDir64 && image.bits == 64) {
        const uint64_t value = v.U64(target);
        if (!v.ok) return Refuse(error, "relocation outside the image");
        put(target, value + delta, 8);
      } else {
        return Refuse(error, "unsupported relocation type " + std::to_string(type));
      }
    }
    at += block;
  }
  return true;
}

}  // namespace emu
