// The PAR2 component: writes PAR 2.0 recovery volumes over an ordered list
// of files, and checks and repairs any PAR 2.0 set. Portable: it makes no
// operating-system call of its own; every file it reads or writes goes
// through the I/O table its caller fills (Win32 in velmora.exe, POSIX in
// velmora-join), which also decides where a name lives.
//
// Nothing here throws: every operation returns a Result, and error_text()
// says what failed and on which file. A Writer or Repairer is used by one
// thread at a time (any thread: a split may hash on its second core); the
// field tables are built once, safely, on first use.
//
// Writing, while a split copies its pieces:
//   Writer w;  w.start({"reportVRAX.exe", "reportVRAX.000", ...}, volumes);
//   first pass: w.hash(i, bytes, n) as file i's bytes pass the copy buffer,
//               in order within a file (files may interleave); then
//               w.end_hashing() once every file is whole. Hashes and
//               recovery volume 0 are done now.
//               A file whose bytes change until the end (the first piece,
//               its header written last) is fed once they are final.
//   second pass, only when w.needs_second_pass(): the same bytes again with
//               w.encode(i, bytes, n), then w.end_encoding(); feeding one
//               file after another is fastest (each file's factors are made
//               once). Memory: `volumes` buffers of the slice size.
//   w.write_index(io, "reportVRAX.par2");
//   w.write_volume(io, Writer::volume_name("reportVRAX", e, volumes), e) for
//               each exponent e < volumes (in any order, on any disk).
//
// Repair:
//   Repairer r(io);  r.load({"reportVRAX.par2", "reportVRAX.vol00+01.par2", ...});
//   r.check();       every source file against the set; files(), missing_slices(),
//                    more_needed() say what is missing and whether it can be repaired
//   r.repair();      rebuilds each missing or damaged file through io.open_write
//                    under its name in the set, kept (close_write with keep = 1)
//                    only when its MD5 matches.
#ifndef VELMORA_PAR2_PAR2_H
#define VELMORA_PAR2_PAR2_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "md5.h"

namespace par2 {

// The caller's file functions. `context` is passed back to each; `file` is
// whatever the open functions returned. Names are as the component knows
// them: a source file's name in the set, a PAR2 file's name as the caller
// gave it.
struct Io {
  void* context;
  // Opens a file to read; null when it is absent or cannot be opened.
  void* (*open_read)(void* context, const char* name);
  // Reads up to `length` bytes at the current position: the count read
  // (less than asked only at the end of the file, 0 there), -1 on failure.
  int64_t (*read)(void* context, void* file, void* buffer, size_t length);
  // Sets the read position; 0 on success, -1 on failure.
  int (*seek)(void* context, void* file, uint64_t offset);
  void (*close_read)(void* context, void* file);
  // Creates an output that will carry `name` (the platform writes it under
  // a temporary name until close_write keeps it); null on failure.
  void* (*open_write)(void* context, const char* name);
  // Writes all `length` bytes; 0 on success, -1 on failure.
  int (*write)(void* context, void* file, const void* data, size_t length);
  // Ends an output. keep != 0: put it in place under its name (0 on
  // success, -1 when that failed); keep == 0: discard it (result ignored).
  int (*close_write)(void* context, void* file, int keep);
  // One line of progress or finding for the user; may be null.
  void (*message)(void* context, const char* text);
};

enum class Result {
  ok,
  bad_argument,         // a call out of order, an index out of range, bytes beyond a file's length
  too_many_slices,      // more than 32,768 input slices: no recovery volumes for this set
  io_failed,            // an Io function failed (error_text names the file and the operation)
  no_recovery_set,      // the PAR2 files hold no usable Main packet and file descriptions
  not_enough_recovery,  // more slices lost than recovery slices usable: more_needed() says how many more
  output_mismatch,      // a rebuilt file's MD5 did not match: it was discarded
  out_of_memory,
};

const char* result_name(Result result);

// The PAR 2.0 limits this component holds to.
constexpr uint32_t kMaxRecoveryVolumes = 32768;

class Writer {
 public:
  Writer();
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // `names`: the source files' bare names, in the order the caller refers
  // to them by index. `volumes`: recovery volumes to make (exponents 0 to
  // volumes - 1), 1 to kMaxRecoveryVolumes. The slice is one whole file: its
  // size is the largest file's length rounded up to a multiple of 4 (at
  // least 4), known at end_hashing. An empty file is left out of the set,
  // as par2cmdline leaves it out. too_many_slices when there are more than
  // 32,768 files; bad_argument for a name that is not a bare file name
  // (empty, "." or "..", or holding '/', '\\', ':' or a control character).
  Result start(const std::vector<std::string>& names, uint32_t volumes);
  // First pass: the next `length` bytes of file `index`.
  Result hash(uint32_t index, const void* data, size_t length);
  // Every file has had all its bytes: fixes the slice size, the file IDs,
  // the set's order and ID, and builds the critical packets.
  Result end_hashing();
  bool needs_second_pass() const;
  // Second pass: each file's bytes again, exactly as in the first pass.
  Result encode(uint32_t index, const void* data, size_t length);
  // Checks that every file came again whole; the volumes are then ready.
  Result end_encoding();

