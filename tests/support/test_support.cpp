#include "test_support.h"

#include <chrono>
#include <fstream>
#include <random>

#include "console/messages.h"

std::string raisedBy(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::string& message) {
    return message;
  }
  return "(nothing raised)";
}

std::string readFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file << bytes;
}

double secondsTaken(const std::function<void()>& call) {
  auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string runLogText() { return runLog().text(); }

std::string smbiosTableWith(const std::string& biosVersion) {
  // Type 0 with 0x18 bytes: vendor is string 1, the BIOS Version (offset 05h) string 2.
  // An empty version is no string at all: number 0.
  std::string bios = std::string("\x00\x18\x00\x00\x01", 5) + (biosVersion.empty() ? '\0' : '\2') +
                     std::string(0x12, '\0') + "Norvane Ltd." + '\0';
  bios += biosVersion.empty() ? std::string(1, '\0') : biosVersion + std::string(2, '\0');
  std::string structures = bios + std::string("\x7f\x04\xff\xfe\x00\x00", 6);
  std::string header("\x00\x03\x00\x00", 4);
  for (int i = 0; i < 4; ++i) {
    header += static_cast<char>((structures.size() >> (8 * i)) & 0xFF);
  }
  return header + structures;
}

void UnitTest::SetUp() {
  resetProcessState();
  previousFolder = std::filesystem::current_path();
  std::random_device random;
  folder = std::filesystem::temp_directory_path() /
           ("mefw-unit-" + std::to_string(random()) + std::to_string(random()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
}

void UnitTest::TearDown() {
  std::filesystem::current_path(previousFolder);
  platform::letGoOfHeldFiles();
  if (!HasFailure()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
}
