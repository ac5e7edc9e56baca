#include "settings/run_settings.h"
#include "system/system_info.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string meInfoCommand = "MEInfo\\Win\\WINDOWS64\\MEInfoWin64.exe -verbose";

class MeInfoReportTest : public UnitTest {
 protected:
  void installTool(const std::string& report) {
    fs::create_directories("MEInfo/Win/WINDOWS64");
    writeFileBytes("MEInfo/Win/WINDOWS64/MEInfoWin64.exe", "tool");
    fake().commandOutput[meInfoCommand] = report;
  }
  SystemInfo info;
};

TEST_F(MeInfoReportTest, EachPatternFillsItsField) {
  setVerboseFlag();
  info.parseMeInfoLine("  MEBx Version                11.0.0.0012\r\n");
  info.parseMeInfoLine("LMS Version   2130.1.15.0\r\n");
  info.parseMeInfoLine("MEI Driver Version 2141.15.0.2357\r\n");
  info.parseMeInfoLine("Intel(R) MEInfo Version: 11.8.50.3425\r\n");
  info.parseMeInfoLine("PMC Version     300.2.11.1018\r\n");
  EXPECT_EQ(info.mebxVersion, "11.0.0.0012");
  EXPECT_EQ(info.lmsVersion, "2130.1.15.0");
  EXPECT_EQ(info.meiVersion, "2141.15.0.2357");
  EXPECT_EQ(info.meInfoVersion, "11.8.50.3425");
  EXPECT_EQ(info.pmcVersion, "300.2.11.1018");
  EXPECT_EQ(fake().output,
            "MEBx Version found: 11.0.0.0012\nLMS Version found: 2130.1.15.0\n"
            "MEI Version found: 2141.15.0.2357\nMEInfo Version found: 11.8.50.3425\n"
            "PMC Version found: 300.2.11.1018\n");
}

TEST_F(MeInfoReportTest, FirstPatternDecidesAndEmptyCapturesCount) {
  info.parseMeInfoLine("MEBx Version 1.2 and PMC Version 3.4");
  EXPECT_EQ(info.mebxVersion, "1.2");
  EXPECT_EQ(info.pmcVersion, "");
  info.parseMeInfoLine("MEBx Version: 11.0");
  EXPECT_EQ(info.mebxVersion, "");
  info.parseMeInfoLine("MEInfo Version 1.0");  // no colon: not the MEInfo line
  EXPECT_EQ(info.meInfoVersion, "");
}

TEST_F(MeInfoReportTest, ListingShowsTenVersionsAfterTheWalk) {
  installTool(
      "Intel(R) MEInfo Version: 11.8.50.3425\r\nLMS Version 1.0\r\n"
      "LMS Version 2.0\r\n");
  info.setBiosVersion("N01 Ver. 1.05");
  info.meFirmwareVersion = "11.8.50.3399";
  info.fwUpdLclVersion = "11.8.50.3425";
  info.showSystemInfo();
  EXPECT_EQ(fake().output,
            "Extended system information:\nWait for it...\r-BIOS version:\tn01 ver. 1.05\n"
            "-ME version:\t11.8.50.3399\n-MEBx version:\tUnknown\n-PMC version:\tUnknown\n"
            "-LMS version:\t2.0\n-MEI version:\tUnknown\n-DAL version:\tUnknown\n"
            "-SOL version:\tUnknown\n\n-FwUpdLcl version:\t11.8.50.3425\n"
            "-MEInfo version:\t11.8.50.3425\n\n");
  EXPECT_EQ(fake().deviceListsReleased, 1);
}

TEST_F(MeInfoReportTest, SolVersionComesFromTheDriversInfFile) {
  installTool("");
  writeFileBytes("sol.inf", "DriverVer=10/29/2019,2.1.0.1\r\n");
  fake().devices = {platform::FakeDevice{
      false, {platform::FakeDriver{u"Intel SOL", std::u16string(u"sol.inf"), false}}}};
  info.showSystemInfo();
  EXPECT_NE(fake().output.find("-SOL version:\t2.1.0.1\n\n"), std::string::npos);
}

TEST_F(MeInfoReportTest, NoSolDriverOpensNoFileNamedAfterTheSentinel) {
  installTool("");
  writeFileBytes("error", "DriverVer=10/29/2019,6.6.6.6\r\n");
  info.showSystemInfo();
  EXPECT_NE(fake().output.find("-SOL version:\tUnknown\n\n"), std::string::npos);
}

TEST_F(MeInfoReportTest, MissingToolStopsBeforeTheListing) {
  EXPECT_EQ(
      raisedBy([this] { info.showSystemInfo(); }),
      "ERROR 1002h: File MEInfoWin64.exe does not appear to exist in MEInfo\\Win\\WINDOWS64\\.");
  EXPECT_EQ(fake().output, "Extended system information:\nWait for it...");
  EXPECT_EQ(fake().deviceListsOpened, 1);
}

TEST_F(MeInfoReportTest, WhatAToolPastItsTimeLimitPrintedCounts) {
  installTool("LMS Version 2.0\r\nMEBx Version 11.0\r\n");
  fake().hangingCommands.insert(meInfoCommand);
  info.readMeInfoVersions();
  EXPECT_EQ(info.lmsVersion, "2.0");
  EXPECT_EQ(info.mebxVersion, "11.0");
  EXPECT_EQ(fake().pipeTimeLimits, std::vector<platform::TimeLimit>{std::chrono::seconds(120)});
  info.writeMeInfoLog();
  EXPECT_EQ(readFileBytes("meInfoVerbose.txt"), "LMS Version 2.0\r\nMEBx Version 11.0\r\n");
}

TEST_F(MeInfoReportTest, ReportIsSavedAsTheToolPrintedIt) {
  std::string report = "Intel(R) MEInfo Version: 11.8.50.3425\r\n" + std::string(200, 'x') +
                       "\r\nlast line without end";
  installTool(report);
  info.writeMeInfoLog();
  EXPECT_EQ(readFileBytes("meInfoVerbose.txt"), report);
  EXPECT_EQ(fake().output, "Printing verbose meinfo log to meInfoVerbose.txt\n");
  EXPECT_EQ(info.meInfoVersion, "");
}

TEST_F(MeInfoReportTest, UnwritableReportFileIsAnError) {
  installTool("report\r\n");
  fs::create_directories("meInfoVerbose.txt");
  EXPECT_EQ(raisedBy([this] { info.writeMeInfoLog(); }),
            "ERROR 2003s: Cannot write to file meInfoVerbose.txt.");
}

}  // namespace
