#include "system/tool_signature.h"

#include <map>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "settings/run_settings.h"

namespace {

// Each checked path and the message that refuses it, empty when it may run.
std::map<std::string, std::string>& checkedTools() {
  static std::map<std::string, std::string> tools;
  return tools;
}

// The message that refuses the tool, or "" when it may run.
std::string verdict(const std::string& path, const std::string& file) {
  platform::Signature signature = platform::checkProgramSignature(path);
  std::optional<std::string> refusal = signatureRefusal(signature, file, allowUnsignedFlag());
  if (refusal) return *refusal;
  if (signature.state == platform::SignatureState::none) {
    printMessage("Warning: the tool " + file +
                     " has no signature. It runs only because of -allowunsigned.\n",
                 "warning");
  }
  return "";
}

}  // namespace

void checkToolSignature(const std::string& folder, const std::string& file) {
  std::string path = folder + file;
  auto found = checkedTools().find(path);
  if (found == checkedTools().end()) {
    found = checkedTools().emplace(path, verdict(path, file)).first;
  }
  if (!found->second.empty()) throw found->second;
}

std::optional<std::string> signatureFinding(const platform::Signature& signature) {
  switch (signature.state) {
    case platform::SignatureState::valid:
      if (signature.signer == toolSignerName) return std::nullopt;
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

std::optional<std::string> signatureRefusal(const platform::Signature& signature,
                                            const std::string& file, bool unsignedAllowed) {
  std::optional<std::string> finding = signatureFinding(signature);
  if (!finding) return std::nullopt;
  if (signature.state == platform::SignatureState::none && unsignedAllowed) return std::nullopt;
  return formatError("2018s", {file, *finding});
}

void resetCheckedTools() { checkedTools().clear(); }
