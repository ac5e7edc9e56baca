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

#include "test_support.h"

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

// Every expression the program searches tool output with, and pieces of the text it looks
// for, which generated texts mix in so that they often match or nearly match.
struct ProgramExpression {
  const char* expression;
  std::vector<std::string> words;
};

const ProgramExpression programExpressions[] = {
    {R"(.*(?:ERROR|CODE)[ ]*([\d]+)([\D]).*)", {"ERROR", "CODE", "ERROR 12", "CODE  7"}},
    {R"([ \t]*meFirmwareFile[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*)",
     {"meFirmwareFile", " = ", "fw_1.2-3.bin", "\t"}},
    {R"([ \t]*supportedPlatforms[ \t]*=[ \t]*([a-zA-Z0-9_\-\.\, \t]*))",
     {"supportedPlatforms", "=", "A, B\t", "x-1.2"}},
    {R"([ \t]*upfrontMessage[ \t]*=[ \t]*(.*))", {"upfrontMessage", "=", " hello"}},
    {R"([ \t]*prereqBios[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*)", {"prereqBios", "=", "B12.x"}},
    {R"([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\..*)", {"1.2.3.4.", "11.", "1.2", "."}},
    {R"([\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*)", {"A12 ", "z99 x.y", "B3 "}},
    {R"(.*Firmware Update Utility Version: *([0-9\.]*).*)",
     {"Firmware Update Utility Version: ", "16.1.25", "Version:"}},
    {R"([ \t]*FW Version[\:]*[ \t]*([0-9\.]+)[ \t]*)", {"FW Version", "::", " 1.2", ":"}},
    {R"(Error ([0-9]*): ([.\s\S]*))", {"Error ", "Error 8193: ", ": ", "8703"}},
    {R"(.*SOL.*)", {"SOL", "SO"}},
    {R"(.*DAL.*)", {"DAL", "DA"}},
    {R"(.*DriverVer.*=.*,([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*).*)",
     {"DriverVer", " = ", "10/29/2019,", "2.1.0.1", ";DriverVer", ","}},
    {R"(.*MEBx Version *([0-9\.]*).*)", {"MEBx Version", " 16.0.15", "MEBx"}},
    {R"(.*LMS Version *([0-9\.]*).*)", {"LMS Version", " 2.1", "LMS"}},
    {R"(.*MEI Driver Version *([0-9\.]*).*)", {"MEI Driver Version", " 2.1", "Driver"}},
    {R"(.*MEInfo Version: *([0-9\.]*).*)", {"MEInfo Version:", " 12.0", "MEInfo"}},
    {R"(.*PMC Version *([0-9\.]*).*)", {"PMC Version", " 300.2", "PMC"}},
    {R"(.*verification: *\[ *([0-9]*) *% *\])",
     {"verification:", " [ ", "57", " % ]", "%", "]", "verification: [ 5 % ]"}},
    {R"(.*FW Update *: *\[ *([0-9]*)% \(.\).*\])",
     {"FW Update", " : [ ", "42% (", "/)", "]", "%", "FW Update:  [ 42% (-)]"}},
    {R"(.*COMPLETE.*)", {"COMPLETE", "COMP"}},
    {R"(.*completed.*)", {"completed", "complete"}},
};

const char* const errorCodeExpression = programExpressions[0].expression;
const char* const biosExpression = programExpressions[6].expression;
const char* const toolErrorExpression = programExpressions[9].expression;
const char* const mebxExpression = programExpressions[13].expression;

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

const PatternMethod methods[] = {PatternMethod::threads, PatternMethod::backtracking,
                                 PatternMethod::backwardScan, PatternMethod::automatic};

std::string methodName(PatternMethod method) {
  switch (method) {
    case PatternMethod::threads:
      return "threads";
    case PatternMethod::backtracking:
      return "backtracking";
    case PatternMethod::backwardScan:
      return "backward scan";
    case PatternMethod::automatic:
      break;
  }
  return "automatic";
}

