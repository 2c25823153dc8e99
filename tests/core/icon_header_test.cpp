// BuildIconHeader: the 22-byte single-image header put in front of an
// extracted icon or cursor member, from bitmap and PNG images, odd field
// values, and members too short for the fields it reads.
#include <string.h>

#include <memory>
#include <vector>

#include "tests/core/harness.h"

namespace coretest {
namespace {

// A BITMAPINFOHEADER alone, with any width, height and bit count.
Bytes InfoHeader(uint32_t width, uint32_t height, uint16_t bit_count) {
  Bytes b;
  fixtures::AddU32(b, 40);
  fixtures::AddU32(b, width);
  fixtures::AddU32(b, height);
  fixtures::AddU16(b, 1);
  fixtures::AddU16(b, bit_count);
  for (int i = 0; i < 6; ++i) fixtures::AddU32(b, 0);
  return b;
}

// The header the member should get.
Bytes Header(uint8_t width, uint8_t height, uint8_t colors, uint16_t bit_count, uint32_t compsize) {
  Bytes b = {0, 0, 1, 0, 1, 0, width, height, colors, 0, 0, 0};
  fixtures::AddU16(b, bit_count);
  fixtures::AddU32(b, compsize);
  fixtures::AddU32(b, 22);
  return b;
}

// Runs BuildIconHeader on a block of exactly 22 + image.size() bytes whose
// header bytes start as rubbish, so ASan sees any read past the image and a
// header byte left unwritten shows. Returns the header; checks the image
// bytes were left alone.
Bytes BuiltHeader(const Bytes& image) {
  const size_t n = image.size();
  std::unique_ptr<uint8_t[]> block(new uint8_t[kIconHeaderBytes + n]);
  memset(block.get(), 0xCC, kIconHeaderBytes);
  if (n > 0) memcpy(block.get() + kIconHeaderBytes, image.data(), n);
  BuildIconHeader(block.get(), static_cast<uint32_t>(n));
  EXPECT_TRUE(n == 0 || memcmp(block.get() + kIconHeaderBytes, image.data(), n) == 0)
      << "image bytes changed";
  return Bytes(block.get(), block.get() + kIconHeaderBytes);
}

uint32_t Size(const Bytes& b) { return static_cast<uint32_t>(b.size()); }

struct Case {
  const char* name;
  Bytes image;
  Bytes expected;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuiltHeader(c.image), c.expected);
  }
}

TEST(IconHeaderTest, TheThirtyTwoBitExample) {
  const Bytes image = fixtures::BitmapImage(32, 32, 32);  // biHeight 64
  Bytes expected = {0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x20, 0x20, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00};
  fixtures::AddU32(expected, Size(image));
  for (uint8_t v : {0x16, 0x00, 0x00, 0x00}) expected.push_back(v);
  EXPECT_EQ(BuiltHeader(image), expected);
}

TEST(IconHeaderTest, BitmapDepths) {
  const Bytes d1 = fixtures::BitmapImage(16, 16, 1);
  const Bytes d4 = fixtures::BitmapImage(16, 16, 4);
  const Bytes d8 = fixtures::BitmapImage(32, 32, 8);
  const Bytes d24 = fixtures::BitmapImage(48, 48, 24);
  const Bytes d32 = fixtures::BitmapImage(24, 24, 32);
  // Colour count is 2 to the bit count, kept to 8 bits: 0 from 8 bits on.
  RunCases({
      {"1 bit", d1, Header(16, 16, 2, 1, Size(d1))},
      {"4 bits", d4, Header(16, 16, 16, 4, Size(d4))},
      {"8 bits", d8, Header(32, 32, 0, 8, Size(d8))},
      {"24 bits", d24, Header(48, 48, 0, 24, Size(d24))},
      {"32 bits", d32, Header(24, 24, 0, 32, Size(d32))},
      {"0 bits", InfoHeader(16, 32, 0), Header(16, 16, 1, 0, 40)},
      {"2 bits", InfoHeader(16, 32, 2), Header(16, 16, 4, 2, 40)},
      {"7 bits", InfoHeader(16, 32, 7), Header(16, 16, 128, 7, 40)},
      {"16 bits", InfoHeader(16, 32, 16), Header(16, 16, 0, 16, 40)},
      // The colour count looks at the low byte only; the bit count is the word.
      {"bit count 0x0104", InfoHeader(16, 32, 0x0104), Header(16, 16, 16, 0x0104, 40)},
  });
}

// Byte 7 is the low byte of biHeight / 2 (colour and mask bitmaps together),
// divided as a signed number; byte 6 is the low byte of biWidth.
TEST(IconHeaderTest, WidthAndHeight) {
  RunCases({
      {"top-down, -64", InfoHeader(32, static_cast<uint32_t>(-64), 32), Header(32, 0xE0, 0, 32, 40)},
      {"odd, 63", InfoHeader(32, 63, 32), Header(32, 31, 0, 32, 40)},
      {"odd and negative, -63", InfoHeader(32, static_cast<uint32_t>(-63), 32), Header(32, 0xE1, 0, 32, 40)},
      {"256 pixels: 512", InfoHeader(256, 512, 32), Header(0, 0, 0, 32, 40)},
      {"most negative", InfoHeader(300, 0x80000000u, 32), Header(44, 0x00, 0, 32, 40)},
      {"most positive", InfoHeader(300, 0x7FFFFFFFu, 32), Header(44, 0xFF, 0, 32, 40)},
  });
}

TEST(IconHeaderTest, PngImages) {
  const Bytes png = fixtures::PngImage(16, 16);
  const Bytes big = fixtures::PngImage(256, 256);
  RunCases({
      {"16 by 16", png, Header(0, 0, 0, 0, Size(png))},
      {"256 by 256", big, Header(0, 0, 0, 0, Size(big))},
      {"the 0x89 byte alone", Bytes{0x89}, Header(0, 0, 0, 0, 1)},
  });
}

// A member too short for a field gets 0 in that field; only the member's own
// bytes are read.
TEST(IconHeaderTest, ShortMembers) {
  const Bytes full = InfoHeader(40, 80, 4);
  for (size_t n = 0; n <= 16; ++n) {
    SCOPED_TRACE(n);
    const Bytes image(full.begin(), full.begin() + n);
    const uint8_t width = n >= 5 ? 40 : 0;     // byte 4
    const uint8_t height = n >= 12 ? 40 : 0;   // bytes 8 to 11
    const uint8_t colors = n >= 15 ? 16 : 0;   // byte 14
    const uint16_t bits = n >= 16 ? 4 : 0;     // bytes 14 and 15
    EXPECT_EQ(BuiltHeader(image), Header(width, height, colors, bits, static_cast<uint32_t>(n)));
  }
}

}  // namespace
}  // namespace coretest
