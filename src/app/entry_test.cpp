#include "app/entry.h"

#include "app/run_events.h"
#include "app/run_guards.h"
#include "app/run_record.h"
#include "app/run_record_store.h"

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
const std::string stagedTool = "stage-1\\ME_Flash\\Local-Win\\FwUpdLcl64.exe";

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
    scriptMachine();
  }

  void scriptMachine() {
    fake().environment["SystemDrive"] = (folder / "drive").string();
    fake().commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\nN01 Ver. 1.05.2\r\r\n";
    fake().commandOutput[fwVersionCommand] = "FW Version: 11.8.50.3399\r\n";
    fake().commandOutput[updateCommand] = updateOutput;
  }

  // A fresh process on the same machine and Kitbox, for a test of several runs.
  void restartProcess() {
    resetProcessState();
    scriptMachine();
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
  // A folder takes the stamp's name while the tool flashes.
  fake().pipeOpenActions[updateCommand] = [] {
    fs::remove("drive/MeFwVer.sys");
    fs::create_directory("drive/MeFwVer.sys");
  };
  EXPECT_EQ(run({"-s", "-r"}), 2014);
  EXPECT_NE(fake().output.find("ERROR 2014s: The firmware was updated, but its version stamp was "
                               "not written: 2003s: Cannot write to file "),
            std::string::npos);
  EXPECT_TRUE(fs::exists("installerError.log"));
  EXPECT_TRUE(fs::is_directory("drive/MeFwVer.sys"));
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

TEST_F(EntryTest, IntelsToolIsCheckedBeforeItsFirstStartAndRefusedBeforeAnyStart) {
  EXPECT_EQ(run({"-s"}), 0);
  ASSERT_EQ(fake().signatureChecks.size(), 1u);
  // The copy in the stage, from which every one of Intel's commands starts.
  EXPECT_EQ(fake().signatureChecks[0].path, stagedTool);
  EXPECT_EQ(fake().pipeWorkingFolders,
            (std::vector<std::string>{fake().systemProgramsFolder, "stage-1", "stage-1"}));
  EXPECT_EQ(readFileBytes("ME_Flash/11.8.55.3510.bin"), "image");
  EXPECT_FALSE(fs::exists("stage-1"));
  // After wmic, before the version query: the check, then the start.
  EXPECT_EQ(fake().signatureChecks[0].pipesOpenedBefore, 1u);
  EXPECT_EQ(fake().pipesOpened,
            (std::vector<std::string>{biosVersionCommand, fwVersionCommand, updateCommand}));

  for (platform::Signature refused :
       {platform::Signature{platform::SignatureState::none, "", ""},
        platform::Signature{platform::SignatureState::altered, "", ""}}) {
    restartProcess();
    fake().signatures[stagedTool] = refused;
    fs::remove(folder / "drive" / "MeFwVer.sys");
    EXPECT_EQ(run({"-s"}), 2018);
    EXPECT_EQ(fake().pipesOpened, std::vector<std::string>{biosVersionCommand});
    EXPECT_FALSE(fs::exists(folder / "drive" / "MeFwVer.sys"));
    EXPECT_NE(fake().output.find("ERROR 2018s: The tool FwUpdLcl64.exe is not signed by Intel "
                                 "Corporation ("),
              std::string::npos);
  }
}

TEST_F(EntryTest, AllowUnsignedRunsAToolWithoutSignatureAfterAWarning) {
  fake().signatures[stagedTool] = {platform::SignatureState::none, "", ""};
  EXPECT_EQ(run({"-s", "-allowunsigned", "-log"}), 0);
  EXPECT_EQ(stampedVersion(), "11.8.55.3510");
  EXPECT_NE(readFileBytes("runLog.log").find("FwUpdLcl64.exe has no signature"), std::string::npos);
  restartProcess();
  EXPECT_EQ(run({"-s", "-allowUnsigned", "-allowunsigned"}), 1005);
  EXPECT_NE(fake().output.find("ERROR 1005h: You've already set allowUnsigned, you can only set "
                               "it once."),
            std::string::npos);
  EXPECT_EQ(fake().pipesOpened.size(), 0u);
}

TEST_F(EntryTest, DiagnosticModesCheckTheirToolsBeforeRunningThem) {
  fs::create_directories("MEInfo/Win/WINDOWS64");
  writeFileBytes("MEInfo/Win/WINDOWS64/MEInfoWin64.exe", "tool");
  fake().commandOutput["MEInfo\\Win\\WINDOWS64\\MEInfoWin64.exe -verbose"] = "";
  fake().signatures["stage-1\\MEInfo\\Win\\WINDOWS64\\MEInfoWin64.exe"] = {
      platform::SignatureState::valid, "Other Tools Corporation", ""};
  EXPECT_EQ(run({"-s", "-meinfo"}), 2018);
  EXPECT_EQ(fake().pipesOpened.size(), 0u);
  EXPECT_FALSE(fs::exists("meInfoVerbose.txt"));
  restartProcess();
  fake().signatures[stagedTool] = {platform::SignatureState::altered, "", ""};
  EXPECT_EQ(run({"-s", "-systeminfo"}), 2018);
  EXPECT_EQ(fake().pipesOpened, std::vector<std::string>{biosVersionCommand});
  // A tool that is not there is not copied: its query starts in the stage, where it finds
  // nothing to run, and reads no version.
  restartProcess();
  fs::remove("ME_Flash/Local-Win/FwUpdLcl64.exe");
  fake().commandOutput[fwVersionCommand] = "";
  fake().pipeOpenActions[fwVersionCommand] = [] {
    EXPECT_FALSE(fs::exists("stage-1/ME_Flash/Local-Win/FwUpdLcl64.exe"));
  };
  EXPECT_EQ(run({"-s", "-systeminfo"}), 1015);
  EXPECT_EQ(fake().pipesOpened, (std::vector<std::string>{biosVersionCommand, fwVersionCommand}));
  EXPECT_EQ(fake().pipeWorkingFolders[1], "stage-1");
}

TEST_F(EntryTest, FailingStartUpIsStillCoded) {
  setHelpText("set before the start-up set-up");
  EXPECT_EQ(run({"-s"}), 1017);
  EXPECT_EQ(fake().output, "ERROR 1017h: Unexpected internal error: the run could not finish\n");
}

// Checks before the firmware is touched ------------------------------------------------------

class GuardTest : public EntryTest {
 protected:
  bool flashed() {
    for (const std::string& pipe : fake().pipesOpened) {
      if (pipe.rfind("ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ", 0) == 0) return true;
    }
    return false;
  }

  bool shown(const std::string& text) { return fake().output.find(text) != std::string::npos; }

  // Refused before the upfront message, the warning and the question, and without a flash.
  void expectRefusedBeforeTheUpfrontMessage() {
    EXPECT_FALSE(flashed());
    EXPECT_FALSE(shown("Read this first"));
    EXPECT_FALSE(shown("DO NOT SHUT DOWN"));
    EXPECT_EQ(fake().inputWordsRead, 0u);
    EXPECT_EQ(stampedVersion(), "11.8.50.3399");
  }

  void shipVersion(const std::string& version) {
    writeFileBytes("input.txt", "meFirmwareFile = " + version +
                                    ".bin\nsupportedPlatforms = aster\n"
                                    "upfrontMessage = Read this first\n");
    writeFileBytes("ME_Flash/" + version + ".bin", "image");
    fake().commandOutput["ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\" + version + ".bin"] =
        updateOutput;
  }
};

TEST_F(GuardTest, SecondInstallerEndsBeforeInputOrAnyToolInEveryFirmwareMode) {
  fake().installerLock.outcome = platform::InstallerLock::heldElsewhere;
  for (const char* mode : {"-v", "-meinfo", "-systeminfo"}) {
    fake().pipesOpened.clear();
    fs::remove("installerError.log");
    fs::remove("input.txt");  // read, it would end the run with 1002h
    EXPECT_EQ(run({"-s", mode}), 2015) << mode;
    EXPECT_TRUE(fake().pipesOpened.empty()) << mode;
    EXPECT_TRUE(fs::exists("installerError.log")) << mode;
    restartProcess();
    fake().installerLock.outcome = platform::InstallerLock::heldElsewhere;
  }
  EXPECT_EQ(run({"-s"}), 2015);
  EXPECT_TRUE(
      shown("ERROR 2015s: Another firmware update is running on this computer. Run the "
            "installer again when it has finished.\n\n"));
}

TEST_F(GuardTest, HelpScreensNeedNoGuard) {
  fake().installerLock.outcome = platform::InstallerLock::heldElsewhere;
  fake().workingFolder = "\\\\server\\share\\Kitbox";
  EXPECT_EQ(run({"-s", "-h"}), 1);
  EXPECT_EQ(fake().installerLockClaims, 0);
  restartProcess();
  fake().installerLock.outcome = platform::InstallerLock::heldElsewhere;
  EXPECT_EQ(run({"-s", "-supersecrethelp"}), 1);
  EXPECT_EQ(fake().installerLockClaims, 0);
}

TEST_F(GuardTest, BlockedGuardEndsEveryFirmwareModeBeforeAnyTool) {
  // Held, another kind of object under the guard's name, or no way to set it up at all: only
  // the first may be waited out, and none may let a flash run unguarded.
  const std::vector<std::pair<std::string, std::string>> problems = {
      {"Global\\Norvane.mefwupdate", "another kind of object holds its name"},
      {"/run/mefwupdate/mefwupdate.lock", "a symbolic link stands at its path"},
      {"Global\\Norvane.mefwupdate", "Access is denied. (5)"}};
  for (const auto& [guard, problem] : problems) {
    for (const char* mode : {"-v", "-meinfo", "-systeminfo"}) {
      fake().installerLock = {platform::InstallerLock::blocked, guard, problem, ""};
      EXPECT_EQ(run({"-s", mode}), 2019) << mode;
      EXPECT_TRUE(fake().pipesOpened.empty()) << mode;
      EXPECT_TRUE(shown("ERROR 2019s: The one-instance guard " + guard +
                        " cannot be set up: " + problem + ".\n\n"))
          << mode;
      restartProcess();
    }
  }
}

TEST_F(GuardTest, GuardInAPlaceOfDevelopmentOnlyIsSaidAndTheUpdateGoesOn) {
  fake().installerLock.note =
      "XDG_RUNTIME_DIR is not set: the one-instance guard is kept in /tmp.\n";
  EXPECT_EQ(run({"-s", "-v"}), 0);
  EXPECT_TRUE(shown("XDG_RUNTIME_DIR is not set: the one-instance guard is kept in /tmp.\n"));
}

TEST_F(GuardTest, NetworkKitboxEndsBeforeTheGuardAndAnyTool) {
  fake().workingFolder = "\\\\server\\share\\Kitbox";
  fake().installerLock.outcome = platform::InstallerLock::heldElsewhere;
  for (const char* mode : {"-v", "-meinfo", "-systeminfo"}) {
    EXPECT_EQ(run({"-s", mode}), 2017) << mode;
    EXPECT_TRUE(fake().pipesOpened.empty()) << mode;
    EXPECT_EQ(fake().installerLockClaims, 0) << mode;
    EXPECT_TRUE(
        shown("ERROR 2017s: The Kitbox is run from the network path "
              "\\\\server\\share\\Kitbox. Copy it to a local folder and run the "
              "installer there.\n\n"));
    restartProcess();
    fake().workingFolder = "\\\\server\\share\\Kitbox";
  }
  fake().workingFolder = "Z:\\Kitbox";  // a mapped drive
  EXPECT_EQ(run({"-s"}), 0);
}

TEST_F(GuardTest, LowBatteryRefusesTheUpdateBeforeTheUpfrontMessage) {
  shipVersion("11.8.55.3510");
  fake().batteryOnlyCharge = 24;
  EXPECT_EQ(run({"-s"}), 2016);
  EXPECT_TRUE(
      shown("ERROR 2016s: The computer is running on battery with 24% charge. Connect it "
            "to mains power and run the update again.\n\n"));
  expectRefusedBeforeTheUpfrontMessage();
  EXPECT_EQ(fake().commandsRun, std::vector<std::string>{});  // not even the upfront pause
  restartProcess();
  fake().batteryOnlyCharge = 8;
  EXPECT_EQ(run({}), 2016);  // interactive: refused before the question
  expectRefusedBeforeTheUpfrontMessage();
}

TEST_F(GuardTest, EnoughPowerLetsTheUpdateGoOn) {
  for (std::optional<int> charge :
       {std::optional<int>(25), std::optional<int>(100), std::optional<int>()}) {
    restartProcess();
    fake().batteryOnlyCharge = charge;
    EXPECT_EQ(run({"-s"}), 0) << charge.value_or(-1);
    EXPECT_TRUE(flashed());
    EXPECT_EQ(fake().powerQueries, 1);
  }
}

TEST_F(GuardTest, VersionTheStampCannotCarryIsRefusedBeforeTheFlash) {
  for (const char* version : {"11.8.70000.1", "00011.00022.00033.004444"}) {
    shipVersion(version);
    EXPECT_EQ(run({}), 1019) << version;
    EXPECT_TRUE(shown(std::string("ERROR 1019h: Version ") + version +
                      " cannot be written to the version stamp"));
    expectRefusedBeforeTheUpfrontMessage();
    restartProcess();
  }
}

TEST_F(GuardTest, VersionChecksComeBeforeThePowerCheck) {
  fake().batteryOnlyCharge = 5;
  shipVersion("11.8.50.3399");
  EXPECT_EQ(run({"-s"}), 3001);  // the installed version: the comparison decides first
  restartProcess();
  fake().batteryOnlyCharge = 5;
  shipVersion("11.8.70000.1");
  EXPECT_EQ(run({"-s"}), 1019);
  EXPECT_EQ(fake().powerQueries, 0);
}

TEST_F(GuardTest, NetworkPathsAreToldFromLocalOnes) {
  for (const char* folder :
       {"\\\\server\\share", "\\\\server\\share\\Kit box", "//server/share",
        "\\\\?\\UNC\\server\\share\\Kitbox", "\\\\?\\unc\\server\\share",
        "\\\\.\\UNC\\server\\share", "\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\Kitbox",
        "\\\\.\\globalroot\\device\\mup\\server", "//?/GlobalRoot/Device/Mup/s"}) {
    EXPECT_TRUE(isNetworkPath(folder)) << folder;
  }
  for (const char* folder : {"C:\\Kitbox", "Z:\\", "\\\\?\\C:\\Kitbox", "\\\\.\\C:\\Kitbox",
                             "\\\\?\\Volume{0}\\Kitbox", "\\Kitbox", "/home/kit/Kitbox", "\\", "",
                             "\\\\?\\UNCX\\x", "\\\\?\\GLOBALROOT\\Device\\HarddiskVolume2\\Kitbox",
                             "\\\\?\\GLOBALROOT\\Device\\Mupx\\server"}) {
    EXPECT_FALSE(isNetworkPath(folder)) << folder;
  }
}

}  // namespace

namespace {

// What a run shows and leaves, but the run record.
struct Outcome {
  int code;
  std::string output;
  std::string log;
  std::vector<std::string> commands;
  bool operator==(const Outcome& other) const {
    return code == other.code && output == other.output && log == other.log &&
           commands == other.commands;
  }
};

}  // namespace

TEST_F(EntryTest, AStateFolderThatCannotBeWrittenChangesNothingButOneVerboseLine) {
  for (std::string bios : {"N01 Ver. 1.05.2", "Q22 Ver. 1.0"}) {
    restartProcess();
    fake().commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\n" + bios + "\r\r\n";
    int code = run({"-s", "-r"});
    Outcome written{code, fake().output, runLogText(), fake().commandsRun};
    std::string stamp = stampedVersion();
    ASSERT_TRUE(fs::exists("state/last-run.json"));
    fs::remove_all("state");
    restartProcess();
    fake().commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\n" + bios + "\r\r\n";
    fake().stateFolder.clear();
    fake().stateFolderProblem = "state is not a folder";
    code = run({"-s", "-r"});
    std::string log = runLogText();
    const std::string line = "The run record was not written: state is not a folder\n";
    std::size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos) << log;
    log.erase(at, line.size());
    EXPECT_EQ(log.find("run record"), std::string::npos);
    EXPECT_TRUE((Outcome{code, fake().output, log, fake().commandsRun} == written)) << bios;
    EXPECT_EQ(stampedVersion(), stamp);
    EXPECT_FALSE(fs::exists("state"));
  }
}

