#include "escapes.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string decodeEscapes(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      bytes += text[i];
      continue;
    }
    char next = text[++i];
    switch (next) {
      case 'r':
        bytes += '\r';
        break;
      case 'n':
        bytes += '\n';
        break;
      case 't':
        bytes += '\t';
        break;
      case '0':
        bytes += '\0';
        break;
      case '\\':
        bytes += '\\';
        break;
      case 'x':
        if (i + 2 < text.size() + 0 && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
          bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
          i += 2;
          break;
        }
        bytes += "\\x";
        break;
      default:
        bytes += '\\';
        bytes += next;
    }
  }
  return bytes;
}
