#include "sim_calls.h"

#include <cstdio>
#include <string>

void recordCall(const char* tool, int argc, char** argv) {
  std::string line = tool;
  for (int i = 1; i < argc; ++i)
    line += std::string(" ") + argv[i];
  line += "\n";
  if (FILE* log = std::fopen("sim-calls.log", "ab")) {
    std::fwrite(line.data(), 1, line.size(), log);
    std::fclose(log);
  }
}