TEST_F(EntryTest, TheRecordFollowsTheRunFromStartToEnd) {
  EXPECT_EQ(run({"-s"}), 0);
  const RunRecord& record = currentRunRecord();
  EXPECT_EQ(record.state, "finished");
  EXPECT_EQ(record.mode, std::optional<std::string>("update"));
  EXPECT_EQ(record.arguments, std::vector<std::string>{"-s"});
  EXPECT_EQ(record.exitCode, std::optional<int>(0));
  EXPECT_EQ(record.biosText, "N01 Ver. 1.05.2");
  EXPECT_EQ(record.profile, std::optional<int>(0));
  EXPECT_EQ(record.installedFirmware, "11.8.50.3399");
  EXPECT_EQ(record.stampedFirmware, "11.8.55.3510");
  EXPECT_EQ(record.flashCompleted, std::optional<bool>(true));
  std::string lastFlash = readFileBytes("state/last-flash.json");
  EXPECT_EQ(lastFlash, readFileBytes("state/last-run.json"));
  EXPECT_EQ(lastFlash, runRecordJson(record));
}

// From just before the flash until after the last record, nothing that ends a terminal or a
// console may take the installer away; after that, it is itself again.
TEST_F(EntryTest, TheInstallerStaysThroughTheFlashUntilItsLastRecord) {
  bool stayingAtQuery = true;
  bool stayingAtFlash = false;
  fake().pipeOpenActions[fwVersionCommand] = [&] { stayingAtQuery = fake().stayingThroughFlash; };
  fake().pipeOpenActions[updateCommand] = [&] { stayingAtFlash = fake().stayingThroughFlash; };
  EXPECT_EQ(run({"-s"}), 0);
  EXPECT_FALSE(stayingAtQuery);
  EXPECT_TRUE(stayingAtFlash);
  EXPECT_FALSE(fake().stayingThroughFlash);
  EXPECT_EQ(currentRunRecord().flashLeftover, std::optional<bool>(false));
}

