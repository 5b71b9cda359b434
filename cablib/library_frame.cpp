#include "library_frame.h"

#include <cstring>

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
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  if (n == 0 || n >= sizeof text) return;  // no text for this code: nothing to log
  text[n] = '\0';
  write_error_log(text);
}

void create_path_dirs(const char* path) {
  if (!path) return;
  Text copy;
  if (!copy.assign(path)) return;
  char* text = copy.data();
  char* first = std::strchr(text, '\\');
  if (!first) return;
  for (char* at = std::strchr(first + 1, '\\'); at; at = std::strchr(at + 1, '\\')) {
    char kept = at[1];
    at[1] = '\0';  // the prefix up to and including this backslash
    CreateDirectoryA(text, nullptr);
    at[1] = kept;
  }
}

uint32_t dir_part_length(const char* path) {
  if (!path) return 0;
  const char* last = std::strrchr(path, '\\');
  return last ? static_cast<uint32_t>(last - path + 1) : 0;
}

HANDLE create_temp_file_in(const char* dir, const char* prefix, Text& path) {
  static unsigned counter = 0;
  unsigned start = (GetTickCount() ^ (GetCurrentProcessId() << 7)) + ++counter * 0x9E37u;
  std::size_t prefix_length = std::strlen(prefix);
  if (prefix_length > 3) prefix_length = 3;
  for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
    static const char kHex[] = "0123456789ABCDEF";
    unsigned number = (start + attempt) & 0xFFFFu;
    char digits[4] = {kHex[number >> 12], kHex[(number >> 8) & 15], kHex[(number >> 4) & 15],
                      kHex[number & 15]};
    Text candidate;
    if (!candidate.append(dir) || !candidate.append(prefix, prefix_length) ||
        !candidate.append(digits, 4) || !candidate.append(".tmp"))
      return INVALID_HANDLE_VALUE;
    if (candidate.size() >= MAX_PATH) return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      if (!path.assign(candidate.c_str(), candidate.size())) {
        CloseHandle(file);
        DeleteFileA(candidate.c_str());
        return INVALID_HANDLE_VALUE;
      }
      return file;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace vornex
