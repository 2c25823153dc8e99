// The archive plug-in interface ("00AM") as a host sees it: the member record,
// the exports' prototypes, and a loaded plug-in with whichever of them it
// has. Nothing here knows one plug-in from another.
#ifndef GLYPHBOX_TOOLS_SPIHOST_PLUGIN_API_H
#define GLYPHBOX_TOOLS_SPIHOST_PLUGIN_API_H

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <string>

// One archive member. The interface's integer fields are `unsigned long`
// (and a time value) in 32-bit hosts and pointer-sized in 64-bit hosts, so
// pointer-sized fields give the layout of the width this program is built
// for: 428 bytes in 32 bits, 448 in 64 bits, where the record ends in 4
// bytes of alignment filler after `crc`.
struct fileInfo {
  char method[8];
  uintptr_t position;
  uintptr_t compsize;
  uintptr_t filesize;
  intptr_t timestamp;
  char path[200];
  char filename[200];
  uint32_t crc;
};

#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(fileInfo) == 448, "64-bit record is 448 bytes");
static_assert(offsetof(fileInfo, compsize) == 16, "64-bit compsize at 16");
static_assert(offsetof(fileInfo, path) == 40, "64-bit path at 40");
static_assert(offsetof(fileInfo, filename) == 240, "64-bit filename at 240");
static_assert(offsetof(fileInfo, crc) == 440, "64-bit crc at 440");
#else
static_assert(sizeof(fileInfo) == 428, "32-bit record is 428 bytes");
static_assert(offsetof(fileInfo, compsize) == 12, "32-bit compsize at 12");
static_assert(offsetof(fileInfo, path) == 24, "32-bit path at 24");
static_assert(offsetof(fileInfo, filename) == 224, "32-bit filename at 224");
static_assert(offsetof(fileInfo, crc) == 424, "32-bit crc at 424");
#endif

// Bits of the `flag` argument of GetArchiveInfo and GetFile.
const unsigned int kInputFile = 0x000;    // the first argument names a file
const unsigned int kOutputDir = 0x000;    // GetFile writes into a directory
const unsigned int kOutputMemory = 0x100;  // GetFile hands over an HLOCAL

// IsSupported reads the first 2 KB of a file when given a buffer.
const size_t kHeaderBytes = 2048;

// The exports, in the platform's standard calling convention; `long`
// parameters of the interface are pointer-sized.
typedef int(WINAPI* ProgressCallback)(int num, int denom, intptr_t data);
typedef int(WINAPI* GetPluginInfoProc)(int infono, char* buf, int buflen);
typedef int(WINAPI* IsSupportedProc)(const char* filename, uintptr_t dw);
typedef int(WINAPI* GetArchiveInfoProc)(const char* buf, intptr_t len, unsigned int flag,
                                        HLOCAL* lphInf);
typedef int(WINAPI* GetFileProc)(const char* src, intptr_t len, char* dest, unsigned int flag,
                                 ProgressCallback callback, intptr_t data);

struct Plugin {
  std::string path;
  HMODULE module = nullptr;
  // Null for an export the plug-in lacks.
  GetPluginInfoProc get_plugin_info = nullptr;
  IsSupportedProc is_supported = nullptr;
  GetArchiveInfoProc get_archive_info = nullptr;
  GetFileProc get_file = nullptr;
};

// Loads the DLL at `path` and looks its exports up by name. On failure
// prints why and returns false.
bool LoadPlugin(const std::string& path, Plugin* plugin);
void UnloadPlugin(Plugin* plugin);

// Returns `present`; when it is false, says that the plug-in lacks the
// export `name`, which the command needs.
bool RequireExport(const Plugin& plugin, bool present, const char* name);

#endif
