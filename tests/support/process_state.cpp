#include "process_state.h"

#include "app/error_catalogue.h"
#include "app/run_events.h"
#include "app/run_guards.h"
#include "app/run_record.h"
#include "console/console_colours.h"
#include "console/log_files.h"
#include "console/messages.h"
#include "platform/platform_fake.h"
#include "settings/run_settings.h"
#include "system/bios_query.h"
#include "system/tool_stage.h"
#include "update/update_progress.h"

// Each piece of process-wide state is reset by the file that owns it; this is the one list of
// them all. The platform decoder and the fixed names are constant and need no reset.
void resetProcessState() {
  resetRunSettings();
  resetErrorCatalogue();
  resetRunLog();
  resetLogFilesWritten();
  resetRunRecord();
  resetRunEvents();
  resetRunHoldsGuard();
  resetConsoleColours();
  resetCurrentBiosVersion();
  resetProgressRecords();
  // The stage's copies are held open on Windows, which would keep a test's folder.
  platform::letGoOfHeldFiles();
  resetToolStage();
  platform::resetFakePlatform();
}
