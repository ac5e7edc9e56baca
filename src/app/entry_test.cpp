#include "app/entry.h"

#include "settings/fixed_names.h"
#include "settings/run_settings.h"
#include "stamp/stamp_pieces.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string updateCommand =
    "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.55.3510.bin";
const std::string updateOutput =
    "verification: [ 0 % ]\rverification: [ 100 % ]\rverification: [ COMPLETE ]\r\n"
    "FW Update:  [ 0% (|)]\rFW Update:  [ 100% (/)]\rFW Update completed successfully.\r\n";
const std::string pause = "Timeout /T 30";

// A Kitbox in the test's folder, with scripted answers from wmic and the update tool.
class EntryTest : public UnitTest {
 protected:
  void SetUp() override {
    UnitTest::SetUp();
    writeFileBytes("input.txt",
                   "meFirmwareFile = 11.8.55.3510.bin\nsupportedPlatforms = aster\n"
                   "prereqBios = 1.04\n");
    fs::create_directories("ME_Flash/Local-Win");
    writeFileBytes("ME_Flash/Local-Win/FwUpdLcl64.exe", "tool");
    writeFileBytes("ME_Flash/11.8.55.3510.bin", "image");
    writeFileBytes("README.htm", "<html></html>");
    fs::create_directories("drive");
    fake().environment["SystemDrive"] = (folder / "drive").string();
    fake().commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\nN01 Ver. 1.05.2\r\r\n";
    fake().commandOutput[fwVersionCommand] = "FW Version: 11.8.50.3399\r\n";
    fake().commandOutput[updateCommand] = updateOutput;
  }

  int run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "C:\\Kit\\mefwupdate.exe");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
      argv.push_back(argument.data());
    }
    return runInstaller(static_cast<int>(argv.size()), argv.data());
  }

  // The version the stamp file carries, read from its FileVersion string.
  std::string stampedVersion() {
    std::string image = readFileBytes(folder / "drive" / "MeFwVer.sys");
    std::string key("F\0i\0l\0e\0V\0e\0r\0s\0i\0o\0n\0\0\0", 24);
    std::size_t at = image.find(key);
    if (at == std::string::npos) return "(no stamp)";
    std::string version;
    for (std::size_t i = at + key.size() + 2; i + 1 < image.size() && image[i] != 0; i += 2) {
      version += image[i];
    }
    return version;
  }

  bool paused() {
    const auto& run = fake().commandsRun;
    return std::find(run.begin(), run.end(), pause) != run.end();
  }
};

TEST_F(EntryTest, SilentUpdateStampsTheNewVersionAndDoesNotPause) {
  EXPECT_EQ(run({"-s"}), 0);
  EXPECT_EQ(stampedVersion(), "11.8.55.3510");
  EXPECT_FALSE(paused());
  EXPECT_NE(fake().output.find("Update complete."), std::string::npos);
  EXPECT_FALSE(fs::exists("installerError.log"));
}

// Each stamp write ends with "Write complete"; the file holds the run log up to its writing.
TEST_F(EntryTest, SecondStampIsWrittenAfterTheRunLog) {
  auto writesIn = [](const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = text.find("Write complete"); at != std::string::npos;
         at = text.find("Write complete", at + 1)) {
      ++count;
    }
    return count;
  };
  EXPECT_EQ(run({"-s", "-log"}), 0);
  std::string log = readFileBytes("runLog.log");
  EXPECT_NE(log.find("Writing ME Firmware version"), std::string::npos);
  EXPECT_EQ(writesIn(log), 1u);
  EXPECT_EQ(writesIn(runLogText()), 2u);
  EXPECT_EQ(stampedVersion(), "11.8.55.3510");
}

TEST_F(EntryTest, SilentRestartIsImmediate) {
  EXPECT_EQ(run({"-r", "-s"}), 0);
  std::string output = fake().output;
  EXPECT_EQ(output.substr(output.size() - 29), "Rebooting the computer now.\n\n");
  EXPECT_EQ(fake().commandsRun,
            std::vector<std::string>{"c:\\windows\\system32\\shutdown /r /t 2 \n\n"});
}

