#include "profiles/platform_decoder.h"

#include "console/messages.h"
#include "system/bios_query.h"

namespace {

// Keep docs/platforms.txt in step with these rows: Kitbox authors read the names there.
const std::pair<const char*, const char*> decoderRows[] = {
    {"aster", "n01"},   {"aster2", "n01"}, {"asterpro", "n01"},  {"birch", "n02"},
    {"birchx", "n02"},  {"cedar", "n03"},  {"cedarmini", "n03"}, {"dune14", "n04"},
    {"dune16", "n04"},  {"ember", "n05"},  {"embertab", "n05"},  {"fjord", "p10"},
    {"glacier", "p11"}, {"harbor", "p12"}, {"islet", "q20"},     {"juniper", "q21"},
    {"kestrel", "q22"},
};

PlatformDecoder& decoderTable() {
  static PlatformDecoder decoder(std::begin(decoderRows), std::end(decoderRows));
  return decoder;
}

// The newest platform joins the table apart from the list above.
const bool lagoonAdded = decoderTable().emplace("lagoon", "r30").second;

}  // namespace

const PlatformDecoder& platformDecoder() { return decoderTable(); }

std::optional<std::string> decodePlatform(const std::string& identifier) {
  auto found = decoderTable().find(identifier);
  if (found == decoderTable().end()) return std::nullopt;
  return found->second;
}

std::string systemBiosFamily() { return currentBiosVersion().substr(0, 3); }

int matchInputProfile(const std::vector<InputProfile>& profiles) {
  printVerbose("Checking if BIOS matches an input profile.\n", "default");
  std::string family = systemBiosFamily();
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    for (const std::string& platform : profiles[i].getSupportedPlatforms()) {
      if (decodePlatform(platform) == family) {
        printVerbose("Matches input profile " + std::to_string(i) + "\n\n", "default");
        return static_cast<int>(i);
      }
    }
  }
  return -1;
}
