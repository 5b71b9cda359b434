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
#include "set_reader.h"
#include "split_set_format.h"

namespace hostjoin {
namespace {

using splitset::ChunkRecord;
using splitset::IntegrityRecord;
using splitset::SplitHeader;

// Bytes moved per read and write. With the carry-less CRC the checks cost
// little, and the count of system calls matters more than the cache: 1 MiB
// measured faster here than 64 KiB or 256 KiB. The data areas are read in
// sequence from their start, so the bytes are those of the block rule's
// 2048-byte blocks; only the number of system calls differs.
constexpr size_t kCopyChunk = size_t{1} << 20;
static_assert(kCopyChunk >= splitset::kFirstDataOffset, "a piece's head fits the buffer");
// Temporary names in the destination: the joiner's prefix and six random characters.
constexpr char kTempTemplate[] = "vrxXXXXXX";

// The CRC of the bytes passing through the copy: the splitter's carry-less
// multiplication where this processor and build have it, about ten times
// faster than the tables, which keeps the checks from costing the join
// more than the copy itself.
uint32_t crc_update(uint32_t crc, const void* data, size_t length) {
#ifdef VELMORA_JOIN_FAST_CRC
  return velmora::crc32_fast(crc, data, length);
#else
  return splitset::crc32_update(splitset::shared_crc32_table(), crc, data, length);
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

// The reader's I/O over POSIX descriptors: only regular files, opened
// without blocking; every file it opens is one of the set, never replaced.
struct PosixIo {
  int error = 0;
  std::vector<FileId> opened;
  std::string codepage;
};

void* io_open(void* context, const char* path, splitset::Opened* why) {
  auto& io = *static_cast<PosixIo*>(context);
  struct stat st;
  const int fd = open_regular(path, st);
  if (fd == kNotRegular) *why = splitset::Opened::kNotRegular;
  if (fd == kNotRegular) return nullptr;
  if (fd < 0) {
    io.error = errno;
    *why = (errno == ENOENT || errno == ENOTDIR) ? splitset::Opened::kMissing : splitset::Opened::kFailed;
    return nullptr;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  io.opened.push_back(id_of(st));
  *why = splitset::Opened::kOpened;
  return new Fd(fd);
}
int64_t io_read(void* context, void* file, void* buffer, size_t length) {
  ssize_t got = read_fully(static_cast<Fd*>(file)->get(), buffer, length);
  if (got < 0) static_cast<PosixIo*>(context)->error = errno;
  return got;
}
int64_t io_size(void* context, void* file) {
  struct stat st;
  if (fstat(static_cast<Fd*>(file)->get(), &st) == 0) return st.st_size;
  static_cast<PosixIo*>(context)->error = errno;
  return -1;
}
void io_close(void*, void* file) { delete static_cast<Fd*>(file); }
std::string io_reason(void* context) { return error_text(static_cast<PosixIo*>(context)->error); }
// A piece's name as the set's code page spells it, for the checksum file's lines.
bool io_other_spelling(void* context, const std::string& name, std::string& spelled) {
  return convert_text("UTF-8", static_cast<PosixIo*>(context)->codepage, name, spelled) == Conversion::kDone &&
         spelled != name;
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

class Join {
 public:
  Join(const JoinRequest& request, std::string& message)
      : request_(request),
        message_(message),
        io_{&posix_, io_open, io_read, io_size, io_close, io_reason, crc_update, io_other_spelling, nullptr},
        reader_(io_, true) {
    posix_.codepage = request.codepage;
  }

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

  // What the reader found, in this tool's words.
  bool fail_finding() {
    const splitset::Finding& f = reader_.first_finding();
    const std::string damaged = "damaged piece " + f.path;
    switch (f.fault) {
      case splitset::Fault::kHeaderDamaged:
        return fail("the set's header or its checksum record is damaged in " + f.path);
      case splitset::Fault::kPieceCount:
        return fail("the set's header counts " + f.detail + " pieces: " + f.path);
      case splitset::Fault::kNotBareName:
        return fail("the set's header holds no usable file name: " + f.path);
      case splitset::Fault::kNamesTooLong:
        return fail("the names of the pieces of " + f.path + " are too long");
      case splitset::Fault::kChecksumNotRegular:
        return fail("the checksum file " + f.path + " is not a regular file");
      case splitset::Fault::kChecksumUnreadable:
        return fail("cannot read the checksum file " + f.path + ": " + f.detail);
      case splitset::Fault::kSinkFailed:
        return fail_errno("cannot write " + out_path_, write_error_);
      case splitset::Fault::kPieceChecksum: {
        const splitset::PieceState& piece = reader_.pieces()[f.piece];
        return fail(damaged + ": its CRC-32 is " + hex8(piece.file_crc) + ", the checksum file " +
                    reader_.checksum_path() + " gives " + hex8(piece.listed_crc) +
                    "; the checksum file itself may be the damaged one");
      }
      default: break;
    }
    if (f.piece == 0 && !reader_.header_usable()) {
      const std::string cannot = "cannot read the set's header or first data in " + f.path;
      if (f.fault == splitset::Fault::kPieceNotRegular) return fail(cannot + ": it is not a regular file");
      if (f.fault == splitset::Fault::kPieceMissing || f.fault == splitset::Fault::kPieceUnreadable)
        return fail(cannot + ": " + (f.detail.empty() ? io_reason(&posix_) : f.detail));
      return fail(cannot);
    }
    switch (f.fault) {
      case splitset::Fault::kPieceNotRegular: return fail("piece " + f.path + " is not a regular file");
      case splitset::Fault::kPieceMissing:
        return fail("missing or unreadable piece " + f.path + ": " + io_reason(&posix_));
      case splitset::Fault::kPieceUnreadable:
        return fail((scanning_ ? "cannot read " : "missing or unreadable piece ") + f.path + ": " + f.detail);
      default:
        return fail(damaged + (f.detail == "it ended inside its data area" ? ": " + f.detail
                                                                             : ": its ChunkRecord does not fit the file"));
    }
  }

  // The header, the integrity record and the first ChunkRecord, all sound.
  bool read_first_piece() {
    first_path_ = absolute_path(request_.first_piece);
    if (!reader_.read_header(first_path_)) return fail_finding();
    record_ = reader_.record();
    has_record_ = reader_.has_record();
    stored_name_ = reader_.stored_name();
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
    compressed_ = reader_.header().compressed != 0;
    cut_short_ = reader_.cut_short();
    return true;
  }

  // Every later piece there, readable, and with a ChunkRecord that fits it.
  bool find_later_pieces() { return reader_.find_pieces() || fail_finding(); }

  // The checksum file beside the first piece, when there is one, counts only
  // with a line for every piece (matched without regard to case, the name as
  // it is here or in the set's code page); else the record guards the data.
  bool read_checksum_file() { return reader_.read_checksum_file() || fail_finding(); }

  bool prepare_destination() {
    // Made full first: ".." levels resolved, so that none of them is created.
    if (!request_.target.empty()) dest_dir_ = full_path(request_.target);
    if (!dest_dir_.empty()) {
      int error = make_directories(dest_dir_);
      if (error != 0) return fail_errno("cannot create the target directory " + dest_dir_, error);
    }
    final_path_ = join_path(dest_dir_, file_name_);
    protected_ = posix_.opened;
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
    out_fd_ = out.get();
    out_path_ = joined.path();
    scanning_ = true;
    if (!reader_.scan(write_out, this, buffer.get(), kCopyChunk)) return fail_finding();
    payload_crc_ = reader_.payload_crc();
    payload_length_ = reader_.payload_length();
    int error = out.close();
    if (error != 0) return fail_errno("cannot write " + joined.path(), error);
    return true;
  }

  // The reader's sink: the data areas appended to the output as they pass.
  static bool write_out(void* context, const void* data, size_t length) {
    auto* join = static_cast<Join*>(context);
    if (write_fully(join->out_fd_, data, length)) return true;
    join->write_error_ = errno;
    return false;
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
        reader_.has_checksum_file() ? "; every piece matches the checksum file " + reader_.checksum_path() + ", which was written over other pieces"
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
    const std::string held = std::to_string(payload_length_) + " of " + std::to_string(reader_.header().payload_size) + " bytes";
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
  PosixIo posix_;
  splitset::ReaderIo io_;
  splitset::SetReader reader_;
  int out_fd_ = -1;
  std::string out_path_;
  int write_error_ = 0;
  bool scanning_ = false;
  std::string first_path_;
  IntegrityRecord record_{};
  bool has_record_ = false;
  bool compressed_ = false;
  bool cut_short_ = false;        // the record says a Break cut the set short
  std::string stored_name_;       // the header's file_name, in the set's code page
  std::string file_name_;         // the same in UTF-8
  std::string dest_dir_;    // empty: the current directory
  std::string final_path_;
  std::vector<FileId> protected_;  // the set's files, never replaced
  uint32_t payload_crc_ = 0;
  uint64_t payload_length_ = 0;
};

}  // namespace

int join_set(const JoinRequest& request, std::string& message) { return Join(request, message).run(); }

}  // namespace hostjoin
