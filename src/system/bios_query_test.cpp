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
  EXPECT_EQ(runLog(), (std::vector<std::string>{"Retrieving system BIOS version.\nRunning "
                                                "command: wmic bios get smbiosbiosversion\n",
                                                ""}));
}

TEST_F(BiosQueryTest, NoPipeIsReportedAndNothingStored) {
  EXPECT_EQ(raisedBy(queryBiosVersion), "ERROR 1000h: POPEN failure.");
  EXPECT_EQ(currentBiosVersion(), "");
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

}  // namespace
