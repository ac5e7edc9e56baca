#include "sim_calls.h"

#include <cstdio>
#include <string>

namespace {

// One call per line: a line end inside an argument is written as \r or \n.
std::string escaped(const std::string& argument) {
  std::string text;
  for (char c : argument) {
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace

void recordCall(const char* tool, int argc, char** argv) {
  std::string line = tool;
  for (int i = 1; i < argc; ++i) {
    line += " " + escaped(argv[i]);
  }
  line += "\n";
  if (FILE* log = std::fopen("sim-calls.log", "ab")) {
    std::fwrite(line.data(), 1, line.size(), log);
    std::fclose(log);
  }
}
