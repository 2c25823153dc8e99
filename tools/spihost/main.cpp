// spihost: a small host for archive plug-ins ("00AM"). It loads any such
// plug-in by path and drives its exports by name, the way an image viewer
// does, so that a plug-in can be tried from the command line:
//
//   spihost PLUGIN info
//   spihost PLUGIN probe FILE
//   spihost PLUGIN list FILE
//   spihost PLUGIN extract FILE DIR [NAME...] [--memory] [--verbose]
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/spihost/commands.h"
#include "tools/spihost/paths.h"
#include "tools/spihost/plugin_api.h"

namespace {

const char kUsage[] =
    "usage: spihost PLUGIN COMMAND [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Loads the archive plug-in PLUGIN (a DLL of this program's width) and\n"
    "calls its exports as an image viewer does.\n"
    "\n"
    "commands:\n"
    "  info                        print the plug-in's information strings\n"
    "  probe FILE                  ask IsSupported whether the plug-in claims FILE\n"
    "                              (exit status 0 if it does, 1 if not)\n"
    "  list FILE                   print the members GetArchiveInfo gives for FILE\n"
    "  extract FILE DIR [NAME...]  extract every member of FILE, or the members\n"
    "                              NAMEd (path and name, or name alone; case does\n"
    "                              not matter, '/' stands for '\\'), into DIR\n"
    "options (before or after the command):\n"
    "  --memory    extract: have GetFile hand each member over in memory, and\n"
    "              write it to DIR here\n"
    "  --verbose   extract: print each GetFile call and its progress reports\n"
    "  --help      print this text\n"
    "  --          end of options\n"
    "\n"
    "Paths that start with '/' are Unix paths and are passed on as Z:\\...\n"
    "Exit status: 0 done, 1 failed (or probe: not claimed), 2 bad command line\n"
    "or a plug-in that cannot be loaded or lacks an export.\n";

int UsageError(const char* problem) {
  fprintf(stderr, "spihost: %s\n\n%s", problem, kUsage);
  return kExitUnusable;
}

struct CommandLine {
  std::vector<std::string> words;  // everything but the options
  ExtractOptions extract;
  bool help = false;
};

// Options may come anywhere; "--" ends them, for a member name that starts
// with a dash.
bool ParseCommandLine(int argc, char** argv, CommandLine* line, std::string* problem) {
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (options && word == "--") {
      options = false;
    } else if (options && word == "--memory") {
      line->extract.memory = true;
    } else if (options && (word == "--verbose" || word == "-v")) {
      line->extract.verbose = true;
    } else if (options && (word == "--help" || word == "-h")) {
      line->help = true;
    } else if (options && word.size() > 1 && word[0] == '-') {
      *problem = "unknown option " + word;
      return false;
    } else {
      line->words.push_back(word);
    }
  }
  return true;
}

// Each command with the number of arguments it takes.
struct CommandShape {
  const char* name;
  size_t min_arguments;
  size_t max_arguments;
};
const CommandShape kCommands[] = {
    {"info", 0, 0}, {"probe", 1, 1}, {"list", 1, 1}, {"extract", 2, SIZE_MAX}};

bool KnownCommand(const CommandLine& line) {
  const size_t arguments = line.words.size() - 2;
  for (const CommandShape& shape : kCommands) {
    if (line.words[1] == shape.name && arguments >= shape.min_arguments &&
        arguments <= shape.max_arguments) {
      return true;
    }
  }
  return false;
}

// Runs a command that KnownCommand accepted.
int Run(const Plugin& plugin, const CommandLine& line) {
  const std::vector<std::string>& w = line.words;
  if (w[1] == "info") return RunInfo(plugin);
  if (w[1] == "probe") return RunProbe(plugin, WindowsPath(w[2]));
  if (w[1] == "list") return RunList(plugin, WindowsPath(w[2]));
  const std::vector<std::string> names(w.begin() + 4, w.end());
  return RunExtract(plugin, WindowsPath(w[2]), WindowsPath(w[3]), names, line.extract);
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  std::string problem;
  if (!ParseCommandLine(argc, argv, &line, &problem)) return UsageError(problem.c_str());
  if (line.help) {
    fputs(kUsage, stdout);
    return kExitOk;
  }
  if (line.words.size() < 2) return UsageError("a plug-in and a command are needed");
  if (!KnownCommand(line)) {
    return UsageError(("unknown command, or wrong number of arguments for " + line.words[1]).c_str());
  }
  if (line.extract.memory && line.words[1] != "extract") {
    return UsageError("--memory applies to extract only");
  }

  Plugin plugin;
  if (!LoadPlugin(WindowsPath(line.words[0]), &plugin)) return kExitUnusable;
  const int status = Run(plugin, line);
  // Output first, then the unload: the plug-in frees its cache on detach.
  fflush(stdout);
  UnloadPlugin(&plugin);
  return status;
}
