#include "system/pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// std::regex recurses per input byte, so the comparison inputs must stay small where the
// stack is small (1 MB on Windows); native builds pass a larger limit.
#ifndef PATTERN_TEST_REGEX_INPUT_LIMIT
#define PATTERN_TEST_REGEX_INPUT_LIMIT 300
#endif

// Size of the inputs that std::regex cannot handle at all.
#ifndef PATTERN_TEST_LARGE_INPUT_BYTES
#define PATTERN_TEST_LARGE_INPUT_BYTES (8u << 20)
#endif

namespace {

constexpr std::size_t regexInputLimit = PATTERN_TEST_REGEX_INPUT_LIMIT;
constexpr std::size_t largeInputBytes = PATTERN_TEST_LARGE_INPUT_BYTES;

// Every expression the program searches tool output with.
const char* const programExpressions[] = {
    R"(.*(?:ERROR|CODE)[ ]*([\d]+)([\D]).*)",
    R"([ \t]*meFirmwareFile[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*)",
    R"([ \t]*supportedPlatforms[ \t]*=[ \t]*([a-zA-Z0-9_\-\.\, \t]*))",
    R"([ \t]*upfrontMessage[ \t]*=[ \t]*(.*))",
    R"([ \t]*prereqBios[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*)",
    R"([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\..*)",
    R"([\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*)",
    R"(.*Firmware Update Utility Version: *([0-9\.]*).*)",
    R"([ \t]*FW Version[\:]*[ \t]*([0-9\.]+)[ \t]*)",
    R"(Error ([0-9]*): ([.\s\S]*))",
    R"(.*SOL.*)",
    R"(.*DAL.*)",
    R"(.*DriverVer.*=.*,([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*).*)",
    R"(.*MEBx Version *([0-9\.]*).*)",
    R"(.*LMS Version *([0-9\.]*).*)",
    R"(.*MEI Driver Version *([0-9\.]*).*)",
    R"(.*MEInfo Version: *([0-9\.]*).*)",
    R"(.*PMC Version *([0-9\.]*).*)",
    R"(.*verification: *\[ *([0-9]*) *% *\])",
    R"(.*FW Update *: *\[ *([0-9]*)% \(.\).*\])",
    R"(.*COMPLETE.*)",
    R"(.*completed.*)",
};

const char* const biosExpression = programExpressions[6];
const char* const toolErrorExpression = programExpressions[9];
const char* const errorCodeExpression = programExpressions[0];
const char* const mebxExpression = programExpressions[13];

std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7f) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    }
  }
  return out;
}

std::string describeGroup(std::size_t index, bool matched, std::size_t begin, std::size_t end) {
  const std::string span =
      matched ? std::to_string(begin) + "-" + std::to_string(end) : std::string("unmatched");
  return " " + std::to_string(index) + ":" + span;
}

// One line per outcome, so that a mismatch shows both sides at a glance.
std::string describe(const PatternMatch& match, bool found) {
  if (!found) {
    return "none";
  }
  std::string out = "found";
  for (std::size_t i = 0; i < match.groups.size(); ++i) {
    const PatternMatch::Group& group = match.groups[i];
    out += describeGroup(i, group.matched, group.begin, group.end);
  }
  return out;
}

std::string describe(const std::smatch& match, bool found, const std::string& text) {
  if (!found) {
    return "none";
  }
  std::string out = "found";
  for (std::size_t i = 0; i < match.size(); ++i) {
    const auto begin = static_cast<std::size_t>(match[i].first - text.begin());
    const auto end = static_cast<std::size_t>(match[i].second - text.begin());
    out += describeGroup(i, match[i].matched, begin, end);
  }
  return out;
}

std::string engineOutcome(const Pattern& pattern, const std::string& text) {
  PatternMatch match;
  const bool found = searchPattern(pattern, text, match);
  return describe(match, found);
}

std::string regexOutcome(const std::regex& regex, const std::string& text) {
  std::smatch match;
  const bool found = std::regex_search(text, match, regex);
  return describe(match, found, text);
}

std::string context(const std::string& expression, const std::string& text) {
  return "expression \"" + escaped(expression) + "\" on \"" + escaped(text) + "\"";
}

