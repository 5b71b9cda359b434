// Cabinet files written byte by byte, for inputs that no cabinet writer would
// make (stored names that climb out of a directory, names past the format's
// limit), and the layout of a cabinet read back, so that a test can damage
// it field by field and knows what size each stored file declares.
#ifndef VELMORA_RAW_CABINET_H
#define VELMORA_RAW_CABINET_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace raw_cabinet {

struct Member {
  std::string name;   // stored exactly as given
  std::string bytes;
};

// An uncompressed cabinet: one folder, data blocks of at most 32768 bytes
// with their checksums, the members in order.
std::string build(const std::vector<Member>& members);

struct Field {
  std::size_t offset;
  std::size_t width;  // 1, 2 or 4 bytes, little-endian; a name's length for names
};

struct Layout {
  std::vector<Field> fields;            // the fixed fields of every structure
  std::vector<Field> names;             // the stored names' bytes
  std::vector<std::size_t> boundaries;  // where each structure begins
  std::vector<std::string> stored;      // the stored names, in cabinet order
  std::vector<uint32_t> sizes;          // the size each declares
};

// What can be read of a cabinet's header, folders, files and first data
// blocks, never past its end: a damaged cabinet gives what lies in bounds (a
// name cut off by the end runs to it). When the header's offset of the files
// lies, the entries found right after the folders are listed too.
Layout parse(const std::string& cabinet);

}  // namespace raw_cabinet

#endif  // VELMORA_RAW_CABINET_H