TEST_F(EntryTest, InteractiveRestartWaitsTwentySecondsThenPauses) {
  fake().inputWords = {"y"};
  EXPECT_EQ(run({"-r", "-v"}), 0);
  EXPECT_NE(fake().output.find("Rebooting computer shortly.\n"), std::string::npos);
  EXPECT_NE(fake().output.find("Rebooting the computer in 20 seconds\n\n"), std::string::npos);
  EXPECT_EQ(fake().commandsRun,
            (std::vector<std::string>{"c:\\windows\\system32\\shutdown /r /t 20 \n\n", pause}));
}

TEST_F(EntryTest, DeclinedUpdateOpensTheReadmeAndKeepsTheInstalledStamp) {
  fake().inputWords = {"N"};
  EXPECT_EQ(run({"-r"}), 100);
  EXPECT_EQ(fake().documentsOpened, std::vector<std::string>{"README.htm"});
  EXPECT_EQ(stampedVersion(), "11.8.50.3399");
  EXPECT_EQ(fake().commandsRun, std::vector<std::string>{pause});
  EXPECT_EQ(fake().pipesOpened.size(), 2u);
  EXPECT_FALSE(fs::exists("installerError.log"));
}

TEST_F(EntryTest, DeclinedWithoutReadmeIsAnError) {
  fs::remove("README.htm");
  fake().inputWords = {"n"};
  EXPECT_EQ(run({}), 1002);
  EXPECT_TRUE(fs::exists("installerError.log"));
}