void expectSameAsRegex(const std::string& expression, const std::string& text) {
  EXPECT_EQ(engineOutcome(compilePattern(expression), text),
            regexOutcome(std::regex(expression), text))
      << context(expression, text);
}

// Checks a hand-computed result, and that std::regex agrees with it.
void expectOutcome(const std::string& expression, const std::string& text,
                   const std::string& expected) {
  EXPECT_EQ(engineOutcome(compilePattern(expression), text), expected) << context(expression, text);
  EXPECT_EQ(regexOutcome(std::regex(expression), text), expected) << context(expression, text);
}

std::string withRealTabs(std::string expression) {
  for (std::size_t at = expression.find("\\t"); at != std::string::npos;
       at = expression.find("\\t", at)) {
    expression.replace(at, 2, "\t");
  }
  return expression;
}

std::string repeatToSize(const std::string& unit, std::size_t size) {
  std::string text;
  text.reserve(size + unit.size());
  while (text.size() < size) {
    text += unit;
  }
  return text;
}

// ---------------------------------------------------------------------------------------
// Byte classes

TEST(PatternBytes, EveryByteIsClassifiedLikeStdRegex) {
  const std::vector<std::string> expressions = {
      ".",     "\\s",    "\\S",    "\\d",     "\\D",       "\\w",     "\\W",
      "[\\s]", "[\\S]",  "[\\d]",  "[\\D]",   "[\\w]",     "[\\W]",   "[.\\s\\S]",
      "[^a]",  "[^\\d]", "[^\\D]", "[ \\t]",  "[ \t]",     "\\t",     "\\n",
      "\\r",   "\\v",    "\\f",    "\\-",     "\\.",       "\\,",     "\\:",
      "\\[",   "\\]",    "\\(",    "\\)",     "\\\\",      "[\\:]",   "[a-zA-Z0-9_\\-\\.]",
      "[--/]", "[a-]",   "[-a]",   "[a\\-z]", "[\\.-\\:]", "[a-c-e]", "[^\\s\\S]",
      "\xe9",  "[\xe9]", "[^\xe9]"};
  for (const std::string& expression : expressions) {
    const Pattern pattern = compilePattern(expression);
    const std::regex regex(expression);
    for (int c = 0; c < 256; ++c) {
      const std::string text(1, static_cast<char>(c));
      EXPECT_EQ(engineOutcome(pattern, text), regexOutcome(regex, text))
          << context(expression, text);
    }
  }
}

TEST(PatternBytes, DotStopsAtBothLineBreaksButNotAtNul) {
  expectOutcome("a.*b", std::string("a\0b", 3), "found 0:0-3");
  expectOutcome("a.*b", "a\rb", "none");
  expectOutcome("a.*b", "a\nb", "none");
  expectOutcome("a.*", "xa12\r34", "found 0:1-4");
}

// ---------------------------------------------------------------------------------------
// Constructs

TEST(PatternConstructs, AlternationPrefersTheLeftBranch) {
  expectOutcome("a|ab", "ab", "found 0:0-1");
  expectOutcome("ab|a", "ab", "found 0:0-2");
  expectOutcome("(a|ab)(c|bcd)(d*)", "abcd", "found 0:0-4 1:0-1 2:1-4 3:4-4");
  expectOutcome("(?:x|xy)z", "xyz", "found 0:0-3");
}

TEST(PatternConstructs, LeftmostStartBeatsPriority) {
  expectOutcome("b+|a", "abbb", "found 0:0-1");
  expectOutcome("(b)|(a)", "xab", "found 0:1-2 1:unmatched 2:1-2");
}

TEST(PatternConstructs, GreedyRepeatGivesBackWhatTheRestNeeds) {
  expectOutcome("(a*)ab", "aaab", "found 0:0-4 1:0-2");
  expectOutcome("(a+)(a+)", "aaaa", "found 0:0-4 1:0-3 2:3-4");
  expectOutcome("(a?)(a)", "a", "found 0:0-1 1:0-0 2:0-1");
  expectOutcome("x(.*)y", "xayby", "found 0:0-5 1:1-4");
}

