// The commands of spihost. Each takes a loaded plug-in and file names in
// Windows form, prints what it finds on stdout and what goes wrong on
// stderr, and returns the program's exit status.
#ifndef GLYPHBOX_TOOLS_SPIHOST_COMMANDS_H
#define GLYPHBOX_TOOLS_SPIHOST_COMMANDS_H

#include <string>
#include <vector>

#include "tools/spihost/plugin_api.h"

const int kExitOk = 0;
// The request failed, or (probe) the plug-in does not claim the file.
const int kExitFailed = 1;
// Bad command line, or a plug-in that cannot be loaded or lacks an export.
const int kExitUnusable = 2;

struct ExtractOptions {
  bool memory = false;   // GetFile hands each member over in memory
  bool verbose = false;  // print each call and the progress reports
};

// The information strings, GetPluginInfo index 0 upwards.
int RunInfo(const Plugin& plugin);
// Whether IsSupported claims `file`, asked with an open handle and with the
// file's first 2 KB.
int RunProbe(const Plugin& plugin, const std::string& file);
// The table of members from GetArchiveInfo.
int RunList(const Plugin& plugin, const std::string& file);
// Every member, or those named, through GetFile into `dir`.
int RunExtract(const Plugin& plugin, const std::string& file, const std::string& dir,
               const std::vector<std::string>& names, const ExtractOptions& options);

#endif
