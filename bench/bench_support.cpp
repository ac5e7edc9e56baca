#include "bench_support.h"

#include <cstdio>
#include <random>

std::string textOfSize(std::size_t size, const std::string& filler, const std::string& ending) {
  std::string text;
  text.reserve(size);
  std::size_t fillTo = ending.size() < size ? size - ending.size() : 0;
  while (text.size() < fillTo) {
    text.append(filler, 0, std::min(filler.size(), fillTo - text.size()));
  }
  return text + ending;
}

namespace {

std::string verificationRedraw(int percent) {
  char line[80];
  std::snprintf(line, sizeof line, "Sending the update image to FW for verification:  [ %3d %% ]\r",
                percent);
  return line;
}

std::string updateRedraw(int percent) {
  static const char spinner[] = "|/-\\";
  char line[40];
  std::snprintf(line, sizeof line, "FW Update:  [ %3d%% (%c)]\r", percent, spinner[percent % 4]);
  return line;
}

std::string statusLine(int percent) {
  return "Writing partition " + std::to_string(percent / 10) + " of the image to the flash.\r\n";
}

}  // namespace

std::string updatePass() {
  std::string pass;
  for (int percent = 0; percent <= 100; ++percent) {
    pass += verificationRedraw(percent);
  }
  pass += "Sending the update image to FW for verification:  [ COMPLETE ]\r\n\r\n";
  for (int percent = 0; percent <= 100; ++percent) {
    pass += updateRedraw(percent);
    if (percent % 10 == 0) pass += statusLine(percent);
  }
  return pass;
}

std::string updateOutput(std::size_t size) {
  const std::string pass = updatePass();
  std::string output;
  output.reserve(size + pass.size());
  while (output.size() < size) {
    output += pass;
  }
  return output + "\r\n\r\nFW Update is completed successfully.\r\n";
}

std::vector<long> textSizes() { return {1 << 10, 16 << 10, 256 << 10, 4 << 20, 64 << 20}; }

ScratchFolder::ScratchFolder(const std::string& name) {
  previous = std::filesystem::current_path();
  std::random_device random;
  folder = std::filesystem::temp_directory_path() /
           ("mefw-bench-" + name + "-" + std::to_string(random()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::current_path(previous, ignored);
  std::filesystem::remove_all(folder, ignored);
}