TEST(PatternConstructs, EmptyCapturesAreMatched) {
  expectOutcome("(x*)y", "y", "found 0:0-1 1:0-0");
  expectOutcome("()", "abc", "found 0:0-0 1:0-0");
  expectOutcome("(a*)?", "b", "found 0:0-0 1:0-0");
  expectOutcome("a(|b)c", "ac", "found 0:0-2 1:1-1");
}

TEST(PatternConstructs, GroupsOutsideTheMatchAreUnmatched) {
  expectOutcome("(a)|b", "b", "found 0:0-1 1:unmatched");
  expectOutcome("x(y)?", "xz", "found 0:0-1 1:unmatched");
  expectOutcome("(?:(a)|(b))+", "ab", "found 0:0-2 1:0-1 2:1-2");
}

TEST(PatternConstructs, LoopedGroupKeepsItsLastCapture) {
  // libstdc++ does not clear captures at each iteration.
  expectOutcome("(?:(a)|b)*", "ab", "found 0:0-2 1:0-1");
  expectOutcome("(?:(a)|(b))*", "aba", "found 0:0-3 1:2-3 2:1-2");
  expectOutcome("((a)|b)+", "ab", "found 0:0-2 1:1-2 2:0-1");
}

TEST(PatternConstructs, GroupsAreNumberedByOpeningParenthesis) {
  expectOutcome("((a)(?:b)(c))", "abc", "found 0:0-3 1:0-3 2:0-1 3:2-3");
}

TEST(PatternConstructs, EmptyExpressionMatchesAtTheStart) {
  expectOutcome("", "abc", "found 0:0-0");
  expectOutcome("a|", "bca", "found 0:0-0");
}

TEST(PatternConstructs, NoMatchEmptiesThePreviousResult) {
  const Pattern pattern = compilePattern("(a)");
  PatternMatch match;
  ASSERT_TRUE(searchPattern(pattern, "xa", match));
  EXPECT_FALSE(searchPattern(pattern, "xyz", match));
  EXPECT_TRUE(match.groups.empty());
}

TEST(PatternConstructs, GroupTextCopiesTheSpanOrGivesEmpty) {
  const Pattern pattern = compilePattern("(\\d+)(x)?(y*)");
  PatternMatch match;
  const std::string text = "ab 123 z";
  ASSERT_TRUE(searchPattern(pattern, text, match));
  EXPECT_EQ(groupText(text, match, 0), "123");
  EXPECT_EQ(groupText(text, match, 1), "123");
  EXPECT_EQ(groupText(text, match, 2), "");
  EXPECT_EQ(groupText(text, match, 3), "");
  EXPECT_EQ(groupText(text, match, 4), "");
}

TEST(PatternSyntax, UnsupportedSyntaxIsRejected) {
  const std::vector<std::string> rejected = {
      "^a",          "a$",          "a{2}", "a{",    "a}",    "]",       "a*?",
      "a+?",         "a??",         "a**",  "a+*",   "(?=a)", "(?!a)",   "(?<=a)",
      "(a)\\1",      "\\0",         "\\b",  "a\\B",  "\\x41", "\\u0041", "\\cA",
      "\\q",         "\\ ",         "[]",   "[^]",   "[z-a]", "[\\d-z]", "[a-\\d]",
      "[[:digit:]]", "[\xc0-\xff]", "(a",   "a)",    "(?:a",  "[a",      "[a-",
      "a\\",         "*a",          "|+",   "(a*)*", "(a|)+", "(?:)*",   "(a?b?)*"};
  for (const std::string& expression : rejected) {
    try {
      compilePattern(expression);
      ADD_FAILURE() << "accepted \"" << escaped(expression) << "\"";
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(expression), std::string::npos) << error.what();
    }
  }
}

TEST(PatternSyntax, TabMayBeEscapedOrLiteral) {
  const Pattern escapedTab = compilePattern("a[ \\t]b\\tc");
  const Pattern literalTab = compilePattern("a[ \t]b\tc");
  PatternMatch match;
  EXPECT_TRUE(searchPattern(escapedTab, "a\tb\tc", match));
  EXPECT_TRUE(searchPattern(literalTab, "a\tb\tc", match));
  EXPECT_TRUE(searchPattern(literalTab, "a b\tc", match));
  EXPECT_FALSE(searchPattern(literalTab, "a b c", match));
}

