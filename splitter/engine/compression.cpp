#include "compression.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "unique_handle.h"
#include "vornex.h"

namespace velmora {

namespace {
// How the source is stored in the cabinet: its bare file name.
constexpr NameMode kBareName = VORNEX_NAME_BARE;
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

SplitResult compress_to_cabinet(const char* source, const char* cabinet_path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (GetFileAttributesExA(source, GetFileExInfoStandard, &info) &&
      (info.nFileSizeHigh != 0 || info.nFileSizeLow >= kMaxCabinetSource)) {
    return kCompressionFailed;
  }
  uint32_t handle = vornex_init_cab(cabinet_path);
  if (handle == 0) return kCompressionFailed;
  uint8_t added = vornex_add_file(handle, source, 0, kBareName);
  // The close runs after every successful open; a cabinet it could not write
  // is a failure even when the add succeeded.
  uint8_t written = vornex_close_cab(handle);
  return (added && written) ? kSplitDone : kCompressionFailed;
}

bool TempCabinet::reserve(const char* source) {
  remove();
  char base[sizeof path_];
  if (!temp_cabinet_path(source, base, sizeof base)) return false;
  // base ends in ".tmp"; later candidates put their number before it.
  const size_t stem = std::strlen(base) - 4;
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    char candidate[sizeof path_];
    if (attempt == 0) {
      std::strcpy(candidate, base);
    } else {
      const std::string number = "." + std::to_string(attempt) + ".tmp";
      if (stem + number.size() + 1 > sizeof candidate) return false;
      std::memcpy(candidate, base, stem);
      std::strcpy(candidate + stem, number.c_str());
    }
    // Created empty and closed at once: the name is this run's own.
    if (winsup::UniqueFile(CreateFileA(candidate, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr))) {
      std::strcpy(path_, candidate);
      owned_ = true;
      return true;
    }
    DWORD error = GetLastError();
    // Taken by a file or a folder: try the next name. Anything else (no
    // such directory, no right to write there) will not change with the name.
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
        error != ERROR_ACCESS_DENIED)
      return false;
  }
  return false;
}

void TempCabinet::remove() {
  if (owned_) DeleteFileA(path_);
  owned_ = false;
}

}  // namespace velmora
