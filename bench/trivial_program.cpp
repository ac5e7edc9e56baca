// The yardstick for the installer's start-up: the smallest C++ program that prints a line
// through the C++ runtime, built with the same options.
#include <iostream>

int main() {
  std::cout << "trivial\n";
  return 0;
}
