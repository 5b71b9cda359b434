#include "set_join_command.h"

#include <windows.h>

#include <memory>

#include "path_levels.h"
#include "set_reader.h"
#include "split_engine.h"
#include "temp_file.h"
#include "unique_handle.h"
#include "win32_set_io.h"

namespace velmora {

namespace {

using splitset::Fault;

// The cabinet reader's exports, reached at run time: velmora.exe keeps its
// load-time imports from vornex.dll to what the splitter needs.
using InitUncab = uint32_t(__stdcall*)(const char*);
using CloseUncab = uint8_t(__stdcall*)(uint32_t);
using UncabAllEx = uint8_t(__stdcall*)(uint32_t, const char*);

// An export of `library` by its decorated name, as the type it has.
template <typename Function>
Function export_of(HMODULE library, const char* name) {
  return library ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name))) : nullptr;
}

// Empties and removes the folder `path`.
void remove_tree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  winsup::UniqueFind find(FindFirstFileA((path + "\\*").c_str(), &entry));
  if (find) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(path + "\\" + name);
      else DeleteFileA((path + "\\" + name).c_str());
    } while (FindNextFileA(find.get(), &entry));
  }
  RemoveDirectoryA(path.c_str());
}

class Join {
 public:
  Join(const std::string& target, std::string& line) : target_(target), line_(line), reader_(io_.table(), true) {}

  int run(const std::string& argument) {
    std::string full;
    if (!full_path(argument.c_str(), full)) return say("no sound header in " + argument);
    // A header that is unreadable, damaged or names no usable file is "no
    // sound header", as the first piece says; a damaged first data area
    // names the piece.
    if (!reader_.read_header(full)) {
      const Fault fault = reader_.first_finding().fault;
      if (reader_.header_usable() && fault != Fault::kNotBareName && fault != Fault::kHeaderDamaged)
        return say_finding();
      return say("no sound header in " + full);
    }
    if (!reader_.find_pieces() || !reader_.read_checksum_file()) return say_finding();
    // The output is the temporary file prepare_destination reserved, held open.
    if (!prepare_destination()) return 1;
    const size_t kBuffer = 1 << 16;
    std::unique_ptr<char[]> buffer(new char[kBuffer]);
    bool joined = reader_.scan(write_out, this, buffer.get(), kBuffer);
    bool closed = CloseHandle(output_) != 0;
    if (joined && !closed) write_error_ = GetLastError();
    if (!joined || !closed) {
      DeleteFileA(temp_.c_str());
      return joined ? say("cannot write in " + destination_ + ": " + system_reason(write_error_)) : say_finding();
    }
    // The record guards the payload also where the checksum file passed
    // every piece: a stale piece with a checksum file written over the set.
    if (!reader_.check_record()) return say("damaged set; data kept as " + temp_);
    if (reader_.cut_short()) return keep_leading_part();
    if (reader_.header().compressed && !expand()) return 1;
    set_write_time();
    return place();
  }

 private:
  int say(const std::string& text) {
    line_ = "velmora: " + text;
    return 1;
  }

  // The first piece's words for what the reader found.
  int say_finding() {
    const splitset::Finding& f = reader_.first_finding();
    switch (f.fault) {
      case Fault::kPieceMissing: return say("missing piece " + f.path);
      case Fault::kPieceChecksum: return say("damaged piece " + f.path + " (or " + reader_.checksum_path() + ")");
      case Fault::kSinkFailed: return say("cannot write in " + destination_ + ": " + system_reason(write_error_));
      case Fault::kPieceUnreadable: return say("cannot read piece " + f.path + ": " + f.detail);
      case Fault::kPieceNotRegular: return say("cannot read piece " + f.path + ": it is not a file");
      case Fault::kChecksumNotRegular:
      case Fault::kChecksumUnreadable: return say("cannot read " + f.path + (f.detail.empty() ? "" : ": " + f.detail));
      case Fault::kNamesTooLong: return say("missing piece " + f.path + ": the names of its pieces are too long");
      default: return say("damaged piece " + f.path);
    }
  }

