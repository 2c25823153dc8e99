// Icon (.ico) and cursor (.cur) files: a 6-byte header (reserved, type,
// count) and one 16-byte directory entry per image, each naming where the
// image's bytes are. The images themselves start with a BITMAPINFOHEADER or,
// in newer files, with a PNG stream.
#include "core/archive.h"
#include "core/byte_reader.h"
#include "core/bytes.h"
#include "core/platform.h"

namespace {

constexpr uint32_t kDirectoryHeaderBytes = 6;
constexpr uint32_t kDirectoryEntryBytes = 16;
// The image header fields are read only when the image starts more than this
// many bytes before the end of the data.
constexpr uint32_t kImageProbeBytes = 64;
constexpr uint32_t kBitCountOffset = 14;  // BITMAPINFOHEADER.biBitCount
constexpr uint32_t kPngChunkTypeOffset = 12;
constexpr uint32_t kPngWidthOffset = 16;
constexpr uint32_t kPngHeightOffset = 20;
constexpr uint32_t kPngDepthOffset = 24;

// off + 64 < size, without forming off + 64.
bool ImageHeaderReadable(ByteView v, uint32_t off) {
  return off < v.size && v.size - off > kImageProbeBytes;
}

}  // namespace

void ListIconDirectory(const uint8_t* data, uint32_t size, EntryList* list) {
  const ByteView v{data, size};
  uint8_t type = 0;
  uint16_t count = 0;
  // Data too short for the count lists nothing.
  if (!U8At(v, 2, &type) || !U16At(v, 4, &count)) return;
  // Only the low byte of the type is looked at: 1 is an icon, anything else
  // (2 in practice) a cursor.
  const char* format = type == 1 ? "%03d(%dx%d-%d).ico" : "%03d(%dx%d-%d).cur";
  const char* method = type == 1 ? "icon" : "cursor";

  for (uint32_t n = 1; n <= count; ++n) {
    const uint32_t entry = kDirectoryHeaderBytes + (n - 1) * kDirectoryEntryBytes;
    // A count larger than the entries the data holds: list the complete
    // entries and stop at the first incomplete one.
    if (!Fits(v, entry, kDirectoryEntryBytes)) return;
    uint8_t width = 0, height = 0, colors = 0;
    uint32_t bytes = 0, off = 0;
    U8At(v, entry + 0, &width);
    U8At(v, entry + 1, &height);
    U8At(v, entry + 2, &colors);
    U32At(v, entry + 8, &bytes);
    U32At(v, entry + 12, &off);

    fileInfo* rec = Append(list);
    if (rec == nullptr) return;

    const bool readable = ImageHeaderReadable(v, off);
    uint16_t depth = colors;
    if (readable) U16At(v, off + kBitCountOffset, &depth);
    FormatText(rec->filename, format, static_cast<int>(n), static_cast<int>(width),
               static_cast<int>(height), static_cast<int>(depth));

    rec->position = off;
    rec->crc = off;
    rec->compsize = bytes;
    // Wraps modulo 2^32 in the 32-bit layout, as the field is 32 bits wide.
    rec->filesize = static_cast<uintptr_t>(bytes) + kIconHeaderBytes;
    rec->timestamp = 0;
    rec->path[0] = 0;
    CopyText(rec->method, method);

    // A directory width of 0 means 256 pixels or more, which is where PNG
    // images are found: name those after their IHDR instead.
    if (width == 0 && readable && TagAt(v, off + kPngChunkTypeOffset, "IHDR")) {
      uint32_t png_width = 0, png_height = 0;
      uint8_t png_depth = 0;
      U32BeAt(v, off + kPngWidthOffset, &png_width);
      U32BeAt(v, off + kPngHeightOffset, &png_height);
      U8At(v, off + kPngDepthOffset, &png_depth);
      FormatText(rec->filename, format, static_cast<int>(n), static_cast<int>(png_width),
                 static_cast<int>(png_height), static_cast<int>(png_depth));
    }
  }
}