// What the flash left running must not be cut short by a restart; the record and a verbose line
// say why there was none.
TEST_F(EntryTest, AFlashThatLeftSomethingRunningGetsNoRestart) {
  fake().flashLeavesSomethingRunning = true;
  EXPECT_EQ(run({"-s", "-r", "-v"}), 0);
  EXPECT_EQ(fake().commandsRun, std::vector<std::string>{});
  EXPECT_NE(fake().output.find("A program the update tool started was still running 10 seconds "
                               "after the tool ended; its output is no longer read, and the "
                               "computer is not restarted.\n"),
            std::string::npos);
  EXPECT_EQ(fake().output.find("Rebooting"), std::string::npos);
  const RunRecord& record = currentRunRecord();
  EXPECT_EQ(record.flashLeftover, std::optional<bool>(true));
  EXPECT_EQ(record.restartRequested, std::optional<bool>(false));
  EXPECT_EQ(readFileBytes("state/last-flash.json"), runRecordJson(record));
}

TEST_F(EntryTest, AFailedFlashLeavesItsRecordFinishedWithTheToolsError) {
  fake().commandOutput[updateCommand] = "verification: [ COMPLETE ]\r\nError 8193: Bad image\r\n";
  int code = run({"-s"});
  const RunRecord& record = currentRunRecord();
  EXPECT_EQ(record.exitCode, std::optional<int>(code));
  EXPECT_EQ(record.flashStarted, std::optional<bool>(true));
  EXPECT_EQ(record.flashCompleted, std::optional<bool>(false));
  EXPECT_EQ(record.stampedFirmware, "11.8.50.3399");
  EXPECT_EQ(messageCode(record.message), "8193u");
  EXPECT_EQ(readFileBytes("state/last-flash.json"), runRecordJson(record));
}

