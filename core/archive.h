// glyphbox core: the member record, the list that holds records, and the
// listers that turn icon, cursor and animated-cursor bytes into records.
//
// Everything here works on byte buffers handed in by the caller and uses the
// operating system only through core/platform.h (heap and text formatting),
// so the same code builds into the plug-in DLLs and natively for tests.
#ifndef GLYPHBOX_CORE_ARCHIVE_H
#define GLYPHBOX_CORE_ARCHIVE_H

#include <stddef.h>
#include <stdint.h>

// One archive member, in the exact layout hosts of the archive plug-in
// interface read: 428 bytes in a 32-bit build, 448 bytes in a 64-bit build.
// The integer fields are pointer-sized, which gives both layouts from one
// declaration; the 64-bit build ends in 4 bytes of alignment filler that is
// never written.
struct fileInfo {
  char method[8];       // "icon", "cursor" or "anicur"; 0 in byte 0 ends the array
  uintptr_t position;   // the key GetFile looks members up by
  uintptr_t compsize;   // bytes the member occupies in the container
  uintptr_t filesize;   // bytes of the extracted member file
  intptr_t timestamp;   // always 0
  char path[200];       // "" or "raw\" for animated-cursor frames
  char filename[200];   // member name
  uint32_t crc;         // not a checksum: offset of the member's bytes in the container
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(fileInfo) == 428, "32-bit record is 428 bytes");
static_assert(offsetof(fileInfo, method) == 0, "method");
static_assert(offsetof(fileInfo, position) == 8, "position");
static_assert(offsetof(fileInfo, compsize) == 12, "compsize");
static_assert(offsetof(fileInfo, filesize) == 16, "filesize");
static_assert(offsetof(fileInfo, timestamp) == 20, "timestamp");
static_assert(offsetof(fileInfo, path) == 24, "path");
static_assert(offsetof(fileInfo, filename) == 224, "filename");
static_assert(offsetof(fileInfo, crc) == 424, "crc");
#else
static_assert(sizeof(fileInfo) == 448, "64-bit record is 448 bytes");
static_assert(offsetof(fileInfo, method) == 0, "method");
static_assert(offsetof(fileInfo, position) == 8, "position");
static_assert(offsetof(fileInfo, compsize) == 16, "compsize");
static_assert(offsetof(fileInfo, filesize) == 24, "filesize");
static_assert(offsetof(fileInfo, timestamp) == 32, "timestamp");
static_assert(offsetof(fileInfo, path) == 40, "path");
static_assert(offsetof(fileInfo, filename) == 240, "filename");
static_assert(offsetof(fileInfo, crc) == 440, "crc");
#endif

// A growable array of records. A plain value: the parse cache keeps a copy of
// all five fields and hands copies back, so nothing here points into itself.
struct EntryList {
  fileInfo* begin;    // first record; null when the list has no storage
  fileInfo* next;     // slot after the last record written
  fileInfo* end;      // one past the storage
  uint32_t capacity;  // storage size in bytes
  uint32_t borrowed;  // nonzero: the storage belongs to the parse cache
};

constexpr uint32_t kRecordBytes = sizeof(fileInfo);
constexpr uint32_t kRecordsInitial = 4;

// Init: storage for 4 records (none if the heap refuses), borrowed 0.
void Init(EntryList* list);
// Append: the next free slot, growing the storage by doubling; null when it
// cannot grow (no memory, or the doubled byte count would not fit 32 bits).
fileInfo* Append(EntryList* list);
// Finish: trims the storage to the records plus one and writes the terminator.
void Finish(EntryList* list);
// Release: frees owned storage; leaves borrowed lists and empty ones alone.
void Release(EntryList* list);

// Number of records before the terminator of a finished list (0 without storage).
uint32_t RecordCount(const EntryList* list);

// Which lister a container's leading bytes call for.
enum ContainerKind { kNotContainer = 0, kIconDirectory = 1, kAnimatedCursor = 2 };

// The signature test: 00 00 01 00 or 00 00 02 00 (icon or cursor directory),
// else "RIFF" with "ACON" at offset 8. Data too short for a test fails it.
ContainerKind DetectContainer(const uint8_t* data, uint32_t size);

// Whether the plug-in claims a file from its first bytes (at most 2048 are
// looked at): any RIFF "ACON" file, and icon or cursor directories of 2 to 19
// images. Only `size` bytes are read, so bytes a short file does not have can
// never make it claimed.
bool ClaimsFile(const uint8_t* head, uint32_t size);

// Listers: append one record per member to an initialised, unfinished list.
// Neither reads outside data[0 .. size).
void ListIconDirectory(const uint8_t* data, uint32_t size, EntryList* list);
void ListAnimatedCursor(const uint8_t* data, uint32_t size, EntryList* list);

// Signature test, Init, the matching lister and Finish in one step. Returns
// false, with the list left untouched, when the data is no container.
bool ListContainer(const uint8_t* data, uint32_t size, EntryList* list);

// The single-image icon header that goes in front of an icon or cursor
// member's bytes when it is extracted.
constexpr uint32_t kIconHeaderBytes = 22;

// Fills block[0 .. 22) from the image bytes at block[22 .. 22 + compsize).
// Reads nothing past those bytes: fields taken from image-header bytes that a
// short member lacks are written as 0.
void BuildIconHeader(uint8_t* block, uint32_t compsize);

#endif
