#include "profiles/input_parser.h"

#include "console/messages.h"
#include "settings/run_settings.h"
#include "test_support.h"

namespace {

class InputParserTest : public UnitTest {
 protected:
  // Loads input.txt with the given content; returns what was raised, if anything.
  std::string load(const std::string& content) {
    writeFileBytes("input.txt", content);
    profiles.clear();
    return raisedBy([this] { loadInputProfiles(profiles); });
  }

  std::vector<InputProfile> profiles;
};

const std::string none = "(nothing raised)";
const std::string noFirmwareFirst =
    "ERROR 1011h: input.txt must have an meFirmwareFile field first before other parameters can "
    "be added";
const std::string noPlatforms = "ERROR 1012h: An input profile must have supported platforms";
const std::string noVersion =
    "ERROR 1013h: meFirmwareFile field in input.txt does not contain a valid ME firmware version "
    "number.";

std::string unknown(const std::string& platform) {
  return "ERROR 1010h: " + platform +
         " does not exist in the platform decoder. Double check the supported platforms in the "
         "input file.";
}

TEST_F(InputParserTest, ReadsProfilesWithAllTheirFields) {
  EXPECT_EQ(load("# kit\r\n"
                 "meFirmwareFile = 11.8.50.3399.bin\r\n"
                 "supportedPlatforms = ASTER, Birch ,\tcedar\r\n"
                 "upfrontMessage = Keep it plugged in.\\nIt takes a minute.  \r\n"
                 "prereqBios = N01 1.05\r\n"
                 "meFirmwareFile=12.0.20.1310.bin\r\n"
                 "supportedPlatforms=fjord\r\n"
                 "supportedPlatforms=fjord,glacier\r\n"),
            none);
  ASSERT_EQ(profiles.size(), 2u);
  EXPECT_EQ(profiles[0].meFirmwareFile, "11.8.50.3399.bin");
  EXPECT_EQ(profiles[0].firmwareVersion, "11.8.50.3399");
  EXPECT_EQ(profiles[0].getSupportedPlatforms(),
            (std::vector<std::string>{"aster", "birch", "cedar"}));
  EXPECT_EQ(profiles[0].getUpfrontMessage(), "Keep it plugged in.\nIt takes a minute.  ");
  // The value ends at the first blank, so only the family code is kept.
  EXPECT_EQ(profiles[0].getPrereqBios(), "n01");
  EXPECT_EQ(profiles[1].getSupportedPlatforms(),
            (std::vector<std::string>{"fjord", "fjord", "glacier"}));
  EXPECT_EQ(profiles[1].getUpfrontMessage(), "");
  EXPECT_EQ(profiles[1].getPrereqBios(), "");
}

TEST_F(InputParserTest, AnnouncesEachProfileAndField) {
  load(
      "meFirmwareFile = fw_11.8.50.3399.bin\nsupportedPlatforms = aster\n"
      "upfrontMessage = Hi\nprereqBios = 1.2\n");
  EXPECT_EQ(profiles[0].firmwareVersion, "fw_11.8.50.3399");
  std::string log = runLogText();
  EXPECT_NE(log.find("0: New input profile created.\nFirmware file: fw_11.8.50.3399.bin\n"
                     "Input firmware version: fw_11.8.50.3399\n"
                     "Supported platform: aster\nUpfront Message: Hi\nPrerequisite BIOS: 1.2\n"),
            std::string::npos)
      << log;
}

TEST_F(InputParserTest, KeysAreFoundAnywhereInALineAndLaterFieldsReplaceEarlierOnes) {
  EXPECT_EQ(load("; meFirmwareFile = 11.8.50.3399.bin was the old one\n"
                 "supportedPlatforms = aster\n"
                 "upfrontMessage = first\nupfrontMessage = second\n"
                 "prereqBios = 1.0\nprereqBios = 2.0\n"
                 "unknownKey = 5\n\n"),
            none);
  ASSERT_EQ(profiles.size(), 1u);
  EXPECT_EQ(profiles[0].getUpfrontMessage(), "second");
  EXPECT_EQ(profiles[0].getPrereqBios(), "2.0");
}

TEST_F(InputParserTest, FirmwareFileNameMustCarryAFourPartVersion) {
  EXPECT_EQ(load("meFirmwareFile = fw.bin\nsupportedPlatforms = aster\n"), noVersion);
  // The announcement comes first; the version of a name with fewer than four dots is the name.
  EXPECT_NE(runLogText().find("Firmware file: fw.bin\nInput firmware version: fw.bin\n"),
            std::string::npos);
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399\nsupportedPlatforms = aster\n"), noVersion);
  EXPECT_EQ(load("meFirmwareFile =\nsupportedPlatforms = aster\n"), noVersion);
  EXPECT_EQ(load("meFirmwareFile = ....bin\nsupportedPlatforms = aster\n"), none);
  EXPECT_EQ(profiles[0].firmwareVersion, "...");
}

TEST_F(InputParserTest, FieldsBeforeAnyFirmwareLineAndFilesWithoutOne) {
  EXPECT_EQ(load("prereqBios = 1.0\nmeFirmwareFile = 11.8.50.3399.bin\n"), noFirmwareFirst);
  EXPECT_EQ(load("supportedPlatforms = aster\n"), noFirmwareFirst);
  EXPECT_EQ(load("upfrontMessage = hi\n"), noFirmwareFirst);
  EXPECT_EQ(load("# only comments\n"), noFirmwareFirst);
  EXPECT_EQ(load(""), noFirmwareFirst);
}

TEST_F(InputParserTest, EveryProfileNeedsPlatforms) {
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\nsupportedPlatforms = \t \n"), noPlatforms);
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\n"), noPlatforms);
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\nsupportedPlatforms = aster\n"
                 "meFirmwareFile = 12.0.0.1.bin\n"),
            noPlatforms);
  // Only the last profile is checked at the end of the file.
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\n"
                 "meFirmwareFile = 12.0.0.1.bin\nsupportedPlatforms = aster\n"),
            none);
  EXPECT_TRUE(profiles[0].getSupportedPlatforms().empty());
}

