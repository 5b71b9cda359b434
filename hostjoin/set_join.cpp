#include "set_join.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "cabinet_expand.h"
#include "codepage.h"
#include "crc32.h"
#ifdef VELMORA_JOIN_FAST_CRC
#include "crc32_fast.h"
#endif
#include "posix_files.h"
#include "set_integrity.h"
#include "split_set_format.h"

namespace hostjoin {
namespace {

using splitset::ChunkRecord;
using splitset::IntegrityRecord;
using splitset::SplitHeader;

// Room for a piece's path while the piece-name rule rewrites it in place.
constexpr uint32_t kNameCapacity = 4096;
// Bytes moved per read and write. With the carry-less CRC the checks cost
// little, and the count of system calls matters more than the cache: 1 MiB
// measured faster here than 64 KiB or 256 KiB. The data areas are read in
// sequence from their start, so the bytes are those of the block rule's
// 2048-byte blocks; only the number of system calls differs.
constexpr size_t kCopyChunk = size_t{1} << 20;
// A checksum file larger than this is no checksum file of a set.
constexpr off_t kMaxChecksumFile = off_t{16} << 20;
static_assert(kCopyChunk >= splitset::kFirstDataOffset, "a piece's head fits the buffer");
// Temporary names in the destination: the joiner's prefix and six random characters.
constexpr char kTempTemplate[] = "vrxXXXXXX";

const splitset::Crc32Table& crc_table() {
  static const splitset::Crc32Table* table = [] {
    auto* made = new splitset::Crc32Table;
    splitset::crc32_init(*made);
    return made;
  }();
  return *table;
}

// The CRC of the bytes passing through the copy: the splitter's carry-less
// multiplication where this processor and build have it, about ten times
// faster than the tables, which keeps the checks from costing the join
// more than the copy itself.
uint32_t crc_update(uint32_t crc, const void* data, size_t length) {
#ifdef VELMORA_JOIN_FAST_CRC
  return velmora::crc32_fast(crc, data, length);
#else
  return splitset::crc32_update(crc_table(), crc, data, length);
#endif
}

std::string hex8(uint32_t value) {
  char text[9];
  snprintf(text, sizeof text, "%08X", value);
  return text;
}

FileId id_of(const struct stat& st) { return FileId{st.st_dev, st.st_ino}; }

// A stored name must be a bare file name: nothing that leads elsewhere (the
// joiner's rule, which refuses the Windows separators and drive colon too).
// Asked of the name in UTF-8, where no byte of a longer character is ASCII.
bool is_bare_name(const std::string& name) {
  if (name.find_first_of("\\/:") != std::string::npos) return false;
  return !name.empty() && name != "." && name != "..";
}

// A name as a line can show it: bytes outside printable ASCII as \xNN.
std::string shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[5];
      snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  return out;
}

// Where the checksum file lies: the piece-name rule with "sfv" or "SFV",
// the spelling that follows the case of the first piece's own suffix first.
std::vector<std::string> checksum_names(const std::string& first_path) {
  std::vector<std::string> names;
  int32_t marker = splitset::find_marker(first_path.c_str(), splitset::MarkerSearch::kReading);
  bool upper = marker >= 0 && static_cast<size_t>(marker) + 5 < first_path.size() &&
               first_path[marker + 5] >= 'A' && first_path[marker + 5] <= 'Z';
  for (const char* suffix : {upper ? "SFV" : "sfv", upper ? "sfv" : "SFV"}) {
    std::vector<char> name(first_path.begin(), first_path.end());
    name.resize(first_path.size() + sizeof(splitset::kMarker) + 4, '\0');
    if (splitset::apply_piece_suffix(name.data(), static_cast<uint32_t>(name.size()), suffix,
                                     splitset::MarkerSearch::kReading))
      names.push_back(name.data());
  }
  return names;
}

// The data length a piece of `size` bytes holds by `chunk`, whose data area
// starts at `data_offset`; -1 when the record is impossible or claims more
// than the file holds.
int64_t data_length(const ChunkRecord& chunk, uint32_t data_offset, off_t size) {
  int64_t length = splitset::chunk_data_length(chunk);
  if (length < 0 || static_cast<int64_t>(data_offset) + length > static_cast<int64_t>(size)) return -1;
  return length;
}

// A file under a temporary name, removed at the end of its scope unless it
// was kept (it holds data the user must not lose) or renamed away.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  void reset(std::string path) { path_ = std::move(path); }
  const std::string& path() const { return path_; }
  // Keeps the file (or it is no longer there): nothing to remove.
  void release() { path_.clear(); }

