#include "win32_set_io.h"

#include "crc32_fast.h"
#include "system_error.h"

namespace velmora {

namespace {

void* io_open(void* context, const char* path, splitset::Opened* why) {
  auto& io = *static_cast<Win32SetIo*>(context);
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    io.error = GetLastError();
    *why = (io.error == ERROR_FILE_NOT_FOUND || io.error == ERROR_PATH_NOT_FOUND) ? splitset::Opened::kMissing
           : io.error == ERROR_ACCESS_DENIED && (GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY) &&
                   GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES
               ? splitset::Opened::kNotRegular
               : splitset::Opened::kFailed;
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(file);
    *why = splitset::Opened::kNotRegular;
    return nullptr;
  }
  io.opened.push_back(winsup::identity_of(file));
  *why = splitset::Opened::kOpened;
  return file;
}

int64_t io_read(void* context, void* file, void* buffer, size_t length) {
  size_t done = 0;
  while (done < length) {
    DWORD want = length - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length - done), got = 0;
    if (!ReadFile(file, static_cast<char*>(buffer) + done, want, &got, nullptr)) {
      static_cast<Win32SetIo*>(context)->error = GetLastError();
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

int64_t io_size(void* context, void* file) {
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size)) return size.QuadPart;
  static_cast<Win32SetIo*>(context)->error = GetLastError();
  return -1;
}

void io_close(void*, void* file) { CloseHandle(file); }

std::string io_reason(void* context) { return system_reason(static_cast<Win32SetIo*>(context)->error); }

uint32_t io_crc(uint32_t crc, const void* data, size_t length) { return crc32_fast(crc, data, length); }

void io_note(void* context, const std::string& line) { static_cast<Win32SetIo*>(context)->notes.push_back(line); }

}  // namespace

std::string system_reason(DWORD error) {
  char text[256];
  size_t n = winsup::system_error_text(error, text, sizeof text);
  while (n > 0 && text[n - 1] == '.') --n;
  return n ? std::string(text, n) : "error " + std::to_string(error);
}

splitset::ReaderIo Win32SetIo::table() {
  return splitset::ReaderIo{this, io_open, io_read, io_size, io_close, io_reason, io_crc, nullptr, io_note};
}

}  // namespace velmora
