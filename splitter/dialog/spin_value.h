// The arithmetic of the section-size spin edit: reading its text as a value,
// and the step that a key or a spin button applies.
#ifndef VELMORA_SPIN_VALUE_H
#define VELMORA_SPIN_VALUE_H

#include <cstdint>
#include <string>

namespace velmora {

struct SpinRange {
  int32_t minimum;
  int32_t maximum;
};

// The text read as a decimal integer (blanks around it allowed), kept within
// the range. Text that is not a number gives the minimum.
int32_t spin_value_of(const std::string& text, SpinRange range);

// The value after adding `delta`, kept within the range.
int32_t spin_stepped(int32_t value, int64_t delta, SpinRange range);

// The smart increment: the place value of the digit at the caret, that is
// the digit left of the caret, or the first digit when the caret stands
// before it. 0 when the text is not a plain run of digits.
int64_t caret_digit_step(const std::string& text, size_t caret);

// Where the caret goes when `old_text` is replaced by `new_text`: the same
// distance from the end, so that it stays on the digit of the same place.
size_t caret_after_replace(const std::string& old_text, size_t caret, const std::string& new_text);

}  // namespace velmora

#endif  // VELMORA_SPIN_VALUE_H
