// Shared helpers of the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/platform_fake.h"
#include "process_state.h"

// The text a call raises, or "(nothing raised)" when it returns normally.
std::string raisedBy(const std::function<void()>& call);

std::string readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::string& bytes);

// Seconds a call takes by the steady clock, for tests that promise a bound. A bound must hold
// with a wide margin on the slowest build (sanitizers, or wine) of a busy machine, yet fail for
// work that grows with the square of the input.
double secondsTaken(const std::function<void()>& call);

// Everything the run log holds, joined as a log file would hold it (without line-end
// translation).
std::string runLogText();

// A raw SMBIOS table as Windows hands it out (header, then the structures) whose BIOS
// information structure names `biosVersion` as its BIOS Version string.
std::string smbiosTableWith(const std::string& biosVersion);

// Each test runs in a fresh temporary working folder with the process state reset. The folder
// is kept when the test fails, so that what the program wrote can be looked at.
class UnitTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::FakePlatform& fake() { return platform::fakePlatform(); }

  std::filesystem::path folder;

 private:
  std::filesystem::path previousFolder;
};