  // The target or the current directory, made full, its levels created, a
  // directory; then the temporary name in it.
  bool prepare_destination() {
    const std::string given = target_.empty() ? "." : target_;
    const char* what = target_.empty() ? "cannot use current directory " : "cannot use target ";
    std::string folder;
    if (!full_path(given.c_str(), folder)) return say(what + given + ": " + system_reason(GetLastError())) == 0;
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    // Room for the file's name and, for a compressed set, for it inside
    // the expansion folder "vrxNNNN.tmpd\".
    const size_t need = reader_.stored_name().size() + (reader_.header().compressed ? 13 : 0);
    if (folder.size() + 1 + (need < 13 ? 13 : need) >= splitset::kPathCapacity)
      return say(what + folder + ": " + system_reason(ERROR_FILENAME_EXCED_RANGE)) == 0;
    // Every level of the target is made (a drive's root is the first level,
    // never made); the folder is looked at after.
    if (!target_.empty()) winsup::create_parent_levels((folder + "\\").c_str());
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY;
      return say(what + folder + ": " + system_reason(error)) == 0;
    }
    destination_ = folder.back() == '\\' ? folder : folder + "\\";
    final_path_ = destination_ + reader_.stored_name();
    char temp[MAX_PATH];
    output_ = winsup::reserve_temp_file(destination_.c_str(), "vrx", 4, GENERIC_WRITE, temp, sizeof temp);
    if (output_ == INVALID_HANDLE_VALUE)
      return say("cannot write in " + destination_ + ": " + system_reason(GetLastError())) == 0;
    temp_ = temp;
    return true;
  }

  static bool write_out(void* context, const void* data, size_t length) {
    auto* join = static_cast<Join*>(context);
    DWORD written = 0;
    if (!WriteFile(join->output_, data, static_cast<DWORD>(length), &written, nullptr)) {
      join->write_error_ = GetLastError();
      return false;
    }
    if (written == length) return true;
    join->write_error_ = ERROR_DISK_FULL;  // a short write is how a full disk shows itself
    return false;
  }

  // A set cut short by Break never takes the file's name.
  int keep_leading_part() {
    std::string kept = temp_;
    const bool compressed = reader_.header().compressed != 0;
    const std::string partial = final_path_ + ".partial";
    if (!compressed && MoveFileExA(temp_.c_str(), partial.c_str(), 0)) kept = partial;
    return say("set cut short by Break: " + std::to_string(reader_.record().payload_length) + " of " +
               std::to_string(reader_.header().payload_size) + (compressed ? " bytes of a cabinet" : " bytes") +
               " kept as " + kept);
  }

  // The joined cabinet expanded into a private folder beside it, which no
  // member leaves; only the expected member is taken, under a temporary
  // name of its own.
  bool expand() {
    const std::string cabinet = temp_, folder = temp_ + "d";
    HMODULE library = LoadLibraryA("vornex.dll");
    auto init = export_of<InitUncab>(library, "_vornex_init_uncab@4");
    auto close = export_of<CloseUncab>(library, "_vornex_close_uncab@4");
    auto all = export_of<UncabAllEx>(library, "_vornex_uncab_all_ex@8");
    bool expanded = false;
    if (init && close && all && CreateDirectoryA(folder.c_str(), nullptr)) {
      uint32_t reader = init(cabinet.c_str());
      // A member whose name leads out of the folder is not written and makes
      // the result false; the expected one, written whole, is there or not.
      if (reader != 0) {
        all(reader, folder.c_str());
        close(reader);
      }
      const std::string member = folder + "\\" + reader_.stored_name();
      DWORD attributes = GetFileAttributesA(member.c_str());
      char temp[MAX_PATH];
      expanded = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                 winsup::UniqueFile(winsup::reserve_temp_file(destination_.c_str(), "vrx", 4, GENERIC_WRITE, temp,
                                                              sizeof temp))
                     .valid();
      if (expanded) {
        expanded = MoveFileExA(member.c_str(), temp, MOVEFILE_REPLACE_EXISTING) != 0;
        if (expanded) temp_ = temp;
        else DeleteFileA(temp);
      }
      remove_tree(folder);
    }
    if (library) FreeLibrary(library);
    if (!expanded) {
      say("cannot expand the cabinet; kept as " + cabinet);
      return false;
    }
    DeleteFileA(cabinet.c_str());
    return true;
  }

  void set_write_time() {
    const splitset::IntegrityRecord& record = reader_.record();
    if (!reader_.has_record() || !(record.write_time_low | record.write_time_high)) return;
    FILETIME time{record.write_time_low, record.write_time_high};
    winsup::UniqueFile file(
        CreateFileA(temp_.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file) SetFileTime(file.get(), nullptr, nullptr, &time);
  }

  // The rebuilt file takes its name: with a target never over an existing
  // file; without one over a file of that name unless it is one of the set.
  int place() {
    if (GetFileAttributesA(final_path_.c_str()) != INVALID_FILE_ATTRIBUTES) {
      if (!target_.empty()) return say(final_path_ + " exists; kept as " + temp_);
      const winsup::FileIdentity there = winsup::identity_of(final_path_.c_str());
      for (const winsup::FileIdentity& read : io_.opened)
        if (read.same_file(there))
          return say(final_path_ + " is part of the set; kept as " + temp_ + " (give a target)");
    }
    if (!MoveFileExA(temp_.c_str(), final_path_.c_str(), target_.empty() ? MOVEFILE_REPLACE_EXISTING : 0))
      return say("cannot rename to " + final_path_ + ": " + system_reason(GetLastError()) + "; kept as " + temp_);
    return 0;
  }

  std::string target_;
  std::string& line_;
  Win32SetIo io_;
  splitset::SetReader reader_;
  std::string destination_;  // full, with a backslash
  std::string final_path_;
  std::string temp_;
  HANDLE output_ = INVALID_HANDLE_VALUE;
  DWORD write_error_ = 0;
};

}  // namespace

int join_set(const std::string& first_piece, const std::string& target, std::string& line) {
  line.clear();
  return Join(target, line).run(first_piece);
}

}  // namespace velmora
