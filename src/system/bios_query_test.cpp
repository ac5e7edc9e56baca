#include "system/bios_query.h"

#include "console/messages.h"
#include "settings/run_settings.h"
#include "test_support.h"

namespace {

class BiosQueryTest : public UnitTest {
 protected:
  std::string queryWith(const std::string& output) {
    fake().commandOutput["wmic bios get smbiosbiosversion"] = output;
    return raisedBy(queryBiosVersion);
  }
};

const std::string none = "(nothing raised)";

TEST_F(BiosQueryTest, TakesTheValueLineWithItsTrailingBlanksLowerCased) {
  setVerboseFlag();
  EXPECT_EQ(queryWith("SMBIOSBIOSVersion  \r\r\nN01 Ver. 1.05.2  \r\r\n\r\r\n"), none);
  EXPECT_EQ(currentBiosVersion(), "n01 ver. 1.05.2  ");
  EXPECT_EQ(fake().output,
            "Retrieving system BIOS version.\nRunning command: wmic bios get smbiosbiosversion\n"
            "SMBIOSBIOSVersion  \r\r\nN01 Ver. 1.05.2  \r\r\n\r\r\nBIOS version: N01 Ver. 1.05.2  "
            "\n\n");
}

TEST_F(BiosQueryTest, TheLastCandidateInTheOutputWins) {
  EXPECT_EQ(queryWith("Version\r\nN01 Ver. A12 3.4\r\n"), none);
  EXPECT_EQ(currentBiosVersion(), "a12 3.4");
  EXPECT_EQ(queryWith("Q20 x\r\nheader\r\nP11 Ver 2\r\nfooter\r\n"), none);
  EXPECT_EQ(currentBiosVersion(), "p11 ver 2");
}

TEST_F(BiosQueryTest, OutputWithoutVersionFailsAndKeepsTheEarlierValue) {
  EXPECT_EQ(queryWith("N01 Ver. 1\r\n"), none);
  for (const std::string& output :
       {std::string(), std::string("SMBIOSBIOSVersion\r\r\n"),
        std::string("N0x 1\r\nn01\r\n12 3\r\n"), std::string("N01\t1\r\n")}) {
    EXPECT_EQ(queryWith(output), "ERROR 2000s: Could not retrieve BIOS version.") << output;
    EXPECT_EQ(currentBiosVersion(), "n01 ver. 1");
  }
}

TEST_F(BiosQueryTest, EmptyOutputIsLoggedBeforeTheFailure) {
  queryWith("");
  EXPECT_EQ(runLog(),
            (std::vector<std::string>{"Retrieving system BIOS version.\nRunning "
                                      "command: wmic bios get smbiosbiosversion\n",
                                      "", "wmic gave no BIOS version.\nReading the SMBIOS table.\n",
                                      "No SMBIOS table.\n"}));
}

TEST_F(BiosQueryTest, NoPipeIsReportedAndNothingStored) {
  EXPECT_EQ(raisedBy(queryBiosVersion), "ERROR 1000h: POPEN failure.");
  EXPECT_EQ(currentBiosVersion(), "");
  // The command was tried twice, a moment apart, before the SMBIOS table.
  EXPECT_EQ(fake().pipesOpened, std::vector<std::string>(2, "wmic bios get smbiosbiosversion"));
  EXPECT_EQ(fake().pauses.size(), 1u);
  EXPECT_EQ(fake().smbiosTableReads, 1);
}

const std::string announcement =
    "Retrieving system BIOS version.\nRunning command: wmic bios get smbiosbiosversion\n";
const std::string fallback = "wmic gave no BIOS version.\nReading the SMBIOS table.\n";

TEST_F(BiosQueryTest, TheSmbiosTableIsReadOnlyWhenWmicGivesNoVersion) {
  fake().smbiosTable = smbiosTableWith("P11 Ver 9");
  EXPECT_EQ(queryWith("SMBIOSBIOSVersion\r\r\nN01 Ver. 1\r\r\n"), none);
  EXPECT_EQ(currentBiosVersion(), "n01 ver. 1");
  EXPECT_EQ(fake().smbiosTableReads, 0);
  EXPECT_EQ(fake().pipeTimeLimits, std::vector<platform::TimeLimit>{std::chrono::seconds(60)});
}

TEST_F(BiosQueryTest, SmbiosVersionStandsInWhenWmicGivesNone) {
  setVerboseFlag();
  fake().smbiosTable = smbiosTableWith("N01 Ver. 1.05.2  ");
  // wmic garbage: the same lines as before, then the fallback's.
  EXPECT_EQ(queryWith("Node - PC\r\r\nERROR:\r\r\n"), none);
  // Read through wmic's layout: the column's two blanks of padding join the version.
  EXPECT_EQ(currentBiosVersion(), "n01 ver. 1.05.2    ");
  EXPECT_EQ(fake().output, announcement + "Node - PC\r\r\nERROR:\r\r\n" + fallback +
                               "SMBIOS BIOS version: N01 Ver. 1.05.2  \n"
                               "BIOS version: N01 Ver. 1.05.2    \n\n");
  // wmic missing altogether: no output to show, no "1000h".
  fake().output.clear();
  fake().commandOutput.clear();
  resetCurrentBiosVersion();
  EXPECT_EQ(raisedBy(queryBiosVersion), none);
  EXPECT_EQ(currentBiosVersion(), "n01 ver. 1.05.2    ");
  EXPECT_EQ(fake().output, announcement + fallback +
                               "SMBIOS BIOS version: N01 Ver. 1.05.2  \n"
                               "BIOS version: N01 Ver. 1.05.2    \n\n");
}

TEST_F(BiosQueryTest, TheSmbiosStringPassesThroughTheSamePattern) {
  fake().smbiosTable = smbiosTableWith("BIOS rev A12 3.4\t(x)");
  EXPECT_EQ(queryWith(""), none);
  EXPECT_EQ(currentBiosVersion(), "a12 3.4");
  fake().smbiosTable = smbiosTableWith("1.05.2");
  EXPECT_EQ(queryWith(""), "ERROR 2000s: Could not retrieve BIOS version.");
  EXPECT_EQ(currentBiosVersion(), "a12 3.4");
}

// The same string decides the same way from either source: a last word that looks like a family
// code is taken, and a family code alone still gets the blank the pattern needs.
TEST_F(BiosQueryTest, TheSmbiosStringDecidesAsWmicWouldPrintIt) {
  fake().smbiosTable = smbiosTableWith("N01 Ver. 1.05.2 A01");
  EXPECT_EQ(queryWith(""), none);
  EXPECT_EQ(currentBiosVersion(), "a01  ");
  fake().smbiosTable = smbiosTableWith("N01");
  EXPECT_EQ(queryWith(""), none);
  EXPECT_EQ(currentBiosVersion(), "n01                ");
}

TEST_F(BiosQueryTest, BothSourcesFailingEndTheRunAsBefore) {
  setVerboseFlag();
  EXPECT_EQ(queryWith("garbage\r\n"), "ERROR 2000s: Could not retrieve BIOS version.");
  EXPECT_EQ(fake().output, announcement + "garbage\r\n" + fallback + "No SMBIOS table.\n");
  fake().output.clear();
  fake().smbiosTable = smbiosTableWith("");
  EXPECT_EQ(queryWith(""), "ERROR 2000s: Could not retrieve BIOS version.");
  EXPECT_EQ(fake().output, announcement + fallback + "No BIOS version in the SMBIOS table.\n");
  fake().commandOutput.clear();
  EXPECT_EQ(raisedBy(queryBiosVersion), "ERROR 1000h: POPEN failure.");
  EXPECT_EQ(currentBiosVersion(), "");
}

TEST_F(BiosQueryTest, WmicPastItsTimeLimitCountsAsNoVersion) {
  setVerboseFlag();
  fake().hangingCommands.insert("wmic bios get smbiosbiosversion");
  fake().smbiosTable = smbiosTableWith("P11 Ver 2");
  // What wmic printed before it hung is not trusted.
  EXPECT_EQ(queryWith("SMBIOSBIOSVersion\r\r\nN01 Ver. 1\r\r\n"), none);
  EXPECT_EQ(currentBiosVersion(), "p11 ver 2          ");
  EXPECT_EQ(fake().output,
            announcement +
                "Command ended after its time limit of 60 seconds: wmic bios get "
                "smbiosbiosversion\n"
                "SMBIOSBIOSVersion\r\r\nN01 Ver. 1\r\r\n" +
                fallback + "SMBIOS BIOS version: P11 Ver 2\nBIOS version: P11 Ver 2          \n\n");
}

TEST_F(BiosQueryTest, WmicThatStartsOnlyOnTheSecondTryIsUsed) {
  fake().pipeStartFailures = 1;
  EXPECT_EQ(queryWith("N01 Ver. 1\r\n"), none);
  EXPECT_EQ(currentBiosVersion(), "n01 ver. 1");
  EXPECT_EQ(fake().smbiosTableReads, 0);
}

TEST_F(BiosQueryTest, HugeOutputWithoutCandidateIsRefusedQuickly) {
  std::string output;
  for (int i = 0; i < 200000; ++i) {
    output += "SMBIOSBIOSVersion 12 \r\r\n";
  }
  std::string refused;
  std::string found;
  // Both queries together read 14 MB; work that grew with the square of that would take hours.
  double seconds = secondsTaken([&] {
    refused = queryWith(output);
    found = queryWith(output + "N01 1.0\r\r\n" + output);
  });
  EXPECT_EQ(refused, "ERROR 2000s: Could not retrieve BIOS version.");
  EXPECT_EQ(found, none);
  EXPECT_EQ(currentBiosVersion(), "n01 1.0");
  EXPECT_LT(seconds, 20.0);
}

TEST_F(BiosQueryTest, WmicRunsFromWhereWindowsKeepsItAndIsAnnouncedByItsName) {
  setVerboseFlag();
  fake().wmicProgram = "C:\\Windows\\system32\\wbem\\WMIC.exe";
  fake().commandOutput["C:\\Windows\\system32\\wbem\\WMIC.exe bios get smbiosbiosversion"] =
      "SMBIOSBIOSVersion\r\r\nN01 Ver. 1.05.2\r\r\n";
  EXPECT_EQ(raisedBy(queryBiosVersion), none);
  EXPECT_EQ(currentBiosVersion(), "n01 ver. 1.05.2");
  EXPECT_EQ(fake().pipesOpened, std::vector<std::string>{"C:\\Windows\\system32\\wbem\\WMIC."
                                                         "exe bios get smbiosbiosversion"});
  EXPECT_EQ(fake().output.substr(0, announcement.size()), announcement);
}

TEST_F(BiosQueryTest, WithoutWmicNothingRunsAndTheSmbiosTableAnswers) {
  setVerboseFlag();
  fake().wmicProgram.reset();
  fake().smbiosTable = smbiosTableWith("N01 Ver. 1.05.2");
  EXPECT_EQ(raisedBy(queryBiosVersion), none);
  EXPECT_EQ(currentBiosVersion(), "n01 ver. 1.05.2    ");
  EXPECT_EQ(fake().pipesOpened, std::vector<std::string>{});
  EXPECT_EQ(fake().output,
            "Retrieving system BIOS version.\nwmic is not installed.\nReading the SMBIOS table.\n"
            "SMBIOS BIOS version: N01 Ver. 1.05.2\nBIOS version: N01 Ver. 1.05.2    \n\n");
  // Without a version from the table either, the run ends as for a wmic without one: nothing
  // failed to start.
  fake().smbiosTable.reset();
  EXPECT_EQ(raisedBy(queryBiosVersion), "ERROR 2000s: Could not retrieve BIOS version.");
  EXPECT_EQ(fake().pipesOpened, std::vector<std::string>{});
  EXPECT_EQ(currentBiosVersion(), "n01 ver. 1.05.2    ");
}

}  // namespace
