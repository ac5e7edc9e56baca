#include "test_support.h"

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

std::string runLogText() { return runLog().text(); }

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
  if (!HasFailure()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
}
