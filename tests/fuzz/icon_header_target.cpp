// Rebuilding the single-image header in front of an extracted icon or cursor
// member. The block is exactly 22 + n bytes, as GetFile allocates it, so a
// field read past the member's last byte is a heap overflow.
#include <string.h>

#include "core/archive.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// Two fills for the header bytes before they are built.
constexpr uint8_t kFillA = 0xA5;
constexpr uint8_t kFillB = 0x5A;
constexpr uint8_t kPngFirstByte = 0x89;
// The image fields the header takes, and the member size that holds all of
// them (biBitCount is the last, at 14 and 15).
constexpr uint32_t kWidthOffset = 4;
constexpr uint32_t kHeightOffset = 8;
constexpr uint32_t kBitCountOffset = 14;
constexpr uint32_t kAllFieldsBytes = 16;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The fields taken from the image, worked out here independently, for a
// member long enough to hold all of them.
void CheckImageFields(const uint8_t* header, const uint8_t* image) {
  if (image[0] == kPngFirstByte) {
    Require(header[6] == 0 && header[7] == 0 && header[8] == 0 && U16(header + 12) == 0,
            "a PNG member gets width, height, colours and bit count 0");
    return;
  }
  const int32_t bi_height = static_cast<int32_t>(U32(image + kHeightOffset));
  const uint8_t depth = image[kBitCountOffset];
  Require(header[6] == image[kWidthOffset], "width is the low byte of biWidth");
  Require(header[7] == static_cast<uint8_t>(bi_height / 2), "height is biHeight / 2, truncated");
  Require(header[8] == (depth < 8 ? static_cast<uint8_t>(1u << depth) : 0),
          "colour count is 2^depth below 8 bits, else 0");
  Require(U16(header + 12) == U16(image + kBitCountOffset), "bit count is biBitCount");
}

// The member in a block of exactly 22 + size bytes whose header bytes hold
// `fill`, after BuildIconHeader.
std::unique_ptr<uint8_t[]> HeaderBlock(const uint8_t* member, uint32_t size, uint8_t fill) {
  std::unique_ptr<uint8_t[]> block(new uint8_t[kIconHeaderBytes + size]);
  memset(block.get(), fill, kIconHeaderBytes);
  if (size != 0) memcpy(block.get() + kIconHeaderBytes, member, size);
  BuildIconHeader(block.get(), size);
  return block;
}

}  // namespace

void FuzzIconHeader(const uint8_t* input, size_t input_size) {
  const uint32_t size = static_cast<uint32_t>(input_size < kMaxInputBytes ? input_size : kMaxInputBytes);
  const std::unique_ptr<uint8_t[]> block = HeaderBlock(input, size, kFillA);
  const uint8_t* header = block.get();
  const uint8_t* image = header + kIconHeaderBytes;
  Require(size == 0 || memcmp(image, input, size) == 0, "the member's bytes are left alone");
  Require(U16(header + 0) == 0 && U16(header + 2) == 1 && U16(header + 4) == 1,
          "reserved 0, type 1, one image");
  Require(header[9] == 0 && U16(header + 10) == 0, "reserved byte and planes are 0");
  Require(U32(header + 14) == size, "bytes in resource is the member size");
  Require(U32(header + 18) == kIconHeaderBytes, "the image follows the 22-byte header");
  if (size >= kAllFieldsBytes) CheckImageFields(header, image);

  // Whatever a short member lacks, no header byte is left as the block held
  // it: the same member over other garbage gets the same header.
  const std::unique_ptr<uint8_t[]> again = HeaderBlock(input, size, kFillB);
  Require(memcmp(header, again.get(), kIconHeaderBytes) == 0, "every header byte is written");
}
