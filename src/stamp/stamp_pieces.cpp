#include "stamp/stamp_pieces.h"

#include <cstddef>
#include <stdexcept>

namespace {

// The pieces of the template that depend on the version text.
const std::size_t resourceSizePiece = 1;
const std::size_t versionInfoLengthPiece = 3;
const std::size_t fileVersionPiece = 5;
const std::size_t stringFileInfoLengthPiece = 7;
const std::size_t stringTableLengthPiece = 9;
const std::size_t fileVersionTextLengthPiece = 11;
const std::size_t fileVersionValueLengthPiece = 12;
const std::size_t fileVersionTextPiece = 13;
const std::size_t productVersionTextLengthPiece = 15;
const std::size_t productVersionValueLengthPiece = 16;
const std::size_t productVersionTextPiece = 17;

int hexDigitValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  throw std::invalid_argument(std::string("not a hex digit: ") + digit);
}

// The version text in UTF-16LE less its final zero byte: "00" after every character's two
// digits but the last. The template's next piece starts with three zero bytes, which complete
// the terminator; a version of even length needs two more zero bytes there so that the next
// block starts on a four-byte boundary, and gets them here.
std::string versionTextPiece(const std::string& version) {
  const std::string versionHex = textToHex(version);
  std::string piece;
  for (std::size_t digit = 0; digit < versionHex.size(); digit += 2) {
    if (digit > 0) piece += "00";
    piece.append(versionHex, digit, 2);
  }
  if (version.size() % 2 == 0) piece += "0000";
  return piece;
}

// A version string's value length counts its characters and the terminating zero. Readers such
// as Windows' VerQueryValue return no more than that, so it must follow the version's length:
// the template's own length (14) would cut every version longer than 13 characters. The word
// follows the block length's high byte at the start of the piece; its high byte stays zero.
void setValueLength(std::string& piece, int characters) {
  std::string low = numberToHex4(characters).substr(2);
  piece.replace(2, 2, low);
}

}  // namespace

std::string numberToHex(int number) {
  static const char digits[] = "0123456789abcdef";
  unsigned int value = static_cast<unsigned int>(number);
  std::string hex;
  do {
    hex.insert(hex.begin(), digits[value % 16]);
    value /= 16;
  } while (value != 0);
  return hex;
}

std::string numberToHex4(int number) {
  std::string hex = numberToHex(number);
  if (hex.size() < 4) hex.insert(0, 4 - hex.size(), '0');
  return hex;
}

std::string textToHex(const std::string& text) {
  std::string hex;
  for (char c : text) {
    hex += numberToHex(static_cast<signed char>(c));
  }
  return hex;
}

std::string reverseHexBytes(std::string hex) {
  if (hex.size() % 2 != 0) hex.insert(0, 1, '0');
  std::string reversed;
  for (std::size_t end = hex.size(); end > 0; end -= 2) {
    reversed.append(hex, end - 2, 2);
  }
  return reversed;
}

// Only the low bytes of the lengths are replaced: the template's high bytes (0x02 for the
// VS_VERSIONINFO, 0x01 for StringFileInfo and StringTable, 0 for the two strings) hold for every
// version of 7 to 23 characters. The lengths themselves are those of the template's layout:
//   VS_VERSIONINFO and resource size  512 + 8F + 72
//   StringFileInfo                    256 + 6F + 2G + 168
//   StringTable                       256 + 6F + 2G + 132
//   FileVersion string                2L + 34
//   ProductVersion string             2L + 38
// with L the length of the version text, F = (L - 6) / 2 and G = (L - 7) / 2; F and G carry the
// four-byte rounding of the blocks behind each version string.
std::vector<std::string> versionStampPieces(std::vector<std::string> pieces,
                                            const std::string& version,
                                            const std::array<int, 4>& fields) {
  const int length = static_cast<int>(version.size());
  const int f = (length - 6) / 2;
  const int g = (length - 7) / 2;

  pieces[versionInfoLengthPiece] = numberToHex(8 * f + 72);
  pieces[resourceSizePiece] = pieces[versionInfoLengthPiece];
  // Two 32-bit little-endian values, (f0 << 16 | f1) then (f2 << 16 | f3).
  pieces[fileVersionPiece] = reverseHexBytes(numberToHex4(fields[2]) + numberToHex4(fields[3]) +
                                             numberToHex4(fields[0]) + numberToHex4(fields[1]));
  pieces[stringFileInfoLengthPiece] = numberToHex(6 * f + 2 * g + 168);
  pieces[stringTableLengthPiece] = numberToHex(6 * f + 2 * g + 132);
  pieces[fileVersionTextLengthPiece] = numberToHex(2 * length + 34);
  pieces[productVersionTextLengthPiece] = numberToHex(2 * length + 38);
  setValueLength(pieces[fileVersionValueLengthPiece], length + 1);
  setValueLength(pieces[productVersionValueLengthPiece], length + 1);
  pieces[productVersionTextPiece] = versionTextPiece(version);
  pieces[fileVersionTextPiece] = pieces[productVersionTextPiece];
  return pieces;
}

std::string decodeHex(const std::string& hex) {
  if (hex.size() % 2 != 0) throw std::invalid_argument("odd number of hex digits");
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bytes += static_cast<char>(hexDigitValue(hex[i]) * 16 + hexDigitValue(hex[i + 1]));
  }
  return bytes;
}
