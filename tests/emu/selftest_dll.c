/* A small DLL that misbehaves on purpose, one way per export, and a few
 * exports that use the imports the way the plug-in does. The emulated
 * host's self-test loads it in both widths and checks that every misdeed is
 * caught and named, and that the imports behave as Windows does. Built
 * without a C runtime, like the plug-in. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

__declspec(dllexport) int WINAPI WriteAfterBlock(int past) {
  volatile char* p = (volatile char*)HeapAlloc(GetProcessHeap(), 0, 16);
  p[16 + past] = 1;
  HeapFree(GetProcessHeap(), 0, (void*)p);
  return 0;
}

__declspec(dllexport) int WINAPI ReadAfterFree(void) {
  volatile int* p = (volatile int*)HeapAlloc(GetProcessHeap(), 0, 16);
  HeapFree(GetProcessHeap(), 0, (void*)p);
  return p[1];
}

__declspec(dllexport) int WINAPI FreeTwice(void) {
  void* p = HeapAlloc(GetProcessHeap(), 0, 16);
  HeapFree(GetProcessHeap(), 0, p);
  return HeapFree(GetProcessHeap(), 0, p);
}

/* cdecl where the host expects stdcall: leaves its arguments on the stack. */
__declspec(dllexport) int __cdecl PopsNothing(int a, int b) { return a + b; }

__declspec(dllexport) int WINAPI ClobbersSavedRegister(void) {
#if defined(__i386__)
  __asm__ volatile("movl $1, %%ebx" : : :);
#else
  __asm__ volatile("movq $1, %%rbx" : : :);
#endif
  return 0;
}

__declspec(dllexport) int WINAPI ReadThrough(const int* p) { return *p; }

static const char kConstant[] = "constant";
__declspec(dllexport) int WINAPI WriteConstant(int at) {
  ((volatile char*)kConstant)[at] = 'x';
  return 0;
}

__declspec(dllexport) int WINAPI CallsUnimplemented(void) { return (int)GetTickCount(); }

__declspec(dllexport) int WINAPI KeepsBlock(void) {
  return HeapAlloc(GetProcessHeap(), 0, 10) != 0;
}

__declspec(dllexport) int WINAPI KeepsFileOpen(const char* name) {
  return CreateFileA(name, GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0) != INVALID_HANDLE_VALUE;
}

__declspec(dllexport) int WINAPI ReadsIntoSmallBlock(const char* name) {
  char* p = (char*)HeapAlloc(GetProcessHeap(), 0, 8);
  HANDLE file = CreateFileA(name, GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
  DWORD got = 0;
  ReadFile(file, p, 9, &got, 0);
  CloseHandle(file);
  HeapFree(GetProcessHeap(), 0, p);
  return (int)got;
}

__declspec(dllexport) int WINAPI Format(char* out, int n, const char* s) {
  return wsprintfA(out, "%03d|%s|%d|%-4d|%x", n, s, -n, n, n);
}

/* Opens `name` (OPEN_EXISTING, or CREATE_NEW when `create`), seeks to
 * `offset` and reads `want` bytes into `buf`. out[0..3]: the handle was
 * valid, SetFilePointer's result, ReadFile's result, bytes read; out[4]:
 * GetLastError after the last call made. */
__declspec(dllexport) int WINAPI
    OpenSeekRead(const char* name, int create, DWORD offset, char* buf, DWORD want, DWORD* out) {
  HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, 0,
                            create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  LONG high = 0;
  DWORD got = 0;
  out[0] = file != INVALID_HANDLE_VALUE;
  out[1] = out[2] = out[3] = 0;
  if (file == INVALID_HANDLE_VALUE) {
    out[4] = GetLastError();
    return 0;
  }
  out[1] = SetFilePointer(file, (LONG)offset, &high, FILE_BEGIN);
  if (out[1] != INVALID_SET_FILE_POINTER) {
    out[2] = (DWORD)ReadFile(file, buf, want, &got, 0);
    out[3] = got;
  }
  out[4] = GetLastError();
  CloseHandle(file);
  return 1;
}

/* ReadFile's result on a handle the host passes, as IsSupported reads. */
__declspec(dllexport) int WINAPI ReadHandle(HANDLE file, char* buf, DWORD want) {
  DWORD got = 0;
  return ReadFile(file, buf, want, &got, 0);
}

__declspec(dllexport) int WINAPI Widen(const char* text, WCHAR* out, int units) {
  return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, out, units);
}

__declspec(dllexport) DWORD WINAPI LastError(void) { return GetLastError(); }
