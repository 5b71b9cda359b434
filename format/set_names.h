// The names a split set takes, beside the piece-name rule (split_set_format.h)
// that makes them: which bare names belong to a set, how many later pieces
// a plain split makes, and the file-name part of a path.
#ifndef VELMORA_SET_NAMES_H
#define VELMORA_SET_NAMES_H

#include <stdint.h>
#include <string.h>

#include "set_integrity.h"
#include "split_set_format.h"

namespace splitset {

// The cabinet library that travels beside a set's first piece.
inline constexpr char kLibraryName[] = "vornex.dll";

// Stands for a number of later pieces that is not known before the split
// (automatic section size, or a compressed payload not yet built).
constexpr int64_t kUnknownPieceCount = -1;

// The file-name part of `path`: the text after its last '\' or '/' (the
// whole path without one), as the piece-name rule reads it.
inline const char* bare_file_name(const char* path) { return path + file_name_start(path); }

// The number of later pieces a payload of `payload_size` bytes takes in
// sections of `section_size` bytes (0 when the first piece holds it all).
inline int64_t later_piece_count(uint32_t payload_size, int32_t section_size) {
  const uint64_t first = static_cast<uint64_t>(section_size) - kFirstDataOffset;
  if (payload_size <= first) return 0;
  const uint64_t later = static_cast<uint64_t>(section_size) - kLaterDataOffset;
  return static_cast<int64_t>((payload_size - first + later - 1) / later);
}

// The piece number that `text` spells as "%.3d" would print it, or -1.
inline int64_t piece_number_of(const char* text) {
  const size_t length = strlen(text);
  if (length < static_cast<size_t>(kPieceNumberDigits) || length > 10) return -1;
  // Only three-digit numbers carry leading zeros.
  if (length > static_cast<size_t>(kPieceNumberDigits) && text[0] == '0') return -1;
  int64_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// `text` equals `word` but for the case of ASCII letters.
inline bool is_word(const char* text, const char* word) {
  const size_t length = strlen(word);
  return strlen(text) == length && same_ignoring_case(text, word, length);
}

// True when `rest` (a name of the set after its marker, "par2" or
// "vol07+19.par2") is the name of one of its PAR2 files, ignoring case.
inline bool is_recovery_file_suffix(const char* rest) {
  if (is_word(rest, "par2")) return true;
  if (strlen(rest) < 3 || !same_ignoring_case(rest, "vol", 3)) return false;
  const char* p = rest + 3;
  auto digits = [&p] {
    const char* start = p;
    while (*p >= '0' && *p <= '9') ++p;
    return p != start;
  };
  if (!digits() || *p++ != '+' || !digits()) return false;
  return is_word(p, ".par2");
}

// True when `name` (a bare file name) is, ignoring case, a name that the set
// whose first piece is called `first_piece_name` (bare, ending in the marker
// and "exe") can take: the first piece, the checksum file, a PAR2 file, the
// library beside the set, or a later piece number below `later_pieces` (any
// number when it is kUnknownPieceCount).
inline bool is_name_of_set(const char* first_piece_name, const char* name, int64_t later_pieces) {
  if (is_word(name, kLibraryName)) return true;
  const size_t first_length = strlen(first_piece_name);
  const size_t suffix_length = strlen(kFirstPieceSuffix);
  if (first_length < suffix_length) return false;
  // The stem: the first piece's name up to and including its marker.
  const size_t stem = first_length - suffix_length;
  if (strlen(name) <= stem || !same_ignoring_case(first_piece_name, name, stem)) return false;
  const char* rest = name + stem;
  if (is_word(rest, kFirstPieceSuffix) || is_word(rest, kChecksumSuffix)) return true;
  if (is_recovery_file_suffix(rest)) return true;
  const int64_t number = piece_number_of(rest);
  if (number < 0) return false;
  return later_pieces == kUnknownPieceCount || number < later_pieces;
}

}  // namespace splitset

#endif  // VELMORA_SET_NAMES_H
