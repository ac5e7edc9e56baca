// Stands in for a system command the installer must not really run in a test: Windows'
// timeout (which wine lacks) and shutdown. It records the call under its own file name and
// returns at once, as timeout does when its input is redirected.
#include <string>

#include "sim_calls.h"

namespace {

// "C:\windows\system32\shutdown.exe" and "c:/windows/system32/shutdown" both give "shutdown".
std::string commandName(const std::string& path) {
  std::string name = path.substr(path.find_last_of("/\\") + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  recordCall(commandName(argc > 0 ? argv[0] : "recorder").c_str(), argc, argv);
  return 0;
}