 private:
  std::string path_;
};

// A private folder made for the expansion and holding at most one file,
// `member`; both go at the end of its scope unless released.
class TempFolder {
 public:
  TempFolder() = default;
  ~TempFolder() {
    if (path_.empty()) return;
    unlink(join_path(path_, member_).c_str());
    rmdir(path_.c_str());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  void reset(std::string path, std::string member) {
    path_ = std::move(path);
    member_ = std::move(member);
  }
  void release() { path_.clear(); }
  // Removes the folder, now empty; nothing is left to clean up.
  void remove_empty() {
    if (!path_.empty()) rmdir(path_.c_str());
    path_.clear();
  }

 private:
  std::string path_;
  std::string member_;
};

struct Piece {
  std::string path;
  FileId id;
  uint32_t data_offset = 0;   // where its ChunkRecord ends
  uint32_t listed_crc = 0;    // its CRC in the checksum file
};

class Join {
 public:
  Join(const JoinRequest& request, std::string& message) : request_(request), message_(message) {}

  int run() {
    if (!read_first_piece() || !find_later_pieces() || !read_checksum_file() || !prepare_destination())
      return 1;
    TempFile joined;
    if (!join_into(joined) || !check_record(joined)) return 1;
    if (cut_short_) {
      keep_leading_part(joined);
      return 1;
    }
    if (compressed_) return expand_and_place(joined) ? 0 : 1;
    set_write_time(joined.path());
    if (!place(joined.path())) {
      joined.release();  // kept where the message says
      return 1;
    }
    joined.release();  // it has its name now
    return 0;
  }

 private:
  bool fail(std::string text) {
    message_ = std::move(text);
    return false;
  }
  bool fail_errno(const std::string& text, int error) { return fail(text + ": " + error_text(error)); }

  // The header, the integrity record and the first ChunkRecord, all sound.
  bool read_first_piece() {
    first_path_ = absolute_path(request_.first_piece);
    const std::string cannot = "cannot read the set's header or first data in " + first_path_;
    struct stat st;
    const int fd = open_regular(first_path_, st);
    Fd first(fd);
    if (fd == kNotRegular) return fail(cannot + ": it is not a regular file");
    if (!first.is_open()) return fail_errno(cannot, errno);
    ChunkRecord chunk;
    ssize_t header_got = read_fully_at(first.get(), &header_, sizeof header_, splitset::kHeaderOffset);
    if (header_got < 0) return fail_errno(cannot, errno);
    ssize_t chunk_got = read_fully_at(first.get(), &chunk, sizeof chunk, splitset::kFirstChunkOffset);
    if (chunk_got < 0) return fail_errno(cannot, errno);
    if (header_got != static_cast<ssize_t>(sizeof header_) || chunk_got != static_cast<ssize_t>(sizeof chunk) ||
        data_length(chunk, splitset::kFirstDataOffset, st.st_size) < 0)
      return fail(cannot);

    switch (splitset::get_integrity(crc_table(), header_, record_)) {
      case splitset::Integrity::kDamaged:
        return fail("the set's header or its checksum record is damaged in " + first_path_);
      case splitset::Integrity::kSound: has_record_ = true; break;
      case splitset::Integrity::kNone: break;
    }
    if (header_.piece_count < 1)
      return fail("the set's header counts " + std::to_string(header_.piece_count) + " pieces: " + first_path_);
    if (splitset::name_length(header_) >= sizeof header_.file_name)
      return fail("the set's header holds no usable file name: " + first_path_);
    stored_name_ = header_.file_name;
    switch (convert_text(request_.codepage, "UTF-8", stored_name_, file_name_)) {
      case Conversion::kDone: break;
      case Conversion::kUnknownCodePage:
        return fail("the code page " + request_.codepage + " is not known to iconv here");
      case Conversion::kNotConvertible:
        return fail("the set's stored file name " + shown(stored_name_) + " is not text of the code page " +
                    request_.codepage + " (--codepage names the set's own): " + first_path_);
    }
    if (!is_bare_name(file_name_))
      return fail("the set's header holds no usable file name: " + first_path_);
    compressed_ = header_.compressed != 0;
    cut_short_ = has_record_ && (record_.flags & splitset::kIntegrityCutShort) != 0;
    pieces_.push_back(Piece{first_path_, id_of(st), splitset::kFirstDataOffset, 0});
    return true;
  }

