#include "system/text_scan.h"

std::size_t lastOccurrence(std::string_view text, std::string_view word, std::size_t first,
                           std::size_t end) {
  const std::string_view searched = text.substr(0, end);
  for (std::size_t next = searched.find(word, first + 1); next != std::string_view::npos;
       next = searched.find(word, next + 1)) {
    first = next;
  }
  return first;
}

std::size_t lineStartBefore(std::string_view text, std::size_t at) {
  // Most texts are one line, which two quick searches show.
  const std::string_view before = text.substr(0, at);
  if (before.find('\n') == std::string_view::npos && before.find('\r') == std::string_view::npos) {
    return 0;
  }
  while (at > 0 && !isLineBreak(text[at - 1])) {
    --at;
  }
  return at;
}

std::optional<TextMatch> lastFitOnFirstLine(std::string_view text, std::string_view anchor,
                                            FitAt fit) {
  for (std::size_t first = text.find(anchor); first != std::string_view::npos;) {
    const std::size_t lineEnd = lineEndFrom(text, first);
    // The anchor holds no line break, so every anchor that starts on the line ends on it.
    for (std::size_t at = lastOccurrence(text, anchor, first, lineEnd);;
         at = text.rfind(anchor, at - 1)) {
      if (std::optional<TextMatch> found = fit(text, at + anchor.size(), lineEnd)) {
        found->whole.begin = lineStartBefore(text, first);
        return found;
      }
      if (at == first) break;
    }
    first = text.find(anchor, lineEnd);
  }
  return std::nullopt;
}

std::optional<TextMatch> firstFit(std::string_view text, std::string_view anchor, FitAt fit,
                                  bool blanksBefore) {
  for (std::size_t at = text.find(anchor); at != std::string_view::npos;
       at = text.find(anchor, at + 1)) {
    if (std::optional<TextMatch> found = fit(text, at + anchor.size(), text.size())) {
      while (blanksBefore && at > 0 && isBlankOrTab(text[at - 1])) {
        --at;
      }
      found->whole.begin = at;
      return found;
    }
  }
  return std::nullopt;
}

std::optional<TextMatch> matchLineWith(std::string_view text, std::string_view word) {
  const std::size_t at = text.find(word);
  if (at == std::string_view::npos) return std::nullopt;
  return TextMatch{{lineStartBefore(text, at), lineEndFrom(text, at)}, {}, {}};
}

namespace {

// " *([0-9\.]*).*" after the phrase: always fits.
std::optional<TextMatch> phraseValueFits(std::string_view text, std::size_t afterPhrase,
                                         std::size_t lineEnd) {
  const std::size_t value = skipWhile(text, afterPhrase, [](char c) { return c == ' '; });
  return TextMatch{{0, lineEnd}, {value, skipWhile(text, value, isDigitOrDot)}, {}};
}

}  // namespace

std::optional<TextMatch> matchPhraseValue(std::string_view text, std::string_view phrase) {
  return lastFitOnFirstLine(text, phrase, phraseValueFits);
}
