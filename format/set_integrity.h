// How a split set proves itself, in two places that readers following the
// set format ignore:
//
// The integrity record, 32 bytes inside the first piece's SplitHeader, in
//    the tail of file_name behind its terminating zero (header offsets 232 to
//    263). It holds the number of pieces, the length and CRC-32 of the
//    payload the set carries, the source's last-write time, whether a Break
//    cut the set short, and a CRC of the header's meaningful fields and of the
//    record itself. A source name of more than 227 characters leaves no room
//    and its set carries no record.
//
//      record offset  width  field
//      0              4      signature "VRXC"
//      4              1      version (1)
//      5              1      flags: bit 0, a Break cut the set short
//      6              2      0
//      8              4      piece_count (as in the header)
//      12             4      payload bytes the set carries (less than the
//                            header's payload_size after a Break)
//      16             4      CRC-32 of those bytes
//      20             8      the source's last-write time (FILETIME)
//      28             4      CRC-32 of: payload_size (4 bytes), file_name up to
//                            and including its zero, piece_count (4),
//                            compressed (1), record bytes 0..27
//
// The checksum file beside the first piece, named by the piece-name rule
//    with the suffix "sfv" (reportVRAX.sfv), in the common SFV form: comment
//    lines begin with ';', every other line is a piece's file name, one
//    space, and the CRC-32 of the whole piece file in eight hex digits.
//
// Header-only and free of any C runtime call (the joiner uses it).
#ifndef VELMORA_SET_INTEGRITY_H
#define VELMORA_SET_INTEGRITY_H

#include <stddef.h>
#include <stdint.h>

#include "crc32.h"
#include "split_set_format.h"

