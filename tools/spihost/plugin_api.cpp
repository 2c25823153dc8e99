#include "tools/spihost/plugin_api.h"

#include <stdio.h>

#include "tools/spihost/system_text.h"

namespace {

// GetProcAddress hands back a generic function pointer; the cast through
// void* says that the prototype is the interface's, not the compiler's.
template <typename Proc>
Proc Find(HMODULE module, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool LoadPlugin(const std::string& path, Plugin* plugin) {
  plugin->path = path;
  plugin->module = LoadLibraryA(path.c_str());
  if (plugin->module == nullptr) {
    const DWORD error = GetLastError();
    // The usual cause of this one is a plug-in of the other width.
    if (error == ERROR_BAD_EXE_FORMAT) {
      fprintf(stderr, "spihost: cannot load plug-in %s: not a DLL for this %d-bit host (%lu)\n",
              path.c_str(), static_cast<int>(sizeof(void*) * 8), error);
    } else {
      fprintf(stderr, "spihost: cannot load plug-in %s: %s\n", path.c_str(),
              SystemErrorText(error).c_str());
    }
    return false;
  }
  plugin->get_plugin_info = Find<GetPluginInfoProc>(plugin->module, "GetPluginInfo");
  plugin->is_supported = Find<IsSupportedProc>(plugin->module, "IsSupported");
  plugin->get_archive_info = Find<GetArchiveInfoProc>(plugin->module, "GetArchiveInfo");
  plugin->get_file = Find<GetFileProc>(plugin->module, "GetFile");
  return true;
}

void UnloadPlugin(Plugin* plugin) {
  if (plugin->module != nullptr) FreeLibrary(plugin->module);
  plugin->module = nullptr;
}

bool RequireExport(const Plugin& plugin, bool present, const char* name) {
  if (!present) {
    fprintf(stderr, "spihost: plug-in %s has no export named %s\n", plugin.path.c_str(), name);
  }
  return present;
}
