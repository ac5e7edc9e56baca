#include "stamp/firmware_updater.h"

#include "stamp/stamp_template.h"

FirmwareUpdater::FirmwareUpdater(std::string stampFileName, std::string updateCommand,
                                 std::string allowSameVersionSwitch, std::string silentSwitch)
    : stampTemplate(stampTemplatePieces.begin(), stampTemplatePieces.end()),
      stampFileName(std::move(stampFileName)),
      updateCommand(std::move(updateCommand)),
      allowSameVersionSwitch(std::move(allowSameVersionSwitch)),
      silentSwitch(std::move(silentSwitch)) {}