// ---------------------------------------------------------------------------------------
// The program's expressions on hand-picked text

TEST(PatternProgram, ErrorCodeTakesTheLastCodeOnTheFirstLineThatHasOne) {
  expectOutcome(errorCodeExpression, "x ERROR 12 CODE 3;\nCODE 4;", "found 0:0-18 1:16-17 2:17-18");
  expectOutcome(errorCodeExpression, "no\nERROR 7\nCODE 8x", "found 0:3-18 1:9-10 2:10-11");
  expectOutcome(errorCodeExpression, "ERROR 7", "none");
  expectOutcome(errorCodeExpression, "ERROR x\r\nCODE12\r", "found 0:9-16 1:13-15 2:15-16");
}

TEST(PatternProgram, BiosVersionIsTheLastCandidateInTheText) {
  expectOutcome(biosExpression, "SMBIOSBIOSVersion\r\nA12 x\r\nB34 1.0 z\r\n\r\n",
                "found 0:0-39 1:26-35");
  expectOutcome(biosExpression, "ab12 cd", "found 0:0-7 1:1-7");
  expectOutcome(biosExpression, "A1 B2", "none");
}

TEST(PatternProgram, ToolErrorTakesEverythingAfterIt) {
  expectOutcome(toolErrorExpression, "x\nError 8193: bad\r\nnext\n", "found 0:2-24 1:8-12 2:14-24");
  expectOutcome(toolErrorExpression, "Error : y", "found 0:0-9 1:6-6 2:8-9");
}

TEST(PatternProgram, TrickyInputsMatchStdRegex) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {programExpressions[1], "  meFirmwareFile = fw_1-2.bin  \r\n"},
      {programExpressions[1], "meFirmwareFile=\tmeFirmwareFile=x"},
      {programExpressions[2], "supportedPlatforms = a, b\t,c\r"},
      {programExpressions[3], "upfrontMessage=hello\r\nupfrontMessage=bye"},
      {programExpressions[4], "prereqBios=\r\n"},
      {programExpressions[5], "1.2.3.4.5\n"},
      {programExpressions[5], "...."},
      {programExpressions[5], "1.2.3\n4.5."},
      {programExpressions[7], "Intel Firmware Update Utility Version: 16.1.25.2124\r\n"},
      {programExpressions[8], "FW Version:: 1.2.3 \nFW Version 4"},
      {programExpressions[8], "FW Version"},
      {programExpressions[12], "DriverVer = 10/29/2019,2.1.0.1\n;DriverVer=1,,..."},
      {programExpressions[12], "DriverVer=a,1.2.3.4,5.6.7.8"},
      {programExpressions[13], "MEBx Version: 1.2\nMEBx Version   16.0.15.1810"},
      {programExpressions[16], "MEInfo Version:12.0"},
      {programExpressions[18], "FW update verification: [ 57 % ]\r"},
      {programExpressions[18], "verification:[%]verification: [1%]"},
      {programExpressions[19], "FW Update:  [ 42% (/)] x]\r"},
      {programExpressions[19], "FW Update : [42% (\r)]"},
      {programExpressions[20], std::string("\0COMPLETE\0", 10)},
      {programExpressions[21], "completed\r"},
  };
  for (const auto& [expression, text] : cases) {
    expectSameAsRegex(expression, text);
  }
}

// ---------------------------------------------------------------------------------------
// Differential tests against std::regex

class TextGenerator {
 public:
  TextGenerator(std::uint32_t seed, std::vector<std::string> words)
      : random_(seed), words_(std::move(words)) {}

  // Mostly short texts, some up to `limit` bytes.
  std::string next(std::size_t limit) {
    const std::size_t length =
        pick(4) == 0 ? pick(limit + 1) : pick(std::min<std::size_t>(limit, 48) + 1);
    std::string text;
    while (text.size() < length) {
      if (!words_.empty() && pick(3) == 0) {
        text += words_[pick(words_.size())];
      } else {
        text += alphabet[pick(sizeof alphabet - 1)];
      }
    }
    text.resize(length);
    return text;
  }

  std::size_t pick(std::size_t bound) {
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
  }

