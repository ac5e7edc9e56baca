#include "checks/bios_prerequisite.h"

#include "settings/run_settings.h"
#include "system/bios_query.h"
#include "test_support.h"

namespace {

class BiosPrerequisiteTest : public UnitTest {
 protected:
  // Runs the check for a machine BIOS against a prerequisite; returns what was raised.
  std::string check(const std::string& bios, const std::string& prerequisite) {
    fake().commandOutput["wmic bios get smbiosbiosversion"] = bios + "\r\r\n";
    queryBiosVersion();
    InputProfile profile;
    profile.setPrereqBios(prerequisite);
    return raisedBy([&] { checkBiosPrerequisite(profile); });
  }
};

const std::string none = "(nothing raised)";

TEST_F(BiosPrerequisiteTest, EqualVersionPassesAndSaysSo) {
  setVerboseFlag();
  EXPECT_EQ(check("N01 Ver. 2.1.3", "2.1.3"), none);
  std::string output = fake().output;
  EXPECT_EQ(output.substr(output.find("Check if")),
            "Check if BIOS meets prerequisites.\nSystem: 213  vs  Prereq: 213\n"
            "n01 ver. 2.1.3 >= 2.1.3 meets prerequisites.\n\n");
}

TEST_F(BiosPrerequisiteTest, OlderBiosIsRefusedWithBothFullTexts) {
  EXPECT_EQ(check("N01 Ver. 2.1.3", "2.1.4"),
            "ERROR 2011s: System bios version n01 ver. 2.1.3 does not meet prerequisite version "
            "2.1.4.");
  EXPECT_EQ(check("N01 Ver. 1.09", "1.10"),
            "ERROR 2011s: System bios version n01 ver. 1.09 does not meet prerequisite version "
            "1.10.");
}

TEST_F(BiosPrerequisiteTest, DigitsCompareAsOneNumber) {
  // 210 against 30: the dots carry no meaning.
  EXPECT_EQ(check("N01 Ver. 2.10", "3.0"), none);
  // Leading zeros of a field vanish only at the front of the whole number.
  EXPECT_EQ(check("N01 Ver. 21", "02.1"), none);
  // The family code's digits never count on the machine's side, but do in a prerequisite.
  EXPECT_EQ(check("N99 Ver. 5", "6"),
            "ERROR 2011s: System bios version n99 ver. 5 does not meet "
            "prerequisite version 6.");
  EXPECT_EQ(check("N01 Ver. 100", "1.1"), none);
  EXPECT_EQ(check("N01 Ver. 100", "n01-1.1"),
            "ERROR 2011s: System bios version n01 ver. 100 does "
            "not meet prerequisite version n01-1.1.");
}

TEST_F(BiosPrerequisiteTest, TextsWithoutANumberCannotConfirmThePrerequisite) {
  EXPECT_EQ(check("N01 Ver. 1.0", "abc"),
            "ERROR 2012s: Cannot confirm the BIOS prerequisite: \"abc\" holds no usable version "
            "number.");
  EXPECT_EQ(check("N01 Ver. x", "1.0"),
            "ERROR 2012s: Cannot confirm the BIOS prerequisite: \"ver. x\" holds no usable "
            "version number.");
  EXPECT_EQ(check("N01 Ver. 1.0", "99999999999"),
            "ERROR 2012s: Cannot confirm the BIOS prerequisite: \"99999999999\" holds no usable "
            "version number.");
  EXPECT_EQ(check("N01 Ver. 1.0", "2147483647"),
            "ERROR 2011s: System bios version n01 ver. 1.0 "
            "does not meet prerequisite version 2147483647.");
}

TEST_F(BiosPrerequisiteTest, DigitsToNumber) {
  EXPECT_EQ(digitsToNumber("a0b2c1"), 21);
  EXPECT_EQ(digitsToNumber("2147483647"), 2147483647);
  EXPECT_EQ(raisedBy([] { digitsToNumber("2147483648"); }),
            "ERROR 2012s: Cannot confirm the BIOS prerequisite: \"2147483648\" holds no usable "
            "version number.");
}

}  // namespace
