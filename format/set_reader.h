// The reading rules of a split set, once, for every reader that has a C++
// runtime: /verify and /join in velmora.exe, and velmora-join. (The first
// piece keeps its own copy without a runtime, for its size.) The reader
// touches files only through a table of functions that each platform fills,
// so the same rules run over Win32 handles and POSIX descriptors.
//
// The rules:
//   - The header: readable, at least one piece and no more than kMostPieces,
//     a bare stored name (no '\', '/' or ':', not "." or ".."), and a sound
//     integrity record where it carries one.
//   - Later pieces: the piece-name rule (marker in any case) on the name of
//     the given first piece, which may have any name; when that finds no
//     later piece, the rule on the stored name beside it.
//   - Each piece's ChunkRecord possible and within its file.
//   - The checksum file (suffix "sfv" or "SFV", in the case of the name the
//     pieces were found by) counts only with a line for every piece; else it
//     is set aside with a note and the record decides.
//   - One pass over every piece: the whole file's CRC for the checksum file,
//     the data area's CRC and length for the record; the data go to a sink.
//   - Both the record and the checksum file present and disagreeing: damaged.
//   - A set cut short by Break is reported as such; what it means is the
//     caller's (/verify: sound with its line; a rebuilder: never the name).
#ifndef VELMORA_SET_READER_H
#define VELMORA_SET_READER_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "set_integrity.h"
#include "split_set_format.h"

namespace splitset {

// No set of a payload below 2 GiB in sections above 6940 bytes has more.
constexpr int32_t kMostPieces = 400000;
// A checksum file larger than this is no checksum file of a set.
constexpr int64_t kMostChecksumBytes = int64_t{16} << 20;

enum class Opened { kOpened, kMissing, kNotRegular, kFailed };

// What a platform gives the reader. `open` opens an existing regular file
// for reading without ever blocking (anything else is refused before it is
// opened) and says why when it returns null; `read` returns the bytes read
// (fewer only at the end) or -1; `size` is -1 on failure; `reason` is the
// system's text for the last failure of these calls; `crc` the fastest
// CRC-32 the platform has. `other_spelling` (may be null) gives a second
// spelling of a piece's name for the checksum file's lines (velmora-join:
// the set's code page); `note` (may be null) receives lines that say
// something without finding damage.
struct ReaderIo {
  void* context;
  void* (*open)(void* context, const char* path, Opened* why);
  int64_t (*read)(void* context, void* file, void* buffer, size_t length);
  int64_t (*size)(void* context, void* file);
  void (*close)(void* context, void* file);
  std::string (*reason)(void* context);
  uint32_t (*crc)(uint32_t crc, const void* data, size_t length);
  bool (*other_spelling)(void* context, const std::string& name, std::string& spelled);
  void (*note)(void* context, const std::string& line);
};

enum class Fault {
  kNone,
  kFirstUnreadable,     // the first piece cannot be opened or read
  kHeaderDamaged,       // header or record fail the record's CRC
  kPieceCount,          // the header counts no piece, or more than any set has
  kNotBareName,         // the stored name would lead elsewhere
  kNamesTooLong,        // the names of the pieces do not fit
  kPieceMissing,        // a piece is not there
  kPieceNotRegular,     // a FIFO, a device, a directory in its place
  kPieceUnreadable,     // cannot be opened or read
  kPieceCutShort,       // shorter than its head
  kChunkImpossible,     // its ChunkRecord describes no data area
  kChunkTooLong,        // its ChunkRecord claims more than the file holds
  kChecksumNotRegular,  // the checksum file is no regular file
  kChecksumUnreadable,  // the checksum file cannot be read, or is too large
  kPieceChecksum,       // the piece's CRC differs from its line
  kSinkFailed,          // the sink refused the data (the caller knows why)
  kRecordDiffers,       // the payload differs from the record
};

struct Finding {
  Fault fault = Fault::kNone;
  int32_t piece = -1;   // 0 the first piece; -1 the set or its checksum file
  std::string path;     // the file concerned
  std::string detail;   // the system's reason, or what the record describes
};

struct PieceState {
  std::string path;
  uint32_t data_offset = 0;
  int64_t file_size = 0;
  ChunkRecord chunk{0, 0, 0};
  int64_t data_length = -1;  // -1 until the ChunkRecord is read and possible
  bool scanned = false;      // read whole: the CRCs below hold
  uint32_t file_crc = 0;
  uint32_t data_crc = 0;
  bool listed = false;       // has a line in the checksum file in use
  uint32_t listed_crc = 0;
};

// Where the data areas go while they are read; false stops the scan.
using DataSink = bool (*)(void* context, const void* data, size_t length);

class SetReader {
 public:
  // `stop_at_first`: a rebuilder stops at the first finding; /verify goes on
  // to find every one it can.
  SetReader(const ReaderIo& io, bool stop_at_first);

  // The steps, called in this order; each returns false when a finding ends
  // the reading. First the header of `first_path` (a full path).
  bool read_header(const std::string& first_path);
  // Names every later piece, opens it and checks its ChunkRecord.
  bool find_pieces();
  // Reads the checksum file, when there is one.
  bool read_checksum_file();
  // Reads every piece once from its first byte, its data area to `sink`.
  bool scan(DataSink sink, void* sink_context, char* buffer, size_t buffer_size);
  // Compares the payload with the record.
  bool check_record();

  // The header was read and counts a usable number of pieces.
  bool header_usable() const { return header_usable_; }
  const SplitHeader& header() const { return header_; }
  const IntegrityRecord& record() const { return record_; }
  bool has_record() const { return has_record_; }
  bool cut_short() const { return has_record_ && (record_.flags & kIntegrityCutShort) != 0; }
  const std::string& stored_name() const { return stored_name_; }
  std::vector<PieceState>& pieces() { return pieces_; }
  const std::string& checksum_path() const { return sfv_path_; }
  bool has_checksum_file() const { return has_sfv_; }
  // The checksum file's text as read (also one set aside), for lines of
  // files beside the set that the reader itself does not judge.
  const std::string& checksum_text() const { return sfv_text_; }
  uint64_t payload_length() const { return payload_length_; }
  uint32_t payload_crc() const { return payload_crc_; }
  const std::vector<Finding>& findings() const { return findings_; }
  const Finding& first_finding() const { return findings_.front(); }

 private:
  bool find(Fault fault, int32_t piece, const std::string& path, const std::string& detail = "");
  bool unreadable(int32_t k, const std::string& path);
  bool open_piece(PieceState& piece, int32_t k, void*& file);
  bool check_chunk(PieceState& piece, int32_t k, const char* head, bool noting);
  bool name_pieces(const std::string& base);

  ReaderIo io_;
  bool stop_at_first_;
  SplitHeader header_{};
  IntegrityRecord record_{};
  bool has_record_ = false;
  bool header_usable_ = false;
  std::string stored_name_;
  std::string name_base_;  // the name the rule runs on: the first piece's or the stored one's
  std::vector<PieceState> pieces_;
  std::string sfv_path_;
  bool has_sfv_ = false;
  std::string sfv_text_;
  uint64_t payload_length_ = 0;
  uint32_t payload_crc_ = 0;
  std::vector<Finding> findings_;
};

// A stored name names the rebuilt file in the reader's folder: anything but
// a bare file name would put it elsewhere, or nowhere.
bool is_bare_name(const std::string& name);

}  // namespace splitset

#endif  // VELMORA_SET_READER_H
