#include "mefwkit/kit_check.h"

#include "app/product_version.h"
#include "mefwkit/kit_output.h"
#include "test_support.h"

namespace {

class KitCheckTest : public UnitTest {
 protected:
  // A complete Kitbox with the given input.txt; every image it names is present.
  void writeKit(const std::string& input) {
    writeFileBytes("input.txt", input);
    std::filesystem::create_directories("ME_Flash/Local-Win");
    std::filesystem::create_directories("MEInfo/Win/WINDOWS64");
    writeFileBytes("ME_Flash/Local-Win/FwUpdLcl64.exe", "tool");
    writeFileBytes("MEInfo/Win/WINDOWS64/MEInfoWin64.exe", "tool");
    writeFileBytes("README.htm", "<p>manual</p>");
    writeFileBytes("MEFWUPDATE.exe", "installer");
    writeFileBytes("ME_Flash/11.8.55.3510.bin", "image");
    writeFileBytes("ME_Flash/11.8.55.3510.fjord.bin", "image");
  }

  // Each problem as "severity line code: message".
  std::vector<std::string> problems() {
    report = checkKitbox();
    std::vector<std::string> lines;
    for (const KitProblem& problem : report.problems) {
      lines.push_back(std::string(severityName(problem.severity)) + " " +
                      std::to_string(problem.line) + " " + problem.code + ": " + problem.message);
    }
    return lines;
  }

