#include "platform/flash_console_win32.h"

#include "platform/platform.h"

namespace platform {

DWORD flashCreationFlags(bool breakaway) {
  DWORD flags = CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW;
  return breakaway ? flags | CREATE_BREAKAWAY_FROM_JOB : flags;
}

BOOL WINAPI flashConsoleHandler(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    // A service's console process hears every user's logoff, not only its own session's.
    case CTRL_LOGOFF_EVENT:
      return TRUE;
    case CTRL_CLOSE_EVENT:
      // The system ends the process soon after this returns, whatever it returns; a record
      // begun now could only be cut short.
      TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
      return TRUE;
    default:
      return FALSE;
  }
}

namespace {

bool& staying() {
  static bool state = false;
  return state;
}

}  // namespace

void stayThroughFlash() {
  if (staying()) return;
  staying() = SetConsoleCtrlHandler(flashConsoleHandler, TRUE) != FALSE;
}

void endStayThroughFlash() {
  if (!staying()) return;
  SetConsoleCtrlHandler(flashConsoleHandler, FALSE);
  staying() = false;
}

}  // namespace platform
