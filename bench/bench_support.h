// Shared by the benchmarks: texts shaped like the tools' output, and a scratch working folder.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// `filler` repeated until the text is `size` bytes long (the last copy cut short), with
// `ending` as its last bytes when it is not empty; the result is exactly `size` bytes long
// unless `ending` alone is longer.
std::string textOfSize(std::size_t size, const std::string& filler, const std::string& ending);

// What the update tool prints for one pass of the update: the verification redrawn from 0 to
// 100 %, its COMPLETE line, the update redrawn from 0 to 100 % with a turning spinner, and an
// ordinary status line (CR LF) every ten percent. About 9 KB, of which about 6 % reaches the
// run log.
std::string updatePass();

// A whole update of at least `size` bytes: passes until the size is reached, then the tool's
// completion lines. The same shape as bench/e2e_throughput.py writes.
std::string updateOutput(std::size_t size);

// Sizes from 1 KB to 64 MB, each sixteen times the one before.
std::vector<long> textSizes();

// A fresh temporary folder that is the working folder while the object lives; removed with
// everything in it afterwards.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return folder; }

 private:
  std::filesystem::path folder;
  std::filesystem::path previous;
};
