#include "checks/number_text.h"

#include <cctype>
#include <cstdint>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Magnitude of a run of digits, capped just above the int range so that it cannot overflow.
std::optional<std::int64_t> digitsMagnitude(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : digits) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{INT32_MAX} + 1) value = std::int64_t{INT32_MAX} + 2;
  }
  return value;
}

}  // namespace

std::optional<int> decimalDigitsValue(std::string_view digits) {
  std::optional<std::int64_t> value = digitsMagnitude(digits);
  if (!value || *value > INT32_MAX) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<int> leadingNumberValue(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position]))) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  std::size_t end = position;
  while (end < text.size() && isDigit(text[end])) {
    ++end;
  }
  std::optional<std::int64_t> magnitude = digitsMagnitude(text.substr(position, end - position));
  if (!magnitude) return std::nullopt;
  std::int64_t value = negative ? -*magnitude : *magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int>(value);
}
