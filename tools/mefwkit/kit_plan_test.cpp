#include "mefwkit/kit_plan.h"

#include "app/installer.h"
#include "mefwkit/kit_output.h"
#include "settings/run_settings.h"
#include "test_support.h"

namespace {

class KitPlanTest : public UnitTest {
 protected:
  void SetUp() override {
    UnitTest::SetUp();
    writeFileBytes("input.txt",
                   "meFirmwareFile = 11.8.55.3510.bin\n"
                   "supportedPlatforms = aster, birch\n"
                   "prereqBios = 1.04.0\n"
                   "meFirmwareFile = 12.0.20.1310.bin\n"
                   "supportedPlatforms = fjord\n");
    std::filesystem::create_directories("ME_Flash/Local-Win");
    writeFileBytes("ME_Flash/Local-Win/FwUpdLcl64.exe", "tool");
    writeFileBytes("ME_Flash/11.8.55.3510.bin", "image");
    writeFileBytes("ME_Flash/12.0.20.1310.bin", "image");
  }

  KitPlan plan(const std::string& bios, const std::string& installed, bool force = false) {
    if (force) setSameVersionFlag();
    KitPlan result;
    try {
      planUpdate({bios, installed, force}, installer.firmwareUpdater(), result);
    } catch (const std::string& message) {
      endPlanWith(result, message);
    }
    return result;
  }

  Installer installer;
};

TEST_F(KitPlanTest, AnUpdateThatWouldGoAhead) {
  KitPlan result = plan("N01 Ver. 1.05.0  ", "11.8.50.3399");
  EXPECT_EQ(result.biosVersion, "n01 ver. 1.05.0  ");
  EXPECT_EQ(result.biosFamily, "n01");
  EXPECT_EQ(result.profileIndex, 0);
  EXPECT_EQ(result.prerequisite, "met");
  EXPECT_EQ(result.comparison, "newer");
  EXPECT_EQ(result.commandLine,
            "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.55.3510.bin");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.message, "");
  EXPECT_EQ(fake().output, "");
  EXPECT_EQ(planText(result),
            "BIOS version:   n01 ver. 1.05.0  \n"
            "BIOS family:    n01\n"
            "Profile:        0 (11.8.55.3510.bin)\n"
            "Prerequisite:   met\n"
            "Comparison:     newer\n"
            "Command line:   ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.55.3510.bin\n"
            "Exit code:      0\n"
            "Ends with:      the update; a restart makes the new firmware effective\n");
  EXPECT_EQ(planJson(result),
            "{\"biosVersion\": \"n01 ver. 1.05.0  \", \"biosFamily\": \"n01\", \"profile\": "
            "{\"index\": 0, \"firmwareFile\": \"11.8.55.3510.bin\", \"firmwareVersion\": "
            "\"11.8.55.3510\"}, \"prerequisite\": \"met\", \"comparison\": \"newer\", "
            "\"commandLine\": \"ME_Flash\\\\Local-Win\\\\FwUpdLcl64.exe -f "
            "ME_Flash\\\\11.8.55.3510.bin\", \"exitCode\": 0, \"message\": null}\n");
}

TEST_F(KitPlanTest, TheFirstRefusalDecidesAndNamesItsStep) {
  KitPlan result = plan("Q20 1.0", "11.8.50.3399");
  EXPECT_EQ(result.biosFamily, "q20");
  EXPECT_EQ(result.profileIndex, -1);
  EXPECT_EQ(result.exitCode, 2010);
  EXPECT_EQ(result.message, "ERROR 2010s: This platform is not supported by the Kitbox.");
  EXPECT_EQ(result.prerequisite, "");

  result = plan("N01 1.03", "11.8.50.3399");
  EXPECT_EQ(result.prerequisite, "2011s");
  EXPECT_EQ(result.exitCode, 2011);
  EXPECT_EQ(result.comparison, "");

  result = plan("P10 1.0", "12.0.20.1310");
  EXPECT_EQ(result.profileIndex, 1);
  EXPECT_EQ(result.prerequisite, "none");
  EXPECT_EQ(result.comparison, "3001n");
  EXPECT_EQ(result.exitCode, 3001);
  EXPECT_EQ(result.commandLine, "");

  result = plan("P10 1.0", "13.0.0.1");
  EXPECT_EQ(result.comparison, "3000n");
  EXPECT_EQ(result.exitCode, 3000);

  // An installed version the stamp cannot carry fails before the comparison.
  result = plan("P10 1.0", "12.0");
  EXPECT_EQ(result.comparison, "1018h");
  EXPECT_EQ(result.exitCode, 1018);

  result = plan("no version here", "12.0");
  EXPECT_EQ(result.exitCode, 2000);
  EXPECT_EQ(result.biosFamily, "");
}

TEST_F(KitPlanTest, ForceAddsTheSameVersionSwitch) {
  KitPlan result = plan("p10 x", "12.0.20.1310", true);
  EXPECT_EQ(result.comparison, "same version, forced");
  EXPECT_EQ(result.commandLine,
            "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\12.0.20.1310.bin -allowsv");
  EXPECT_EQ(result.exitCode, 0);
}

TEST_F(KitPlanTest, MissingFilesEndTheRunWhereTheInstallerLooksForThem) {
  std::filesystem::remove("ME_Flash/12.0.20.1310.bin");
  KitPlan result = plan("p10 1", "11.0.0.1");
  EXPECT_EQ(result.comparison, "newer");
  EXPECT_EQ(result.commandLine, "");
  EXPECT_EQ(result.exitCode, 1002);
  std::filesystem::remove("ME_Flash/Local-Win/FwUpdLcl64.exe");
  result = plan("p10 1", "11.0.0.1");
  EXPECT_EQ(result.comparison, "");
  EXPECT_EQ(result.message,
            "ERROR 1002h: File FwUpdLcl64.exe does not appear to exist in ME_Flash\\Local-Win\\.");
  writeFileBytes("input.txt", "meFirmwareFile = fw.bin\n");
  EXPECT_EQ(plan("p10 1", "11.0.0.1").exitCode, 1013);
}

TEST_F(KitPlanTest, AKitboxVersionTheStampCannotCarryIsRefusedBeforeTheFlash) {
  writeFileBytes("input.txt", "meFirmwareFile = 12.0.70000.1.bin\nsupportedPlatforms = fjord\n");
  writeFileBytes("ME_Flash/12.0.70000.1.bin", "image");
  KitPlan result = plan("p10 1", "11.0.0.1");
  EXPECT_EQ(result.commandLine, "");
  EXPECT_EQ(result.exitCode, 1019);
  EXPECT_EQ(result.comparison, "1019h");
  EXPECT_NE(planText(result).find("Exit code:      1019\n"), std::string::npos);
}

}  // namespace
