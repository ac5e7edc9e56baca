#include "checks/version_compare.h"

#include "settings/run_settings.h"
#include "system/system_info.h"
#include "test_support.h"

namespace {

class VersionCompareTest : public UnitTest {
 protected:
  // Compares a Kitbox version with an installed one; returns what was raised.
  std::string compare(const std::string& kitbox, const std::string& installed) {
    SystemInfo info;
    info.meFirmwareVersion = installed;
    InputProfile profile;
    profile.firmwareVersion = kitbox;
    return raisedBy([&] { checkFirmwareIsNewer(info, profile); });
  }
};

const std::string none = "(nothing raised)";

std::string malformed(const std::string& version, int field) {
  return "ERROR 1018h: Version " + version + " is malformed: its field " + std::to_string(field) +
         " is missing, not a number or out of range.";
}

TEST_F(VersionCompareTest, NewerKitboxIsUpgradable) {
  setVerboseFlag();
  EXPECT_EQ(compare("11.8.55.3510", "11.8.50.3399"), none);
  EXPECT_EQ(fake().output,
            "Checking if kitbox's firmware version is newer than the system's 11.8.50.3399 vs "
            "11.8.55.3510\nME Firmware is upgradable.\n\n");
  EXPECT_EQ(compare("11.10.0.0", "11.9.9.9"), none);
  EXPECT_EQ(compare("12.0.0.0", "11.99.99.9999"), none);
  EXPECT_EQ(compare("11.8.50.3400", "11.8.50.3399.2"), none);
}

TEST_F(VersionCompareTest, SameVersionNeedsForce) {
  EXPECT_EQ(compare("11.8.50.3399", "11.8.50.3399"),
            "CODE  3001n: Your system already has firmware 11.8.50.3399 installed. If you would "
            "like to update over the same version, run this again with the -force argument.");
  setSameVersionFlag();
  EXPECT_EQ(compare("11.8.50.3399", "11.8.50.3399"), none);
}

TEST_F(VersionCompareTest, OlderOrEqualByNumberIsADowngrade) {
  EXPECT_EQ(compare("11.8.50.3399", "11.8.55.3510"),
            "CODE  3000n: The system's firmware 11.8.55.3510 is newer than the kitbox "
            "11.8.50.3399, cannot downgrade.");
  setSameVersionFlag();
  // Equal by number but not by text: not the same version, and not newer.
  EXPECT_EQ(compare("11.8.050.3399", "11.8.50.3399"),
            "CODE  3000n: The system's firmware 11.8.50.3399 is newer than the kitbox "
            "11.8.050.3399, cannot downgrade.");
}

TEST_F(VersionCompareTest, MalformedVersionsAreNamed) {
  EXPECT_EQ(compare("11.8.50.3399", "11.8"), malformed("11.8", 3));
  EXPECT_EQ(compare("...", "11.8.50.3399"), malformed("...", 1));
  EXPECT_EQ(compare("11.8.50.3399", "11.8.99999999999.1"), malformed("11.8.99999999999.1", 3));
  // Fields after the deciding one are never read.
  EXPECT_EQ(compare("12.x", "11.8"), none);
}

TEST_F(VersionCompareTest, FieldsReadLikeTheCLibrary) {
  EXPECT_EQ(versionField("11.8.50.3399", 0), 11);
  EXPECT_EQ(versionField("11.8.50.3399", 3), 3399);
  EXPECT_EQ(versionField("1.2.3.3399abc", 3), 3399);
  EXPECT_EQ(versionField("1. -7.3", 1), -7);
  EXPECT_EQ(versionField("1.2.3.4.5", 4), 5);
  EXPECT_EQ(versionField("2147483647", 0), 2147483647);
  EXPECT_EQ(raisedBy([] { versionField("1.2", 2); }), malformed("1.2", 3));
  EXPECT_EQ(raisedBy([] { versionField("a.2", 0); }), malformed("a.2", 1));
  EXPECT_EQ(raisedBy([] { versionField("", 0); }), malformed("", 1));
  EXPECT_EQ(raisedBy([] { versionField("2147483648", 0); }), malformed("2147483648", 1));
}

TEST_F(VersionCompareTest, IsNewerVersion) {
  EXPECT_TRUE(isNewerVersion("1.0.0.1", "1.0.0.0"));
  EXPECT_FALSE(isNewerVersion("1.0.0.0", "1.0.0.0"));
  EXPECT_FALSE(isNewerVersion("1.0.0.0.9", "1.0.0.0.1"));
  EXPECT_FALSE(isNewerVersion("0.9.9.9", "1.0.0.0"));
}

}  // namespace