  // Every later piece there, readable, and with a ChunkRecord that fits it.
  bool find_later_pieces() {
    if (first_path_.size() + 1 > kNameCapacity) return fail("the path of the first piece is too long: " + first_path_);
    std::vector<char> name(kNameCapacity);
    std::memcpy(name.data(), first_path_.c_str(), first_path_.size() + 1);
    for (int32_t k = 1; k < header_.piece_count; ++k) {
      char number[splitset::kPieceNumberCapacity];
      splitset::format_piece_number(number, static_cast<uint32_t>(k - 1));
      if (!splitset::apply_piece_suffix(name.data(), kNameCapacity, number, splitset::MarkerSearch::kReading))
        return fail(std::string("the name of piece ") + number + " is too long");
      std::string path = name.data();
      struct stat st;
      const int fd = open_regular(path, st);
      Fd piece(fd);
      if (fd == kNotRegular) return fail("piece " + path + " is not a regular file");
      if (!piece.is_open()) return fail_errno("missing or unreadable piece " + path, errno);
      ChunkRecord chunk;
      ssize_t got = read_fully_at(piece.get(), &chunk, sizeof chunk, 0);
      if (got < 0) return fail_errno("missing or unreadable piece " + path, errno);
      if (got != static_cast<ssize_t>(sizeof chunk) ||
          data_length(chunk, splitset::kLaterDataOffset, st.st_size) < 0)
        return fail("damaged piece " + path + ": its ChunkRecord does not fit the file");
      pieces_.push_back(Piece{path, id_of(st), splitset::kLaterDataOffset, 0});
    }
    return true;
  }

  // The checksum file beside the first piece, when there is one. Lines are
  // matched by name without regard to case, the name as it is here or in the
  // set's code page. A checksum file without a line for every piece does not
  // describe this set (the joiner on Windows reads it so too): it is set
  // aside and the record in the header guards the data.
  bool read_checksum_file() {
    Fd file;
    struct stat st;
    for (const std::string& name : checksum_names(first_path_)) {
      const int fd = open_regular(name, st);
      if (fd == kNotRegular) return fail("the checksum file " + name + " is not a regular file");
      if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) continue;
      sfv_path_ = name;
      if (fd < 0) return fail_errno("cannot read the checksum file " + sfv_path_, errno);
      file = Fd(fd);
      break;
    }
    if (!file.is_open()) return true;  // none: the record guards the set
    if (st.st_size > kMaxChecksumFile)
      return fail("cannot read the checksum file " + sfv_path_ + ": it is too large to be one");
    std::string text(static_cast<size_t>(st.st_size), '\0');
    ssize_t got = read_fully(file.get(), &text[0], text.size());
    if (got < 0) return fail_errno("cannot read the checksum file " + sfv_path_, errno);
    text.resize(static_cast<size_t>(got));
    for (Piece& piece : pieces_) {
      std::string base = base_name(piece.path), in_code_page;
      if (!splitset::sfv_find(text.data(), text.size(), base.c_str(), piece.listed_crc) &&
          !(convert_text("UTF-8", request_.codepage, base, in_code_page) == Conversion::kDone &&
            splitset::sfv_find(text.data(), text.size(), in_code_page.c_str(), piece.listed_crc)))
        return true;
    }
    has_sfv_ = true;
    protected_.push_back(id_of(st));
    return true;
  }

  bool prepare_destination() {
    // Made full first: ".." levels resolved, so that none of them is created.
    if (!request_.target.empty()) dest_dir_ = full_path(request_.target);
    if (!dest_dir_.empty()) {
      int error = make_directories(dest_dir_);
      if (error != 0) return fail_errno("cannot create the target directory " + dest_dir_, error);
    }
    final_path_ = join_path(dest_dir_, file_name_);
    for (const Piece& piece : pieces_) protected_.push_back(piece.id);
    return true;
  }

  // The data areas in piece order into a new temporary file in the destination.
  bool join_into(TempFile& joined) {
    std::string pattern = join_path(dest_dir_, kTempTemplate);
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    Fd out(mkstemp(path.data()));
    if (!out.is_open())
      return fail_errno("cannot create the output for " + file_name_ + " in " +
                            (dest_dir_.empty() ? std::string("the current directory") : dest_dir_),
                        errno);
    joined.reset(path.data());
    if (!compressed_) fchmod(out.get(), new_file_mode());
    std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    for (const Piece& piece : pieces_)
      if (!copy_piece(piece, out.get(), joined.path(), buffer.get())) return false;
    int error = out.close();
    if (error != 0) return fail_errno("cannot write " + joined.path(), error);
    return true;
  }

