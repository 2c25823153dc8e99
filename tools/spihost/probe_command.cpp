#include <stdio.h>

#include <vector>

#include "tools/spihost/commands.h"
#include "tools/spihost/system_text.h"

namespace {

const char* Verdict(int answer) { return answer != 0 ? "claimed" : "not claimed"; }

}  // namespace

int RunProbe(const Plugin& plugin, const std::string& file) {
  if (!RequireExport(plugin, plugin.is_supported != nullptr, "IsSupported")) return kExitUnusable;
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "spihost: cannot open %s: %s\n", file.c_str(),
            SystemErrorText(GetLastError()).c_str());
    return kExitFailed;
  }
  // A plug-in tells a handle from a buffer by its value: handles are small
  // numbers, buffers lie above the first 64 KB of the address space.
  const int by_handle = plugin.is_supported(file.c_str(), reinterpret_cast<uintptr_t>(handle));

  // The same question with the first 2 KB, zero-filled past the end of a
  // shorter file, as hosts pass it.
  std::vector<char> header(kHeaderBytes, 0);
  DWORD got = 0;
  const bool read = SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == 0 &&
                    ReadFile(handle, header.data(), static_cast<DWORD>(header.size()), &got, nullptr);
  const DWORD read_error = GetLastError();
  CloseHandle(handle);
  if (!read) {
    fprintf(stderr, "spihost: cannot read %s: %s\n", file.c_str(),
            SystemErrorText(read_error).c_str());
    return kExitFailed;
  }
  const int by_header = plugin.is_supported(file.c_str(), reinterpret_cast<uintptr_t>(header.data()));

  printf("IsSupported with a file handle:         %s (%d)\n", Verdict(by_handle), by_handle);
  printf("IsSupported with the first %4u bytes:  %s (%d)\n", static_cast<unsigned>(kHeaderBytes),
         Verdict(by_header), by_header);
  if ((by_handle != 0) != (by_header != 0)) {
    printf("%s: the two answers differ\n", file.c_str());
    return kExitFailed;
  }
  printf("%s: %s\n", file.c_str(), Verdict(by_handle));
  return by_handle != 0 ? kExitOk : kExitFailed;
}
