#pragma once

#include "profiles/input_profile.h"

// Shows the profile's upfront message, if it has one, in the warning colour and pauses five
// seconds so it can be read (silent runs too).
void showUpfrontMessage(InputProfile profile);

// Asks whether to update until the answer is Y or N, in either case. Returns true for yes.
// When standard input ends or fails before a valid answer, the answer is no.
bool askUserToUpdate();
