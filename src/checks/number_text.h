// The program's only conversions from text to number. None of them throws: a text that holds
// no number, or a number beyond the signed 32-bit range, gives nothing, and the caller
// reports that through the error catalogue.
#pragma once

#include <optional>
#include <string_view>

// A text made only of decimal digits (at least one; leading zeros allowed).
std::optional<int> decimalDigitsValue(std::string_view digits);

// The number at the start of a text, read like the C library's base-10 conversion: leading
// blanks skipped, an optional sign, then the digits up to the first non-digit.
std::optional<int> leadingNumberValue(std::string_view text);
