#include "ansi_name.h"

#include <windows.h>

namespace velmora {

WideName wide_name(const wchar_t* text) {
  size_t length = 0;
  while (text[length] != L'\0') ++length;
  return WideName(text, text + length + 1);
}

bool to_ansi_name(const wchar_t* wide, std::string& out) {
  out.clear();
  BOOL used_default = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr,
                                 &used_default);
  if (size <= 0 || used_default) return false;
  std::string text(static_cast<size_t>(size), '\0');
  used_default = FALSE;
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, &text[0], size, nullptr,
                          &used_default) != size || used_default)
    return false;
  text.resize(static_cast<size_t>(size) - 1);  // the terminator
  out = std::move(text);
  return true;
}

}  // namespace velmora
