#include "app/state_folder.h"

#include "test_support.h"

namespace {

using platform::Account;
using platform::FolderFacts;

FolderFacts soundFolder() { return {true, true, false, Account::runningAccount, {}}; }

TEST(FolderProblem, EachFactThatLetsAnotherAccountInRefusesTheFolder) {
  EXPECT_EQ(folderProblem("f", soundFolder()), "");
  for (Account owner : {Account::system, Account::administrators}) {
    FolderFacts facts = soundFolder();
    facts.owner = owner;
    EXPECT_EQ(folderProblem("f", facts), "");
  }
  FolderFacts facts = soundFolder();
  facts.owner = Account::unreadable;
  EXPECT_EQ(folderProblem("f", facts), "f has an owner that cannot be read");
  facts.owner = Account::other;
  EXPECT_EQ(folderProblem("f", facts), "f is owned by another account");
  facts = soundFolder();
  facts.isLink = true;
  EXPECT_EQ(folderProblem("f", facts), "f is a link or reparse point");
  facts = soundFolder();
  facts.isFolder = false;
  EXPECT_EQ(folderProblem("f", facts), "f is not a folder");
  EXPECT_EQ(folderProblem("f", FolderFacts{}), "f cannot be made");
}

TEST(FolderProblem, RightsCountOnlyForAccountsOtherThanTheTrustedOnes) {
  for (unsigned right : {platform::addEntries, platform::removeEntries, platform::changeRights,
                         platform::takeOwnership}) {
    FolderFacts facts = soundFolder();
    facts.grants = {{Account::administrators, 15}, {Account::other, right}};
    EXPECT_EQ(folderProblem("f", facts), "f can be changed by other accounts") << right;
    facts.grants = {{Account::system, right}, {Account::runningAccount, right}};
    EXPECT_EQ(folderProblem("f", facts), "") << right;
  }
  // An account that cannot be told apart may be anyone.
  FolderFacts facts = soundFolder();
  facts.grants = {{Account::unreadable, platform::addEntries}};
  EXPECT_EQ(folderProblem("f", facts), "f can be changed by other accounts");
}

}  // namespace
