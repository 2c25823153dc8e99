// The table the loader binds imports from: DLL, name, the bytes of
// arguments a 32-bit stdcall callee pops (in arguments), implementation.
#include "tests/emu/imports.h"

#include <strings.h>

namespace emu {
namespace {

const ImportEntry kImports[] = {
    {"kernel32.dll", "CloseHandle", 1, Win32CloseHandle},
    {"kernel32.dll", "CreateFileA", 7, Win32CreateFileA},
    {"kernel32.dll", "GetFileAttributesExA", 3, Win32GetFileAttributesExA},
    {"kernel32.dll", "GetFileSize", 2, Win32GetFileSize},
    {"kernel32.dll", "GetLastError", 0, Win32GetLastError},
    {"kernel32.dll", "SetLastError", 1, Win32SetLastError},
    {"kernel32.dll", "ReadFile", 5, Win32ReadFile},
    {"kernel32.dll", "SetFilePointer", 4, Win32SetFilePointer},
    {"kernel32.dll", "WriteFile", 5, Win32WriteFile},
    {"kernel32.dll", "GetProcessHeap", 0, Win32GetProcessHeap},
    {"kernel32.dll", "HeapAlloc", 3, Win32HeapAlloc},
    {"kernel32.dll", "HeapReAlloc", 4, Win32HeapReAlloc},
    {"kernel32.dll", "HeapFree", 3, Win32HeapFree},
    {"kernel32.dll", "LocalAlloc", 2, Win32LocalAlloc},
    {"kernel32.dll", "LocalFree", 1, Win32LocalFree},
    {"kernel32.dll", "LocalLock", 1, Win32LocalLock},
    {"kernel32.dll", "LocalUnlock", 1, Win32LocalUnlock},
    {"kernel32.dll", "LocalSize", 1, Win32LocalSize},
    {"kernel32.dll", "MultiByteToWideChar", 6, Win32MultiByteToWideChar},
    {"user32.dll", "wvsprintfA", 3, Win32WvsprintfA},
    {"user32.dll", "wsprintfA", -1, Win32WsprintfA},  // cdecl: the caller pops
};

}  // namespace

const ImportEntry* FindImport(const std::string& dll, const std::string& name) {
  for (const ImportEntry& entry : kImports) {
    if (strcasecmp(dll.c_str(), entry.dll) == 0 && name == entry.name) return &entry;
  }
  return nullptr;
}

}  // namespace emu
