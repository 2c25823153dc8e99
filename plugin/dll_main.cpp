// The library's entry point. Loading runs no program logic; unloading frees
// the parse cache. The DLLs have no C runtime, so this is the entry point the
// loader calls directly.
#include <windows.h>

#include "plugin/plugin.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) ReleaseParseCache();
  return TRUE;
}
