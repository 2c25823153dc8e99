// Texts for what went wrong: the plug-in interface's return codes and the
// system's error codes.
#ifndef GLYPHBOX_TOOLS_SPIHOST_SYSTEM_TEXT_H
#define GLYPHBOX_TOOLS_SPIHOST_SYSTEM_TEXT_H

#include <windows.h>

#include <string>

// "cannot write the output file (8)", "unknown error 3 (3)" and so on: what
// a return code of GetArchiveInfo or GetFile means, with the code itself.
std::string ResultText(int rc);

// The system's message for GetLastError's `code`, without its line break,
// followed by the number: "The system cannot find the file specified (2)".
std::string SystemErrorText(DWORD code);

#endif