TEST_F(EntryTest, SameVersionIsANoticeWithoutErrorLog) {
  fake().commandOutput[fwVersionCommand] = "FW Version: 11.8.55.3510\r\n";
  EXPECT_EQ(run({"-s"}), 3001);
  EXPECT_NE(fake().output.find("CODE  3001n: Your system already has firmware 11.8.55.3510 "
                               "installed. If you would like to update over the same version, "
                               "run this again with the -force argument.\n\nIf you feel that this "
                               "is inaccurate please contact Norvane Support.\n\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists("installerError.log"));
  EXPECT_EQ(stampedVersion(), "11.8.55.3510");
  EXPECT_EQ(fake().attributesSet[fake().attributesSet.size() - 2], 11);
}

TEST_F(EntryTest, ForceReinstallsWithTheSameVersionSwitch) {
  fake().commandOutput[fwVersionCommand] = "FW Version: 11.8.55.3510\r\n";
  fake().commandOutput[updateCommand + " -allowsv"] = updateOutput;
  EXPECT_EQ(run({"-s", "-force"}), 0);
  EXPECT_EQ(fake().pipesOpened.back(), updateCommand + " -allowsv");
}

TEST_F(EntryTest, UnsupportedPlatformStopsBeforeTheToolIsLookedFor) {
  fake().commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\nQ22 Ver. 1.0\r\r\n";
  EXPECT_EQ(run({"-s"}), 2010);
  EXPECT_EQ(fake().pipesOpened, std::vector<std::string>{biosVersionCommand});
  EXPECT_NE(fake().output.find("ERROR 2010s: This platform is not supported by the Kitbox.\n\n"),
            std::string::npos);
}

TEST_F(EntryTest, MissingToolStopsBeforeAnyStamp) {
  fs::remove("ME_Flash/Local-Win/FwUpdLcl64.exe");
  EXPECT_EQ(run({"-s"}), 1002);
  EXPECT_EQ(stampedVersion(), "(no stamp)");
  EXPECT_EQ(fake().pipesOpened.size(), 1u);
}

TEST_F(EntryTest, MissingImageIsReportedAfterTheWarning) {
  fs::remove("ME_Flash/11.8.55.3510.bin");
  EXPECT_EQ(run({"-s"}), 1002);
  std::string output = fake().output;
  std::size_t warning = output.find(
      "Your current ME version: 11.8.50.3399\nUpdating  to ME "
      "version: 11.8.55.3510\n\n");
  std::size_t error = output.find(
      "ERROR 1002h: File 11.8.55.3510.bin does not appear to exist "
      "in ME_Flash\\.");
  EXPECT_LT(warning, error);
  EXPECT_LT(error, output.size());
}

TEST_F(EntryTest, ToolErrorDuringTheUpdate) {
  fake().commandOutput[updateCommand] = "Error 8716: Invalid image\r\n";
  EXPECT_EQ(run({"-s"}), 4001);
  EXPECT_EQ(stampedVersion(), "11.8.50.3399");
}

TEST_F(EntryTest, FirmwareWaitingForARebootIsANotice) {
  fake().commandOutput[updateCommand] = "Error 8703: staged\r\n";
  EXPECT_EQ(run({"-s"}), 3002);
  EXPECT_FALSE(fs::exists("installerError.log"));
}

TEST_F(EntryTest, UpdateWithoutCompletionKeepsTheInstalledStamp) {
  fake().commandOutput[updateCommand] = "verification: [ 40 % ]\r";
  EXPECT_EQ(run({"-s", "-r"}), 2013);
  EXPECT_EQ(stampedVersion(), "11.8.50.3399");
  EXPECT_TRUE(fake().commandsRun.empty());
}

TEST_F(EntryTest, SecondStampFailureHasACodeOfItsOwn) {
  writeFileBytes("input.txt", "meFirmwareFile = 11.8.70000.1.bin\nsupportedPlatforms = aster\n");
  writeFileBytes("ME_Flash/11.8.70000.1.bin", "image");
  fake().commandOutput["ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.70000.1.bin"] =
      updateOutput;
  EXPECT_EQ(run({"-s", "-r"}), 2014);
  EXPECT_NE(fake().output.find("ERROR 2014s: The firmware was updated, but its version stamp was "
                               "not written: 1019h: Version 11.8.70000.1 cannot be written"),
            std::string::npos);
  EXPECT_TRUE(fs::exists("installerError.log"));
  EXPECT_EQ(stampedVersion(), "11.8.50.3399");
  // The firmware is flashed: the restart that makes it effective still happens.
  EXPECT_EQ(fake().commandsRun,
            std::vector<std::string>{"c:\\windows\\system32\\shutdown /r /t 2 \n\n"});
}

TEST_F(EntryTest, FailuresThatAreNotMessagesAreStillCoded) {
  fake().throwingCommand = fwVersionCommand;
  EXPECT_EQ(run({"-s"}), 1017);
  EXPECT_NE(fake().output.find("ERROR 1017h: Unexpected internal error: scripted failure\n\n"),
            std::string::npos);
  EXPECT_TRUE(fs::exists("installerError.log"));
}

TEST_F(EntryTest, SystemInformationModeQueriesBothVersionsFirst) {
  fs::create_directories("MEInfo/Win/WINDOWS64");
  writeFileBytes("MEInfo/Win/WINDOWS64/MEInfoWin64.exe", "tool");
  fake().commandOutput["MEInfo\\Win\\WINDOWS64\\MEInfoWin64.exe -verbose"] = "";
  EXPECT_EQ(run({"-s", "-systeminfo"}), 1);
  EXPECT_EQ(fake().pipesOpened.size(), 3u);
  EXPECT_NE(fake().output.find("-BIOS version:\tn01 ver. 1.05.2\n-ME version:\t11.8.50.3399\n"),
            std::string::npos);
}

TEST_F(EntryTest, FailedQueryEndsSystemInformationBeforeTheListing) {
  fake().commandOutput[fwVersionCommand] = "";
  EXPECT_EQ(run({"-s", "-systeminfo"}), 1015);
  EXPECT_EQ(fake().output.find("Extended system information"), std::string::npos);
}

TEST_F(EntryTest, MeInfoModeComesBeforeSystemInformation) {
  EXPECT_EQ(run({"-s", "-systeminfo", "-meinfo"}), 1002);
  EXPECT_EQ(fake().pipesOpened.size(), 0u);
}

TEST_F(EntryTest, FailingStartUpIsStillCoded) {
  setHelpText("set before the start-up set-up");
  EXPECT_EQ(run({"-s"}), 1017);
  EXPECT_EQ(fake().output, "ERROR 1017h: Unexpected internal error: the run could not finish\n");
}

}  // namespace
