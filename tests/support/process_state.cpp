#include "process_state.h"

#include "app/error_catalogue.h"
#include "console/console_colours.h"
#include "console/messages.h"
#include "platform/platform_fake.h"
#include "settings/run_settings.h"
#include "system/bios_query.h"
#include "update/update_progress.h"

void resetProcessState() {
  runSettings() = RunSettings{};
  runLog().clear();
  // The catalogue as the start-up set-up leaves it, without marking ERRORCODES as set.
  errorCatalogue() = startErrorCatalogue();
  ErrorCatalogue runTime = runTimeErrorCodes();
  errorCatalogue().insert(runTime.begin(), runTime.end());
  clearCurrentBiosVersion();
  progressRecords() = ProgressRecords{};
  platform::fakePlatform() = platform::FakePlatform{};
  consoleColours() = computeConsoleColours(std::nullopt);
}
