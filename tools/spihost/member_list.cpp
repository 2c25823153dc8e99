#include "tools/spihost/member_list.h"

#include <stdio.h>
#include <string.h>

#include "tools/spihost/system_text.h"

bool FetchMembers(const Plugin& plugin, const std::string& file, std::vector<fileInfo>* members) {
  if (!RequireExport(plugin, plugin.get_archive_info != nullptr, "GetArchiveInfo")) return false;
  // The plug-in's code for a missing file also covers files it does not
  // know, so say which it is first.
  const DWORD attributes = GetFileAttributesA(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    fprintf(stderr, "spihost: cannot open %s: %s\n", file.c_str(),
            SystemErrorText(GetLastError()).c_str());
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    fprintf(stderr, "spihost: %s is a directory\n", file.c_str());
    return false;
  }
  HLOCAL block = nullptr;
  const int rc = plugin.get_archive_info(file.c_str(), 0, kInputFile, &block);
  if (rc != 0) {
    fprintf(stderr, "spihost: cannot list %s: %s\n", file.c_str(), ResultText(rc).c_str());
    return false;
  }
  if (block == nullptr) {
    fprintf(stderr, "spihost: cannot list %s: the plug-in reported success but gave no list\n",
            file.c_str());
    return false;
  }
  // The list ends at a record whose method starts with a NUL. The block's
  // own size bounds the walk, in case a plug-in leaves the end record out.
  const size_t capacity = LocalSize(block) / sizeof(fileInfo);
  const char* bytes = static_cast<const char*>(LocalLock(block));
  members->clear();
  bool ended = false;
  for (size_t i = 0; bytes != nullptr && i < capacity; ++i) {
    fileInfo record;
    memcpy(&record, bytes + i * sizeof(fileInfo), sizeof record);
    if (record.method[0] == '\0') {
      ended = true;
      break;
    }
    members->push_back(record);
  }
  LocalUnlock(block);
  LocalFree(block);
  if (!ended) {
    fprintf(stderr, "spihost: warning: the list of %s has no end record; using the %u records "
            "its block holds\n", file.c_str(), static_cast<unsigned>(members->size()));
  }
  return true;
}

std::string FieldText(const char* field, size_t size) {
  size_t n = 0;
  while (n < size && field[n] != '\0') ++n;
  return std::string(field, n);
}

std::string MemberName(const fileInfo& member) {
  return FieldText(member.path, sizeof member.path) +
         FieldText(member.filename, sizeof member.filename);
}
