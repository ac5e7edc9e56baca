// Small pieces the scanners of tool output, input.txt and messages are built from. Each
// scanner reads one fixed expression of the program and reports what std::regex_search with
// ECMAScript syntax would: the leftmost match, chosen among those starting there as a
// backtracking matcher chooses it. They run in time linear in the text, with a fixed stack.
// As in that syntax, a '.' matches neither a line feed nor a carriage return.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct TextSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Where an expression was found: the whole match and its capture groups. Every group of the
// program's expressions takes part whenever its expression is found.
struct TextMatch {
  TextSpan whole;
  TextSpan group1;
  TextSpan group2;
};

inline std::string spanText(std::string_view text, TextSpan span) {
  return std::string(text.substr(span.begin, span.end - span.begin));
}

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isLineBreak(char c) { return c == '\n' || c == '\r'; }
inline bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }
inline bool isDigitOrDot(char c) { return isDigit(c) || c == '.'; }

// The end of the run of characters from `at` that pass `test`. These few run for every byte
// the scanners read, so they are inline.
inline std::size_t skipWhile(std::string_view text, std::size_t at, bool (*test)(char)) {
  while (at < text.size() && test(text[at])) {
    ++at;
  }
  return at;
}

inline bool startsAt(std::string_view text, std::size_t at, std::string_view word) {
  return at <= text.size() && text.substr(at, word.size()) == word;
}

// The start of the line that holds `at`, and the position of the line break that ends it.
std::size_t lineStartBefore(std::string_view text, std::size_t at);

inline std::size_t lineEndFrom(std::string_view text, std::size_t at) {
  while (at < text.size() && !isLineBreak(text[at])) {
    ++at;
  }
  return at;
}

// The last occurrence of `word` that starts at or after `first` (an occurrence) and ends by
// `end`. Searched forward: that is quick, and the last one usually fits.
std::size_t lastOccurrence(std::string_view text, std::string_view word, std::size_t first,
                           std::size_t end);

// Tells whether the rest of an expression fits right after a place where its anchor word
// stands, and where its groups and its end then lie (`whole.begin` is left to the caller).
// `lineEnd` is the end of the anchor's line where the caller knows it, else the text's end.
using FitAt = std::optional<TextMatch> (*)(std::string_view text, std::size_t afterAnchor,
                                           std::size_t lineEnd);

// For ".*<anchor><rest>" with a rest that stays on its line: the greedy ".*" makes the match
// begin at the start of the first line that has a fitting place, and picks the last such
// place on that line.
std::optional<TextMatch> lastFitOnFirstLine(std::string_view text, std::string_view anchor,
                                            FitAt fit);

// For "<anchor><rest>", or with `blanksBefore` "[ \t]*<anchor><rest>": the first place that
// fits; the match begins at the anchor, or where the run of blanks and tabs before it begins.
std::optional<TextMatch> firstFit(std::string_view text, std::string_view anchor, FitAt fit,
                                  bool blanksBefore);

// ".*<word>.*", such as ".*SOL.*" or ".*COMPLETE.*": the whole of the first line that holds
// the word.
std::optional<TextMatch> matchLineWith(std::string_view text, std::string_view word);

// ".*<phrase> *([0-9\.]*).*", such as ".*MEBx Version *([0-9\.]*).*": the digits and dots
// after the blanks that follow the last occurrence of the phrase on the first line that has
// one; the match runs to the line's end.
std::optional<TextMatch> matchPhraseValue(std::string_view text, std::string_view phrase);
