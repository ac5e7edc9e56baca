#include "console/run_log.h"

#include "console/log_files.h"
#include "console/messages.h"
#include "test_support.h"

namespace {

using RunLogTest = UnitTest;

// Messages of many sizes, some longer than a block of the log, some empty.
std::vector<std::string> assortedMessages() {
  std::vector<std::string> messages;
  for (std::size_t i = 0; i < 400; ++i) {
    std::size_t size = i % 50 == 7 ? 70000 + i : i % 13 == 0 ? 0 : 1 + i * 37 % 900;
    messages.push_back(std::string(size, static_cast<char>('a' + i % 26)) + "\n");
    if (size == 0) messages.back().clear();
  }
  return messages;
}

TEST_F(RunLogTest, KeepsEveryMessageWholeAcrossItsBlocks) {
  std::string whole;
  for (const std::string& message : assortedMessages()) {
    printVerbose(message, "default");
    whole += message;
  }
  EXPECT_TRUE(runLog() == assortedMessages());
  EXPECT_EQ(runLog().text(), whole);
  EXPECT_EQ(runLog().size(), whole.size());
  EXPECT_GT(runLog().blocks.size(), 3u);
  runLog().clear();
  EXPECT_EQ(runLog().size(), 0u);
  EXPECT_TRUE(runLog() == std::vector<std::string>{});
}

// The file is written from the log's blocks, up to the announcement and no further.
TEST_F(RunLogTest, LogFileOfManyBlocksHoldsTheLogUpToItsAnnouncement) {
  std::string expected;
  for (const std::string& message : assortedMessages()) {
    printSuperVerbose(message, "default");
    for (char c : message) {
      expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
  }
  printRunLog();
  expected += "Printing log file to runLog.log\r\n";
  const std::string written = readFileBytes("runLog.log");
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

}  // namespace
