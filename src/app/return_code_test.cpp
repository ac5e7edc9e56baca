#include "app/return_code.h"

#include "app/error_catalogue.h"
#include "test_support.h"

namespace {

using ReturnCodeTest = UnitTest;

TEST_F(ReturnCodeTest, ReturnCodeComesFromTheMessageText) {
  EXPECT_EQ(extractReturnCode(formatError("1014h")), 1014);
  EXPECT_EQ(extractReturnCode(formatError("3001n", {"11.8.50.3399"})), 3001);
  EXPECT_EQ(extractReturnCode(formatError("1016h", {"1", "a", "b", "0", "c", "d"})), 1016);
  EXPECT_EQ(extractReturnCode("ERROR 8193v: Unknown or Unsupported Platform"), 4000);
  EXPECT_EQ(extractReturnCode("ERROR 8703u: already updated"), 4001);
  EXPECT_EQ(extractReturnCode("ERROR 0042h: x"), 42);
  EXPECT_EQ(extractReturnCode("nothing coded here"), 0);
  EXPECT_EQ(extractReturnCode("ERROR 12"), 0);
  // A quoted template names its own code later on the line, and the later one wins.
  EXPECT_EQ(extractReturnCode(raisedBy([] { formatError("1000h", {"x"}); })), 1000);
  // Only the line on which the match starts counts.
  EXPECT_EQ(extractReturnCode("first line\nCODE 77x: second"), 77);
}

TEST_F(ReturnCodeTest, ToolErrorsWithoutNumberAndHugeNumbersStillFail) {
  EXPECT_EQ(extractReturnCode("ERROR v: Unknown error\nmore output"), 4000);
  EXPECT_EQ(extractReturnCode("ERROR u: crashed"), 4001);
  EXPECT_EQ(extractReturnCode("ERROR v: text then ERROR 55q: x"), 55);
  EXPECT_EQ(extractReturnCode("ERROR 99999999999999999999h: x"), 2147483647);
}

TEST_F(ReturnCodeTest, ReturnCodeExtractionIsLoggedOnTheVerboseChannels) {
  extractReturnCode("ERROR 1014h: Invalid");
  EXPECT_EQ(runLogText(),
            "Extracting return code\nFrom: ERROR 1014h: Invalid \nType: h  Return code: 1014\n\n");
  EXPECT_EQ(fake().output, "");
}

}  // namespace