std::string engineOutcome(const Pattern& pattern, const std::string& text, PatternMethod method) {
  PatternMatch match;
  const bool found = searchPattern(pattern, text, match, method);
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

// Both methods against std::regex; true if all agree.
bool sameAsRegex(const Pattern& pattern, const std::regex& regex, const std::string& text) {
  const std::string expected = regexOutcome(regex, text);
  bool same = true;
  for (const PatternMethod method : methods) {
    const std::string outcome = engineOutcome(pattern, text, method);
    EXPECT_EQ(outcome, expected) << methodName(method) << ", " << context(pattern.expression, text);
    same = same && outcome == expected;
  }
  return same;
}

void expectSameAsRegex(const std::string& expression, const std::string& text) {
  sameAsRegex(compilePattern(expression), std::regex(expression), text);
}

// Checks a hand-computed result, and that std::regex agrees with it.
void expectOutcome(const std::string& expression, const std::string& text,
                   const std::string& expected) {
  const Pattern pattern = compilePattern(expression);
  for (const PatternMethod method : methods) {
    EXPECT_EQ(engineOutcome(pattern, text, method), expected)
        << methodName(method) << ", " << context(expression, text);
  }
  EXPECT_EQ(regexOutcome(std::regex(expression), text), expected) << context(expression, text);
}

std::string withRealTabs(std::string expression) {
  for (std::size_t at = expression.find("\\t"); at != std::string::npos;
       at = expression.find("\\t", at)) {
    expression.replace(at, 2, "\t");
  }
  return expression;
}

// Whole copies of `unit`, at least `size` bytes.
std::string repeatToSize(const std::string& unit, std::size_t size) {
  const std::size_t target = (size + unit.size() - 1) / unit.size() * unit.size();
  std::string text = unit;
  text.reserve(target);
  while (text.size() < target) {
    text.append(text, 0, std::min(text.size(), target - text.size()));
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
      sameAsRegex(pattern, regex, std::string(1, static_cast<char>(c)));
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
      {programExpressions[1].expression, "  meFirmwareFile = fw_1-2.bin  \r\n"},
      {programExpressions[1].expression, "meFirmwareFile=\tmeFirmwareFile=x"},
      {programExpressions[2].expression, "supportedPlatforms = a, b\t,c\r"},
      {programExpressions[3].expression, "upfrontMessage=hello\r\nupfrontMessage=bye"},
      {programExpressions[4].expression, "prereqBios=\r\n"},
      {programExpressions[5].expression, "1.2.3.4.5\n"},
      {programExpressions[5].expression, "...."},
      {programExpressions[5].expression, "1.2.3\n4.5."},
      {programExpressions[7].expression, "Intel Firmware Update Utility Version: 16.1.25.2124\r\n"},
      {programExpressions[8].expression, "FW Version:: 1.2.3 \nFW Version 4"},
      {programExpressions[8].expression, "FW Version"},
      {programExpressions[12].expression, "DriverVer = 10/29/2019,2.1.0.1\n;DriverVer=1,,..."},
      {programExpressions[12].expression, "DriverVer=a,1.2.3.4,5.6.7.8"},
      {programExpressions[13].expression, "MEBx Version: 1.2\nMEBx Version   16.0.15.1810"},
      {programExpressions[16].expression, "MEInfo Version:12.0"},
      {programExpressions[18].expression, "FW update verification: [ 57 % ]\r"},
      {programExpressions[18].expression, "verification:[%]verification: [1%]"},
      {programExpressions[19].expression, "FW Update:  [ 42% (/)] x]\r"},
      {programExpressions[19].expression, "FW Update : [42% (\r)]"},
      {programExpressions[20].expression, std::string("\0COMPLETE\0", 10)},
      {programExpressions[21].expression, "completed\r"},
  };
  for (const auto& [expression, text] : cases) {
    expectSameAsRegex(expression, text);
  }
}

// ---------------------------------------------------------------------------------------
// Differential tests against std::regex

// Random text over bytes the expressions care about, mixed with whole words.
struct TextGenerator {
  std::mt19937 random;
  std::vector<std::string> words;
};

constexpr char textAlphabet[] = "0123456789012..  \t\t\r\n\n\0\xe9%[]():,=aZx";

std::size_t pick(std::mt19937& random, std::size_t bound) {
  return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
}

std::string textOfLength(TextGenerator& generator, std::size_t length) {
  std::string text;
  while (text.size() < length) {
    if (!generator.words.empty() && pick(generator.random, 3) == 0) {
      text += generator.words[pick(generator.random, generator.words.size())];
    } else {
      text += textAlphabet[pick(generator.random, sizeof textAlphabet - 1)];
    }
  }
  text.resize(length);
  return text;
}

// Mostly short texts, some up to `limit` bytes.
std::string nextText(TextGenerator& generator, std::size_t limit) {
  const std::size_t length = pick(generator.random, 4) == 0
                                 ? pick(generator.random, limit + 1)
                                 : pick(generator.random, std::min<std::size_t>(limit, 48) + 1);
  return textOfLength(generator, length);
}

TEST(PatternDifferential, ProgramExpressionsOnGeneratedText) {
  std::uint32_t seed = 1;
  for (const ProgramExpression& program : programExpressions) {
    std::vector<std::string> expressions = {program.expression};
    if (expressions[0].find("\\t") != std::string::npos) {
      expressions.push_back(withRealTabs(expressions[0]));
    }
    for (const std::string& expression : expressions) {
      const Pattern pattern = compilePattern(expression);
      const std::regex regex(expression);
      TextGenerator generator{std::mt19937(seed++), program.words};
      for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(sameAsRegex(pattern, regex, nextText(generator, regexInputLimit)));
      }
    }
  }
}

