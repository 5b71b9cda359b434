#include "console_output.h"

#include <windows.h>

namespace velmora {

namespace {

bool usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// The handle the text goes to; looked for once.
HANDLE output_handle() {
  static HANDLE handle = [] {
    HANDLE inherited = GetStdHandle(STD_OUTPUT_HANDLE);
    if (usable(inherited)) return inherited;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return INVALID_HANDLE_VALUE;
    return CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  }();
  return handle;
}

}  // namespace

void write_output(const std::string& text) noexcept {
  try {
    std::string crlf;
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    HANDLE handle = output_handle();
    if (handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(handle, crlf.data(), static_cast<DWORD>(crlf.size()), &written, nullptr);
  } catch (...) {
  }
}

}  // namespace velmora
