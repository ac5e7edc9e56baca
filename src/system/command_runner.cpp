#include "system/command_runner.h"

#include "app/error_catalogue.h"
#include "console/file_ops.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "settings/fixed_names.h"

std::vector<std::string> runCommand(const std::string& commandLine) {
  std::vector<std::string> chunks;
  platform::CommandPipe pipe(commandLine);
  printVerbose("Running command: " + commandLine + "\n\n", "default");
  if (!pipe.isOpen()) raiseError("1000h");
  std::string chunk;
  while (pipe.readChunk(chunk)) {
    chunks.push_back(chunk);
    printSuperVerbose(chunk, "default");
  }
  printVerbose("\n", "default");
  return chunks;
}

std::string readCommandOutput(const std::string& commandLine, const std::string& announcement) {
  platform::CommandPipe pipe(commandLine);
  printVerbose(announcement, "default");
  if (!pipe.isOpen()) raiseError("1000h");
  std::string output;
  std::string chunk;
  while (pipe.readChunk(chunk)) {
    output += chunk;
  }
  return output;
}

void openReadme() {
  checkFileExists("", readmeFileName);
  platform::openDocument(readmeFileName);
}

void rebootComputer(unsigned int delaySeconds) {
  platform::runAndWait("c:\\windows\\system32\\shutdown /r /t " + std::to_string(delaySeconds) +
                       " \n\n");
}