 private:
  static constexpr char alphabet[] = "0123456789012..  \t\t\r\n\n\0\xe9%[]():,=aZx";
  std::mt19937 random_;
  std::vector<std::string> words_;
};

// Fragments of the texts each expression looks for, so that generated texts often match
// or nearly match.
std::vector<std::string> wordsFor(const std::string& expression) {
  static const std::vector<std::string> common = {"Version", " 1.2", ":", " = ", "A12 "};
  std::vector<std::string> words = common;
  const std::vector<std::string> fragments = {"ERROR",
                                              "CODE",
                                              "ERROR 12",
                                              "meFirmwareFile",
                                              "fw_1.2-3.bin",
                                              "supportedPlatforms",
                                              "A, B\t",
                                              "upfrontMessage",
                                              "prereqBios",
                                              "1.2.3.4.",
                                              "z99 x.y",
                                              "Firmware Update Utility Version: ",
                                              "FW Version",
                                              "::",
                                              "Error ",
                                              "8193: ",
                                              "SOL",
                                              "DAL",
                                              "DriverVer",
                                              "10/29/2019,2.1.0.1",
                                              "MEBx Version ",
                                              "LMS Version ",
                                              "MEI Driver Version ",
                                              "MEInfo Version: ",
                                              "PMC Version ",
                                              "verification: [ ",
                                              " % ]",
                                              "FW Update : [ ",
                                              "% (",
                                              "/)",
                                              "]",
                                              "COMPLETE",
                                              "completed"};
  for (const std::string& fragment : fragments) {
    const std::string word = fragment.substr(0, fragment.find_first_of(" :,/%"));
    if (!word.empty() && expression.find(word) != std::string::npos) {
      words.push_back(fragment);
    }
  }
  return words;
}

TEST(PatternDifferential, ProgramExpressionsOnGeneratedText) {
  std::vector<std::string> expressions(std::begin(programExpressions),
                                       std::end(programExpressions));
  for (const char* expression : programExpressions) {
    if (std::string(expression).find("\\t") != std::string::npos) {
      expressions.push_back(withRealTabs(expression));
    }
  }
  std::uint32_t seed = 1;
  for (const std::string& expression : expressions) {
    const Pattern pattern = compilePattern(expression);
    const std::regex regex(expression);
    TextGenerator generator(seed++, wordsFor(expression));
    for (int i = 0; i < 400; ++i) {
      const std::string text = generator.next(regexInputLimit);
      ASSERT_EQ(engineOutcome(pattern, text), regexOutcome(regex, text))
          << context(expression, text);
    }
  }
}

// Random expressions over a few bytes exercise combinations the program does not use yet.
class ExpressionGenerator {
 public:
  explicit ExpressionGenerator(std::uint32_t seed) : random_(seed) {}

  std::string next(int depth) {
    std::string expression = sequence(depth);
    while (pick(4) == 0) {
      expression += "|" + sequence(depth);
    }
    return expression;
  }

  std::size_t pick(std::size_t bound) {
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
  }

 private:
  std::string sequence(int depth) {
    std::string expression;
    for (std::size_t terms = pick(4); terms > 0; --terms) {
      expression += atom(depth);
      if (pick(3) == 0) {
        expression += "*+?"[pick(3)];
      }
    }
    return expression;
  }

  std::string atom(int depth) {
    static const char* const atoms[] = {"a",   "b",   "a",    "b",    " ",        ".",   "\\d",
                                        "\\s", "\\S", "[ab]", "[^a]", "[\\d\\n]", "\\n", "[a-c]"};
    if (depth > 0 && pick(4) == 0) {
      return (pick(2) == 0 ? "(" : "(?:") + next(depth - 1) + ")";
    }
    return atoms[pick(sizeof atoms / sizeof atoms[0])];
  }

  std::mt19937 random_;
};

