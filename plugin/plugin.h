// Internals shared by the exports of the plug-in DLL.
#ifndef GLYPHBOX_PLUGIN_PLUGIN_H
#define GLYPHBOX_PLUGIN_PLUGIN_H

#include <windows.h>

#include "core/archive.h"

// Return codes of the listing and extraction exports.
constexpr int kOk = 0;
constexpr int kBadRequest = -1;  // unsupported input or output kind; no such member name
constexpr int kNoMemory = 4;     // file too large, size unknown, or no buffer for it
constexpr int kNotRead = 6;      // cannot open or read; not a container; no such member
constexpr int kNotWritten = 8;   // output file cannot be created or written

// Input kind in bits 0-2 of an export's flag: 0 a file name, 1 a memory image.
constexpr unsigned kInputKindMask = 7;
constexpr unsigned kInputFile = 0;
constexpr unsigned kInputMemory = 1;

// Lists a container given by file name or as a memory image. On kOk the list
// is finished and the caller ends with Release(list): a file listing that went
// into the parse cache comes back borrowed, anything else owned. On any other
// code the list holds nothing to release.
int ListArchive(const char* buf, intptr_t len, unsigned flag, EntryList* list);

// Frees the cached list; called when the library is unloaded.
void ReleaseParseCache();

// A new LMEM_FIXED block holding the finished list's storage, or null.
HLOCAL CopyListToHandle(const EntryList* list);

#endif
