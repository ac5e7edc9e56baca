#include "stamp/firmware_updater.h"

FirmwareUpdater::FirmwareUpdater(std::string stampFileName, std::string updateCommand,
                                 std::string allowSameVersionSwitch, std::string silentSwitch)
    : stampFileName(std::move(stampFileName)),
      updateCommand(std::move(updateCommand)),
      allowSameVersionSwitch(std::move(allowSameVersionSwitch)),
      silentSwitch(std::move(silentSwitch)) {}