// The scan -----------------------------------------------------------------------------------

namespace {

class ScanTest : public GuardTest {
 protected:
  // The Kitbox and the machine as set up, whatever the last case changed.
  void startAgain() {
    restartProcess();
    writeFileBytes("ME_Flash/Local-Win/FwUpdLcl64.exe", "tool");
    writeFileBytes("ME_Flash/11.8.55.3510.bin", "image");
    fs::remove(folder / "drive" / "MeFwVer.sys");
    fs::remove_all("state");
  }

  // Nothing written, asked, opened, run or flashed, and no record but last-scan.json.
  void expectNothingChanged(const std::string& name) {
    EXPECT_FALSE(flashed()) << name;
    EXPECT_EQ(stampedVersion(), "(no stamp)") << name;
    EXPECT_EQ(fake().commandsRun, std::vector<std::string>{}) << name;
    EXPECT_EQ(fake().documentsOpened, std::vector<std::string>{}) << name;
    EXPECT_EQ(fake().inputWordsRead, 0u) << name;
    EXPECT_FALSE(shown("DO NOT SHUT DOWN")) << name;
    EXPECT_FALSE(shown("Read this first")) << name;
    EXPECT_FALSE(fs::exists("state/last-run.json")) << name;
    EXPECT_FALSE(fs::exists("state/runs")) << name;
    EXPECT_EQ(readFileBytes("state/last-scan.json"), runRecordJson(currentRunRecord())) << name;
    EXPECT_EQ(currentRunRecord().mode, std::optional<std::string>("scan")) << name;
  }
};

TEST_F(ScanTest, AScanThatPassesSaysSoAndChangesNothing) {
  shipVersion("11.8.55.3510");
  fake().inputWords = {"y"};
  EXPECT_EQ(run({"-scan", "-r"}), 0);
  EXPECT_TRUE(shown("Scan: this computer would be updated from 11.8.50.3399 to 11.8.55.3510.\n"));
  // What the stamp write checks before writing is checked.
  EXPECT_NE(runLogText().find("Finding OS drive letter.\n"), std::string::npos);
  EXPECT_EQ(runLogText().find("Writing ME Firmware version"), std::string::npos);
  expectNothingChanged("passes");
  EXPECT_EQ(currentRunRecord().restartRequested, std::optional<bool>(false));
  EXPECT_EQ(currentRunRecord().restartPending, std::optional<bool>(false));
}

TEST_F(ScanTest, AScanEndsWithTheCodeTheSilentUpdateReachesBeforeItsFlash) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::function<void(platform::FakePlatform&)> machine;
    int code;
  };
  const std::string installed = fwVersionCommand;
  const std::vector<Case> cases = {
      {"applies", {}, [](auto&) {}, 0},
      {"same version",
       {},
       [&](auto& f) { f.commandOutput[installed] = "FW Version: 11.8.55.3510"; },
       3001},
      {"same version, forced",
       {"-force"},
       [&](auto& f) {
         f.commandOutput[installed] = "FW Version: 11.8.55.3510";
         f.commandOutput[updateCommand + " -allowsv"] = updateOutput;
       },
       0},
      {"downgrade",
       {},
       [&](auto& f) { f.commandOutput[installed] = "FW Version: 12.0.1.1"; },
       3000},
      {"platform",
       {},
       [](auto& f) {
         f.commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\nQ22 1.0\r\r\n";
       },
       2010},
      {"prerequisite",
       {},
       [](auto& f) {
         f.commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\nN01 1.03\r\r\n";
       },
       2011},
      {"no tool", {}, [](auto&) { fs::remove("ME_Flash/Local-Win/FwUpdLcl64.exe"); }, 1002},
      {"unsigned tool",
       {},
       [](auto& f) {
         f.signatures[stagedTool] = {platform::SignatureState::none, "", ""};
       },
       2018},
      {"no version", {}, [&](auto& f) { f.commandOutput[installed] = "garbage"; }, 1015},
      {"version the stamp cannot carry",
       {},
       [&](auto& f) { f.commandOutput[installed] = "FW Version: 11.8.70000.1"; },
       1019},
      {"no system drive", {}, [](auto& f) { f.environment.erase("SystemDrive"); }, 2001},
      {"battery", {}, [](auto& f) { f.batteryOnlyCharge = 5; }, 2016},
      {"no image", {}, [](auto&) { fs::remove("ME_Flash/11.8.55.3510.bin"); }, 1002},
      {"guard",
       {},
       [](auto& f) { f.installerLock.outcome = platform::InstallerLock::heldElsewhere; },
       2015},
      {"network", {}, [](auto& f) { f.workingFolder = "\\\\server\\share\\Kitbox"; }, 2017},
  };
  for (const Case& c : cases) {
    startAgain();
    c.machine(fake());
    std::vector<std::string> scan = c.arguments;
    scan.push_back("-scan");
    EXPECT_EQ(run(scan), c.code) << c.name;
    expectNothingChanged(c.name);
    startAgain();
    c.machine(fake());
    std::vector<std::string> update = c.arguments;
    update.push_back("-s");
    EXPECT_EQ(run(update), c.code) << c.name;
  }
}

