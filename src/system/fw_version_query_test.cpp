#include "settings/fixed_names.h"
#include "settings/run_settings.h"
#include "system/system_info.h"
#include "test_support.h"

namespace {

class FwVersionQueryTest : public UnitTest {
 protected:
  std::string query(const std::string& output) {
    fake().commandOutput[fwVersionCommand] = output;
    return raisedBy([this] { info.queryMeFirmwareVersion(fwVersionCommand); });
  }

  SystemInfo info;
};

const std::string none = "(nothing raised)";
const std::string banner =
    "Intel (R) Firmware Update Utility Version: 11.8.50.3425\r\nCopyright (C) Intel\r\n\r\n";

TEST_F(FwVersionQueryTest, ReadsBothVersionsAndAnnouncesWithFixedWording) {
  setVerboseFlag();
  std::string output = banner + "FW Version: 11.8.50.3399\r\n";
  EXPECT_EQ(query(output), none);
  EXPECT_EQ(info.meFirmwareVersion, "11.8.50.3399");
  EXPECT_EQ(info.fwUpdLclVersion, "11.8.50.3425");
  EXPECT_EQ(fake().output,
            "Retrieving system ME firmware version.\nRunning command: FwUpdLcl64.exe -fwver\n" +
                output +
                "\nFwUpdLcl version found: 11.8.50.3425\n"
                "ME firmware version found: 11.8.50.3399\n\n");
}

TEST_F(FwVersionQueryTest, VersionLineVariants) {
  EXPECT_EQ(query("FW Version:::\t 12.0.20.1310  \r\n"), none);
  EXPECT_EQ(info.meFirmwareVersion, "12.0.20.1310");
  EXPECT_EQ(info.fwUpdLclVersion, "Unknown");
  EXPECT_EQ(query("FW Version11.8\r\n"), none);
  EXPECT_EQ(info.meFirmwareVersion, "11.8");
  EXPECT_EQ(query("Intel Firmware Update Utility Version: \r\nFW Version: \r\n"),
            "ERROR 1015h: Unknown error retrieving ME firmware version.");
  EXPECT_EQ(info.fwUpdLclVersion, "");
  EXPECT_EQ(info.meFirmwareVersion, "11.8");
}

TEST_F(FwVersionQueryTest, ToolErrorsCarryTheRestOfTheOutput) {
  EXPECT_EQ(query(banner + "Error 8193: Unknown or Unsupported Platform\r\nSecond line\r\n"),
            "ERROR 8193v: Unknown or Unsupported Platform\r\nSecond line\r\n");
  EXPECT_EQ(query("Error : no number\r\n"), "ERROR v: no number\r\n");
  // A firmware version wins over an error in the same output.
  EXPECT_EQ(query("Error 5: x\r\nFW Version: 1.2.3.4\r\n"), none);
}

TEST_F(FwVersionQueryTest, NothingUsefulOrNoPipe) {
  EXPECT_EQ(query(""), "ERROR 1015h: Unknown error retrieving ME firmware version.");
  EXPECT_EQ(info.fwUpdLclVersion, "Unknown");
  EXPECT_EQ(raisedBy([this] { info.queryMeFirmwareVersion("other"); }),
            "ERROR 1000h: POPEN failure.");
}

TEST_F(FwVersionQueryTest, ToolPastItsTimeLimitIsAnUnknownError) {
  fake().hangingCommands.insert(fwVersionCommand);
  // Even a version printed before the tool hung is not taken.
  EXPECT_EQ(query(banner + "FW Version: 11.8.50.3399\r\n"),
            "ERROR 1015h: Unknown error retrieving ME firmware version.");
  EXPECT_EQ(info.meFirmwareVersion, "");
  EXPECT_EQ(info.fwUpdLclVersion, "11.8.50.3425");
  EXPECT_EQ(fake().pipeTimeLimits, std::vector<platform::TimeLimit>{std::chrono::seconds(120)});
  EXPECT_NE(runLogText().find(
                "Command ended after its time limit of 120 seconds: " + fwVersionCommand + "\n"),
            std::string::npos);
}

}  // namespace
