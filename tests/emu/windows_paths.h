// Windows file names, as the plug-in passes them, on the Linux file system
// the emulated host runs on. Drive Z: is the root of the Linux file system,
// as under Wine; both separators work; "." and ".." are folded away by name,
// before the disk is looked at, and a trailing dot or space is dropped from
// each component, as Windows does; letter case does not matter when a name
// is looked up. Names longer than MAX_PATH are refused unless they start
// with "\\?\", which also turns the folding off.
#ifndef GLYPHBOX_TESTS_EMU_WINDOWS_PATHS_H
#define GLYPHBOX_TESTS_EMU_WINDOWS_PATHS_H

#include <stdint.h>

#include <string>

namespace emu {

// The Linux path for `name`, or a Win32 error code (0 on success). A name
// whose last component does not exist yet resolves to the path it would be
// created under.
uint32_t ResolveWindowsName(const std::string& name, std::string* path);

// The Windows name ("Z:\...") under which the plug-in sees a Linux path.
std::string WindowsName(const std::string& path);

// The Win32 error for a failed open or stat of `path`.
uint32_t ErrorFromErrno(int err, const std::string& path);

}  // namespace emu

#endif
