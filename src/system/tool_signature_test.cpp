#include "system/tool_signature.h"

#include "app/return_code.h"
#include "console/messages.h"
#include "settings/run_settings.h"
#include "system/tool_stage.h"
#include "test_support.h"

namespace {

using platform::Signature;
using platform::SignatureState;

// The copy in the stage is what is checked, never the Kitbox's file.
const std::string tool = "stage-1\\ME_Flash\\Local-Win\\FwUpdLcl64.exe";

std::string refusal(const std::string& finding) {
  return "ERROR 2018s: The tool FwUpdLcl64.exe is not signed by Intel Corporation (" + finding +
         "). The Kitbox may have been altered: get it again from Norvane.";
}

class ToolSignatureTest : public UnitTest {
 protected:
  void SetUp() override {
    UnitTest::SetUp();
    std::filesystem::create_directories("ME_Flash/Local-Win");
    writeFileBytes("ME_Flash/Local-Win/FwUpdLcl64.exe", "MZ tool");
  }
  // Stages the tool folder anew, in the same stage folder each time.
  std::string checkWith(const Signature& signature) {
    platform::letGoOfHeldFiles();
    resetToolStage();
    fake().stagesMade.clear();
    std::filesystem::remove_all("stage-1");
    fake().signatures[tool] = signature;
    return raisedBy([] { stageToolFolder("ME_Flash\\Local-Win\\", "FwUpdLcl64.exe"); });
  }
};

const std::string none = "(nothing raised)";

TEST_F(ToolSignatureTest, OnlyIntelsValidSignaturePassesAndSilently) {
  setSuperVerboseFlag();
  EXPECT_EQ(checkWith({SignatureState::valid, "Intel Corporation", ""}), none);
  // A build without signatures has nothing to check.
  EXPECT_EQ(checkWith({SignatureState::notSupported, "", ""}), none);
  EXPECT_EQ(fake().output, "");
  EXPECT_EQ(checkWith({SignatureState::none, "", ""}), refusal("no signature"));
  EXPECT_EQ(checkWith({SignatureState::altered, "", ""}),
            refusal("the signature does not match the file"));
  EXPECT_EQ(checkWith({SignatureState::valid, "Other Tools Corporation", ""}),
            refusal("signed by Other Tools Corporation"));
  EXPECT_EQ(checkWith({SignatureState::valid, "Intel Corporation ", ""}),
            refusal("signed by Intel Corporation "));
  EXPECT_EQ(checkWith({SignatureState::uncheckable, "", "0x800B010C"}),
            refusal("the signature cannot be checked: 0x800B010C"));
  EXPECT_EQ(extractReturnCode(refusal("no signature")), 2018);
}

TEST_F(ToolSignatureTest, AllowUnsignedAdmitsOnlyAToolWithoutAnySignature) {
  setAllowUnsignedFlag();
  EXPECT_EQ(checkWith({SignatureState::none, "", ""}), none);
  EXPECT_EQ(fake().output,
            "Warning: the tool FwUpdLcl64.exe has no signature. It runs only because of "
            "-allowunsigned.\n");
  EXPECT_NE(runLogText().find("FwUpdLcl64.exe has no signature"), std::string::npos);
  EXPECT_EQ(checkWith({SignatureState::altered, "", ""}),
            refusal("the signature does not match the file"));
  EXPECT_EQ(checkWith({SignatureState::valid, "Other Tools Corporation", ""}),
            refusal("signed by Other Tools Corporation"));
  EXPECT_EQ(checkWith({SignatureState::uncheckable, "", "0x80070005"}),
            refusal("the signature cannot be checked: 0x80070005"));
}

TEST_F(ToolSignatureTest, EachStagingChecksItsOwnCopiesAnew) {
  setAllowUnsignedFlag();
  fake().signatures[tool] = {SignatureState::none, "", ""};
  std::filesystem::create_directories("MEInfo");
  writeFileBytes("MEInfo/MEInfoWin64.exe", "MZ meinfo");
  fake().signatures["stage-1\\MEInfo\\MEInfoWin64.exe"] = {SignatureState::altered, "", ""};
  EXPECT_EQ(raisedBy([] { stageToolFolder("ME_Flash\\Local-Win\\", "FwUpdLcl64.exe"); }), none);
  EXPECT_NE(raisedBy([] { stageToolFolder("MEInfo\\", "MEInfoWin64.exe"); }), none);
  ASSERT_EQ(fake().signatureChecks.size(), 2u);
  EXPECT_EQ(fake().signatureChecks[0].path, tool);
  EXPECT_EQ(fake().signatureChecks[1].path, "stage-1\\MEInfo\\MEInfoWin64.exe");
  EXPECT_EQ(fake().output.find("Warning"), fake().output.rfind("Warning"));
}

}  // namespace