TEST(PatternDifferential, RandomExpressionsOnRandomText) {
  ExpressionGenerator expressions(7);
  TextGenerator texts(8, {"ab", "ba", "aab", "a1 ", "b\n"});
  int compared = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string expression = expressions.next(2);
    Pattern pattern;
    try {
      pattern = compilePattern(expression);
    } catch (const std::invalid_argument&) {
      continue;  // a loop over something that can match empty
    }
    const std::regex regex(expression);
    for (int j = 0; j < 20; ++j) {
      const std::string text = texts.next(12);
      ASSERT_EQ(engineOutcome(pattern, text), regexOutcome(regex, text))
          << context(expression, text);
    }
    ++compared;
  }
  EXPECT_GT(compared, 2000);
}

// ---------------------------------------------------------------------------------------
// Inputs far beyond what std::regex survives

std::string fillerLines(std::size_t size) {
  return repeatToSize("Checking firmware image 1.2.3 ... ok, see x.log for details\r\n", size);
}

TEST(PatternLarge, BiosVersionOverHugeOutput) {
  const Pattern pattern = compilePattern(biosExpression);
  PatternMatch match;
  const std::string none = fillerLines(largeInputBytes);
  EXPECT_FALSE(searchPattern(pattern, none, match));

  const std::string text = "A01 first\n" + none + "Z99 last.1\r\n" + none;
  ASSERT_TRUE(searchPattern(pattern, text, match));
  EXPECT_EQ(match.groups[0].begin, 0u);
  EXPECT_EQ(match.groups[0].end, text.size());
  EXPECT_EQ(match.groups[1].begin, 10 + none.size());
  EXPECT_EQ(groupText(text, match, 1), "Z99 last.1");
}

TEST(PatternLarge, ToolErrorOverHugeOutput) {
  const Pattern pattern = compilePattern(toolErrorExpression);
  PatternMatch match;
  const std::string filler = fillerLines(largeInputBytes);
  EXPECT_FALSE(searchPattern(pattern, filler + "Error x: y", match));

  const std::string early = "Error 8193: bad\n" + filler;
  ASSERT_TRUE(searchPattern(pattern, early, match));
  EXPECT_EQ(groupText(early, match, 1), "8193");
  EXPECT_EQ(match.groups[2].begin, 12u);
  EXPECT_EQ(match.groups[2].end, early.size());

  const std::string late = filler + "Error 5: end";
  ASSERT_TRUE(searchPattern(pattern, late, match));
  EXPECT_EQ(match.groups[0].begin, filler.size());
  EXPECT_EQ(groupText(late, match, 2), "end");
}

TEST(PatternLarge, ErrorCodeOverHugeOutput) {
  const Pattern pattern = compilePattern(errorCodeExpression);
  PatternMatch match;
  // Every line holds the keyword but no number after it, so each must be examined.
  const std::string misses = repeatToSize("ERROR: see CODE x in log\n", largeInputBytes);
  EXPECT_FALSE(searchPattern(pattern, misses, match));

  const std::string text = misses + "line CODE 42;\n" + misses;
  ASSERT_TRUE(searchPattern(pattern, text, match));
  EXPECT_EQ(match.groups[0].begin, misses.size());
  EXPECT_EQ(groupText(text, match, 1), "42");
  EXPECT_EQ(groupText(text, match, 2), ";");
}

TEST(PatternLarge, OneHugeLineWithoutLineBreak) {
  const Pattern pattern = compilePattern(mebxExpression);
  PatternMatch match;
  const std::string line =
      repeatToSize("MEBx Version 1.2 and ", largeInputBytes) + "MEBx Version 3";
  ASSERT_TRUE(searchPattern(pattern, line, match));
  EXPECT_EQ(match.groups[0].begin, 0u);
  EXPECT_EQ(match.groups[0].end, line.size());
  EXPECT_EQ(match.groups[1].begin, line.size() - 1);
}

TEST(PatternLarge, BinaryNoiseNeitherCrashesNorStalls) {
  std::mt19937 random(3);
  std::string noise(largeInputBytes / 8, '\0');
  for (char& c : noise) {
    c = static_cast<char>(random());
  }
  for (const char* expression : programExpressions) {
    const Pattern pattern = compilePattern(expression);
    PatternMatch match;
    if (searchPattern(pattern, noise, match)) {
      for (const PatternMatch::Group& group : match.groups) {
        EXPECT_TRUE(!group.matched || (group.begin <= group.end && group.end <= noise.size()))
            << expression;
      }
    }
  }
}

}  // namespace
