#include "expected_matches.h"

#include <climits>
#include <cstddef>
#include <functional>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isLineBreak(char c) { return c == '\r' || c == '\n'; }
bool isVersionCharacter(char c) { return isDigit(c) || c == '.'; }

// The end of the run of characters from `position` that satisfy the test.
std::size_t skip(const std::string& text, std::size_t position, bool (*test)(char)) {
  while (position < text.size() && test(text[position])) {
    ++position;
  }
  return position;
}

std::size_t skipBlanks(const std::string& text, std::size_t position) {
  return skip(text, position, [](char c) { return c == ' '; });
}

bool startsWithAt(const std::string& text, std::size_t position, const std::string& word) {
  return text.compare(position, word.size(), word) == 0 && position + word.size() <= text.size();
}

// Tries `fitsAt` at every place of a line from the last to the first, on the first line where
// any place fits: what a greedy ".*" in front of the rest of an expression selects.
using FitsAt = std::function<std::optional<std::string>(std::size_t position, std::size_t lineEnd)>;

std::optional<std::string> lastFitOnFirstLine(const std::string& text, const FitsAt& fitsAt) {
  std::size_t lineStart = 0;
  while (true) {
    std::size_t lineEnd = lineStart;
    while (lineEnd < text.size() && !isLineBreak(text[lineEnd])) {
      ++lineEnd;
    }
    for (std::size_t position = lineEnd + 1; position-- > lineStart;) {
      std::optional<std::string> fit = fitsAt(position, lineEnd);
      if (fit) return fit;
    }
    if (lineEnd >= text.size()) return std::nullopt;
    lineStart = lineEnd + 1;
  }
}

}  // namespace

std::optional<std::string> expectedPhraseValue(const std::string& text, const std::string& phrase) {
  return lastFitOnFirstLine(text,
                            [&](std::size_t position, std::size_t) -> std::optional<std::string> {
                              if (!startsWithAt(text, position, phrase)) return std::nullopt;
                              std::size_t valueStart = skipBlanks(text, position + phrase.size());
                              std::size_t valueEnd = skip(text, valueStart, isVersionCharacter);
                              return text.substr(valueStart, valueEnd - valueStart);
                            });
}

std::optional<std::string> expectedBiosVersion(const std::string& text) {
  for (std::size_t position = text.size(); position-- > 0;) {
    if (position + 4 > text.size()) continue;
    if (isLetter(text[position]) && isDigit(text[position + 1]) && isDigit(text[position + 2]) &&
        text[position + 3] == ' ') {
      std::size_t end = skip(text, position + 4, [](char c) {
        return isLetter(c) || isDigit(c) || c == '.' || c == ' ';
      });
      return text.substr(position, end - position);
    }
  }
  return std::nullopt;
}

std::optional<std::string> expectedFirmwareVersion(const std::string& text) {
  const std::string key = "FW Version";
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    std::size_t valueStart = skip(text, at + key.size(), [](char c) { return c == ':'; });
    valueStart = skip(text, valueStart, [](char c) { return c == ' ' || c == '\t'; });
    std::size_t valueEnd = skip(text, valueStart, isVersionCharacter);
    if (valueEnd > valueStart) return text.substr(valueStart, valueEnd - valueStart);
  }
  return std::nullopt;
}

std::optional<ExpectedToolError> expectedToolError(const std::string& text) {
  const std::string key = "Error ";
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    std::size_t numberEnd = skip(text, at + key.size(), isDigit);
    if (startsWithAt(text, numberEnd, ": ")) {
      return ExpectedToolError{text.substr(at + key.size(), numberEnd - at - key.size()),
                               text.substr(numberEnd + 2)};
    }
  }
  return std::nullopt;
}

