// The cabinet library that travels with a set.
//
// A first piece imports three functions of vornex.dll when it is loaded, and
// Windows looks for a DLL first in the folder of the program that needs it.
// So the splitter puts a copy of its own vornex.dll (the one in its own
// program folder) beside the first piece, and the set rebuilds on a machine
// that never had velmora. A file of that name already in the folder is kept
// as it is: any version serves those three imports.
#ifndef VELMORA_SET_LIBRARY_H
#define VELMORA_SET_LIBRARY_H

#include <windows.h>

#include <cstdint>
#include <string>

#include "file_identity.h"
#include "set_names.h"
#include "split_result.h"

namespace velmora {

using splitset::kLibraryName;
// The library as it is built is no larger than this.
inline constexpr uint32_t kLibraryMostBytes = 64 * 1024;

// The library in one split's target folder. A copy this split made is
// removed again when the object ends without keep(), provided the file under
// that name is still the one it wrote (with automatic size another disk may
// be in the drive by then).
class SetLibrary {
 public:
  SetLibrary() = default;
  SetLibrary(const SetLibrary&) = delete;
  SetLibrary& operator=(const SetLibrary&) = delete;
  ~SetLibrary();

  // Puts the library into `folder` (a full path; it must exist), copied from
  // the folder of `own_program`, unless a file of that name is there. The
  // copy is written under a temporary name in `folder` and renamed into
  // place only when whole, without replacing anything: a file that appears
  // meanwhile is kept instead. Returns 0 or the split's result for what
  // failed: 7 (the own library cannot be read, as with the joiner image),
  // 3 (it cannot be written there) or 5 (no memory for the copy).
  SplitResult place(const std::string& folder, const char* own_program);

  // The split is done: the copy stays.
  void keep() { created_ = false; }

  // The library's bytes as this split wrote them, or as the kept file held
  // them when place() found it (read then, while the disk it lies on is in
  // the drive), and its name there; empty when nothing was placed, when the
  // kept file could not be read whole, or when it is larger than
  // kLibraryMostBytes (no library of ours: kept, but not carried along).
  const std::string& bytes() const { return bytes_; }
  const std::string& name() const { return name_; }

  // The checksum file's line for the library as it lies in the folder now
  // (under the name it has there, with the CRC-32 of the whole file); empty
  // when nothing was placed or it cannot be read.
  std::string checksum_line() const;

 private:
  std::string path_;  // empty: nothing placed
  std::string name_, bytes_;
  bool created_ = false;
  winsup::FileIdentity identity_;
};

// The path of the library beside `first_piece`, and the CRC-32 of the whole
// file there; false when it is missing or cannot be read whole.
std::string library_beside(const std::string& first_piece);
bool crc_of_file(const std::string& path, uint32_t& crc);

}  // namespace velmora

#endif  // VELMORA_SET_LIBRARY_H
