// The seed inputs of the fuzz targets, made by the fixture builders: every
// kind of container and image the listers and the header rebuild know, and
// the broken shapes real files come in. The seed writer puts them in the
// build tree; the regression test replays them through every target body.
// Seeds stay small (a few KB) so that mutations stay fast.
#ifndef GLYPHBOX_TESTS_FUZZ_SEEDS_H
#define GLYPHBOX_TESTS_FUZZ_SEEDS_H

#include <string>
#include <vector>

#include "tests/fixtures/containers.h"
#include "tests/fixtures/samples.h"

namespace seeds {

using fixtures::Bytes;

struct Seed {
  std::string name;
  Bytes bytes;
};

// An icon entry whose image lies elsewhere than its bytes say.
inline fixtures::IconEntry PlacedEntry(fixtures::IconEntry e, uint32_t bytes, uint32_t offset) {
  e.explicit_place = true;
  e.bytes_in_res = bytes;
  e.image_offset = offset;
  return e;
}

// Containers, for the listing and extraction targets.
inline std::vector<Seed> ContainerSeeds() {
  using namespace fixtures;
  const Bytes frame_a = CursorFrame(16, 1);
  const Bytes frame_odd = CursorFrame(16, 4, 1);
  const Bytes frame_b = CursorFrame(32, 1, 3);
  std::vector<Seed> s;

  // Icons and cursors. A directory width of 0 with a PNG image is named
  // after its IHDR; a 256 by 1 PNG keeps the seed small.
  s.push_back({"icon_bitmaps_and_png",
               IconFile(1, {BitmapEntry(16, 16, 4), BitmapEntry(16, 16, 8), BitmapEntry(8, 8, 32),
                            PngEntry(256, 1, 8)})});
  s.push_back({"icon_png_16bit", IconFile(1, {PngEntry(256, 2, 16), BitmapEntry(8, 8, 1)})});
  s.push_back({"icon_single_image", IconFile(1, {BitmapEntry(16, 16, 1)})});
  s.push_back({"icon_count_past_data", IconFile(1, {BitmapEntry(8, 8, 4)}, 5)});
  s.push_back({"icon_no_images", IconFile(1, {})});
  s.push_back({"icon_image_past_end",
               IconFile(1, {PlacedEntry(BitmapEntry(8, 8, 4), 0x100, 0x40),
                            PlacedEntry(BitmapEntry(8, 8, 4), 0xFFFFFFFFu, 0xFFFFFFF0u)})});
  s.push_back({"cursor_sample", SampleCursor()});
  s.push_back({"cursor_header_only", Bytes{0, 0, 2, 0, 3, 0}});

  // Animated cursors.
  s.push_back({"ani_sample", SampleAnimatedCursor()});
  s.push_back({"ani_unpadded", AnimatedCursor({frame_odd, frame_a, frame_b}, {2, 0, 1}, false)});
  s.push_back({"ani_no_sequence", AnimatedCursor({frame_a, frame_odd}, {})});
  std::vector<Bytes> many_frames;
  std::vector<uint32_t> long_sequence;
  for (uint32_t i = 0; i < 9; ++i) many_frames.push_back(CursorFrame(8, 1, i % 2));
  for (uint32_t i = 0; i < 18; ++i) long_sequence.push_back((i * 5) % 9);
  s.push_back({"ani_many_frames", AnimatedCursor(many_frames, long_sequence)});
  s.push_back({"ani_sequence_only", RiffFile("ACON", {AnihChunk(0, 3), SeqChunk({0, 1, 2})})});
  s.push_back({"ani_sequence_past_frames", AnimatedCursor({frame_a}, {0, 1, 0xFFFFFFFFu, 0})});
  s.push_back({"ani_two_frame_lists_two_sequences",
               RiffFile("ACON", {AnihChunk(3, 3), SeqChunk({2, 1, 0}),
                                 ListChunk("fram", {Chunk("icon", frame_a)}),
                                 Chunk("rate", Bytes{10, 0, 0, 0, 20, 0, 0, 0, 30, 0, 0, 0}),
                                 ListChunk("fram", {Chunk("icon", frame_odd), Chunk("icon", frame_b)}),
                                 SeqChunk({0})})});
  s.push_back({"ani_nested_lists",
               RiffFile("ACON", {ListChunk("INFO", {Chunk("INAM", Bytes{'g', 'b', 0}),
                                                    Chunk("IART", Bytes{'x', 0})}),
                                 AnihChunk(2, 2),
                                 ListChunk("fram", {ListChunk("fram", {Chunk("icon", frame_a)}),
                                                    Chunk("icon", frame_a), Chunk("junk", Bytes{1}),
                                                    Chunk("icon", frame_odd)})})});
  Bytes odd_at_end = RiffFile("ACON", {AnihChunk(1, 1), ListChunk("fram", {Chunk("icon", frame_a)})});
  AddBytes(odd_at_end, Chunk("junk", Bytes{1, 2, 3}, false));
  s.push_back({"ani_odd_chunk_at_end", odd_at_end});
  s.push_back({"riff_wave", RiffFile("WAVE", {Chunk("fmt ", Bytes(16, 1)), Chunk("data", Bytes(8, 0))})});
  return s;
}

// Image bytes of one member, for the header rebuild.
inline std::vector<Seed> ImageSeeds() {
  using namespace fixtures;
  std::vector<Seed> s;
  for (int bits : {1, 4, 8, 24, 32}) {
    s.push_back({"bitmap_8x8_" + std::to_string(bits), BitmapImage(8, 8, bits)});
  }
  s.push_back({"bitmap_16x16_4", BitmapImage(16, 16, 4)});
  s.push_back({"png_4x4", PngImage(4, 4, 8)});
  const Bytes header = BitmapImage(8, 8, 4);
  s.push_back({"bitmap_header_cut_at_15", Bytes(header.begin(), header.begin() + 15)});
  s.push_back({"png_first_byte", Bytes{0x89}});
  return s;
}

// Containers behind the control byte of the heap-fault target: no fault,
// Init failing, and the first few reallocations failing.
inline std::vector<Seed> HeapFaultSeeds() {
  std::vector<Seed> s;
  const std::vector<Seed> containers = ContainerSeeds();
  for (const Seed& c : containers) {
    for (uint8_t control : {0x00, 0x01, 0x02, 0x80}) {
      Bytes b = {control};
      fixtures::AddBytes(b, c.bytes);
      s.push_back({c.name + "_fault" + std::to_string(control), b});
    }
  }
  return s;
}

}  // namespace seeds

#endif
