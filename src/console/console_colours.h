// Console attribute words (Windows character attributes: low four bits foreground, next four
// background), worked out once at start so that each message type stays readable on the
// user's own background.
#pragma once

#include <optional>
#include <string>

struct ConsoleColours {
  int consoleBackground = -1;  // -1 when the console's attributes cannot be read
  int defaultAttribute = 7;
  int errorAttribute = 12;
  int warningAttribute = 14;
  int completeAttribute = 10;
  int codeAttribute = 11;
  int debugAttribute = 207;  // bright white on light red, whatever the console
};

ConsoleColours computeConsoleColours(std::optional<int> startAttributes);

// The process-wide colours, computed from the console at program start.
ConsoleColours& consoleColours();

// Puts the colours back to those of a program started without a console (for tests).
void resetConsoleColours();

// The attribute for a message type that has already been lower-cased; any type that is not
// a colour of its own gets the default attribute.
int attributeForType(const ConsoleColours& colours, const std::string& loweredType);
