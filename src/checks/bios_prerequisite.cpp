#include "checks/bios_prerequisite.h"

#include "app/error_catalogue.h"
#include "checks/number_text.h"
#include "console/messages.h"
#include "system/bios_query.h"

std::optional<int> digitsNumber(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return decimalDigitsValue(digits);
}

int digitsToNumber(const std::string& text) {
  std::optional<int> number = digitsNumber(text);
  // Without a number the prerequisite cannot be confirmed, so the update must not go on.
  if (!number) raiseError("2012s", {text});
  return *number;
}

void checkBiosPrerequisite(InputProfile profile) {
  printVerbose("Check if BIOS meets prerequisites.\n", "default");
  std::string bios = currentBiosVersion();
  const std::string& prerequisite = profile.getPrereqBios();
  int required = digitsToNumber(prerequisite);
  int system = digitsToNumber(bios.size() > 4 ? bios.substr(4) : "");
  printVerbose(
      "System: " + std::to_string(system) + "  vs  Prereq: " + std::to_string(required) + "\n",
      "default");
  if (system < required) raiseError("2011s", {bios, prerequisite});
  printVerbose(bios + " >= " + prerequisite + " meets prerequisites.\n\n", "default");
}
