#include <stdio.h>
#include <string.h>

#include "tools/spihost/commands.h"

namespace {

// The interface defines a handful of strings (version, description, then
// pattern and type-name pairs); the cap only guards against a plug-in that
// never returns an empty one.
const int kMaxInfoStrings = 256;
const int kInfoBytes = 512;

}  // namespace

int RunInfo(const Plugin& plugin) {
  if (!RequireExport(plugin, plugin.get_plugin_info != nullptr, "GetPluginInfo")) {
    return kExitUnusable;
  }
  int shown = 0;
  for (int index = 0; index < kMaxInfoStrings; ++index) {
    char text[kInfoBytes];
    memset(text, 0, sizeof text);
    const int n = plugin.get_plugin_info(index, text, kInfoBytes);
    text[kInfoBytes - 1] = '\0';
    if (n <= 0 || text[0] == '\0') break;
    if (index == 0 && strcmp(text, "00AM") != 0) {
      fprintf(stderr, "spihost: warning: interface version \"%s\" is not \"00AM\"; this is not an "
              "archive plug-in\n", text);
    }
    printf("%3d  %s\n", index, text);
    ++shown;
  }
  if (shown == 0) {
    fprintf(stderr, "spihost: plug-in %s gives no information strings\n", plugin.path.c_str());
    return kExitFailed;
  }
  return kExitOk;
}
