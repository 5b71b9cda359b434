#include "system_error.h"

namespace winsup {

size_t system_error_text(DWORD code, char* text, size_t capacity) {
  if (capacity == 0) return 0;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           static_cast<DWORD>(capacity), nullptr);
  if (n >= capacity) n = 0;  // cut off: no text rather than part of one
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
  text[n] = '\0';
  return n;
}

}  // namespace winsup