  KitReport report;
};

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

const std::string cleanInput =
    "# Norvane Kitbox\n"
    "meFirmwareFile = 11.8.55.3510.bin\n"
    "supportedPlatforms = aster, asterpro, birch\n"
    "prereqBios = 1.04.0\n"
    "upfrontMessage = Keep it plugged in.\n"
    "\n"
    "meFirmwareFile = 11.8.55.3510.fjord.bin\n"
    "supportedPlatforms = fjord, glacier\n";

TEST_F(KitCheckTest, ACleanKitHasNoProblems) {
  writeKit(cleanInput);
  EXPECT_EQ(problems(), std::vector<std::string>{});
  EXPECT_EQ(checkExitStatus(report), 0);
  ASSERT_EQ(report.profiles.size(), 2u);
  EXPECT_EQ(report.profiles[0].line, 2);
  EXPECT_EQ(report.profiles[0].prereqLine, 4);
  EXPECT_EQ(report.profiles[1].line, 7);
  EXPECT_TRUE(report.profiles[1].imagePresent);
  EXPECT_EQ(checkReportText(report), "0 errors, 0 warnings, 0 notes; 2 profiles.\n");
  // The checker shows none of the installer's verbose lines.
  EXPECT_EQ(fake().output, "");
}

TEST_F(KitCheckTest, ReportsEveryInputErrorAndReadsOnPastEach) {
  writeKit(
      "prereqBios = 1.0\n"                      // 1011h
      "meFirmwareFile = fw.bin\n"               // 1013h
      "supportedPlatforms = aster, nowhere\n"   // 1010h
      "meFirmwareFile = 12.0.20.1310.bin\n"     //
      "supportedPlatforms = \n"                 // 1012h
      "supportedPlatforms = asterpro, fjord\n"  // 1016h for asterpro
      "meFirmwareFile = 13.0.0.1.bin\n");       // 1012h at the end, no image
  writeFileBytes("ME_Flash/12.0.20.1310.bin", "image");
  EXPECT_EQ(
      problems(),
      (std::vector<std::string>{
          "error 1 1011h: input.txt must have an meFirmwareFile field first before other "
          "parameters can be added. This error stops every run of the Kitbox, not just one "
          "profile's.",
          "error 2 1013h: meFirmwareFile field in input.txt does not contain a valid ME firmware "
          "version number. This error stops every run of the Kitbox, not just one profile's.",
          "error 2 1002h: profile 0: File fw.bin does not appear to exist in ME_Flash\\.",
          "error 3 1010h: nowhere does not exist in the platform decoder. Double check the "
          "supported platforms in the input file. This error stops every run of the Kitbox, not "
          "just one profile's.",
          "warning 4 : profile 1: firmware 12.0.20.1310 differs from fw.bin of profile 0: a "
          "detection rule checks one version (docs/deployment.md, \"Detecting the installed "
          "version\"); ship one Kitbox per firmware version",
          "error 5 1012h: An input profile must have supported platforms. This error stops every "
          "run of the Kitbox, not just one profile's.",
          "error 6 1016h: Input profile supported platform conflict.\nInput profile 1's supported "
          "platform asterpro's BIOS branch n01\nAlready exists in input profile 0, supported "
          "platform aster, BIOS branch n01. This error stops every run of the Kitbox, not just one "
          "profile's.",
          "error 7 1012h: An input profile must have supported platforms. This error stops every "
          "run of the Kitbox, not just one profile's.",
          "error 7 1002h: profile 2: File 13.0.0.1.bin does not appear to exist in ME_Flash\\.",
          "note 0 : ME_Flash\\11.8.55.3510.bin is not named by any profile of input.txt",
          "note 0 : ME_Flash\\11.8.55.3510.fjord.bin is not named by any profile of input.txt"}));
  EXPECT_EQ(checkExitStatus(report), 2);
  ASSERT_EQ(report.profiles.size(), 3u);
  EXPECT_EQ(report.profiles[1].profile.getSupportedPlatforms(), std::vector<std::string>{"fjord"});
}

TEST_F(KitCheckTest, VersionsThatFailOnEveryMachine) {
  writeKit(
      "meFirmwareFile = fw_11.8.55.3510.bin\nsupportedPlatforms = aster\nprereqBios = N.A.\n"
      "meFirmwareFile = 12.0.70000.1310.bin\nsupportedPlatforms = fjord\nprereqBios = ver.\n"
      "prereqBios = 99999999999\n");
  writeFileBytes("ME_Flash/fw_11.8.55.3510.bin", "image");
  writeFileBytes("ME_Flash/12.0.70000.1310.bin", "image");
  std::vector<std::string> found = problems();
  ASSERT_EQ(found.size(), 8u) << testing::PrintToString(found);
  EXPECT_PRED2(startsWith, found[0], "error 1 1018h: profile 0: Version fw_11.8.55.3510 is ");
  EXPECT_NE(found[0].find("ends with 1018h"), std::string::npos);
  EXPECT_EQ(found[1],
            "error 3 2012s: profile 0: Cannot confirm the BIOS prerequisite: \"n.a.\" holds no "
            "usable version number. Every machine of this profile ends with 2012s.");
  EXPECT_PRED2(startsWith, found[2], "error 4 1019h: profile 1: Version 12.0.70000.13");
  EXPECT_NE(found[2].find("ends with 1019h, before the flash"), std::string::npos);
  EXPECT_PRED2(startsWith, found[3], "warning 4 : profile 1: firmware 12.0.70000.1310 differs");
  // The last prereqBios line of a profile counts; its number is out of range.
  EXPECT_EQ(found[4],
            "warning 7 : a second prereqBios in profile 1: it replaces the one on line 6");
  EXPECT_PRED2(startsWith, found[5], "error 7 2012s: profile 1: Cannot confirm the B");
  EXPECT_PRED2(startsWith, found[6], "note 0 ");
}

TEST_F(KitCheckTest, WarnsOfLinesThatDoNotMeanWhatTheySay) {
  writeKit(
      "# meFirmwareFile = 10.0.0.1.bin\n"
      "meFirmwareFile = 11.8.55.3510.bin\n"
      "supportedPlatforms = aster\n"
      "prereqBios = N01 1.04\n"
      "SupportedPlatforms = birch\n"
      "upfrontMesage = Hello\n"
      "meFirmwareFile = 11.8.55.3510.fjord.bin\n"
      "supportedPlatforms = fjord\n");
  writeFileBytes("ME_Flash/10.0.0.1.bin", "image");
  std::vector<std::string> found = problems();
  ASSERT_EQ(found.size(), 7u) << testing::PrintToString(found);
  EXPECT_PRED2(startsWith, found[0], "warning 1 : \"#\" stands before meFirmwareFile, yet the ");
  // The commented-out profile is a profile of its own, with no platforms: never chosen.
  EXPECT_EQ(found[1],
            "warning 1 : profile 0: it has no supportedPlatforms line, so it is never chosen");
  EXPECT_PRED2(startsWith, found[2], "warning 2 : profile 1: firmware 11.8.55.3510 differs from");
  EXPECT_PRED2(startsWith, found[3], "warning 4 : the prereqBios value ends at a");
  EXPECT_EQ(found[4],
            "warning 4 : profile 1: prereqBios \"n01\" begins with a family code, whose digits "
            "join the number: it becomes 1, and machines whose BIOS number is smaller end with "
            "2011s. Write the version alone.");
  EXPECT_PRED2(startsWith, found[5], "warning 5 : \"SupportedPlatforms\" i");
  EXPECT_PRED2(startsWith, found[6], "warning 6 : \"upfrontMesage\" lo");
  EXPECT_EQ(checkExitStatus(report), 1);
}

TEST_F(KitCheckTest, MissingFilesOfTheKitbox) {
  writeKit(cleanInput);
  std::filesystem::remove("ME_Flash/11.8.55.3510.fjord.bin");
  std::filesystem::remove("ME_Flash/Local-Win/FwUpdLcl64.exe");
  std::filesystem::remove("README.htm");
  std::filesystem::remove("MEInfo/Win/WINDOWS64/MEInfoWin64.exe");
  std::filesystem::remove("MEFWUPDATE.exe");
  writeFileBytes("ME_Flash/9.1.0.0.bin", "old image");
  EXPECT_EQ(problems(),
            (std::vector<std::string>{
                "error 7 1002h: profile 1: File 11.8.55.3510.fjord.bin does not appear to exist "
                "in ME_Flash\\.",
                "warning 0 : mefwupdate.exe is missing: copy it from the release into the "
                "Kitbox, beside input.txt, before the Kitbox is deployed",
                "error 0 1002h: every run fails: File FwUpdLcl64.exe does not appear to exist in "
                "ME_Flash\\Local-Win\\.",
                "warning 0 1002h: README.htm is missing: an interactive run that the user "
                "declines ends with 1002h instead of opening it",
                "note 0 1002h: MEInfoWin64.exe is missing from MEInfo\\Win\\WINDOWS64\\: -meinfo "
                "and -systeminfo fail with 1002h",
                "note 0 : ME_Flash\\9.1.0.0.bin is not named by any profile of input.txt"}));
  EXPECT_FALSE(report.profiles[1].imagePresent);
}

TEST_F(KitCheckTest, WarningsAloneGiveStatusOne) {
  writeKit(cleanInput + "prereqbios = 1.0\n");
  EXPECT_EQ(problems().size(), 1u);
  EXPECT_EQ(checkExitStatus(report), 1);
}

TEST_F(KitCheckTest, MissingInputFile) {
  EXPECT_EQ(problems()[0], "error 0 1002h: File input.txt does not appear to exist in .\\.");
  EXPECT_EQ(checkExitStatus(report), 2);
}

// A key line the installer ignores while the lines after it fill the profile before it: that
// profile's image then goes to the platforms meant for the next one.
TEST_F(KitCheckTest, AnIgnoredFirmwareLineThatMisassignsLaterLinesIsAnError) {
  writeKit(
      "meFirmwareFile = 11.8.55.3510.bin\n"
      "supportedPlatforms = aster\n"
      "MeFirmwareFile = 11.8.55.3510.fjord.bin\n"
      "supportedPlatforms = fjord\n"
      "# a comment\n"
      "upfrontMessage = Keep it plugged in.\n"
      "meFirmwareFile 11.8.55.3510.bin\n");
  std::vector<std::string> found = problems();
  ASSERT_GE(found.size(), 2u) << testing::PrintToString(found);
  EXPECT_EQ(found[0],
            "error 3 : \"MeFirmwareFile\" is not the key \"meFirmwareFile\" (letter case counts), "
            "so this line is ignored; the key lines after it (lines 4, 6) fall into profile 0, "
            "which then sends its image to those platforms");
  // Nothing follows the last one: a warning only.
  EXPECT_EQ(found[1],
            "warning 7 : \"meFirmwareFile\" has no \"=\" after it, so this line is ignored");
  EXPECT_EQ(checkExitStatus(report), 2);

  writeKit("meFirmwarefile = 11.8.55.3510.bin\nsupportedPlatforms = aster\n");
  found = problems();
  EXPECT_PRED2(startsWith, found[0],
               "error 1 : \"meFirmwarefile\" is not the key \"meFirmwareFile\" (letter case "
               "counts), so this line is ignored; the key lines after it (line 2) come before any "
               "profile, which the installer refuses (1011h)");
}

TEST_F(KitCheckTest, AUtf16InputFileIsNamedAsSuch) {
  std::string utf16 = "\xFF\xFE";
  for (char c :
       std::string("meFirmwareFile = 11.8.55.3510.bin\r\nsupportedPlatforms = aster\r\n")) {
    utf16 += std::string(1, c) + '\0';
  }
  writeKit(utf16);
  std::vector<std::string> found = problems();
  EXPECT_EQ(found[0],
            "error 1 1011h: input.txt is UTF-16; save it as ANSI or UTF-8. The installer finds no "
            "key in it and stops every run with 1011h.");
  // Without a byte-order mark, the NULs give it away.
  writeKit(utf16.substr(2));
  EXPECT_PRED2(startsWith, problems()[0], "error 1 1011h: input.txt is UTF-16;");
  // A UTF-8 byte-order mark is accepted, as the installer accepts it.
  writeKit("\xEF\xBB\xBF" + cleanInput.substr(cleanInput.find('\n') + 1));
  EXPECT_EQ(problems(), std::vector<std::string>{});
}

TEST_F(KitCheckTest, MistakesTheInstallerAcceptsSilently) {
  writeKit(
      "meFirmwareFile = 11.8.55.3510.bin\n"
      "supportedPlatforms = aster\n"
      "prereqBios = N01-1.04.0\n"
      "upfrontMessage = First.\n"
      "upfrontMessage = Second.\n"
      "meFirmwareFile = 11.8.55.3510.fjord.bin\n"
      "supportedPlatforms = fjord,\n");
  std::vector<std::string> found = problems();
  ASSERT_EQ(found.size(), 3u) << testing::PrintToString(found);
  EXPECT_EQ(found[0],
            "warning 3 : profile 0: prereqBios \"n01-1.04.0\" begins with a family code, whose "
            "digits join the number: it becomes 11040, and machines whose BIOS number is smaller "
            "end with 2011s. Write the version alone.");
  EXPECT_EQ(found[1],
            "warning 5 : a second upfrontMessage in profile 0: it replaces the one on line 4");
  EXPECT_EQ(found[2],
            "error 7 1010h:  does not exist in the platform decoder. Double check the supported "
            "platforms in the input file. The platform name is empty: the list ends with a comma "
            "or holds two in a row. This error stops every run of the Kitbox, not just one "
            "profile's.");
}

// Windows, where the Kitbox runs, finds an image whatever the letter case of its name.
TEST_F(KitCheckTest, ImagesAreFoundAsWindowsFindsThemAndCopiedWithoutFollowingLinks) {
  writeKit(cleanInput);
  std::filesystem::rename("ME_Flash/11.8.55.3510.bin", "ME_Flash/11.8.55.3510.BIN");
  EXPECT_EQ(problems(), std::vector<std::string>{});
  EXPECT_TRUE(report.profiles[0].imagePresent);
  // The installer copies the image it found, without following a link.
  std::filesystem::rename("ME_Flash/11.8.55.3510.BIN", "ME_Flash/real.bin");
  std::error_code noLinks;
  std::filesystem::create_symlink("real.bin", "ME_Flash/11.8.55.3510.Bin", noLinks);
  if (noLinks) GTEST_SKIP() << "links cannot be made here: " << noLinks.message();
  std::vector<std::string> linked = problems();
  ASSERT_FALSE(linked.empty());
  EXPECT_EQ(linked[0],
            "error 2 2020s: profile 0: The Kitbox file ME_Flash\\11.8.55.3510.Bin could not be "
            "copied to the installer's private folder: a link, not a file.");
}

// Other tooling reads this shape: member names, order and types are fixed.
TEST_F(KitCheckTest, JsonShapeIsStable) {
  writeKit(
      "meFirmwareFile = 11.8.55.3510.bin\n"
      "supportedPlatforms = aster, fjord\n"
      "upfrontMessage = Say \"yes\"\\nthen wait \xe9\n"
      "prereqbios = 1\n");
  report = checkKitbox();
  EXPECT_EQ(checkReportJson(report),
            "{\"schema\": 1, \"toolVersion\": \"" MEFW_PRODUCT_VERSION
            "\", \"summary\": {\"errors\": 0, \"warnings\": 1, \"notes\": 1, \"profiles\": 1}, "
            "\"profiles\": [{\"index\": 0, \"line\": 1, \"firmwareFile\": \"11.8.55.3510.bin\", "
            "\"firmwareVersion\": \"11.8.55.3510\", \"platforms\": [{\"id\": \"aster\", "
            "\"family\": \"n01\"}, {\"id\": \"fjord\", \"family\": \"p10\"}], \"prereqBios\": "
            "null, \"upfrontMessage\": \"Say \\\"yes\\\"\\nthen wait \\u00e9\", \"imagePresent\": "
            "true}], \"problems\": [{\"severity\": \"warning\", \"line\": 4, \"code\": null, "
            "\"message\": \"\\\"prereqbios\\\" is not the key \\\"prereqBios\\\" (letter case "
            "counts), so this line is ignored\"}, {\"severity\": \"note\", \"line\": null, "
            "\"code\": null, \"message\": \"ME_Flash\\\\11.8.55.3510.fjord.bin is not named by any "
            "profile of input.txt\"}]}\n");
}

TEST_F(KitCheckTest, ReportsTheSignatureOfEachToolAsTheInstallerWouldJudgeIt) {
  writeKit(cleanInput);
  fake().signatures["ME_Flash\\Local-Win\\FwUpdLcl64.exe"] = {platform::SignatureState::altered, "",
                                                              ""};
  fake().signatures["MEInfo\\Win\\WINDOWS64\\MEInfoWin64.exe"] = {platform::SignatureState::none,
                                                                  "", ""};
  EXPECT_EQ(problems(),
            (std::vector<std::string>{
                "error 0 2018s: The tool FwUpdLcl64.exe is not signed by Intel Corporation (the "
                "signature does not match the file). The Kitbox may have been altered: get it "
                "again from Norvane.",
                "error 0 2018s: The tool MEInfoWin64.exe is not signed by Intel Corporation (no "
                "signature). The Kitbox may have been altered: get it again from Norvane. Only a "
                "lab Kitbox with simulated tools runs without a signature, with -allowunsigned."}));
  EXPECT_EQ(checkExitStatus(report), 2);
  fake().signatures["ME_Flash\\Local-Win\\FwUpdLcl64.exe"] = {platform::SignatureState::valid,
                                                              "Other Tools Corporation", ""};
  fake().signatures["MEInfo\\Win\\WINDOWS64\\MEInfoWin64.exe"] = {
      platform::SignatureState::notSupported, "", ""};
  std::vector<std::string> found = problems();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_TRUE(startsWith(found[0],
                         "error 0 2018s: The tool FwUpdLcl64.exe is not signed by "
                         "Intel Corporation (signed by Other Tools Corporation)."));
  EXPECT_EQ(found[1],
            "note 0 : this build cannot check the signatures of Intel's tools: check the Kitbox "
            "with the Windows mefwkit");
}

}  // namespace
