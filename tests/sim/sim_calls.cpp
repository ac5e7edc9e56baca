#include "sim_calls.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "own_path.h"

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

void appendLine(const char* file, const std::string& line) {
  if (FILE* log = std::fopen(file, "ab")) {
    std::fwrite(line.data(), 1, line.size(), log);
    std::fclose(log);
  }
}

// Where the program runs from and in, then into the simulation folder.
void enterSimFolder(const char* tool) {
  std::error_code error;
  std::string here = std::filesystem::current_path(error).string();
  const char* folder = std::getenv("MEFW_SIM_FOLDER");
  if (folder == nullptr || *folder == '\0') return;
  std::filesystem::current_path(folder, error);
  appendLine("sim-places.log", std::string(tool) + "\t" + ownProgramPath() + "\t" + here + "\n");
}

}  // namespace

void recordCall(const char* tool, int argc, char** argv) {
  enterSimFolder(tool);
  std::string line = tool;
  for (int i = 1; i < argc; ++i) {
    line += " " + escaped(argv[i]);
  }
  line += "\n";
  appendLine("sim-calls.log", line);
}
