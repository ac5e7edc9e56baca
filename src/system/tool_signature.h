// Intel's tools run with administrator rights and are handed the firmware, from a Kitbox that
// may have come through a download folder, a USB stick or a share: each program file of their
// folders is run or loaded only when its signer is one the installer accepts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

// The subject common name of the certificate Intel signs its tools with. Should a future Intel
// certificate carry another name, this is the one place to change it (the 2018s message names
// the company in its own words).
inline const std::string toolSignerName = "Intel Corporation";

// The signer of the runtime DLLs that some of Intel's tools carry beside them.
inline const std::string runtimeSignerName = "Microsoft Corporation";

// What keeps a program file from running, as the 2018s message says it: "no signature", "the
// signature does not match the file", "signed by <name>" or "the signature cannot be checked:
// <code>"; nothing for a valid signature of an accepted signer (Intel alone when none are
// given) and where signatures cannot be checked.
std::optional<std::string> signatureFinding(const platform::Signature& signature,
                                            const std::vector<std::string>& accepted = {
                                                toolSignerName});

// The warning line for a program file that runs without a signature because of -allowunsigned.
void warnUnsignedTool(const std::string& file);
