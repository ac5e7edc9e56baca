// Every scanner against std::regex_search with the expression it reproduces: hand-picked texts,
// generated texts, and texts far beyond what std::regex survives.
#include "system/text_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "app/return_code.h"
#include "printable_text.h"
#include "profiles/input_keys.h"
#include "scanner_table.h"
#include "system/tool_output_scan.h"
#include "update/progress_lines.h"

// std::regex recurses per input byte, so the comparison inputs must stay small where the
// stack is small (1 MB on Windows); native builds pass a larger limit.
#ifndef SCANNER_TEST_REGEX_INPUT_LIMIT
#define SCANNER_TEST_REGEX_INPUT_LIMIT 300
#endif

// Size of the inputs that std::regex cannot handle at all.
#ifndef SCANNER_TEST_LARGE_INPUT_BYTES
#define SCANNER_TEST_LARGE_INPUT_BYTES (8u << 20)
#endif

namespace {

constexpr std::size_t regexInputLimit = SCANNER_TEST_REGEX_INPUT_LIMIT;
constexpr std::size_t largeInputBytes = SCANNER_TEST_LARGE_INPUT_BYTES;

const ScannerCase& scannerFor(const std::string& expression) {
  for (const ScannerCase& scanner : scannerCases()) {
    if (expression == scanner.expression) return scanner;
  }
  throw std::invalid_argument("no scanner for " + expression);
}

std::string regexOutcome(const std::regex& regex, const std::string& text) {
  std::smatch match;
  if (!std::regex_search(text, match, regex)) return "none";
  std::string out = "found";
  for (std::size_t i = 0; i < match.size(); ++i) {
    out += " " + std::to_string(i) + ":";
    if (!match[i].matched) {
      out += "unmatched";
      continue;
    }
    out += std::to_string(match[i].first - text.begin()) + "-" +
           std::to_string(match[i].second - text.begin());
  }
  return out;
}

bool sameAsRegex(const ScannerCase& scanner, const std::regex& regex, const std::string& text) {
  const std::string expected = regexOutcome(regex, text);
  const std::string outcome = scannerOutcome(scanner, text);
  EXPECT_EQ(outcome, expected) << "expression \"" << printable(scanner.expression) << "\" on \""
                               << printable(text) << "\"";
  return outcome == expected;
}

// Checks a hand-computed result, and that std::regex agrees with it.
void expectOutcome(const std::string& expression, const std::string& text,
                   const std::string& expected) {
  EXPECT_EQ(scannerOutcome(scannerFor(expression), text), expected) << printable(text);
  EXPECT_EQ(regexOutcome(std::regex(expression), text), expected) << printable(text);
}

const std::string errorCodeExpression = R"(.*(?:ERROR|CODE)[ ]*([\d]+)([\D]).*)";
const std::string biosExpression = R"([\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*)";
const std::string toolErrorExpression = R"(Error ([0-9]*): ([.\s\S]*))";
const std::string driverExpression = R"(.*DriverVer.*=.*,([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*).*)";
const std::string updateExpression = R"(.*FW Update *: *\[ *([0-9]*)% \(.\).*\])";
const std::string shapeExpression = R"([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\..*)";

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
// Hand-picked texts

TEST(ScannerProgram, ErrorCodeTakesTheLastCodeOnTheFirstLineThatHasOne) {
  expectOutcome(errorCodeExpression, "x ERROR 12 CODE 3;\nCODE 4;", "found 0:0-18 1:16-17 2:17-18");
  expectOutcome(errorCodeExpression, "no\nERROR 7\nCODE 8x", "found 0:3-18 1:9-10 2:10-11");
  expectOutcome(errorCodeExpression, "ERROR 7", "none");
  expectOutcome(errorCodeExpression, "ERROR x\r\nCODE12\r", "found 0:9-16 1:13-15 2:15-16");
  expectOutcome(errorCodeExpression, "CODE 1ERROR 2;", "found 0:0-14 1:12-13 2:13-14");
}

TEST(ScannerProgram, BiosVersionIsTheLastCandidateInTheText) {
  expectOutcome(biosExpression, "SMBIOSBIOSVersion\r\nA12 x\r\nB34 1.0 z\r\n\r\n",
                "found 0:0-39 1:26-35");
  expectOutcome(biosExpression, "ab12 cd", "found 0:0-7 1:1-7");
  expectOutcome(biosExpression, "A1 B2", "none");
  EXPECT_EQ(findBiosVersion("SMBIOSBIOSVersion\r\nQ12 Ver. 01.04  \r\r\n"), "Q12 Ver. 01.04  ");
  EXPECT_EQ(findBiosVersion("SMBIOSBIOSVersion\r\n"), std::nullopt);
}

TEST(ScannerProgram, ToolErrorTakesEverythingAfterIt) {
  expectOutcome(toolErrorExpression, "x\nError 8193: bad\r\nnext\n", "found 0:2-24 1:8-12 2:14-24");
  expectOutcome(toolErrorExpression, "Error : y", "found 0:0-9 1:6-6 2:8-9");
  expectOutcome(toolErrorExpression, "  Error 1 Error 2: z", "found 0:10-20 1:16-17 2:19-20");
}

TEST(ScannerProgram, DriverVersionIsTheLastCommaWithAnEqualsSignBeforeIt) {
  expectOutcome(driverExpression, "DriverVer = 10/29/2019,2.1.0.1\n;DriverVer=1,,...",
                "found 0:0-30 1:23-30");
  expectOutcome(driverExpression, "DriverVer=a,1.2.3.4,5.6.7.8", "found 0:0-27 1:20-27");
  expectOutcome(driverExpression, ",1.2.3.4 DriverVer=,1.2.3", "none");
  expectOutcome(driverExpression, "DriverVer=,1.2.3\nx DriverVer,1.1.1.1=,9...",
                "found 0:17-42 1:38-42");
}

TEST(ScannerProgram, UpdateProgressEndsAtTheLastBracketOfItsLine) {
  expectOutcome(updateExpression, "FW Update:  [ 42% (/)] x]\r", "found 0:0-25 1:14-16");
  expectOutcome(updateExpression, "FW Update : [42% (\r)]", "none");
  expectOutcome(updateExpression, "FW Update:[1% (/)] FW Update:[2% (x)", "found 0:0-18 1:11-12");
  expectOutcome(updateExpression, "FW Update:[1% (])FW Update:[2% (x)", "none");
}

TEST(ScannerProgram, VersionShapeStartsAtTheFirstRunThatHasFourDots) {
  expectOutcome(shapeExpression, "fw_11.8.50.3399.bin", "found 0:3-19");
  expectOutcome(shapeExpression, "1.2.3\n4.5.", "none");
  expectOutcome(shapeExpression, "1.2x3.4.5.6.7\r8", "found 0:4-13");
}

TEST(ScannerProgram, TrickyInputsMatchStdRegex) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {scannerCases()[0].expression, "  meFirmwareFile = fw_1-2.bin  \r\n"},
      {scannerCases()[0].expression, "meFirmwareFile=\tmeFirmwareFile=x"},
      {scannerCases()[1].expression, "supportedPlatforms = a, b\t,c\r"},
      {scannerCases()[2].expression, "upfrontMessage=hello\r\nupfrontMessage=bye"},
      {scannerCases()[3].expression, "prereqBios=\r\n"},
      {scannerCases()[4].expression, "1.2.3.4.5\n"},
      {scannerCases()[4].expression, "...."},
      {scannerCases()[15].expression, "Intel Firmware Update Utility Version: 16.1.25.2124\r\n"},
      {scannerCases()[16].expression, "FW Version:: 1.2.3 \nFW Version 4"},
      {scannerCases()[16].expression, "FW Version"},
      {scannerCases()[17].expression, "MEBx Version: 1.2\nMEBx Version   16.0.15.1810"},
      {scannerCases()[20].expression, "MEInfo Version:12.0"},
      {scannerCases()[6].expression, "FW update verification: [ 57 % ]\r"},
      {scannerCases()[6].expression, "verification:[%]verification: [1%]"},
      {scannerCases()[8].expression, std::string("\0COMPLETE\0", 10)},
      {scannerCases()[10].expression, "completed\r"},
  };
  for (const auto& [expression, text] : cases) {
    sameAsRegex(scannerFor(expression), std::regex(expression), text);
  }
}

