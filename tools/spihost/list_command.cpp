#include <stdio.h>

#include <algorithm>

#include "tools/spihost/commands.h"
#include "tools/spihost/member_list.h"

int RunList(const Plugin& plugin, const std::string& file) {
  std::vector<fileInfo> members;
  if (!FetchMembers(plugin, file, &members)) return kExitFailed;

  int path_width = 4;  // "path"
  int name_width = 4;  // "name"
  for (const fileInfo& m : members) {
    path_width = std::max(path_width, static_cast<int>(FieldText(m.path, sizeof m.path).size()));
    name_width =
        std::max(name_width, static_cast<int>(FieldText(m.filename, sizeof m.filename).size()));
  }
  printf("%-*s  %-*s  %10s  %10s  %10s  %10s  %s\n", path_width, "path", name_width, "name",
         "position", "compsize", "filesize", "offset", "method");
  for (const fileInfo& m : members) {
    printf("%-*s  %-*s  %10llu  %10llu  %10llu  %10lu  %s\n", path_width,
           FieldText(m.path, sizeof m.path).c_str(), name_width,
           FieldText(m.filename, sizeof m.filename).c_str(),
           static_cast<unsigned long long>(m.position), static_cast<unsigned long long>(m.compsize),
           static_cast<unsigned long long>(m.filesize), static_cast<unsigned long>(m.crc),
           FieldText(m.method, sizeof m.method).c_str());
  }
  printf("%u member%s\n", static_cast<unsigned>(members.size()), members.size() == 1 ? "" : "s");
  return kExitOk;
}
