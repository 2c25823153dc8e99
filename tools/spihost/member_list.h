// The member list a plug-in gives for a file, copied out of its block.
#ifndef GLYPHBOX_TOOLS_SPIHOST_MEMBER_LIST_H
#define GLYPHBOX_TOOLS_SPIHOST_MEMBER_LIST_H

#include <stddef.h>

#include <string>
#include <vector>

#include "tools/spihost/plugin_api.h"

// Lists `file` with GetArchiveInfo, copies the records before the end
// record into `members` and frees the block with LocalFree. On failure
// prints why and returns false.
bool FetchMembers(const Plugin& plugin, const std::string& file, std::vector<fileInfo>* members);

// A text field of a record, up to its NUL or the end of the field, so that
// a record without a terminator cannot make us read past it.
std::string FieldText(const char* field, size_t size);

// The member's full name, as GetFileInfo takes it: path, then file name.
std::string MemberName(const fileInfo& member);

#endif
