#include "mefwkit/kit_plan.h"

#include "app/installer.h"
#include "app/product_version.h"
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

  KitPlan plan(const std::string& bios, const std::optional<std::string>& installed,
               bool force = false, const PlanOptions& options = {}) {
    return planKitbox("", {bios, installed, force}, installer.firmwareUpdater(), options);
  }

  Installer installer;
};

TEST_F(KitPlanTest, AnUpdateThatWouldGoAhead) {
  KitPlan result = plan("N01 Ver. 1.05.0  ", "11.8.50.3399");
  // Read as wmic prints it: the column's padding joins the version.
  EXPECT_EQ(result.biosVersion, "n01 ver. 1.05.0    ");
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
            "BIOS version:   n01 ver. 1.05.0    \n"
            "BIOS family:    n01\n"
            "Profile:        0 (11.8.55.3510.bin)\n"
            "Prerequisite:   met\n"
            "Signature:      passed\n"
            "Comparison:     newer\n"
            "Command line:   ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.55.3510.bin\n"
            "Exit code:      0\n"
            "Ends with:      the update; a restart makes the new firmware effective\n"
            "May also end:   2015 (another update running), 2019 (one-instance guard blocked), "
            "2018 (tool not signed by Intel), 2020 (tool or image not copied to the private "
            "folder), 4000 (tool error reading the version), 2001 (version "
            "stamp not written), 2003 (version stamp not written), 2016 "
            "(on battery), 4001 (tool error during the update), 3002 (update waiting for a "
            "restart), 2013 (update not completed)\n");
  EXPECT_EQ(planJson(result),
            "{\"schema\": 1, \"toolVersion\": \"" MEFW_PRODUCT_VERSION
            "\", \"biosVersion\": \"n01 ver. 1.05.0    \", \"biosFamily\": \"n01\", \"profile\": "
            "{\"index\": 0, \"firmwareFile\": \"11.8.55.3510.bin\", \"firmwareVersion\": "
            "\"11.8.55.3510\"}, \"installedVersion\": \"11.8.50.3399\", \"prerequisite\": "
            "\"met\", \"signature\": \"passed\", \"comparison\": \"newer\", \"commandLine\": "
            "\"ME_Flash\\\\Local-Win\\\\FwUpdLcl64.exe -f ME_Flash\\\\11.8.55.3510.bin\", "
            "\"exitCode\": 0, \"needs\": null, \"code\": null, \"message\": null, "
            "\"joinedDigits\": null, \"mayAlsoEndWith\": [2015, "
            "2019, 2018, 2020, 4000, 2001, 2003, 2016, 4001, 3002, 2013]}\n");
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
  EXPECT_EQ(result.code, "2000s");
  EXPECT_EQ(result.biosFamily, "");
  EXPECT_EQ(result.mayAlsoEndWith, (std::vector<int>{2015, 2019}));
}

TEST_F(KitPlanTest, ForceAddsTheSameVersionSwitch) {
  KitPlan result = plan("p10 x", "12.0.20.1310", true);
  EXPECT_EQ(result.comparison, "same-forced");
  EXPECT_EQ(result.commandLine,
            "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\12.0.20.1310.bin -allowsv");
  EXPECT_EQ(result.exitCode, 0);
}

