// The six functions hosts of the archive plug-in interface call, with the
// platform's standard calling convention (stdcall in the 32-bit build) and
// undecorated names (glyphbox.def). `long` parameters of the interface are
// 32 bits wide in the 32-bit build and pointer-sized in the 64-bit build.
#ifndef GLYPHBOX_PLUGIN_EXPORTS_H
#define GLYPHBOX_PLUGIN_EXPORTS_H

#include <windows.h>

#include "core/archive.h"

typedef int(WINAPI* ProgressCallback)(int nNum, int nDenom, intptr_t lData);

extern "C" {
int WINAPI GetPluginInfo(int infono, LPSTR buf, int buflen);
int WINAPI GetPluginInfoW(int infono, LPWSTR buf, int buflen);
int WINAPI IsSupported(LPCSTR filename, uintptr_t dw);
int WINAPI GetArchiveInfo(LPCSTR buf, intptr_t len, unsigned int flag, HLOCAL* lphInf);
int WINAPI GetFileInfo(LPCSTR buf, intptr_t len, LPCSTR filename, unsigned int flag,
                       fileInfo* lpInfo);
int WINAPI GetFile(LPCSTR src, intptr_t len, LPSTR dest, unsigned int flag,
                   ProgressCallback progressCallback, intptr_t lData);
}

#endif
