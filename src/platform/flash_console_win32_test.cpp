// The flash's creation flags and the installer's console handler while the flash runs.
// Ctrl+Break and the closing of a console window cannot be sent under wine, so the handler's
// answers are checked here directly.
#include "platform/flash_console_win32.h"

#include <gtest/gtest.h>

namespace {

TEST(FlashConsoleTest, TheFlashHasAGroupAndAHiddenConsoleOfItsOwnAndLeavesTheJobWhenAllowed) {
  DWORD own = CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW;
  EXPECT_EQ(platform::flashCreationFlags(true), own | CREATE_BREAKAWAY_FROM_JOB);
  EXPECT_EQ(platform::flashCreationFlags(false), own);
}

TEST(FlashConsoleTest, CtrlCCtrlBreakAndALogoffPassTheInstallerBy) {
  for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_LOGOFF_EVENT}) {
    EXPECT_EQ(platform::flashConsoleHandler(event), TRUE) << event;
  }
  // A shutdown goes on to the system's own handling.
  EXPECT_EQ(platform::flashConsoleHandler(CTRL_SHUTDOWN_EVENT), FALSE);
}

}  // namespace