  // One piece read once from its first byte: the head before its data area
  // (ending in its ChunkRecord), the data area, appended to the output, and
  // with a checksum file the rest of the file. The CRCs of the three parts
  // are computed on the buffer as the bytes pass; the whole file's CRC is
  // their combination.
  bool copy_piece(const Piece& piece, int out, const std::string& out_path, char* buffer) {
    struct stat st;
    const int fd = open_regular(piece.path, st);
    Fd in(fd);
    if (fd == kNotRegular) return fail("piece " + piece.path + " is not a regular file");
    if (!in.is_open()) return fail_errno("missing or unreadable piece " + piece.path, errno);
    posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    const std::string damaged = "damaged piece " + piece.path;
    ssize_t got = read_fully(in.get(), buffer, piece.data_offset);
    if (got < 0) return fail_errno("cannot read " + piece.path, errno);
    ChunkRecord chunk;
    std::memcpy(&chunk, buffer + piece.data_offset - sizeof chunk, sizeof chunk);
    int64_t length = got == static_cast<ssize_t>(piece.data_offset)
                         ? data_length(chunk, piece.data_offset, st.st_size)
                         : -1;
    if (length < 0) return fail(damaged + ": its ChunkRecord does not fit the file");

    const uint32_t head_crc = crc_update(0, buffer, piece.data_offset);
    uint32_t data_crc = 0;
    for (int64_t left = length; left > 0;) {
      size_t want = left < static_cast<int64_t>(kCopyChunk) ? static_cast<size_t>(left) : kCopyChunk;
      got = read_fully(in.get(), buffer, want);
      if (got < 0) return fail_errno("cannot read " + piece.path, errno);
      if (got != static_cast<ssize_t>(want)) return fail(damaged + ": it ended inside its data area");
      data_crc = crc_update(data_crc, buffer, want);
      if (!write_fully(out, buffer, want)) return fail_errno("cannot write " + out_path, errno);
      left -= static_cast<int64_t>(want);
    }
    if (has_sfv_) {
      uint32_t tail_crc = 0;
      uint64_t tail_length = 0;
      while ((got = read_fully(in.get(), buffer, kCopyChunk)) > 0) {
        tail_crc = crc_update(tail_crc, buffer, static_cast<size_t>(got));
        tail_length += static_cast<uint64_t>(got);
      }
      if (got < 0) return fail_errno("cannot read " + piece.path, errno);
      uint32_t file_crc = splitset::crc32_combine(head_crc, data_crc, static_cast<uint64_t>(length));
      file_crc = splitset::crc32_combine(file_crc, tail_crc, tail_length);
      if (file_crc != piece.listed_crc)
        return fail(damaged + ": its CRC-32 is " + hex8(file_crc) + ", the checksum file " + sfv_path_ +
                    " gives " + hex8(piece.listed_crc) + "; the checksum file itself may be the damaged one");
    }
    payload_crc_ = splitset::crc32_combine(payload_crc_, data_crc, static_cast<uint64_t>(length));
    payload_length_ += static_cast<uint64_t>(length);
    return true;
  }

  // The payload against the integrity record; on a mismatch the joined data stay.
  bool check_record(TempFile& joined) {
    if (!has_record_) return true;
    if (payload_length_ == record_.payload_length && payload_crc_ == record_.payload_crc) return true;
    std::string kept = joined.path();
    joined.release();
    // Pieces that each match the checksum file, joined into other data than
    // the record's: a piece of another set mixed in and the checksum file
    // written again over them.
    const std::string sfv_too =
        has_sfv_ ? "; every piece matches the checksum file " + sfv_path_ + ", which was written over other pieces"
                 : "";
    return fail("the set is damaged: its pieces hold " + std::to_string(payload_length_) +
                " bytes with CRC-32 " + hex8(payload_crc_) + ", the checksum record in " + first_path_ +
                " gives " + std::to_string(record_.payload_length) + " bytes with " +
                hex8(record_.payload_crc) + sfv_too + "; the joined data are kept as " + kept);
  }

