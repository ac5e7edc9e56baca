// Intel's tools run with administrator rights and are handed the firmware, from a Kitbox that
// may have come through a download folder, a USB stick or a share: each is run only when Intel
// signed it.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

// The subject common name of the certificate Intel signs its tools with. Should a future Intel
// certificate carry another name, this is the one place to change it (the 2018s message names
// the company in its own words).
inline const std::string toolSignerName = "Intel Corporation";

// Checks the signature of one of Intel's tools, the file in the folder (relative to the working
// folder), before it runs; silent when it passes. Each file is checked once per run: a later
// call gives the first one's outcome at once. With -allowunsigned a tool without any signature
// is let through with a warning line that names it. Raises "2018s" for every other tool
// without Intel's valid signature. Does nothing on a build without signatures (POSIX).
void checkToolSignature(const std::string& folder, const std::string& file);

// What keeps a tool from running, as the 2018s message says it: "no signature", "the signature
// does not match the file", "signed by <name>" or "the signature cannot be checked: <code>";
// nothing for Intel's valid signature and where signatures cannot be checked.
std::optional<std::string> signatureFinding(const platform::Signature& signature);

// The "2018s" message that refuses a tool with this signature, or nothing when it may run.
// `unsignedAllowed` (-allowunsigned) lets a tool without any signature run.
std::optional<std::string> signatureRefusal(const platform::Signature& signature,
                                            const std::string& file, bool unsignedAllowed);

// Forgets which tools were checked (for tests).
void resetCheckedTools();
