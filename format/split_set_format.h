// The split set: the records, the constants and the piece-name rule that the
// splitter (writer) and the joiner (reader) share.
//
// First piece:  [joiner image 6656][SplitHeader 272][ChunkRecord 12][data...]
// Later piece:  [ChunkRecord 12][data...]
// A data area is ChunkRecord::block_count blocks of 2048 bytes, all whole but
// the last, which holds last_block_size bytes (1..2048). The payload is the
// data areas of the first piece, then of pieces 000, 001, ... in order.
//
// Everything here is header-only and calls nothing from a C runtime, because
// the joiner is built without one.
#ifndef VELMORA_SPLIT_SET_FORMAT_H
#define VELMORA_SPLIT_SET_FORMAT_H

#include <stddef.h>
#include <stdint.h>

namespace splitset {

constexpr uint32_t kJoinerImageSize = 6656;
constexpr uint32_t kHeaderOffset = kJoinerImageSize;
constexpr uint32_t kHeaderSize = 272;
constexpr uint32_t kFirstChunkOffset = kHeaderOffset + kHeaderSize;        // 6928
constexpr uint32_t kChunkSize = 12;
constexpr uint32_t kFirstDataOffset = kFirstChunkOffset + kChunkSize;      // 6940
// A section must be larger than this: the first piece's data area starts here.
constexpr int32_t kMinSectionSize = static_cast<int32_t>(kFirstDataOffset);
constexpr uint32_t kLaterDataOffset = kChunkSize;                          // 12
constexpr uint32_t kBlockSize = 2048;
// Every transfer goes through one buffer of this size.
constexpr uint32_t kCopyBufferSize = 2100;
// A later piece with automatic size needs more free space than this.
constexpr uint32_t kLaterPieceMinFree = 22;
// Where the build places the joiner image inside velmora.exe. The program's
// code must end below it; 448 KiB leaves room for the PAR2 component.
constexpr uint32_t kJoinerImageOffset = 458752;
// Every path of the system lives in a buffer of this many characters.
constexpr uint32_t kPathCapacity = 260;
// The marker in every name of a set, and the first piece's suffix.
constexpr char kMarker[] = "VRAX.";
constexpr char kFirstPieceSuffix[] = "exe";
// Later piece numbers have at least this many digits ("%.3d").
constexpr int kPieceNumberDigits = 3;
// Room for a piece number's text: ten digits and the terminator.
constexpr uint32_t kPieceNumberCapacity = 12;

#pragma pack(push, 1)
// At kHeaderOffset of the first piece.
struct SplitHeader {
  uint32_t payload_size;     // bytes of the payload (the cabinet when compressed)
  char file_name[260];       // the source's bare name, zero-terminated
  int32_t piece_count;       // files in the set, the first piece included
  uint8_t compressed;        // nonzero: the payload is a cabinet of the source
  uint8_t reserved[3];
};

// At kFirstChunkOffset of the first piece and at 0 of every later piece.
struct ChunkRecord {
  uint32_t reserved;          // 0
  int32_t block_count;        // blocks in the data area, the last one counted
  int32_t last_block_size;    // bytes of the last block, 1..2048
};
#pragma pack(pop)

static_assert(sizeof(SplitHeader) == kHeaderSize, "SplitHeader is 272 bytes");
static_assert(offsetof(SplitHeader, payload_size) == 0, "payload_size at 0");
static_assert(offsetof(SplitHeader, file_name) == 4, "file_name at 4");
static_assert(offsetof(SplitHeader, piece_count) == 264, "piece_count at 264");
static_assert(offsetof(SplitHeader, compressed) == 268, "compressed at 268");
static_assert(sizeof(ChunkRecord) == kChunkSize, "ChunkRecord is 12 bytes");
static_assert(offsetof(ChunkRecord, block_count) == 4, "block_count at 4");
static_assert(offsetof(ChunkRecord, last_block_size) == 8, "last_block_size at 8");
static_assert(kFirstChunkOffset == 6928 && kFirstDataOffset == 6940, "first piece layout");
static_assert(kCopyBufferSize >= kBlockSize, "a block fits the copy buffer");

// Bytes that a data area described by `chunk` holds; -1 when the record is
// impossible (negative count, or a last block outside 1..2048).
inline int64_t chunk_data_length(const ChunkRecord& chunk) {
  if (chunk.block_count < 0) return -1;
  if (chunk.block_count == 0) return 0;
  if (chunk.last_block_size < 1 || chunk.last_block_size > static_cast<int32_t>(kBlockSize))
    return -1;
  return static_cast<int64_t>(kBlockSize) * (chunk.block_count - 1) + chunk.last_block_size;
}

// The record of a data area of `length` bytes: whole blocks and one last
// block of 1..2048 bytes; block_count 0 for an empty area.
inline ChunkRecord chunk_for_length(uint32_t length) {
  ChunkRecord chunk{0, 0, 0};
  if (length == 0) return chunk;
  chunk.block_count = static_cast<int32_t>((length + kBlockSize - 1) / kBlockSize);
  chunk.last_block_size = static_cast<int32_t>(length - kBlockSize * (chunk.block_count - 1));
  return chunk;
}

// Writes `value` in decimal with at least `min_digits` digits (leading zeros)
// and a terminator; returns the number of characters written. `out` must hold
// kPieceNumberCapacity characters.
inline uint32_t format_piece_number(char* out, uint32_t value, int min_digits = kPieceNumberDigits) {
  char reversed[kPieceNumberCapacity];
  int n = 0;
  do {
    reversed[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < min_digits && n < static_cast<int>(kPieceNumberCapacity) - 1) reversed[n++] = '0';
  for (int i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
  out[n] = '\0';
  return static_cast<uint32_t>(n);
}

// Names of a set compare without regard to the case of ASCII letters, the
// same on every platform and in every code page.
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline bool same_ignoring_case(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

// Where the file-name part of `path` starts: behind its last '\' or '/'.
inline uint32_t file_name_start(const char* path) {
  uint32_t start = 0;
  for (uint32_t i = 0; path[i] != '\0'; ++i)
    if (path[i] == '\\' || path[i] == '/') start = i + 1;
  return start;
}

// How the piece-name rule finds the marker. The splitter writes names and
// takes the first "VRAX." exactly as written (a source named partVRAX.bin
// keeps its marker). A reader starts from a name that may have been lowercased
// on the way (FAT media, copy tools): it takes the last marker in any case,
// which in every name the splitter writes is the one it wrote, since only the
// suffix follows it.
enum class MarkerSearch { kWriting, kReading };

// Where the marker of the file-name part of `path` starts, or -1.
inline int32_t find_marker(const char* path, MarkerSearch search) {
  int32_t found = -1;
  for (uint32_t i = file_name_start(path); path[i] != '\0'; ++i) {
    uint32_t k = 0;
    for (char c; k < sizeof(kMarker) - 1; ++k) {
      c = path[i + k];
      // Upper case for a reader: the marker's letters are upper case, and
      // nothing above 'z' folds onto one of its characters.
      if (search == MarkerSearch::kReading && c >= 'a') c = static_cast<char>(c - ('a' - 'A'));
      if (c != kMarker[k]) break;
    }
    if (k == sizeof(kMarker) - 1) {
      found = static_cast<int32_t>(i);
      if (search == MarkerSearch::kWriting) break;
    }
  }
  return found;
}

// The piece-name rule, applied in place to `path` (a buffer of `capacity`
// characters) with `suffix`. Only the file-name part counts (the text behind
// the last '\' or '/'), so a set always lies in the folder its path names:
//   - the name holds the marker: what follows it becomes suffix (the
//     marker's own letters stay as they are);
//   - else the name holds a dot: the text from its last dot becomes
//     "VRAX." suffix;
//   - else "VRAX." suffix is appended.
// Returns false, leaving `path` unchanged, when the result would not fit.
inline bool apply_piece_suffix(char* path, uint32_t capacity, const char* suffix,
                               MarkerSearch search = MarkerSearch::kWriting) {
  constexpr uint32_t marker_length = sizeof(kMarker) - 1;
  uint32_t length = 0;
  while (path[length] != '\0') ++length;
  uint32_t suffix_length = 0;
  while (suffix[suffix_length] != '\0') ++suffix_length;

  const int32_t marker = find_marker(path, search);
  uint32_t cut = length;  // where the marker goes (or stays)
  if (marker >= 0) {
    cut = static_cast<uint32_t>(marker);
  } else {
    for (uint32_t i = file_name_start(path); i < length; ++i)
      if (path[i] == '.') cut = i;
  }
  if (cut + marker_length + suffix_length + 1 > capacity) return false;
  if (marker < 0)
    for (uint32_t k = 0; k < marker_length; ++k) path[cut + k] = kMarker[k];
  for (uint32_t k = 0; k <= suffix_length; ++k) path[cut + marker_length + k] = suffix[k];
  return true;
}

}  // namespace splitset

#endif  // VELMORA_SPLIT_SET_FORMAT_H
