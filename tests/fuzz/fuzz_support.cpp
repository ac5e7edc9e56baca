#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "app/error_catalogue.h"
#include "platform/platform.h"
#include "platform/platform_fake.h"
#include "settings/run_settings.h"

namespace fs = std::filesystem;

namespace {

fs::path& scratchFolder() {
  static fs::path folder;
  return folder;
}

void removeScratchFolder() {
  std::error_code ignored;
  fs::current_path(fs::temp_directory_path(), ignored);
  fs::remove_all(scratchFolder(), ignored);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "ERROR <digits><kind>: ", the digits possibly none, as the tool-error paths build it.
bool isToolError(const std::string& message, char kind) {
  if (kind == 0 || message.compare(0, 6, "ERROR ") != 0) return false;
  std::size_t position = 6;
  while (position < message.size() && isDigit(message[position])) {
    ++position;
  }
  return message.compare(position, 3, std::string(1, kind) + ": ") == 0;
}

bool fitsTemplate(const std::string& message, const std::string& pattern) {
  std::size_t first = pattern.find('#');
  if (first == std::string::npos) return message == pattern;
  std::size_t afterLast = pattern.rfind('#') + 1;
  std::size_t tail = pattern.size() - afterLast;
  return message.size() >= first + tail && message.compare(0, first, pattern, 0, first) == 0 &&
         message.compare(message.size() - tail, tail, pattern, afterLast, tail) == 0;
}

}  // namespace

std::string enterScratchFolder() {
  std::random_device random;
  scratchFolder() = fs::temp_directory_path() /
                    ("mefw-fuzz-" + std::to_string(random()) + std::to_string(random()));
  fs::create_directories(scratchFolder());
  fs::current_path(scratchFolder());
  std::atexit(removeScratchFolder);
  return scratchFolder().string();
}

void fuzzFailure(const std::string& reason) {
  std::fprintf(stderr, "\n==== FUZZ FINDING: %s\n", printable(reason).c_str());
  std::fflush(stderr);
  std::abort();
}

void requireCodedMessage(const std::string& message, const AllowedMessages& allowed) {
  if (isToolError(message, allowed.toolKind)) return;
  const ErrorCatalogue& catalogue = errorCatalogue();
  for (const std::string& code : allowed.codes) {
    auto entry = catalogue.find(code);
    fuzzCheck(entry != catalogue.end(), "allowed code missing from the catalogue: " + code);
    if (fitsTemplate(message, entry->second)) return;
  }
  fuzzFailure("unexpected or malformed message raised: " + message);
}

void applySettings(std::uint8_t settings) {
  if (settings & 2) {
    setSuperVerboseFlag();
  } else if (settings & 1) {
    setVerboseFlag();
  }
  if (settings & 4) setSameVersionFlag();
}

bool verboseSetting(std::uint8_t settings) { return (settings & 3) != 0; }

std::vector<std::string> splitAt(std::string_view text, char separator) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == separator) {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  return pieces;
}

std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

std::vector<std::string> chunksThroughPipe(const std::string& commandLine,
                                           const std::string& output) {
  platform::FakePlatform& fake = platform::fakePlatform();
  fake.commandOutput[commandLine] = output;
  std::vector<std::string> chunks;
  {
    platform::CommandPipe pipe(commandLine);
    std::string chunk;
    while (pipe.readChunk(chunk)) {
      chunks.push_back(chunk);
    }
  }
  fake.pipesOpened.pop_back();
  return chunks;
}

std::string textThroughPipe(const std::string& commandLine, const std::string& output) {
  std::string text;
  for (const std::string& chunk : chunksThroughPipe(commandLine, output)) {
    text += chunk;
  }
  return text;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeWholeFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  fuzzCheck(static_cast<bool>(file), "cannot write " + path);
}
