#include "library_frame.h"

#include <cstring>

#include "system_error.h"
#include "temp_file.h"

namespace vornex {

long g_allocations_left = -1;

namespace {

// Made before DllMain runs (or main, where the tests link the library).
LibraryLock g_lock;

}  // namespace

LibraryLock& library_lock() { return g_lock; }

bool append_decimal(Text& text, uint32_t value, int width) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < width && n < static_cast<int>(sizeof digits)) digits[n++] = '0';
  char ordered[12];
  for (int i = 0; i < n; ++i) ordered[i] = digits[n - 1 - i];
  return text.append(ordered, static_cast<std::size_t>(n));
}

bool format_log_line(const SYSTEMTIME& t, const char* message, Text& line) {
  line.clear();
  return append_decimal(line, t.wDay, 2) && line.append('.') &&
         append_decimal(line, t.wMonth, 2) && line.append('.') &&
         append_decimal(line, t.wYear, 4) && line.append(' ') &&
         append_decimal(line, t.wHour, 2) && line.append(':') &&
         append_decimal(line, t.wMinute, 2) && line.append(':') &&
         append_decimal(line, t.wSecond, 2) && line.append(' ') && line.append(message);
}

void write_error_log(const char* message) {
  char dir[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
  if (n == 0 || n >= sizeof dir) return;  // no room for the path: the line is dropped
  Text path;
  if (!path.assign(dir, n) || !path.append("//_caberrors.log") || path.size() >= MAX_PATH) return;

  SYSTEMTIME now;
  GetLocalTime(&now);
  Text line;
  if (!format_log_line(now, message, line) || !line.append('\n')) return;
  // Written as a text-mode stream writes it: every LF as CR LF.
  Text bytes;
  for (const char* p = line.c_str(); *p; ++p) {
    if ((*p == '\n' && !bytes.append('\r')) || !bytes.append(*p)) return;
  }
  HANDLE log = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  WriteFile(log, bytes.c_str(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(log);
}

void write_error_log_path(const char* prefix, const char* path) {
  Text message;
  if (message.append(prefix) && message.append(path)) write_error_log(message.c_str());
}

void write_system_error(DWORD code) {
  if (code == 0) return;
  char text[1024];
  if (winsup::system_error_text(code, text, sizeof text) == 0) return;  // no text for this code
  write_error_log(text);
}

uint32_t dir_part_length(const char* path) {
  if (!path) return 0;
  const char* last = std::strrchr(path, '\\');
  return last ? static_cast<uint32_t>(last - path + 1) : 0;
}

HANDLE create_temp_file_in(const char* dir, const char* prefix, Text& path) {
  char candidate[MAX_PATH];
  HANDLE file = winsup::reserve_temp_file(dir, prefix, 4, GENERIC_READ | GENERIC_WRITE, candidate, sizeof candidate);
  if (file != INVALID_HANDLE_VALUE && !path.assign(candidate)) {
    CloseHandle(file);
    DeleteFileA(candidate);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

}  // namespace vornex
