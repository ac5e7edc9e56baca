#include "system/tool_folder_rules.h"

#include <algorithm>

#include "app/error_catalogue.h"
#include "settings/fixed_names.h"
#include "system/tool_signature.h"

namespace {

std::string mebibytes(std::uint64_t bytes) { return std::to_string(bytes / (1024 * 1024)); }

// The 2020s reason for a file that cannot be copied, or "" when it can.
std::string copyProblem(const std::string& folder, const ToolFolderFile& file,
                        std::uint64_t total) {
  switch (file.outcome) {
    case platform::CopyOutcome::link:
      return "a link, not a file";
    case platform::CopyOutcome::failed:
      return file.problem;
    case platform::CopyOutcome::tooLarge:
    case platform::CopyOutcome::copied:
      break;
  }
  if (total > toolFolderLimit || file.outcome == platform::CopyOutcome::tooLarge) {
    return "more than " + mebibytes(toolFolderLimit) + " MiB in " + folder;
  }
  return "";
}

std::optional<std::string> firstCopyRefusal(const std::string& folder,
                                            const std::vector<ToolFolderFile>& files) {
  std::uint64_t total = 0;
  for (const ToolFolderFile& file : files) {
    total += file.size;
    std::string problem = copyProblem(folder, file, total);
    if (!problem.empty()) return formatError("2020s", {folder + file.name, problem});
  }
  return std::nullopt;
}

// The named tool is checked first, whatever its first bytes: it is the one that runs.
std::vector<const ToolFolderFile*> programsInCheckOrder(const std::string& namedTool,
                                                        const std::vector<ToolFolderFile>& files) {
  std::vector<const ToolFolderFile*> programs;
  for (const ToolFolderFile& file : files) {
    if (file.name == namedTool) programs.insert(programs.begin(), &file);
    if (file.isProgram && file.name != namedTool) programs.push_back(&file);
  }
  return programs;
}

}  // namespace

bool startsAsProgram(std::string_view firstBytes) { return firstBytes.substr(0, 2) == "MZ"; }

std::vector<std::string> acceptedSigners(bool namedTool) {
  if (namedTool) return {toolSignerName};
  return {toolSignerName, runtimeSignerName};
}

std::optional<std::string> toolFolderRefusal(
    const std::string& folder, const std::string& namedTool,
    const std::vector<ToolFolderFile>& files,
    const std::function<platform::Signature(const std::string&)>& signatureOf, bool allowUnsigned,
    std::vector<std::string>& admittedUnsigned) {
  if (std::optional<std::string> refusal = firstCopyRefusal(folder, files)) return refusal;
  for (const ToolFolderFile* file : programsInCheckOrder(namedTool, files)) {
    platform::Signature signature = signatureOf(file->name);
    std::optional<std::string> finding =
        signatureFinding(signature, acceptedSigners(file->name == namedTool));
    if (!finding) continue;
    if (signature.state == platform::SignatureState::none && allowUnsigned) {
      admittedUnsigned.push_back(file->name);
      continue;
    }
    return formatError("2018s", {file->name, *finding});
  }
  return std::nullopt;
}

std::optional<std::string> imageNameRefusal(const std::string& image) {
  std::string file = firmwareFolder + image;
  std::string rest = "\\" + file + "\\";
  std::replace(rest.begin(), rest.end(), '/', '\\');
  if (rest.find("\\..\\") != std::string::npos || rest.find("\\.\\") != std::string::npos ||
      rest.find("\\\\") != std::string::npos) {
    return formatError("2020s", {file, "a name that leaves " + firmwareFolder});
  }
  return std::nullopt;
}
