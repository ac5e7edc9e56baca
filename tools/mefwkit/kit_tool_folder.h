// A tool folder of the Kitbox judged by the rules the installer applies to the private copies
// it makes of it, so that check and plan foresee the same refusal the installer would raise.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ToolFolderVerdict {
  // The 2018s or 2020s message the installer would end with, or nothing.
  std::optional<std::string> refusal;
  // Program files without any signature that passed only because unsigned files were allowed.
  std::vector<std::string> admittedUnsigned;
  // False when some signature could not be checked on this build (POSIX), or none was asked.
  bool signaturesChecked = true;
};

// The Kitbox's `folder` with the program `namedTool`, its files looked at without following a
// link, in the installer's order. `checkSignatures` false judges links, reads and size only;
// `allowUnsigned` lets a program file without any signature pass, as -allowunsigned does.
ToolFolderVerdict judgeToolFolder(const std::string& folder, const std::string& namedTool,
                                  bool checkSignatures, bool allowUnsigned);

// Why the installer would refuse to copy the image `image` of ME_Flash\ that it found there
// (a name that leaves the folder, a link, a file the system would not give), as the 2020s
// message, or nothing.
std::optional<std::string> imageCopyRefusal(const std::string& image);
