#include "console/messages.h"

#include "console/console_colours.h"
#include "platform/platform.h"
#include "settings/run_settings.h"
#include "settings/text_case.h"

RunLog& runLog() {
  static RunLog log;
  return log;
}

void resetRunLog() { runLog().clear(); }

void emitMessage(std::string text, std::string type, bool show) {
  runLog().append(text);
  // A hidden message still sets its colour; the console keeps it until the next message.
  platform::setConsoleAttribute(attributeForType(consoleColours(), toLower(std::move(type))));
  if (show) platform::writeOutput(text);
}

void printMessage(std::string text, std::string type) {
  emitMessage(std::move(text), std::move(type), true);
}

void printVerbose(std::string text, std::string type) {
  emitMessage(std::move(text), std::move(type), verboseFlag());
}

void printSuperVerbose(std::string text, std::string type) {
  emitMessage(std::move(text), std::move(type), superVerboseFlag());
}

void appendSuperVerbose(std::string_view text) {
  runLog().extendLast(text);
  if (superVerboseFlag()) platform::writeOutput(text);
}
