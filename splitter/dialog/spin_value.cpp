#include "spin_value.h"

#include <cctype>

namespace velmora {

int32_t spin_value_of(const std::string& text, SpinRange range) {
  size_t i = 0, end = text.size();
  while (i < end && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == end) return range.minimum;
  // Accumulate with a ceiling, so that any run of digits stays in range.
  const int64_t ceiling = int64_t{1} << 40;
  int64_t magnitude = 0;
  for (; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return range.minimum;
    if (magnitude < ceiling) magnitude = magnitude * 10 + (text[i] - '0');
  }
  return spin_stepped(0, negative ? -magnitude : magnitude, range);
}

int32_t spin_stepped(int32_t value, int64_t delta, SpinRange range) {
  int64_t result = int64_t{value} + delta;
  if (result < range.minimum) return range.minimum;
  if (result > range.maximum) return range.maximum;
  return static_cast<int32_t>(result);
}

int64_t caret_digit_step(const std::string& text, size_t caret) {
  if (text.empty() || text.size() > 18) return 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  }
  if (caret > text.size()) caret = text.size();
  size_t digit = caret == 0 ? 0 : caret - 1;
  int64_t step = 1;
  for (size_t i = digit + 1; i < text.size(); ++i) step *= 10;
  return step;
}

size_t caret_after_replace(const std::string& old_text, size_t caret, const std::string& new_text) {
  if (caret > old_text.size()) caret = old_text.size();
  size_t from_end = old_text.size() - caret;
  return from_end > new_text.size() ? 0 : new_text.size() - from_end;
}

}  // namespace velmora