TEST_F(ScanTest, TheDiagnosticModesAndAnUnreadableCommandLineAreNoScan) {
  EXPECT_EQ(run({"-scan", "-systeminfo", "-meinfo"}), 1002);
  EXPECT_EQ(currentRunRecord().mode, std::optional<std::string>("meinfo"));
  EXPECT_EQ(fake().commandsRun, std::vector<std::string>{pause});
  startAgain();
  EXPECT_EQ(run({"-scan", "-bogus"}), 1014);
  EXPECT_EQ(currentRunRecord().mode, std::nullopt);
  EXPECT_TRUE(fs::exists("state/last-run.json"));
  EXPECT_FALSE(fs::exists("state/last-scan.json"));
  startAgain();
  EXPECT_EQ(run({"-scan", "-SCAN"}), 1005);
  EXPECT_TRUE(shown("ERROR 1005h: You've already set scan, you can only set it once."));
}

// Events --------------------------------------------------------------------------------------

using platform::EventLevel;

TEST_F(EntryTest, AnUpdateWritesAnEventAsItsFlashStartsAndAsItEnds) {
  EXPECT_EQ(run({"-s"}), 0);
  ASSERT_EQ(fake().events.size(), 2u);
  const std::string record = "state\\runs\\" + runFolderName(currentRunRecord().started, 4242);
  EXPECT_EQ(fake().events[0].level, EventLevel::information);
  EXPECT_EQ(fake().events[0].id, 9000u);
  EXPECT_EQ(fake().events[0].strings,
            (std::vector<std::string>{"11.8.50.3399", "11.8.55.3510", "C:\\Kitbox", record}));
  EXPECT_EQ(fake().events[1].level, EventLevel::information);
  EXPECT_EQ(fake().events[1].id, 0u);
  EXPECT_EQ(
      fake().events[1].strings,
      (std::vector<std::string>{"The firmware was updated from 11.8.50.3399 to 11.8.55.3510.", "0",
                                "11.8.50.3399", "11.8.55.3510", "C:\\Kitbox", record, "update"}));
  EXPECT_EQ(fake().eventSourceRegistrations, std::vector<std::string>{"state"});
}

