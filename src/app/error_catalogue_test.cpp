#include "app/error_catalogue.h"

#include "test_support.h"

namespace {

using ErrorCatalogueTest = UnitTest;

TEST_F(ErrorCatalogueTest, HoldsEveryCodeOnceWithItsKindLetterAtIndexTen) {
  EXPECT_EQ(errorCatalogue().size(), 34u);
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

}  // namespace
