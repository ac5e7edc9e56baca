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
  EXPECT_EQ(raisedBy([] { readCommandOutput("missing", "About to run\n"); }),
            "ERROR 1000h: POPEN failure.");
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

}  // namespace
