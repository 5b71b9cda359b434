#include "source_guard.h"

#include <windows.h>

#include <cstring>

#include "recovery_volumes.h"
#include "set_library.h"
#include "split_engine.h"
#include "set_integrity.h"
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

// The piece number that `text` spells as "%.3d" would print it, or -1.
int64_t piece_number_of(const char* text) {
  size_t length = std::strlen(text);
  if (length < static_cast<size_t>(splitset::kPieceNumberDigits) || length > 10) return -1;
  // Only three-digit numbers carry leading zeros.
  if (length > static_cast<size_t>(splitset::kPieceNumberDigits) && text[0] == '0') return -1;
  int64_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool is_folder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool is_name_of_set(const char* first_piece_name, const char* name, int64_t later_pieces) {
  // The library that travels with the set lies beside its first piece.
  if (std::strlen(name) == std::strlen(kLibraryName) &&
      same_ignoring_case(name, kLibraryName, std::strlen(kLibraryName)))
    return true;
  size_t first_length = std::strlen(first_piece_name);
  size_t suffix_length = std::strlen(splitset::kFirstPieceSuffix);
  if (first_length < suffix_length) return false;
  // The stem: the first piece's name up to and including its marker.
  size_t stem = first_length - suffix_length;
  if (std::strlen(name) <= stem || !same_ignoring_case(first_piece_name, name, stem)) return false;
  const char* rest = name + stem;
  auto is = [rest](const char* suffix) {
    return std::strlen(rest) == std::strlen(suffix) &&
           same_ignoring_case(rest, suffix, std::strlen(suffix));
  };
  if (is(splitset::kFirstPieceSuffix) || is(splitset::kChecksumSuffix)) return true;
  if (is_recovery_file_suffix(rest)) return true;
  int64_t number = piece_number_of(rest);
  if (number < 0) return false;
  return later_pieces == kUnknownPieceCount || number < later_pieces;
}

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
  if (!is_name_of_set(bare_file_name(first_piece), bare_file_name(source), later_pieces))
    return false;
  std::string source_folder = folder_of(source);
  std::string set_folder = folder_of(first_piece);
  // A folder that cannot be named cannot be told apart: refuse.
  if (source_folder.empty() || set_folder.empty()) return true;
  return same_folder(source_folder.c_str(), set_folder.c_str());
}

}  // namespace velmora
