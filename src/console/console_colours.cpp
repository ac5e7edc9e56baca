#include "console/console_colours.h"

#include "platform/platform.h"

namespace {

// Text in the background's own colour would vanish, so those backgrounds get light magenta.
int typeAttribute(int background, int colour, int shadeA, int shadeB) {
  if (background == -1) return colour;
  if (background == shadeA || background == shadeB) return background * 16 + 13;
  return background * 16 + colour;
}

}  // namespace

ConsoleColours computeConsoleColours(std::optional<int> startAttributes) {
  ConsoleColours colours;
  if (startAttributes) {
    colours.defaultAttribute = *startAttributes;
    colours.consoleBackground = *startAttributes >> 4;
  }
  int background = colours.consoleBackground;
  colours.errorAttribute = typeAttribute(background, 12, 4, 12);
  colours.warningAttribute = typeAttribute(background, 14, 6, 14);
  colours.completeAttribute = typeAttribute(background, 10, 2, 10);
  colours.codeAttribute = typeAttribute(background, 11, 3, 11);
  return colours;
}

ConsoleColours& consoleColours() {
  static ConsoleColours colours = computeConsoleColours(platform::consoleStartAttributes());
  return colours;
}

// The colours belong to the program's start, before the entry point runs.
static const ConsoleColours& startColours = consoleColours();

void resetConsoleColours() { consoleColours() = computeConsoleColours(std::nullopt); }

int attributeForType(const ConsoleColours& colours, const std::string& loweredType) {
  if (loweredType == "error") return colours.errorAttribute;
  if (loweredType == "code") return colours.codeAttribute;
  if (loweredType == "warning") return colours.warningAttribute;
  if (loweredType == "complete") return colours.completeAttribute;
  if (loweredType == "debug") return colours.debugAttribute;
  return colours.defaultAttribute;
}
