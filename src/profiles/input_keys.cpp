#include "profiles/input_keys.h"

#include "system/pattern.h"

namespace {

struct KeyPattern {
  InputKey key;
  const char* name;
  const char* expression;
};

// Each key is searched anywhere in a line, so text around it (even a comment mark) is allowed.
const KeyPattern keyPatterns[] = {
    {InputKey::firmwareFile, "meFirmwareFile",
     "[ \\t]*meFirmwareFile[ \\t]*=[ \\t]*([a-zA-Z0-9_\\-\\.]*)[ \\t]*"},
    {InputKey::supportedPlatforms, "supportedPlatforms",
     "[ \\t]*supportedPlatforms[ \\t]*=[ \\t]*([a-zA-Z0-9_\\-\\.\\, \\t]*)"},
    {InputKey::upfrontMessage, "upfrontMessage", "[ \\t]*upfrontMessage[ \\t]*=[ \\t]*(.*)"},
    {InputKey::prereqBios, "prereqBios",
     "[ \\t]*prereqBios[ \\t]*=[ \\t]*([a-zA-Z0-9_\\-\\.]*)[ \\t]*"},
};

const Pattern& compiledKeyPattern(std::size_t index) {
  static const Pattern patterns[] = {
      compilePattern(keyPatterns[0].expression),
      compilePattern(keyPatterns[1].expression),
      compilePattern(keyPatterns[2].expression),
      compilePattern(keyPatterns[3].expression),
  };
  return patterns[index];
}

}  // namespace

InputKeyMatch recognizeInputKey(const std::string& line) {
  PatternMatch match;
  for (std::size_t i = 0; i < std::size(keyPatterns); ++i) {
    if (!searchPattern(compiledKeyPattern(i), line, match)) continue;
    return {keyPatterns[i].key, match.groups[0].begin, match.groups[0].end, match.groups[1].begin,
            match.groups[1].end};
  }
  return {};
}

const char* inputKeyName(InputKey key) {
  for (const KeyPattern& pattern : keyPatterns) {
    if (pattern.key == key) return pattern.name;
  }
  return "";
}
