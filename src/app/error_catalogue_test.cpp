#include "app/error_catalogue.h"

#include "console/messages.h"
#include "settings/run_settings.h"
#include "test_support.h"

namespace {

using ErrorCatalogueTest = UnitTest;

TEST_F(ErrorCatalogueTest, HoldsEveryCodeOnceWithItsKindLetterAtIndexTen) {
  EXPECT_EQ(errorCatalogue().size(), 31u);
  for (const auto& [code, pattern] : errorCatalogue()) {
    ASSERT_EQ(code.size(), 5u);
    std::string prefix = code.back() == 'n' ? "CODE  " : "ERROR ";
    EXPECT_EQ(pattern.substr(0, 13), prefix + code + ": ") << code;
    EXPECT_EQ(pattern[10], code.back());
  }
  for (const auto& entry : startErrorCatalogue()) {
    EXPECT_EQ(runTimeErrorCodes().count(entry.first), 0u) << entry.first;
  }
}

TEST_F(ErrorCatalogueTest, FillsPlaceholdersLeftToRightWithoutRescanningArguments) {
  EXPECT_EQ(formatError("1002h", {"input.txt", "ME_Flash\\"}),
            "ERROR 1002h: File input.txt does not appear to exist in ME_Flash\\.");
  EXPECT_EQ(formatError("1014h"), "ERROR 1014h: Invalid command line arguments. Use -h for help.");
  EXPECT_EQ(formatError("2011s", {"#a", "#"}),
            "ERROR 2011s: System bios version #a does not meet prerequisite version #.");
  EXPECT_EQ(formatError("1016h", {"1", "p2", "b02", "0", "p1", "b02"}),
            "ERROR 1016h: Input profile supported platform conflict.\n"
            "Input profile 1's supported platform p2's BIOS branch b02\n"
            "Already exists in input profile 0, supported platform p1, BIOS branch b02");
}

TEST_F(ErrorCatalogueTest, WrongArgumentCountRaisesTheQuotingMessage) {
  EXPECT_EQ(raisedBy([] { formatError("1000h", {"x"}); }),
            "ERROR 1003h: Error message \"ERROR 1000h: POPEN failure.\" needs 0 arguments, you "
            "passed 1");
  EXPECT_EQ(raisedBy([] { formatError("2011s", {"x"}); }),
            "ERROR 1003h: Error message \"ERROR 2011s: System bios version # does not meet "
            "prerequisite version #.\" needs 2 arguments, you passed 1");
}

TEST_F(ErrorCatalogueTest, UnknownCodeIsAnInternalError) {
  EXPECT_EQ(formatError("9999x"),
            "ERROR 1017h: Unexpected internal error: no message for error code 9999x");
}

TEST_F(ErrorCatalogueTest, ReturnCodeComesFromTheMessageText) {
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

TEST_F(ErrorCatalogueTest, ToolErrorsWithoutNumberAndHugeNumbersStillFail) {
  EXPECT_EQ(extractReturnCode("ERROR v: Unknown error\nmore output"), 4000);
  EXPECT_EQ(extractReturnCode("ERROR u: crashed"), 4001);
  EXPECT_EQ(extractReturnCode("ERROR v: text then ERROR 55q: x"), 55);
  EXPECT_EQ(extractReturnCode("ERROR 99999999999999999999h: x"), 2147483647);
}

TEST_F(ErrorCatalogueTest, ReturnCodeExtractionIsLoggedOnTheVerboseChannels) {
  extractReturnCode("ERROR 1014h: Invalid");
  EXPECT_EQ(runLogText(),
            "Extracting return code\nFrom: ERROR 1014h: Invalid \nType: h  Return code: 1014\n\n");
  EXPECT_EQ(fake().output, "");
}

}  // namespace
