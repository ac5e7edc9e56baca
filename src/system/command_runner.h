// Running other programs. The installer learns about the machine, and changes it, only this
// way. A command's success is judged from its output alone; its exit status is never read.
#pragma once

#include <string>
#include <vector>

// Every chunk of the command's standard output, in order (at most 127 characters each, ending
// after a line feed). Raises "1000h" when the pipe cannot be opened.
std::vector<std::string> runCommand(const std::string& commandLine);

// Opens README.htm of the working folder with the default handler; raises "1002h" when it is
// missing. Whether a handler exists is not reported.
void openReadme();

// Asks the system to restart after the delay.
void rebootComputer(unsigned int delaySeconds);

// Reads a command's whole output into one text. Raises "1000h" after the announcement when the
// pipe cannot be opened.
std::string readCommandOutput(const std::string& commandLine, const std::string& announcement);
