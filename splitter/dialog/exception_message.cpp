#include "exception_message.h"

#include <exception>

namespace velmora {

std::string current_exception_text() noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    try {
      return e.what();
    } catch (...) {
      return {};
    }
  } catch (...) {
  }
  return "Unknown exception.";
}

void show_exception_message(HWND owner, const std::string& text) noexcept {
  MessageBoxA(owner, text.c_str(), "velmora", MB_OK | MB_ICONERROR);
}

int run_guarded(const std::function<void()>& body,
                const std::function<void(const std::string&)>& report) noexcept {
  try {
    body();
  } catch (...) {
    std::string text = current_exception_text();
    try {
      report(text);
    } catch (...) {
    }
  }
  return 0;
}

}  // namespace velmora
