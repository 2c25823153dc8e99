// Loading the plug-in into the emulated process as the Windows loader does
// it: map the image away from its preferred base, apply its relocations,
// bind its imports by name to the host's implementations, and call its entry
// point for DLL_PROCESS_ATTACH; unloading calls it for DLL_PROCESS_DETACH.
#ifndef GLYPHBOX_TESTS_EMU_LOADER_H
#define GLYPHBOX_TESTS_EMU_LOADER_H

#include <string>
#include <vector>

#include "tests/emu/machine.h"
#include "tests/emu/process.h"

namespace emu {

// Maps p.pe (read from p.module_path) and runs DllMain(DLL_PROCESS_ATTACH).
bool LoadModule(Process& p, std::string* error);
// Runs DllMain(DLL_PROCESS_DETACH) and unmaps the image. False if DllMain
// faulted (the fault is reported); the image is unmapped either way.
bool UnloadModule(Process& p);

// Calls the export `name` (see CallGuest) and checks that it closed every
// file it opened; false after a fault, which is reported.
bool CallExport(Process& p, const std::string& name, const std::vector<GuestArg>& args,
                uint64_t* result);

// Unloads the module and checks that it gave back every heap block and
// handle it took; what it kept is reported (once) and stays allocated.
void UnloadModuleChecked(Process& p);

// The guest address of the export `name`, or 0.
uint64_t ExportAddress(const Process& p, const std::string& name);

}  // namespace emu

#endif
