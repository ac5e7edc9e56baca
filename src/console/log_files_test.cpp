#include "console/log_files.h"

#include "console/file_ops.h"
#include "console/messages.h"
#include "settings/run_settings.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using LogFilesTest = UnitTest;

TEST_F(LogFilesTest, RunLogFileEndsWithItsOwnAnnouncement) {
  setVerboseFlag();
  printMessage("shown\n", "default");
  printSuperVerbose("hidden\n", "default");
  printRunLog();
  EXPECT_EQ(readFileBytes("runLog.log"), "shown\r\nhidden\r\nPrinting log file to runLog.log\r\n");
  EXPECT_EQ(runLog().back(), "Printing to file runLog.log\n\n");
  EXPECT_EQ(fake().output,
            "shown\nPrinting log file to runLog.log\nPrinting to file runLog.log\n\n");
}

TEST_F(LogFilesTest, ErrorLogHoldsTheWholeRunSoFar) {
  printMessage("ERROR 1014h: x\n\n", "error");
  printErrorLog();
  EXPECT_EQ(readFileBytes("installerError.log"),
            "ERROR 1014h: x\r\n\r\nPrinting error log file to installerError.log\r\n");
}

TEST_F(LogFilesTest, UnwritableLogIsReportedAfterTheAnnouncement) {
  fs::create_directories("runLog.log");
  EXPECT_EQ(raisedBy(printRunLog), "ERROR 2003s: Cannot write to file runLog.log.");
  EXPECT_EQ(fake().output, "Printing log file to runLog.log\n");
}

TEST_F(LogFilesTest, WriteLinesReplacesTheFileContent) {
  writeFileBytes("out.txt", "old content that is longer");
  writeLinesToFile("out.txt", {"a", "b\n", "", "c"});
  EXPECT_EQ(readFileBytes("out.txt"), "ab\r\nc");
  EXPECT_EQ(raisedBy([] { writeLinesToFile("missing-folder\\x.txt", {"a"}); }),
            "ERROR 2003s: Cannot write to file missing-folder\\x.txt.");
}

TEST_F(LogFilesTest, CheckFileExistsNamesTheFolderItLookedIn) {
  setVerboseFlag();
  EXPECT_EQ(raisedBy([] { checkFileExists("", "input.txt"); }),
            "ERROR 1002h: File input.txt does not appear to exist in .\\.");
  EXPECT_EQ(fake().output, "Checking if input.txt exists in .\\\n");

  fake().output.clear();
  fs::create_directories("ME_Flash/Local-Win");
  writeFileBytes("ME_Flash/Local-Win/FwUpdLcl64.exe", "");
  checkFileExists("ME_Flash\\Local-Win\\", "FwUpdLcl64.exe");
  EXPECT_EQ(fake().output,
            "Checking if FwUpdLcl64.exe exists in ME_Flash\\Local-Win\\\nIt does!\n\n");
  EXPECT_EQ(raisedBy([] { checkFileExists("ME_Flash\\", "Local-Win"); }),
            "ERROR 1002h: File Local-Win does not appear to exist in ME_Flash\\.");
}

TEST_F(LogFilesTest, ReadFileLinesSplitsAtLineFeedsAndFramesTheContent) {
  setSuperVerboseFlag();
  writeFileBytes("input.txt", "one\r\ntwo\n\nthree");
  EXPECT_EQ(readFileLines("input.txt"), (std::vector<std::string>{"one", "two", "", "three"}));
  EXPECT_EQ(fake().output,
            "input.txt opened.\n"
            "------------------------File contents------------------------\n"
            "one\ntwo\n\nthree\n"
            "------------------------End file contents------------------------\n"
            "input.txt closed.\n");
}

TEST_F(LogFilesTest, ReadFileLinesOfEmptyAndMissingFiles) {
  setSuperVerboseFlag();
  writeFileBytes("empty.txt", "");
  EXPECT_TRUE(readFileLines("empty.txt").empty());
  EXPECT_NE(fake().output.find("File contents"), std::string::npos);
  EXPECT_EQ(raisedBy([] { readFileLines("missing.txt"); }),
            "ERROR 1001h: Unable to read file missing.txt.");
}

}  // namespace