namespace splitset {

constexpr uint32_t kIntegritySize = 32;
// Where the record starts inside file_name; the name needs its zero before it.
constexpr uint32_t kIntegrityNameOffset = sizeof(SplitHeader::file_name) - kIntegritySize;  // 228
constexpr uint32_t kIntegrityMaxNameLength = kIntegrityNameOffset - 1;                       // 227
constexpr char kIntegritySignature[4] = {'V', 'R', 'X', 'C'};
constexpr uint8_t kIntegrityVersion = 1;
constexpr uint8_t kIntegrityCutShort = 1;  // flags: a Break cut the set short
constexpr char kChecksumSuffix[] = "sfv";

#pragma pack(push, 1)
struct IntegrityRecord {
  char signature[4];
  uint8_t version;
  uint8_t flags;
  uint16_t reserved;
  int32_t piece_count;
  uint32_t payload_length;
  uint32_t payload_crc;
  uint32_t write_time_low;
  uint32_t write_time_high;
  uint32_t header_crc;
};
#pragma pack(pop)

static_assert(sizeof(IntegrityRecord) == kIntegritySize, "the record is 32 bytes");
static_assert(offsetof(IntegrityRecord, header_crc) == 28, "header_crc at 28");
static_assert(offsetof(SplitHeader, file_name) + kIntegrityNameOffset == 232,
              "the record sits at header offset 232");

inline uint32_t name_length(const SplitHeader& header) {
  uint32_t n = 0;
  while (n < sizeof header.file_name && header.file_name[n] != '\0') ++n;
  return n;
}

// The CRC that guards the header's meaningful fields and the record.
inline uint32_t integrity_header_crc(const Crc32Table& table, const SplitHeader& header,
                                     const IntegrityRecord& record) {
  uint32_t crc = crc32_update(table, 0, &header.payload_size, sizeof header.payload_size);
  crc = crc32_update(table, crc, header.file_name, name_length(header) + 1);
  crc = crc32_update(table, crc, &header.piece_count, sizeof header.piece_count);
  crc = crc32_update(table, crc, &header.compressed, sizeof header.compressed);
  return crc32_update(table, crc, &record, offsetof(IntegrityRecord, header_crc));
}

// Seals `record` (its piece_count and header_crc) against `header` and
// stores it in the tail of file_name. False, and the header untouched, when the name leaves no room.
inline bool put_integrity(const Crc32Table& table, SplitHeader& header, IntegrityRecord record) {
  if (name_length(header) > kIntegrityMaxNameLength) return false;
  for (int i = 0; i < 4; ++i) record.signature[i] = kIntegritySignature[i];
  record.version = kIntegrityVersion;
  record.reserved = 0;
  record.piece_count = header.piece_count;
  record.header_crc = integrity_header_crc(table, header, record);
  const char* from = reinterpret_cast<const char*>(&record);
  for (uint32_t i = 0; i < kIntegritySize; ++i) header.file_name[kIntegrityNameOffset + i] = from[i];
  return true;
}

enum class Integrity { kNone, kSound, kDamaged };

// Copies the record out of `header`; false when the set carries none (no
// room, no signature, or a version this reader does not know).
inline bool read_integrity(const SplitHeader& header, IntegrityRecord& record) {
  if (name_length(header) > kIntegrityMaxNameLength) return false;
  char* to = reinterpret_cast<char*>(&record);
  for (uint32_t i = 0; i < kIntegritySize; ++i) to[i] = header.file_name[kIntegrityNameOffset + i];
  for (int i = 0; i < 4; ++i)
    if (record.signature[i] != kIntegritySignature[i]) return false;
  return record.version == kIntegrityVersion;
}

// Reads the record of `header`: kNone when the set carries none, kDamaged
// when the signature is there but the header or the record fail their CRC.
inline Integrity get_integrity(const Crc32Table& table, const SplitHeader& header,
                               IntegrityRecord& record) {
  if (!read_integrity(header, record)) return Integrity::kNone;
  if (record.header_crc != integrity_header_crc(table, header, record) ||
      record.piece_count != header.piece_count)
    return Integrity::kDamaged;
  return Integrity::kSound;
}

// The same reading for a reader with a CRC-32 routine of its own instead of
// the table (crc, data, length); the joiner keeps the table forms above.
template <typename Update>
inline Integrity get_integrity_by(Update update, const SplitHeader& header, IntegrityRecord& record) {
  if (!read_integrity(header, record)) return Integrity::kNone;
  uint32_t crc = update(0, &header.payload_size, sizeof header.payload_size);
  crc = update(crc, header.file_name, name_length(header) + 1);
  crc = update(crc, &header.piece_count, sizeof header.piece_count);
  crc = update(crc, &header.compressed, sizeof header.compressed);
  crc = update(crc, &record, offsetof(IntegrityRecord, header_crc));
  if (record.header_crc != crc || record.piece_count != header.piece_count) return Integrity::kDamaged;
  return Integrity::kSound;
}

// One SFV line, "name XXXXXXXX" and CR LF, into `out`; returns its length.
// `out` needs the name's length + 11 characters.
inline uint32_t sfv_line(char* out, const char* name, uint32_t crc) {
  uint32_t n = 0;
  while (name[n] != '\0') {
    out[n] = name[n];
    ++n;
  }
  out[n++] = ' ';
  for (int shift = 28; shift >= 0; shift -= 4) out[n++] = "0123456789ABCDEF"[(crc >> shift) & 0xF];
  out[n++] = '\r';
  out[n++] = '\n';
  out[n] = '\0';
  return n;
}

inline int hex_digit(char c) {
  c = ascii_lower(c);
  return (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// Finds the line for `name` (compared without regard to case) in the SFV text
// and reads its CRC. Such a line is the name, blanks, eight hex digits and
// the line's end (blanks and a CR may stand before it); comment lines and
// lines of another form are passed over. False when no line names `name`.
inline bool sfv_find(const char* text, size_t length, const char* name, uint32_t& crc) {
  const char* end = text + length;
  for (const char* p = text; p < end;) {
    const char* q = name;
    while (*q && p < end && ascii_lower(*p) == ascii_lower(*q)) ++p, ++q;
    bool named = *q == '\0' && q != name && p < end && (*p == ' ' || *p == '\t');
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    uint32_t value = 0;
    int digits = 0;
    for (int v; p < end && (v = hex_digit(*p)) >= 0; ++p, ++digits)
      value = value << 4 | static_cast<uint32_t>(v);
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
    if (named && digits == 8 && (p == end || *p == '\n')) {
      crc = value;
      return true;
    }
    while (p < end && *p++ != '\n') {
    }
  }
  return false;
}

}  // namespace splitset

#endif  // VELMORA_SET_INTEGRITY_H
