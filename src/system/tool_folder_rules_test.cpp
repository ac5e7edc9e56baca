#include "system/tool_folder_rules.h"

#include "test_support.h"

namespace {

using platform::CopyOutcome;
using platform::Signature;
using platform::SignatureState;

const std::string toolDir = "ME_Flash\\Local-Win\\";
const std::string namedTool = "FwUpdLcl64.exe";

// The catalogue the messages come from is set up as at the installer's start.
class ToolFolderRulesTest : public UnitTest {};

std::optional<std::string> judge(const std::vector<ToolFolderFile>& files,
                                 std::map<std::string, Signature> signatures = {},
                                 bool allowUnsigned = false) {
  std::vector<std::string> admitted;
  return toolFolderRefusal(
      toolDir, namedTool, files,
      [&](const std::string& name) {
        auto found = signatures.find(name);
        return found == signatures.end() ? Signature{SignatureState::valid, "Intel Corporation", ""}
                                         : found->second;
      },
      allowUnsigned, admitted);
}

ToolFolderFile entry(const std::string& name, CopyOutcome outcome, std::uint64_t size = 1,
                     bool isProgram = false) {
  ToolFolderFile file;
  file.name = name;
  file.outcome = outcome;
  file.size = size;
  file.isProgram = isProgram;
  return file;
}

std::string copyRefusal(const std::string& file, const std::string& why) {
  return "ERROR 2020s: The Kitbox file " + file +
         " could not be copied to the installer's private folder: " + why + ".";
}

TEST_F(ToolFolderRulesTest, TheFolderTotalMayReachTheLimitButNotPassIt) {
  std::uint64_t half = toolFolderLimit / 2;
  EXPECT_EQ(judge({entry("a.dat", CopyOutcome::copied, half),
                   entry(namedTool, CopyOutcome::copied, half)}),
            std::nullopt);
  EXPECT_EQ(judge({entry("a.dat", CopyOutcome::copied, half),
                   entry(namedTool, CopyOutcome::copied, half + 1)}),
            copyRefusal(toolDir + namedTool, "more than 256 MiB in " + toolDir));
  // The copy stops where the limit ran out; the rules name that file.
  EXPECT_EQ(judge({entry("a.dat", CopyOutcome::tooLarge, toolFolderLimit + 1)}),
            copyRefusal(toolDir + "a.dat", "more than 256 MiB in " + toolDir));
}

TEST_F(ToolFolderRulesTest, CopyingDecidesBeforeAnySignatureAndTheNamedToolIsCheckedFirst) {
  std::map<std::string, Signature> foreign = {
      {"a.dll", {SignatureState::valid, "Other Tools Corporation", ""}},
      {namedTool, {SignatureState::altered, "", ""}}};
  EXPECT_EQ(
      judge({entry("a.dll", CopyOutcome::copied, 1, true),
             entry(namedTool, CopyOutcome::copied, 1, true), entry("z.dat", CopyOutcome::link)},
            foreign),
      copyRefusal(toolDir + "z.dat", "a link, not a file"));
  std::optional<std::string> refusal = judge({entry("a.dll", CopyOutcome::copied, 1, true),
                                              entry(namedTool, CopyOutcome::copied, 1, true)},
                                             foreign);
  ASSERT_TRUE(refusal);
  EXPECT_NE(refusal->find("FwUpdLcl64.exe"), std::string::npos) << *refusal;
  // A DLL may carry Microsoft's runtime signature; a file that is no program is never asked.
  EXPECT_EQ(judge({entry("a.dll", CopyOutcome::copied, 1, true),
                   entry("notes.txt", CopyOutcome::copied, 1, false),
                   entry(namedTool, CopyOutcome::copied, 1, false)},
                  {{"a.dll", {SignatureState::valid, "Microsoft Corporation", ""}},
                   {"notes.txt", {SignatureState::none, "", ""}}}),
            std::nullopt);
}

TEST_F(ToolFolderRulesTest, AnImageNameThatLeavesTheFirmwareFolderIsRefused) {
  for (const std::string image : {"..\\x.bin", "a/../../x.bin", "a\\.\\x.bin", "a\\\\x.bin"}) {
    EXPECT_EQ(imageNameRefusal(image),
              copyRefusal("ME_Flash\\" + image, "a name that leaves ME_Flash\\"))
        << image;
  }
  for (const std::string image : {"11.8.55.3510.bin", "sub\\11.8.55.3510.bin", "a..b.bin"}) {
    EXPECT_EQ(imageNameRefusal(image), std::nullopt) << image;
  }
}

}  // namespace
