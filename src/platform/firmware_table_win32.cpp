// The SMBIOS table as the firmware hands it to Windows: no process and no WMI service involved.
// windows.h must come before the other Windows headers.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {

std::optional<std::string> readSmbiosTable() {
  const DWORD rawSmbios = ('R' << 24) | ('S' << 16) | ('M' << 8) | 'B';
  UINT size = GetSystemFirmwareTable(rawSmbios, 0, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::string table(size, '\0');
  UINT written = GetSystemFirmwareTable(rawSmbios, 0, table.data(), size);
  if (written == 0 || written > size) return std::nullopt;
  table.resize(written);
  return table;
}

}  // namespace platform