// A fleet is planned machine by machine in one process: -force of one machine must not carry
// over to the next.
TEST_F(KitPlanTest, EachMachineIsPlannedOnItsOwn) {
  KitboxFacts profiles = readKitbox("", {});
  const FirmwareUpdater& updater = installer.firmwareUpdater();
  KitPlan forced = planMachine(profiles, {"P10 1", "12.0.20.1310", true}, updater);
  EXPECT_EQ((std::pair{forced.exitCode, forced.comparison}),
            (std::pair{0, std::string("same-forced")}));
  KitPlan plain = planMachine(profiles, {"P10 1", "12.0.20.1310", false}, updater);
  EXPECT_EQ((std::pair{plain.exitCode, plain.code}), (std::pair{3001, std::string("3001n")}));
  KitPlan older = planMachine(profiles, {"N01 Ver. 1.05.0", "11.8.50.3399", false}, updater);
  EXPECT_EQ(older.exitCode, 0);
  EXPECT_EQ(older.profileIndex, 0);
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

// The installer reads the tools' output, not the texts as typed: --bios through wmic's layout,
// --me through the pattern that takes the digits and dots after "FW Version".
TEST_F(KitPlanTest, MachineTextsAreReadAsTheInstallerReadsTheTools) {
  EXPECT_EQ(plan("N01 Ver. 1.05.2 A01", "11.8.50.3399").exitCode, 2010);
  EXPECT_EQ(plan("N01", "11.8.50.3399").exitCode, 2012);
  EXPECT_EQ(plan("N01 Ver. 1.05.2", "11.8.55.3510 ", true).exitCode, 0);
  EXPECT_EQ(plan("N01 Ver. 1.05.2", "11.8.55.3510 ").exitCode, 3001);
  EXPECT_EQ(plan("N01 Ver. 1.05.2", "11.8.55.3510\r").exitCode, 3001);
  EXPECT_EQ(plan("N01 Ver. 1.05.2", "11.8.55.3510a").exitCode, 3001);
  KitPlan result = plan("N01 Ver. 1.05.2", "v11.8.50.3399");
  EXPECT_EQ(result.exitCode, 1015);
  EXPECT_EQ(result.code, "1015h");
}

TEST_F(KitPlanTest, TextsAreParsedWithTheInstallersPatterns) {
  EXPECT_EQ(installedVersionFrom("11.8.55.3510 "), "11.8.55.3510");
  EXPECT_EQ(installedVersionFrom(" \t11.8.55.3510\r\n"), "11.8.55.3510");
  EXPECT_EQ(installedVersionFrom("12.0"), "12.0");
  // The colons the pattern allows stand right after the label, not after its ": ".
  EXPECT_EQ(installedVersionFrom(":: 12.0"), std::nullopt);
  EXPECT_EQ(installedVersionFrom("v11.8.50.3399"), std::nullopt);
  EXPECT_EQ(installedVersionFrom(""), std::nullopt);
  EXPECT_EQ(biosVersionFrom("N01 Ver. 1.05.2"), "N01 Ver. 1.05.2    ");
  EXPECT_EQ(biosVersionFrom("Q20"), "Q20                ");
  EXPECT_EQ(biosVersionFrom("1.05"), std::nullopt);
}

TEST_F(KitPlanTest, ANetworkPathIsRefusedBeforeAnythingIsRead) {
  std::filesystem::remove("input.txt");
  KitPlan result = planKitbox("\\\\server\\kits\\n01", {"N01 1.05", "11.8.50.3399", false},
                              installer.firmwareUpdater());
  EXPECT_EQ(result.exitCode, 2017);
  EXPECT_EQ(result.code, "2017s");
  EXPECT_EQ(result.mayAlsoEndWith, std::vector<int>{});
  result = plan("N01 1.05", "11.8.50.3399");
  EXPECT_EQ(result.exitCode, 1002);
  EXPECT_EQ(result.mayAlsoEndWith, (std::vector<int>{2015, 2019}));
}

TEST_F(KitPlanTest, TheUnforeseenCodesFollowHowFarTheRunGets) {
  EXPECT_EQ(plan("N01 1.03", "11.8.50.3399").mayAlsoEndWith, (std::vector<int>{2015, 2019}));
  EXPECT_EQ(plan("P10 1.0", "12.0.20.1310").mayAlsoEndWith,
            (std::vector<int>{2015, 2019, 2018, 2020, 4000, 2001, 2003}));
  std::filesystem::remove("ME_Flash/12.0.20.1310.bin");
  EXPECT_EQ(plan("P10 1.0", "11.0.0.1").mayAlsoEndWith,
            (std::vector<int>{2015, 2019, 2018, 2020, 4000, 2001, 2003, 2016}));
}

// Without --me the plan goes as far as the installer gets before it asks Intel's tool: the BIOS
// decides 2010, 2011 and 2012, the Kitbox 1002 and 2018.
TEST_F(KitPlanTest, WithoutTheInstalledVersionThePlanStopsWhereTheToolIsAsked) {
  EXPECT_EQ(plan("Q20 1.0", std::nullopt).exitCode, 2010);
  EXPECT_EQ(plan("N01 1.03", std::nullopt).exitCode, 2011);
  EXPECT_EQ(plan("N01", std::nullopt).exitCode, 2012);
  KitPlan result = plan("N01 Ver. 1.05.0", std::nullopt);
  EXPECT_TRUE(result.needsInstalledVersion);
  EXPECT_EQ(result.prerequisite, "met");
  EXPECT_EQ(result.comparison, "");
  EXPECT_NE(planText(result).find("Exit code:      needs the installed version (--me)\n"),
            std::string::npos);
  std::string json = planJson(result);
  EXPECT_NE(json.find("\"exitCode\": null, \"needs\": \"installedVersion\", \"code\": null"),
            std::string::npos);
  fake().signatures["ME_Flash\\Local-Win\\FwUpdLcl64.exe"] = {platform::SignatureState::none, "",
                                                              ""};
  EXPECT_EQ(plan("N01 Ver. 1.05.0", std::nullopt).exitCode, 2018);
  std::filesystem::remove("ME_Flash/Local-Win/FwUpdLcl64.exe");
  EXPECT_EQ(plan("N01 Ver. 1.05.0", std::nullopt).exitCode, 1002);
}

// What check finds of Intel's tool, the plan predicts: the installer refuses the tool before it
// asks it anything.
TEST_F(KitPlanTest, TheToolsSignatureIsPlannedAsTheInstallerChecksIt) {
  const std::string tool = "ME_Flash\\Local-Win\\FwUpdLcl64.exe";
  fake().signatures[tool] = {platform::SignatureState::valid, "Other Tools Corporation", ""};
  KitPlan result = plan("N01 Ver. 1.05.0", "11.8.50.3399");
  EXPECT_EQ(result.exitCode, 2018);
  EXPECT_EQ(result.signature, "2018s");
  EXPECT_EQ(result.message,
            "ERROR 2018s: The tool FwUpdLcl64.exe is not signed by Intel Corporation (signed by "
            "Other Tools Corporation). The Kitbox may have been altered: get it again from "
            "Norvane.");
  EXPECT_EQ(result.mayAlsoEndWith, (std::vector<int>{2015, 2019}));
  fake().signatures[tool] = {platform::SignatureState::none, "", ""};
  EXPECT_EQ(plan("N01 Ver. 1.05.0", "11.8.50.3399").exitCode, 2018);
  // A lab run with -allowunsigned takes an unsigned tool, never an altered one.
  KitPlan lab = plan("N01 Ver. 1.05.0", "11.8.50.3399", false, {true, true});
  EXPECT_EQ((std::pair{lab.exitCode, lab.signature}), (std::pair{0, std::string("passed")}));
  fake().signatures[tool] = {platform::SignatureState::altered, "", ""};
  EXPECT_EQ(plan("N01 Ver. 1.05.0", "11.8.50.3399", false, {true, true}).exitCode, 2018);
  fake().signatureChecks.clear();
  KitPlan unchecked = plan("N01 Ver. 1.05.0", "11.8.50.3399", false, {false, false});
  EXPECT_EQ((std::pair{unchecked.exitCode, unchecked.signature}),
            (std::pair{0, std::string("not checked")}));
  EXPECT_TRUE(fake().signatureChecks.empty());
  fake().signatures[tool] = {platform::SignatureState::notSupported, "", ""};
  EXPECT_EQ(plan("N01 Ver. 1.05.0", "11.8.50.3399").signature, "not checked");
}

// The installer copies the tool's whole folder and the image into its private folder and
// refuses what it cannot copy or trust: the plan foresees the same refusal, links and size
// even where signatures are left out.
TEST_F(KitPlanTest, TheToolFolderAndImageArePlannedByTheInstallersCopyRules) {
  const std::string dll = "ME_Flash\\Local-Win\\helper.dll";
  writeFileBytes("ME_Flash/Local-Win/helper.dll", "MZ helper");
  fake().signatures["ME_Flash\\Local-Win\\FwUpdLcl64.exe"] = {platform::SignatureState::valid,
                                                              "Intel Corporation", ""};
  fake().signatures[dll] = {platform::SignatureState::valid, "Microsoft Corporation", ""};
  EXPECT_EQ(plan("N01 Ver. 1.05.0", "11.8.50.3399").exitCode, 0);
  fake().signatures[dll] = {platform::SignatureState::valid, "Other Tools Corporation", ""};
  KitPlan foreign = plan("N01 Ver. 1.05.0", "11.8.50.3399");
  EXPECT_EQ((std::pair{foreign.exitCode, foreign.signature}),
            (std::pair{2018, std::string("2018s")}));
  EXPECT_NE(foreign.message.find("helper.dll"), std::string::npos) << foreign.message;
  std::filesystem::remove("ME_Flash/Local-Win/helper.dll");
  std::error_code noLinks;
  std::filesystem::create_symlink("FwUpdLcl64.exe", "ME_Flash/Local-Win/helper.dll", noLinks);
  if (noLinks) GTEST_SKIP() << "links cannot be made here: " << noLinks.message();
  KitPlan linked = plan("N01 Ver. 1.05.0", "11.8.50.3399", false, {false, false});
  // Refused before any signature was asked, the folder still tells a build that cannot check
  // them from one that did.
  fake().signatures["ME_Flash\\Local-Win\\FwUpdLcl64.exe"] = {};
  EXPECT_FALSE(readKitbox("", {}).signatureChecked);
  EXPECT_EQ(linked.message,
            "ERROR 2020s: The Kitbox file ME_Flash\\Local-Win\\helper.dll could not be copied to "
            "the installer's private folder: a link, not a file.");
  std::filesystem::remove("ME_Flash/Local-Win/helper.dll");
  std::filesystem::rename("ME_Flash/11.8.55.3510.bin", "ME_Flash/real.bin");
  std::filesystem::create_symlink("real.bin", "ME_Flash/11.8.55.3510.bin");
  KitPlan image = plan("N01 Ver. 1.05.0", "11.8.50.3399", false, {false, false});
  EXPECT_EQ(image.message,
            "ERROR 2020s: The Kitbox file ME_Flash\\11.8.55.3510.bin could not be copied to the "
            "installer's private folder: a link, not a file.");
}

// prereqBios 01.08 and a BIOS 01.07.05: the check compares 108 with 10705, and the older BIOS
// passes. The plan says what the numbers became.
TEST_F(KitPlanTest, APrerequisiteOfOtherDigitGroupsIsNoted) {
  writeFileBytes("input.txt",
                 "meFirmwareFile = 11.8.55.3510.bin\nsupportedPlatforms = aster\n"
                 "prereqBios = 01.08\n");
  KitPlan result = plan("N01 Ver. 01.07.05", "11.8.50.3399");
  EXPECT_EQ(result.prerequisite, "met");
  ASSERT_TRUE(result.joinedDigits);
  EXPECT_EQ((std::pair{result.joinedDigits->biosNumber, result.joinedDigits->prereqNumber}),
            (std::pair{10705, 108}));
  EXPECT_NE(planText(result).find("Note:           prereqBios 01.08 and the BIOS version have "
                                  "different numbers of digit groups; the check joins the digits "
                                  "of each into one number and compares 10705 (BIOS) with 108 "
                                  "(prereqBios)\n"),
            std::string::npos);
  EXPECT_FALSE(plan("N01 Ver. 01.09", "11.8.50.3399").joinedDigits);
  EXPECT_FALSE(plan("Q20 01.07.05", "11.8.50.3399").joinedDigits);
}

}  // namespace