// Random expressions over a few bytes exercise combinations the program does not use yet.
std::string randomExpression(std::mt19937& random, int depth);

std::string randomAtom(std::mt19937& random, int depth) {
  static const char* const atoms[] = {"a",   "b",   "a",    "b",    " ",        ".",   "\\d",
                                      "\\s", "\\S", "[ab]", "[^a]", "[\\d\\n]", "\\n", "[a-c]"};
  if (depth > 0 && pick(random, 4) == 0) {
    return (pick(random, 2) == 0 ? "(" : "(?:") + randomExpression(random, depth - 1) + ")";
  }
  return atoms[pick(random, sizeof atoms / sizeof atoms[0])];
}

std::string randomSequence(std::mt19937& random, int depth) {
  std::string expression;
  for (std::size_t terms = pick(random, 4); terms > 0; --terms) {
    expression += randomAtom(random, depth);
    if (pick(random, 3) == 0) {
      expression += "*+?"[pick(random, 3)];
    }
  }
  return expression;
}

std::string randomExpression(std::mt19937& random, int depth) {
  std::string expression = randomSequence(random, depth);
  while (pick(random, 4) == 0) {
    expression += "|" + randomSequence(random, depth);
  }
  return expression;
}

// A third begin with a greedy loop, as most of the program's expressions do.
std::string randomTopExpression(std::mt19937& random) {
  static const char* const loops[] = {".*", "[\\s\\S]*", "\\S*", "[^a]*", "[ab]*"};
  if (pick(random, 3) != 0) {
    return randomExpression(random, 2);
  }
  const std::string loop = loops[pick(random, sizeof loops / sizeof loops[0])];
  const std::string rest = randomExpression(random, 2);
  return pick(random, 2) == 0 ? loop + rest : loop + "(?:" + rest + ")";
}

TEST(PatternDifferential, RandomExpressionsOnRandomText) {
  std::mt19937 expressions(7);
  TextGenerator texts{std::mt19937(8), {"ab", "ba", "aab", "a1 ", "b\n"}};
  int compared = 0;
  int scannedBackward = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string expression = randomTopExpression(expressions);
    Pattern pattern;
    try {
      pattern = compilePattern(expression);
    } catch (const std::invalid_argument& error) {
      // The generator writes nothing else that is refused.
      ASSERT_NE(std::string(error.what()).find("can match empty"), std::string::npos)
          << error.what();
      continue;
    }
    const std::regex regex(expression);
    for (int j = 0; j < 20; ++j) {
      ASSERT_TRUE(sameAsRegex(pattern, regex, nextText(texts, 12)));
    }
    ++compared;
    scannedBackward += pattern.backward.usable ? 1 : 0;
  }
  EXPECT_GT(compared, 2000);
  EXPECT_GT(scannedBackward, 100);
}

