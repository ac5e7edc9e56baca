// Messages made from arbitrary codes and arguments, and the exit code read back out of
// arbitrary text. Every message must be the template with its placeholders filled, a wrong
// argument count must be reported as such, and the exit code must be the one the message
// names.
#include <climits>
#include <iterator>

#include "app/error_catalogue.h"
#include "app/return_code.h"
#include "fuzz_support.h"
#include "process_state.h"
#include "regex_reference.h"

namespace {

std::string filled(const std::string& pattern, const std::vector<std::string>& arguments) {
  std::string text;
  std::size_t next = 0;
  for (char c : pattern) {
    if (c == '#' && next < arguments.size()) {
      text += arguments[next++];
    } else {
      text += c;
    }
  }
  return text;
}

std::size_t occurrences(const std::string& text, const std::string& word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    ++count;
  }
  return count;
}

// What extractReturnCode must give for a message, from std::regex's reading of the message.
int expectedReturnCode(const std::string& message) {
  std::optional<std::vector<std::string>> found =
      referenceGroups(R"(.*(?:ERROR|CODE)[ ]*([\d]+)([\D]).*)", message);
  if (!found) {
    if (message.compare(0, 9, "ERROR v: ") == 0) return 4000;
    if (message.compare(0, 9, "ERROR u: ") == 0) return 4001;
    return 0;
  }
  if ((*found)[2] == "v") return 4000;
  if ((*found)[2] == "u") return 4001;
  long long value = 0;
  for (char digit : (*found)[1]) {
    value = value * 10 + (digit - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

void checkReturnCode(const std::string& message) {
  if (message.size() > referenceTextBytes) return;  // beyond what std::regex survives
  const int code = extractReturnCode(message);
  fuzzCheck(code == expectedReturnCode(message), "exit code " + std::to_string(code) +
                                                     " read from \"" + message + "\" instead of " +
                                                     std::to_string(expectedReturnCode(message)));
}

// A message that names only its own code must end the run with that code.
void checkOwnCode(const std::string& message, const std::string& code) {
  if (occurrences(message, "ERROR") + occurrences(message, "CODE") != 1) return;
  fuzzCheck(extractReturnCode(message) == std::stoi(code.substr(0, 4)),
            "message \"" + message + "\" does not end the run with its code " + code);
}

void checkFormatted(const std::string& code, const std::vector<std::string>& arguments) {
  const ErrorCatalogue& catalogue = errorCatalogue();
  auto entry = catalogue.find(code);
  std::string message;
  try {
    message = formatError(code, arguments);
  } catch (const std::string& raised) {
    fuzzCheck(entry != catalogue.end(), "unknown code " + code + " raised " + raised);
    const std::string& pattern = entry->second;
    std::size_t placeholders = occurrences(pattern, "#");
    fuzzCheck(placeholders != arguments.size(), "right argument count raised " + raised);
    fuzzCheck(raised == filled(catalogue.at("1003h"), {pattern, std::to_string(placeholders),
                                                       std::to_string(arguments.size())}),
              "wrong argument count reported as " + raised);
    checkReturnCode(raised);
    return;
  }
  if (entry == catalogue.end()) {
    fuzzCheck(message == filled(catalogue.at("1017h"), {"no message for error code " + code}),
              "unknown code " + code + " gave " + message);
    return;
  }
  fuzzCheck(occurrences(entry->second, "#") == arguments.size(),
            "wrong argument count accepted for " + code);
  fuzzCheck(message == filled(entry->second, arguments), "message " + message + " for " + code);
  checkReturnCode(message);
  checkOwnCode(message, code);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

// The first byte picks a catalogue code (or, past the last, takes the code from the input);
// the rest, cut at NUL bytes, gives the arguments.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  resetProcessState();
  const std::string text(asText(data + 1, size - 1));
  checkReturnCode(text);

  std::vector<std::string> arguments = splitAt(text, '\0');
  if (text.empty()) arguments.clear();
  const ErrorCatalogue& catalogue = errorCatalogue();
  std::string code;
  if (data[0] < catalogue.size()) {
    code = std::next(catalogue.begin(), data[0])->first;
  } else {
    code = arguments.empty() ? "" : arguments.front();
    if (!arguments.empty()) arguments.erase(arguments.begin());
  }
  checkFormatted(code, arguments);
  return 0;
}
