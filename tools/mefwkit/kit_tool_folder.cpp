#include "mefwkit/kit_tool_folder.h"

#include <algorithm>

#include "app/error_catalogue.h"
#include "platform/platform.h"
#include "settings/fixed_names.h"
#include "system/tool_folder_rules.h"

namespace {

// Each file as the installer finds it when it copies the folder into its stage.
std::vector<ToolFolderFile> toolFolderFiles(const std::string& folder) {
  std::vector<std::string> names =
      platform::filesInFolder(folder).value_or(std::vector<std::string>{});
  std::sort(names.begin(), names.end());
  std::vector<ToolFolderFile> files;
  for (const std::string& name : names) {
    platform::FileCopy found = platform::inspectFileNoLinks(folder + name);
    files.push_back(
        {name, found.outcome, found.size, startsAsProgram(found.firstBytes), found.problem});
  }
  return files;
}

}  // namespace

ToolFolderVerdict judgeToolFolder(const std::string& folder, const std::string& namedTool,
                                  bool checkSignatures, bool allowUnsigned) {
  ToolFolderVerdict verdict;
  bool asked = false;
  bool unsupported = false;
  verdict.refusal = toolFolderRefusal(
      folder, namedTool, toolFolderFiles(folder),
      [&](const std::string& name) {
        // A signature that is not asked for is one this build cannot check: the rules then
        // pass the file, as the installer's POSIX build does.
        if (!checkSignatures) return platform::Signature{};
        asked = true;
        platform::Signature signature = platform::checkProgramSignature(folder + name);
        unsupported = unsupported || signature.state == platform::SignatureState::notSupported;
        return signature;
      },
      allowUnsigned, verdict.admittedUnsigned);
  // A folder refused before any signature was asked must still say whether this build can
  // check them, or a gate would take a plan without signatures for a checked one.
  if (checkSignatures && !asked) {
    unsupported = platform::checkProgramSignature(folder + namedTool).state ==
                  platform::SignatureState::notSupported;
  }
  verdict.signaturesChecked = checkSignatures && !unsupported;
  return verdict;
}

std::optional<std::string> imageCopyRefusal(const std::string& image) {
  std::string file = firmwareFolder + image;
  if (std::optional<std::string> leaves = imageNameRefusal(image)) return leaves;
  platform::FileCopy found = platform::inspectFileNoLinks(file);
  if (found.outcome == platform::CopyOutcome::link) {
    return formatError("2020s", {file, "a link, not a file"});
  }
  if (found.outcome == platform::CopyOutcome::failed) {
    return formatError("2020s", {file, found.problem});
  }
  return std::nullopt;
}
