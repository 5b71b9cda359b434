#include "temp_file.h"

#include <cstring>

namespace winsup {

HANDLE reserve_temp_file(const char* folder, const char* prefix, unsigned digits, DWORD access, char* path,
                         size_t capacity) {
  static const char kHex[] = "0123456789ABCDEF";
  static volatile LONG calls = 0;
  if (digits < 1 || digits > 4) digits = 4;
  const size_t folder_length = std::strlen(folder), prefix_length = std::strlen(prefix);
  const size_t length = folder_length + prefix_length + digits + 4;
  if (length + 1 > capacity || length >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  std::memcpy(path, folder, folder_length);
  std::memcpy(path + folder_length, prefix, prefix_length);
  char* number_at = path + folder_length + prefix_length;
  std::memcpy(number_at + digits, ".tmp", 5);
  const unsigned count = 1u << (4 * digits);
  const unsigned start = GetTickCount() ^ (GetCurrentProcessId() << 7) ^ (InterlockedIncrement(&calls) * 0x9E37u);
  DWORD cause = ERROR_FILE_EXISTS;  // every name taken, unless the folder says otherwise
  for (unsigned attempt = 0; attempt < count; ++attempt) {
    unsigned number = (start + attempt) & (count - 1);
    for (unsigned d = digits; d-- > 0; number >>= 4) number_at[d] = kHex[number & 15];
    HANDLE file = CreateFileA(path, access, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    // Taken by a file or a folder (a folder refuses with access denied): the
    // next name. Anything else (no such folder, no right to write there)
    // will not change with the name.
    const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                       (error == ERROR_ACCESS_DENIED && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES);
    if (!taken) {
      cause = error;
      break;
    }
  }
  path[0] = '\0';
  SetLastError(cause);
  return INVALID_HANDLE_VALUE;
}

}  // namespace winsup
