// Prints how fast the core lists large containers and rebuilds icon headers.
// Figures, not a test: run it by hand (build/tools/bench/bench_listing).
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/archive.h"
#include "tests/fixtures/containers.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs `work` repeatedly for about half a second; returns seconds per run.
template <typename Work>
double SecondsPerRun(Work work) {
  int runs = 0;
  const Clock::time_point start = Clock::now();
  double elapsed = 0;
  do {
    work();
    ++runs;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < 0.5);
  return elapsed / runs;
}

void ReportListing(const char* what, const fixtures::Bytes& file) {
  uint32_t records = 0;
  const double seconds = SecondsPerRun([&] {
    EntryList list;
    ListContainer(file.data(), static_cast<uint32_t>(file.size()), &list);
    records = RecordCount(&list);
    Release(&list);
  });
  printf("%-44s %8.1f KB %7u records %9.1f us/listing %8.2f M records/s %8.1f MB/s\n", what,
         file.size() / 1024.0, records, seconds * 1e6, records / seconds / 1e6,
         file.size() / seconds / 1e6);
}

}  // namespace

int main() {
  std::vector<fixtures::IconEntry> images;
  for (int i = 0; i < 250; ++i) images.push_back(fixtures::BitmapEntry(32, 32, i % 2 ? 32 : 4));
  ReportListing("icon, 250 bitmap images", fixtures::IconFile(1, images));

  std::vector<fixtures::Bytes> frames;
  std::vector<uint32_t> sequence;
  for (int i = 0; i < 2000; ++i) frames.push_back(fixtures::CursorFrame(32, 4, i % 2));
  for (int i = 0; i < 4000; ++i) sequence.push_back(i % 2000);
  ReportListing("animated cursor, 2000 frames, 4000 steps", fixtures::AnimatedCursor(frames, sequence));

  const fixtures::Bytes image = fixtures::BitmapImage(256, 256, 32);
  std::vector<uint8_t> block(kIconHeaderBytes + image.size());
  std::copy(image.begin(), image.end(), block.begin() + kIconHeaderBytes);
  const double seconds = SecondsPerRun([&] {
    for (int i = 0; i < 1000; ++i) BuildIconHeader(block.data(), static_cast<uint32_t>(image.size()));
  });
  printf("%-44s %8.1f ns/header\n", "icon header rebuild", seconds / 1000 * 1e9);
  return 0;
}
