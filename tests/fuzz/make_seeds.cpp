// Writes the fuzz seed corpora into the build tree:
//   make_seeds DIR  ->  DIR/containers/*, DIR/images/*, DIR/heap_faults/*
// Each directory is emptied first, so a seed that is renamed or dropped does
// not linger.
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/fuzz/seeds.h"

namespace {

bool WriteCorpus(const std::filesystem::path& dir, const std::vector<seeds::Seed>& corpus) {
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  for (const seeds::Seed& seed : corpus) {
    std::ofstream out(dir / seed.name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(seed.bytes.data()),
              static_cast<std::streamsize>(seed.bytes.size()));
    if (!out) {
      fprintf(stderr, "cannot write %s\n", (dir / seed.name).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const bool ok = WriteCorpus(root / "containers", seeds::ContainerSeeds()) &&
                  WriteCorpus(root / "images", seeds::ImageSeeds()) &&
                  WriteCorpus(root / "heap_faults", seeds::HeapFaultSeeds());
  return ok ? 0 : 1;
}
