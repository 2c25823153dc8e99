// Recognising a container by its leading bytes and listing it in one step.
#include "core/archive.h"
#include "core/byte_reader.h"

namespace {

// Reserved word 0 and type 1 or 2, read together as one 32-bit value.
constexpr uint32_t kIconSignature = 0x00010000;
constexpr uint32_t kCursorSignature = 0x00020000;
// Directories of one image, or of 20 and more, are left to other plug-ins.
constexpr uint16_t kClaimedImagesMin = 2;
constexpr uint16_t kClaimedImagesLimit = 20;

}  // namespace

ContainerKind DetectContainer(const uint8_t* data, uint32_t size) {
  const ByteView v{data, size};
  uint32_t head = 0;
  if (U32At(v, 0, &head) && (head == kIconSignature || head == kCursorSignature)) {
    return kIconDirectory;
  }
  if (TagAt(v, 0, "RIFF") && TagAt(v, 8, "ACON")) return kAnimatedCursor;
  return kNotContainer;
}

bool ListContainer(const uint8_t* data, uint32_t size, EntryList* list) {
  const ContainerKind kind = DetectContainer(data, size);
  if (kind == kNotContainer) return false;
  Init(list);
  if (kind == kIconDirectory) {
    ListIconDirectory(data, size, list);
  } else {
    ListAnimatedCursor(data, size, list);
  }
  Finish(list);
  return true;
}

bool ClaimsFile(const uint8_t* head, uint32_t size) {
  const ByteView v{head, size};
  if (TagAt(v, 0, "RIFF") && TagAt(v, 8, "ACON")) return true;
  uint32_t signature = 0;
  uint16_t count = 0;
  if (!U32At(v, 0, &signature) || !U16At(v, 4, &count)) return false;
  if (signature != kIconSignature && signature != kCursorSignature) return false;
  return count >= kClaimedImagesMin && count < kClaimedImagesLimit;
}