TEST_F(EntryTest, TheEndsEventHasTheRunsLevelAndItsExitCodeAsItsId) {
  struct Case {
    std::vector<std::string> arguments;
    std::function<void(platform::FakePlatform&)> machine;
    EventLevel level;
    unsigned id;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"-s"},
       [](auto& f) {
         f.commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\nN01 1.03\r\r\n";
       },
       EventLevel::error,
       2011,
       "ERROR 2011s: System bios version n01 1.03 does not meet prerequisite version 1.04."},
      {{"-s"},
       [](auto& f) { f.commandOutput[updateCommand] = "Error 8703: staged\r\n"; },
       EventLevel::warning,
       3002,
       "CODE  3002n: The firmware was already installed and requires a reboot. PLEASE REBOOT YOUR "
       "SYSTEM."},
      {{"-s"},
       [](auto& f) { f.installerLock.outcome = platform::InstallerLock::heldElsewhere; },
       EventLevel::warning,
       2015,
       ""},
      {{"-s"},
       [](auto& f) { f.commandOutput[fwVersionCommand] = "FW Version: 11.8.55.3510"; },
       EventLevel::information,
       3001,
       ""},
      {{"-s", "-bogus"},
       [](auto&) {},
       EventLevel::error,
       1014,
       "ERROR 1014h: Invalid command line arguments. Use -h for help."},
      {{},
       [](auto& f) { f.inputWords = {"n"}; },
       EventLevel::information,
       100,
       "The user declined the update."},
      {{"-scan"},
       [](auto&) {},
       EventLevel::information,
       10000,
       "Scan: this computer would be updated from 11.8.50.3399 to 11.8.55.3510."},
      {{"-scan"},
       [](auto& f) {
         f.commandOutput[biosVersionCommand] = "SMBIOSBIOSVersion\r\r\nN01 1.03\r\r\n";
       },
       EventLevel::information,
       12011,
       ""},
  };
  for (const Case& c : cases) {
    restartProcess();
    c.machine(fake());
    int code = run(c.arguments);
    ASSERT_FALSE(fake().events.empty()) << code;
    const platform::FakeEvent& event = fake().events.back();
    EXPECT_EQ(event.level, c.level) << code;
    EXPECT_EQ(event.id, c.id) << code;
    ASSERT_EQ(event.strings.size(), 7u) << code;
    EXPECT_EQ(event.strings[0], c.message.empty() ? currentRunRecord().message : c.message);
    EXPECT_EQ(event.strings[1], std::to_string(code));
  }
  restartProcess();
  EXPECT_EQ(run({"-s", "-h"}), 1);
  EXPECT_TRUE(fake().events.empty());
}

