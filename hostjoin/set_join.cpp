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
#include "crc32.h"
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
// Bytes moved per read and write: small enough to stay in the processor's
// cache between the read, the CRC and the write (64 KiB measured faster here
// than 32 KiB, 128 KiB or 1 MiB). The data areas are read in sequence from
// their start, so the bytes are those of the block rule's 2048-byte blocks;
// only the number of system calls differs.
constexpr size_t kCopyChunk = size_t{1} << 16;
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

std::string hex8(uint32_t value) {
  char text[9];
  snprintf(text, sizeof text, "%08X", value);
  return text;
}

FileId id_of(const struct stat& st) { return FileId{st.st_dev, st.st_ino}; }

// A stored name must be a bare file name: nothing that leads elsewhere (the
// joiner's rule, which refuses the Windows separators and drive colon too).
bool is_bare_name(const char* name, size_t capacity) {
  size_t n = 0;
  while (n < capacity && name[n] != '\0') {
    if (name[n] == '\\' || name[n] == '/' || name[n] == ':') return false;
    ++n;
  }
  return n > 0 && n < capacity && !(n <= 2 && name[0] == '.' && name[n - 1] == '.');
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
    Fd first(open_for_reading(first_path_));
    struct stat st;
    if (!first.is_open() || fstat(first.get(), &st) != 0) return fail_errno(cannot, errno);
    if (!S_ISREG(st.st_mode)) return fail(cannot + ": it is not a file");
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
    if (!is_bare_name(header_.file_name, sizeof header_.file_name))
      return fail("the set's header holds no usable file name: " + first_path_);
    file_name_ = header_.file_name;
    compressed_ = header_.compressed != 0;
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
      if (!splitset::apply_piece_suffix(name.data(), kNameCapacity, number))
        return fail(std::string("the name of piece ") + number + " is too long");
      std::string path = name.data();
      Fd piece(open_for_reading(path));
      struct stat st;
      if (!piece.is_open() || fstat(piece.get(), &st) != 0)
        return fail_errno("missing or unreadable piece " + path, errno);
      ChunkRecord chunk;
      ssize_t got = read_fully_at(piece.get(), &chunk, sizeof chunk, 0);
      if (got < 0) return fail_errno("missing or unreadable piece " + path, errno);
      if (!S_ISREG(st.st_mode) || got != static_cast<ssize_t>(sizeof chunk) ||
          data_length(chunk, splitset::kLaterDataOffset, st.st_size) < 0)
        return fail("damaged piece " + path + ": its ChunkRecord does not fit the file");
      pieces_.push_back(Piece{path, id_of(st), splitset::kLaterDataOffset, 0});
    }
    return true;
  }

  // The checksum file beside the first piece, when there is one: it must
  // give a CRC for every piece (lines matched by name, case-insensitively).
  bool read_checksum_file() {
    std::vector<char> name(kNameCapacity);
    std::memcpy(name.data(), first_path_.c_str(), first_path_.size() + 1);
    if (!splitset::apply_piece_suffix(name.data(), kNameCapacity, splitset::kChecksumSuffix)) return true;
    sfv_path_ = name.data();
    Fd file(open_for_reading(sfv_path_));
    if (!file.is_open()) {
      if (errno == ENOENT || errno == ENOTDIR) return true;  // none: the record guards the set
      return fail_errno("cannot read the checksum file " + sfv_path_, errno);
    }
    struct stat st;
    if (fstat(file.get(), &st) != 0) return fail_errno("cannot read the checksum file " + sfv_path_, errno);
    if (st.st_size > kMaxChecksumFile)
      return fail("cannot read the checksum file " + sfv_path_ + ": it is too large to be one");
    std::string text(static_cast<size_t>(st.st_size), '\0');
    ssize_t got = read_fully(file.get(), &text[0], text.size());
    if (got < 0) return fail_errno("cannot read the checksum file " + sfv_path_, errno);
    text.resize(static_cast<size_t>(got));
    for (Piece& piece : pieces_) {
      std::string base = base_name(piece.path);
      // A checksum file without a line for every piece does not describe
      // this set (as the joiner on Windows reads it too): the record in the
      // header still guards the data.
      if (!splitset::sfv_find(text.data(), text.size(), base.c_str(), piece.listed_crc)) return true;
    }
    has_sfv_ = true;
    protected_.push_back(id_of(st));
    return true;
  }

  bool prepare_destination() {
    dest_dir_ = request_.target;
    while (dest_dir_.size() > 1 && dest_dir_.back() == '/') dest_dir_.pop_back();
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
    Fd in(open_for_reading(piece.path));
    struct stat st;
    if (!in.is_open() || fstat(in.get(), &st) != 0)
      return fail_errno("missing or unreadable piece " + piece.path, errno);
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

    const splitset::Crc32Table& table = crc_table();
    const uint32_t head_crc = splitset::crc32_update(table, 0, buffer, piece.data_offset);
    uint32_t data_crc = 0;
    for (int64_t left = length; left > 0;) {
      size_t want = left < static_cast<int64_t>(kCopyChunk) ? static_cast<size_t>(left) : kCopyChunk;
      got = read_fully(in.get(), buffer, want);
      if (got < 0) return fail_errno("cannot read " + piece.path, errno);
      if (got != static_cast<ssize_t>(want)) return fail(damaged + ": it ended inside its data area");
      data_crc = splitset::crc32_update(table, data_crc, buffer, want);
      if (!write_fully(out, buffer, want)) return fail_errno("cannot write " + out_path, errno);
      left -= static_cast<int64_t>(want);
    }
    if (has_sfv_) {
      uint32_t tail_crc = 0;
      uint64_t tail_length = 0;
      while ((got = read_fully(in.get(), buffer, kCopyChunk)) > 0) {
        tail_crc = splitset::crc32_update(table, tail_crc, buffer, static_cast<size_t>(got));
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
    return fail("the set is damaged: its pieces hold " + std::to_string(payload_length_) +
                " bytes with CRC-32 " + hex8(payload_crc_) + ", the checksum record in " + first_path_ +
                " gives " + std::to_string(record_.payload_length) + " bytes with " +
                hex8(record_.payload_crc) + "; the joined data are kept as " + kept);
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
    if (!expand_member(cabinet.path(), file_name_, expanded, why)) {
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
  std::string file_name_;
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
