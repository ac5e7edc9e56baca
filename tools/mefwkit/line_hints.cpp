#include "mefwkit/line_hints.h"

#include <algorithm>
#include <vector>

#include "settings/text_case.h"

namespace {

const InputKey allKeys[] = {InputKey::firmwareFile, InputKey::supportedPlatforms,
                            InputKey::upfrontMessage, InputKey::prereqBios};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::size_t skipBlanks(const std::string& text, std::size_t from) {
  while (from < text.size() && isBlank(text[from])) {
    ++from;
  }
  return from;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The word that ends right before position `end`, blanks before `end` skipped.
std::string wordBefore(const std::string& line, std::size_t end) {
  while (end > 0 && isBlank(line[end - 1])) {
    --end;
  }
  std::size_t begin = end;
  while (begin > 0 && isWordByte(line[begin - 1])) {
    --begin;
  }
  return line.substr(begin, end - begin);
}

// Misspellings of the long key words: a few bytes off; the short one allows fewer.
bool isNearKey(const std::string& word, const std::string& key) {
  std::size_t allowed = key.size() >= 14 ? 3 : 2;
  return editDistance(toLower(word), toLower(key)) <= allowed;
}

std::optional<IgnoredLine> nearKeyHint(const std::string& word, bool hasEquals) {
  for (InputKey key : allKeys) {
    std::string name = inputKeyName(key);
    if (word == name && !hasEquals) {
      return IgnoredLine{key, quoted(name) + " has no \"=\" after it, so this line is ignored"};
    }
    if (word != name && toLower(word) == toLower(name)) {
      return IgnoredLine{key, quoted(word) + " is not the key " + quoted(name) +
                                  " (letter case counts), so this line is ignored"};
    }
    if (word != name && isNearKey(word, name)) {
      return IgnoredLine{key, quoted(word) + " looks like a misspelt " + quoted(name) +
                                  ", so this line is ignored"};
    }
  }
  return std::nullopt;
}

// A byte-order mark is how Notepad starts a UTF-8 file; it is no text before a key.
std::string withoutByteOrderMark(const std::string& text) {
  return text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
}

// Where another key's name, followed by blanks and "=", stands in the text; npos when none.
std::size_t findKeyWithEquals(const std::string& text, InputKey key) {
  std::string name = inputKeyName(key);
  for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    std::size_t next = skipBlanks(text, at + name.size());
    if (next < text.size() && text[next] == '=') return at;
  }
  return std::string::npos;
}

std::optional<std::string> textBeforeKeyHint(const std::string& line, const InputKeyMatch& match) {
  std::string before = withoutByteOrderMark(line.substr(0, match.begin));
  std::size_t start = skipBlanks(before, 0);
  if (start >= before.size()) return std::nullopt;
  const char* key = inputKeyName(match.key);
  for (InputKey other : allKeys) {
    if (other != match.key && findKeyWithEquals(before, other) != std::string::npos) {
      return "this line holds " + std::string(inputKeyName(other)) + " and " + key +
             ": it is read as " + key + " only, and the " + inputKeyName(other) +
             " before it is ignored";
    }
  }
  return quoted(before.substr(start)) + " stands before " + key +
         ", yet the key still counts: the installer reads a key anywhere in a line, behind any "
         "comment mark";
}

// "upfrontMessage = see supportedPlatforms = list" and the like: a key written into a value.
std::optional<std::string> keyInValueHint(const std::string& line, const InputKeyMatch& match) {
  if (match.key != InputKey::upfrontMessage && match.key != InputKey::supportedPlatforms) {
    return std::nullopt;
  }
  std::string rest = line.substr(match.valueBegin);
  for (InputKey other : allKeys) {
    if (findKeyWithEquals(rest, other) != std::string::npos) {
      return "the " + std::string(inputKeyName(match.key)) + " value holds the key " +
             inputKeyName(other) + ", which is not read as a key here";
    }
  }
  return std::nullopt;
}

std::optional<std::string> cutValueHint(const std::string& line, const InputKeyMatch& match) {
  if (match.key != InputKey::prereqBios && match.key != InputKey::firmwareFile) {
    return std::nullopt;
  }
  std::size_t rest = skipBlanks(line, match.valueEnd);
  if (rest >= line.size() || startsWithCommentMark(line.substr(rest))) return std::nullopt;
  std::string value = line.substr(match.valueBegin, match.valueEnd - match.valueBegin);
  return "the " + std::string(inputKeyName(match.key)) + " value ends at " +
         std::string(rest > match.valueEnd ? "a blank" : quoted(line.substr(match.valueEnd, 1))) +
         ": only " + quoted(value) + " counts and " + quoted(line.substr(rest)) + " is ignored";
}

}  // namespace

bool startsWithCommentMark(const std::string& text) {
  std::size_t start = skipBlanks(text, 0);
  std::string rest = text.substr(start);
  if (rest.compare(0, 1, "#") == 0 || rest.compare(0, 1, ";") == 0) return true;
  if (rest.compare(0, 2, "//") == 0) return true;
  return toLower(rest.substr(0, 3)) == "rem" && (rest.size() == 3 || !isWordByte(rest[3]));
}

std::vector<std::string> keyLineHints(const std::string& line, const InputKeyMatch& match) {
  std::vector<std::string> hints;
  for (const std::optional<std::string>& hint :
       {textBeforeKeyHint(line, match), keyInValueHint(line, match), cutValueHint(line, match)}) {
    if (hint) hints.push_back(*hint);
  }
  return hints;
}

std::optional<IgnoredLine> ignoredLineHint(const std::string& line) {
  if (startsWithCommentMark(line)) return std::nullopt;
  std::size_t equals = line.find('=');
  if (equals != std::string::npos) return nearKeyHint(wordBefore(line, equals), true);
  std::size_t start = skipBlanks(line, 0);
  std::size_t end = start;
  while (end < line.size() && isWordByte(line[end])) {
    ++end;
  }
  // Without an equals sign only "key:" or "key value" at the start of a line looks like a key.
  std::size_t next = skipBlanks(line, end);
  if (end == start || next >= line.size() || (next == end && line[next] != ':')) {
    return std::nullopt;
  }
  return nearKeyHint(line.substr(start, end - start), false);
}

std::size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> previous(b.size() + 1);
  std::vector<std::size_t> current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) {
    previous[j] = j;
  }
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
    }
    std::swap(previous, current);
  }
  return previous[b.size()];
}
