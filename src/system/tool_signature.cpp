#include "system/tool_signature.h"

#include <algorithm>

#include "console/messages.h"

std::optional<std::string> signatureFinding(const platform::Signature& signature,
                                            const std::vector<std::string>& accepted) {
  switch (signature.state) {
    case platform::SignatureState::valid:
      if (std::find(accepted.begin(), accepted.end(), signature.signer) != accepted.end()) {
        return std::nullopt;
      }
      return "signed by " + signature.signer;
    case platform::SignatureState::none:
      return std::string("no signature");
    case platform::SignatureState::altered:
      return std::string("the signature does not match the file");
    case platform::SignatureState::uncheckable:
      return "the signature cannot be checked: " + signature.detail;
    case platform::SignatureState::notSupported:
      break;
  }
  return std::nullopt;
}

void warnUnsignedTool(const std::string& file) {
  printMessage(
      "Warning: the tool " + file + " has no signature. It runs only because of -allowunsigned.\n",
      "warning");
}
