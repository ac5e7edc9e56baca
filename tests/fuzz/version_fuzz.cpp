// Version texts as the tools and input.txt could hand them over: each field must read like the
// C library's base-10 conversion, a field that gives no int must be reported, and comparisons
// must read no further than they need.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

#include "app/error_catalogue.h"
#include "checks/bios_prerequisite.h"
#include "checks/version_compare.h"
#include "fuzz_support.h"
#include "process_state.h"

namespace {

// Field n of the version by strtol, or nothing where versionField must raise.
std::optional<int> expectedField(const std::string& version, int n) {
  std::size_t start = 0;
  for (int i = 0; i < n; ++i) {
    std::size_t dot = version.find('.', start);
    if (dot == std::string::npos) return std::nullopt;
    start = dot + 1;
  }
  std::size_t end = version.find('.', start);
  const std::string field = version.substr(start, end == std::string::npos ? end : end - start);
  const char* begin = field.c_str();
  char* stop = nullptr;
  errno = 0;
  long value = std::strtol(begin, &stop, 10);
  if (stop == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

std::string malformed(const std::string& version, int n) {
  return formatError("1018h", {version, std::to_string(n + 1)});
}

void checkField(const std::string& version, int n) {
  std::optional<int> expected = expectedField(version, n);
  try {
    int value = versionField(version, n);
    fuzzCheck(expected == value, "field " + std::to_string(n) + " of " + version + " read as " +
                                     std::to_string(value));
  } catch (const std::string& message) {
    fuzzCheck(!expected, "field " + std::to_string(n) + " of " + version + " raised " + message);
    fuzzCheck(message == malformed(version, n), "malformed field reported as " + message);
  }
}

// isNewerVersion's result, or the message it must raise.
std::string expectedComparison(const std::string& a, const std::string& b) {
  for (int n = 0; n < 4; ++n) {
    std::optional<int> fieldA = expectedField(a, n);
    if (!fieldA) return malformed(a, n);
    std::optional<int> fieldB = expectedField(b, n);
    if (!fieldB) return malformed(b, n);
    if (*fieldA != *fieldB) return *fieldA > *fieldB ? "newer" : "not newer";
  }
  return "not newer";
}

void checkComparison(const std::string& a, const std::string& b) {
  std::string outcome;
  try {
    outcome = isNewerVersion(a, b) ? "newer" : "not newer";
  } catch (const std::string& message) {
    outcome = message;
  }
  fuzzCheck(outcome == expectedComparison(a, b), a + " against " + b + ": " + outcome);
}

void checkDigitsToNumber(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9' && (!digits.empty() || c != '0')) digits += c;
  }
  bool anyDigit = text.find_first_of("0123456789") != std::string::npos;
  bool fits = digits.size() < 10 || (digits.size() == 10 && digits <= "2147483647");
  try {
    int value = digitsToNumber(text);
    fuzzCheck(anyDigit && fits && std::to_string(value) == (digits.empty() ? "0" : digits),
              "digits of " + text + " read as " + std::to_string(value));
  } catch (const std::string& message) {
    fuzzCheck(!anyDigit || !fits, "digits of " + text + " raised " + message);
    fuzzCheck(message == formatError("2012s", {text}), "unusable number reported as " + message);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

// Two versions separated by a NUL byte; the whole input is also a prerequisite text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  const std::string text(asText(data, size));
  const std::size_t separator = text.find('\0');
  const std::string a = text.substr(0, separator);
  const std::string b = separator == std::string::npos ? "" : text.substr(separator + 1);
  for (int n = 0; n < 6; ++n) {
    checkField(a, n);
    checkField(b, n);
  }
  checkComparison(a, b);
  checkComparison(b, a);
  checkDigitsToNumber(text);
  return 0;
}
