#include "set_verifier.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "crc32.h"
#include "crc32_fast.h"
#include "set_integrity.h"
#include "set_library.h"
#include "split_set_format.h"
#include "win_handles.h"

namespace velmora {

namespace {

using splitset::ChunkRecord;
using splitset::SplitHeader;

// No set of a payload below 2 GiB in sections above 6940 bytes has more.
constexpr int32_t kMostPieces = 400000;

std::string system_reason(DWORD error) {
  char text[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) --n;
  return n ? std::string(text, n) : "error " + std::to_string(error);
}

std::string hex(uint32_t value) {
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[i] = "0123456789ABCDEF"[value & 0xF];
  return text;
}

// One piece file read once from start to end.
struct PieceScan {
  std::string problem;          // empty: the piece is sound in itself
  std::string head;             // its first `data_offset` bytes
  ChunkRecord chunk{0, 0, 0};
  uint32_t data_length = 0;
  uint32_t data_crc = 0;
  uint32_t file_crc = 0;
};

PieceScan scan_piece(const std::string& path, uint32_t data_offset) {
  PieceScan scan;
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    DWORD error = GetLastError();
    scan.problem = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                       ? "missing"
                       : "cannot be opened: " + system_reason(error);
    return scan;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) {
    scan.problem = "cannot be read: " + system_reason(GetLastError());
    return scan;
  }
  if (size.QuadPart < data_offset) {
    scan.problem = "is cut short: " + std::to_string(size.QuadPart) + " bytes, less than its head";
    return scan;
  }
  const size_t kChunk = 1 << 16;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  uint64_t at = 0, data_end = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.get(), kChunk, &got, nullptr)) {
      scan.problem = "cannot be read: " + system_reason(GetLastError());
      return scan;
    }
    if (got == 0) break;
    const char* p = buffer.get();
    scan.file_crc = crc32_fast(scan.file_crc, p, got);
    // The head first; from it the record, and where the data area ends.
    size_t used = 0;
    if (at < data_offset) {
      used = static_cast<size_t>(data_offset - at) < got ? data_offset - at : got;
      scan.head.append(p, used);
      if (scan.head.size() == data_offset) {
        std::memcpy(&scan.chunk, scan.head.data() + data_offset - splitset::kChunkSize,
                    sizeof scan.chunk);
        int64_t length = splitset::chunk_data_length(scan.chunk);
        if (length < 0) {
          scan.problem = "its ChunkRecord is impossible (" + std::to_string(scan.chunk.block_count) +
                         " blocks, last " + std::to_string(scan.chunk.last_block_size) + " bytes)";
        } else if (static_cast<uint64_t>(size.QuadPart) != data_offset + static_cast<uint64_t>(length)) {
          scan.problem = "its ChunkRecord describes " + std::to_string(length) +
                         " data bytes, the file holds " +
                         std::to_string(size.QuadPart - data_offset);
        }
        if (length > 0) data_end = data_offset + static_cast<uint64_t>(length);
        else data_end = data_offset;
      }
    }
    if (at + got > data_offset && used < got) {
      uint64_t from = at + used;
      uint64_t to = at + got < data_end ? at + got : data_end;
      if (to > from) {
        scan.data_crc = crc32_fast(scan.data_crc, p + (from - at), static_cast<size_t>(to - from));
        scan.data_length += static_cast<uint32_t>(to - from);
      }
    }
    at += got;
  }
  return scan;
}

std::string bare(const std::string& path) {
  size_t last = path.find_last_of('\\');
  return last == std::string::npos ? path : path.substr(last + 1);
}

// A stored name names the rebuilt file in the reader's folder: anything but
// a bare file name would put it elsewhere, or nowhere.
bool is_bare_name(const char* name, uint32_t length) {
  if (length == 0 || length == sizeof(SplitHeader::file_name)) return false;
  const std::string text(name, length);
  return text != "." && text != ".." && text.find_first_of("\\/:") == std::string::npos;
}

}  // namespace

