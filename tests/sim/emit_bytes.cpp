// Prints bytes for tests of reading a real command's output: each argument's escapes decoded,
// or with "--file NAME" the bytes of that file (command lines of the POSIX build lose their
// backslashes, so binary output is best handed over in a file). "--sleep MS" waits that long,
// after everything before it has reached the reader, like a command that hangs; "--touch NAME"
// creates that file, to show that the program was still running then.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "binary_stdout.h"
#include "escapes.h"

int main(int argc, char** argv) {
  makeStdoutBinary();
  for (int i = 1; i < argc; ++i) {
    std::string bytes;
    if (std::string(argv[i]) == "--file" && i + 1 < argc) {
      std::ifstream file(argv[++i], std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } else if (std::string(argv[i]) == "--sleep" && i + 1 < argc) {
      std::fflush(stdout);
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[++i])));
    } else if (std::string(argv[i]) == "--touch" && i + 1 < argc) {
      std::ofstream created(argv[++i]);
    } else {
      bytes = decodeEscapes(argv[i]);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  }
  return 0;
}
