// Animated cursors (.ani) are RIFF "ACON" files: after the 12-byte RIFF
// header come chunks of a four-byte identifier, a 32-bit size and the
// contents. The frames are the "icon" sub-chunks of a "LIST" of type "fram",
// each a complete icon or cursor file; the optional "seq " chunk lists frame
// indexes in playing order. Everything else ("anih", "rate", other lists) is
// skipped: the walk is driven by the data's size only, never by the RIFF size
// or the frame count in "anih".
#include "core/archive.h"
#include "core/byte_reader.h"
#include "core/bytes.h"
#include "core/platform.h"

namespace {

constexpr uint32_t kRiffHeaderBytes = 12;
constexpr uint32_t kChunkHeaderBytes = 8;

// Offset just past a chunk of `size` content bytes that starts at `at`, or
// false when that lies beyond 32 bits (such a size ends the walk).
//
// RIFF pads an odd-sized chunk with one byte, and real files do so; some
// writers do not. So after odd contents the walk steps over the next byte
// only when it lies inside the data and is 0: a chunk identifier never starts
// with a zero byte, so a zero there can only be padding.
bool NextChunk(ByteView v, uint32_t at, uint32_t size, uint32_t* next) {
  uint32_t after = 0;
  if (!AddU32(at, kChunkHeaderBytes, &after) || !AddU32(after, size, &after)) return false;
  uint8_t pad = 1;
  if ((size & 1) != 0 && U8At(v, after, &pad) && pad == 0) ++after;  // after < v.size here
  *next = after;
  return true;
}

struct FrameCounter {
  uint32_t serial = 1;  // odd numbers: 1, 3, 5, ...; the frame's position is serial + 1
  uint32_t listed = 0;
};

// Lists the "icon" sub-chunks of the "fram" list at r, of content size sz.
void ListFrames(ByteView v, uint32_t last, uint32_t r, uint32_t sz, EntryList* list,
                FrameCounter* frames) {
  uint32_t limit = last;
  uint32_t list_end = 0;
  if (AddU32(r, kChunkHeaderBytes, &list_end) && AddU32(list_end, sz, &list_end) &&
      list_end < last) {
    limit = list_end;
  }
  uint32_t q = 0;
  if (!AddU32(r, kRiffHeaderBytes, &q)) return;
  while (q < limit) {
    uint32_t ssz = 0;
    U32At(v, q + 4, &ssz);  // q < limit <= size - 8
    uint32_t contents_end = 0;
    // A frame may end up to 8 bytes past the list's own end, but never past
    // the data: q + ssz <= limit <= size - 8.
    if (AddU32(q, ssz, &contents_end) && contents_end <= limit && TagAt(v, q, "icon")) {
      fileInfo* rec = Append(list);
      if (rec == nullptr) return;
      FormatText(rec->filename, "raw%03d.cur", static_cast<int>(frames->serial));
      CopyText(rec->path, "raw\\");
      rec->timestamp = 0;
      rec->position = static_cast<uintptr_t>(frames->serial) + 1;
      rec->compsize = rec->filesize = ssz;
      CopyText(rec->method, "anicur");
      rec->crc = q + kChunkHeaderBytes;
      frames->serial += 2;
      frames->listed += 1;
    }
    if (!NextChunk(v, q, ssz, &q)) return;
  }
}

// Lists one record per index of the "seq " chunk at s0.
void ListSequence(ByteView v, uint32_t s0, EntryList* list, const FrameCounter& frames) {
  uint32_t ssz = 0;
  U32At(v, s0 + 4, &ssz);
  const uint32_t steps = ssz / 4;
  uint32_t at = s0 + kChunkHeaderBytes;  // s0 < size - 8
  for (uint32_t m = 1; m <= steps; ++m, at += 4) {
    uint32_t idx = 0;
    // Indexes are taken as far as each lies wholly inside the data; the
    // walk ends at the first one that does not, so `at` never passes size.
    if (!U32At(v, at, &idx)) return;
    fileInfo* rec = Append(list);
    if (rec == nullptr) return;
    FormatText(rec->filename, "%03d.cur", static_cast<int>(m));
    rec->path[0] = 0;
    rec->timestamp = 0;
    CopyText(rec->method, "anicur");
    if (idx < frames.listed) {
      // Frames occupy list indexes 0 .. listed - 1; a step takes its frame's
      // bytes under a position past every frame's.
      const fileInfo& frame = list->begin[idx];
      rec->position = static_cast<uintptr_t>(frames.serial) + m;
      rec->compsize = rec->filesize = frame.filesize;
      rec->crc = frame.crc;
    } else {
      // No such frame: listed, but with nothing to extract.
      rec->position = 0;
      rec->compsize = rec->filesize = 0;
      rec->crc = 0;
    }
  }
}

}  // namespace

void ListAnimatedCursor(const uint8_t* data, uint32_t size, EntryList* list) {
  const ByteView v{data, size};
  if (size < kChunkHeaderBytes) return;
  const uint32_t last = size - kChunkHeaderBytes;  // every chunk header read lies below this
  FrameCounter frames;
  bool have_sequence = false;
  uint32_t sequence_at = 0;

  uint32_t r = kRiffHeaderBytes;
  while (r < last) {
    uint32_t sz = 0;
    U32At(v, r + 4, &sz);
    if (TagAt(v, r, "seq ") && !have_sequence) {
      // Only the first sequence counts.
      have_sequence = true;
      sequence_at = r;
    } else if (TagAt(v, r, "LIST") && TagAt(v, r + 8, "fram")) {
      ListFrames(v, last, r, sz, list, &frames);
    }
    if (!NextChunk(v, r, sz, &r)) break;
  }

  if (have_sequence) ListSequence(v, sequence_at, list, frames);
}