TEST_F(EntryTest, AnEventThatCannotBeWrittenCostsOneVerboseLineAndNothingElse) {
  fake().eventSourceProblem = "RegCreateKeyExW failed with error 5";
  EXPECT_EQ(run({"-s", "-v"}), 0);
  EXPECT_EQ(fake().events.size(), 2u);
  const std::string line =
      "The event was not written: the event source was not registered: RegCreateKeyExW failed "
      "with error 5\n";
  EXPECT_NE(fake().output.find(line), std::string::npos);
  restartProcess();
  fake().eventProblem = "ReportEventW failed with error 1502";
  EXPECT_EQ(run({"-s", "-log"}), 0);
  EXPECT_EQ(stampedVersion(), "11.8.55.3510");
  std::string log = runLogText();
  std::size_t at = log.find("The event was not written: ReportEventW failed with error 1502\n");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(log.find("The event was not written", at + 1), std::string::npos);
}

TEST_F(EntryTest, EveryEventStringStaysUnder280Characters) {
  fake().workingFolder = "C:\\" + std::string(400, 'k');
  fake().commandOutput[fwVersionCommand] = "FW Version: 11.8.50." + std::string(300, '9') + "\r\n";
  EXPECT_EQ(run({"-s"}), 1018);
  ASSERT_EQ(fake().events.size(), 1u);
  for (const std::string& text : fake().events[0].strings) {
    EXPECT_LT(text.size(), eventStringLimit) << text;
  }
  EXPECT_EQ(fake().events[0].strings[0].substr(0, 25), "ERROR 1018h: Version 11.8");
}

