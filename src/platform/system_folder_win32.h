// Windows' system folder, and how the installer starts programs from it. The installer runs
// with administrator rights from a folder that anyone may have written to (a download folder,
// a USB stick, a deployment cache), so nothing it starts may be found there or along PATH.
#pragma once

#include <string>

namespace platform {

// A folder name the system gave (`length` wide characters) in the narrow text of the program's
// command lines and paths; "" when it cannot be carried there exactly.
std::string exactNarrowName(const wchar_t* name, unsigned length);

// The system folder as GetSystemDirectoryW names it, in the narrow text of the program's
// command lines; "" when it cannot be named so.
std::string systemFolder();

// cmd.exe of the system folder. Never %ComSpec%: any user may set that, in HKCU\Environment.
std::string commandInterpreter();

// Gives every command started from now on NoDefaultCurrentDirectoryInExePath=1, which keeps
// cmd.exe from looking for a bare program name in the working folder.
void keepCommandsFromWorkingFolder();

}  // namespace platform
