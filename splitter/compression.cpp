#include "compression.h"

#include <windows.h>

#include <cstring>

#include "vornex.h"

namespace velmora {

namespace {
// How the source is stored in the cabinet: its bare file name.
constexpr NameMode kBareName = 2;
}  // namespace

bool temp_cabinet_path(const char* source, char* out, uint32_t capacity) {
  char temp[MAX_PATH + 1];
  DWORD temp_length = GetTempPathA(sizeof temp, temp);
  if (temp_length == 0 || temp_length >= sizeof temp) return false;
  const char* tail = std::strrchr(source, '\\');
  if (!tail) tail = source;
  static constexpr char kExtension[] = ".tmp";
  size_t needed = temp_length + std::strlen(tail) + sizeof kExtension;
  if (needed > capacity) return false;
  std::memcpy(out, temp, temp_length);
  std::strcpy(out + temp_length, tail);
  std::strcat(out, kExtension);
  return true;
}

int compress_to_cabinet(const char* source, const char* cabinet_path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (GetFileAttributesExA(source, GetFileExInfoStandard, &info) &&
      (info.nFileSizeHigh != 0 || info.nFileSizeLow >= kMaxCabinetSource)) {
    return 6;
  }
  uint32_t handle = vornex_init_cab(cabinet_path);
  if (handle == 0) return 6;
  uint8_t added = vornex_add_file(handle, source, 0, kBareName);
  // The close runs after every successful open; a cabinet it could not write
  // is a failure even when the add succeeded.
  uint8_t written = vornex_close_cab(handle);
  return (added && written) ? 0 : 6;
}

void remove_temp_cabinet(const char* cabinet_path) {
  DWORD attributes = GetFileAttributesA(cabinet_path);
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    DeleteFileA(cabinet_path);
}

}  // namespace velmora
