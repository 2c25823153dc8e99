// Plug-in information and format detection: what a host reads to register
// the plug-in, and the quick look at a file's first bytes that decides
// whether the plug-in is offered the file.
#include "plugin/exports.h"
#include "plugin/plugin.h"

namespace {

const char* const kPluginInfoStrings[] = {
    "00AM",  // interface version: an archive plug-in
    "glyphbox 1.0: icon, cursor and animated cursor archive plug-in",
    "*.ANI", "Animated cursor",
    "*.CUR", "Cursor",
    "*.ICO", "Icon",
};
constexpr unsigned kPluginInfoCount = sizeof(kPluginInfoStrings) / sizeof(kPluginInfoStrings[0]);
constexpr int kWideScratchBytes = 80;
constexpr DWORD kHeadBytes = 2048;
// dw values with no bit set above the low 16 are file handles, not pointers.
constexpr uintptr_t kHandleMask = ~static_cast<uintptr_t>(0xFFFF);

}  // namespace

extern "C" int WINAPI GetPluginInfo(int infono, LPSTR buf, int buflen) {
  if (buflen < 1) return 0;
  if (static_cast<unsigned>(infono) >= kPluginInfoCount) {
    buf[0] = 0;
    return 0;
  }
  const char* text = kPluginInfoStrings[infono];
  int n = 0;
  while (n < buflen - 1 && text[n] != 0) {
    buf[n] = text[n];
    ++n;
  }
  buf[n] = 0;
  return n;
}

extern "C" int WINAPI GetPluginInfoW(int infono, LPWSTR buf, int buflen) {
  if (buflen < 1) return 0;
  // The strings are ASCII, one unit per character: cut to what the buffer
  // holds first, so that the conversion always fits and a small buffer gets
  // the same truncated text as the 8-bit variant.
  char scratch[kWideScratchBytes];
  GetPluginInfo(infono, scratch, buflen < kWideScratchBytes ? buflen : kWideScratchBytes);
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, scratch, -1, buf, buflen);
  buf[buflen - 1] = 0;
  int n = 0;
  while (buf[n] != 0) ++n;
  return n;
}

extern "C" int WINAPI IsSupported(LPCSTR, uintptr_t dw) {
  if ((dw & kHandleMask) == 0) {
    // A file handle: judge the bytes one read from its current position gives.
    uint8_t head[kHeadBytes];
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(dw), head, kHeadBytes, &read, nullptr)) return 0;
    return ClaimsFile(head, read) ? 1 : 0;
  }
  return ClaimsFile(reinterpret_cast<const uint8_t*>(dw), kHeadBytes) ? 1 : 0;
}
