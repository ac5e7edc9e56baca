#pragma once

#include <memory>

#include "stamp/firmware_updater.h"

// The program's start-up set-up: building it stores the help texts, completes the error
// catalogue and creates the FirmwareUpdater, which it alone holds.
class Installer {
 public:
  Installer();
  FirmwareUpdater& firmwareUpdater() { return *updater; }

 private:
  std::unique_ptr<FirmwareUpdater> updater;
};
