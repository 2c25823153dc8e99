// The Win32 functions the emulated host implements for the plug-in, each
// with the Windows behaviour the plug-in relies on and each able to fail the
// way Windows fails it when the fault plan says so. They run on the real
// Linux file system and on the guest heap.
#ifndef GLYPHBOX_TESTS_EMU_IMPORTS_H
#define GLYPHBOX_TESTS_EMU_IMPORTS_H

#include <stdint.h>

#include <string>

#include "tests/emu/process.h"

namespace emu {

// Win32 error codes the implementations set.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorNegativeSeek = 131;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFilenameTooLong = 206;

// The implementation of DLL!name (the DLL name in any letter case), or null.
const ImportEntry* FindImport(const std::string& dll, const std::string& name);

inline void SetLastError(Process& p, uint32_t error) { p.last_error = error; }

// Whether the import now running is to fail in `mode` (see fault_plan.cpp).
inline bool Injected(const Process& p, const char* mode = "fail") { return p.fault_mode == mode; }

// kernel32: files (win32_files.cpp).
uint64_t Win32CreateFileA(Process& p);
uint64_t Win32ReadFile(Process& p);
uint64_t Win32WriteFile(Process& p);
uint64_t Win32SetFilePointer(Process& p);
uint64_t Win32GetFileSize(Process& p);
uint64_t Win32GetFileAttributesExA(Process& p);
uint64_t Win32CloseHandle(Process& p);
uint64_t Win32GetLastError(Process& p);
uint64_t Win32SetLastError(Process& p);

// The host's own handles (IsSupported takes one): a file opened for
// reading at `offset`, outside the plug-in's count; all ones when it cannot
// be opened.
uint64_t OpenHostFile(Process& p, const std::string& windows_name, uint32_t offset);
void CloseHostFile(Process& p, uint64_t handle);
// Closes every handle of the plug-in (after a fault); returns how many.
int CloseModuleFiles(Process& p);
int64_t CountModuleFiles(const Process& p);

// kernel32: process heap and local memory (win32_memory.cpp).
uint64_t Win32GetProcessHeap(Process& p);
uint64_t Win32HeapAlloc(Process& p);
uint64_t Win32HeapReAlloc(Process& p);
uint64_t Win32HeapFree(Process& p);
uint64_t Win32LocalAlloc(Process& p);
uint64_t Win32LocalFree(Process& p);
uint64_t Win32LocalLock(Process& p);
uint64_t Win32LocalUnlock(Process& p);
uint64_t Win32LocalSize(Process& p);

// kernel32 and user32: text (win32_text.cpp).
uint64_t Win32MultiByteToWideChar(Process& p);
uint64_t Win32WvsprintfA(Process& p);
uint64_t Win32WsprintfA(Process& p);

}  // namespace emu

#endif