// Beyond std::regex's reach, the methods are checked against each other; each one was
// checked against std::regex on short texts above.
TEST(PatternDifferential, MethodsAgreeOnLongTexts) {
  std::uint32_t seed = 100;
  for (const ProgramExpression& program : programExpressions) {
    const Pattern pattern = compilePattern(program.expression);
    TextGenerator generator{std::mt19937(seed++), program.words};
    for (int i = 0; i < 12; ++i) {
      std::string text = textOfLength(generator, 4096 + pick(generator.random, 16384));
      if (i % 2 == 0) {
        // One long line, so that loops over '.' run far.
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::replace(text.begin(), text.end(), '\r', ' ');
      }
      const std::string expected = engineOutcome(pattern, text, PatternMethod::automatic);
      for (const PatternMethod method : methods) {
        ASSERT_EQ(engineOutcome(pattern, text, method), expected)
            << methodName(method) << ", " << context(program.expression, text);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------
// Inputs far beyond what std::regex survives

std::string fillerLines(std::size_t size) {
  return repeatToSize("Checking firmware image 1.2.3 ... ok, see x.log for details\r\n", size);
}

// The texts below are built in place, as copying 64 MB strings would cost more than the
// searches.

TEST(PatternLarge, BiosVersionOverHugeOutput) {
  const Pattern pattern = compilePattern(biosExpression);
  PatternMatch match;
  std::string text = fillerLines(largeInputBytes);
  EXPECT_FALSE(searchPattern(pattern, text, match));

  // Candidates at both ends and in the middle; the last one counts.
  const std::size_t middle = text.size() / 2;
  text.replace(0, 10, "A01 first\n");
  text.replace(middle, 12, "Z99 last.1\r\n");
  ASSERT_TRUE(searchPattern(pattern, text, match));
  EXPECT_EQ(match.groups[0].begin, 0u);
  EXPECT_EQ(match.groups[0].end, text.size());
  EXPECT_EQ(match.groups[1].begin, middle);
  EXPECT_EQ(groupText(text, match, 1), "Z99 last.1");
}

TEST(PatternLarge, ToolErrorOverHugeOutput) {
  const Pattern pattern = compilePattern(toolErrorExpression);
  PatternMatch match;
  std::string text = fillerLines(largeInputBytes);
  const std::size_t fillerSize = text.size();
  text += "Error x: y";
  EXPECT_FALSE(searchPattern(pattern, text, match));

  text.replace(fillerSize, std::string::npos, "Error 5: end");
  ASSERT_TRUE(searchPattern(pattern, text, match));
  EXPECT_EQ(match.groups[0].begin, fillerSize);
  EXPECT_EQ(groupText(text, match, 2), "end");

  text.replace(0, 16, "Error 8193: bad\n");
  ASSERT_TRUE(searchPattern(pattern, text, match));
  EXPECT_EQ(groupText(text, match, 1), "8193");
  EXPECT_EQ(match.groups[2].begin, 12u);
  EXPECT_EQ(match.groups[2].end, text.size());
}

TEST(PatternLarge, ErrorCodeOverHugeOutput) {
  const Pattern pattern = compilePattern(errorCodeExpression);
  PatternMatch match;
  // Lines with the keyword but no number after it cannot be skipped; each must be examined.
  std::string text = repeatToSize("ERROR: see CODE x in log\n", largeInputBytes / 8);
  const std::size_t missesSize = text.size();
  text += fillerLines(largeInputBytes - 2 * missesSize);
  text.append(text, 0, missesSize);
  EXPECT_FALSE(searchPattern(pattern, text, match));

  const std::size_t lastLine = text.size() - 25;
  text.replace(lastLine, 25, "last line has CODE 42;\r\n");
  ASSERT_TRUE(searchPattern(pattern, text, match));
  EXPECT_EQ(match.groups[0].begin, lastLine);
  EXPECT_EQ(groupText(text, match, 1), "42");
  EXPECT_EQ(groupText(text, match, 2), ";");
}

TEST(PatternLarge, OneHugeLineWithoutLineBreak) {
  const Pattern pattern = compilePattern(mebxExpression);
  PatternMatch match;
  std::string line = repeatToSize("MEBx Version 1.2 and ", largeInputBytes);
  line += "MEBx Version 3";
  ASSERT_TRUE(searchPattern(pattern, line, match));
  EXPECT_EQ(match.groups[0].begin, 0u);
  EXPECT_EQ(match.groups[0].end, line.size());
  EXPECT_EQ(match.groups[1].begin, line.size() - 1);

  // Only one version, early: everything after it belongs to the match.
  line.replace(0, std::string::npos, repeatToSize("no version here ", largeInputBytes));
  line.replace(3, 16, "MEBx Version 7.8");
  ASSERT_TRUE(searchPattern(pattern, line, match));
  EXPECT_EQ(match.groups[0].begin, 0u);
  EXPECT_EQ(match.groups[0].end, line.size());
  EXPECT_EQ(groupText(line, match, 1), "7.8");
}

TEST(PatternLarge, BinaryNoiseNeitherCrashesNorStalls) {
  std::mt19937 random(3);
  std::string noise(largeInputBytes / 8, '\0');
  for (char& c : noise) {
    c = static_cast<char>(random());
  }
  // Every search is linear in the text; one that backtracked over it would take hours.
  double seconds = 0;
  for (const ProgramExpression& program : programExpressions) {
    const Pattern pattern = compilePattern(program.expression);
    PatternMatch match;
    bool found = false;
    seconds += secondsTaken([&] { found = searchPattern(pattern, noise, match); });
    if (found) {
      for (const PatternMatch::Group& group : match.groups) {
        EXPECT_TRUE(!group.matched || (group.begin <= group.end && group.end <= noise.size()))
            << program.expression;
      }
    }
  }
  EXPECT_LT(seconds, 10.0);
}

}  // namespace
