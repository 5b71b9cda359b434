#include "ansi_name.h"

#include <windows.h>

namespace velmora {

bool to_ansi_name(const std::wstring& wide, std::string& out) {
  out.clear();
  if (wide.empty()) return true;
  const int length = static_cast<int>(wide.size());
  BOOL used_default = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0,
                                 nullptr, &used_default);
  if (size <= 0 || used_default) return false;
  std::string text(static_cast<size_t>(size), '\0');
  used_default = FALSE;
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, &text[0], size,
                          nullptr, &used_default) != size || used_default)
    return false;
  out = std::move(text);
  return true;
}

}  // namespace velmora