TEST_F(InputParserTest, UnknownAndEmptyPlatformIdentifiers) {
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\nsupportedPlatforms = aster, Nowhere\n"),
            unknown("nowhere"));
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\nsupportedPlatforms = aster,,birch\n"),
            unknown(""));
  EXPECT_EQ(profiles[0].getSupportedPlatforms(), std::vector<std::string>{"aster"});
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\nsupportedPlatforms = aster,\n"), unknown(""));
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\nsupportedPlatforms = as ter\n"), none);
}

TEST_F(InputParserTest, FamilyClaimedByAnEarlierProfileIsAConflict) {
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\nsupportedPlatforms = fjord, aster\n"
                 "meFirmwareFile = 12.0.0.1.bin\nsupportedPlatforms = glacier, asterpro\n"),
            "ERROR 1016h: Input profile supported platform conflict.\n"
            "Input profile 1's supported platform asterpro's BIOS branch n01\n"
            "Already exists in input profile 0, supported platform aster, BIOS branch n01");
  // One profile may list several platforms of one family, or one platform twice.
  EXPECT_EQ(load("meFirmwareFile = 11.8.50.3399.bin\nsupportedPlatforms = aster, aster2, aster\n"),
            none);
}

TEST_F(InputParserTest, MissingInputFile) {
  EXPECT_EQ(raisedBy([this] { loadInputProfiles(profiles); }),
            "ERROR 1002h: File input.txt does not appear to exist in .\\.");
}

TEST_F(InputParserTest, HelpersForFileNames) {
  EXPECT_EQ(findFourthOccurrence("11.8.50.3399.bin", '.'), 12u);
  EXPECT_EQ(findFourthOccurrence("....", '.'), 3u);
  EXPECT_EQ(findFourthOccurrence("1.2.3", '.'), std::string::npos);
  EXPECT_EQ(removeBlanks(" a\tb c "), "abc");
}

}  // namespace
