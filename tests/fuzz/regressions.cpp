// Replays, through every fuzz target body, each input that ever broke one
// (minimised, kept here as named hex for ever after), a few hand-made nasty
// inputs, and every seed. Built with the sanitizers but without libFuzzer:
// an input that trips one, or an invariant, aborts this program and names
// the input on the line before.
//
//   fuzz_regressions            replay the table and the seeds
//   fuzz_regressions FILE...    replay these files (a fuzzer's crash file)
//   fuzz_regressions --hex FILE print FILE as a hex string for the table
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"
#include "tests/fuzz/seeds.h"

namespace {

struct Regression {
  const char* name;
  const char* hex;  // whitespace between bytes is ignored
};

// Findings of the fuzzers come first, named for the fault they showed; then
// the hand-made inputs, each aimed at a place where a size or index from the
// file meets arithmetic.
const Regression kRegressions[] = {
    // A "fram" list whose size wraps r + size + 8 past 32 bits: the list is
    // walked up to the end of the data and the top-level walk ends there.
    {"riff_list_size_wraps",
     "52494646 00000000 41434f4e 4c495354 f8ffffff 6672616d 69636f6e 04000000 00000100"
     "73657120 04000000 00000000"},
    // An "icon" sub-chunk whose size wraps q + size: skipped, and the
    // sub-walk ends.
    {"riff_frame_size_wraps",
     "52494646 00000000 41434f4e 4c495354 14000000 6672616d 69636f6e f8ffffff 00000000 00000000"},
    // A sequence naming frame 0xFFFFFFFF and one past the last frame.
    {"riff_sequence_index_all_ones",
     "52494646 00000000 41434f4e 73657120 0c000000 ffffffff 01000000 00000000"
     "4c495354 10000000 6672616d 69636f6e 04000000 00000100"},
    // A sequence whose size claims far more indexes than the data holds.
    {"riff_sequence_size_past_data", "52494646 00000000 41434f4e 73657120 fcffffff 00000000"},
    // An odd-sized chunk that ends at the very last byte: the pad byte it
    // would have lies past the data.
    {"riff_odd_chunk_at_very_end", "52494646 00000000 41434f4e 616e6968 03000000 010203"},
    // An odd-sized chunk followed by one zero byte and the end of the data.
    {"riff_odd_chunk_then_pad_at_end", "52494646 00000000 41434f4e 6a756e6b 01000000 aa00"},
    // A frame whose size runs 8 bytes past the data (and past its list):
    // not listed, as its contents would end outside the data.
    {"riff_frame_runs_past_data",
     "52494646 00000000 41434f4e 4c495354 10000000 6672616d 69636f6e 10000000"
     "41414141 41414141"},
    // A "LIST" whose form type would lie partly outside the data.
    {"riff_list_type_outside_data", "52494646 00000000 41434f4e 4c495354 04000000 6672"},
    // A frame whose contents end 8 bytes past its list's end (allowed) and
    // just inside the data.
    {"riff_frame_ends_past_its_list",
     "52494646 00000000 41434f4e 4c495354 0c000000 6672616d 69636f6e 08000000"
     "41414141 41414141 6a756e6b 00000000"},
    // An "anih" of size 0x7FFFFFFF: the walk jumps past the data and ends.
    {"riff_anih_overlong",
     "52494646 00000000 41434f4e 616e6968 ffffff7f 24000000 01000000 01000000"},
    // idCount 0xFFFF with one entry in the data.
    {"icon_count_larger_than_data", "00000100 ffff 10100000 01000400 28000000 16000000"},
    // An entry whose size and offset make filesize and offset + 64 wrap.
    {"icon_offset_and_size_wrap", "00000100 0100 00000000 01002000 ffffffff f0ffffff"},
    // An entry whose image starts at the last byte of the data.
    {"icon_image_at_last_byte", "00000200 0100 20200000 05000700 01000000 16000000 89"},
    // A member with biHeight 0x80000001: the halving must not overflow.
    {"member_height_most_negative", "28000000 10000000 01000080 0100 0400"},
    // A PNG member of one byte: no IHDR to read.
    {"member_png_one_byte", "89"},
    // A bitmap member of three bytes: every image field lies past it.
    {"member_three_bytes", "280000"},
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

fixtures::Bytes FromHex(const char* name, const char* hex) {
  fixtures::Bytes bytes;
  int high = -1;
  for (const char* p = hex; *p != 0; ++p) {
    if (*p == ' ' || *p == '\n') continue;
    const int v = HexValue(*p);
    if (v < 0) {
      fprintf(stderr, "%s: not a hex digit: '%c'\n", name, *p);
      exit(2);
    }
    if (high < 0) {
      high = v;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) {
    fprintf(stderr, "%s: odd number of hex digits\n", name);
    exit(2);
  }
  return bytes;
}

// Every body; the heap-fault body once per control value that means
// something (no fault, each of the first 127 reallocations, Init).
void Replay(const std::string& name, const fixtures::Bytes& bytes) {
  printf("replay %s (%zu bytes)\n", name.c_str(), bytes.size());
  fflush(stdout);
  FuzzListing(bytes.data(), bytes.size());
  FuzzIconHeader(bytes.data(), bytes.size());
  FuzzExtraction(bytes.data(), bytes.size());
  fixtures::Bytes controlled(bytes.size() + 1);
  std::copy(bytes.begin(), bytes.end(), controlled.begin() + 1);
  for (int control = 0; control <= 0x80; ++control) {
    controlled[0] = static_cast<uint8_t>(control);
    FuzzListingUnderHeapFaults(controlled.data(), controlled.size());
  }
}

bool ReadInput(const char* path, fixtures::Bytes* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fprintf(stderr, "cannot read %s\n", path);
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Groups of four bytes, eight groups to a line, as the table writes them.
void PrintHex(const fixtures::Bytes& bytes) {
  printf("    \"");
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0 && i % 32 == 0) printf("\"\n    \"");
    else if (i != 0 && i % 4 == 0) printf(" ");
    printf("%02x", bytes[i]);
  }
  printf("\"\n");
}

}  // namespace

int main(int argc, char** argv) {
  fixtures::Bytes bytes;
  if (argc == 3 && std::string(argv[1]) == "--hex") {
    if (!ReadInput(argv[2], &bytes)) return 2;
    PrintHex(bytes);
    return 0;
  }
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) {
      if (!ReadInput(argv[i], &bytes)) return 2;
      Replay(argv[i], bytes);
    }
    return 0;
  }
  int replayed = 0;
  for (const Regression& r : kRegressions) {
    Replay(r.name, FromHex(r.name, r.hex));
    ++replayed;
  }
  // The heap-fault seeds are container seeds behind a control byte, which
  // Replay sweeps anyway.
  for (const std::vector<seeds::Seed>& corpus : {seeds::ContainerSeeds(), seeds::ImageSeeds()}) {
    for (const seeds::Seed& seed : corpus) {
      Replay("seed " + seed.name, seed.bytes);
      ++replayed;
    }
  }
  printf("%d inputs replayed through every target, no finding\n", replayed);
  return 0;
}
