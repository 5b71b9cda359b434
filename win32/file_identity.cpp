#include "file_identity.h"

#include <winternl.h>

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

FileIdentity identity_on_volume(HANDLE file, DWORD volume) {
  // From ntdll.dll, which every process has loaded (the binaries import
  // only the system's Win32 libraries); looked up on each call, a lookup in
  // a loaded module's export table, so that no shared state is needed.
  using Query = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS);
  const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
  if (!query) return identity_of(file);
  FileIdentity id;
  IO_STATUS_BLOCK status;
  LARGE_INTEGER index;  // FILE_INTERNAL_INFORMATION
  LARGE_INTEGER size;
  if (query(file, &status, &index, sizeof index, FileInternalInformation) != 0 ||
      !GetFileSizeEx(file, &size))
    return id;
  id.known = true;
  id.volume = volume;
  id.index_high = static_cast<DWORD>(index.HighPart);
  id.index_low = index.LowPart;
  id.size = static_cast<uint64_t>(size.QuadPart);
  return id;
}

}  // namespace winsup
