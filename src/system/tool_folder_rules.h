// What a tool folder of the Kitbox may hold. The installer applies these rules to the copies it
// makes in its stage before it runs anything from there; mefwkit applies them to the Kitbox to
// foresee what the installer will say.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// The most a tool folder may hold, all its files together: far beyond any of Intel's, and small
// enough that the copies never fill the system's temporary folder.
constexpr std::uint64_t toolFolderLimit = 256ull * 1024 * 1024;

// One entry found directly in a tool folder (a plain file, or a link that a plain file's name
// reaches), as far as the rules need it.
struct ToolFolderFile {
  std::string name;
  // copied: read as a file; link: a link, never followed; tooLarge: larger than what was left
  // of toolFolderLimit; failed: the system refused, `problem` says why.
  platform::CopyOutcome outcome = platform::CopyOutcome::copied;
  std::uint64_t size = 0;
  // Starts with "MZ", whatever its name: Windows loads such a file as a program or a DLL.
  bool isProgram = false;
  std::string problem;
};

// True for the first bytes of a file that Windows would load as code.
bool startsAsProgram(std::string_view firstBytes);

// The signers a program file of a tool folder may carry: the named tool Intel's alone, any
// other (a DLL a tool ships) Intel's or Microsoft's, for the runtimes some tools carry.
std::vector<std::string> acceptedSigners(bool namedTool);

// Why the installer refuses a tool folder, as the message it raises, or nothing. In the order
// of `files`: 2020s for a link, for a file the system would not give, and for the file at
// which the folder's total passes toolFolderLimit. Then, the named tool first (whatever its
// first bytes) and the other program files in order, 2018s for the first whose signature
// (asked of `signatureOf`, by name, for these files only) is not of an accepted signer. With
// `allowUnsigned` a program file without any signature passes and its name is added to
// `admittedUnsigned`.
std::optional<std::string> toolFolderRefusal(
    const std::string& folder, const std::string& namedTool,
    const std::vector<ToolFolderFile>& files,
    const std::function<platform::Signature(const std::string&)>& signatureOf, bool allowUnsigned,
    std::vector<std::string>& admittedUnsigned);

// The 2020s message for an image name from input.txt that would leave the firmware folder once
// its folders are walked ("..", ".", an empty folder name), or nothing. Such a name is never
// copied: the stage keeps the Kitbox's layout, and this one would lead out of it.
std::optional<std::string> imageNameRefusal(const std::string& image);