int expectedReturnCode(const std::string& message) {
  // ".*(?:ERROR|CODE)[ ]*([\d]+)([\D]).*": the character after the digits may be a line break.
  std::optional<std::string> found = lastFitOnFirstLine(
      message, [&](std::size_t position, std::size_t lineEnd) -> std::optional<std::string> {
        std::size_t after = position;
        if (startsWithAt(message, position, "ERROR") && position + 5 <= lineEnd) {
          after = position + 5;
        } else if (startsWithAt(message, position, "CODE") && position + 4 <= lineEnd) {
          after = position + 4;
        } else {
          return std::nullopt;
        }
        std::size_t digitsStart = skipBlanks(message, after);
        std::size_t digitsEnd = skip(message, digitsStart, isDigit);
        if (digitsEnd == digitsStart || digitsEnd >= message.size()) return std::nullopt;
        // The kind character, then the digits.
        return message[digitsEnd] + message.substr(digitsStart, digitsEnd - digitsStart);
      });
  if (!found) {
    if (message.compare(0, 9, "ERROR v: ") == 0) return 4000;
    if (message.compare(0, 9, "ERROR u: ") == 0) return 4001;
    return 0;
  }
  if ((*found)[0] == 'v') return 4000;
  if ((*found)[0] == 'u') return 4001;
  long long value = 0;
  for (std::size_t i = 1; i < found->size(); ++i) {
    value = value * 10 + ((*found)[i] - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

bool hasFirmwareVersionShape(const std::string& fileName) {
  for (std::size_t start = 0; start < fileName.size(); ++start) {
    std::size_t position = start;
    int dots = 0;
    while (dots < 4) {
      position = skip(fileName, position, isDigit);
      if (position >= fileName.size() || fileName[position] != '.') break;
      ++position;
      ++dots;
    }
    if (dots == 4) return true;
  }
  return false;
}

std::string versionOfFileName(const std::string& fileName) {
  std::size_t position = 0;
  for (int dots = 0; dots < 4; ++dots) {
    std::size_t dot = fileName.find('.', position);
    if (dot == std::string::npos) return fileName;
    position = dot + 1;
  }
  return fileName.substr(0, position - 1);
}

std::optional<std::string> expectedVerificationPercentage(const std::string& line) {
  return lastFitOnFirstLine(line,
                            [&](std::size_t position, std::size_t) -> std::optional<std::string> {
                              if (!startsWithAt(line, position, "verification:")) {
                                return std::nullopt;
                              }
                              std::size_t at = skipBlanks(line, position + 13);
                              if (!startsWithAt(line, at, "[")) return std::nullopt;
                              std::size_t digitsStart = skipBlanks(line, at + 1);
                              std::size_t digitsEnd = skip(line, digitsStart, isDigit);
                              at = skipBlanks(line, digitsEnd);
                              if (!startsWithAt(line, at, "%")) return std::nullopt;
                              at = skipBlanks(line, at + 1);
                              if (!startsWithAt(line, at, "]")) return std::nullopt;
                              return line.substr(digitsStart, digitsEnd - digitsStart);
                            });
}

std::optional<std::string> expectedUpdatePercentage(const std::string& line) {
  return lastFitOnFirstLine(
      line, [&](std::size_t position, std::size_t lineEnd) -> std::optional<std::string> {
        if (!startsWithAt(line, position, "FW Update")) return std::nullopt;
        std::size_t at = skipBlanks(line, position + 9);
        if (!startsWithAt(line, at, ":")) return std::nullopt;
        at = skipBlanks(line, at + 1);
        if (!startsWithAt(line, at, "[")) return std::nullopt;
        std::size_t digitsStart = skipBlanks(line, at + 1);
        std::size_t digitsEnd = skip(line, digitsStart, isDigit);
        at = digitsEnd;
        if (!startsWithAt(line, at, "% (") || at + 3 >= lineEnd) return std::nullopt;
        if (!startsWithAt(line, at + 4, ")")) return std::nullopt;
        std::size_t bracket = line.find(']', at + 5);
        if (bracket == std::string::npos || bracket >= lineEnd) return std::nullopt;
        return line.substr(digitsStart, digitsEnd - digitsStart);
      });
}

std::optional<std::string> expectedDriverVersion(const std::string& line) {
  return lastFitOnFirstLine(
      line, [&](std::size_t position, std::size_t lineEnd) -> std::optional<std::string> {
        if (position >= lineEnd || line[position] != ',') return std::nullopt;
        std::size_t end = position + 1;
        for (int dots = 0; dots < 3; ++dots) {
          end = skip(line, end, isDigit);
          if (!startsWithAt(line, end, ".")) return std::nullopt;
          ++end;
        }
        end = skip(line, end, isDigit);
        std::size_t lineStart = line.find_last_of("\r\n", position);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        std::size_t key = line.find("DriverVer", lineStart);
        if (key == std::string::npos || key + 9 > position) return std::nullopt;
        std::size_t equals = line.find('=', key + 9);
        if (equals == std::string::npos || equals >= position) return std::nullopt;
        return line.substr(position + 1, end - position - 1);
      });
}
