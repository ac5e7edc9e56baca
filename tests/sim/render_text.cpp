#include "render_text.h"

#include <cstdio>

#include "escapes.h"

std::string renderText(const std::string& text, const Values& values) {
  std::string rendered;
  std::string literal;  // written text since the last placeholder, escapes not yet decoded
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t close = text[i] == '{' ? text.find('}', i) : std::string::npos;
    auto value =
        close == std::string::npos ? values.end() : values.find(text.substr(i + 1, close - i - 1));
    if (value == values.end()) {
      literal += text[i];
      continue;
    }
    rendered += decodeEscapes(literal) + value->second;
    literal.clear();
    i = close;
  }
  return rendered + decodeEscapes(literal);
}

Values countValues(const Values& values, long long number) {
  static const char spinner[] = "|/-\\";
  char padded[32];
  std::snprintf(padded, sizeof padded, "%3lld", number);
  Values counted = values;
  counted["n"] = std::to_string(number);
  counted["n3"] = padded;
  counted["spin"] = std::string(1, spinner[number % 4]);
  return counted;
}
