#include "source_guard.h"

#include <windows.h>

#include <cstring>

#include "split_engine.h"
#include "set_integrity.h"
#include "set_names.h"
#include "split_set_format.h"
#include "file_identity.h"
#include "unique_handle.h"

namespace velmora {

using winsup::UniqueFile;

namespace {

using splitset::same_ignoring_case;

bool same_ignoring_case(const std::string& a, const std::string& b) {
  return a.size() == b.size() && same_ignoring_case(a.data(), b.data(), a.size());
}

bool is_folder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string folder_of(const char* path) {
  char full[MAX_PATH];
  char* file_part = nullptr;
  DWORD length = GetFullPathNameA(path, sizeof full, full, &file_part);
  if (length == 0 || length >= sizeof full) return "";
  std::string text(full, length);
  size_t last = text.find_last_of('\\');
  if (last == std::string::npos) return "";
  // The root keeps its backslash ("C:\"); other folders lose it.
  size_t keep = (last == 0 || text[last - 1] == ':') ? last + 1 : last;
  return text.substr(0, keep);
}

bool same_folder(const char* folder_a, const char* folder_b) {
  std::string a = folder_a, b = folder_b;
  if (!is_folder(a) || !is_folder(b)) return false;
  const winsup::FileIdentity id_a = winsup::identity_of(a.c_str()), id_b = winsup::identity_of(b.c_str());
  if (id_a.known && id_b.known) return id_a.same_file(id_b);
  // Both exist but one cannot be opened: the spelling is all there is.
  return same_ignoring_case(a, b);
}

bool split_would_overwrite_source(const char* source, const char* first_piece,
                                  int64_t later_pieces) {
  if (!splitset::is_name_of_set(splitset::bare_file_name(first_piece), splitset::bare_file_name(source),
                               later_pieces))
    return false;
  std::string source_folder = folder_of(source);
  std::string set_folder = folder_of(first_piece);
  // A folder that cannot be named cannot be told apart: refuse.
  if (source_folder.empty() || set_folder.empty()) return true;
  return same_folder(source_folder.c_str(), set_folder.c_str());
}

}  // namespace velmora
