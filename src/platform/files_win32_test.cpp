// The rules of the Windows file functions that hold without a file system: wine makes up the
// rights it reads back, so rights are tested as the program builds and reads them, in memory.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/files_win32.h"
#include "platform/platform.h"

namespace {

TEST(InterpreterCommandLine, RunsNoAutoRunCommandFirst) {
  EXPECT_EQ(platform::interpreterCommandLine("C:\\Windows\\system32\\cmd.exe", "wmic bios"),
            "\"C:\\Windows\\system32\\cmd.exe\" /d /c wmic bios");
}

TEST(StageFolderAccess, OnlySystemAndAdministratorsMayDoAnythingAndNothingIsInherited) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      platform::stageFolderAccess(), SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl != nullptr);
  ASSERT_EQ(dacl->AceCount, 2u);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    PSID sid = &ace->SidStart;
    EXPECT_TRUE(IsWellKnownSid(sid, WinLocalSystemSid) ||
                IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
    EXPECT_EQ(ace->Mask, FILE_ALL_ACCESS);
  }
  LocalFree(descriptor);
}

TEST(LinkTag, NameSurrogatesAreLinksAndOtherReparsePointsAreFiles) {
  for (DWORD link : {IO_REPARSE_TAG_SYMLINK, IO_REPARSE_TAG_MOUNT_POINT}) {
    EXPECT_TRUE(platform::isLinkTag(link)) << link;
  }
  // A deduplicated file, a compressed system file, a OneDrive placeholder.
  for (DWORD file : {DWORD{0x80000013}, DWORD{0x80000017}, DWORD{0x9000001A}}) {
    EXPECT_FALSE(platform::isLinkTag(file)) << file;
  }
}

TEST(FolderRights, EveryRightThatChangesWhatTheFolderHoldsCounts) {
  EXPECT_EQ(platform::folderRightsOf(FILE_GENERIC_READ | FILE_GENERIC_EXECUTE), 0u);
  EXPECT_EQ(platform::folderRightsOf(FILE_ADD_FILE), unsigned{platform::addEntries});
  EXPECT_EQ(platform::folderRightsOf(FILE_ADD_SUBDIRECTORY), unsigned{platform::addEntries});
  EXPECT_EQ(platform::folderRightsOf(FILE_DELETE_CHILD), unsigned{platform::removeEntries});
  EXPECT_EQ(platform::folderRightsOf(DELETE), unsigned{platform::removeEntries});
  EXPECT_EQ(platform::folderRightsOf(WRITE_DAC), unsigned{platform::changeRights});
  EXPECT_EQ(platform::folderRightsOf(WRITE_OWNER), unsigned{platform::takeOwnership});
  EXPECT_EQ(platform::folderRightsOf(GENERIC_ALL), 15u);
  EXPECT_EQ(platform::folderRightsOf(FILE_ALL_ACCESS), 15u);
}

}  // namespace
