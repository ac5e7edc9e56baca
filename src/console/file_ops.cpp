#include "console/file_ops.h"

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"

void checkFileExists(std::string folder, const std::string& fileName) {
  platform::InputFile file(folder + fileName, platform::FileMode::raw);
  if (folder.empty()) folder = ".\\";
  printVerbose("Checking if " + fileName + " exists in " + folder + "\n", "default");
  if (!file.isOpen()) raiseError("1002h", {fileName, folder});
  printVerbose("It does!\n\n", "default");
}

std::vector<std::string> readFileLines(const std::string& fileName) {
  platform::InputFile file(fileName, platform::FileMode::text);
  std::vector<std::string> lines;
  if (!file.isOpen()) raiseError("1001h", {fileName});
  printVerbose(fileName + " opened.\n", "default");
  printSuperVerbose("------------------------File contents------------------------\n", "default");
  std::string line;
  while (file.readLine(line)) {
    printSuperVerbose(line + "\n", "default");
    lines.push_back(line);
  }
  printSuperVerbose("------------------------End file contents------------------------\n",
                    "default");
  printVerbose(fileName + " closed.\n", "default");
  return lines;
}