  // A set cut short by Break holds only the leading part of the file, which
  // never takes the file's name: it becomes that name + ".partial" where no
  // such file exists, else it stays under its temporary name. A compressed
  // set holds part of a cabinet, which cannot be expanded: it stays as joined.
  bool keep_leading_part(TempFile& joined) {
    const std::string held = std::to_string(payload_length_) + " of " + std::to_string(header_.payload_size) + " bytes";
    std::string kept = joined.path();
    joined.release();
    if (compressed_)
      return fail("the set was cut short by Break: its pieces hold " + held +
                  " of a cabinet, which cannot be expanded; they are kept as " + kept);
    const std::string partial = final_path_ + ".partial";
    int error = rename_no_replace(kept, partial);
    if (error == 0) return fail("the set was cut short by Break: " + partial + " holds the leading " + held);
    return fail("the set was cut short by Break: its leading " + held + " are kept as " + kept + " (" + partial +
                (error == EEXIST ? " already exists" : ": " + error_text(error)) + ")");
  }

  // The cabinet's one file, the header's file_name, expanded into a private
  // folder in the destination and renamed into place from there.
  bool expand_and_place(TempFile& cabinet) {
    std::string pattern = join_path(dest_dir_, kTempTemplate);
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (mkdtemp(path.data()) == nullptr) {
      int error = errno;
      std::string kept = cabinet.path();
      cabinet.release();
      return fail("cannot make a folder to expand the joined cabinet in: " + error_text(error) +
                  "; the cabinet is kept as " + kept);
    }
    TempFolder folder;
    folder.reset(path.data(), file_name_);
    std::string expanded = join_path(path.data(), file_name_);
    std::string why;
    // The cabinet holds the name as stored, in the set's code page.
    if (!expand_member(cabinet.path(), stored_name_, expanded, why)) {
      std::string kept = cabinet.path();
      cabinet.release();
      return fail("cannot expand the joined cabinet: " + why + "; it is kept as " + kept);
    }
    set_write_time(expanded);
    if (!place(expanded)) {
      folder.release();  // the rebuilt file stays in it, where the message says
      return false;
    }
    folder.remove_empty();
    return true;  // the joined cabinet goes with `cabinet`
  }

  // The record's last-write time of the source, given to the rebuilt file.
  // A file system that keeps no such time loses nothing that matters, so a
  // failure here is not one of the join.
  void set_write_time(const std::string& path) {
    if (!has_record_) return;
    uint64_t filetime = static_cast<uint64_t>(record_.write_time_high) << 32 | record_.write_time_low;
    if (filetime == 0) return;
    // FILETIME counts 100 ns from 1601; the Unix epoch is 11644473600 s later.
    constexpr int64_t kEpochDifference = 116444736000000000;
    int64_t since_epoch = static_cast<int64_t>(filetime) - kEpochDifference;
    int64_t seconds = since_epoch / 10000000, rest = since_epoch % 10000000;
    if (rest < 0) {
      rest += 10000000;
      --seconds;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(rest * 100);
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }

  // Renames the rebuilt file `from` to its final name. Never over a piece of
  // the set or its checksum file; with a target never over an existing file.
  bool place(const std::string& from) {
    struct stat st;
    if (lstat(final_path_.c_str(), &st) == 0) {
      for (const FileId& id : protected_)
        if (id == id_of(st))
          return fail(final_path_ + " is a file of the set and is not replaced; the rebuilt file is kept as " + from);
    }
    int error = 0;
    if (request_.target.empty())
      error = rename(from.c_str(), final_path_.c_str()) == 0 ? 0 : errno;
    else
      error = rename_no_replace(from, final_path_);
    if (error == EEXIST && !request_.target.empty())
      return fail(final_path_ + " already exists and is not replaced; the rebuilt file is kept as " + from);
    if (error != 0)
      return fail("cannot name the rebuilt file " + final_path_ + " (" + error_text(error) + "); it is kept as " + from);
    return true;
  }

  const JoinRequest& request_;
  std::string& message_;
  std::string first_path_;
  SplitHeader header_{};
  IntegrityRecord record_{};
  bool has_record_ = false;
  bool compressed_ = false;
  bool cut_short_ = false;        // the record says a Break cut the set short
  std::string stored_name_;       // the header's file_name, in the set's code page
  std::string file_name_;         // the same in UTF-8
  std::vector<Piece> pieces_;
  std::string sfv_path_;
  bool has_sfv_ = false;
  std::string dest_dir_;    // empty: the current directory
  std::string final_path_;
  std::vector<FileId> protected_;  // the set's files, never replaced
  uint32_t payload_crc_ = 0;
  uint64_t payload_length_ = 0;
};

}  // namespace

int join_set(const JoinRequest& request, std::string& message) { return Join(request, message).run(); }

}  // namespace hostjoin
