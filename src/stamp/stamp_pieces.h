// The arithmetic of the version stamp: hex-text helpers and the pieces of the stamp template
// with the version-dependent ones replaced. Pure functions; the caller validates the version,
// decodes and writes the file, and reports failures.
#pragma once

#include <array>
#include <string>
#include <vector>

// Each character's code, taken as a signed 8-bit value widened to int, in lower-case hex without
// leading zeros, all concatenated: "11.8" gives "31312e38". A byte of 0x80 or above gives eight
// digits ("ffffff80"); the stamp only ever passes digits and dots.
std::string textToHex(const std::string& text);

// The number in lower-case hex, no leading zeros, no prefix: 192 gives "c0". A negative number
// gives its 32-bit two's complement.
std::string numberToHex(int number);

// As numberToHex, zero-filled to at least four digits: 11 gives "000b".
std::string numberToHex4(int number);

// The two-digit groups in reverse order, after a "0" is put in front of an odd-length text:
// "0021115c000b0016" gives "16000b005c112100".
std::string reverseHexBytes(std::string hex);

// The 19 hex-text pieces of the stamp for a version text: the template's pieces with those that
// depend on the version replaced. The caller guarantees a version of 7 to 23 characters made of
// four dotted decimal fields, and passes the fields' values (each 0 to 65535).
std::vector<std::string> versionStampPieces(std::vector<std::string> templatePieces,
                                            const std::string& version,
                                            const std::array<int, 4>& fields);

// The bytes of a hex text, two digits of either case per byte. Throws std::invalid_argument for
// an odd number of digits or a character that is not a hex digit.
std::string decodeHex(const std::string& hex);
