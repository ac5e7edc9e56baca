// Names of the files, folders and commands a run uses. Every backslash is one backslash
// character: they are Windows paths relative to the working folder.
#pragma once

#include <string>

inline const std::string fwVersionCommand = "ME_Flash\\Local-Win\\FwUpdLcl64.exe -fwver";
inline const std::string toolFolder = "ME_Flash\\Local-Win\\";
inline const std::string firmwareFolder = "ME_Flash\\";
inline const std::string toolFileName = "FwUpdLcl64.exe";
// What the BIOS query asks wmic, and the command as the query announces it.
inline const std::string biosVersionArguments = "bios get smbiosbiosversion";
inline const std::string biosVersionCommand = "wmic " + biosVersionArguments;
inline const std::string readmeFileName = "README.htm";
inline const std::string runLogFileName = "runLog.log";
inline const std::string errorLogFileName = "installerError.log";
