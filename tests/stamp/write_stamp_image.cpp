// Writes the stamp image for a version, the way the stamp writer builds it, so that PE readers
// can check the result.
//
// Usage: write_stamp_image VERSION OUTPUT
// VERSION must be four dotted decimal fields of 0 to 65535, 7 to 23 characters in all.

#include <array>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "stamp/stamp_pieces.h"
#include "stamp/stamp_template.h"

namespace {

std::optional<int> fieldValue(const std::string& digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return std::nullopt;
  return value;
}

std::optional<std::array<int, 4>> versionFields(const std::string& version) {
  if (version.size() < 7 || version.size() > 23) return std::nullopt;
  std::array<int, 4> fields{};
  std::size_t start = 0;
  for (std::size_t index = 0; index < fields.size(); ++index) {
    const std::size_t dot = version.find('.', start);
    if ((dot == std::string::npos) != (index == 3)) return std::nullopt;
    const std::optional<int> value = fieldValue(version.substr(start, dot - start));
    if (!value) return std::nullopt;
    fields[index] = *value;
    start = dot + 1;
  }
  return fields;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: write_stamp_image VERSION OUTPUT\n";
    return 2;
  }
  const std::string version = argv[1];
  const std::optional<std::array<int, 4>> fields = versionFields(version);
  if (!fields) {
    std::cerr << "write_stamp_image: not a version of four fields 0..65535, 7 to 23 characters: "
              << version << "\n";
    return 2;
  }
  std::string hex;
  for (const std::string& piece : versionStampPieces(
           std::vector<std::string>(stampTemplatePieces.begin(), stampTemplatePieces.end()),
           version, *fields)) {
    hex += piece;
  }
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file << decodeHex(hex);
  file.close();
  if (!file) {
    std::cerr << "write_stamp_image: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
