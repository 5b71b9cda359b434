#include "checksum_file.h"

#include <windows.h>

#include <cstring>

#include "set_integrity.h"
#include "split_engine.h"
#include "split_set_format.h"
#include "temp_file.h"
#include "unique_handle.h"

namespace velmora {

using winsup::UniqueFile;

namespace {

// Writes `text` to a new file in the folder of `final_path` and renames it
// into place. The new file has a short name of its own ("vs00.tmp" to
// "vsFF.tmp", shorter than any name of a set, so it fits wherever the
// checksum file fits) and is created exclusively, so no file that was there
// is touched unless the rename replaces the checksum file itself. On any
// failure the new file is removed again.
bool put_file(const std::string& final_path, const std::string& text) {
  const std::string folder = final_path.substr(0, final_path.find_last_of('\\') + 1);
  char temporary[MAX_PATH];
  UniqueFile file(winsup::reserve_temp_file(folder.c_str(), "vs", 2, GENERIC_WRITE, temporary, sizeof temporary));
  if (!file) return false;
  DWORD written = 0;
  bool whole = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size() && FlushFileBuffers(file.get());
  file.reset();
  if (whole && MoveFileExA(temporary, final_path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileA(temporary);
  return false;
}

}  // namespace

std::string checksum_file_text(const char* first_piece, const char* source_name,
                               const std::vector<uint32_t>& piece_crcs,
                               const std::string& extra_lines) {
  std::string text = "; ";
  text += source_name;
  text += ": the pieces of its set and their CRC-32\r\n";
  char path[splitset::kPathCapacity];
  std::strncpy(path, first_piece, sizeof path - 1);
  path[sizeof path - 1] = '\0';
  char line[splitset::kPathCapacity + 16];
  for (size_t k = 0; k < piece_crcs.size(); ++k) {
    if (k > 0) {
      char number[splitset::kPieceNumberCapacity];
      splitset::format_piece_number(number, static_cast<uint32_t>(k - 1));
      if (!splitset::apply_piece_suffix(path, sizeof path, number)) return "";
    }
    splitset::sfv_line(line, splitset::bare_file_name(path), piece_crcs[k]);
    text += line;
  }
  return text + extra_lines;
}

bool write_checksum_file(const char* first_piece, const char* source_name,
                         const std::vector<uint32_t>& piece_crcs, const std::string& extra_lines) {
  char path[splitset::kPathCapacity];
  std::strncpy(path, first_piece, sizeof path - 1);
  path[sizeof path - 1] = '\0';
  if (!splitset::apply_piece_suffix(path, sizeof path, splitset::kChecksumSuffix)) return false;
  std::string text = checksum_file_text(first_piece, source_name, piece_crcs, extra_lines);
  if (text.empty()) return false;
  if (put_file(path, text)) return true;
  // A checksum file of an earlier set under this name would now condemn the
  // new pieces: it goes, and its room may be enough for the new one.
  if (!DeleteFileA(path)) return false;
  return put_file(path, text);
}

}  // namespace velmora
