// Which file a handle or a path names, as the system identifies it (volume
// serial number and file index), and whether it changed (size and last
// write). Files are compared this way, never by the spelling of their paths.
#ifndef WINSUP_FILE_IDENTITY_H
#define WINSUP_FILE_IDENTITY_H

#include <windows.h>

#include <cstdint>

namespace winsup {

struct FileIdentity {
  bool known = false;
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  uint64_t size = 0;
  FILETIME last_write = {};

  // The same file on the same volume (both known).
  bool same_file(const FileIdentity& other) const;
  // The same file with the same size: two disks copied from one another can
  // share volume serial and file index.
  bool same_file_and_size(const FileIdentity& other) const { return same_file(other) && size == other.size; }
  // The same file, with the same size and last write.
  bool unchanged(const FileIdentity& other) const;
};

// The identity of an open file; not known when the system cannot tell.
FileIdentity identity_of(HANDLE file);

// The identity of an open file on `volume`, known from another file of the
// same folder: its index and size are a system call each, where the
// volume's serial number costs Wine a round trip to its mount manager (a
// tenth of a millisecond and more, asked for every piece of a split). The
// last write is left out: compare with same_file_and_size.
FileIdentity identity_on_volume(HANDLE file, DWORD volume);

// The identity of the file at `path` (opened for its attributes only, shared
// with everyone); not known when there is none or it cannot be opened.
FileIdentity identity_of(const char* path);

}  // namespace winsup

#endif  // WINSUP_FILE_IDENTITY_H
