#include "system/system_info.h"

#include "settings/text_case.h"

void SystemInfo::setBiosVersion(std::string version) { biosVersion = toLower(std::move(version)); }
