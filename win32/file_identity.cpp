#include "file_identity.h"

#include "unique_handle.h"

namespace winsup {

bool FileIdentity::same_file(const FileIdentity& other) const {
  return known && other.known && volume == other.volume && index_high == other.index_high &&
         index_low == other.index_low;
}

bool FileIdentity::unchanged(const FileIdentity& other) const {
  return same_file(other) && size == other.size &&
         CompareFileTime(&last_write, &other.last_write) == 0;
}

FileIdentity identity_of(HANDLE file) {
  FileIdentity id;
  BY_HANDLE_FILE_INFORMATION info;
  if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info)) return id;
  id.known = true;
  id.volume = info.dwVolumeSerialNumber;
  id.index_high = info.nFileIndexHigh;
  id.index_low = info.nFileIndexLow;
  id.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  id.last_write = info.ftLastWriteTime;
  return id;
}

FileIdentity identity_of(const char* path) {
  if (!path) return FileIdentity();
  UniqueFile file(CreateFileA(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return identity_of(file.get());
}

}  // namespace winsup