  uint64_t slice_size() const;
  // The recovery set ID (the MD5 of the Main packet's body).
  Md5Digest set_id() const;
  // NAME.par2: Main, one File Description and one Input File Slice
  // Checksum packet per file, Creator.
  Result write_index(const Io& io, const std::string& name);
  // One recovery slice and the critical packets.
  Result write_volume(const Io& io, const std::string& name, uint32_t exponent);
  // Bytes write_index / write_volume write.
  uint64_t index_size() const;
  uint64_t volume_size() const;

  // "BASE.volE+1.par2" with both numbers as wide as the number of volumes
  // (BASE.vol0+1.par2 ... BASE.vol8+1.par2 for nine, BASE.vol00+01.par2 ...
  // BASE.vol18+01.par2 for nineteen). par2cmdline pads the first number
  // the same way; clients find volumes as BASE.*.par2 whatever the width.
  static std::string volume_name(const std::string& base, uint32_t exponent, uint32_t volumes);

  const std::string& error_text() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// A source file as the repairer found it.
struct FileState {
  enum Status { whole, damaged, missing };
  std::string name;
  uint64_t length = 0;       // as the set records it
  uint32_t slices = 0;       // its input slices
  uint32_t good_slices = 0;  // slices found intact in place
  Status status = missing;
  bool repaired = false;
};

class Repairer {
 public:
  explicit Repairer(const Io& io);
  ~Repairer();
  Repairer(const Repairer&) = delete;
  Repairer& operator=(const Repairer&) = delete;

  // Reads every packet of the named PAR2 files (damaged or absent files
  // give what they can). The recovery set is the one whose Main packet comes
  // first in the order given, unless `set_id` names one; packets of any
  // other set are ignored. no_recovery_set when none is usable, or when the
  // set names a file that is not a bare name (a path could reach outside
  // the caller's folder).
  Result load(const std::vector<std::string>& par2_names, const Md5Digest* set_id = nullptr);
  // Checks each source file of the set: whole-file MD5 and length, and where
  // that fails each slice's MD5 and CRC-32 in its place; then plans the
  // repair. ok when the set is whole or can be repaired, not_enough_recovery
  // otherwise.
  Result check();
  // Rebuilds every file check() found missing or damaged. Each is written
  // whole through io.open_write and kept only when its MD5 matches.
  Result repair();

  const std::vector<FileState>& files() const;
  uint64_t slice_size() const;
  uint32_t missing_slices() const;
  uint32_t recovery_slices() const;  // usable ones found
  // How many more recovery slices a repair needs (0 when it can go ahead).
  uint32_t more_needed() const;
  Md5Digest set_id() const;
  const std::string& error_text() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace par2

#endif
