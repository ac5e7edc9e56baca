#include "app/installer.h"

#include "app/error_catalogue.h"
#include "settings/help.h"
#include "settings/run_settings.h"

Installer::Installer() {
  setHelpText(plainHelpText);
  setSuperSecretHelpText(secretHelpText);
  setErrorCodes(runTimeErrorCodes());
  updater = std::make_unique<FirmwareUpdater>(
      "MeFwVer.sys", "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f", "-allowsv", "-s");
}
