// The PAR2 component's file functions over one folder, for /repair and
// /verify: names are files in the set's folder. A rebuilt file is written
// under a temporary name there (vrxNNNN.tmp) and renamed into place only
// when the component keeps it; a damaged file in its place is first renamed
// aside to its name + ".damaged" (".damaged1", ".damaged2", ... where that
// exists), never overwritten. The checksum file is never written.
#ifndef VELMORA_FOLDER_PAR2_IO_H
#define VELMORA_FOLDER_PAR2_IO_H

#include <string>
#include <vector>

#include "par2.h"

namespace velmora {

class FolderPar2Io {
 public:
  // `folder`: a full path without a trailing backslash. `checksum_file`:
  // the bare name of the set's checksum file, refused as an output.
  FolderPar2Io(std::string folder, std::string checksum_file);
  par2::Io table();
  // The regular files in the folder, by name.
  std::vector<std::string> list() const;
  std::string path(const std::string& name) const { return folder + "\\" + name; }

  const std::string folder;
  const std::string checksum_file;
  // What the outputs did, one line each (where a damaged file was kept).
  std::vector<std::string> lines;
};

}  // namespace velmora

#endif  // VELMORA_FOLDER_PAR2_IO_H
