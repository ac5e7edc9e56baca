// The SMBIOS table on a POSIX host: Linux hands out the bare structures; the program expects
// them behind the header Windows puts in front.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// A file whole, or nothing when it cannot be opened.
std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes(std::istreambuf_iterator<char>(file), {});
  if (file.bad()) return std::nullopt;
  return bytes;
}

std::string windowsHeader(std::uint32_t tableLength) {
  std::string header(8, '\0');
  for (int i = 0; i < 4; ++i) {
    header[4 + i] = static_cast<char>((tableLength >> (8 * i)) & 0xFF);
  }
  return header;
}

}  // namespace

std::optional<std::string> readSmbiosTable() {
  if (std::optional<std::string> file = environmentVariable("MEFW_SMBIOS_FILE")) {
    return readWholeFile(*file);
  }
  std::optional<std::string> structures = readWholeFile("/sys/firmware/dmi/tables/DMI");
  if (!structures) return std::nullopt;
  return windowsHeader(static_cast<std::uint32_t>(structures->size())) + *structures;
}

}  // namespace platform
