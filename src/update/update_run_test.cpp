#include "update/update_run.h"
#include "settings/run_settings.h"
#include "stamp/firmware_updater.h"
#include "test_support.h"
#include "update/update_progress.h"

namespace {

const std::string command = "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.55.3510.bin";

class UpdateRunTest : public UnitTest {
 protected:
  std::string run(const std::string& output, const std::string& commandLine = command) {
    fake().commandOutput[commandLine] = output;
    return raisedBy([this] { runUpdate(updater, "11.8.55.3510.bin"); });
  }
  FirmwareUpdater updater{"MeFwVer.sys", "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f", "-allowsv",
                          "-s"};
};

const std::string none = "(nothing raised)";
const std::string notCompleted =
    "ERROR 2013s: The firmware update tool ended without reporting a completed update.";
const std::string completion =
    "Update complete. You must reboot your computer in order for the Management Engine "
    "firmware update to be effective.\n\n";

TEST_F(UpdateRunTest, CutsOutputAtCarriageReturnsAndDropsLineFeeds) {
  setVerboseFlag();
  EXPECT_EQ(run("Intel tool\r\nverification: [ 0 % ]\rverification: [ 100 % ]\r"
                "Image verification: [ COMPLETE ]\r\n\r\r"
                "FW Update:  [ 50% (|)]\rFW Update completed\r\ntrailing text"),
            none);
  EXPECT_EQ(fake().output,
            "Running command: " + command +
                "\nIntel tool\nVerifying FW image:  [   0 % ]\rVerifying FW image:  [ 100 % ]\r"
                "Verifying FW image:  [ COMPLETE ]\n\n\n\nUpdating FW:  [  50 % ]\r" +
                completion);
  EXPECT_EQ(fake().pipesOpened, std::vector<std::string>{command});
}

TEST_F(UpdateRunTest, ForceAddsTheSameVersionSwitch) {
  setSameVersionFlag();
  EXPECT_EQ(run("completed\r\n", command + " -allowsv"), none);
}

TEST_F(UpdateRunTest, LinesLongerThanAChunkAreJoined) {
  std::string longLine = std::string(300, 'x') + " completed";
  EXPECT_EQ(run(longLine + "\r\n"), none);
  EXPECT_EQ(runLogText().find(std::string(300, 'x')), std::string::npos);
}

TEST_F(UpdateRunTest, RunWithoutCompletionIsNotAnUpdate) {
  EXPECT_EQ(run(""), notCompleted);
  EXPECT_EQ(run("verification: [ 100 % ]\rFW Update:  [ 40% (|)]\r"), notCompleted);
  // A last line without its carriage return is never parsed, completion or not.
  fake().output.clear();
  EXPECT_EQ(run("FW Update completed"), notCompleted);
  EXPECT_EQ(run("FW Update completed\n"), notCompleted);
  EXPECT_EQ(fake().output, "");
}

TEST_F(UpdateRunTest, ToolErrorStopsReadingTheOutput) {
  EXPECT_EQ(run("Error 8716: Invalid image\r\nFW Update completed\r\n"),
            "ERROR 8716u: Invalid image");
  EXPECT_EQ(runLogText().find("Update complete."), std::string::npos);
  EXPECT_EQ(run("Error 8703: staged\r\n"),
            "CODE  3002n: The firmware was already installed and requires a reboot. PLEASE "
            "REBOOT YOUR SYSTEM.");
}

TEST_F(UpdateRunTest, NoPipeMeansNothingRan) {
  EXPECT_EQ(raisedBy([this] { runUpdate(updater, "other.bin"); }), "ERROR 1000h: POPEN failure.");
}

TEST_F(UpdateRunTest, TheFlashHasNoTimeLimitAndGetsASecondStart) {
  fake().pipeStartFailures = 1;
  EXPECT_EQ(run("completed\r\n"), none);
  EXPECT_EQ(fake().pipesOpened, (std::vector<std::string>{command, command}));
  EXPECT_EQ(fake().pipeTimeLimits, std::vector<platform::TimeLimit>(2, platform::noTimeLimit));
  EXPECT_EQ(fake().pipeRoles, std::vector<platform::CommandRole>(2, platform::CommandRole::flash));
}

TEST_F(UpdateRunTest, AFlashThatStartedIsNeverStartedAgainWhateverItsExitStatus) {
  fake().pipesOpened.clear();
  fake().commandsNotFound = 1;  // as a tool that itself exits with 127 or 9009 looks
  EXPECT_EQ(run("Error 8716: Invalid image\r\n"), "ERROR 8716u: Invalid image");
  EXPECT_EQ(fake().pipesOpened, std::vector<std::string>{command});
  EXPECT_TRUE(fake().pauses.empty());
}

// Redraws are written without a flush; the reads of the pipe and its closing flush them, so
// none is left behind when the run ends, normally or by the tool's error.
TEST_F(UpdateRunTest, NothingIsLeftUnshownWhenTheRunEnds) {
  EXPECT_EQ(run("FW Update:  [ 99% (|)]\rFW Update completed\r"), none);
  EXPECT_EQ(fake().outputShown, fake().output.size());
  EXPECT_EQ(run("FW Update:  [ 99% (|)]\rError 8716: Invalid image\r"),
            "ERROR 8716u: Invalid image");
  EXPECT_EQ(fake().outputShown, fake().output.size());
}

TEST_F(UpdateRunTest, HugeOutputWithoutCarriageReturnIsHandledOnce) {
  std::string output(16 * 1024 * 1024, 'a');
  for (std::size_t i = 100; i < output.size(); i += 100) {
    output[i] = '\n';
  }
  output += "\rFW Update completed\r";
  std::string raised;
  // 16 MB without a carriage return, read in chunks that end at each line feed: looking at
  // the pending text again for each chunk would be over a terabyte of work.
  double seconds = secondsTaken([&] { raised = run(output); });
  EXPECT_EQ(raised, none);
  EXPECT_LT(seconds, 15.0);
}

}  // namespace
