// An icon or cursor member is stored in its container without a file header.
// Extraction puts a single-image icon header in front of it, with the fields
// taken from the image's own header (BITMAPINFOHEADER or PNG), not from the
// container's directory entry. Cursor members come out as icons too (type 1,
// planes 0): the hotspot is not carried over.
#include "core/archive.h"
#include "core/byte_reader.h"

namespace {

constexpr uint8_t kPngFirstByte = 0x89;
// Offsets inside the image: BITMAPINFOHEADER.biWidth, biHeight, biBitCount.
constexpr uint32_t kWidthOffset = 4;
constexpr uint32_t kHeightOffset = 8;
constexpr uint32_t kBitCountOffset = 14;

void PutU16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void BuildIconHeader(uint8_t* block, uint32_t compsize) {
  const ByteView image{block + kIconHeaderBytes, compsize};
  PutU16(block + 0, 0);  // reserved
  PutU16(block + 2, 1);  // type: icon
  PutU16(block + 4, 1);  // one image

  uint8_t first = 0;
  uint8_t width = 0, height = 0, colors = 0;
  uint16_t bit_count = 0;
  // A member too short for a field gets 0 there; an empty one is not PNG.
  if (!U8At(image, 0, &first) || first != kPngFirstByte) {
    U8At(image, kWidthOffset, &width);
    uint32_t raw_height = 0;
    if (U32At(image, kHeightOffset, &raw_height)) {
      // biHeight counts the colour and mask bitmaps together; the signed
      // division truncates toward zero.
      height = static_cast<uint8_t>(static_cast<int32_t>(raw_height) / 2);
    }
    uint8_t depth = 0;
    if (U8At(image, kBitCountOffset, &depth) && depth < 8) colors = static_cast<uint8_t>(1u << depth);
    U16At(image, kBitCountOffset, &bit_count);
  }
  block[6] = width;
  block[7] = height;
  block[8] = colors;
  block[9] = 0;
  PutU16(block + 10, 0);  // planes
  PutU16(block + 12, bit_count);
  PutU32(block + 14, compsize);
  PutU32(block + 18, kIconHeaderBytes);
}