TEST(ScannerProgram, InputKeysAreTriedInOrder) {
  InputKeyMatch found = recognizeInputKey("# prereqBios = x meFirmwareFile=a.b ");
  EXPECT_EQ(found.key, InputKey::firmwareFile);
  EXPECT_EQ(found.begin, 16u);
  EXPECT_EQ(found.valueBegin, 32u);
  EXPECT_EQ(found.valueEnd, 35u);
  EXPECT_EQ(recognizeInputKey("upfrontMessage = prereqBios = x").key, InputKey::upfrontMessage);
  EXPECT_EQ(recognizeInputKey("meFirmwareFile : x").key, InputKey::none);
  EXPECT_STREQ(inputKeyName(InputKey::prereqBios), "prereqBios");
}

// ---------------------------------------------------------------------------------------
// Generated texts

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

TEST(ScannerDifferential, EveryScannerOnGeneratedText) {
  std::uint32_t seed = 1;
  for (const ScannerCase& scanner : scannerCases()) {
    std::vector<std::string> expressions = {scanner.expression};
    if (expressions[0] != withRealTabs(expressions[0])) {
      expressions.push_back(withRealTabs(expressions[0]));
    }
    for (const std::string& expression : expressions) {
      const std::regex regex(expression);
      TextGenerator generator{std::mt19937(seed++), scanner.words};
      for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(sameAsRegex(scanner, regex, nextText(generator, regexInputLimit)));
      }
    }
  }
}