TEST(RunEventTest, LongStringsAreCutWithAMark) {
  std::string fits(eventStringLimit - 1, 'x');
  EXPECT_EQ(eventString(fits), fits);
  std::string cut = eventString(fits + "y");
  EXPECT_EQ(cut.size(), eventStringLimit - 1);
  EXPECT_EQ(cut, fits.substr(0, cut.size() - 6) + " [cut]");
}

// A pending restart ------------------------------------------------------------------------------

TEST_F(EntryTest, TheStampKeepsTheFlashedVersionWhileARestartIsPending) {
  EXPECT_EQ(run({"-s"}), 0);
  std::optional<std::time_t> ended = currentRunRecord().ended;
  ASSERT_TRUE(ended);
  std::string flashEnded = utcText(*ended);
  // Before the restart the firmware still reads the old version, and its tool answers 8703.
  restartProcess();
  fake().bootTime = *ended - 3600;
  fake().commandOutput[updateCommand] = "Error 8703: staged\r\n";
  EXPECT_EQ(run({"-s", "-v"}), 3002);
  EXPECT_EQ(stampedVersion(), "11.8.55.3510");
  EXPECT_NE(fake().output.find("A restart is pending: firmware 11.8.55.3510, installed at " +
                               flashEnded + ", runs after it.\n"),
            std::string::npos);
  EXPECT_EQ(currentRunRecord().restartPending, std::optional<bool>(true));
  EXPECT_EQ(currentRunRecord().stampedFirmware, "11.8.55.3510");
  // That run's refused flash took over last-flash.json; the next run still knows.
  restartProcess();
  fake().bootTime = *ended - 3600;
  fake().commandOutput[updateCommand] = "Error 8703: staged\r\n";
  EXPECT_EQ(run({"-s"}), 3002);
  EXPECT_EQ(stampedVersion(), "11.8.55.3510");
  EXPECT_EQ(currentRunRecord().restartPending, std::optional<bool>(true));
  // A machine started after those runs: the stamp has the version read.
  std::time_t lastEnded = currentRunRecord().ended.value_or(0);
  restartProcess();
  fake().bootTime = lastEnded + 1;
  fake().commandOutput[updateCommand] = "Error 8703: staged\r\n";
  EXPECT_EQ(run({"-s", "-v"}), 3002);
  EXPECT_EQ(stampedVersion(), "11.8.50.3399");
  EXPECT_EQ(fake().output.find("A restart is pending"), std::string::npos);
  EXPECT_EQ(currentRunRecord().restartPending, std::optional<bool>(false));
  // No installed version read: not known.
  restartProcess();
  fake().commandOutput[fwVersionCommand] = "";
  EXPECT_EQ(run({"-s"}), 1015);
  EXPECT_EQ(currentRunRecord().restartPending, std::nullopt);
}

}  // namespace
