#include "tools/spihost/system_text.h"

#include <stdio.h>

namespace {

std::string WithCode(const char* text, long code) {
  char number[32];
  snprintf(number, sizeof number, " (%ld)", code);
  return std::string(text) + number;
}

}  // namespace

std::string ResultText(int rc) {
  switch (rc) {
    case 0:
      return WithCode("success", rc);
    case -1:
      return WithCode("request not supported, or no such member", rc);
    case 4:
      return WithCode("out of memory, or the file is too large", rc);
    case 6:
      return WithCode("cannot open or read the file, it is not an archive the plug-in knows, "
                      "or there is no such member", rc);
    case 8:
      return WithCode("cannot write the output file", rc);
    default: {
      char text[32];
      snprintf(text, sizeof text, "unknown error %d", rc);
      return WithCode(text, rc);
    }
  }
}

std::string SystemErrorText(DWORD code) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  // System messages end in a full stop and a line break.
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' ||
                   text[n - 1] == '.')) {
    --n;
  }
  if (n == 0) return WithCode("system error", static_cast<long>(code));
  return WithCode(std::string(text, n).c_str(), static_cast<long>(code));
}