// ---------------------------------------------------------------------------------------
// Texts far beyond what std::regex survives, built in place: copying 64 MB would cost more
// than the scans.

std::string fillerLines(std::size_t size) {
  return repeatToSize("Checking firmware image 1.2.3 ... ok, see x.log for details\r\n", size);
}

TEST(ScannerLarge, BiosVersionOverHugeOutput) {
  std::string text = fillerLines(largeInputBytes);
  EXPECT_FALSE(matchBiosVersion(text));
  // Candidates at both ends and in the middle; the last one counts.
  const std::size_t middle = text.size() / 2;
  text.replace(0, 10, "A01 first\n");
  text.replace(middle, 12, "Z99 last.1\r\n");
  std::optional<TextMatch> found = matchBiosVersion(text);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->whole.end, text.size());
  EXPECT_EQ(found->group1.begin, middle);
  EXPECT_EQ(spanText(text, found->group1), "Z99 last.1");
}

TEST(ScannerLarge, ToolErrorOverHugeOutput) {
  std::string text = fillerLines(largeInputBytes);
  const std::size_t fillerSize = text.size();
  text += "Error x: y";
  EXPECT_FALSE(matchToolError(text));
  text.replace(fillerSize, std::string::npos, "Error 5: end");
  std::optional<TextMatch> found = matchToolError(text);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->whole.begin, fillerSize);
  EXPECT_EQ(spanText(text, found->group2), "end");
}

TEST(ScannerLarge, ErrorCodeOverHugeOutput) {
  // Lines with the keyword but no number after it; each must be examined.
  std::string text = repeatToSize("ERROR: see CODE x in log\n", largeInputBytes / 8);
  const std::size_t missesSize = text.size();
  text += fillerLines(largeInputBytes - 2 * missesSize);
  text.append(text, 0, missesSize);
  EXPECT_FALSE(matchReturnCode(text));
  const std::size_t lastLine = text.size() - 25;
  text.replace(lastLine, 25, "last line has CODE 42;\r\n");
  std::optional<TextMatch> found = matchReturnCode(text);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->whole.begin, lastLine);
  EXPECT_EQ(spanText(text, found->group1), "42");
  EXPECT_EQ(spanText(text, found->group2), ";");
}

TEST(ScannerLarge, OneHugeLineWithoutLineBreak) {
  std::string line = repeatToSize("MEBx Version 1.2 and ", largeInputBytes);
  line += "MEBx Version 3";
  std::optional<TextMatch> found = matchPhraseValue(line, "MEBx Version");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->whole.end, line.size());
  EXPECT_EQ(found->group1.begin, line.size() - 1);
}

// One long line full of near misses: a scanner that tried each of them against the rest of
// the line would never finish.
TEST(ScannerLarge, NearMissesOnOneHugeLine) {
  const std::string line = repeatToSize("FW Update: [ 1% (/) ", largeInputBytes);
  EXPECT_FALSE(matchUpdateProgress(line));
  EXPECT_FALSE(matchDriverVersion("DriverVer=" + repeatToSize(",1.2.3", largeInputBytes)));
  EXPECT_FALSE(matchFirmwareVersionShape(repeatToSize("1.2.3x", largeInputBytes)));
  EXPECT_FALSE(matchVerificationProgress(repeatToSize("verification: [ 1 %", largeInputBytes)));
  EXPECT_FALSE(matchFirmwareVersion(repeatToSize("FW Version:: x", largeInputBytes)));
}

TEST(ScannerLarge, BinaryNoiseStaysInsideTheText) {
  std::mt19937 random(3);
  std::string noise(largeInputBytes / 8, '\0');
  for (char& c : noise) {
    c = static_cast<char>(random());
  }
  for (const ScannerCase& scanner : scannerCases()) {
    std::optional<TextMatch> found = scanner.scan(noise);
    if (!found) continue;
    for (TextSpan span : {found->whole, found->group1, found->group2}) {
      EXPECT_TRUE(span.begin <= span.end && span.end <= noise.size()) << scanner.expression;
    }
  }
}

}  // namespace
