#include "system/tool_signature.h"

#include "app/return_code.h"
#include "console/messages.h"
#include "settings/run_settings.h"
#include "test_support.h"

namespace {

using platform::Signature;
using platform::SignatureState;

const std::string tool = "ME_Flash\\Local-Win\\FwUpdLcl64.exe";

std::string refusal(const std::string& finding) {
  return "ERROR 2018s: The tool FwUpdLcl64.exe is not signed by Intel Corporation (" + finding +
         "). The Kitbox may have been altered: get it again from Norvane.";
}

class ToolSignatureTest : public UnitTest {
 protected:
  std::string checkWith(const Signature& signature) {
    resetCheckedTools();
    fake().signatures[tool] = signature;
    return raisedBy([] { checkToolSignature("ME_Flash\\Local-Win\\", "FwUpdLcl64.exe"); });
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

TEST_F(ToolSignatureTest, EachToolIsCheckedOnceAndKeepsItsVerdict) {
  setAllowUnsignedFlag();
  fake().signatures[tool] = {SignatureState::none, "", ""};
  fake().signatures["MEInfo\\MEInfoWin64.exe"] = {SignatureState::altered, "", ""};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(raisedBy([] { checkToolSignature("ME_Flash\\Local-Win\\", "FwUpdLcl64.exe"); }),
              none);
    EXPECT_NE(raisedBy([] { checkToolSignature("MEInfo\\", "MEInfoWin64.exe"); }), none);
  }
  ASSERT_EQ(fake().signatureChecks.size(), 2u);
  EXPECT_EQ(fake().signatureChecks[0].path, tool);
  EXPECT_EQ(fake().signatureChecks[1].path, "MEInfo\\MEInfoWin64.exe");
  // One warning for the unsigned tool, however often it runs.
  EXPECT_EQ(fake().output.find("Warning"), fake().output.rfind("Warning"));
}

}  // namespace
