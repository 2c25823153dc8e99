#include <stdio.h>

#include "tools/spihost/commands.h"
#include "tools/spihost/member_list.h"
#include "tools/spihost/paths.h"
#include "tools/spihost/system_text.h"

namespace {

// What the progress callback sees. The plug-in hands `lData` back on every
// call; it is a cookie here, compared, never dereferenced.
struct Progress {
  bool verbose = false;
  intptr_t cookie = 0;
  int calls = 0;
  int wrong_data = 0;
};
Progress g_progress;

int WINAPI ReportProgress(int num, int denom, intptr_t data) {
  ++g_progress.calls;
  if (data != g_progress.cookie) ++g_progress.wrong_data;
  if (g_progress.verbose) {
    printf("    progress %d/%d%s\n", num, denom, data != g_progress.cookie ? " (lData changed)" : "");
  }
  return 0;
}

char ToLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Member names compare case-insensitively; a '/' typed on the command line
// stands for the '\' of the member's path.
bool SameName(const std::string& member, const std::string& wanted) {
  if (member.size() != wanted.size()) return false;
  for (size_t i = 0; i < member.size(); ++i) {
    const char w = wanted[i] == '/' ? '\\' : wanted[i];
    if (ToLowerAscii(member[i]) != ToLowerAscii(w)) return false;
  }
  return true;
}

bool Matches(const fileInfo& member, const std::string& wanted) {
  return SameName(MemberName(member), wanted) ||
         SameName(FieldText(member.filename, sizeof member.filename), wanted);
}

// Writes `size` bytes to a new file; like the plug-in's own directory
// output, an existing file is not replaced.
bool WriteNewFile(const std::string& path, const void* bytes, size_t size, std::string* problem) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *problem = "cannot create " + path + ": " + SystemErrorText(GetLastError());
    return false;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) &&
                  written == size;
  if (!ok) *problem = "cannot write " + path + ": " + SystemErrorText(GetLastError());
  CloseHandle(file);
  return ok;
}

// GetFile with flag 0x100: the plug-in hands over an HLOCAL, which we write
// to dir\filename and free.
bool ExtractToMemory(const Plugin& plugin, const std::string& file, const std::string& target,
                     const fileInfo& member, std::string* problem) {
  HLOCAL block = nullptr;
  const int rc = plugin.get_file(file.c_str(), static_cast<intptr_t>(member.position),
                                 reinterpret_cast<char*>(&block), kOutputMemory, ReportProgress,
                                 g_progress.cookie);
  if (rc != 0) {
    *problem = ResultText(rc);
    return false;
  }
  if (block == nullptr) {
    *problem = "the plug-in reported success but handed over no memory";
    return false;
  }
  const size_t size = LocalSize(block);
  const void* bytes = LocalLock(block);
  bool ok = false;
  if (bytes == nullptr) {
    *problem = "cannot lock the plug-in's memory block: " + SystemErrorText(GetLastError());
  } else if (size < member.filesize) {
    *problem = "the plug-in's memory block holds " + std::to_string(size) +
               " bytes, fewer than the member's " + std::to_string(member.filesize);
  } else {
    ok = WriteNewFile(target, bytes, member.filesize, problem);
  }
  LocalUnlock(block);
  LocalFree(block);
  return ok;
}

// GetFile with flag 0: the plug-in writes dir\filename itself. The file it
// wrote should have the size the list gave.
bool ExtractToDirectory(const Plugin& plugin, const std::string& file, const std::string& dir,
                        const std::string& target, const fileInfo& member, std::string* problem) {
  std::string dest = dir;
  const int rc = plugin.get_file(file.c_str(), static_cast<intptr_t>(member.position), &dest[0],
                                 kOutputDir, ReportProgress, g_progress.cookie);
  if (rc != 0) {
    *problem = ResultText(rc);
    return false;
  }
  WIN32_FILE_ATTRIBUTE_DATA written;
  if (!GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &written)) {
    *problem = "the plug-in reported success but " + target + " is not there";
    return false;
  }
  const unsigned long long size =
      (static_cast<unsigned long long>(written.nFileSizeHigh) << 32) | written.nFileSizeLow;
  if (size != member.filesize) {
    printf("    warning: %s has %llu bytes, the list says %llu\n", target.c_str(), size,
           static_cast<unsigned long long>(member.filesize));
  }
  return true;
}

}  // namespace

int RunExtract(const Plugin& plugin, const std::string& file, const std::string& dir,
               const std::vector<std::string>& names, const ExtractOptions& options) {
  if (!RequireExport(plugin, plugin.get_file != nullptr, "GetFile")) return kExitUnusable;
  std::vector<fileInfo> members;
  if (!FetchMembers(plugin, file, &members)) return kExitFailed;

  int failed = 0;
  std::vector<const fileInfo*> chosen;
  for (const fileInfo& m : members) {
    bool wanted = names.empty();
    for (const std::string& name : names) wanted = wanted || Matches(m, name);
    if (wanted) chosen.push_back(&m);
  }
  for (const std::string& name : names) {
    bool found = false;
    for (const fileInfo& m : members) found = found || Matches(m, name);
    if (!found) {
      fprintf(stderr, "spihost: %s has no member named %s\n", file.c_str(), name.c_str());
      ++failed;
    }
  }
  if (!chosen.empty() && !MakeDirectories(dir)) return kExitFailed;

  printf("extracting %u of %u members of %s into %s%s\n", static_cast<unsigned>(chosen.size()),
         static_cast<unsigned>(members.size()), file.c_str(), dir.c_str(),
         options.memory ? " (through memory)" : "");
  g_progress = Progress();
  g_progress.verbose = options.verbose;
  g_progress.cookie = static_cast<intptr_t>(0x5A5A1234);
  int extracted = 0;
  for (const fileInfo* m : chosen) {
    const std::string name = MemberName(*m);
    const std::string target = JoinPath(dir, FieldText(m->filename, sizeof m->filename));
    if (options.verbose) {
      printf("  GetFile(\"%s\", %llu, %s, 0x%03x)\n", file.c_str(),
             static_cast<unsigned long long>(m->position),
             options.memory ? "&block" : ("\"" + dir + "\"").c_str(),
             options.memory ? kOutputMemory : kOutputDir);
    }
    std::string problem;
    const bool ok = options.memory ? ExtractToMemory(plugin, file, target, *m, &problem)
                                   : ExtractToDirectory(plugin, file, dir, target, *m, &problem);
    if (ok) {
      printf("  ok      %s -> %s (%llu bytes)\n", name.c_str(), target.c_str(),
             static_cast<unsigned long long>(m->filesize));
      ++extracted;
    } else {
      printf("  failed  %s: %s\n", name.c_str(), problem.c_str());
      ++failed;
    }
  }
  if (g_progress.wrong_data != 0) {
    printf("warning: %d progress calls came back with a different lData\n", g_progress.wrong_data);
  }
  printf("%d extracted, %d failed\n", extracted, failed);
  return failed == 0 ? kExitOk : kExitFailed;
}