VerifyReport verify_set(const std::string& argument) {
  VerifyReport report;
  std::vector<std::string> notes;  // lines that say something without finding damage
  auto problem = [&report](const std::string& who, const std::string& what) {
    report.lines.push_back(who + ": " + what);
  };
  // The path made full: relative, with '/' or with ".." detours, it names
  // the same set from any current directory, and the names of the other
  // pieces and of the checksum file follow from it.
  char full[splitset::kPathCapacity];
  DWORD full_length = GetFullPathNameA(argument.c_str(), sizeof full, full, nullptr);
  if (full_length == 0 || full_length >= sizeof full) {
    problem(argument, full_length == 0 ? "cannot be made a full path: " + system_reason(GetLastError())
                                       : "the path is too long");
    return report;
  }
  const std::string first_piece = full;
  PieceScan first = scan_piece(first_piece, splitset::kFirstDataOffset);
  if (first.head.size() < splitset::kFirstDataOffset) {
    problem(first_piece, first.problem);
    return report;
  }
  if (!first.problem.empty()) problem(first_piece, first.problem);
  SplitHeader header;
  std::memcpy(&header, first.head.data() + splitset::kHeaderOffset, sizeof header);
  if (header.piece_count < 1 || header.piece_count > kMostPieces) {
    problem(first_piece, "its header counts " + std::to_string(header.piece_count) +
                             " pieces, which no set has");
    return report;
  }
  const uint32_t stored_length = splitset::name_length(header);
  if (!is_bare_name(header.file_name, stored_length)) {
    problem(first_piece, "its header stores the name \"" + std::string(header.file_name, stored_length) +
                             "\", which is not a bare file name: no reader can rebuild it");
  }
  splitset::Crc32Table table;
  splitset::crc32_init(table);
  splitset::IntegrityRecord record{};
  const splitset::Integrity integrity = splitset::get_integrity(table, header, record);
  if (integrity == splitset::Integrity::kDamaged)
    problem(first_piece, "its header or its integrity record is damaged");

  // Every piece once: its own soundness, its CRC, its share of the payload.
  std::vector<std::string> names{first_piece};
  std::vector<PieceScan> scans;
  scans.push_back(std::move(first));
  bool all_there = scans[0].problem.empty();
  char path[splitset::kPathCapacity];
  std::strcpy(path, first_piece.c_str());
  for (int32_t k = 1; k < header.piece_count; ++k) {
    char number[splitset::kPieceNumberCapacity];
    splitset::format_piece_number(number, static_cast<uint32_t>(k - 1));
    if (!splitset::apply_piece_suffix(path, sizeof path, number, splitset::MarkerSearch::kReading)) {
      problem(first_piece, "the names of its pieces are too long");
      return report;
    }
    names.push_back(path);
    scans.push_back(scan_piece(path, splitset::kLaterDataOffset));
    if (!scans.back().problem.empty()) {
      problem(path, scans.back().problem);
      all_there = false;
    }
  }
  uint64_t payload_length = 0;
  uint32_t payload_crc = 0;
  for (const PieceScan& scan : scans) {
    payload_crc = splitset::crc32_combine(payload_crc, scan.data_crc, scan.data_length);
    payload_length += scan.data_length;
  }
  const bool record_sound = integrity == splitset::Integrity::kSound;
  const bool record_agrees = record_sound && all_there &&
                             record.payload_length == payload_length &&
                             record.payload_crc == payload_crc;
  if (record_sound && all_there && !record_agrees) {
    problem(first_piece, "the data of the pieces differ from the integrity record (" +
                             std::to_string(payload_length) + " bytes, CRC " + hex(payload_crc) +
                             "; the record says " + std::to_string(record.payload_length) +
                             " bytes, CRC " + hex(record.payload_crc) + ")");
  }

  // The checksum file, where there is one, named in the first piece's case
  // (a lowercased set has a lowercased checksum file). One that lacks the
  // line of a piece does not describe this set: it is set aside and the
  // record decides. Otherwise each piece is compared with its line.
  std::strcpy(path, first_piece.c_str());
  const int32_t marker = splitset::find_marker(path, splitset::MarkerSearch::kReading);
  const bool upper_suffix = marker >= 0 && path[marker + 5] >= 'A' && path[marker + 5] <= 'Z';
  splitset::apply_piece_suffix(path, sizeof path, upper_suffix ? "SFV" : splitset::kChecksumSuffix,
                               splitset::MarkerSearch::kReading);
  const std::string sfv_path = path;
  UniqueFile sfv(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr));
  bool has_sfv = false;
  int sfv_mismatches = 0;
  std::string text;
  if (sfv) {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(sfv.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    has_sfv = true;
    for (const std::string& name : names) {
      uint32_t expected = 0;
      if (!splitset::sfv_find(text.data(), text.size(), bare(name).c_str(), expected)) {
        notes.push_back(sfv_path + ": has no line for " + bare(name) +
                        ", so it does not describe this set; set aside, " +
                        (record_sound ? "the integrity record decides" : "no checksums to compare"));
        has_sfv = false;
        break;
      }
    }
  }
  // The library's own line (set_library.h): a mismatch is a warning only.
  uint32_t library_crc = 0;
  if (splitset::sfv_find(text.data(), text.size(), kLibraryName, library_crc)) {
    const std::string warning = library_warning(first_piece, library_crc);
    if (!warning.empty()) notes.push_back(warning);
  }
  if (has_sfv) {
    for (size_t k = 0; k < scans.size(); ++k) {
      if (scans[k].head.empty()) continue;  // missing: said already
      uint32_t expected = 0;
      splitset::sfv_find(text.data(), text.size(), bare(names[k]).c_str(), expected);
      if (expected != scans[k].file_crc) {
        ++sfv_mismatches;
        if (record_agrees && k > 0) {
          // A later piece is its ChunkRecord and its data, which the record
          // finds sound: the line is what is wrong.
          problem(sfv_path, "its line for " + bare(names[k]) + " is wrong (" + hex(expected) +
                                ", the piece has " + hex(scans[k].file_crc) +
                                "); the integrity record finds the data sound");
        } else if (record_agrees) {
          problem(names[k], "its CRC " + hex(scans[k].file_crc) + " differs from the checksum file's " +
                                hex(expected) + ", while the integrity record finds the data sound: "
                                "the checksum file or the joiner image at the head of this piece is damaged");
        } else {
          problem(names[k], "its CRC " + hex(scans[k].file_crc) + " differs from the checksum file's " +
                                hex(expected) + " (or the checksum file is damaged)");
        }
      }
    }
    if (sfv_mismatches == 0 && record_sound && all_there && !record_agrees) {
      problem(sfv_path, "the checksum file finds every piece sound, the integrity record does not: "
                        "the two disagree");
    }
  }

  report.sound = report.lines.empty();
  report.lines.insert(report.lines.end(), notes.begin(), notes.end());
  if (report.sound) {
    std::string summary = first_piece + ": sound, " + std::to_string(header.piece_count) +
                          (header.piece_count == 1 ? " piece" : " pieces");
    if (record_sound && (record.flags & splitset::kIntegrityCutShort)) {
      summary += ", cut short by a Break: it holds only the leading " +
                 std::to_string(payload_length) + " of " + std::to_string(header.payload_size) +
                 " bytes";
    } else {
      summary += ", " + std::to_string(payload_length) + " bytes";
    }
    summary += record_sound ? (has_sfv ? "; record and checksum file agree" : "; record agrees")
                            : (has_sfv ? "; checksum file agrees" : "; no checksums to compare");
    report.lines.push_back(summary);
  }
  return report;
}

}  // namespace velmora
