#include "console/json_text.h"

#include <cstdio>

namespace {

std::string unicodeEscape(unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", value);
  return escape;
}

bool inRange(const std::string& text, std::size_t at, unsigned low, unsigned high) {
  if (at >= text.size()) return false;
  unsigned byte = static_cast<unsigned char>(text[at]);
  return byte >= low && byte <= high;
}

// The length of the well-formed UTF-8 sequence starting at `at` (no overlong forms, no
// surrogates, nothing beyond U+10FFFF), or 0.
std::size_t utf8SequenceLength(const std::string& text, std::size_t at) {
  unsigned lead = static_cast<unsigned char>(text[at]);
  if (lead >= 0xc2 && lead <= 0xdf) return inRange(text, at + 1, 0x80, 0xbf) ? 2 : 0;
  if (lead >= 0xe0 && lead <= 0xef) {
    unsigned low = lead == 0xe0 ? 0xa0 : 0x80;
    unsigned high = lead == 0xed ? 0x9f : 0xbf;
    return inRange(text, at + 1, low, high) && inRange(text, at + 2, 0x80, 0xbf) ? 3 : 0;
  }
  if (lead >= 0xf0 && lead <= 0xf4) {
    unsigned low = lead == 0xf0 ? 0x90 : 0x80;
    unsigned high = lead == 0xf4 ? 0x8f : 0xbf;
    bool wellFormed = inRange(text, at + 1, low, high) && inRange(text, at + 2, 0x80, 0xbf) &&
                      inRange(text, at + 3, 0x80, 0xbf);
    return wellFormed ? 4 : 0;
  }
  return 0;
}

std::string escapedAscii(char c) {
  switch (c) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      break;
  }
  if (static_cast<unsigned char>(c) < 0x20) return unicodeEscape(static_cast<unsigned char>(c));
  return std::string(1, c);
}

}  // namespace

std::string jsonString(const std::string& text) {
  std::string result = "\"";
  for (std::size_t i = 0; i < text.size();) {
    unsigned byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      result += escapedAscii(text[i++]);
      continue;
    }
    std::size_t length = utf8SequenceLength(text, i);
    if (length == 0) {
      result += unicodeEscape(byte);
      ++i;
      continue;
    }
    result.append(text, i, length);
    i += length;
  }
  return result + "\"";
}

std::string jsonStringOrNull(const std::string& text) {
  return text.empty() ? "null" : jsonString(text);
}

std::string jsonLineOrNull(int line) { return line < 1 ? "null" : std::to_string(line); }

std::string jsonObject(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string result = "{";
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (i > 0) result += ", ";
    result += jsonString(members[i].first) + ": " + members[i].second;
  }
  return result + "}";
}

std::string jsonArray(const std::vector<std::string>& items) {
  std::string result = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) result += ", ";
    result += items[i];
  }
  return result + "]";
}
