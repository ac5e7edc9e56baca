#include <array>
#include <optional>

#include "app/error_catalogue.h"
#include "checks/version_compare.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "stamp/firmware_updater.h"
#include "stamp/stamp_pieces.h"

namespace {

// The version strings hold one ASCII character per UTF-16 unit, written as two hex digits:
// a control character or a byte from 0x80 on gives another number of digits.
bool isPrintableAscii(char c) { return c >= 0x20 && c <= 0x7e; }

std::array<int, 4> stampFields(const std::string& version) {
  std::optional<std::string> problem = stampVersionProblem(version);
  if (problem) throw *problem;
  std::array<int, 4> fields{};
  for (int n = 0; n < 4; ++n) {
    fields[n] = versionField(version, n);
  }
  return fields;
}

}  // namespace

// The stamp's lengths are single bytes and its fixed version holds 16-bit words: a version
// outside these bounds would come out as a corrupt image, so it is refused before any file is
// touched.
std::optional<std::string> stampVersionProblem(const std::string& version) {
  bool fits = version.size() >= 7 && version.size() <= 23;
  for (int n = 0; n < 4; ++n) {
    std::optional<int> field = readVersionField(version, n);
    if (!field) return formatError("1018h", {version, std::to_string(n + 1)});
    fits = fits && *field >= 0 && *field <= 65535;
  }
  for (char c : version) {
    fits = fits && isPrintableAscii(c);
  }
  if (!fits) return formatError("1019h", {version});
  return std::nullopt;
}

void checkStampCanCarry(const std::string& version) {
  std::optional<std::string> problem = stampVersionProblem(version);
  if (problem) throw *problem;
}

std::string FirmwareUpdater::stampPath(const std::string& version) const {
  std::string drive = platform::environmentVariable("SystemDrive").value_or("");
  printVerbose("Finding OS drive letter.\n", "default");
  if (drive.empty()) raiseError("2001s");
  printVerbose("OS Drive letter found, it is " + drive + "\n", "default");
  checkStampCanCarry(version);
  return drive + "\\" + stampFileName;
}

void FirmwareUpdater::checkVersionStamp(const std::string& version) const { stampPath(version); }

void FirmwareUpdater::writeVersionStamp(const std::string& version) const {
  std::string path = stampPath(version);
  std::vector<std::string> pieces =
      versionStampPieces(stampTemplate, version, stampFields(version));

  // Written beside the old stamp and moved over it at the end, so that a failure at any point
  // leaves the previous stamp whole.
  platform::OutputFile file(path, platform::FileMode::raw, platform::WriteMethod::replace);
  printVerbose("Writing file: " + path + "\n", "default");
  if (!file.isOpen()) raiseError("2003s", {path});
  std::string hex;
  for (const std::string& piece : pieces) {
    hex += piece;
    printSuperVerbose(piece, "default");
  }
  if (!file.write(decodeHex(hex)) || !file.commit()) raiseError("2003s", {path});
  printVerbose("Write complete\n\n", "default");
}
