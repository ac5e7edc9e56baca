// What the Windows file functions share, and the rules they follow that can be tested without
// a file system.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// The protected DACL of a stage: full control for SYSTEM and Administrators, nothing for anyone
// else, nothing inherited from the folder above.
const char* stageFolderAccess();

// True for a reparse point that stands for another name (a symbolic link, a junction), which is
// never followed; false for the others (cloud placeholders, deduplicated or compressed files),
// which read as the files they are.
bool isLinkTag(DWORD reparseTag);

// The FolderRight bits that an access mask on a folder grants.
unsigned folderRightsOf(ACCESS_MASK mask);

// The command line that runs a command through the system folder's cmd.exe: /d, so that no
// AutoRun command of the registry runs first (a "cd" there would re-point every relative path).
std::string interpreterCommandLine(const std::string& interpreter, const std::string& command);

// A path in the wide text the file functions take (from the program's narrow text).
std::wstring widePath(const std::string& path);

// Keeps a file open until the process ends or letGoOfHeldFiles closes it.
void holdFile(HANDLE file);

}  // namespace platform
