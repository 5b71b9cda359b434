#include "library_frame.h"

#include <cstdio>
#include <cstring>

namespace vornex {

LibraryLock& library_lock() {
  static LibraryLock lock;
  return lock;
}

std::string format_log_line(const SYSTEMTIME& t, const char* message) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d.%02d.%04d %02d:%02d:%02d ", t.wDay, t.wMonth,
                t.wYear, t.wHour, t.wMinute, t.wSecond);
  std::string line(stamp);
  if (message) line += message;
  return line;
}

void write_error_log(const char* message) {
  char dir[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
  if (n == 0 || n >= sizeof dir) return;  // no room for the path: the line is dropped
  std::string path(dir, n);
  path += "//_caberrors.log";
  if (path.size() >= MAX_PATH) return;

  FILE* log = std::fopen(path.c_str(), "at");
  if (!log) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string line = format_log_line(now, message);
  line += '\n';
  std::fputs(line.c_str(), log);
  std::fclose(log);
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
  std::string copy(path);
  std::size_t first = copy.find('\\');
  if (first == std::string::npos) return;
  for (std::size_t i = copy.find('\\', first + 1); i != std::string::npos;
       i = copy.find('\\', i + 1)) {
    CreateDirectoryA(copy.substr(0, i + 1).c_str(), nullptr);
  }
}

uint32_t dir_part_length(const char* path) {
  if (!path) return 0;
  const char* last = std::strrchr(path, '\\');
  return last ? static_cast<uint32_t>(last - path + 1) : 0;
}

}  // namespace vornex

namespace vornex {

HANDLE create_temp_file_in(const std::string& dir, const char* prefix, std::string& path) {
  static unsigned counter = 0;
  unsigned start = (GetTickCount() ^ (GetCurrentProcessId() << 7)) + ++counter * 0x9E37u;
  for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "%.3s%04X.tmp", prefix, (start + attempt) & 0xFFFFu);
    std::string candidate = dir + name;
    if (candidate.size() >= MAX_PATH) return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      path = candidate;
      return file;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace vornex
