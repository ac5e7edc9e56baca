#include "system/command_runner.h"

#include "settings/run_settings.h"
#include "test_support.h"

namespace {

using CommandRunnerTest = UnitTest;

TEST_F(CommandRunnerTest, ReturnsChunksAndShowsThemOnlyWhenSuperVerbose) {
  fake().commandOutput["tool -x"] = "ab\r\ncd";
  EXPECT_EQ(runCommand("tool -x"), (std::vector<std::string>{"ab\r\n", "cd"}));
  EXPECT_EQ(runLogText(), "Running command: tool -x\n\nab\r\ncd\n");
  EXPECT_EQ(fake().output, "");

  setSuperVerboseFlag();
  runCommand("tool -x");
  EXPECT_EQ(fake().output, "Running command: tool -x\n\nab\r\ncd\n");
}

TEST_F(CommandRunnerTest, LongLinesAndNulBytesFollowThePipeRules) {
  fake().commandOutput["long"] = std::string(300, 'x') + "\n";
  std::vector<std::string> chunks = runCommand("long");
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].size(), 127u);
  EXPECT_EQ(chunks[2], std::string(46, 'x') + "\n");
  fake().commandOutput["nul"] = std::string("ab\0cd\nef", 8);
  EXPECT_EQ(runCommand("nul"), (std::vector<std::string>{"ab", "ef"}));
  fake().commandOutput["empty"] = "";
  EXPECT_TRUE(runCommand("empty").empty());
}

TEST_F(CommandRunnerTest, PipeThatCannotOpenIsReportedAfterTheAnnouncement) {
  EXPECT_EQ(raisedBy([] { runCommand("missing"); }), "ERROR 1000h: POPEN failure.");
  EXPECT_EQ(runLogText(), "Running command: missing\n\n");
  CommandOutput output = readCommandOutput("missing", "About to run\n", std::chrono::seconds(5));
  EXPECT_FALSE(output.started);
  EXPECT_EQ(runLogText(), "Running command: missing\n\nAbout to run\n");
}

TEST_F(CommandRunnerTest, CommandThatCannotStartIsTriedOnceMoreAfterAPause) {
  fake().commandOutput["tool"] = "out\n";
  fake().pipeStartFailures = 1;
  EXPECT_EQ(runCommand("tool"), std::vector<std::string>{"out\n"});
  EXPECT_EQ(fake().pipesOpened, (std::vector<std::string>{"tool", "tool"}));
  ASSERT_EQ(fake().pauses.size(), 1u);
  EXPECT_GE(fake().pauses[0], 100u);
  EXPECT_LE(fake().pauses[0], 1000u);
  // Two refusals in a row are a failure; a started command is never started twice.
  fake().pipeStartFailures = 2;
  EXPECT_EQ(raisedBy([] { runCommand("tool"); }), "ERROR 1000h: POPEN failure.");
  EXPECT_EQ(startCommand("tool")->isOpen(), true);
  EXPECT_EQ(fake().pipesOpened.size(), 5u);
  EXPECT_EQ(fake().pauses.size(), 2u);
}

TEST_F(CommandRunnerTest, QueryTheInterpreterCouldNotStartIsRunOnceMore) {
  fake().commandOutput["tool"] = "out\n";
  fake().commandsNotFound = 1;
  EXPECT_EQ(runCommand("tool", std::chrono::seconds(60)), std::vector<std::string>{"out\n"});
  EXPECT_EQ(fake().pipesOpened, (std::vector<std::string>{"tool", "tool"}));
  EXPECT_EQ(fake().pauses.size(), 1u);
  fake().commandsNotFound = 1;
  EXPECT_EQ(readCommandOutput("tool", "", std::chrono::seconds(60)).text, "out\n");
  EXPECT_EQ(fake().pipesOpened.size(), 4u);
  // Once more only: the second answer stands, whatever it is.
  fake().commandsNotFound = 2;
  EXPECT_EQ(readCommandOutput("tool", "", std::chrono::seconds(60)).text, "out\n");
  EXPECT_EQ(fake().pipesOpened.size(), 6u);
  EXPECT_EQ(fake().commandsNotFound, 0);
  EXPECT_EQ(fake().pauses.size(), 3u);
}

TEST_F(CommandRunnerTest, OutputPastTheCapIsHandledAsATimeLimitAndSaysSo) {
  fake().commandOutput["talks"] = "first\r\n";
  fake().cappedCommands.insert("talks");
  CommandOutput output = readCommandOutput("talks", "", std::chrono::seconds(60));
  EXPECT_TRUE(output.timedOut);
  EXPECT_EQ(output.text, "first\r\n");
  EXPECT_EQ(runLogText(), "Command ended after 33554432 bytes of output: talks\n");
}

TEST_F(CommandRunnerTest, TimeLimitKeepsWhatWasReadAndSaysSo) {
  fake().commandOutput["hangs"] = "first\r\nsecond";
  fake().hangingCommands.insert("hangs");
  EXPECT_EQ(runCommand("hangs", std::chrono::seconds(120)),
            (std::vector<std::string>{"first\r\n", "second"}));
  EXPECT_EQ(runLogText(),
            "Running command: hangs\n\nfirst\r\nsecondCommand ended after its time limit of 120 "
            "seconds: hangs\n\n");
  CommandOutput output = readCommandOutput("hangs", "", std::chrono::seconds(60));
  EXPECT_TRUE(output.started);
  EXPECT_TRUE(output.timedOut);
  EXPECT_EQ(output.text, "first\r\nsecond");
  // A command that ends in time says nothing of limits.
  fake().commandOutput["quick"] = "done\n";
  output = readCommandOutput("quick", "", std::chrono::seconds(60));
  EXPECT_FALSE(output.timedOut);
  EXPECT_EQ(runLogText().find("limit", runLogText().rfind("hangs\n")), std::string::npos);
  EXPECT_EQ(fake().pipeTimeLimits.back(), std::chrono::seconds(60));
}

TEST_F(CommandRunnerTest, ReadmeIsOpenedOnlyWhenItExists) {
  EXPECT_EQ(raisedBy(openReadme), "ERROR 1002h: File README.htm does not appear to exist in .\\.");
  EXPECT_TRUE(fake().documentsOpened.empty());
  writeFileBytes("README.htm", "<html></html>");
  openReadme();
  EXPECT_EQ(fake().documentsOpened, std::vector<std::string>{"README.htm"});
}

TEST_F(CommandRunnerTest, RebootSchedulesShutdownWithTheDelay) {
  rebootComputer(20);
  rebootComputer(2);
  EXPECT_EQ(fake().commandsRun,
            (std::vector<std::string>{"c:\\windows\\system32\\shutdown /r /t 20 \n\n",
                                      "c:\\windows\\system32\\shutdown /r /t 2 \n\n"}));
  EXPECT_EQ(fake().output, "");
}

TEST_F(CommandRunnerTest, WindowsOwnProgramsRunFromTheSystemFolder) {
  fake().timeoutProgram = "C:\\Windows\\system32\\timeout.exe";
  fake().shutdownProgram = "C:\\Win dows\\system32\\shutdown.exe";
  pauseSeconds(30);
  rebootComputer(2);
  EXPECT_EQ(fake().commandsRun,
            (std::vector<std::string>{"C:\\Windows\\system32\\timeout.exe /T 30",
                                      "\"C:\\Win dows\\system32\\shutdown.exe\" /r /t 2 \n\n"}));
  fake().wmicProgram.reset();
  EXPECT_EQ(systemCommandLine(platform::SystemProgram::wmic, "bios"), std::nullopt);
}

}  // namespace
