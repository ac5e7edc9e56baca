// Stands in for Intel's FwUpdLcl64.exe: prints what sim-fwupdlcl.txt in the working folder
// scripts for the run, by default the version query's or the update's output.
#include <fstream>
#include <string>

#include "tool_tables.h"

namespace {

// Like the real tool, the update refuses an image it cannot open, whatever the scenario says:
// a test then sees at once that the installer passed a wrong path.
const char* refusal(int argc, char** argv) {
  bool update = argc > 1 && std::string(argv[1]) == "-f";
  bool imageReadable = argc > 2 && std::ifstream(argv[2], std::ios::binary).is_open();
  return update && !imageReadable ? "missing-image" : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  return simulateTool(fwUpdLclTable(), argc, argv, refusal(argc, argv));
}
