#include "set_verifier.h"

#include <windows.h>

#include <memory>

#include "set_library.h"
#include "set_reader.h"
#include "split_engine.h"
#include "win32_set_io.h"

namespace velmora {

namespace {

using splitset::Fault;

std::string hex(uint32_t value) {
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[i] = "0123456789ABCDEF"[value & 0xF];
  return text;
}

std::string bare(const std::string& path) { return path.substr(splitset::file_name_start(path.c_str())); }

// The warning about the library beside `first_piece` whose checksum file
// lists it with `listed_crc`, or empty when the file there has that CRC. A
// mismatch does not touch the set's data, so it is no damage.
std::string library_warning(const std::string& first_piece, uint32_t listed_crc) {
  const std::string path = library_beside(first_piece);
  uint32_t crc = 0;
  const bool readable = crc_of_file(path, crc);
  if (readable && crc == listed_crc) return "";
  std::string text = path + ": warning: ";
  text += readable ? "its CRC " + hex(crc) + " differs from the checksum file's " + hex(listed_crc)
                   : "missing or unreadable (the checksum file lists it with " + hex(listed_crc) + ")";
  return text + "; the pieces do not depend on it, but a first piece needs a sound " + kLibraryName +
         " beside it or on the system to run";
}

}  // namespace

VerifyReport verify_set(const std::string& argument) {
  VerifyReport report;
  auto problem = [&report](const std::string& who, const std::string& what) {
    report.lines.push_back(who + ": " + what);
  };
  // The path made full: relative, with '/' or with ".." detours, it names
  // the same set from any current directory, and the names of the other
  // pieces and of the checksum file follow from it.
  std::string full;
  if (!full_path(argument.c_str(), full)) {
    const DWORD error = GetLastError();
    problem(argument, error == ERROR_FILENAME_EXCED_RANGE ? "the path is too long"
                                                          : "cannot be made a full path: " + system_reason(error));
    return report;
  }
  // The shared reading rules, going on past every finding to name them all.
  Win32SetIo io;
  splitset::SetReader reader(io.table(), false);
  if (reader.read_header(full) || reader.header_usable()) {
    if (reader.find_pieces() || reader.findings().empty() ||
        reader.findings().back().fault != Fault::kNamesTooLong) {
      reader.read_checksum_file();
      std::unique_ptr<char[]> buffer(new char[1 << 16]);
      reader.scan(nullptr, nullptr, buffer.get(), 1 << 16);
      reader.check_record();
    }
  }
  const std::string first_piece = full;
  const splitset::SplitHeader& header = reader.header();
  const splitset::IntegrityRecord& record = reader.record();
  const bool record_sound = reader.has_record();
  bool all_there = true, record_differs = false;
  int sfv_mismatches = 0;
  for (const splitset::PieceState& piece : reader.pieces()) all_there = all_there && piece.scanned;
  for (const splitset::Finding& f : reader.findings()) {
    record_differs = record_differs || f.fault == Fault::kRecordDiffers;
    sfv_mismatches += f.fault == Fault::kPieceChecksum;
  }
  const bool record_agrees = record_sound && all_there && !record_differs;
  for (const splitset::Finding& f : reader.findings()) {
    switch (f.fault) {
      case Fault::kPieceMissing: problem(f.path, "missing"); break;
      case Fault::kPieceNotRegular: problem(f.path, "is not a file"); break;
      case Fault::kPieceUnreadable: problem(f.path, "cannot be read: " + f.detail); break;
      case Fault::kHeaderDamaged: problem(f.path, "its header or its integrity record is damaged"); break;
      case Fault::kPieceCount:
        problem(f.path, "its header counts " + f.detail + " pieces, which no set has");
        break;
      case Fault::kNotBareName:
        problem(f.path, "its header stores the name \"" + f.detail +
                            "\", which is not a bare file name: no reader can rebuild it");
        break;
      case Fault::kNamesTooLong: problem(f.path, "the names of its pieces are too long"); break;
      case Fault::kChecksumNotRegular: problem(f.path, "is not a file"); break;
      case Fault::kChecksumUnreadable: problem(f.path, "cannot be read: " + f.detail); break;
      case Fault::kRecordDiffers:
        problem(f.path, "the data of the pieces differ from the integrity record (" +
                            std::to_string(reader.payload_length()) + " bytes, CRC " + hex(reader.payload_crc()) +
                            "; the record says " + std::to_string(record.payload_length) + " bytes, CRC " +
                            hex(record.payload_crc) + ")");
        break;
      case Fault::kPieceChecksum: {
        const splitset::PieceState& piece = reader.pieces()[f.piece];
        const std::string expected = hex(piece.listed_crc), found = hex(piece.file_crc);
        if (record_agrees && f.piece > 0) {
          // A later piece is its ChunkRecord and its data, which the record
          // finds sound: the line is what is wrong.
          problem(reader.checksum_path(), "its line for " + bare(f.path) + " is wrong (" + expected +
                                              ", the piece has " + found +
                                              "); the integrity record finds the data sound");
        } else if (record_agrees) {
          problem(f.path, "its CRC " + found + " differs from the checksum file's " + expected +
                              ", while the integrity record finds the data sound: "
                              "the checksum file or the joiner image at the head of this piece is damaged");
        } else {
          problem(f.path, "its CRC " + found + " differs from the checksum file's " + expected +
                              " (or the checksum file is damaged)");
        }
        break;
      }
      default: problem(f.path, f.detail); break;  // a piece cut short, a ChunkRecord that does not fit
    }
  }
  if (reader.has_checksum_file() && sfv_mismatches == 0 && record_differs) {
    problem(reader.checksum_path(), "the checksum file finds every piece sound, the integrity record does not: "
                                    "the two disagree");
  }

  report.sound = report.lines.empty();
  report.lines.insert(report.lines.end(), io.notes.begin(), io.notes.end());
  // The library's own line in the checksum file: a mismatch is a warning
  // only, since any vornex.dll serves the first piece.
  uint32_t library_crc = 0;
  const std::string& sfv_text = reader.checksum_text();
  if (splitset::sfv_find(sfv_text.data(), sfv_text.size(), kLibraryName, library_crc)) {
    const std::string warning = library_warning(first_piece, library_crc);
    if (!warning.empty()) report.lines.push_back(warning);
  }
  if (report.sound) {
    const bool has_sfv = reader.has_checksum_file();
    std::string summary = first_piece + ": sound, " + std::to_string(header.piece_count) +
                          (header.piece_count == 1 ? " piece" : " pieces");
    if (reader.cut_short()) {
      summary += ", cut short by a Break: it holds only the leading " +
                 std::to_string(reader.payload_length()) + " of " + std::to_string(header.payload_size) +
                 " bytes";
    } else {
      summary += ", " + std::to_string(reader.payload_length()) + " bytes";
    }
    summary += record_sound ? (has_sfv ? "; record and checksum file agree" : "; record agrees")
                            : (has_sfv ? "; checksum file agrees" : "; no checksums to compare");
    report.lines.push_back(summary);
  }
  return report;
}

}  // namespace velmora
